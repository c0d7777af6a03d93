// none!: the empty value (type 3, no payload), false to conditionals.
#pragma once

#include "core/cell.hpp"

namespace vyn::none {

// Sets the current call's result cell, or pushes a new cell, to none.
Cell* push_last();
Cell* push();

}  // namespace vyn::none

namespace vyn {

void none_init();

}  // namespace vyn
