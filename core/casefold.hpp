// Upper- and lower-casing of single code points, at Unicode 11.0 (first code point of the full
// mapping). Code points up to U+FFFF map through a constant two-level table, Latin-1 through one
// read; those above through a sorted pair list. A code point without a mapping maps to itself.
#pragma once

#include <cstdint>

namespace vyn::casefold {

enum class Case : uint8_t { lower = 0, upper = 1 };

uint32_t change_char(uint32_t cp, Case to);
uint32_t upper_char(uint32_t cp);
uint32_t lower_char(uint32_t cp);

// upper_char with ASCII answered inline, for loops over text that is mostly ASCII.
inline uint32_t upper_char_inline(uint32_t cp) {
    if (cp < 0x80) return cp - 'a' < 26u ? cp - 32 : cp;
    return upper_char(cp);
}

// The upper-case form when it differs from cp, else the lower-case form.
uint32_t other_case(uint32_t cp);

}  // namespace vyn::casefold
