// The evaluator's routines: the boot routines (ending the process, quiet stores, shifts, the
// current directory, file tests, tuple builders, UTF-8 counting, the stacks and standard output)
// and the two entries behind every type predicate, in the routine table under their names.
#pragma once

#include "datatypes/routine_table.hpp"

namespace vyn::routines {

// Registers the evaluator's routines with the routine table (once per process).
void init();

// Registers the routines of the system object's fields (collector state, float switches).
void init_system();

// Registers the routines of the text codecs (the JSON unescaper).
void init_codecs();

// Registers the routines of the text functions (split's pieces).
void init_text();

}  // namespace vyn::routines
