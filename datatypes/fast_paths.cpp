// Fast operations. An integer result that leaves 32 bits becomes the float! of the exact value,
// as integer! arithmetic gives it; everything the inline cases do not cover goes through the
// action entries, so the two ways never differ.
#include "datatypes/fast_paths.hpp"

#include <initializer_list>

#include "core/actions_abi.hpp"
#include "core/memory.hpp"
#include "core/type_registry.hpp"
#include "core/stack.hpp"
#include "datatypes/actions.hpp"

namespace vyn::actions {
namespace {

constexpr int32_t NO_REFINEMENTS[4] = {-1, -1, -1, -1};

bool both(const Cell& a, const Cell& b, TypeId t) { return a.is(t) && b.is(t); }

// The inline arithmetic of two integers, or of two floats for add, subtract and multiply;
// false, having written nothing, for any other case.
bool inline_math(const Cell& a, const Cell& b, int op, Cell& result) {
    if (both(a, b, TYPE_INTEGER)) {
        int64_t x = a.i32(), y = b.i32(), r;
        switch (op) {
        case FAST_ADD: r = x + y; break;
        case FAST_SUBTRACT: r = x - y; break;
        case FAST_MULTIPLY: r = x * y; break;
        case FAST_OR: result = integer_cell(int32_t(x | y)); return true;
        case FAST_AND: result = integer_cell(int32_t(x & y)); return true;
        case FAST_XOR: result = integer_cell(int32_t(x ^ y)); return true;
        default: return false;
        }
        result = r == int32_t(r) ? integer_cell(int32_t(r)) : float_cell(double(r));
        return true;
    }
    if (both(a, b, TYPE_FLOAT) && op <= FAST_MULTIPLY) {
        double x = a.f64(), y = b.f64();
        result = float_cell(op == FAST_ADD ? x + y : op == FAST_SUBTRACT ? x - y : x * y);
        return true;
    }
    return false;
}

int math_slot(int op) {
    switch (op) {
    case FAST_ADD: return A_ADD;
    case FAST_SUBTRACT: return A_SUBTRACT;
    case FAST_MULTIPLY: return A_MULTIPLY;
    case FAST_OR: return A_OR_T;
    case FAST_AND: return A_AND_T;
    default: return A_XOR_T;
    }
}

// Runs `run` in a native frame named by `name` with the operands pushed; the frame's result is
// left pushed in the caller's frame.
template <class Run>
void in_native_frame(const Cell& name, std::initializer_list<Cell> operands, Run run) {
    stack::mark(stack::FRAME_NATIVE, name.s2, name.s1);
    for (const Cell& v : operands) stack::push(v);
    run();
    stack::unwind();
}

// The result of `a op b`, pushed.
void push_math(const Cell& name, const Cell& a, const Cell& b, int op) {
    Cell r;
    if (inline_math(a, b, op, r)) {
        stack::push(r);
        return;
    }
    in_native_frame(name, {a, b}, [op] { table[math_slot(op) - 1](NO_REFINEMENTS); });
}

// The truth of an integer comparison by operator code.
bool integer_truth(int32_t x, int32_t y, int op) {
    switch (op) {
    case FAST_NOT_EQUAL: return x != y;
    case FAST_LESSER: return x < y;
    case FAST_LESSER_OR_EQUAL: return x <= y;
    case FAST_GREATER: return x > y;
    case FAST_GREATER_OR_EQUAL: return x >= y;
    default: return x == y;
    }
}

bool truth(const Cell& name, const Cell& a, const Cell& b, int op) {
    if (both(a, b, TYPE_INTEGER)) return integer_truth(a.i32(), b.i32(), op);
    in_native_frame(name, {a, b}, [op] { compare_to_logic(op); });
    bool result = stack::top[-1].s1 != 0;
    stack::pop(1);
    return result;
}

// Replaces the last pushed cell by `r`.
void replace_top(const Cell& r) { stack::top[-1] = r; }

}  // namespace

void compare_to_logic(int op) {
    Cell* a = stack::top - 2;
    bool result = compare(a, a + 1, op);
    stack::top = a + 1;
    *a = logic_cell(result);
}

void fast_math_op(const Cell& name, const Cell& a, const Cell& b, int op) { push_math(name, a, b, op); }

void fast_math_op2(const Cell& name, const Cell& a, int32_t literal, int op) {
    push_math(name, a, integer_cell(literal), op);
}

void fast_math_top(const Cell& name, const Cell& b, int op) {
    Cell a = stack::top[-1];
    stack::pop(1);
    push_math(name, a, b, op);
}

void fast_math_top_int(const Cell& name, int32_t literal, int op) { fast_math_top(name, integer_cell(literal), op); }

void fast_compare(const Cell& name, const Cell& a, const Cell& b, int op) {
    stack::push(logic_cell(truth(name, a, b, op)));
}

void fast_compare_int_push(const Cell& name, const Cell& a, int32_t literal, int op) {
    fast_compare(name, a, integer_cell(literal), op);
}

bool fast_compare_test(const Cell& name, const Cell& a, const Cell& b, int op, bool negate) {
    return truth(name, a, b, op) != negate;
}

bool fast_compare_int_test(const Cell& name, const Cell& a, int32_t literal, int op, bool negate) {
    return fast_compare_test(name, a, integer_cell(literal), op, negate);
}

void fast_compare_set(const Cell& name, const Cell& a, const Cell& b, int op) {
    stack::set_last(logic_cell(truth(name, a, b, op)));
}

void fast_compare_top(const Cell& name, const Cell& b, int op) {
    replace_top(logic_cell(truth(name, stack::top[-1], b, op)));
}

void fast_compare_top_int(const Cell& name, int32_t literal, int op) { fast_compare_top(name, integer_cell(literal), op); }

void fast_series_accessor(const Cell& name, const Cell& a, int code) {
    if (!a.is(TYPE_BLOCK)) {
        static constexpr int SLOTS[] = {0, A_LENGTH_Q, A_INDEX_Q, A_HEAD_Q, A_TAIL_Q, A_NEXT, A_BACK, A_HEAD, A_TAIL};
        in_native_frame(name, {a}, [code] { table[SLOTS[code] - 1](NO_REFINEMENTS); });
        return;
    }
    // The length from the position may be below 0: a position past the tail.
    int32_t length = int32_t(memory::series_of(a.s2)->length()) - int32_t(a.s1);
    Cell r = a;
    switch (code) {
    case FAST_LENGTH_Q: r = integer_cell(length < 0 ? 0 : length); break;
    case FAST_INDEX_Q: r = integer_cell(int32_t(a.s1) + 1); break;
    case FAST_HEAD_Q: r = logic_cell(a.s1 == 0); break;
    case FAST_TAIL_Q: r = logic_cell(length < 1); break;
    case FAST_NEXT: if (length >= 1) ++r.s1; break;
    case FAST_BACK: if (r.s1 > 0) --r.s1; break;
    case FAST_HEAD: r.s1 = 0; break;
    case FAST_TAIL: r.s1 = uint32_t(int32_t(a.s1) + length); break;
    default: break;
    }
    stack::push(r);
}

void fast_path_get(const Cell& name, const Cell& a, const Cell& element) {
    in_native_frame(name, {a, element}, [] {
        Cell* value = stack::base;
        auto handler = datatype::handler<A_EVAL_PATH>(value->type());
        if (!handler) unsupported(value);
        PathStep step{nullptr, nullptr, nullptr, 1, false, true, false};
        stack::set_result(*handler(value, value + 1, nullptr, step));
    });
}

}  // namespace vyn::actions
