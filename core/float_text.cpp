// Float text conversion. std::to_chars supplies correctly rounded digits (shortest, or a given
// number of significant digits, which is also what "%.Ng" prints) and std::from_chars the
// correctly rounded reading; this file adds the layouts, the special spellings and the syntax.
// Texts are assembled left to right in a caller's buffer of text_capacity bytes.
#include "core/float_text.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vyn::float_text {

namespace {

constexpr std::string_view text_inf = "1.#INF";
constexpr std::string_view text_neg_inf = "-1.#INF";
constexpr std::string_view text_nan = "1.#NaN";
constexpr double double_epsilon = std::numeric_limits<double>::epsilon();

// Plain layout covers decpt -6 to 17; beyond it the exponent form is used.
constexpr int plain_decpt_min = -6;
constexpr int plain_decpt_max = 17;

// Writes text at p and returns the position after it.
char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

std::size_t finish(TextBuffer out, char* end) {
    *end = '\0';
    return static_cast<std::size_t>(end - out.data());
}

std::size_t write_text(TextBuffer out, std::string_view text) {
    return finish(out, put(out.data(), text));
}

std::string_view special_text(double value) {
    if (std::isnan(value)) return text_nan;  // whatever its sign bit
    return std::signbit(value) ? text_neg_inf : text_inf;
}

std::string_view zero_text(bool negative, bool keep_point) {
    if (keep_point) return negative ? "-0.0" : "0.0";
    return negative ? "-0" : "0";
}

Digits constant_digits(std::string_view text, int decpt) {
    Digits d{};
    std::memcpy(d.chars, text.data(), text.size());
    d.count = static_cast<int>(text.size());
    d.decpt = decpt;
    return d;
}

// Fills d from the scientific text "d[.ddd]e<exp>" of a positive finite value.
void take_scientific(Digits& d, const char* first, const char* last) {
    const char* e = std::find(first, last, 'e');
    for (const char* p = first; p != e; ++p)
        if (*p != '.') d.chars[d.count++] = *p;
    while (d.count > 1 && d.chars[d.count - 1] == '0') --d.count;
    const char* exp = e + 1;
    if (*exp == '+') ++exp;
    int exponent = 0;
    std::from_chars(exp, last, exponent);
    d.decpt = exponent + 1;
}

// A point and the fraction digits; with no fraction, ".0" when the point is kept, else nothing.
char* put_fraction(char* p, std::string_view fraction, bool keep_point) {
    if (fraction.empty()) return keep_point ? put(p, ".0") : p;
    *p++ = '.';
    return put(p, fraction);
}

char* put_exponent_form(char* p, const Digits& d, bool keep_point) {
    std::string_view digits = d.text();
    *p++ = digits[0];
    p = put_fraction(p, digits.substr(1), keep_point);
    std::array<char, 12> exponent;
    auto r = std::to_chars(exponent.data(), exponent.data() + exponent.size(), d.decpt - 1);
    *p++ = 'e';
    return put(p, {exponent.data(), static_cast<std::size_t>(r.ptr - exponent.data())});
}

char* put_plain_form(char* p, const Digits& d, bool keep_point) {
    std::string_view digits = d.text();
    if (d.decpt <= 0) {
        p = put(p, "0.");
        p = std::fill_n(p, -d.decpt, '0');
        return put(p, digits);
    }
    std::size_t whole = static_cast<std::size_t>(d.decpt);
    p = put(p, digits.substr(0, whole));
    if (digits.size() < whole) p = std::fill_n(p, whole - digits.size(), '0');
    return put_fraction(p, digits.substr(std::min(whole, digits.size())), keep_point);
}

// "%.<precision>g" as the C library prints it in the C locale.
std::string_view print_general(double value, int precision, std::span<char> scratch) {
    auto r = std::to_chars(scratch.data(), scratch.data() + scratch.size(), value,
                           std::chars_format::general, precision);
    return {scratch.data(), static_cast<std::size_t>(r.ptr - scratch.data())};
}

int kind_precision(TextKind kind) {
    switch (kind) {
    case TextKind::float_form: return 16;
    case TextKind::percent: return 13;
    default: return 7;
    }
}

// Precision of the second print when the first one ends in rounding noise.
int noise_trim_precision(TextKind kind) {
    switch (kind) {
    case TextKind::float_form:
    case TextKind::percent32:
    case TextKind::percent: return 14;
    default: return 5;
    }
}

bool is_percent(TextKind kind) { return kind == TextKind::percent32 || kind == TextKind::percent; }

bool takes_point_zero(TextKind kind) {
    return kind != TextKind::seconds && kind != TextKind::coordinate && !is_percent(kind);
}

std::string_view pretty_zero_text(TextKind kind) {
    if (is_percent(kind)) return "0%";
    return kind == TextKind::coordinate ? "0" : "0.0";
}

// Full-precision prints of 16 or more digits that end in "01" or "99" carry binary noise.
bool ends_in_noise(std::string_view printed) {
    std::size_t e = printed.find('e');
    std::string_view mantissa = printed.substr(0, e);
    std::string_view unsigned_mantissa = mantissa.substr(mantissa.starts_with('-') ? 1 : 0);
    std::size_t longest_exact = (e == std::string_view::npos && unsigned_mantissa.starts_with('0')) ? 17 : 16;
    if (mantissa.size() <= longest_exact) return false;
    std::string_view last_two = mantissa.substr(mantissa.size() - 2);
    return last_two == "01" || last_two == "99";
}

std::string_view print_kind(double value, TextKind kind, std::span<char, text_capacity> scratch) {
    if (kind == TextKind::seconds) {
        std::size_t length = format(value, 6, false, scratch);
        return {scratch.data(), length};
    }
    return print_general(value, kind_precision(kind), scratch);
}

// Exponent without '+' and leading zeros: "e+020" becomes "e20", "e-005" becomes "e-5".
char* put_compact_exponent(char* p, std::string_view exponent) {
    *p++ = 'e';
    if (exponent.starts_with('-')) *p++ = '-';
    std::size_t first = exponent.find_first_not_of("+-0");
    return first == std::string_view::npos ? p : put(p, exponent.substr(first));
}

}  // namespace

