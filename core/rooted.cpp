// The shadow stack of C++-held cells.
#include "core/rooted.hpp"

namespace vyn::roots {

Cell* shadow[SHADOW_CAPACITY];
int depth = 0;

}  // namespace vyn::roots
