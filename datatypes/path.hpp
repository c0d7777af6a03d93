// The path family: path!, and its children lit-path!, set-path! and get-path!. A path is a block
// of values written with slashes between them; the four types differ only in the marks their
// mold adds. Everything but make, to, form and mold is block!'s, except that paths are never
// sorted or shuffled.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn::path {

// The cell becomes an empty path! with room for `size` cells (at least one); it holds unset!
// while the buffer is allocated.
Cell* make_at(Cell* cell, int64_t size);

Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* to(Cell* proto, const Cell* spec, TypeId type);
int32_t form(const Cell* p, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);

}  // namespace vyn::path

namespace vyn {

// Registers the four types, path! first (type 25, parent block!); block_init must have run.
void path_init();

}  // namespace vyn