Digits dtoa(double value, int precision, bool keep_point) {
    if (!std::isfinite(value)) return constant_digits(special_text(value), decpt_special);
    if (value == 0.0) return constant_digits(zero_text(std::signbit(value), keep_point), decpt_zero);
    Digits d{};
    d.negative = std::signbit(value);
    std::array<char, 40> scientific;
    char* last = scientific.data() + scientific.size();
    auto r = precision > 0
        ? std::to_chars(scientific.data(), last, std::fabs(value), std::chars_format::scientific,
                        std::min(precision, max_precision) - 1)
        : std::to_chars(scientific.data(), last, std::fabs(value), std::chars_format::scientific);
    take_scientific(d, scientific.data(), r.ptr);
    return d;
}

std::size_t format(double value, int precision, bool keep_point, TextBuffer out) {
    Digits d = dtoa(value, precision, keep_point);
    if (d.decpt >= decpt_zero) return write_text(out, d.text());
    char* p = out.data();
    if (d.negative) *p++ = '-';
    bool plain = d.decpt >= plain_decpt_min && d.decpt <= plain_decpt_max;
    return finish(out, plain ? put_plain_form(p, d, keep_point) : put_exponent_form(p, d, keep_point));
}

std::size_t to_text(double value, TextKind kind, bool pretty, TextBuffer out) {
    if (!std::isfinite(value)) return write_text(out, special_text(value));
    if (pretty && std::fabs(value) < double_epsilon) return write_text(out, pretty_zero_text(kind));
    std::array<char, text_capacity> scratch;
    std::string_view printed = print_kind(value, kind, scratch);
    if (pretty && ends_in_noise(printed)) printed = print_general(value, noise_trim_precision(kind), scratch);

    std::size_t e = printed.find('e');
    std::string_view mantissa = printed.substr(0, e);
    char* p = put(out.data(), mantissa);
    if (takes_point_zero(kind) && mantissa.find('.') == std::string_view::npos) p = put(p, ".0");
    if (e != std::string_view::npos) p = put_compact_exponent(p, printed.substr(e + 1));
    if (is_percent(kind)) *p++ = '%';
    return finish(out, p);
}

