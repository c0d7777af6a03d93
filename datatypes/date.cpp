// date! handlers: day-number calendar arithmetic, zones, the fourteen path fields, comparison,
// construction from blocks and integers, random dates and the text form. Every date that leaves
// here went through `normalize`, so its local time of day lies in 0 <= t < 24 hours and its year
// fits the date word.
#include "datatypes/date.hpp"

#include <cmath>
#include <ctime>
#include <string>
#include <utility>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/time.hpp"
#include "datatypes/word.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::date {
namespace {

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

// Days from 1 March of year 0 to 1 March of year y.
int64_t year_start(int64_t y) { return y * 365 + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400); }

uint32_t pack(int64_t year, int month, int day, uint32_t zone, bool time_flag) {
    return uint32_t(year) << 17 | uint32_t(month) << 12 | uint32_t(day) << 7 | (time_flag ? TIME_FLAG : 0) |
           (time_flag ? zone & ZONE_MASK : 0);
}

Cell date_cell(uint32_t word, double seconds) {
    Cell cell = float_cell(seconds, TYPE_DATE);
    cell.s1 = word;
    return cell;
}

const int64_t EPOCH_DAYS = to_days(1970, 1, 1);

// Day 0 of a month that may lie outside 1-12: whole years carry over.
int64_t month_day0(int64_t year, int64_t month) {
    int64_t carried = year + floor_div(month - 1, 12);
    return to_days(int32_t(carried), int(floor_mod(month - 1, 12)) + 1, 1) - 1;
}

int64_t jan1_days(uint32_t word) { return to_days(year_of(word), 1, 1); }

// 0 for Monday to 6 for Sunday.
int weekday_index(int64_t days) { return int(floor_mod(days + 2, 7)); }

int iso_week(uint32_t word, int64_t days) {
    int32_t year = year_of(word);
    int64_t week1 = iso_week1(year);
    if (days < week1) {
        int jan1 = weekday_index(jan1_days(word)) + 1;
        if (jan1 == 5) return 53;
        if (jan1 == 6) return leap_year(year - 1) ? 53 : 52;
        return 52;
    }
    if (days >= iso_week1(year + 1)) return 1;
    return int((days - week1) / 7 + 1);
}

// Weeks that start on Sunday, week 1 holding 1 January.
int64_t sunday_offset(int64_t jan1) { return floor_mod(jan1 + 3, 7); }

int sunday_week(uint32_t word, int64_t days) {
    int64_t jan1 = jan1_days(word);
    int64_t e = sunday_offset(jan1);
    int64_t yearday = days - jan1 + 1;
    if (yearday <= 7 - e) return 1;
    return int((yearday + e - 1) / 7 + 1);
}

// Takes whole days out of the local time (seconds + the zone's offset) so that it lies in
// 0 <= t < 24 hours.
void normalize_days(int64_t& days, double& seconds, uint32_t zone) {
    // Far beyond any year a date word holds: refused before the day count could overflow.
    if (!(std::fabs(seconds) < 1e15)) fire(err::overflow);
    double offset = zone_offset(zone);
    int64_t whole_days = int64_t(std::trunc((seconds + offset) / time::SECONDS_PER_HOUR)) / 24;
    seconds -= double(whole_days) * SECONDS_PER_DAY;
    days += whole_days;
    if (seconds + offset < 0) {
        seconds += SECONDS_PER_DAY;
        --days;
    }
}

double local_seconds(const Cell& date) { return date.f64() + zone_offset(zone_of(date.s1)); }

// ---- Fields ----

enum Field {
    F_DATE = 1, F_YEAR, F_MONTH, F_DAY, F_ZONE, F_TIME, F_HOUR, F_MINUTE, F_SECOND, F_WEEKDAY, F_YEARDAY,
    F_TIMEZONE, F_WEEK, F_ISOWEEK,
};
constexpr int FIELD_COUNT = 14;

int field_of(const Cell* element) {
    if (element->is(TYPE_INTEGER)) {
        int32_t n = element->i32();
        return n >= 1 && n <= FIELD_COUNT ? n : 0;
    }
    if (!word_names::field_word(element->type())) return 0;
    using namespace words;
    const uint32_t names[] = {sym::date,    sym::year,    sym::month,    sym::day,    sym::zone,
                              sym::time,    sym::hour,    sym::minute,   sym::second, sym::weekday,
                              sym::yearday, sym::timezone, sym::week,    sym::isoweek};
    for (int i = 0; i < FIELD_COUNT; ++i)
        if (word_names::is(*element, names[i])) return i + 1;
    return word_names::is(*element, sym::julian) ? F_YEARDAY : 0;
}

