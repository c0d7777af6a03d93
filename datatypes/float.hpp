// float!: a binary64 number in slots 2-3 of the cell. percent! (the fraction: 50% holds 0.5) and
// time! (seconds) share that layout, and integer! hands its mixed operands over here, so the
// arithmetic, comparison and rounding below work for all of them: a result's type follows the
// operands' types, never the type of the handler that was called.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/float_text.hpp"

// The namespace takes the type's name with the trailing underscore that keywords get.
namespace vyn::float_ {

// Mirror system/options/float/pretty? and full?, set by that object's on-change*. When pretty
// is on, magnitudes below the double epsilon form as zero and the last-digit noise is trimmed;
// full is kept for the environment and changes no text form.
inline bool pretty = true;
inline bool full = false;

enum class MathOp { add = 0, subtract = 1, multiply = 2, divide = 3, remainder = 4 };

Cell* make_at(Cell* cell, double value);

// The IEEE operation; a remainder by an infinity keeps a finite dividend. Every NaN produced is
// the quiet NaN with bits 0x7FF8000000000000.
double do_op(double a, double b, MathOp op);

// Arithmetic of a number (integer!, float!, percent! or time!) on the left with the right
// operand; the result replaces the left cell. Tuple, money, vector, pair and point operands go
// to their own type's arithmetic.
Cell* do_math(Cell* left, const Cell* right, MathOp op);

// Equality up to 10 units in the last place; a NaN equals nothing.
bool almost_equal(double a, double b);
bool almost_equal32(float a, float b);

// The round action of float! and percent!, also used by time! on its seconds.
Cell* round(Cell* value, const RoundArgs& args);

// The text of a value in the given kind, trimmed as system/options/float/pretty? asks.
std::size_t to_text(double value, float_text::TextKind kind, float_text::TextBuffer out);

// Appends that text to the output string; returns the budget minus the characters written.
int32_t form_text(double value, float_text::TextKind kind, Cell* out, int32_t budget);

// A float! truncated toward zero when it lies within -2147483648.0 to 2147483647.0 (out-of-range
// otherwise, NaN included); any other value gives its slot 2 payload.
int32_t to_integer_checked(const Cell& value);

}  // namespace vyn::float_

namespace vyn {

void float_init();

}  // namespace vyn
