// series!: the abstract parent of every series type. Its handlers work on any series through the
// value cell (slot 1 head index in units, slot 2 node, slot 3 type extra) and the buffer's unit
// size alone. A head index left beyond the tail by another reference counts as the tail; buffer
// addresses are re-read through the node after anything that can allocate. The cells a handler
// gets are its caller's, rooted and fixed (the argument stack): a handler may put a new series in
// its first cell and allocate afterwards.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/memory.hpp"

namespace vyn::series {

inline Series* buffer_of(const Cell* s) { return memory::series_of(s->s2); }
inline int32_t head_index(const Cell* s) { return int32_t(s->s1); }

bool is_block_type(TypeId type);   // block!, paren!, hash! and the path types
bool is_string_type(TypeId type);  // string!, file!, url!, tag!, email!, ref!
bool is_series_type(TypeId type);  // the above, binary!, vector! and image!

// Low-level routines, shared with the block and string types.
bool vs_tail_q(const Cell* s);
uint32_t vs_abs_length(const Cell* s);
// Moves the head by n units unless that passes the tail; true when the head is then at the tail.
bool vs_skip(Cell* s, int32_t n);
// Units from the head (or from unit 0); a head beyond the tail is set to the tail, giving 0.
uint32_t vs_length(Cell* s, bool from_start = false);
// The new head for at (true) or skip (false), clamped to the series.
int32_t get_position(const Cell* s, const Cell* index, bool at);
// Address of unit i counted from the buffer's first unit; valid until the next allocation.
uint8_t* unit_at(const Cell* s, uint32_t index);
// The value of unit i as pick gives it: the cell of a block, a vector's element, a binary's byte
// as integer!, a text's character.
Cell element_at(const Cell* s, uint32_t index);

// The count a part argument gives: its integer, or the distance from this head to a position in
// the same series (same type and node); anything else raises invalid-refine-arg.
int64_t part_distance(const Cell* s, const Cell* part);

// Closes the gap of `count` units at unit `start` (from the buffer's first unit).
void remove_units(const Cell* s, uint32_t start, uint32_t count);
// A new series of the source's type and buffer flags (without the owner mark) holding `count`
// units from unit `start`; written into `out` once complete.
Cell* copy_units(const Cell* s, uint32_t start, uint32_t count, Cell* out);
// The same copy as copy/part gives it: the source's new-line mark kept too. `out` may be `s`.
Cell* copy_part_units(const Cell* s, uint32_t start, uint32_t count, Cell* out);

// Calls the find or select action (`slot`) of the series' type; raises not-done when the type
// has none yet.
Cell* search(ActionSlot slot, Cell* s, const Cell* value, const FindArgs& args);

// What take removes: `count` units from unit `start`. `none` marks an empty rest.
struct TakePlan {
    uint32_t start;
    uint32_t count;
    bool none;
};
TakePlan plan_take(Cell* s, const Cell* part, bool last);

// Handlers.
Cell* at(Cell* s, const Cell* index);
Cell* skip(Cell* s, const Cell* offset);
Cell* head(Cell* s);
Cell* tail(Cell* s);
bool head_q(const Cell* s);
bool tail_q(const Cell* s);
int32_t index_q(const Cell* s);
int32_t length_q(const Cell* s);
Cell* next(Cell* s);
Cell* back(Cell* s);
Cell* pick(Cell* s, int32_t index, const Cell* index_value);
Cell* poke(Cell* s, int32_t index, const Cell* index_value, const Cell* value);
Cell* clear(Cell* s);
Cell* remove(Cell* s, const Cell* part, const Cell* key);
Cell* reverse(Cell* s, const Cell* part, const Cell* skip);
Cell* take(Cell* s, const Cell* part, bool deep, bool last);
Cell* copy(Cell* s, const Cell* part, bool deep, const Cell* types);
Cell* move(Cell* origin, const Cell* target, const Cell* part);
Cell* random(Cell* s, bool seed, bool secure, bool only);
// The one field is `owned`: the series' owner object, or none.
Cell* reflect(Cell* s, const Cell* field);
// modify 'owned: none clears the series' ownership, a block [owner word] sets it.
Cell* modify(Cell* s, const Cell* field, const Cell* value, bool case_sensitive);

}  // namespace vyn::series

namespace vyn {

// Registers series! (type 42, no parent); every series type registers after it.
void series_init();

}  // namespace vyn
