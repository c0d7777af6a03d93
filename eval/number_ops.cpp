// Number operators on plain numbers: the table of comparison natives and the mixed and
// overflowing cases, which take the float! and integer! handlers' own arithmetic.
#include "eval/number_ops.hpp"

#include <utility>

#include "core/type_registry.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "eval/native_entries.hpp"

namespace vyn::interp {

NumberOp native_number_ops[natives::TABLE_SIZE];

void init_number_ops() {
    const std::pair<natives::Native, CompareOp> comparisons[] = {
        {natives::entry::equal_q, CMP_EQUAL},
        {natives::entry::strict_equal_q, CMP_STRICT_EQUAL},
        {natives::entry::not_equal_q, CMP_NOT_EQUAL},
        {natives::entry::lesser_q, CMP_LESSER},
        {natives::entry::greater_q, CMP_GREATER},
        {natives::entry::lesser_or_equal_q, CMP_LESSER_OR_EQUAL},
        {natives::entry::greater_or_equal_q, CMP_GREATER_OR_EQUAL},
    };
    for (int slot = 0; slot < natives::TABLE_SIZE; ++slot) {
        native_number_ops[slot] = NumberOp{NumberOp::none, 0};
        for (const auto& [entry, op] : comparisons)
            if (natives::table[slot] == entry) native_number_ops[slot] = NumberOp{NumberOp::comparison, uint8_t(op)};
    }
}

namespace {

// A float! on the left of a plain number: the float arithmetic the float! handlers do, without
// their dispatch.
bool float_arithmetic(uint8_t slot, Cell& left, const Cell& right) {
    if (!left.is(TYPE_FLOAT)) return false;
    double b = right.is(TYPE_INTEGER) ? double(right.i32()) : right.f64();
    float_::MathOp op = slot == A_ADD        ? float_::MathOp::add
                          : slot == A_SUBTRACT ? float_::MathOp::subtract
                                               : float_::MathOp::multiply;
    store_float(left, float_::do_op(left.f64(), b, op));
    return true;
}

action::Binary arithmetic_handler(uint8_t slot, TypeId type) {
    if (slot == A_ADD) return datatype::handler<A_ADD>(type);
    if (slot == A_SUBTRACT) return datatype::handler<A_SUBTRACT>(type);
    return datatype::handler<A_MULTIPLY>(type);
}

}  // namespace

void apply_mixed_number_op(NumberOp op, Cell& left, const Cell& right) {
    if (op.kind == NumberOp::comparison) {
        store_cell(left, TYPE_LOGIC, actions::compare(&left, &right, op.code), 0, 0);
        return;
    }
    if (float_arithmetic(op.code, left, right)) return;
    Cell* result = arithmetic_handler(op.code, left.type())(&left, &right);
    if (result != &left) left = *result;
}

}  // namespace vyn::interp
