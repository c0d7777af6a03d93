// unset!: the absence of a value (type 2, no payload).
#pragma once

#include "core/cell.hpp"

namespace vyn::unset {

// Sets the current call's result cell, or pushes a new cell, to unset.
Cell* push_last();
Cell* push();

}  // namespace vyn::unset

namespace vyn {

void unset_init();

}  // namespace vyn
