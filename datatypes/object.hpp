// object!: a context wrapped as a value. An object cell (shared by error! and port!) holds the
// context node in slot 1, the class id in slot 2 and the on-set record node (0 for none) in
// slot 3. Invariant: every routine that makes or changes an object cell writes it into the owner
// cell of its context node too, so code that holds only the node can rebuild the value.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/actions_abi.hpp"
#include "core/context.hpp"

namespace vyn {

// Registers object! (type 32, no parent) and installs the field change notifier of contexts.
void object_init();

}  // namespace vyn

namespace vyn::object {

// Class ids given at run time start above this; start-up objects carry fixed ids below it.
constexpr uint32_t CLASS_ID_BASE = 1000000;
// Header flag of the context! cell: the object owns its own series (see datatypes/ownership.hpp).
constexpr uint32_t FLAG_CONTEXT_OWNER = 0x10000;

inline NodeId context_of(const Cell& object) { return object.s1; }
inline uint32_t class_of(const Cell& object) { return object.s2; }
inline NodeId on_set_of(const Cell& object) { return object.s3; }

uint32_t new_class_id();

// Field access. Addresses are valid until the next allocation.
// The index-th word of the context, bound to it (how raise sites fetch catalogue words).
Cell get_field(NodeId context, uint32_t index);
int32_t find_word(const Cell& object, const Cell& word);
// The field's value, or none when the word is not a field.
Cell vs_select(const Cell& object, const Cell& word);
Cell* first_word(const Cell& object);
Cell* get_values(const Cell& object);
uint32_t words_count(const Cell& object);
NodeId values_node(NodeId context);
Cell* value_at(NodeId context, uint32_t index);
void unmark_values(NodeId values);
bool word_of_class(const Cell& word, uint32_t class_id);
bool field_of_class(NodeId context, uint32_t index, uint32_t class_id);

// Writes the fields of an object-like value; returns the remaining budget.
struct SerializeArgs {
    bool only;
    bool all;
    bool flat;
    const Cell* part;
    bool indent;
    int32_t tab_level;
    bool mold;
};
int32_t serialize(const Cell& object, Cell* out, const SerializeArgs& args, int32_t budget);

// Building. Cells given as `target` or `cell` must not lie in a buffer that can move.
Cell* make_at(Cell* cell, uint32_t size);
Cell* push_context(NodeId context, uint32_t class_id);
Cell* push(NodeId context, NodeId on_set, uint32_t class_id);
// Position by position: prototype series values copied deep into the new context (block-like
// copies bound to it); other values only with copy_all.
void clone_values(NodeId prototype, NodeId fresh, bool copy_all);
// Adds the source's words with their values, then copies the target's series deep and rebinds
// its methods; true when the word count grew.
bool extend(NodeId target, NodeId source);
// A copy of a method bound to another object's context; it always runs interpreted.
Cell rebind_function(const Cell& function, NodeId context);
// The `construct` rule: set-words take the value after their run, unevaluated.
bool collect_fields(NodeId context, const Cell& spec, bool only);
Cell* copy_into(const Cell& source, Cell* target, bool deep, const Cell* types, bool drop_record);
// The `construct` native: pushes the new object.
Cell* construct(const Cell& spec, const Cell* prototype, bool only);

// Change notification (object_events.cpp). The on-set record is a two-cell series: cell 0 for
// on-change*, cell 1 for on-deep-change*, each slot 2 = field index << 16 | locals count (index
// 0xFFFF: no handler), slot 3 = the handler's spec node the count was made for.
constexpr int32_t NO_HANDLER = 0xFFFF;

void clear_changes(NodeId context);
// The `set` native on an object: `/any`, `/only` and `/some`.
void set_values(const Cell& object, const Cell& value, bool any, bool only, bool some);
NodeId make_on_set(NodeId change_spec, NodeId deep_spec, int32_t change_index, int32_t change_locals,
                   int32_t deep_index, int32_t deep_locals);
bool on_deep(const Cell& object);
NodeId build_on_set(NodeId context);
void attach_events(Cell* object);
// For compiled object bodies: the object on the stack top gets a record (an index of -1: none).
NodeId init_events(NodeId context, int32_t change_index, int32_t change_locals, int32_t deep_index,
                   int32_t deep_locals);
void fire_on_change(const Cell& object, const Cell& word, const Cell& old_value, const Cell& new_value);
// The old value is the last pushed cell, the new value the cell below it.
void fire_on_change_top(const Cell& object, const Cell& word);
// For the object a word refers to, and for the object stored in a context node.
void fire_on_change_via(const Cell& holder, const Cell& word);
void fire_on_change_node(NodeId context, const Cell& word);
void fire_on_deep_change(const Cell& owner, const Cell& word, const Cell& target, const Cell& action,
                         const Cell* new_value, int32_t index, int32_t part);

// Action handlers, shared with error! and port!.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* reflect(Cell* object, const Cell* field);
int32_t form(const Cell* object, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* object, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
// Mold with another opening than "make object! [" (port! writes "make port! [").
int32_t mold_as(const Cell& object, Cell* out, std::string_view opening, const MoldArgs& args, const Cell* part,
                int32_t budget);
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step);
int compare(const Cell* a, const Cell* b, int op);
Cell* copy(Cell* object, const Cell* part, bool deep, const Cell* types);
Cell* put(Cell* object, const Cell* key, const Cell* value, bool case_sensitive);
Cell* select(Cell* object, const Cell* key, const FindArgs& args);
Cell* modify(Cell* object, const Cell* field, const Cell* value, bool case_sensitive);

}  // namespace vyn::object
