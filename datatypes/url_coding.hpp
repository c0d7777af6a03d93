// Percent coding of text, as URLs are written: every byte of the UTF-8 form that may not stand
// as it is becomes "%" and two upper-case hex digits. URL text is stored decoded; it is encoded
// when molded or enhexed and decoded by dehex.
#pragma once

#include "core/cell.hpp"

namespace vyn::url {

// Whether a byte may stand unescaped: in URL form, or in the strict form (letters, digits and
// "-._~" only).
bool is_safe(uint8_t byte, bool strict);

// Appends the encoded UTF-8 form of the text from its head to `out` (a string!) and returns the
// characters written. With a limit (>= 0), writing stops once that many have been written.
uint32_t enhex(const Cell* text, Cell* out, bool strict, int64_t limit = -1);

// Appends the text from its head to `out` with its "%XX" sequences decoded: one naming an ASCII
// or other non-lead byte gives that code point, a run naming a whole UTF-8 sequence gives its
// character; any other "%" stays as it is written. An invalid sequence raises `invalid-utf8`.
void dehex(const Cell* text, Cell* out);

}  // namespace vyn::url