Cell zone_value(const Cell& date) {
    if (!has_time(date.s1)) return none_cell();
    return float_cell(zone_offset(zone_of(date.s1)), TYPE_TIME);
}

Cell field_value(const Cell& date, int field) {
    uint32_t word = date.s1;
    int64_t days = to_days(word);
    double local = local_seconds(date);
    switch (field) {
    case F_DATE: return date_cell(pack(year_of(word), month_of(word), day_of(word), 0, false), 0.0);
    case F_YEAR: return integer_cell(year_of(word));
    case F_MONTH: return integer_cell(month_of(word));
    case F_DAY: return integer_cell(day_of(word));
    case F_ZONE: case F_TIMEZONE: return zone_value(date);
    case F_TIME: return has_time(word) ? float_cell(local, TYPE_TIME) : none_cell();
    case F_HOUR: return time::field_value(local, time::Field::hour);
    case F_MINUTE: return time::field_value(local, time::Field::minute);
    case F_SECOND: return time::field_value(local, time::Field::second);
    case F_WEEKDAY: return integer_cell(weekday_index(days) + 1);
    case F_YEARDAY: return integer_cell(int32_t(days - jan1_days(word) + 1));
    case F_WEEK: return integer_cell(sunday_week(word, days));
    default: return integer_cell(iso_week(word, days));
    }
}

int32_t integer_value(const Cell* value) {
    if (!value->is(TYPE_INTEGER)) fire(err::invalid_arg, value);
    return value->i32();
}

// A zone from integer hours (their remainder by 16) or a time! (its remainder by 16 hours,
// minutes down to whole quarters).
uint32_t zone_from(const Cell* value) {
    if (value->is(TYPE_INTEGER)) {
        int32_t hours = value->i32() % 16;
        return zone_bits(hours, 0, hours < 0);
    }
    if (!value->is(TYPE_TIME)) fire(err::invalid_arg, value);
    double t = std::fmod(value->f64(), 16 * time::SECONDS_PER_HOUR);
    return zone_bits(time::get_hours(t), time::get_minutes(t), t < 0);
}

// The date with one field replaced; whatever carries (days into months, times into days) is
// normalised in the date's zone.
void set_field(Cell* date, int field, const Cell* value) {
    uint32_t word = date->s1;
    uint32_t zone = zone_of(word);
    bool timed = has_time(word);
    int64_t days = to_days(word);
    double seconds = date->f64();
    switch (field) {
    case F_DATE:
        if (!value->is(TYPE_DATE)) fire(err::invalid_arg, value);
        days = to_days(value->s1);
        break;
    case F_YEAR: days = to_days(integer_value(value), month_of(word), day_of(word)); break;
    case F_MONTH: days = month_day0(year_of(word), integer_value(value)) + day_of(word); break;
    case F_DAY: days = month_day0(year_of(word), month_of(word)) + integer_value(value); break;
    case F_ZONE: {
        double local = local_seconds(*date);
        zone = zone_from(value);
        seconds = local - zone_offset(zone);
        break;
    }
    case F_TIMEZONE: zone = zone_from(value); break;
    case F_TIME:
        if (value->is(TYPE_NONE)) {
            timed = false;
            seconds = 0.0;
            break;
        }
        if (!value->is(TYPE_TIME)) fire(err::invalid_arg, value);
        seconds = value->f64() - zone_offset(zone);
        timed = true;
        break;
    case F_HOUR: case F_MINUTE: case F_SECOND: {
        double local = time::with_field(local_seconds(*date), time::Field(field - F_HOUR), value);
        seconds = local - zone_offset(zone);
        timed = true;
        break;
    }
    case F_WEEKDAY: days = days - weekday_index(days) + integer_value(value) - 1; break;
    case F_YEARDAY: days = jan1_days(word) + integer_value(value) - 1; break;
    case F_WEEK: {
        int64_t n = integer_value(value);
        int64_t jan1 = jan1_days(word);
        days = n <= 1 ? jan1 : jan1 - sunday_offset(jan1) + 7 * (n - 1);
        break;
    }
    default: days = iso_week1(year_of(word)) + 7 * (int64_t(integer_value(value)) - 1); break;
    }
    normalize(date, days, seconds, zone, timed);
}

