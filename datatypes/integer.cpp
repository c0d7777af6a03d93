// integer! handlers: conversion, random, text, comparison, arithmetic with its promotions, power,
// round and the bitwise actions. Overflow checks use the compiler's checked builtins, so no
// step ever computes a wrapped value by accident. Operands of types with arithmetic of their own
// (pair, point, tuple, date, money) are handed to that type's handler through the registry;
// float-like operands are computed here from their cell layout.
#include "datatypes/integer.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/hex_digit.hpp"
#include "core/random.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/date.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "datatypes/string.hpp"

namespace vyn::integer {
namespace {

constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

using datatype::fire_not_related;
using datatype::fire_with_type;

// The handler of another type for a slot; a type without one cannot take part.
template <typename Fn>
Fn handler_of(TypeId type, int slot) {
    auto fn = reinterpret_cast<Fn>(datatype::raw_handler(type, slot));
    if (!fn) fire_with_type(err::invalid_type, type);
    return fn;
}

// A handler may answer with another cell; the action's result is always the first argument.
Cell* into(Cell* result_cell, Cell* answer) {
    if (answer != result_cell) *result_cell = *answer;
    return result_cell;
}

// In-place results keep the cell's type: char! inherits some of these handlers.
Cell* set_value(Cell* cell, int64_t value) {
    cell->s2 = uint32_t(value);
    return cell;
}

}  // namespace

Cell* push(int32_t value) { return stack::push(integer_cell(value)); }

Cell* box(int32_t value) {
    *stack::base = integer_cell(value);
    return stack::base;
}

int32_t abs(int32_t value) {
    if (value == INT32_MIN) fire(err::overflow);
    return value < 0 ? -value : value;
}

bool float_out_of_range(double value) { return !(value >= -2147483648.0 && value <= 2147483647.0); }

Decimal form_signed(int32_t value) {
    Decimal d;
    auto end = std::to_chars(d.chars, d.chars + sizeof d.chars, value).ptr;
    d.length = uint8_t(end - d.chars);
    return d;
}

namespace {

void check_divisor(int32_t left, int32_t right) {
    if (right == 0) fire(err::zero_divide);
    if (right == -1 && left == INT32_MIN) fire(err::overflow);
}

}  // namespace

int32_t checked_op(int32_t left, int32_t right, Op op, Cell* result) {
    int32_t value = 0;
    bool overflow = false;
    double exact = 0;
    switch (op) {
    case Op::add:
        overflow = __builtin_add_overflow(left, right, &value);
        exact = double(left) + double(right);
        break;
    case Op::subtract:
        overflow = __builtin_sub_overflow(left, right, &value);
        exact = double(left) - double(right);
        break;
    case Op::multiply:
        overflow = __builtin_mul_overflow(left, right, &value);
        exact = double(left) * double(right);
        break;
    case Op::divide:
        check_divisor(left, right);
        overflow = left % right != 0;  // the quotient needs a fraction
        exact = double(left) / double(right);
        value = left / right;
        break;
    case Op::remainder:
        check_divisor(left, right);
        value = left % right;
        break;
    case Op::or_: value = left | right; break;
    case Op::and_: value = left & right; break;
    case Op::xor_: value = left ^ right; break;
    }
    if (!result) return value;
    if (overflow) {
        *result = float_cell(exact);
        return 0;
    }
    result->s2 = uint32_t(value);
    return value;
}

namespace {

constexpr int op_slot[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE,
                           A_REMAINDER, A_OR_T, A_AND_T, A_XOR_T};
constexpr const char* op_word[] = {"add", "subtract", "multiply", "divide",
                                   "remainder", "or~", "and~", "xor~"};

int slot_of(Op op) { return op_slot[int(op)]; }
const char* word_of(Op op) { return op_word[int(op)]; }
bool is_bitwise(Op op) { return op >= Op::or_; }

// The IEEE operation; a remainder by an infinity keeps the (always finite) integer dividend.
double float_op(double a, double b, Op op) {
    double r;
    switch (op) {
    case Op::add: r = a + b; break;
    case Op::subtract: r = a - b; break;
    case Op::multiply: r = a * b; break;
    case Op::divide: r = a / b; break;
    default: r = std::isinf(b) ? a : std::fmod(a, b); break;
    }
    return std::isnan(r) ? quiet_nan : r;
}

// integer op float!, percent! or time!: a float!, or a time! when the right operand is one.
Cell* float_math(Cell* left, const Cell* right, Op op) {
    if (is_bitwise(op)) fire_with_type(err::invalid_type, right->type());
    TypeId type = right->is(TYPE_TIME) ? TYPE_TIME : TYPE_FLOAT;
    *left = float_cell(float_op(double(left->i32()), right->f64(), op), type);
    return left;
}

// Runs the right operand's arithmetic with the operands swapped: the right value takes the left
// cell and the integer becomes its right operand.
Cell* swapped_math(Cell* left, const Cell* right, int slot) {
    auto fn = handler_of<action::Binary>(right->type(), slot);
    Cell number = *left;
    *left = *right;
    return into(left, fn(left, &number));
}

// integer - pair is the negated pair plus the integer.
Cell* subtract_coordinates(Cell* left, const Cell* right) {
    auto negate = handler_of<action::Unary>(right->type(), A_NEGATE);
    Cell number = *left;
    *left = *right;
    into(left, negate(left));
    return into(left, handler_of<action::Binary>(left->type(), A_ADD)(left, &number));
}

Cell* coordinate_math(Cell* left, const Cell* right, Op op) {
    if (op == Op::divide) fire_not_related(word_of(op), TYPE_INTEGER);
    if (op == Op::subtract) return subtract_coordinates(left, right);
    return swapped_math(left, right, slot_of(op));
}

Cell* tuple_math(Cell* left, const Cell* right, Op op) {
    if (op == Op::subtract || op == Op::divide) fire_not_related(word_of(op), TYPE_INTEGER);
    return swapped_math(left, right, slot_of(op));
}

// A date only takes a number of days added to it.
Cell* date_math(Cell* left, const Cell* right, Op op) {
    if (op != Op::add) fire_not_related(word_of(op), TYPE_INTEGER);
    return swapped_math(left, right, A_ADD);
}

// money! and vector! arithmetic accept an integer on either side.
Cell* left_number_math(Cell* left, const Cell* right, Op op) {
    return into(left, handler_of<action::Binary>(right->type(), slot_of(op))(left, right));
}

}  // namespace

Cell* do_math(Cell* left, const Cell* right, Op op) {
    switch (right->type()) {
    case TYPE_INTEGER: case TYPE_CHAR:
        checked_op(left->i32(), right->i32(), op, left);
        return left;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
        return float_math(left, right, op);
    case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D:
        return coordinate_math(left, right, op);
    case TYPE_TUPLE:
        return tuple_math(left, right, op);
    case TYPE_DATE:
        return date_math(left, right, op);
    case TYPE_MONEY: case TYPE_VECTOR:
        return left_number_math(left, right, op);
    default:
        fire_with_type(err::invalid_type, right->type());
    }
}

int32_t from_binary(const Cell* binary) {
    Series* buffer = memory::series_of(binary->s2);
    uint32_t length = buffer->length();
    uint32_t head = binary->s1 < length ? binary->s1 : length;
    const uint8_t* bytes = buffer->head_ptr() + head;
    uint32_t count = length - head < 4 ? length - head : 4;
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return int32_t(value);
}

// Non-ASCII characters are refused outright rather than folded to 7 bits, where they would pass
// as hex digits ("Á" as "A").
int32_t from_issue(std::u32string_view digits, const Cell* issue) {
    if (digits.size() > 8) fire(err::invalid_data, issue);
    uint32_t value = 0;
    for (char32_t c : digits) {
        int digit = hex_digit(c);
        if (digit < 0) fire(err::invalid_data, issue);
        value = value << 4 | uint32_t(digit);
    }
    return int32_t(value);
}

namespace {

// Decimal text: an optional sign, then digits with optional "'" separators. Accumulates in 64
// bits so that a long text cannot wrap into range.
std::optional<int32_t> scan_decimal(const Cell* text) {
    uint32_t end = string::abs_length(text);
    uint32_t at = text->s1;
    uint32_t first = at < end ? string::abs_at(text, at) : 0;
    bool negative = first == '-';
    if (first == '+' || first == '-') ++at;
    int64_t magnitude = 0;
    bool any_digit = false;
    for (; at < end; ++at) {
        uint32_t c = string::abs_at(text, at);
        if (c == '\'') continue;
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648) return std::nullopt;
        any_digit = true;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (!any_digit || value > INT32_MAX) return std::nullopt;
    return int32_t(value);
}

// An issue's name is UTF-8: a byte of a non-ASCII character is not a hex digit either, so
// reading it byte by byte refuses the same issues.
int32_t issue_digits(const Cell* issue) {
    const std::string_view name = symbol::name(issue->s2);
    return from_issue(std::u32string(name.begin(), name.end()), issue);
}

int32_t truncated(double value) {
    if (float_out_of_range(value)) fire_with_type(err::type_limit, TYPE_INTEGER);
    return int32_t(value);
}

// Whole seconds, half away from zero: -1.5 s gives -2 as 1.5 s gives 2.
int32_t nearest_second(double seconds) { return truncated(std::round(seconds)); }

int32_t converted(const Cell* spec) {
    switch (spec->type()) {
    case TYPE_INTEGER: case TYPE_CHAR:
        return spec->i32();
    case TYPE_FLOAT: case TYPE_PERCENT:
        return truncated(spec->f64());
    case TYPE_TIME:
        return nearest_second(spec->f64());
    case TYPE_MONEY:
        return money::to_integer(money::unpack(*spec));
    case TYPE_DATE:
        return truncated(double(date::to_epoch(*spec)));
    case TYPE_BINARY:
        return from_binary(spec);
    case TYPE_ISSUE:
        return issue_digits(spec);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        if (auto value = scan_decimal(spec)) return *value;
        break;
    default:
        break;
    }
    datatype::fire_bad_to_arg(TYPE_INTEGER, spec);
}

Cell* integer_to(Cell* proto, const Cell* spec, TypeId) {
    *proto = integer_cell(converted(spec));
    return proto;
}

Cell* integer_make(Cell* proto, const Cell* spec, TypeId type) {
    if (!spec->is(TYPE_LOGIC)) return integer_to(proto, spec, type);
    *proto = integer_cell(logic::get(spec) ? 1 : 0);
    return proto;
}

Cell* integer_random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(value->i32());
        *value = unset_cell();
    } else {
        set_value(value, random::int_in_range(value->i32(), secure));
    }
    return value;
}

