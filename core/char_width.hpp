// Column width of a code point on a character terminal, at Unicode 14.0: 0 for combining marks,
// 2 for East Asian wide and fullwidth characters, 1 otherwise (control characters included, NUL
// excepted). Range tables are flat [first, last] pairs, ascending and disjoint.
#pragma once

#include <cstdint>
#include <span>

namespace vyn::char_width {

bool in_ranges(uint32_t cp, std::span<const uint32_t> ranges);

int of(uint32_t cp);

// As of(), but East Asian ambiguous characters count as wide, as CJK terminals draw them.
int of_cjk(uint32_t cp);

}  // namespace vyn::char_width