Cell* date_eval_path(Cell* date, const Cell* element, const Cell* value, const PathStep& step) {
    int field = field_of(element);
    if (field == 0) {
        Cell path = step.path ? *step.path : none_cell();
        fire(err::invalid_path, &path, element);
    }
    if (value) set_field(date, field, value);
    else *date = field_value(*date, field);
    return date;
}

Cell* date_pick(Cell* date, int32_t, const Cell* index) {
    int field = field_of(index);
    if (field == 0) {
        if (word_names::field_word(index->type())) fire(err::cannot_use, index, date);
        fire(err::out_of_range, index);
    }
    *date = field_value(*date, field);
    return date;
}

// ---- Arithmetic and comparison ----

// Whole days between two dates, after their seconds' difference is normalised in the left
// date's zone.
int32_t days_between(const Cell& left, const Cell& right) {
    int64_t days = to_days(left.s1) - to_days(right.s1);
    double seconds = left.f64() - right.f64();
    normalize_days(days, seconds, zone_of(left.s1));
    return int32_t(days);
}

Cell* date_math(Cell* left, const Cell* right, bool subtract) {
    uint32_t word = left->s1;
    int64_t days = to_days(word);
    double seconds = left->f64();
    bool timed = has_time(word);
    switch (right->type()) {
    case TYPE_INTEGER: days += subtract ? -int64_t(right->i32()) : right->i32(); break;
    case TYPE_TIME:
        seconds += subtract ? -right->f64() : right->f64();
        timed = true;
        break;
    case TYPE_DATE:
        if (!subtract) datatype::fire_not_related("add", TYPE_DATE);
        *left = integer_cell(days_between(*left, *right));
        return left;
    default: datatype::fire_with_type(err::invalid_type, right->type());
    }
    return normalize(left, days, seconds, zone_of(word), timed);
}

Cell* date_add(Cell* left, const Cell* right) { return date_math(left, right, false); }
Cell* date_subtract(Cell* left, const Cell* right) { return date_math(left, right, true); }

int three_way(double a, double b) { return (a > b) - (a < b); }

// Two dates with times compare as instants; otherwise by local year, month and day, then by
// their seconds.
int date_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_DATE)) return -2;
    bool instants = has_time(a->s1) && has_time(b->s1);
    int64_t day_a = instants ? 0 : to_days(a->s1);
    int64_t day_b = instants ? 0 : to_days(b->s1);
    double x = instants ? to_seconds(*a) : a->f64();
    double y = instants ? to_seconds(*b) : b->f64();
    bool same_day = day_a == day_b;
    switch (op) {
    case CMP_EQUAL: case CMP_NOT_EQUAL: case CMP_STRICT_EQUAL: case CMP_FIND:
        return same_day && float_::almost_equal(x, y) ? 0 : 1;
    case CMP_SAME: return same_day && x == y ? 0 : 1;
    default: return same_day ? three_way(x, y) : (day_a < day_b ? -1 : 1);
    }
}

// ---- Construction ----

enum BlockField : uint8_t {
    B_DAY, B_MONTH, B_YEAR, B_HOUR, B_MINUTE, B_SECOND, B_ZONE_HOURS, B_ZONE_MINUTES, B_SECOND_FLOAT,
    B_TIME = 10, B_ZONE = 12,
};
constexpr uint8_t REFUSED = 255;

struct Transition {
    uint8_t next;
    uint8_t field;
};
// Per state, the transitions for an integer!, a time! and a float! element.
constexpr Transition block_states[14][3] = {
    {{1, B_DAY}, {REFUSED, 0}, {REFUSED, 0}},
    {{2, B_MONTH}, {REFUSED, 0}, {REFUSED, 0}},
    {{3, B_YEAR}, {REFUSED, 0}, {REFUSED, 0}},
    {{8, B_HOUR}, {4, B_TIME}, {REFUSED, 0}},
    {{6, B_ZONE_HOURS}, {5, B_ZONE}, {REFUSED, 0}},
    {{REFUSED, 0}, {REFUSED, 0}, {REFUSED, 0}},
    {{7, B_ZONE_MINUTES}, {REFUSED, 0}, {REFUSED, 0}},
    {{REFUSED, 0}, {REFUSED, 0}, {REFUSED, 0}},
    {{9, B_MINUTE}, {REFUSED, 0}, {REFUSED, 0}},
    {{10, B_SECOND}, {REFUSED, 0}, {10, B_SECOND_FLOAT}},
    {{12, B_ZONE_HOURS}, {11, B_ZONE}, {REFUSED, 0}},
    {{REFUSED, 0}, {REFUSED, 0}, {REFUSED, 0}},
    {{13, B_ZONE_MINUTES}, {REFUSED, 0}, {REFUSED, 0}},
    {{REFUSED, 0}, {REFUSED, 0}, {REFUSED, 0}},
};

