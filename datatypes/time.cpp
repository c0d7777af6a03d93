// time! handlers: construction, the H:MM:SS text, hour/minute/second access, the arithmetic front
// ends over float!'s number core, rounding and parity. Every result keeps the seconds exactly as
// computed: nothing here wraps a time into a day.
#include "datatypes/time.hpp"

#include <charconv>
#include <cmath>

#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::time {
namespace {

using float_::MathOp;

Cell time_cell(double seconds) { return float_cell(seconds, TYPE_TIME); }

// ---- Construction ----

// [hours minutes seconds], each part optional from the right. Only the hours may be negative,
// and then the whole time is.
double from_block(const Cell* spec) {
    Cell block = *spec;
    uint32_t count = block::vs_length(&block);
    if (count < 1 || count > 3) datatype::fire_bad_to_arg(TYPE_TIME, spec);
    const Cell* parts = block::vs_head(&block);
    double fields[3] = {0.0, 0.0, 0.0};
    for (uint32_t i = 0; i < count; ++i) {
        bool number = parts[i].is(TYPE_INTEGER) || (i == 2 && parts[i].is(TYPE_FLOAT));
        if (!number) datatype::fire_bad_to_arg(TYPE_TIME, spec);
        fields[i] = scalar::number_of(parts[i]);
        if (i > 0 && fields[i] < 0) datatype::fire_bad_to_arg(TYPE_TIME, spec);
    }
    double magnitude = std::fabs(fields[0]) * SECONDS_PER_HOUR + fields[1] * SECONDS_PER_MINUTE + fields[2];
    return fields[0] < 0 ? -magnitude : magnitude;
}

double converted(const Cell* spec) {
    TypeId type = spec->type();
    switch (type) {
    case TYPE_TIME: case TYPE_FLOAT: case TYPE_PERCENT: return spec->f64();
    case TYPE_INTEGER: return spec->i32();
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: return from_block(spec);
    default:
        if (string::is_text(type)) return scalar::loaded_as(spec, TYPE_TIME).f64();
        datatype::fire_bad_to_arg(TYPE_TIME, spec);
    }
}

Cell* time_make(Cell* proto, const Cell* spec, TypeId) { return make_at(proto, converted(spec)); }

// ---- Text ----

// A whole number of any magnitude as decimal digits.
int32_t emit_whole(Cell* out, double whole, int32_t budget) {
    if (whole > -2147483649.0 && whole < 2147483648.0)
        return datatype::append_text(out, integer::form_signed(int32_t(whole)).text(), budget);
    char text[400];
    auto written = std::to_chars(text, text + sizeof text, whole, std::chars_format::fixed, 0);
    return datatype::append_text(out, {text, size_t(written.ptr - text)}, budget);
}

int32_t emit_two_digits(Cell* out, int32_t value, int32_t budget) {
    const char text[2] = {char('0' + value / 10), char('0' + value % 10)};
    return mold::emit(out, {text, 2}, budget);
}

// The seconds within the minute, at most six significant digits, always at least two before
// any fraction (5 gives 05, 5.25 gives 05.25).
int32_t emit_seconds_field(Cell* out, double seconds, int32_t budget) {
    if (seconds < 1e-06) return mold::emit(out, "00", budget);
    char text[float_text::text_capacity];
    size_t length = float_::to_text(seconds, float_text::TextKind::seconds, text);
    if (length == 1 || text[1] == '.') budget = mold::emit(out, "0", budget);
    return mold::emit(out, {text, length}, budget);
}

int32_t time_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return form_seconds(value->f64(), out, budget);
}

int32_t time_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return time_form(value, out, part, budget);
}

// ---- Paths ----

Field path_field(const Cell* element, const PathStep& step) {
    int index = field_index(element);
    if (index < 0) {
        Cell path = step.path ? *step.path : none_cell();
        fire(err::invalid_path, &path, element);
    }
    return Field(index);
}

Cell* time_eval_path(Cell* value, const Cell* element, const Cell* new_value, const PathStep& step) {
    Field field = path_field(element, step);
    if (!new_value) {
        *value = field_value(value->f64(), field);
        return value;
    }
    return make_at(value, with_field(value->f64(), field, new_value));
}

Cell* time_pick(Cell* value, int32_t, const Cell* index) {
    int field = field_index(index);
    if (field < 0) {
        if (word_names::field_word(index->type())) fire(err::cannot_use, index, value);
        fire(err::out_of_range, index);
    }
    *value = field_value(value->f64(), Field(field));
    return value;
}

// ---- Arithmetic ----

// A time plus a date is the date moved by the time.
Cell* time_add(Cell* left, const Cell* right) {
    if (!right->is(TYPE_DATE)) return float_::do_math(left, right, MathOp::add);
    const Cell duration = *left;
    *left = *right;
    return datatype::handler<A_ADD>(TYPE_DATE)(left, &duration);
}

Cell* time_subtract(Cell* left, const Cell* right) {
    if (right->is(TYPE_DATE)) datatype::fire_not_related("subtract", TYPE_TIME);
    return float_::do_math(left, right, MathOp::subtract);
}

Cell* time_multiply(Cell* left, const Cell* right) {
    if (right->is(TYPE_TIME)) datatype::fire_not_related("multiply", TYPE_TIME);
    return float_::do_math(left, right, MathOp::multiply);
}

// Two durations divide into their ratio.
Cell* time_divide(Cell* left, const Cell* right) {
    bool ratio = right->is(TYPE_TIME);
    float_::do_math(left, right, MathOp::divide);
    if (ratio) *left = float_cell(left->f64());
    return left;
}