int32_t integer_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return datatype::append_text(out, form_signed(value->i32()).text(), budget);
}

int32_t integer_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return integer_form(value, out, part, budget);
}

int integer_compare(const Cell* a, const Cell* b, int op) {
    bool strict = op == CMP_STRICT_EQUAL || op == CMP_FIND;
    if (strict && !b->is(TYPE_INTEGER)) return 1;
    switch (b->type()) {
    case TYPE_INTEGER: case TYPE_CHAR:
        return (a->i32() > b->i32()) - (a->i32() < b->i32());
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
        Cell promoted = float_cell(double(a->i32()));
        return handler_of<action::Compare>(TYPE_FLOAT, A_COMPARE)(&promoted, b, op);
    }
    case TYPE_MONEY: {
        Cell promoted = money::pack(money::from_integer(a->i32()));
        return handler_of<action::Compare>(TYPE_MONEY, A_COMPARE)(&promoted, b, op);
    }
    default:
        return -2;
    }
}

Cell* integer_absolute(Cell* value) { return set_value(value, abs(value->i32())); }

Cell* integer_negate(Cell* value) {
    if (value->i32() == INT32_MIN) fire(err::overflow);
    return set_value(value, -value->i32());
}

Cell* integer_complement(Cell* value) { return set_value(value, ~value->i32()); }

