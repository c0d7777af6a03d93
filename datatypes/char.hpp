// char!: one Unicode code point (0 to 0x10FFFF) in slot 2 of the cell. It takes what it does not
// define from integer!, and its arithmetic never leaves the code-point range.
#pragma once

namespace vyn {

// Registers char!; integer! must be registered first, its row is what char! inherits.
void char_init();

}  // namespace vyn
