// Float text conversion: doubles to decimal text (digits, layout, the text kinds of float!,
// percent!, time! and coordinates) and decimal text back to doubles, plus degree folding for
// the trigonometric natives. Digits come from std::to_chars/std::from_chars, so both directions
// are correctly rounded and never depend on the C locale. Every text fits in text_capacity bytes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace vyn::float_text {

// Room for the longest text any conversion here writes, its terminating NUL included.
inline constexpr std::size_t text_capacity = 32;
using TextBuffer = std::span<char, text_capacity>;

// Largest precision `format` accepts; larger requests are clamped to it.
inline constexpr int max_precision = 22;

// Decimal-point positions that mark the constant texts instead of digits.
inline constexpr int decpt_special = 9999;  // infinity or NaN
inline constexpr int decpt_zero = 9998;

// The value as 0.d1d2...dn x 10^decpt. For zero, infinity and NaN, decpt is decpt_zero or
// decpt_special, `chars` holds the constant text (which carries sign and point) and `negative`
// is false.
struct Digits {
    char chars[max_precision + 2];
    int count;
    int decpt;
    bool negative;

    std::string_view text() const { return {chars, static_cast<std::size_t>(count)}; }
};

// Precision 0 or less gives the shortest digits that read back to the same double; a positive
// precision gives at most that many significant digits, correctly rounded, trailing zeros
// dropped. keep_point only chooses between "0.0" and "0" for zero.
Digits dtoa(double value, int precision, bool keep_point);

// Decimal text of value: plain for decpt -6 to 17, else d.ddde<exp>. keep_point writes a whole
// number as "12000.0" instead of "12000". Writes a NUL-terminated text, returns its length.
std::size_t format(double value, int precision, bool keep_point, TextBuffer out);

// The printed shapes of float-like values. The percent kinds take the hundredfold value.
enum class TextKind {
    float32 = 0,     // elements of 32-bit float vectors
    float_form = 1,  // form of float!
    percent32 = 2,   // elements of 32-bit percent vectors
    percent = 3,     // form and mold of percent!
    seconds = 4,     // the seconds field of time!
    coordinate = 5,  // pair and point coordinates
};

// Text of value in the given kind. pretty writes magnitudes below the double epsilon as zero and
// rounds away the "...01"/"...99" noise of the last printed digits. Returns the length.
std::size_t to_text(double value, TextKind kind, bool pretty, TextBuffer out);

struct TextRead {
    double value;
    std::size_t unconsumed;  // bytes from where reading stopped to the end of the text
};

// Reads [sign] digits [. digits] [e [sign] digits], or a one-digit "d.#INF"/"d.#NaN", scaling by
// 10^exponent_adjust. Too large gives infinity and too small zero, with the text's sign; absurd
// exponents saturate. A text with no mantissa digit reads as 0.0 with nothing consumed.
TextRead from_text(std::string_view text, int exponent_adjust);

}  // namespace vyn::float_text

namespace vyn::math {

enum class AngleMode { tangent = 0, cosine = 1, sine = 2 };

// Folds an angle in degrees into the range where the mode's function has the same value, and
// returns it in radians.
double normalize_angle(double degrees, AngleMode mode);

}  // namespace vyn::math
