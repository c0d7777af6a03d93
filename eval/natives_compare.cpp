// Comparison and predicate natives. Ordered comparisons go through each type's compare handler;
// `same?` is an identity test on the cells themselves, so it needs no handler: it knows which
// slots of each layout make a value's identity.
#include <cmath>
#include <cstring>

#include "core/type_registry.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/money.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

template <int Op>
void compare_to_logic() {
    Cell* a = args();
    stack::set_result(logic_cell(actions::compare(&a[0], &a[1], Op)));
}

constexpr uint32_t TUPLE_LENGTH_MASK = 0xFu << 19;

bool same(const Cell& a, const Cell& b) {
    if (a.type() != b.type()) return false;
    switch (a.type()) {
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: return a.s1 == b.s1;
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_BITSET: return a.s2 == b.s2;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_PAIR: case TYPE_TIME: case TYPE_OP:
        return a.s2 == b.s2 && a.s3 == b.s3;
    case TYPE_TUPLE:
        return (a.header & TUPLE_LENGTH_MASK) == (b.header & TUPLE_LENGTH_MASK) && a.s1 == b.s1 && a.s2 == b.s2 &&
               a.s3 == b.s3;
    case TYPE_NONE: case TYPE_UNSET: return true;
    case TYPE_MONEY: return actions::compare(&a, &b, CMP_SAME);
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_POINT2D: return a.s1 == b.s1 && a.s2 == b.s2;
    default:
        if (series::is_series_type(a.type())) return a.s1 == b.s1 && a.s2 == b.s2;
        return a.s1 == b.s1 && a.s2 == b.s2 && a.s3 == b.s3;
    }
}

bool float_layout(TypeId t) { return t == TYPE_FLOAT || t == TYPE_PERCENT || t == TYPE_TIME; }

// The sign of a number, time or money value: 1, 0 or -1 (0 for a NaN).
int sign_of(const Cell& number) {
    if (number.is(TYPE_INTEGER)) return (number.i32() > 0) - (number.i32() < 0);
    if (float_layout(number.type())) return (number.f64() > 0.0) - (number.f64() < 0.0);
    if (number.is(TYPE_MONEY)) return money::sign(number);
    fire_expect_arg(number, "number");
}

float float32_at(uint32_t slot) {
    float f;
    std::memcpy(&f, &slot, sizeof f);
    return f;
}

bool zero(const Cell& v) {
    switch (v.type()) {
    case TYPE_CHAR: case TYPE_INTEGER: return v.s2 == 0;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: return v.f64() == 0.0;
    case TYPE_PAIR: return v.s2 == 0 && v.s3 == 0;
    case TYPE_MONEY: return money::sign(v) == 0;
    case TYPE_TUPLE: return v.s1 == 0 && v.s2 == 0 && v.s3 == 0;  // bytes past the length are 0
    case TYPE_POINT3D: if (float32_at(v.s3) != 0.0f) return false; [[fallthrough]];
    case TYPE_POINT2D: return float32_at(v.s1) == 0.0f && float32_at(v.s2) == 0.0f;
    default: return false;
    }
}

}  // namespace

namespace entry {

void equal_q(int32_t, const int32_t*) { compare_to_logic<CMP_EQUAL>(); }
void not_equal_q(int32_t, const int32_t*) { compare_to_logic<CMP_NOT_EQUAL>(); }
void strict_equal_q(int32_t, const int32_t*) { compare_to_logic<CMP_STRICT_EQUAL>(); }
void lesser_q(int32_t, const int32_t*) { compare_to_logic<CMP_LESSER>(); }
void greater_q(int32_t, const int32_t*) { compare_to_logic<CMP_GREATER>(); }
void lesser_or_equal_q(int32_t, const int32_t*) { compare_to_logic<CMP_LESSER_OR_EQUAL>(); }
void greater_or_equal_q(int32_t, const int32_t*) { compare_to_logic<CMP_GREATER_OR_EQUAL>(); }

void same_q(int32_t, const int32_t*) { stack::set_result(logic_cell(same(args()[0], args()[1]))); }

void not_(int32_t, const int32_t*) { stack::set_result(logic_cell(!truthy(args()[0]))); }

void type_q(int32_t, const int32_t* refinements) {
    TypeId type = args()[0].type();
    if (!used(refinements, 0)) return stack::set_result(datatype_cell(type));
    stack::set_result(word::load(datatype::name_of(type)));
}

void nan_q(int32_t, const int32_t*) {
    const Cell& v = args()[0];
    stack::set_result(logic_cell(float_layout(v.type()) && std::isnan(v.f64())));
}

void negative_q(int32_t, const int32_t*) { stack::set_result(logic_cell(sign_of(args()[0]) < 0)); }

void positive_q(int32_t, const int32_t*) { stack::set_result(logic_cell(sign_of(args()[0]) > 0)); }

void sign_q(int32_t, const int32_t*) { stack::set_result(integer_cell(sign_of(args()[0]))); }

void zero_q(int32_t, const int32_t*) { stack::set_result(logic_cell(zero(args()[0]))); }

void complement_q(int32_t, const int32_t*) {
    const Cell& bits = args()[0];
    if (!bits.is(TYPE_BITSET)) fire_expect_arg(bits, "bits");
    stack::set_result(logic_cell((memory::series_of(bits.s2)->flags & SERIES_COMPLEMENT) != 0));
}

}  // namespace entry
}  // namespace vyn::natives
