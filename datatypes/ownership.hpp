// The ownership table: for every series owned by an object that watches deep changes, the owned
// value, the owning object and the field word it is reached through, keyed by the series node
// (an object's context node when an object itself is checked). Invariant: a series buffer has
// SERIES_OWNED set exactly while it has an entry, so the check of an unowned series is one flag
// test. Modifying series actions call `before` and `after` around each change.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace vyn::ownership {

// Makes the table and registers its marker and sweeper with the collector; shutdown takes them
// back, before the memory they refer to is released.
void init();
void shutdown();
NodeId table();

// Records the value and everything reachable from it as owned by `owner` through `word`, then
// marks the owner as owning its own series.
void set_owner(const Cell& value, const Cell& owner, const Cell& word);
void bind(const Cell& value, const Cell& owner, const Cell& word);
void unbind(const Cell& value);
// Unbinds `count` cells of the block's buffer from the cell index (counted from its first cell).
void unbind_range(const Cell& block, uint32_t index, uint32_t count);
// The owner cell of the node's entry, or nullptr; valid until the next allocation.
const Cell* owner_of(NodeId node);

// Tells the series' owner, if it has change handlers, about a change; true when it was told.
bool check(const Cell& series, const Cell& action, const Cell* new_value, int32_t index, int32_t count);

// The modifying actions, told by word before the change and by past form after it.
enum class Change : uint8_t {
    append, insert, change, clear, poke, put, remove, reverse, sort, swap, take, trim, move, random,
};
constexpr int CHANGE_COUNT = 14;

// The series types and bitset!: the values that are recorded (objects are walked, not recorded).
inline bool is_ownable(TypeId type) {
    switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE: case TYPE_BITSET:
        return true;
    default:
        return false;
    }
}

// Whether the value may have an entry; the one test on the path of every unowned change.
inline bool may_be_owned(const Cell& value) {
    if (value.is(TYPE_OBJECT)) return true;
    return is_ownable(value.type()) && (memory::series_of(value.s2)->flags & SERIES_OWNED) != 0;
}

// The word cells told to owners.
const Cell& action_word(Change action);
const Cell& past_word(Change action);

// The hooks of modifying actions: `before` tells the action word (append), `after` its past
// form (appended); both with the new value (or null), the index and the count of the change.
inline bool before(const Cell& series, Change action, const Cell* new_value, int32_t index, int32_t count) {
    return may_be_owned(series) && check(series, action_word(action), new_value, index, count);
}
inline bool after(const Cell& series, Change action, const Cell* new_value, int32_t index, int32_t count) {
    return may_be_owned(series) && check(series, past_word(action), new_value, index, count);
}

}  // namespace vyn::ownership
