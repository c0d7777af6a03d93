// Building `system` at start-up: the error catalogue from the C++ table, the error prototype and
// the 19 slots of `system`. The built nodes go to the record of datatypes/system_object.hpp.
#pragma once

namespace vyn::system_object {

// Builds the catalogue, the error prototype and the 19 slots of `system`, sets the global word
// `system` and installs the error raiser, which needs them. Needs the global context, the
// kept-value slots and the object! datatype.
void init();

}  // namespace vyn::system_object
