// percent!: a float! that holds a fraction and is written with a percent sign (50% holds 0.5).
// It shares float!'s cell layout and takes all but its text forms from float!.
#pragma once

#include "core/cell.hpp"

namespace vyn::percent {

Cell* make_at(Cell* cell, double fraction);

}  // namespace vyn::percent

namespace vyn {

// Registers percent!; float! must be registered first, its row is what percent! inherits.
void percent_init();

}  // namespace vyn