int element_column(const Cell& value) {
    switch (value.type()) {
    case TYPE_INTEGER: return 0;
    case TYPE_TIME: return 1;
    case TYPE_FLOAT: return 2;
    default: return -1;
    }
}

struct BlockFields {
    int64_t ints[8] = {};
    double second = 0.0;
    double time = 0.0;
    bool has_time_element = false;
    bool zone_west = false;
};

// Walks the block through the state table; false for a block the table refuses.
bool read_block(const Cell* spec, BlockFields& f, uint32_t& count) {
    Cell block = *spec;
    count = block::vs_length(&block);
    const Cell* values = block::vs_head(&block);
    if (count < 3) return false;
    uint8_t state = 0;
    for (uint32_t i = 0; i < count; ++i) {
        int column = element_column(values[i]);
        if (column < 0 || state > 13) return false;
        Transition t = block_states[state][column];
        if (t.next == REFUSED) return false;
        state = t.next;
        switch (t.field) {
        case B_SECOND: f.second = values[i].i32(); break;
        case B_SECOND_FLOAT: f.second = values[i].f64(); break;
        case B_TIME:
            f.time = values[i].f64();
            f.has_time_element = true;
            break;
        case B_ZONE: {
            double zone = values[i].f64();
            f.ints[B_ZONE_HOURS] = time::get_hours(zone);
            f.ints[B_ZONE_MINUTES] = time::get_minutes(zone);
            f.zone_west = zone < 0;
            break;
        }
        default: f.ints[t.field] = values[i].i32();
        }
    }
    return true;
}

// The date a block describes; `make` also refuses fields that would carry.
Cell from_block(const Cell* spec, bool checked) {
    BlockFields f;
    uint32_t count = 0;
    if (!read_block(spec, f, count)) datatype::fire_bad_to_arg(TYPE_DATE, spec);
    int64_t day = f.ints[B_DAY], month = f.ints[B_MONTH], year = f.ints[B_YEAR];
    if (day > 99 && year < day) std::swap(day, year);
    double local = f.has_time_element ? f.time
                                      : double(f.ints[B_HOUR]) * time::SECONDS_PER_HOUR +
                                            double(f.ints[B_MINUTE]) * time::SECONDS_PER_MINUTE + f.second;
    int64_t zone_hours = f.ints[B_ZONE_HOURS];
    uint32_t zone = zone_bits(int32_t(zone_hours % 16), int32_t(f.ints[B_ZONE_MINUTES] % 60),
                              zone_hours < 0 || f.zone_west);
    if (year < MIN_YEAR || year > MAX_YEAR) datatype::fire_bad_to_arg(TYPE_DATE, spec);
    int64_t days = month_day0(year, month) + day;
    bool timed = count > 3;
    if (checked) {
        uint32_t word = from_days(days, 0, false);
        bool same_date = year_of(word) == year && month_of(word) == month && day_of(word) == day;
        bool clock_ok = !timed || (local >= 0 && local < 24 * time::SECONDS_PER_HOUR &&
                                   (f.has_time_element || time::get_minutes(local) == f.ints[B_MINUTE]));
        if (!same_date || !clock_ok) datatype::fire_bad_to_arg(TYPE_DATE, spec);
    }
    Cell date;
    return *normalize(&date, days, local - zone_offset(zone), zone, timed);
}

// Seconds after 1-Jan-1970/0:00 UTC.
Cell from_epoch(int64_t seconds) {
    Cell date;
    return *normalize(&date, EPOCH_DAYS + floor_div(seconds, 86400), double(floor_mod(seconds, 86400)), 0, true);
}

