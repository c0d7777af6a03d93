// Writing values as text, shared by every container type: a value is formed or molded through
// its own type's handler, found in the datatype registry. The output is a string! cell; every
// writer returns the budget minus the characters it appended, and the budget only stops a walk
// when a part argument is present (it may end negative).
#pragma once

#include <cstdint>
#include <string_view>

#include "core/actions_abi.hpp"

namespace vyn::mold {

// Molds or forms one value of any type; raises not-done when its type has no handler yet.
int32_t mold_value(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
int32_t form_value(const Cell* value, Cell* out, const Cell* part, int32_t budget);

// Appends characters 0-255 and charges them to the budget.
int32_t emit(Cell* out, std::string_view text, int32_t budget);
// Appends a line feed followed by `level` indents of four spaces.
int32_t emit_line_break(Cell* out, int32_t level, int32_t budget);
int32_t emit_indent(Cell* out, int32_t level, int32_t budget);

// The last character written, or 0 when the output is empty.
uint32_t last_char(const Cell* out);

// Whether a walk with this part argument must stop before its next value.
inline bool exhausted(const Cell* part, int32_t budget) { return part && budget < 1; }

}  // namespace vyn::mold
