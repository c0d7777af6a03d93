// Word lookup, adding, getting, setting and binding over context nodes. A context's word table
// probes every ASCII case variant of a name along one chain, on which the first spelling added
// comes first: a lookup in any case therefore finds the first spelling, whose value every
// variant shares. Binding never allocates, so it walks block buffers through plain pointers;
// everything else roots what it holds across a word table's or a values block's growth.
#include "core/context.hpp"

#include <array>

#include "core/hashtable.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"

namespace vyn::stack {
// Set at start-up by the argument stack, which owns the array.
Cell* cells = nullptr;
}  // namespace vyn::stack

namespace vyn::context {

namespace {

using memory::series_of;

NodeId global_node = 0;
uint32_t self_id = 0;
ChangeNotifier change_notifier = nullptr;

constexpr int MAX_BIND_DEPTH = 999;

NodeId table_of(NodeId context) { return context_cell(context).s1; }

Cell& word_at(NodeId context, int32_t position) { return series_of(words(context))->cells()[position]; }

bool has_values_block(NodeId context) { return !context_cell(context).has_flag(FLAG_CONTEXT_ON_STACK); }

// The position's value index: the first spelling's for a case variant.
int32_t value_index(NodeId context, int32_t position) {
    return position < 0 ? -1 : int32_t(word_at(context, position).s3);
}

// A values block reaches at least index + 1 cells, new cells unset.
void ensure_value(NodeId context, int32_t index) {
    NodeId values = context_cell(context).s2;
    while (int32_t(series_of(values)->length()) <= index) memory::alloc_tail_cell(values);
}

Cell word_cell(uint32_t symbol) { return make_cell(TYPE_WORD, 0, symbol, uint32_t(-1)); }

// A cell that keeps a node alive while it is rooted.
Cell node_cell(NodeId node) { return make_cell(TYPE_BINARY, 0, node, 0); }

// A new word table: a copy of the source's, words included, or an empty one.
NodeId new_word_table(uint32_t size, NodeId source_table) {
    if (!source_table) return hashtable::make(size, hashtable::Kind::words);
    return hashtable::copy(source_table, memory::copy_buffer(hashtable::record(source_table).block));
}

// Finds the symbol in any case, or appends its word; returns the position, `added` telling which.
int32_t find_or_add(NodeId context, uint32_t symbol, bool any_case, bool& added) {
    int32_t position = -1;
    int32_t found = hashtable::get_ctx_word(table_of(context), symbol, any_case, context, &position);
    added = found < 0;
    return added ? position : found;
}

Cell* value_cell(NodeId context, int32_t index) {
    const Cell& c = context_cell(context);
    if (c.has_flag(FLAG_CONTEXT_ON_STACK)) return stack::cells + (c.s2 - 1) + index;
    return series_of(c.s2)->cells() + index;
}

Cell* store(NodeId context, int32_t index, const Cell& value) { return &(*value_cell(context, index) = value); }

bool is_any_block(TypeId t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || (t >= TYPE_PATH && t <= TYPE_GET_PATH);
}

bool is_bindable_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_REFINEMENT; }

// A deep bind. The nodes of the blocks being walked are kept to stop at a block that contains
// itself, and to bound the nesting.
class Binder {
public:
    Binder(NodeId context, bool self) : context_(context), table_(table_of(context)), self_(self) {}

    void walk(NodeId series, uint32_t head) {
        for (int i = 0; i < depth_; ++i)
            if (path_[size_t(i)] == series) return;
        if (depth_ == MAX_BIND_DEPTH) fire(err::too_deep);
        path_[size_t(depth_++)] = series;
        Series* s = series_of(series);
        for (Cell* c = s->cells() + head; c < s->cell_tail(); ++c) {
            if (is_any_block(c->type())) walk(c->s2, c->s1);
            else if (is_bindable_word(c->type())) bind_one(*c);
        }
        --depth_;
    }

private:
    void bind_one(Cell& word) {
        if (self_ && word.is(TYPE_WORD) && word.s2 == self_id) {
            word.s1 = context_;
            word.s3 = uint32_t(-1);
            return;
        }
        int32_t index = value_index(context_, hashtable::get_ctx_word(table_, word.s2, true));
        if (index < 0) return;
        word.s1 = context_;
        word.s3 = uint32_t(index);
    }

    NodeId context_;
    NodeId table_;
    bool self_;
    int depth_ = 0;
    std::array<NodeId, MAX_BIND_DEPTH> path_{};
};

}  // namespace

GlobalCache global_cache{};

Cell* refresh_global_cache() {
    if (global_cache.generation != memory::generation) {
        global_cache.context = 0;
        return nullptr;
    }
    global_cache.epoch = memory::move_epoch;
    global_cache.cells = context_cells(global_cache.context);
    global_cache.values = series_of(global_cache.cells[0].s2)->cells();
    return global_cache.cells;
}