Cell converted(const Cell* spec, bool checked) {
    switch (spec->type()) {
    case TYPE_DATE: return *spec;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: return from_block(spec, checked);
    case TYPE_INTEGER:
        if (!checked) return from_epoch(spec->i32());
        [[fallthrough]];
    default: datatype::fire_bad_to_arg(TYPE_DATE, spec);
    }
}

Cell* date_make(Cell* proto, const Cell* spec, TypeId) {
    *proto = converted(spec, true);
    return proto;
}

Cell* date_to(Cell* proto, const Cell* spec, TypeId) {
    *proto = converted(spec, false);
    return proto;
}

// ---- Random ----

Cell* date_random(Cell* date, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(date->s1 + uint32_t(int64_t(std::trunc(date->f64())))));
        *date = unset_cell();
        return date;
    }
    uint32_t word = date->s1;
    int64_t limit = to_days(word);
    int64_t days = int64_t(random::int_in_range(int32_t(limit), secure)) - 1;
    if (!has_time(word)) return normalize(date, days, 0.0, 0, false);
    uint32_t zone = uint32_t(random::draw(secure)) & ZONE_MASK;
    double fraction = double(random::draw(secure)) / 2147483648.0;
    double local = std::floor(fraction * SECONDS_PER_DAY);
    return normalize(date, days, local - zone_offset(zone), zone, true);
}

// ---- Text ----

// The month's name from system/locale/months.
Cell month_name(int month) {
    Cell system = context::get_global(words::sym::system);
    Cell locale = system.is(TYPE_OBJECT) ? object::vs_select(system, word::from_symbol(words::sym::locale)) : none_cell();
    Cell months = locale.is(TYPE_OBJECT) ? object::vs_select(locale, word::from_symbol(words::sym::months)) : none_cell();
    if (!months.is(TYPE_BLOCK) || block::vs_length(&months) < uint32_t(month)) fire(err::invalid_months);
    Cell name = block::vs_head(&months)[month - 1];
    if (!name.is(TYPE_STRING)) fire(err::invalid_months);
    return name;
}

int32_t emit_padded(Cell* out, int64_t value, int width, int32_t budget) {
    std::string digits = std::to_string(value);
    if (int(digits.size()) < width) digits.insert(0, size_t(width) - digits.size(), '0');
    return mold::emit(out, digits, budget);
}

int32_t emit_month(Cell* out, int month, int32_t budget) {
    Cell name = month_name(month);
    string::View view = string::view_of(&name);
    for (uint32_t i = 0; i < view.length && i < 3; ++i) {
        string::append_char(out->s2, string::view_of(&name).at(i));
        --budget;
    }
    return budget;
}

int32_t emit_zone(Cell* out, uint32_t zone, int32_t budget) {
    budget = mold::emit(out, zone & 0x40 ? "-" : "+", budget);
    budget = emit_padded(out, (zone >> 2) & 0xF, 2, budget);
    budget = mold::emit(out, ":", budget);
    return emit_padded(out, (zone & 3) * 15, 2, budget);
}

int32_t date_form(const Cell* date, Cell* out, const Cell*, int32_t budget) {
    const Cell value = *date;
    uint32_t word = value.s1;
    int32_t year = year_of(word);
    const char* separator = year < 0 ? "/" : "-";
    budget = emit_padded(out, day_of(word), 1, budget);
    budget = mold::emit(out, separator, budget);
    budget = emit_month(out, month_of(word), budget);
    budget = mold::emit(out, separator, budget);
    if (year < 0) budget = mold::emit(out, "-", budget);
    int64_t magnitude = year < 0 ? -int64_t(year) : year;
    budget = emit_padded(out, magnitude, magnitude < 100 ? 4 : 1, budget);
    if (!has_time(word)) return budget;
    budget = mold::emit(out, "/", budget);
    budget = time::form_seconds(local_seconds(value), out, budget);
    return zone_of(word) ? emit_zone(out, zone_of(word), budget) : budget;
}

int32_t date_mold(const Cell* date, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return date_form(date, out, part, budget);
}

const SlotHandler date_actions[] = {
    act<A_MAKE>(date_make),
    act<A_RANDOM>(date_random),
    act<A_TO>(date_to),
    act<A_FORM>(date_form),
    act<A_MOLD>(date_mold),
    act<A_EVAL_PATH>(date_eval_path),
    act<A_COMPARE>(date_compare),
    act<A_ADD>(date_add),
    act<A_SUBTRACT>(date_subtract),
    act<A_PICK>(date_pick),
};

}  // namespace

