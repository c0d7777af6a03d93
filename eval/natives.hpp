// The natives table. A native reads its arguments from the argument stack (the first at `base`,
// which is also its result cell) and gets a check flag (non-zero when it must check argument
// types itself) and one index per refinement: the position of its first argument cell counted
// from `base`, or -1 when the refinement is absent.
#pragma once

#include <cstdint>

namespace vyn::natives {

using Native = void (*)(int32_t check, const int32_t* refinements);

constexpr int TABLE_SIZE = 120;

// Slot N is table[N - 1]; slots at or beyond `count()` are empty.
extern Native table[TABLE_SIZE];
int count();

void init();
// Appends natives at the fill position, in slot order.
void fill(const Native* list, int n);

}  // namespace vyn::natives
