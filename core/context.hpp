// Contexts map words to value cells. A context node's buffer holds two cells: the context! cell
// (slot 1 the word table, slot 2 the values: a block node, or for a function context the
// argument-stack index of its first value + 1, 0 while no frame is active) and the owner cell.
// Word i of the word block uses value (word i).s3: its own position, or for an ASCII case
// variant, the value of the first spelling. A bound word cell caches its context and that index,
// so reading its value is one check and one indexed load.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace vyn::stack {
// The argument stack: one fixed array of cells that never moves.
extern Cell* cells;
}  // namespace vyn::stack

namespace vyn::context {

enum class Kind : uint32_t { global = 0, function = 1, object = 2 };

constexpr uint32_t KIND_SHIFT = 11;  // header bits 11-12
constexpr uint32_t GLOBAL_WORDS = 4000;

// Creates the global context and interns `self`. Runs after symbol::init_table.
void init_global();
// Forgets the global context, so the collector no longer reads it as a root.
void shutdown();
NodeId global();

// A context for `size` words (0 taken as 1). With a source word table, its words are copied and
// bound to the new context. A heap context gets an empty values block with room for `size`.
NodeId create(uint32_t size, bool on_stack, bool self, NodeId source_table, Kind kind);
// A context of every word!, get-word!, lit-word! and refinement! of a spec block (set-words
// excluded), each once whatever its case; a heap context gets one unset value per word.
NodeId make_from_spec(const Cell& spec, bool on_stack, bool self, Kind kind);
// Replaces an object's context by a copy of its words bound to a new context with an empty values
// block (the caller fills it). `object` must not lie in a buffer that can move.
NodeId clone(Cell& object, Kind kind);

// Valid until the next allocation. A context's two cells sit at its buffer's data start, which
// saves reading the buffer's head on every word lookup.
inline Cell* context_cells(NodeId context) { return reinterpret_cast<Cell*>(memory::series_of(context)->data()); }
inline Cell& context_cell(NodeId context) { return context_cells(context)[0]; }
inline Cell& owner(NodeId context) { return context_cells(context)[1]; }

// The global context's cells and values, cached against the memory manager's move count: a
// global word's value is then one compare and one load away instead of a walk through two
// buffers. The global values block keeps its head and never leaves the context.
struct GlobalCache {
    NodeId context;  // 0 until the global context exists
    uint32_t generation;
    uint64_t epoch;
    Cell* cells;
    Cell* values;
};
extern GlobalCache global_cache;
// Refreshes the cache and gives its context's cells, or nullptr (and forgets the context) when
// the memory manager restarted since the global context was made.
Cell* refresh_global_cache();
// The global context's cells when `context` is the global context, else nullptr.
[[gnu::always_inline]] inline Cell* global_cells_if(NodeId context) {
    if (context != global_cache.context) return nullptr;
    return global_cache.epoch == memory::move_epoch ? global_cache.cells : refresh_global_cache();
}
Kind kind_of(NodeId context);
NodeId words(NodeId context);
uint32_t word_count(NodeId context);

// Function contexts: the frame whose values start at an argument-stack index, or -1 for none.
void set_stack_frame(NodeId context, int32_t stack_index);

// Indexes below are value indexes, the cells' slot 3.
int32_t find_word(NodeId context, uint32_t symbol, bool any_case);
// Finds the word in any case, or appends it (and an unset value to a values block).
int32_t add_word(NodeId context, const Cell& word);
void add_or_set(NodeId context, const Cell& word, const Cell& value);
void add_if_new(NodeId context, const Cell& word, const Cell& value);
// Adds every set-word! of a block from its head; true when the context gained words.
bool collect_set_words(NodeId context, const Cell& block);

// A word bound to the global context, added when missing. An added ASCII case variant shares the
// first spelling's value. With `keep_written_form`, a word found under another spelling comes
// back with the spelling asked for.
Cell add_global_word(uint32_t symbol, bool any_case, bool keep_written_form);
Cell add_global(uint32_t symbol);
Cell get_global(uint32_t symbol);

// The value cell of a symbol in a context (a stack context answers from the global context);
// `not-defined` when the symbol has no word there.
Cell* get_value_in(uint32_t symbol, NodeId context);

// The word's value cell in a context. An index of -1 raises `no-value`, except for `self`, which
// reads the context's owner; a context without values raises `not-in-context`.
Cell* get_in_slow(const Cell& word, NodeId context);
// The word's value cell when it has an index and the context has its values in place, else
// nullptr; never raises.
[[gnu::always_inline]] inline Cell* indexed_value_in(const Cell& word, NodeId context) {
    if (int32_t(word.s3) < 0) return nullptr;
    if (global_cells_if(context)) return global_cache.values + word.s3;
    const Cell& c = context_cell(context);
    if (c.s2 == 0) return nullptr;
    if (c.has_flag(FLAG_CONTEXT_ON_STACK)) return stack::cells + (c.s2 - 1) + word.s3;
    return memory::series_of(c.s2)->cells() + word.s3;
}
inline Cell* get_in(const Cell& word, NodeId context) {
    Cell* value = indexed_value_in(word, context);
    return value ? value : get_in_slow(word, context);
}
inline Cell* get(const Cell& word) { return word.s1 ? get_in(word, word.s1) : get_in_slow(word, 0); }
// The value cell of a bound word with an index, without raising: the interpreter's fast paths.
[[gnu::always_inline]] inline Cell* bound_value(const Cell& word) {
    return word.s1 ? indexed_value_in(word, word.s1) : nullptr;
}
// The word's value cell when its context has values in place, else nullptr; never raises.
Cell* value_or_null(const Cell& word);

// Stores a value for a word; a word not looked up yet is found, or added, by its exact spelling.
// In an object context the word is marked assigned, and with `notify` an owner that watches its
// fields hears of the change. A context without values raises `not-defined`.
Cell* set_in(const Cell& word, const Cell& value, NodeId context, bool notify);
// The field cell a store through an object's word writes and nothing more: the field was
// assigned before (a store marks it so) and no owner watches the object; else nullptr.
Cell* object_store_slot(const Cell& word);
// The cell a store through the word writes and nothing more: the word is bound with an index,
// its context has values in place and is not watched, and an object's field is marked assigned
// already; else nullptr.
[[gnu::always_inline]] inline Cell* plain_store_slot(const Cell& word) {
    if (!word.s1) return nullptr;
    if (Cell* cells = global_cells_if(word.s1))
        return cells[1].s3 == 0 && int32_t(word.s3) >= 0 ? global_cache.values + word.s3 : nullptr;
    const Cell& c = context_cell(word.s1);
    if (Kind((c.header >> KIND_SHIFT) & 3) == Kind::object) return object_store_slot(word);
    if (!c.has_flag(FLAG_CONTEXT_ON_STACK) && owner(word.s1).s3 != 0) return nullptr;
    return indexed_value_in(word, word.s1);
}
inline Cell* set(const Cell& word, const Cell& value) {
    Cell* slot = plain_store_slot(word);
    if (!slot) return set_in(word, value, word.s1, true);
    *slot = value;
    return slot;
}
void set_integer(NodeId context, const Cell& word, int32_t value);

// Binds one word, matching any case: its context and index are set. Returns the index or -1.
int32_t bind_word(NodeId context, Cell& word);
// Binds every word of a block and of the blocks, parens, paths and hashes in it. With `self`, the
// word! `self` is bound to the context with index -1 (reading the owner).
void bind(const Cell& block, NodeId context, bool self);

// Hears about assignments to fields of an object whose owner cell has an on-set record.
using ChangeNotifier = void (*)(const Cell& owner, const Cell& word, const Cell& old_value, const Cell& new_value);
void set_change_notifier(ChangeNotifier notifier);

}  // namespace vyn::context
