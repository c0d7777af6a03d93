// The operators that give their result without a frame when both operands are plain numbers
// (integer! or float!): the add, subtract and multiply actions and the comparison natives. For
// such operands their handlers neither raise nor allocate, so no frame could ever be seen.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "core/actions_abi.hpp"
#include "core/cell.hpp"
#include "eval/natives.hpp"

namespace vyn::interp {

struct NumberOp {
    enum Kind : uint8_t { none, arithmetic, comparison } kind;
    uint8_t code;  // the action slot, or the compare operator
};

// By native slot; made at start-up from the natives table, so no name is looked up per call.
extern NumberOp native_number_ops[natives::TABLE_SIZE];
void init_number_ops();

// The number operator of a native or action slot; inline, as every operator met in code asks.
[[gnu::always_inline]] inline NumberOp number_op_of(TypeId type, uint32_t slot) {
    if (type == TYPE_ACTION && (slot == A_ADD || slot == A_SUBTRACT || slot == A_MULTIPLY))
        return NumberOp{NumberOp::arithmetic, uint8_t(slot)};
    if (type == TYPE_NATIVE && slot - 1 < uint32_t(natives::TABLE_SIZE)) return native_number_ops[slot - 1];
    return NumberOp{NumberOp::none, 0};
}

// Writes a result cell in one store. The next step reads the whole cell, and a load over several
// smaller stores that are still on their way to the cache waits for all of them.
inline void store_cell(Cell& to, uint32_t header, uint32_t s1, uint32_t s2, uint32_t s3) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&to), _mm_set_epi32(int(s3), int(s2), int(s1), int(header)));
}

inline void store_float(Cell& to, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    store_cell(to, TYPE_FLOAT, 0, uint32_t(bits), uint32_t(bits >> 32));
}

inline bool is_plain_number(const Cell& v) { return v.is(TYPE_INTEGER) || v.is(TYPE_FLOAT); }

inline bool compare_integers(int32_t a, int32_t b, uint8_t op) {
    switch (op) {
    case CMP_NOT_EQUAL: return a != b;
    case CMP_LESSER: return a < b;
    case CMP_LESSER_OR_EQUAL: return a <= b;
    case CMP_GREATER: return a > b;
    case CMP_GREATER_OR_EQUAL: return a >= b;
    default: return a == b;
    }
}

// The sum, difference or product in the left cell (its header kept, as the integer handlers
// do); false when it overflows.
inline bool integer_arithmetic(uint8_t slot, Cell& left, int32_t right) {
    int32_t a = left.i32();
    int32_t value = 0;
    bool overflow = slot == A_ADD        ? __builtin_add_overflow(a, right, &value)
                    : slot == A_SUBTRACT ? __builtin_sub_overflow(a, right, &value)
                                         : __builtin_mul_overflow(a, right, &value);
    if (!overflow) store_cell(left, left.header, left.s1, uint32_t(value), left.s3);
    return !overflow;
}

// Two plain numbers, not both integers or an integer result that overflows: the left cell
// becomes the result.
void apply_mixed_number_op(NumberOp op, Cell& left, const Cell& right);

// Two plain numbers: the left cell becomes the result. Two integers take the inline path.
[[gnu::always_inline]] inline void apply_number_op(NumberOp op, Cell& left, const Cell& right) {
    if (left.is(TYPE_INTEGER) && right.is(TYPE_INTEGER)) {
        if (op.kind == NumberOp::comparison) {
            store_cell(left, TYPE_LOGIC, compare_integers(left.i32(), right.i32(), op.code), 0, 0);
            return;
        }
        if (integer_arithmetic(op.code, left, right.i32())) return;
    }
    apply_mixed_number_op(op, left, right);
}

}  // namespace vyn::interp
