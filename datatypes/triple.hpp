// triple!: three signed 32-bit integers in slots 1-3 of the cell. Its only behaviour is its text,
// which spells out how the value is made; every other action is unsupported.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::triple {

Cell* make_at(Cell* cell, int32_t first, int32_t second, int32_t third);

}  // namespace vyn::triple

namespace vyn {

void triple_init();

}  // namespace vyn
