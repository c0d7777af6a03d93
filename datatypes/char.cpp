// char! actions: conversion from text, numbers and UTF-8 bytes, the bare and the literal text
// forms, comparison with chars and integers, and checked integer arithmetic that must end
// inside the code-point range.
#include "datatypes/char.hpp"

#include <cstdint>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "core/utf8.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"

namespace vyn {
namespace {

using integer::Op;

constexpr int64_t MAX_CODE_POINT = 0x10FFFF;

uint32_t checked_code_point(int64_t value, const Cell* spec) {
    if (value < 0 || value > MAX_CODE_POINT) fire(err::out_of_range, spec);
    return uint32_t(value);
}

uint32_t head_char(const Cell* text) {
    if (string::at_tail(text)) datatype::fire_bad_to_arg(TYPE_CHAR, text);
    return string::view_of(text).at(0);
}

uint32_t decoded_head(const Cell* binary) {
    Series* buffer = memory::series_of(binary->s2);
    uint32_t length = buffer->length();
    uint32_t head = binary->s1 < length ? binary->s1 : length;
    if (head == length) datatype::fire_bad_to_arg(TYPE_CHAR, binary);
    const uint8_t* start = buffer->head_ptr() + head;
    unicode::Decoded decoded = unicode::decode_utf8_strict(start, start + (length - head));
    if (decoded.status != unicode::Status::ok) fire(err::invalid_utf8, binary);
    return decoded.code_point;
}

uint32_t converted(const Cell* spec) {
    switch (spec->type()) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        return head_char(spec);
    case TYPE_CHAR: case TYPE_INTEGER:
        return checked_code_point(spec->i32(), spec);
    case TYPE_FLOAT: case TYPE_PERCENT: {
        double v = spec->f64();
        if (!(v > -1.0 && v < double(MAX_CODE_POINT) + 1.0)) fire(err::out_of_range, spec);
        return uint32_t(v);
    }
    case TYPE_BINARY:
        return decoded_head(spec);
    default:
        datatype::fire_bad_to_arg(TYPE_CHAR, spec);
    }
}

Cell* char_make(Cell* proto, const Cell* spec, TypeId) {
    *proto = char_cell(converted(spec));
    return proto;
}

int32_t char_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    string::append_char(out->s2, value->s2);
    return budget - 1;
}

int32_t char_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    const uint32_t before = string::length(out);
    string::concatenate_literal(out, "#\"");
    string::append_escaped_char(out, value->s2, false);
    string::append_char(out->s2, '"');
    return budget - int32_t(string::length(out) - before);
}

int char_compare(const Cell* a, const Cell* b, int op) {
    bool strict = op == CMP_STRICT_EQUAL || op == CMP_FIND;
    if (strict && !b->is(TYPE_CHAR)) return 1;
    if (!b->is(TYPE_CHAR) && !b->is(TYPE_INTEGER)) return -2;
    return (a->i32() > b->i32()) - (a->i32() < b->i32());
}

int32_t right_operand(const Cell* right) {
    switch (right->type()) {
    case TYPE_CHAR: case TYPE_INTEGER:
        return right->i32();
    case TYPE_FLOAT:
        if (integer::float_out_of_range(right->f64())) fire(err::overflow);
        return int32_t(right->f64());
    default: {
        const Cell datatype = datatype_cell(right->type());
        fire(err::invalid_type, &datatype);
    }
    }
}

// Add, subtract and multiply are done in 64 bits so that an overflow is seen, not wrapped.
int64_t result_of(int32_t left, int32_t right, Op op) {
    switch (op) {
    case Op::add: return int64_t(left) + right;
    case Op::subtract: return int64_t(left) - right;
    case Op::multiply: return int64_t(left) * right;
    default: return integer::checked_op(left, right, op, nullptr);
    }
}

// A vector on the right takes the char as its scalar, element by element.
template <Op op, int Slot>
Cell* char_math(Cell* left, const Cell* right) {
    if (right->is(TYPE_VECTOR)) {
        Cell* result = datatype::handler<Slot>(TYPE_VECTOR)(left, right);
        if (result != left) *left = *result;
        return left;
    }
    int64_t result = result_of(left->i32(), right_operand(right), op);
    if (result < 0 || result > MAX_CODE_POINT) fire(err::overflow);
    left->s2 = uint32_t(result);
    return left;
}

const SlotHandler char_actions[] = {
    act<A_MAKE>(char_make),
    inherited_at<A_RANDOM>(),
    act<A_TO>(char_make),
    act<A_FORM>(char_form),
    act<A_MOLD>(char_mold),
    act<A_COMPARE>(char_compare),
    inherited_at<A_ABSOLUTE>(),
    act<A_ADD>(char_math<Op::add, A_ADD>),
    act<A_DIVIDE>(char_math<Op::divide, A_DIVIDE>),
    act<A_MULTIPLY>(char_math<Op::multiply, A_MULTIPLY>),
    act<A_REMAINDER>(char_math<Op::remainder, A_REMAINDER>),
    act<A_SUBTRACT>(char_math<Op::subtract, A_SUBTRACT>),
    inherited_at<A_EVEN_Q>(),
    inherited_at<A_ODD_Q>(),
    act<A_AND_T>(char_math<Op::and_, A_AND_T>),
    act<A_OR_T>(char_math<Op::or_, A_OR_T>),
    act<A_XOR_T>(char_math<Op::xor_, A_XOR_T>),
};

}  // namespace

void char_init() { datatype::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", UNSUPPORTED, char_actions); }

}  // namespace vyn
