// Number scanners over characters of any unit size. The float grammar is a small state table
// checked before any conversion, so the decimal reader only ever sees digits, one point, an
// exponent and signs; `'` group separators are removed just before converting.
#include "datatypes/number_scan.hpp"

#include <array>
#include <limits>

#include "core/float_text.hpp"
#include "datatypes/string.hpp"

namespace vyn::tokenizer {
namespace {

enum FloatClass : uint8_t { F_OTHER, F_SIGN, F_DIGIT, F_EXP, F_POINT, F_SEP, F_END };
constexpr uint8_t F_REJECT = 10;

// Rows: 0 start, 1 integer digits, 2 after a separator, 3 fraction digits, 4 point without digit
// (or separator in the fraction), 5 after digits and a point, 6 exponent letter, 7 exponent
// sign, 8 exponent digits, 9 accepted, 10 rejected. Columns: the classes above.
constexpr uint8_t float_states[11][7] = {
    {10, 0, 1, 10, 4, 10, 10},
    {10, 10, 1, 6, 5, 2, 9},
    {10, 10, 1, 10, 10, 10, 9},
    {10, 10, 3, 6, 10, 4, 9},
    {10, 10, 3, 10, 10, 10, 9},
    {10, 10, 3, 10, 10, 10, 9},
    {10, 7, 8, 10, 10, 10, 10},
    {10, 10, 8, 10, 10, 10, 10},
    {10, 10, 8, 10, 10, 10, 9},
    {9, 9, 9, 9, 9, 9, 9},
    {10, 10, 10, 10, 10, 10, 10},
};

constexpr FloatClass float_class(uint8_t c) {
    if (c >= '0' && c <= '9') return F_DIGIT;
    switch (c) {
    case '+':
    case '-': return F_SIGN;
    case 'e':
    case 'E': return F_EXP;
    case '.': return F_POINT;
    case '\'': return F_SEP;
    default: return F_OTHER;
    }
}

constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

bool is_digit(char32_t c) { return c >= '0' && c <= '9'; }

// True when only `'` separators follow position i.
bool only_separators_after(Text text, size_t i) {
    for (++i; i < text.length; ++i)
        if (text.at(i) != '\'') return false;
    return true;
}

}  // namespace

char32_t Text::at(size_t i) const {
    const auto* p = static_cast<const uint8_t*>(units);
    return string::get_char(p + i * size_t(unit), unit);
}

IntegerScan scan_integer(Text text) {
    size_t i = 0;
    bool negative = false;
    if (text.length > 0 && (text.at(0) == '+' || text.at(0) == '-')) {
        negative = text.at(0) == '-';
        i = 1;
    }
    int64_t value = 0;
    bool any_digit = false;
    for (; i < text.length; ++i) {
        char32_t c = text.at(i);
        if (c == '\'') continue;
        if (!is_digit(c)) return {int32_t(negative ? -value : value), SCAN_SYNTAX};
        any_digit = true;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) {
            // The smallest integer has no positive counterpart: accept it only as the whole text.
            if (negative && value == int64_t(INT32_MAX) + 1 && only_separators_after(text, i))
                return {INT32_MIN, SCAN_OK};
            return {0, SCAN_RANGE};
        }
    }
    if (!any_digit) return {0, SCAN_SYNTAX};
    return {int32_t(negative ? -value : value), SCAN_OK};
}

bool float_syntax_ok(std::string_view text) {
    if (text.size() > FLOAT_TEXT_MAX) return false;
    uint8_t state = 0;
    for (char c : text) state = float_states[state][float_class(uint8_t(c))];
    return float_states[state][F_END] != F_REJECT;
}

FloatScan read_float(std::string_view text, int exponent_adjust) {
    std::array<char, FLOAT_TEXT_MAX> digits;
    if (text.size() > digits.size()) return {NOT_A_NUMBER, SCAN_SYNTAX};
    size_t n = 0;
    for (char c : text)
        if (c != '\'') digits[n++] = c;
    float_text::TextRead read = float_text::from_text(std::string_view(digits.data(), n), exponent_adjust);
    if (n == 0 || read.unconsumed != 0) return {NOT_A_NUMBER, SCAN_SYNTAX};
    return {read.value, SCAN_OK};
}

FloatScan scan_float(Text text) {
    if (text.length > FLOAT_TEXT_MAX) return {NOT_A_NUMBER, SCAN_SYNTAX};
    std::array<char, FLOAT_TEXT_MAX> bytes;
    for (size_t i = 0; i < text.length; ++i) {
        char32_t c = text.at(i);
        bytes[i] = c == ',' ? '.' : c < 0x80 ? char(c) : '\x7F';
    }
    std::string_view view(bytes.data(), text.length);
    if (!float_syntax_ok(view)) return {NOT_A_NUMBER, SCAN_SYNTAX};
    return read_float(view, 0);
}

Cell make_tuple(const uint8_t* bytes, int count) {
    uint32_t slots[3] = {0, 0, 0};
    for (int i = 0; i < count; ++i) slots[i / 4] |= uint32_t(bytes[i]) << (8 * (i % 4));
    int length = count < 3 ? 3 : count;
    Cell t = make_cell(TYPE_TUPLE, slots[0], slots[1], slots[2]);
    t.set_flag(uint32_t(length) << TUPLE_LENGTH_SHIFT);
    return t;
}

uint8_t tuple_byte(const Cell& t, int i) {
    uint32_t slot = i < 4 ? t.s1 : i < 8 ? t.s2 : t.s3;
    return uint8_t(slot >> (8 * (i % 4)));
}

int scan_tuple(Text text, Cell* out) {
    uint8_t bytes[TUPLE_MAX];
    int count = 0;
    uint32_t part = 0;
    bool part_has_digit = false;
    for (size_t i = 0; i <= text.length; ++i) {
        char32_t c = i < text.length ? text.at(i) : '.';
        if (is_digit(c)) {
            part = part * 10 + (c - '0');
            if (part > 255) return SCAN_SYNTAX;
            part_has_digit = true;
            continue;
        }
        if (c != '.' || !part_has_digit || count == TUPLE_MAX) return SCAN_SYNTAX;
        bytes[count++] = uint8_t(part);
        part = 0;
        part_has_digit = false;
    }
    *out = make_tuple(bytes, count);
    return SCAN_OK;
}

void upper_case_ascii(char* text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = char(*text - 32);
}

}  // namespace vyn::tokenizer