bool integer_even(const Cell* value) { return (value->s2 & 1) == 0; }
bool integer_odd(const Cell* value) { return (value->s2 & 1) != 0; }

template <Op op>
Cell* integer_math(Cell* left, const Cell* right) { return do_math(left, right, op); }

// Repeated squaring; false when a product leaves the 32-bit range.
bool int_power(int32_t base, int32_t exponent, int32_t* result) {
    int32_t product = 1;
    while (exponent != 0) {
        if ((exponent & 1) && __builtin_mul_overflow(product, base, &product)) return false;
        exponent >>= 1;
        if (exponent != 0 && __builtin_mul_overflow(base, base, &base)) return false;
    }
    *result = product;
    return true;
}

Cell* float_power(Cell* base, double exponent) {
    *base = float_cell(std::pow(double(base->i32()), exponent));
    return base;
}

Cell* integer_power(Cell* base, const Cell* exponent) {
    if (exponent->is(TYPE_FLOAT)) return float_power(base, exponent->f64());
    if (!exponent->is(TYPE_INTEGER)) datatype::fire_expect_arg("power", exponent, "exponent");
    int32_t result;
    if (exponent->i32() >= 0 && int_power(base->i32(), exponent->i32(), &result))
        return set_value(base, result);
    return float_power(base, exponent->i32());
}

