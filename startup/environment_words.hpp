// Binding the environment's code to what it meant at load: the start-up step after the boot.
#pragma once

namespace vyn::boot {

// Rebinds the words the boot's functions read, where they name functions, datatypes, typesets,
// `system` or the none and logic constants, to a hidden context holding their values of now.
void keep_environment_words();

}  // namespace vyn::boot
