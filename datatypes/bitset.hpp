// bitset!: a set of non-negative integers (code points among them) as a bit array in a byte
// series, bit n in byte n >> 3 under mask 0x80 >> (n & 7). The stored bits always tell
// membership; the buffer's complement flag tells it for every bit past the tail.
#pragma once

#include "core/cell.hpp"
#include "datatypes/typeset.hpp"

namespace vyn {

// Registers bitset! (no parent).
void bitset_init();

}  // namespace vyn

namespace vyn::bitset {

// The bitwise actions and the set natives on two bitsets, by the typeset codes: the result
// replaces `first`. A second value of another type raises `invalid-type`; unique gives `first`.
Cell* combine(Cell* first, const Cell* second, typeset::SetOp op);

}  // namespace vyn::bitset