namespace {

// The last positions found, by context and symbol: paths into objects look the same few fields
// up again and again. A context's words are only ever appended, so an entry holds while the word
// it found is still at its position (a context made later on the same node included: the word
// there is the one a search would find, or a case variant sharing its value).
struct FoundWord {
    NodeId context;
    uint32_t symbol;
    uint32_t found_symbol;
    int32_t position;
    bool any_case;
};
FoundWord found_words[256];

FoundWord& found_slot(NodeId context, uint32_t symbol) { return found_words[(context * 40503u ^ symbol) & 255]; }

// Node and symbol ids start afresh with the runtime.
void forget_found_words() {
    for (FoundWord& f : found_words) f = FoundWord{};
}

}  // namespace

void init_global() {
    forget_found_words();
    global_node = 0;  // a collection while it is made must not mark a context of an earlier memory
    global_cache.context = 0;
    global_node = create(GLOBAL_WORDS, false, false, 0, Kind::global);
    global_cache.context = global_node;
    global_cache.generation = memory::generation;
    refresh_global_cache();
    self_id = symbol::make("self");
}

void shutdown() {
    global_node = 0;
    forget_found_words();
}

NodeId global() { return global_node; }

NodeId create(uint32_t size, bool on_stack, bool self, NodeId source_table, Kind kind) {
    if (size == 0) size = 1;
    uint32_t flags = uint32_t(kind) << KIND_SHIFT;
    if (on_stack) flags |= FLAG_CONTEXT_ON_STACK;
    if (self) flags |= FLAG_CONTEXT_SELF;
    // The context! cell is rooted while its parts are made, so each keeps the ones before it.
    Rooted cell(make_cell(TYPE_CONTEXT));
    cell->set_flag(flags);
    cell->s1 = new_word_table(size, source_table);
    if (!on_stack) cell->s2 = memory::alloc_unset_cells(size);
    NodeId context = memory::alloc_cells(2);
    Series* s = series_of(context);
    s->tail = 2 * sizeof(Cell);
    s->cells()[0] = *cell;
    s->cells()[1] = unset_cell();
    Series* w = series_of(words(context));
    for (Cell* c = w->cells(); c < w->cell_tail(); ++c) c->s1 = context;
    return context;
}

NodeId make_from_spec(const Cell& spec, bool on_stack, bool self, Kind kind) {
    Rooted block(spec);
    uint32_t length = series_of(block->s2)->length();
    uint32_t head = block->s1 < length ? block->s1 : length;
    NodeId context = create(length - head, on_stack, self, 0, kind);
    Rooted kept(node_cell(context));
    for (uint32_t i = head; i < length; ++i) {
        const Cell& c = series_of(block->s2)->cells()[i];
        TypeId t = c.type();
        if (t != TYPE_WORD && t != TYPE_GET_WORD && t != TYPE_LIT_WORD && t != TYPE_REFINEMENT) continue;
        bool added;
        find_or_add(context, c.s2, true, added);
    }
    if (!on_stack) ensure_value(context, int32_t(word_count(context)) - 1);
    return context;
}

NodeId clone(Cell& object, Kind kind) {
    const Cell old = context_cell(object.s1);
    NodeId context = create(word_count(object.s1), old.has_flag(FLAG_CONTEXT_ON_STACK),
                            old.has_flag(FLAG_CONTEXT_SELF), old.s1, kind);
    object.s1 = context;
    return context;
}

Kind kind_of(NodeId context) { return Kind((context_cell(context).header >> KIND_SHIFT) & 3); }

NodeId words(NodeId context) { return hashtable::record(table_of(context)).block; }

uint32_t word_count(NodeId context) { return series_of(words(context))->length(); }

void set_stack_frame(NodeId context, int32_t stack_index) { context_cell(context).s2 = uint32_t(stack_index + 1); }

int32_t find_word(NodeId context, uint32_t symbol, bool any_case) {
    FoundWord& f = found_slot(context, symbol);
    if (f.context == context && f.symbol == symbol && f.any_case == any_case) {
        Series* words_block = series_of(words(context));
        if (uint32_t(f.position) < words_block->length() && words_block->cells()[f.position].s2 == f.found_symbol)
            return int32_t(words_block->cells()[f.position].s3);
    }
    int32_t position = hashtable::get_ctx_word(table_of(context), symbol, any_case);
    if (position >= 0) f = FoundWord{context, symbol, word_at(context, position).s2, position, any_case};
    return value_index(context, position);
}