namespace {

constexpr std::uint64_t quiet_nan_bits = 0x7FF8000000000000;

// Significant digits beyond this many only decide rounding through being non-zero, so the rest
// of a longer mantissa is replaced by one sticky '1' digit.
constexpr std::size_t kept_digits = 800;

// Exponent digits saturate here; with at most kept_digits + 1 digits any larger decimal
// exponent is already far outside the double range.
constexpr std::int64_t exponent_limit = 100000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct Reader {
    std::string_view text;
    std::size_t at = 0;

    bool more() const { return at < text.size(); }
    char peek(std::size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : '\0'; }
    std::string_view take_while(bool (*accept)(char)) {
        std::size_t start = at;
        while (more() && accept(text[at])) ++at;
        return text.substr(start, at - start);
    }
};

// Reads "#I..." or "#N..." after "d."; the letters that follow the deciding one are consumed.
bool read_special(Reader& r, bool negative, double& value) {
    char decider = r.peek(1);
    if (decider == 'I' || decider == 'i')
        value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    else if (decider == 'N' || decider == 'n')
        value = std::bit_cast<double>(quiet_nan_bits);
    else
        return false;
    r.at += 2;
    r.take_while(is_letter);
    return true;
}

// "e", an optional sign and at least one digit; anything less is not an exponent.
std::int64_t read_exponent(Reader& r) {
    if (r.peek() != 'e' && r.peek() != 'E') return 0;
    bool signed_exponent = r.peek(1) == '+' || r.peek(1) == '-';
    std::size_t digits_at = signed_exponent ? 2 : 1;
    if (!is_digit(r.peek(digits_at))) return 0;
    bool negative = r.peek(1) == '-';
    r.at += digits_at;
    std::int64_t exponent = 0;
    for (char c : r.take_while(is_digit)) exponent = std::min(exponent * 10 + (c - '0'), exponent_limit);
    return negative ? -exponent : exponent;
}

// Collects significant digits (no leading zeros) from the integer and fraction parts, cut to
// kept_digits; exponent counts the digits dropped, truncated_nonzero asks for a sticky digit.
struct Significand {
    std::array<char, kept_digits + 1> digits;
    std::size_t count = 0;
    std::int64_t exponent = 0;
    bool truncated_nonzero = false;

    void add(std::string_view part) {
        for (char c : part) {
            if (count == 0 && c == '0') continue;
            if (count < kept_digits) digits[count++] = c;
            else {
                ++exponent;
                truncated_nonzero |= c != '0';
            }
        }
    }
};

double significand_value(Significand& s, std::int64_t exponent) {
    if (s.count == 0) return 0.0;
    if (s.truncated_nonzero) {
        s.digits[s.count++] = '1';
        --exponent;
    }
    exponent = std::clamp(exponent, -exponent_limit, exponent_limit);
    std::array<char, kept_digits + 16> text;
    char* p = std::copy_n(s.digits.data(), s.count, text.data());
    *p++ = 'e';
    p = std::to_chars(p, text.data() + text.size(), exponent).ptr;
    double value = 0.0;
    if (std::from_chars(text.data(), p, value).ec == std::errc::result_out_of_range) {
        bool too_large = static_cast<std::int64_t>(s.count) + exponent > 0;
        value = too_large ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

}  // namespace

TextRead from_text(std::string_view text, int exponent_adjust) {
    Reader r{text};
    bool negative = r.peek() == '-';
    if (negative || r.peek() == '+') ++r.at;
    bool leading_zero = !r.take_while([](char c) { return c == '0'; }).empty();
    if (leading_zero && !r.more()) return {0.0, 0};

    std::string_view whole = r.take_while(is_digit);
    std::string_view fraction;
    if (r.peek() == '.') {
        double special = 0.0;
        ++r.at;
        if (whole.size() == 1 && r.peek() == '#' && read_special(r, negative, special))
            return {special, text.size() - r.at};
        fraction = r.take_while(is_digit);
    }
    if (!leading_zero && whole.empty() && fraction.empty()) return {0.0, text.size()};

    Significand s;
    s.add(whole);
    s.add(fraction);
    std::int64_t exponent = s.exponent + read_exponent(r) - static_cast<std::int64_t>(fraction.size()) + exponent_adjust;
    double value = significand_value(s, exponent);
    return {negative ? -value : value, text.size() - r.at};
}

}  // namespace vyn::float_text

namespace vyn::math {

double normalize_angle(double degrees, AngleMode mode) {
    constexpr double pi = 3.141592653589793;
    double x = std::fmod(degrees, 360.0);
    if (x > 180.0) x -= 360.0;
    else if (x < -180.0) x += 360.0;
    if (x > 90.0 || x < -90.0) {
        if (mode == AngleMode::tangent) x += x < 0.0 ? 180.0 : -180.0;
        else if (mode == AngleMode::sine) x = (x > 0.0 ? 180.0 : -180.0) - x;
    }
    return x * pi / 180.0;
}

}  // namespace vyn::math
