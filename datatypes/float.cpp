// float! actions and the number core shared with percent!, time! and integer!: conversion,
// arithmetic, comparison, rounding and the text forms. Every reader takes the double from slots
// 2-3 whatever the float-like type; an integer! or char! operand is read from slot 2.
#include "datatypes/float.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <utility>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/money.hpp"
#include "datatypes/string.hpp"

namespace vyn::float_ {
namespace {

using float_text::TextKind;

constexpr double quiet_nan = std::bit_cast<double>(uint64_t{0x7FF8000000000000});
constexpr double double_epsilon = std::numeric_limits<double>::epsilon();
constexpr double largest_double = std::numeric_limits<double>::max();

using datatype::fire_not_related;
using datatype::fire_with_type;

Cell* store(Cell* cell, double value, TypeId type) {
    *cell = float_cell(value, type);
    return cell;
}

bool is_float_like(TypeId t) { return t == TYPE_FLOAT || t == TYPE_PERCENT || t == TYPE_TIME; }

// integer! and char! keep their value in slot 2; the float-like types in slots 2-3.
double number_of(const Cell* c) {
    if (c->is(TYPE_INTEGER)) return c->i32();
    if (c->is(TYPE_CHAR)) return c->s2;
    return c->f64();
}

// A double as a 32-bit integer, truncated toward zero; outside the range it is a type-limit.
int32_t truncated_integer(double x) {
    if (!(x > -2147483649.0 && x < 2147483648.0)) fire_with_type(err::type_limit, TYPE_INTEGER);
    return int32_t(x);
}

// ---- Conversion ----

bool is_text_type(TypeId t) {
    return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG || t == TYPE_EMAIL ||
           t == TYPE_REF;
}

// The whole text as a float, "," read as ".", scaled by 10^exponent_adjust. Stands in for the
// number scanner of the lexer until it exists.
std::optional<double> scan_float_text(std::string text, int exponent_adjust) {
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty() || text.find('#') != std::string::npos) return std::nullopt;
    float_text::TextRead read = float_text::from_text(text, exponent_adjust);
    if (read.unconsumed != 0) return std::nullopt;
    return read.value;
}

// The text loaded as one number: integer or float text gives the number, percent text ("50%")
// its fraction. Stands in for loading the text as one value until the lexer exists.
std::optional<double> load_number_text(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) + 1 - first);
    bool percent = text.ends_with('%');
    if (percent) text.remove_suffix(1);
    return scan_float_text(std::string(text), percent ? -2 : 0);
}

// Series values keep their head index in slot 1 and their node in slot 2.
std::span<const uint8_t> series_bytes(const Cell* series, uint32_t unit) {
    if (series->s2 == 0) return {};
    Series* buffer = memory::series_of(series->s2);
    uint32_t length = buffer->used_bytes() / unit;
    uint32_t head = std::min(series->s1, length);
    return {buffer->head_ptr() + head * unit, (length - head) * unit};
}

// The first up to 8 bytes, big-endian, as the bit pattern of a double.
double binary_bits(const Cell* binary) {
    std::span<const uint8_t> bytes = series_bytes(binary, 1);
    uint64_t bits = 0;
    for (uint8_t byte : bytes.first(std::min<std::size_t>(bytes.size(), 8))) bits = bits << 8 | byte;
    return std::bit_cast<double>(bits);
}

bool is_plain_number(const Cell& c) { return c.is(TYPE_INTEGER) || c.is(TYPE_FLOAT); }

// [mantissa exponent]: mantissa × 10^exponent, the exponent truncated toward zero.
std::optional<double> scientific_pair(const Cell* block) {
    std::span<const uint8_t> bytes = series_bytes(block, sizeof(Cell));
    std::span<const Cell> values{reinterpret_cast<const Cell*>(bytes.data()), bytes.size() / sizeof(Cell)};
    if (values.size() != 2 || !is_plain_number(values[0]) || !is_plain_number(values[1])) return std::nullopt;
    return number_of(&values[0]) * std::pow(10.0, std::trunc(number_of(&values[1])));
}

std::optional<double> text_number(const Cell* text, TypeId target) {
    std::string utf8 = string::to_utf8(text);
    return target == TYPE_PERCENT ? load_number_text(utf8) : scan_float_text(utf8, 0);
}