// ---- Rounding and parity ----

// A time! scale counts seconds like a number; whatever the scale, the result is a time.
Cell* time_round(Cell* value, const RoundArgs& args) {
    RoundArgs how = args;
    Cell scale;
    if (args.to && args.to->is(TYPE_TIME)) {
        scale = float_cell(args.to->f64());
        how.to = &scale;
    }
    float_::round(value, how);
    return make_at(value, value->is(TYPE_INTEGER) ? double(value->i32()) : value->f64());
}

// The parity of the whole-seconds field, nudged so that 1.9999999 counts as 2.
int32_t whole_seconds_field(double seconds) {
    double nudged = seconds + (seconds < 0 ? -1e-06 : 1e-06);
    return int32_t(std::fmod(nudged, SECONDS_PER_MINUTE));
}

bool time_even(const Cell* value) { return (whole_seconds_field(value->f64()) & 1) == 0; }
bool time_odd(const Cell* value) { return (whole_seconds_field(value->f64()) & 1) != 0; }

const SlotHandler time_actions[] = {
    act<A_MAKE>(time_make),
    inherited_at<A_RANDOM>(),
    act<A_TO>(time_make),
    act<A_FORM>(time_form),
    act<A_MOLD>(time_mold),
    act<A_EVAL_PATH>(time_eval_path),
    inherited_at<A_COMPARE>(),
    inherited_at<A_ABSOLUTE>(),
    act<A_ADD>(time_add),
    act<A_DIVIDE>(time_divide),
    act<A_MULTIPLY>(time_multiply),
    inherited_at<A_NEGATE>(),
    inherited_at<A_REMAINDER>(),
    act<A_ROUND>(time_round),
    act<A_SUBTRACT>(time_subtract),
    act<A_EVEN_Q>(time_even),
    act<A_ODD_Q>(time_odd),
    act<A_PICK>(time_pick),
};

}  // namespace

int32_t get_hours(double seconds) {
    double hours = seconds / SECONDS_PER_HOUR;
    hours = seconds < 0 ? std::ceil(hours) : std::floor(hours);
    if (!(hours > -2147483649.0 && hours < 2147483648.0)) datatype::fire_with_type(err::type_limit, TYPE_INTEGER);
    return int32_t(hours);
}

int32_t get_minutes(double seconds) {
    if (!std::isfinite(seconds)) return 0;
    return int32_t(std::floor(std::fmod(std::fabs(seconds), SECONDS_PER_HOUR) / SECONDS_PER_MINUTE));
}

Cell* make_at(Cell* cell, double seconds) {
    *cell = time_cell(seconds);
    return cell;
}

// An infinite or NaN time has no fields: it shows as the number it holds.
int32_t form_seconds(double seconds, Cell* out, int32_t budget) {
    if (!std::isfinite(seconds)) return float_::form_text(seconds, float_text::TextKind::float_form, out, budget);
    if (seconds < 0) {
        budget = mold::emit(out, "-", budget);
        seconds = -seconds;
    }
    budget = emit_whole(out, std::floor(seconds / SECONDS_PER_HOUR), budget);
    budget = mold::emit(out, ":", budget);
    budget = emit_two_digits(out, get_minutes(seconds), budget);
    budget = mold::emit(out, ":", budget);
    return emit_seconds_field(out, std::fmod(seconds, SECONDS_PER_MINUTE), budget);
}

int field_index(const Cell* element) {
    if (element->is(TYPE_INTEGER)) {
        int32_t n = element->i32();
        return n >= 1 && n <= 3 ? n - 1 : -1;
    }
    if (!word_names::field_word(element->type())) return -1;
    const uint32_t names[] = {words::sym::hour, words::sym::minute, words::sym::second};
    for (int i = 0; i < 3; ++i)
        if (word_names::is(*element, names[i])) return i;
    return -1;
}

Cell field_value(double seconds, Field field) {
    switch (field) {
    case Field::hour: return integer_cell(get_hours(seconds));
    case Field::minute: return integer_cell(get_minutes(seconds));
    case Field::second: break;
    }
    return float_cell(std::fmod(seconds, SECONDS_PER_MINUTE));
}

double with_field(double seconds, Field field, const Cell* value) {
    bool integer = value->is(TYPE_INTEGER);
    if (!integer && !(field == Field::second && value->is(TYPE_FLOAT))) fire(err::invalid_arg, value);
    double n = scalar::number_of(*value);
    if (field == Field::second) return seconds - (std::fmod(seconds, SECONDS_PER_MINUTE) - n);
    bool negative = seconds < 0;
    double magnitude = std::fabs(seconds);
    double hours = std::floor(magnitude / SECONDS_PER_HOUR);
    double within_hour = magnitude - hours * SECONDS_PER_HOUR;
    if (field == Field::hour) {
        if (n != 0) negative = n < 0;
        return negative ? -(std::fabs(n) * SECONDS_PER_HOUR + within_hour) : n * SECONDS_PER_HOUR + within_hour;
    }
    double minutes = std::floor(within_hour / SECONDS_PER_MINUTE);
    double result = magnitude + (n - minutes) * SECONDS_PER_MINUTE;
    return negative ? -result : result;
}

}  // namespace vyn::time

namespace vyn {

void time_init() { datatype::register_type(TYPE_TIME, TYPE_FLOAT, "time!", UNSUPPORTED, time::time_actions); }

}  // namespace vyn
