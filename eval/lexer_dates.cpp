// Loaders of time! and date! tokens. A time is hours:minutes[:seconds] (or minutes:seconds when
// two fields end in a fraction); a date is day, month and year in one of several orders, then an
// optional time and zone. Every field is checked before anything is built: a token either loads
// whole or is the invalid time!/date! error.
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "datatypes/date.hpp"
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

// ---- Dates ----

namespace {

constexpr std::string_view month_names[] = {"january", "february", "march",     "april",   "may",      "june",
                                            "july",    "august",   "september", "october", "november", "december"};

// A month number 1-12, or a name of 3 to 9 letters that begins an English month name.
int month_value(std::string_view t) {
    if (all_digits(t)) return t.size() <= 2 ? int(digits_value(t)) : 0;
    if (t.size() < 3 || t.size() > 9) return 0;
    for (int m = 0; m < 12; ++m) {
        std::string_view name = month_names[m];
        if (t.size() > name.size()) continue;
        bool match = true;
        for (size_t i = 0; i < t.size() && match; ++i) match = char(t[i] | 0x20) == name[i];
        if (match) return m + 1;
    }
    return 0;
}

// A year as written: one or two digits stand for 1950-2049, a sign is allowed.
std::optional<int32_t> year_value(std::string_view t) {
    bool negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    if (!all_digits(t) || t.size() > 4) return std::nullopt;
    int32_t year = int32_t(digits_value(t));
    if (t.size() <= 2 && !negative) year += year > 49 ? 1900 : 2000;
    return negative ? -year : year;
}

struct DateText {
    int32_t year = 0;
    int month = 0;
    int day = 0;
    int64_t days = 0;  // set instead of month and day by the week and year-day forms
    bool by_days = false;
    double seconds = 0;
    bool timed = false;
    uint32_t zone = 0;
};

// `Z`, or a sign then hours and optional minutes, with or without `:`.
bool read_zone(std::string_view t, DateText& d) {
    if (t == "Z" || t == "z") return true;
    if (t.empty() || (t[0] != '+' && t[0] != '-')) return false;
    bool west = t[0] == '-';
    t.remove_prefix(1);
    std::string_view hours = t, minutes;
    if (size_t colon = t.find(':'); colon != std::string_view::npos) {
        hours = t.substr(0, colon);
        minutes = t.substr(colon + 1);
        if (!all_digits(minutes)) return false;
    } else if (t.size() > 2) {
        hours = t.substr(0, t.size() - 2);
        minutes = t.substr(t.size() - 2);
    }
    if (!all_digits(hours) || hours.size() > 2 || (!minutes.empty() && !all_digits(minutes))) return false;
    int h = int(digits_value(hours));
    int m = minutes.empty() ? 0 : int(digits_value(minutes));
    if (h > 15 || m > 59) return false;
    d.zone = date::zone_bits(h, m, west);
    return true;
}

// hhmm or hhmmss without colons, as the compact form writes them.
std::optional<double> compact_time(std::string_view t) {
    if (!all_digits(t) || (t.size() != 4 && t.size() != 6)) return std::nullopt;
    double seconds = digits_value(t.substr(0, 2)) * time::SECONDS_PER_HOUR + digits_value(t.substr(2, 2)) * time::SECONDS_PER_MINUTE;
    return t.size() == 6 ? seconds + digits_value(t.substr(4)) : seconds;
}

// What follows the date: `/` or `T`, a time, then an optional zone.
bool read_clock(std::string_view t, DateText& d) {
    if (t.empty()) return true;
    if (t[0] != '/' && t[0] != 'T' && t[0] != 't') return false;
    t.remove_prefix(1);
    size_t zone_at = t.find_first_of("+-Zz");
    std::string_view clock = t.substr(0, zone_at);
    std::optional<double> seconds = clock.find(':') == std::string_view::npos ? compact_time(clock) : read_time(clock);
    if (!seconds || clock.empty() || clock[0] == '-' || clock[0] == '+') return false;
    d.seconds = *seconds;
    d.timed = true;
    return zone_at == std::string_view::npos || read_zone(t.substr(zone_at), d);
}

bool valid_day(const DateText& d) {
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= date::days_in_month(d.year, d.month);
}

// The text up to the next `-` or `/`, and that separator.
std::string_view take_field(std::string_view& t, char& separator) {
    size_t at = t.find_first_of("-/");
    std::string_view field = t.substr(0, at);
    separator = at == std::string_view::npos ? 0 : t[at];
    t.remove_prefix(at == std::string_view::npos ? t.size() : at + 1);
    return field;
}

// The end of a date field: the time or the end of the token.
size_t clock_start(std::string_view t) {
    size_t at = t.find_first_of("/Tt");
    return at == std::string_view::npos ? t.size() : at;
}

// YYYY-Www-d, YYYY-DDD or YYYY-MM-DD; `t` starts after the year and its separator.
bool read_year_first(std::string_view t, char separator, DateText& d) {
    if (separator == '-' && !t.empty() && (t[0] == 'W' || t[0] == 'w')) {
        std::string_view week = t.substr(1, 2);
        if (t.size() < 5 || t[3] != '-' || !all_digits(week) || t[4] < '1' || t[4] > '7') return false;
        int n = int(digits_value(week));
        if (n < 1 || n > 53) return false;
        d.days = date::iso_week1(d.year) + 7 * (n - 1) + (t[4] - '1');
        d.by_days = true;
        return read_clock(t.substr(5), d);
    }
    char next = 0;
    std::string_view month = take_field(t, next);
    if (next == 0) {
        size_t end = clock_start(month);
        std::string_view yearday = month.substr(0, end);
        if (separator != '-' || yearday.size() != 3 || !all_digits(yearday)) return false;
        int n = int(digits_value(yearday));
        if (n < 1 || n > (date::leap_year(d.year) ? 366 : 365)) return false;
        d.days = date::to_days(d.year, 1, 1) + n - 1;
        d.by_days = true;
        return read_clock(month.substr(end), d);
    }
    if (next != separator) return false;
    d.month = month_value(month);
    size_t end = clock_start(t);
    std::string_view day = t.substr(0, end);
    if (!all_digits(day) || day.size() > 2) return false;
    d.day = int(digits_value(day));
    return valid_day(d) && read_clock(t.substr(end), d);
}

std::optional<DateText> read_date(std::string_view t) {
    DateText d;
    if (t.size() >= 9 && all_digits(t.substr(0, 8)) && (t[8] == 'T' || t[8] == 't')) {
        d.year = int32_t(digits_value(t.substr(0, 4)));
        d.month = int(digits_value(t.substr(4, 2)));
        d.day = int(digits_value(t.substr(6, 2)));
        if (!valid_day(d) || !read_clock(t.substr(8), d)) return std::nullopt;
        return d;
    }
    char separator = 0;
    std::string_view first = take_field(t, separator);
    if (separator == 0 || !all_digits(first)) return std::nullopt;
    if (first.size() == 4) {
        d.year = int32_t(digits_value(first));
        if (!read_year_first(t, separator, d)) return std::nullopt;
        return d;
    }
    if (first.size() > 2) return std::nullopt;
    d.day = int(digits_value(first));
    char next = 0;
    d.month = month_value(take_field(t, next));
    if (next != separator) return std::nullopt;
    // A negative year follows the separator with its own `-`.
    size_t end = clock_start(t.substr(t.empty() || t[0] != '-' ? 0 : 1)) + (!t.empty() && t[0] == '-');
    std::optional<int32_t> year = year_value(t.substr(0, end));
    if (!year) return std::nullopt;
    d.year = *year;
    if (!valid_day(d) || !read_clock(t.substr(end), d)) return std::nullopt;
    return d;
}

}  // namespace

TypeId load_date(Lexer& lx) {
    std::optional<DateText> d = read_date(lx.token());
    if (!d) lx.invalid(TYPE_DATE);
    int64_t days = d->by_days ? d->days : date::to_days(d->year, d->month, d->day);
    // A time of many days carries the date along; it must not carry it out of the years a date holds.
    if (!(d->seconds < 1e12)) lx.invalid(TYPE_DATE);
    if (days + int64_t(std::floor(d->seconds / date::SECONDS_PER_DAY)) > date::to_days(9999, 12, 31)) lx.invalid(TYPE_DATE);
    if (lx.loading()) {
        Cell value;
        date::normalize(&value, days, d->seconds - date::zone_offset(d->zone), d->zone, d->timed);
        lx.push_value(value);
    }
    return TYPE_DATE;
}

}  // namespace vyn::lexer