double converted(const Cell* spec, TypeId target) {
    std::optional<double> value;
    TypeId source = spec->type();
    if (source == TYPE_INTEGER || source == TYPE_CHAR || is_float_like(source)) value = number_of(spec);
    else if (source == TYPE_MONEY) value = money::to_float(money::unpack(*spec));
    else if (source == TYPE_BINARY) value = binary_bits(spec);
    else if (source == TYPE_BLOCK || source == TYPE_PAREN || source == TYPE_HASH)
        value = scientific_pair(spec);
    else if (is_text_type(source)) value = text_number(spec, target);
    if (!value) datatype::fire_bad_to_arg(target, spec);
    return *value;
}

// make and to: the result takes the target type, float! or percent!.
Cell* float_make(Cell* proto, const Cell* spec, TypeId type) {
    return store(proto, converted(spec, type), type);
}

// ---- Random ----

Cell* float_random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->s2 ^ value->s3));
        *value = unset_cell();
        return value;
    }
    double x = value->f64();
    if (!secure) return store(value, random::next() / 2147483647.0 * x, value->type());
    double high = random::secure_next();
    double low = random::secure_next();
    return store(value, (high / 2147483647.0 + low) * x / 2147483648.0, value->type());
}

// ---- Text forms ----

int32_t float_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return form_text(value->f64(), TextKind::float_form, out, budget);
}

// The shortest text that reads back to the same double, always with a fraction.
int32_t float_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    char text[float_text::text_capacity];
    std::size_t length = float_text::format(value->f64(), 0, true, text);
    string::concatenate_literal(out, {text, length});
    return budget - int32_t(length);
}

// ---- Comparison ----

// Mirrors the ordering codes, for asking the right operand's type with the operands swapped.
int mirrored_code(int op) {
    switch (op) {
    case CMP_LESSER: return CMP_GREATER;
    case CMP_LESSER_OR_EQUAL: return CMP_GREATER_OR_EQUAL;
    case CMP_GREATER: return CMP_LESSER;
    case CMP_GREATER_OR_EQUAL: return CMP_LESSER_OR_EQUAL;
    default: return op;
    }
}

// money! decides how a float compares with an amount; its answer is mirrored back.
int compare_with_money(const Cell* number, const Cell* money, int op) {
    if (!datatype::supports(TYPE_MONEY, A_COMPARE)) return -2;
    int answer = datatype::handler<A_COMPARE>(TYPE_MONEY)(money, number, mirrored_code(op));
    return answer == -2 ? -2 : -answer;
}

bool is_ordering_code(int op) { return op >= CMP_LESSER && op <= CMP_SORT_CASE; }

// With a NaN on either side, the four ordering tests all answer false and sorting sees a tie.
int unordered_answer(int op) {
    if (op == CMP_LESSER || op == CMP_LESSER_OR_EQUAL) return 1;
    if (op == CMP_GREATER || op == CMP_GREATER_OR_EQUAL) return -1;
    return 0;
}

int float_compare(const Cell* a, const Cell* b, int op) {
    bool strict = op == CMP_STRICT_EQUAL || op == CMP_SAME || op == CMP_FIND;
    if (strict && b->type() != a->type()) return 1;
    if (b->is(TYPE_MONEY)) return compare_with_money(a, b, op);
    if (!b->is(TYPE_INTEGER) && !is_float_like(b->type())) return -2;
    double x = a->f64();
    double y = number_of(b);
    if (op == CMP_SAME) return a->u64() == b->u64() ? 0 : 1;
    if (op == CMP_STRICT_EQUAL || op == CMP_FIND) return x == y ? 0 : 1;
    if (!is_ordering_code(op)) return almost_equal(x, y) ? 0 : 1;
    if (std::isnan(x) || std::isnan(y)) return unordered_answer(op);
    return x < y ? -1 : x > y ? 1 : 0;
}

// ---- Arithmetic ----

constexpr ActionSlot math_slot(MathOp op) {
    constexpr ActionSlot slots[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE, A_REMAINDER};
    return slots[int(op)];
}

constexpr const char* math_word(MathOp op) {
    constexpr const char* words[] = {"add", "subtract", "multiply", "divide", "remainder"};
    return words[int(op)];
}

bool is_point_like(TypeId t) { return t == TYPE_PAIR || t == TYPE_POINT2D || t == TYPE_POINT3D; }

bool takes_number_on_left(TypeId t) {
    return is_point_like(t) || t == TYPE_TUPLE || t == TYPE_MONEY || t == TYPE_VECTOR;
}