int64_t in_range(int64_t magnitude) {
    if (magnitude > INT32_MAX) fire(err::overflow);
    return magnitude;
}

// Rounds v to a multiple of s (s > 0, v not a multiple of it). `down` and `up` are the multiples
// of s around |v|, `below` and `above` its distances to them; 64 bits let an `up` past the
// range be seen and refused.
int64_t rounded(int32_t v, int64_t s, const RoundArgs& args) {
    int64_t n = v < 0 ? -int64_t(v) : v;
    int64_t below = n % s, above = s - below;
    int64_t down = n - below, up = n + above;
    int64_t sgn = sign(v);
    auto toward_zero = [&] { return sgn * down; };
    auto away_from_zero = [&] { return sgn * in_range(up); };
    auto ceiling = [&] { return v > 0 ? in_range(up) : -down; };
    if (args.down) return toward_zero();
    if (args.floor) return v > 0 ? down : -in_range(up);
    if (args.ceiling) return ceiling();
    if (below < above) return toward_zero();
    if (below > above) return away_from_zero();
    if (args.even) return (n / s) % 2 == 0 ? toward_zero() : away_from_zero();
    if (args.half_down) return toward_zero();
    if (args.half_ceiling) return ceiling();
    return away_from_zero();
}

Cell* integer_round(Cell* value, const RoundArgs& args) {
    if (args.to && args.to->is(TYPE_MONEY)) fire_not_related("round", TYPE_MONEY);
    int32_t v = value->i32();
    if (v == INT32_MIN) return value;
    if (args.to && !args.to->is(TYPE_INTEGER)) {
        *value = float_cell(double(v));
        return into(value, handler_of<action::Round>(TYPE_FLOAT, A_ROUND)(value, args));
    }
    int32_t scale = args.to ? abs(args.to->i32()) : 1;
    if (scale == 0 || v % scale == 0) return value;
    return set_value(value, rounded(v, scale, args));
}

const SlotHandler integer_actions[] = {
    act<A_MAKE>(integer_make),
    act<A_RANDOM>(integer_random),
    act<A_TO>(integer_to),
    act<A_FORM>(integer_form),
    act<A_MOLD>(integer_mold),
    act<A_COMPARE>(integer_compare),
    act<A_ABSOLUTE>(integer_absolute),
    act<A_ADD>(integer_math<Op::add>),
    act<A_DIVIDE>(integer_math<Op::divide>),
    act<A_MULTIPLY>(integer_math<Op::multiply>),
    act<A_NEGATE>(integer_negate),
    act<A_POWER>(integer_power),
    act<A_REMAINDER>(integer_math<Op::remainder>),
    act<A_ROUND>(integer_round),
    act<A_SUBTRACT>(integer_math<Op::subtract>),
    act<A_EVEN_Q>(integer_even),
    act<A_ODD_Q>(integer_odd),
    act<A_AND_T>(integer_math<Op::and_>),
    act<A_COMPLEMENT>(integer_complement),
    act<A_OR_T>(integer_math<Op::or_>),
    act<A_XOR_T>(integer_math<Op::xor_>),
};

}  // namespace
}  // namespace vyn::integer

namespace vyn {

void integer_init() {
    datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", UNSUPPORTED, integer::integer_actions);
}

}  // namespace vyn
