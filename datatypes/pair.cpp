// pair! handlers. Every component operation is the checked 32-bit one of integer!; when either
// component would overflow or divide inexactly, both operands become point2D! values and the
// point arithmetic gives the result, so a pair result is always exact.
#include "datatypes/pair.hpp"

#include <cmath>
#include <utility>

#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/point.hpp"
#include "datatypes/scalar_support.hpp"
#include "core/random.hpp"

namespace vyn::pair {
namespace {

using integer::Op;

// ---- Conversion ----

// The first two values of a block, each an integer! or a float! truncated toward zero.
Cell from_block(const Cell* spec) {
    Cell block = *spec;
    if (block::vs_length(&block) < 2) scalar::fire_malconstruct(TYPE_PAIR, spec);
    const Cell* values = block::vs_head(&block);
    int32_t xy[2];
    for (int i = 0; i < 2; ++i) {
        if (!scalar::is_plain_number(values[i])) scalar::fire_malconstruct(TYPE_PAIR, spec);
        xy[i] = scalar::truncated(scalar::number_of(values[i]), &values[i]);
    }
    Cell pair;
    return *make_at(&pair, xy[0], xy[1]);
}

Cell converted(const Cell* spec) {
    Cell pair;
    switch (spec->type()) {
    case TYPE_PAIR: return *spec;
    case TYPE_INTEGER: return *make_at(&pair, spec->i32(), spec->i32());
    case TYPE_FLOAT: {
        int32_t n = scalar::truncated(spec->f64(), spec);
        return *make_at(&pair, n, n);
    }
    case TYPE_POINT2D:
        return *make_at(&pair, scalar::truncated(point::coordinate(*spec, 0), spec),
                        scalar::truncated(point::coordinate(*spec, 1), spec));
    case TYPE_BLOCK: return from_block(spec);
    case TYPE_STRING: return scalar::loaded_as(spec, TYPE_PAIR);
    default: datatype::fire_bad_to_arg(TYPE_PAIR, spec);
    }
}

Cell* pair_make(Cell* proto, const Cell* spec, TypeId) {
    *proto = converted(spec);
    return proto;
}

// ---- Random ----

// Each non-zero component becomes a random integer from 1 to it (from it to -1 when negative).
Cell* pair_random(Cell* pair, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(x(*pair) ^ y(*pair));
        *pair = unset_cell();
        return pair;
    }
    return make_at(pair, random::int_in_range(x(*pair), secure), random::int_in_range(y(*pair), secure));
}

// ---- Text ----

int32_t pair_form(const Cell* pair, Cell* out, const Cell*, int32_t budget) {
    budget = datatype::append_text(out, integer::form_signed(x(*pair)).text(), budget);
    budget = mold::emit(out, "x", budget);
    return datatype::append_text(out, integer::form_signed(y(*pair)).text(), budget);
}

int32_t pair_mold(const Cell* pair, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return pair_form(pair, out, part, budget);
}

// ---- Paths ----

void set_component(Cell* pair, int i, int32_t value) { (i == 0 ? pair->s2 : pair->s3) = uint32_t(value); }
int32_t component(const Cell& pair, int i) { return i == 0 ? x(pair) : y(pair); }

Cell* pair_eval_path(Cell* pair, const Cell* element, const Cell* value, const PathStep& step) {
    int i = scalar::path_coordinate(element, 2, step);
    if (!value) {
        *pair = integer_cell(component(*pair, i));
        return pair;
    }
    if (!value->is(TYPE_INTEGER)) datatype::fire_with_type(err::invalid_type, value->type());
    set_component(pair, i, value->i32());
    return pair;
}

Cell* pair_pick(Cell* pair, int32_t, const Cell* index) {
    *pair = integer_cell(component(*pair, scalar::picked_coordinate(index, TYPE_PAIR, 2)));
    return pair;
}

// ---- Arithmetic ----

bool is_bitwise(Op op) { return op >= Op::or_; }

float_::MathOp math_op(Op op) { return float_::MathOp(int(op)); }

// The pair and its operand as point2D! values, and the point arithmetic on them.
Cell* point_math(Cell* left, const Cell& right, Op op) {
    if (is_bitwise(op)) datatype::fire_with_type(err::invalid_type, right.type());
    Cell operand = right.is(TYPE_PAIR) ? point::from_pair(right) : right;
    *left = point::from_pair(*left);
    return point::do_math(left, &operand, math_op(op));
}

// -2147483648 by -1, which the integer operation refuses outright instead of reporting it.
bool quotient_overflows(int32_t dividend, int32_t divisor, Op op) {
    return (op == Op::divide || op == Op::remainder) && dividend == INT32_MIN && divisor == -1;
}

// Both components through the checked integer operation; an overflow or an inexact quotient in
// either one sends both operands to the point arithmetic.
Cell* integer_math(Cell* left, int32_t rx, int32_t ry, const Cell& right, Op op) {
    if (quotient_overflows(x(*left), rx, op) || quotient_overflows(y(*left), ry, op)) return point_math(left, right, op);
    Cell probe_x = integer_cell(0);
    Cell probe_y = integer_cell(0);
    int32_t nx = integer::checked_op(x(*left), rx, op, &probe_x);
    int32_t ny = integer::checked_op(y(*left), ry, op, &probe_y);
    if (probe_x.is(TYPE_FLOAT) || probe_y.is(TYPE_FLOAT)) return point_math(left, right, op);
    return make_at(left, nx, ny);
}

// A float operand: scaling and division give points; the other operations use it truncated.
Cell* float_math(Cell* left, const Cell& right, Op op) {
    double f = right.f64();
    bool refused = op == Op::divide ? std::isnan(f) : !std::isfinite(f);
    if (refused) fire(err::invalid_arg, &right);
    if (op == Op::multiply || op == Op::divide) return point_math(left, right, op);
    int32_t n = scalar::truncated(f, &right);
    return integer_math(left, n, n, integer_cell(n), op);
}

Cell* arithmetic(Cell* left, const Cell* right, Op op) {
    const Cell operand = *right;
    switch (operand.type()) {
    case TYPE_INTEGER: return integer_math(left, operand.i32(), operand.i32(), operand, op);
    case TYPE_FLOAT: case TYPE_PERCENT: return float_math(left, operand, op);
    case TYPE_PAIR: return integer_math(left, x(operand), y(operand), operand, op);
    case TYPE_POINT2D: return point_math(left, operand, op);
    default: datatype::fire_with_type(err::invalid_type, operand.type());
    }
}

template <Op op>
Cell* pair_math(Cell* left, const Cell* right) {
    return arithmetic(left, right, op);
}

int32_t negated(int32_t value) {
    if (value == INT32_MIN) fire(err::overflow);
    return -value;
}

Cell* pair_absolute(Cell* pair) { return make_at(pair, integer::abs(x(*pair)), integer::abs(y(*pair))); }
Cell* pair_negate(Cell* pair) { return make_at(pair, negated(x(*pair)), negated(y(*pair))); }

Cell* pair_reverse(Cell* pair, const Cell*, const Cell*) {
    std::swap(pair->s2, pair->s3);
    return pair;
}

// ---- Rounding ----

// One component by integer! rounding; a float result (a float scale) is truncated back.
int32_t rounded_component(int32_t value, const Cell* scale, const RoundArgs& args) {
    RoundArgs how = args;
    how.to = scale;
    Cell cell = integer_cell(value);
    const Cell* result = datatype::handler<A_ROUND>(TYPE_INTEGER)(&cell, how);
    return result->is(TYPE_INTEGER) ? result->i32() : scalar::truncated(scalar::number_of(*result), result);
}

Cell* pair_round(Cell* pair, const RoundArgs& args) {
    if (args.to && args.to->is(TYPE_MONEY)) datatype::fire_not_related("round", TYPE_MONEY);
    bool by_pair = args.to && args.to->is(TYPE_PAIR);
    Cell scales[2] = {by_pair ? integer_cell(x(*args.to)) : none_cell(), by_pair ? integer_cell(y(*args.to)) : none_cell()};
    int32_t rounded[2];
    for (int i = 0; i < 2; ++i)
        rounded[i] = rounded_component(component(*pair, i), by_pair ? &scales[i] : args.to, args);
    return make_at(pair, rounded[0], rounded[1]);
}

// ---- Comparison ----

int three_way(int32_t a, int32_t b) { return (a > b) - (a < b); }

// By x, then by y; a point2D! on the right compares the pair as a point.
int pair_compare(const Cell* a, const Cell* b, int op) {
    if (b->is(TYPE_POINT2D)) {
        Cell left = point::from_pair(*a);
        return point::compare(&left, b, op);
    }
    if (!b->is(TYPE_PAIR)) return -2;
    int by_x = three_way(x(*a), x(*b));
    return by_x != 0 ? by_x : three_way(y(*a), y(*b));
}

const SlotHandler pair_actions[] = {
    act<A_MAKE>(pair_make),
    act<A_RANDOM>(pair_random),
    act<A_TO>(pair_make),
    act<A_FORM>(pair_form),
    act<A_MOLD>(pair_mold),
    act<A_EVAL_PATH>(pair_eval_path),
    act<A_COMPARE>(pair_compare),
    act<A_ABSOLUTE>(pair_absolute),
    act<A_ADD>(pair_math<Op::add>),
    act<A_DIVIDE>(pair_math<Op::divide>),
    act<A_MULTIPLY>(pair_math<Op::multiply>),
    act<A_NEGATE>(pair_negate),
    act<A_REMAINDER>(pair_math<Op::remainder>),
    act<A_ROUND>(pair_round),
    act<A_SUBTRACT>(pair_math<Op::subtract>),
    act<A_AND_T>(pair_math<Op::and_>),
    act<A_OR_T>(pair_math<Op::or_>),
    act<A_XOR_T>(pair_math<Op::xor_>),
    act<A_PICK>(pair_pick),
    act<A_REVERSE>(pair_reverse),
};

}  // namespace
}  // namespace vyn::pair

namespace vyn {

void pair_init() {
    datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", UNSUPPORTED, pair::pair_actions);
}

}  // namespace vyn