// money! and vector! arithmetic take a number on either side. Pairs, points and tuples take it
// only on their right: add, multiply and remainder swap the operands, subtract and divide are
// refused.
Cell* hand_over(Cell* left, const Cell* right, MathOp op) {
    TypeId type = right->type();
    if (is_point_like(type) && left->is(TYPE_TIME)) fire_with_type(err::invalid_type, type);
    bool swapped = type != TYPE_MONEY && type != TYPE_VECTOR;
    if (swapped && (op == MathOp::subtract || op == MathOp::divide))
        fire_not_related(math_word(op), type == TYPE_TUPLE ? left->type() : type);
    if (!datatype::supports(type, math_slot(op))) fire_with_type(err::invalid_type, type);
    auto math = reinterpret_cast<action::Binary>(datatype::raw_handler(type, math_slot(op)));
    if (!swapped) return math(left, right);
    Cell number = is_point_like(type) ? float_cell(number_of(left)) : *left;
    *left = *right;
    return math(left, &number);
}

bool accepts_operand(TypeId left, TypeId right) {
    if (right == TYPE_CHAR) return left != TYPE_PERCENT && left != TYPE_TIME;
    return right == TYPE_INTEGER || is_float_like(right);
}

TypeId math_result_type(TypeId left, TypeId right) {
    if (left == TYPE_TIME || right == TYPE_TIME) return TYPE_TIME;
    return left == TYPE_PERCENT ? TYPE_PERCENT : TYPE_FLOAT;
}

double canonical(double result) { return std::isnan(result) ? quiet_nan : result; }

double remainder_of(double a, double b) {
    if (b * 0.0 == 0.0) return std::fmod(a, b);
    if (std::isnan(b) || !std::isfinite(a)) return quiet_nan;
    return a;
}

template <MathOp Op>
Cell* float_math(Cell* left, const Cell* right) {
    return do_math(left, right, Op);
}

Cell* float_absolute(Cell* value) {
    value->s3 &= 0x7FFFFFFF;
    return value;
}

// 0.0 minus the value, so that negating 0.0 gives 0.0.
Cell* float_negate(Cell* value) { return store(value, 0.0 - value->f64(), value->type()); }

Cell* float_power(Cell* base, const Cell* exponent) {
    if (!is_plain_number(*exponent)) {
        Cell action = datatype::word_arg("power");
        Cell datatype = datatype_cell(exponent->type());
        Cell argument = datatype::word_arg("exponent");
        fire(err::expect_arg, &action, &datatype, &argument);
    }
    return store(base, canonical(std::pow(base->f64(), number_of(exponent))), base->type());
}

// ---- Rounding ----

// The integral value chosen for v by the refinements; halves go away from zero by default.
double integral_value(double v, const RoundArgs& how) {
    double magnitude = std::fabs(v);
    double below = std::floor(magnitude);
    double above = std::ceil(magnitude);
    auto with_sign = [v](double m) { return std::copysign(m, v); };
    if (how.down) return with_sign(below);
    if (how.floor) return std::floor(v);
    if (how.ceiling) return std::ceil(v);
    if (magnitude < below + 0.5) return with_sign(below);
    if (magnitude > below + 0.5) return with_sign(above);
    if (how.even) return with_sign(std::fmod(magnitude, 2.0) >= 1.0 ? above : below);
    if (how.half_down) return with_sign(below);
    if (how.half_ceiling) return std::ceil(v);
    return with_sign(above);
}

// x rounded to a multiple of a positive scale. Values too large for the scale to matter, and a
// zero scale, leave x as it is.
double round_to_scale(double x, double scale, const RoundArgs& how) {
    if (scale == 0.0 || std::ldexp(std::fabs(x), -53) > scale) return x;
    if (scale >= 1.0) {
        double result = integral_value(x / scale, how) * scale;
        if (std::fabs(result) >= largest_double) fire(err::overflow);
        return result;
    }
    // 1 / scale overflows for the tiniest scales: x and the scale are brought up by the scale's
    // binary exponent first, and the result taken back down.
    int exponent = 0;
    double mantissa = std::frexp(scale, &exponent);
    int shift = exponent < -1021 ? exponent : 0;
    if (shift != 0) scale = mantissa;
    double inverse = 1.0 / scale;
    return std::ldexp(integral_value(std::ldexp(x, -shift) * inverse, how) / inverse, shift);
}

double given_scale(const Cell* to) {
    TypeId type = to->type();
    if (type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT) return std::fabs(number_of(to));
    fire_not_related("round", type);
}

// ---- Parity ----

bool float_even(const Cell* value) { return (truncated_integer(value->f64()) & 1) == 0; }
bool float_odd(const Cell* value) { return (truncated_integer(value->f64()) & 1) == 1; }

}  // namespace