int32_t add_word(NodeId context, const Cell& word) {
    bool added;
    int32_t position = find_or_add(context, word.s2, true, added);
    if (added && has_values_block(context)) ensure_value(context, position);
    return value_index(context, position);
}

void add_or_set(NodeId context, const Cell& word, const Cell& value) {
    Rooted v(value);
    store(context, add_word(context, word), *v);
}

void add_if_new(NodeId context, const Cell& word, const Cell& value) {
    if (find_word(context, word.s2, true) < 0) add_or_set(context, word, value);
}

bool collect_set_words(NodeId context, const Cell& block) {
    Rooted b(block);
    uint32_t before = word_count(context);
    for (uint32_t i = b->s1; i < series_of(b->s2)->length(); ++i) {
        const Cell c = series_of(b->s2)->cells()[i];
        if (c.is(TYPE_SET_WORD)) add_word(context, c);
    }
    return word_count(context) > before;
}

Cell add_global_word(uint32_t symbol, bool any_case, bool keep_written_form) {
    bool added;
    int32_t position = find_or_add(global_node, symbol, any_case, added);
    if (!added) {
        Cell found = word_at(global_node, position);
        if (keep_written_form) found.s2 = symbol;
        return found;
    }
    if (symbol::alias_id(symbol) > 0)
        word_at(global_node, position).s3 = uint32_t(find_word(global_node, symbol, true));
    ensure_value(global_node, position);
    return word_at(global_node, position);
}

Cell add_global(uint32_t symbol) { return add_global_word(symbol, false, true); }

Cell get_global(uint32_t symbol) { return *get(add_global_word(symbol, true, true)); }

Cell* get_value_in(uint32_t symbol, NodeId context) {
    if (!has_values_block(context)) context = global_node;
    int32_t index = find_word(context, symbol, true);
    if (index < 0) {
        Cell word = word_cell(symbol);
        fire(err::not_defined, &word);
    }
    return value_cell(context, index);
}

Cell* get_in_slow(const Cell& word, NodeId context) {
    const Cell w = word;
    if (context && int32_t(w.s3) >= 0) fire(err::not_in_context, &w);  // no frame is active
    if (context && w.s2 == self_id) return &owner(context);
    fire(err::no_value, &w);
}

Cell* set_in(const Cell& word, const Cell& value, NodeId context, bool notify) {
    // The value may be a temporary, and the allocations below may move the cells the arguments
    // lie in: both are rooted copies.
    Rooted w(word);
    Rooted v(value);
    if (context_cell(context).s2 == 0) fire(err::not_defined, w.get());
    int32_t index = int32_t(w->s3);
    if (index < 0) index = find_word(context, w->s2, false);
    if (!has_values_block(context)) {
        if (index < 0) fire(err::not_defined, w.get());  // a frame has no cell for a word added now
        return store(context, index, *v);
    }
    if (index < 0) index = add_word(context, *w);
    if (kind_of(context) == Kind::object) word_at(context, index).set_flag(FLAG_WORD_ASSIGNED);
    const Cell owner_cell = owner(context);
    if (!notify || !change_notifier || owner_cell.s3 == 0) return store(context, index, *v);
    Rooted old(*value_cell(context, index));  // out of the context once the new value is stored
    store(context, index, *v);
    change_notifier(owner_cell, *w, *old, *v);
    return value_cell(context, index);
}

Cell* object_store_slot(const Cell& word) {
    NodeId context = word.s1;
    int32_t index = int32_t(word.s3);
    if (index < 0 || owner(context).s3 != 0 || !word_at(context, index).has_flag(FLAG_WORD_ASSIGNED)) return nullptr;
    return indexed_value_in(word, context);
}

void set_integer(NodeId context, const Cell& word, int32_t value) { set_in(word, integer_cell(value), context, false); }

int32_t bind_word(NodeId context, Cell& word) {
    int32_t index = find_word(context, word.s2, true);
    if (index >= 0) {
        word.s1 = context;
        word.s3 = uint32_t(index);
    }
    return index;
}

void bind(const Cell& block, NodeId context, bool self) { Binder(context, self).walk(block.s2, block.s1); }

void set_change_notifier(ChangeNotifier notifier) { change_notifier = notifier; }

Cell* value_or_null(const Cell& word) {
    if (!word.s1) return nullptr;
    const Cell& c = context_cell(word.s1);
    if (c.s2 == 0) return nullptr;
    int32_t index = int32_t(word.s3);
    if (index < 0) index = find_word(word.s1, word.s2, true);
    if (index < 0) return nullptr;
    if (c.has_flag(FLAG_CONTEXT_ON_STACK)) return stack::cells + (c.s2 - 1) + uint32_t(index);
    return memory::series_of(c.s2)->cells() + index;
}

}  // namespace vyn::context
