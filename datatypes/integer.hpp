// integer!: a signed 32-bit value in slot 2 of the cell. No arithmetic wraps silently: add,
// subtract and multiply that leave the range give a float!, and what cannot become a float
// (negation, absolute value, -2147483648 / -1, rounding) raises the math error `overflow`.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/cell.hpp"

namespace vyn::integer {

// Operation codes of the arithmetic and bitwise actions, shared with vector! and tuple!.
enum class Op : int { add = 0, subtract, multiply, divide, remainder, or_, and_, xor_ };

// Makes the cell an integer! keeping its header flags.
inline Cell* make_at(Cell* cell, int32_t value) {
    cell->set_type(TYPE_INTEGER);
    cell->s2 = uint32_t(value);
    return cell;
}
inline int32_t get(const Cell* cell) { return cell->i32(); }
// Pushes a new integer!, or sets the current call's result cell to one.
Cell* push(int32_t value);
Cell* box(int32_t value);

inline int32_t sign(int32_t value) { return (value > 0) - (value < 0); }
// |value|; -2147483648 raises `overflow`.
int32_t abs(int32_t value);

// Above 2147483647.0, below -2147483648.0, or NaN: no integer! holds it.
bool float_out_of_range(double value);

// Decimal text of a value, held by value so it needs no shared buffer.
struct Decimal {
    char chars[12];
    uint8_t length;
    std::string_view text() const { return {chars, length}; }
};
Decimal form_signed(int32_t value);

// The 32-bit result of an operation. With a result cell, an add, subtract or multiply that
// overflows, or a divide that leaves a remainder, makes the cell a float! holding the exact
// double (and returns 0); an integer result goes into its slot 2. Without one, an overflowing
// add, subtract or multiply gives the wrapped value. A zero divisor raises `zero-divide`,
// -2147483648 divided by -1 raises `overflow`.
int32_t checked_op(int32_t left, int32_t right, Op op, Cell* result);

// Arithmetic of an integer! left operand with any right operand; the result replaces the left.
Cell* do_math(Cell* left, const Cell* right, Op op);

// Conversions of `to integer!`: the first (up to) four bytes of a binary! from its head, most
// significant first; an issue's characters as hexadecimal digits (at most 8, else
// `invalid-data` naming the issue).
int32_t from_binary(const Cell* binary);
int32_t from_issue(std::u32string_view digits, const Cell* issue);

}  // namespace vyn::integer

namespace vyn {

void integer_init();

}  // namespace vyn