Cell* make_at(Cell* cell, double value) { return store(cell, value, TYPE_FLOAT); }

double do_op(double a, double b, MathOp op) {
    switch (op) {
    case MathOp::add: return canonical(a + b);
    case MathOp::subtract: return canonical(a - b);
    case MathOp::multiply: return canonical(a * b);
    case MathOp::divide: return canonical(a / b);
    case MathOp::remainder: return canonical(remainder_of(a, b));
    }
    return quiet_nan;
}

Cell* do_math(Cell* left, const Cell* right, MathOp op) {
    TypeId type = right->type();
    if (takes_number_on_left(type)) return hand_over(left, right, op);
    if (!accepts_operand(left->type(), type)) fire_with_type(err::invalid_type, type);
    return store(left, do_op(number_of(left), number_of(right), op), math_result_type(left->type(), type));
}

// Doubles mapped to ordered integers (negative values mirrored) are equal within 10 steps.
bool almost_equal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b || std::fabs(a - b) < double_epsilon) return true;
    auto ordered = [](double d) {
        int64_t bits = std::bit_cast<int64_t>(d);
        return bits < 0 ? std::numeric_limits<int64_t>::min() - bits : bits;
    };
    int64_t x = ordered(a);
    int64_t y = ordered(b);
    uint64_t distance = x > y ? uint64_t(x) - uint64_t(y) : uint64_t(y) - uint64_t(x);
    return distance <= 10;
}

bool almost_equal32(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    uint32_t a_bits = std::bit_cast<uint32_t>(a);
    uint32_t b_bits = std::bit_cast<uint32_t>(b);
    if (a_bits == b_bits || (a == 0.0f && b == 0.0f)) return true;
    if (std::signbit(a) != std::signbit(b)) return false;
    uint32_t distance = a_bits > b_bits ? a_bits - b_bits : b_bits - a_bits;
    if (std::isinf(a) || std::isinf(b)) return distance < 0x100000;
    return distance <= 10;
}

Cell* round(Cell* value, const RoundArgs& args) {
    TypeId type = value->type();
    if (args.to && args.to->is(TYPE_MONEY)) fire_not_related("round", TYPE_MONEY);
    bool percent = type == TYPE_PERCENT;
    double scale = args.to ? given_scale(args.to) / (percent ? 100.0 : 1.0) : percent ? 0.01 : 1.0;
    double rounded = round_to_scale(value->f64(), scale, args);
    if (!args.to || percent) return store(value, rounded, type);
    if (args.to->is(TYPE_INTEGER)) {
        *value = integer_cell(truncated_integer(rounded));
        return value;
    }
    return store(value, rounded, args.to->type());
}

std::size_t to_text(double value, TextKind kind, float_text::TextBuffer out) {
    return float_text::to_text(value, kind, float_::pretty, out);
}

int32_t form_text(double value, TextKind kind, Cell* out, int32_t budget) {
    char text[float_text::text_capacity];
    std::size_t length = to_text(value, kind, text);
    string::concatenate_literal(out, {text, length});
    return budget - int32_t(length);
}


namespace {

const SlotHandler float_actions[] = {
    act<A_MAKE>(float_make),
    act<A_RANDOM>(float_random),
    act<A_TO>(float_make),
    act<A_FORM>(float_form),
    act<A_MOLD>(float_mold),
    act<A_COMPARE>(float_compare),
    act<A_ABSOLUTE>(float_absolute),
    act<A_ADD>(float_math<MathOp::add>),
    act<A_DIVIDE>(float_math<MathOp::divide>),
    act<A_MULTIPLY>(float_math<MathOp::multiply>),
    act<A_NEGATE>(float_negate),
    act<A_POWER>(float_power),
    act<A_REMAINDER>(float_math<MathOp::remainder>),
    act<A_ROUND>(round),
    act<A_SUBTRACT>(float_math<MathOp::subtract>),
    act<A_EVEN_Q>(float_even),
    act<A_ODD_Q>(float_odd),
};

}  // namespace

int32_t to_integer_checked(const Cell& value) {
    if (!value.is(TYPE_FLOAT)) return int32_t(value.s2);
    double d = value.f64();
    if (std::isnan(d) || d < -2147483648.0 || d > 2147483647.0) {
        const Cell v = value;
        fire(err::out_of_range, &v);
    }
    return int32_t(d);
}

}  // namespace vyn::float_

namespace vyn {

void float_init() {
    datatype::register_type(TYPE_FLOAT, TYPE_NONE_ID, "float!", UNSUPPORTED, float_::float_actions);
}

}  // namespace vyn
