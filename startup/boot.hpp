// Building the environment at start-up: the global words the runtime gives values itself
// (datatypes, none, true, false, the typeset words, `null-handle` and `make`, which the
// environment's own definitions need first), then the embedded Vyn sources, in path order.
#pragma once

namespace vyn::boot {

void init_globals();
void load_environment();

}  // namespace vyn::boot
