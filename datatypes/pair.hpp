// pair!: two signed 32-bit integers, x in slot 2 and y in slot 3 of the cell, written 10x20.
// Arithmetic stays in integers while it can; a fraction or an overflow turns the result into a
// point2D! instead of losing it.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::pair {

inline int32_t x(const Cell& pair) { return int32_t(pair.s2); }
inline int32_t y(const Cell& pair) { return int32_t(pair.s3); }

inline Cell* make_at(Cell* cell, int32_t x, int32_t y) {
    *cell = make_cell(TYPE_PAIR, 0, uint32_t(x), uint32_t(y));
    return cell;
}

}  // namespace vyn::pair

namespace vyn {

void pair_init();

}  // namespace vyn
