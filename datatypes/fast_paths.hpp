// Fast operations for code run from C++ (natives, actions, routines): arithmetic, comparison and
// block navigation with the common cases inline (two integers, two floats, a block) and every
// other case handed to the action machinery inside a native frame named by the calling word,
// so results and errors are the interpreter's. The inline cases push no frame and allocate
// nothing beyond their one result cell.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::actions {

// Arithmetic operator codes (3 and 4 are not used).
enum FastMath : int { FAST_ADD = 0, FAST_SUBTRACT = 1, FAST_MULTIPLY = 2, FAST_OR = 5, FAST_AND = 6, FAST_XOR = 7 };
// Comparison operator codes, as for `compare`.
enum FastCompare : int {
    FAST_EQUAL = 0, FAST_NOT_EQUAL = 1, FAST_STRICT_EQUAL = 2, FAST_LESSER = 3, FAST_LESSER_OR_EQUAL = 4,
    FAST_GREATER = 5, FAST_GREATER_OR_EQUAL = 6,
};
// Block accessor codes.
enum FastAccessor : int {
    FAST_LENGTH_Q = 1, FAST_INDEX_Q = 2, FAST_HEAD_Q = 3, FAST_TAIL_Q = 4, FAST_NEXT = 5, FAST_BACK = 6,
    FAST_HEAD = 7, FAST_TAIL = 8,
};

// `name` is the word that names the call: the slow path's frame carries it into errors.
void fast_math_op(const Cell& name, const Cell& a, const Cell& b, int op);          // result pushed
void fast_math_op2(const Cell& name, const Cell& a, int32_t literal, int op);      // result pushed
void fast_math_top(const Cell& name, const Cell& b, int op);                       // replaces the top
void fast_math_top_int(const Cell& name, int32_t literal, int op);                 // replaces the top

void fast_compare(const Cell& name, const Cell& a, const Cell& b, int op);            // logic! pushed
void fast_compare_int_push(const Cell& name, const Cell& a, int32_t literal, int op); // logic! pushed
bool fast_compare_test(const Cell& name, const Cell& a, const Cell& b, int op, bool negate);
bool fast_compare_int_test(const Cell& name, const Cell& a, int32_t literal, int op, bool negate);
void fast_compare_set(const Cell& name, const Cell& a, const Cell& b, int op);  // logic! in the result cell
void fast_compare_top(const Cell& name, const Cell& b, int op);                 // logic! replaces the top
void fast_compare_top_int(const Cell& name, int32_t literal, int op);           // logic! replaces the top

void fast_series_accessor(const Cell& name, const Cell& a, int code);  // result pushed
// The value `element` selects in `a`, through the path-access action; pushed.
void fast_path_get(const Cell& name, const Cell& a, const Cell& element);

// Compares the two values on top of the argument stack and replaces them by the logic! result.
void compare_to_logic(int op);

}  // namespace vyn::actions
