// money!: an exact decimal amount with an optional currency. The cell keeps the sign in header
// bit 14, the currency's 1-based position in system/locale/currencies/list in byte 4 (0 for
// none) and 22 packed decimal digits in bytes 5-15, 17 before the point and 5 after. A zero
// amount never carries the sign bit, so equal amounts have equal cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/cell.hpp"

namespace vyn::money {

constexpr int DIGITS = 22;
constexpr int INTEGER_DIGITS = 17;
constexpr int FRACTION_DIGITS = 5;
constexpr uint32_t FLAG_NEGATIVE = 0x4000;
constexpr int AMOUNT_BYTES = 11;

// The magnitude counted in units of the last fraction digit (10^-5): below 10^22.
using Magnitude = unsigned __int128;
constexpr Magnitude FRACTION_SCALE = 100000;
// 10^n for n >= 0; 0 for a negative n.
constexpr Magnitude power_of_ten(int n) {
    Magnitude p = n < 0 ? 0 : 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}
constexpr Magnitude MAGNITUDE_LIMIT = power_of_ten(DIGITS);

struct Amount {
    Magnitude magnitude = 0;
    bool negative = false;
    uint8_t currency = 0;

    bool is_zero() const { return magnitude == 0; }
};

// ---- The decimal kernel: exact, raising `type-limit` (money!) on overflow ----

// The count of significant digits of the 22-digit field (0 for zero).
int significant_digits(Magnitude m);

Amount add(const Amount& a, const Amount& b);
Amount subtract(const Amount& a, const Amount& b);
// The fraction of the product is truncated to 5 digits.
Amount multiply(const Amount& a, const Amount& b);
// The quotient keeps 5 fraction digits, truncated toward zero; a zero divisor raises
// `zero-divide`.
Amount divide(const Amount& a, const Amount& b);
// What is left of a after whole multiples of b, with a's sign.
Amount remainder(const Amount& a, const Amount& b);

enum class Rounding { nearest, even, down, half_down, floor, ceiling, half_ceiling };
// The value at a multiple of the (non-zero) scale magnitude, chosen by the mode.
Amount round(const Amount& value, Magnitude scale, Rounding mode);

// -1, 0 or 1 by sign, then magnitude.
int compare_amounts(const Amount& a, const Amount& b);

// ---- Conversions ----

Amount unpack(const Cell& money);
Cell pack(const Amount& amount);
// The cell of a decoded value: sign, currency index and the 11 packed bytes as stored.
Cell make_at(bool negative, uint8_t currency, const uint8_t* packed);

Amount from_integer(int32_t value);
// The integer part with the sign; `type-limit` (integer!) when it does not fit 32 bits.
int32_t to_integer(const Amount& amount);
// The double's shortest round-trip digits taken as an amount. Refused (nullopt): an infinity
// or NaN, a non-zero magnitude below 1e-05 or one of 1e17 and above, and, when strict, more than
// 5 fraction digits; otherwise extra fraction digits are dropped.
std::optional<Amount> from_float(double value, bool strict);
double to_float(const Amount& amount);
// An integer! or float! as an amount with no currency; a float that needs more than 5 fraction
// digits or lies outside the range raises `bad-make-arg` with it.
Amount from_number(const Cell* number);

// -1, 0 or 1 (a zero amount has no sign).
int sign(const Cell& money);

// ---- Currencies and text ----

// The 1-based position of the word's code in the currency list, or -1.
int currency_index(const Cell& word);

enum class Syntax {
    literal,  // as the lexer reads it: "$" always, "." or "," as the mark, "$1." allowed
    text,     // as `to money!` reads a string: "$" optional without a code, "." only, inside
};
// An optional sign, an optional 3-letter code before "$", digits with "'" separators and at
// most one decimal mark; at most 17 digits before the mark and 5 after. nullopt for any text
// outside that, and for a code not in the currency list.
std::optional<Cell> scan(std::string_view text, Syntax syntax);

}  // namespace vyn::money

namespace vyn {

void money_init();

}  // namespace vyn
