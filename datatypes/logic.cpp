// logic! handlers: conversion, random truth, text forms, comparison and the bitwise actions on
// the 0/1 value. Only none and false convert to false with `to`; `make` also reads numbers.
#include "datatypes/logic.hpp"

#include <functional>

#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"

namespace vyn::logic {
namespace {

bool is_false(const Cell* value) { return value->is(TYPE_NONE) || (value->is(TYPE_LOGIC) && !get(value)); }

}  // namespace

bool true_q(const Cell* value, bool check, const Cell* arg) {
    if (check && value->is(TYPE_UNSET)) fire(err::no_value, arg);
    return !is_false(value);
}

bool top_true_q() {
    if (stack::base->is(TYPE_UNSET)) fire(err::no_return);
    return !is_false(stack::base);
}

bool top_false_q() { return is_false(stack::base); }

bool last_false_q() { return is_false(stack::last()); }

Cell* box(bool value) {
    *stack::base = logic_cell(value);
    return stack::base;
}

Cell* push(bool value) { return stack::push(logic_cell(value)); }

namespace {

Cell* logic_to(Cell* proto, const Cell* spec, TypeId) {
    *proto = logic_cell(spec->is(TYPE_LOGIC) ? get(spec) : !spec->is(TYPE_NONE));
    return proto;
}

Cell* logic_make(Cell* proto, const Cell* spec, TypeId type) {
    switch (spec->type()) {
    case TYPE_INTEGER:
        *proto = logic_cell(spec->i32() != 0);
        return proto;
    case TYPE_FLOAT: case TYPE_PERCENT:
        *proto = logic_cell(spec->f64() != 0.0);  // a NaN is true
        return proto;
    default:
        return logic_to(proto, spec, type);
    }
}

// Both sources draw 31-bit values, so the upper half of their range is an even chance.
Cell* logic_random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(get(value)));
        *value = unset_cell();
    } else {
        *value = logic_cell(random::draw(secure) > 0x3FFFFFFF);
    }
    return value;
}

int32_t logic_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return datatype::append_text(out, get(value) ? "true" : "false", budget);
}

int32_t logic_mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    if (!args.all) return logic_form(value, out, nullptr, budget);
    return datatype::append_text(out, get(value) ? "#(true)" : "#(false)", budget);
}

int logic_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_LOGIC) || !datatype::equality_or_sort_op(op)) return -2;
    return int(get(a)) - int(get(b));
}

template <typename Bitwise>
Cell* logic_bitwise(Cell* left, const Cell* right, const char* action) {
    if (!right->is(TYPE_LOGIC)) datatype::fire_expect_arg(action, right, "value2");
    left->s1 = Bitwise()(left->s1, right->s1);
    return left;
}

Cell* logic_and(Cell* left, const Cell* right) {
    return logic_bitwise<std::bit_and<uint32_t>>(left, right, "and~");
}
Cell* logic_or(Cell* left, const Cell* right) {
    return logic_bitwise<std::bit_or<uint32_t>>(left, right, "or~");
}
Cell* logic_xor(Cell* left, const Cell* right) {
    return logic_bitwise<std::bit_xor<uint32_t>>(left, right, "xor~");
}

Cell* logic_complement(Cell* value) {
    value->s1 ^= 1;
    return value;
}

const SlotHandler logic_actions[] = {
    act<A_MAKE>(logic_make),
    act<A_RANDOM>(logic_random),
    act<A_TO>(logic_to),
    act<A_FORM>(logic_form),
    act<A_MOLD>(logic_mold),
    act<A_COMPARE>(logic_compare),
    act<A_AND_T>(logic_and),
    act<A_COMPLEMENT>(logic_complement),
    act<A_OR_T>(logic_or),
    act<A_XOR_T>(logic_xor),
};

}  // namespace
}  // namespace vyn::logic

namespace vyn {

void logic_init() {
    datatype::register_type(TYPE_LOGIC, TYPE_NONE_ID, "logic!", UNSUPPORTED, logic::logic_actions);
}

}  // namespace vyn
