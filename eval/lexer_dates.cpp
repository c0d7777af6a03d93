// Loaders of time! and date! tokens. A time is hours:minutes[:seconds] (or minutes:seconds when
// two fields end in a fraction); a date is day, month and year in one of several orders, then an
// optional time and zone. Every field is checked before anything is built: a token either loads
// whole or is the invalid time!/date! error.
#include <optional>
#include <string>
#include <string_view>

#include "datatypes/number_scan.hpp"
#include "datatypes/time.hpp"
#include "eval/lexer_internal.hpp"

namespace vyn::lexer {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view t) {
    if (t.empty()) return false;
    for (char c : t)
        if (!is_digit(c)) return false;
    return true;
}

// Digits of any length as a double; the caller checked them.
double digits_value(std::string_view t) {
    double value = 0;
    for (char c : t) value = value * 10 + (c - '0');
    return value;
}

// Seconds: digits with an optional fraction after `.` or `,`.
std::optional<double> seconds_value(std::string_view t) {
    if (t.empty() || !is_digit(t[0])) return std::nullopt;
    std::string text(t);
    for (char& c : text)
        if (c == ',') c = '.';
    if (text.find_first_not_of("0123456789.") != std::string::npos || !tokenizer::float_syntax_ok(text))
        return std::nullopt;
    tokenizer::FloatScan f = tokenizer::read_float(text, 0);
    if (f.error) return std::nullopt;
    return f.value;
}

bool has_fraction(std::string_view t) { return t.find_first_of(".,") != std::string_view::npos; }

}  // namespace

std::optional<double> read_time(std::string_view t) {
    bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    std::string_view fields[3];
    int count = 0;
    for (;;) {
        size_t colon = t.find(':');
        if (count == 3) return std::nullopt;
        fields[count++] = t.substr(0, colon);
        if (colon == std::string_view::npos) break;
        t.remove_prefix(colon + 1);
    }
    if (count < 2) return std::nullopt;
    if (count == 2 && has_fraction(fields[1])) {
        fields[2] = fields[1];
        fields[1] = fields[0];
        fields[0] = "0";
        count = 3;
    }
    if (!all_digits(fields[0]) || !all_digits(fields[1])) return std::nullopt;
    std::optional<double> seconds = count == 3 ? seconds_value(fields[2]) : 0.0;
    if (!seconds) return std::nullopt;
    double value = digits_value(fields[0]) * time::SECONDS_PER_HOUR + digits_value(fields[1]) * time::SECONDS_PER_MINUTE +
                   *seconds;
    return negative ? -value : value;
}

TypeId load_time(Lexer& lx) {
    std::optional<double> seconds = read_time(lx.token());
    if (!seconds) lx.invalid(TYPE_TIME);
    if (lx.loading()) lx.push_value(float_cell(*seconds, TYPE_TIME));
    return TYPE_TIME;
}

}  // namespace vyn::lexer
