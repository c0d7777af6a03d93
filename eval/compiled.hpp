// Compiled-code support: the operations that natives, actions and routines written in C++ call
// for what every compiled function needs: argument type checks, stores into words and context
// slots, checked word reads, refinement set-up, calls of natives and actions whose refinements
// are known only at run time, path evaluation and switch selection. Each raises the same script
// errors as the interpreter would; none looks a name up or allocates except to build an error.
#pragma once

#include <cstdint>
#include <span>

#include "core/cell.hpp"

namespace vyn::compiled {

// Argument checks; `index` is the argument's position in the called function's spec.
Cell* check_arg_type(const Cell& typeset, int32_t index, Cell* value);
// The argument at base + slot; a negative slot skips the check and comes back as nullptr.
Cell* check_arg_type_at(int32_t slot, const Cell& typeset, int32_t index);
Cell* check_arg_type_opt(const Cell& refinement, const Cell& typeset, int32_t index, Cell* value);
Cell* check_unset(int32_t index, Cell* value);

// Stores of the top value (the last pushed cell); `reset` then empties the frame.
void set_word_top(const Cell& word);
void set_word_top_reset(const Cell& word);
void set_ctx_word_top(NodeId context, uint32_t index);
void set_ctx_word_top_reset(NodeId context, uint32_t index);
// No unset check; marks the word assigned in an object context; always resets.
void set_ctx_word(NodeId context, uint32_t index);

Cell* get_word_checked(const Cell& word);
Cell* ctx_word_cell(NodeId context, uint32_t index);

// A truthy value marks the refinement cell at base + slot used; otherwise its `count` argument
// cells become none.
void set_refinement(const Cell& value, int32_t slot, int32_t count);

// One refinement of a call: given when `value` is truthy; its arguments start at base + slot.
struct RefinementUse {
    const Cell* value;
    int32_t position;  // 1-based among the callee's refinements
    int32_t slot;
    int32_t count;
};
// Calls native (or action) table slot `index` with the frame's arguments.
void call_with_refinements(int32_t index, bool native, int32_t refinement_count,
                           std::span<const RefinementUse> uses);

// Evaluates a path given as its segments; in set mode stores the cell at the argument base.
// The result is also the frame's result.
Cell eval_path(bool set, const Cell& path, std::span<const Cell> segments);

// The `switch` lookup: the value at the argument base is searched in the block after it, by
// single cells with `push` (the result is pushed), else by value/case pairs (the result goes to
// the argument base). A match gives the cell after it, or itself when it is the last one; with
// `skip_to_block`, the next block after it. No match, or no such block, gives none.
Cell* switch_select(bool push, bool skip_to_block);

}  // namespace vyn::compiled
