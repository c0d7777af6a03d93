// Number scanners shared by the lexer's loaders (UTF-8 bytes of a token) and by the `to`
// conversions of strings (characters of any unit size). They never raise: failure comes back as
// an error code so that each caller names its own error. Also the small C-text services of the
// OS layer. Invariant: a scanner reads only the `length` units it is given, never past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/cell.hpp"

namespace vyn::tokenizer {

// Error codes: 0 on success, -1 for text outside the grammar, -2 for a value that does not fit.
constexpr int SCAN_OK = 0;
constexpr int SCAN_SYNTAX = -1;
constexpr int SCAN_RANGE = -2;

// Characters in 1-, 2- or 4-byte units (UTF-8 token bytes are unit 1).
struct Text {
    const void* units;
    size_t length;
    int unit;

    char32_t at(size_t i) const;
    static Text bytes(std::string_view s) { return {s.data(), s.size(), 1}; }
};

struct IntegerScan {
    int32_t value;
    int error;
};
struct FloatScan {
    double value;
    int error;
};

// [sign] digits with `'` separators. The value read so far comes back with a syntax error.
IntegerScan scan_integer(Text text);
// Float syntax (`,` read as `.`, `'` separators), then the decimal conversion; NaN on failure.
FloatScan scan_float(Text text);
// Decimal parts 0-255 joined by `.`, 1 to 12 of them; fills a tuple! cell (at least 3 bytes).
int scan_tuple(Text text, Cell* out);

// Texts longer than this are never floats.
constexpr size_t FLOAT_TEXT_MAX = 312;
// The float syntax table over bytes; `,` is not a decimal mark here.
bool float_syntax_ok(std::string_view text);
// Reads a float text that passed the syntax check: drops the `'` separators, scales by
// 10^exponent_adjust (-2 for percents). A text the conversion does not take whole fails.
FloatScan read_float(std::string_view text, int exponent_adjust);

// tuple! cells: the length (3-12) in header bits 19-22, the bytes from slot 1 on.
constexpr int TUPLE_MAX = 12;
constexpr int TUPLE_LENGTH_SHIFT = 19;
Cell make_tuple(const uint8_t* bytes, int count);
inline int tuple_length(const Cell& t) { return int((t.header >> TUPLE_LENGTH_SHIFT) & 0xF); }
uint8_t tuple_byte(const Cell& t, int i);

// Upper-cases the ASCII letters of a NUL-terminated text in place; other bytes stay as they are.
void upper_case_ascii(char* text);
inline bool is_letter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace vyn::tokenizer
