// What the natives share: reading their arguments from the argument stack, the truth tests of
// the conditionals, loop passes that take break and continue, and the errors that name the
// current call. Argument cells lie on the argument stack, which never moves: a native may keep
// pointers to them while it evaluates in frames of its own. An evaluation whose result goes to
// the native's own result cell leaves the stack top just above it, and later pushes overwrite
// the other arguments, which must be copied before that.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/cell.hpp"
#include "core/memory.hpp"
#include "core/stack.hpp"
#include "eval/natives.hpp"

namespace vyn::natives {

// The current call's arguments and refinements (see natives.hpp).
inline Cell* args() { return stack::base; }
inline bool used(const int32_t* refinements, int i) { return refinements[i] >= 0; }
inline Cell* refinement_arg(const int32_t* refinements, int i) {
    return refinements[i] < 0 ? nullptr : stack::base + refinements[i];
}

// none and false are falsy, every other value truthy; the strict test refuses unset.
bool truthy(const Cell& value);
bool strictly_truthy(const Cell& value);

// The conditionals: `if` and `unless` run their block or give none, `either` runs one of two.
// The runner of analysed blocks asks here which branch to take and runs it itself.
enum class Conditional : uint8_t { none, if_, unless, either };
// The conditional a natives table entry is, or none.
Conditional conditional_of(Native entry);
// The block a conditional with arguments `a` runs, or nullptr when it gives none.
const Cell* branch_taken(Conditional kind, const Cell* a);
// Runs the conditional whose arguments are in place from the current base.
void run_conditional(Conditional kind);

// Cells of a block from its buffer's first cell: its tail, and the cell at an index.
inline uint32_t tail_of(const Cell& block) { return memory::series_of(block.s2)->length(); }
inline Cell cell_at(const Cell& block, uint32_t index) { return memory::series_of(block.s2)->cells()[index]; }
// The i-th cell from a block's head, none past its tail.
Cell element_of(const Cell& block, uint32_t i);

// A copy of a binary!'s bytes from its head, or of any other string's text as UTF-8: the copy
// stays valid across allocations.
std::string bytes_of(const Cell& value);

// Script error `expect-arg`: the current call does not allow the value's type for an argument.
[[noreturn]] void fire_expect_arg(const Cell& value, std::string_view argument);

// Words of any of the four kinds a multiple assignment accepts.
bool is_settable_word(TypeId type);
// Stores a value for a word, unset included.
void set_word(const Cell& word, const Cell& value);

// Evaluates a block; its value becomes the current result.
void eval_block(const Cell& block);
// Evaluates one value as an expression of its own, as `do` and `reduce` do with non-blocks.
void eval_single(const Cell& value);
// Calls a function-like value with arguments taken as they are from `values` (a block, from
// its head); the result becomes the current result. `name` names the call (nullptr: anonymous);
// the refinements are those of the path after its first element.
void call_with(const Cell& callable, const Cell& values, const Cell* name, const Cell* path = nullptr);
// Calls a global function of the library with argument values taken as they are.
void call_global(std::string_view name, std::initializer_list<Cell> values);

// reduce/into: the values of the block's expressions go into `into`, appended when it is at
// its tail and inserted at its position otherwise; returns `into` as reduce/into gives it.
Cell reduce_into(const Cell& block, const Cell& into);

// Forgets the print buffer of an earlier run; the next print makes one.
void init_print_buffer();

// Loops. A loop frame holds the loop's result: unset until a pass sets it.
void push_loop_frame();
// Pops it; its result becomes the native's result.
void pop_loop_frame();
enum class Pass { normal, continued, broken };
// Evaluates a body into the loop frame's result cell; break and continue end the pass early,
// every other exit passes through.
Pass run_body(const Cell& body);

}  // namespace vyn::natives
