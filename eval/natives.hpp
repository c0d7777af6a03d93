// The natives table. A native reads its arguments from the argument stack (the first at `base`,
// which is also its result cell) and gets a check flag (non-zero when it must check argument
// types itself) and one index per refinement: the position of its first argument cell counted
// from `base`, or -1 when the refinement is absent.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/native.hpp"

namespace vyn::natives {

using Native = void (*)(int32_t check, const int32_t* refinements);

constexpr int TABLE_SIZE = native::NATIVE_SLOTS;
// Start-up fills slots 1 to 107 with the evaluator's natives, 108 to 111 with the routines of
// the environment's objects, then appends the hosts'.
constexpr int NATIVE_COUNT = 107;
constexpr int LIBRARY_NATIVE_COUNT = 4;

// Slot N is table[N - 1]; slots at or beyond `count()` are empty.
extern Native table[TABLE_SIZE];
int count();

// Fills the table in slot order.
void init();
// A host's natives, appended after the evaluator's at every start-up in registration order. The
// host registers them before starting the runtime; registering the same list again keeps one.
void register_host(const Native* list, int n);
// Appends natives at the fill position, in slot order.
void fill(const Native* list, int n);

// The multiple assignment of `set` and of the loops' word blocks: word i of `words` (from its
// head) gets element i of `value` when it is a block (none past its tail) and `only` is off,
// else `value` itself. Unset elements raise `need-value` unless `any`; with `some` a none
// leaves its word alone. A word block item that is not a word raises `invalid-arg`.
void set_many(const Cell& words, const Cell& value, uint32_t count, bool any, bool only, bool some);

// The block `print` reduces into: made by the first print and kept in a kept-value slot.
Cell print_buffer();
// Whether the last output of print or prin ended its line.
bool last_output_ended_line();

}  // namespace vyn::natives