bool leap_year(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int32_t year, int month) {
    constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap_year(year) ? 29 : lengths[month - 1];
}

int64_t to_days(int32_t year, int month, int day) {
    int64_t b = (month + 9) % 12;
    int64_t y = year - b / 10;
    return year_start(y) + (b * 306 + 5) / 10 + (day - 1);
}

int64_t to_days(uint32_t word) { return to_days(year_of(word), month_of(word), day_of(word)); }

int64_t iso_week1(int32_t year) {
    int64_t jan4 = to_days(year, 1, 4);
    return jan4 - weekday_index(jan4);
}

uint32_t from_days(int64_t days, uint32_t zone, bool time_flag) {
    int64_t f = int64_t(std::floor((10000.0 * double(days) + 14780.0) / 3652425.0));
    while (days < year_start(f)) --f;
    while (days >= year_start(f + 1)) ++f;
    int64_t g = days - year_start(f);
    int64_t m = (100 * g + 52) / 3060;
    int64_t year = f + (m + 2) / 12;
    if (year < MIN_YEAR || year > MAX_YEAR) fire(err::overflow);
    int month = int((m + 2) % 12 + 1);
    int day = int(g - (m * 306 + 5) / 10 + 1);
    return pack(year, month, day, zone, time_flag);
}

uint32_t zone_bits(int32_t hours, int32_t minutes, bool west) {
    uint32_t h = uint32_t(hours < 0 ? -hours : hours) & 0xF;
    uint32_t quarters = uint32_t((minutes < 0 ? -minutes : minutes) / 15) & 3;
    return (west ? 0x40u : 0u) | h << 2 | quarters;
}

double zone_offset(uint32_t zone) {
    double seconds = double((zone >> 2) & 0xF) * time::SECONDS_PER_HOUR + double(zone & 3) * 15 * time::SECONDS_PER_MINUTE;
    return zone & 0x40 ? -seconds : seconds;
}

Cell* normalize(Cell* cell, int64_t days, double seconds, uint32_t zone, bool time_flag) {
    if (!time_flag) {
        *cell = date_cell(from_days(days, 0, false), 0.0);
        return cell;
    }
    normalize_days(days, seconds, zone);
    *cell = date_cell(from_days(days, zone, true), seconds);
    return cell;
}

Cell* make_at(Cell* cell, int32_t year, int month, int day, double local_seconds, uint32_t zone, bool time_flag) {
    return normalize(cell, month_day0(year, month) + day, local_seconds - zone_offset(zone), zone, time_flag);
}

Cell* make_from_parts(Cell* cell, int32_t year, int month, int day, int hour, int minute, int second,
                      int32_t nanoseconds) {
    double seconds = hour * time::SECONDS_PER_HOUR + minute * time::SECONDS_PER_MINUTE + second + nanoseconds * 1e-09;
    return make_at(cell, year, month, day, seconds, 0, true);
}

int64_t to_epoch(const Cell& date) {
    return (to_days(date.s1) - EPOCH_DAYS) * 86400 + int64_t(date.f64() + 0.5);
}

double to_seconds(const Cell& date) { return double(to_days(date.s1)) * SECONDS_PER_DAY + date.f64(); }

Cell* difference(Cell* date, const Cell* other) { return time::make_at(date, to_seconds(*date) - to_seconds(*other)); }

Cell* now(Cell* cell, bool precise) {
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    tm local{};
    localtime_r(&clock.tv_sec, &local);
    int32_t offset_minutes = int32_t(local.tm_gmtoff / 60);
    uint32_t zone = zone_bits(offset_minutes / 60, offset_minutes % 60, offset_minutes < 0);
    double seconds = double(floor_mod(clock.tv_sec, 86400)) + (precise ? clock.tv_nsec * 1e-09 : 0.0);
    return normalize(cell, EPOCH_DAYS + floor_div(clock.tv_sec, 86400), seconds, zone, true);
}

}  // namespace vyn::date

namespace vyn {

void date_init() { datatype::register_type(TYPE_DATE, TYPE_NONE_ID, "date!", UNSUPPORTED, date::date_actions); }

}  // namespace vyn
