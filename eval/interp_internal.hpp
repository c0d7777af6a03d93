// What the interpreter's loop shares with the runner of analysed blocks (eval/plan.*): the cell
// and frame helpers every step uses, and the general steps an analysed expression falls back on
// when the code or a word's value is no longer what the analysis saw.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "eval/interp.hpp"
#include "eval/number_ops.hpp"
#include "eval/trace.hpp"

namespace vyn::interp {

constexpr int MAX_REFINEMENTS = 32;
constexpr uint32_t FRAME_EVAL_KIND = stack::FRAME_EVAL | stack::FRAME_INTERPRETED;
constexpr uint32_t FRAME_NATIVE_KIND = stack::FRAME_NATIVE | stack::FRAME_INTERPRETED;
constexpr uint32_t FRAME_FUNCTION_KIND = stack::FRAME_FUNCTION | stack::FRAME_INTERPRETED;

inline Series* block_of(const Cell& b) { return memory::series_of(b.s2); }
inline Cell value_at(const Cell& code, uint32_t i) { return block_of(code)->cells()[i]; }
// Blocks hold cells, so their length needs no division by a run-time unit.
inline uint32_t cell_count(const Series* s) { return (s->tail - s->head) / uint32_t(sizeof(Cell)); }
inline uint32_t length_of(const Cell& code) { return cell_count(block_of(code)); }
inline Cell* extra_of(const Cell& callable) { return memory::series_of(callable.s3)->cells(); }
// The paths that neither allocate nor run code read the code's cells through one pointer taken
// when they start.
inline const Cell* cells_of(const Cell& code) { return block_of(code)->cells(); }

inline void give(const Cell& v, bool push) {
    if (push) stack::push(v);
    else stack::set_result(v);
}

inline void pop_frame(bool push) {
    if (push) stack::unwind();
    else stack::unwind_last();
}

inline bool callable(TypeId t) {
    return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// Whether a value met in code needs a step of its own; every other value but a word is its own
// result.
constexpr bool needs_step(TypeId t) {
    switch (t) {
    case TYPE_PAREN: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_ISSUE:
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: case TYPE_OP:
    case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH:
        return true;
    default: return false;
    }
}

// Every cycle of the evaluator's recursion pushes a frame through one of the places that call
// this, so checking there bounds the native stack.
inline void check_native_stack() {
    if (runtime::recursion_exhausted()) fire(err::stack_overflow);
}

inline Cell list_entry(NodeId list, uint32_t i) { return memory::series_of(list)->cells()[i]; }
inline uint32_t list_length(NodeId list) { return cell_count(memory::series_of(list)); }

// The values a function frame's slots after its arguments start with, from list entry i on:
// false for each refinement and none for each of its arguments, then the locals, /local false
// and the others none.
template <class Slot>
void each_local_slot(NodeId list, uint32_t i, Slot slot) {
    uint32_t n = list_length(list);
    for (; i < n; ++i) {
        Cell e = list_entry(list, i);
        if (e.is(TYPE_REFINEMENT)) slot(logic_cell(false));
        else if (e.is(TYPE_TYPESET) && typeset::arg_class(e) != typeset::ARG_RETURN) slot(none_cell());
    }
    Cell last = n ? list_entry(list, n - 1) : unset_cell();
    if (!last.is(TYPE_INTEGER)) return;
    slot(logic_cell(false));
    for (int32_t k = 1; k < last.i32(); ++k) slot(none_cell());
}

// A right operand that one step of evaluation would give as it is: a number, or a bound word
// whose value is one. Copies it out, or gives false.
inline bool plain_number(const Cell& v, Cell& number) {
    const Cell* c = v.is(TYPE_WORD) ? context::bound_value(v) : &v;
    if (!c || !is_plain_number(*c)) return false;
    number = *c;
    return true;
}

// Restores `current_code` however the evaluation ends. While a block is evaluated,
// `current_code` (a root) holds it, and the guard of a nested evaluation holds it in turn.
struct CodeGuard {
    Rooted saved{current_code};
    ~CodeGuard() { current_code = *saved; }
};

// Runs `statements` on a copy of `block` that is the current code meanwhile; the statements move
// the copy's index, and `current_code`'s with it, as they go.
template <class Statements>
[[gnu::always_inline]] inline void with_current_code(const Cell& block, Statements statements) {
    CodeGuard guard;
    // A local copy is read: a whole-cell load just after a store to one slot would stall.
    Cell code = block;
    current_code = code;
    statements(code);
}

// Finds a refinement of an argument list by symbol; gives its list index and its slot in the frame.
bool find_refinement(NodeId list, uint32_t symbol, uint32_t& index, uint32_t& slot);

// The op! value of a word that names an operator, or nullptr; never raises.
inline const Cell* operator_value(const Cell& word) {
    const Cell* value = context::bound_value(word);
    if (!value) value = context::value_or_null(word);
    return value && value->is(TYPE_OP) ? value : nullptr;
}

// The infix operators from `next` on, the left operand at `start_top`.
uint32_t check_infix(const Cell& code, uint32_t next, uint32_t end, bool push, Cell* start_top);

// A paren met in code, given as push mode asks.
void eval_paren(const Cell& paren, bool push);

// The callable's argument list node; the list is made (and may allocate) on the first call.
NodeId arg_list_of(const Cell& fn);
// Runs a native or action whose arguments are in place from the current base.
void run_native(const Cell& fn, const int32_t* refinements);
// Runs a routine whose arguments are in place through its entry in the routine table.
void run_routine(const Cell& routine);

// The errors of an argument, named by the calling word and the argument list entry.
[[noreturn]] void missing_argument(const Cell& name, const Cell& entry);
[[noreturn]] void wrong_argument_type(const Cell& name, const Cell& entry, const Cell& value);

// The `prolog` and `epilog` events of a function's body; `result` is nullptr for an exit passing
// through it.
void trace_body(trace::Event event, const stack::Frame* frame, const Cell& function, const Cell& body,
                const Cell* result);

// A function's body block run by `run_body` in `frame`; a return or exit that chose this frame
// ends it (one may pass through to a caller's frame).
template <class Body>
[[gnu::always_inline]] inline void run_function_body(const Cell& body, const stack::Frame* frame, Body run_body) {
    try {
        if (body.is(TYPE_BLOCK)) run_body(body);
        else stack::set_result(unset_cell());
    } catch (const Unwind& exit) {
        if ((exit.code != EXIT_RETURN && exit.code != EXIT_EXIT) || stack::frame_top - 1 != frame) throw;
    }
}

// Points the function's context at the current frame, which becomes a return point, for as long
// as it lives.
struct FunctionFrame {
    NodeId context;
    uint32_t saved;
    stack::Frame* frame;
    explicit FunctionFrame(const Cell& function)
        : context(function.s1), saved(context::context_cell(function.s1).s2), frame(stack::top_frame()) {
        context::context_cell(context).s2 = uint32_t(stack::base - stack::cells) + 1;
        frame->kind |= stack::FRAME_RETURN_POINT;
    }
    ~FunctionFrame() {
        context::context_cell(context).s2 = saved;
        frame->kind &= ~stack::FRAME_RETURN_POINT;
    }
    FunctionFrame(const FunctionFrame&) = delete;
    FunctionFrame& operator=(const FunctionFrame&) = delete;
};

// A function's body while a traced evaluation is in progress: the function's flags may turn
// tracing on or off for it, and a traced body is walked between its `prolog` and `epilog` events.
template <class Body>
[[gnu::noinline]] void run_traced_function_frame(const Cell& function, Body run_body) {
    FunctionFrame frame(function);
    Cell body = extra_of(function)[EXTRA_BODY];
    trace::FunctionScope tracing(function.header);
    if (!trace::on) return run_function_body(body, frame.frame, run_body);
    trace_body(trace::PROLOG, frame.frame, function, body, nullptr);
    try {
        run_function_body(body, frame.frame, [](const Cell& b) { eval(b, true); });
    } catch (const Unwind&) {
        if (trace::on) trace_body(trace::EPILOG, frame.frame, function, body, nullptr);
        throw;
    }
    trace_body(trace::EPILOG, frame.frame, function, body, stack::base);
}

// Runs a function! whose arguments are in place, `run_body` running its body block: meanwhile
// the function's context reads its values from this frame, and the frame is a return point.
template <class Body>
[[gnu::always_inline]] inline void run_function_frame(const Cell& function, Body run_body) {
    if (trace::started) [[unlikely]] return run_traced_function_frame(function, run_body);
    FunctionFrame frame(function);
    run_function_body(extra_of(function)[EXTRA_BODY], frame.frame, run_body);
}

}  // namespace vyn::interp
