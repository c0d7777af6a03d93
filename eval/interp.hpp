// The interpreter: evaluates blocks that were not compiled, one expression at a time, directly on
// the block's cells. Results go to the current frame's result cell (set mode) or are pushed on
// the argument stack (push mode, for arguments being collected). Positions are cell indexes
// from the block's buffer head, so evaluation survives buffers moving under it.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::interp {

// The block being evaluated, its head at the current expression; errors read it for `near`.
extern Cell current_code;

// Sets up the interpreter's state and registers mark_roots with the collector.
void init();
void mark_roots();

// Evaluates a whole block from its head. With keep_result the result goes into the caller's
// result cell; otherwise it stays pushed as the caller's last value.
void eval(const Cell& block, bool keep_result);

// The value of a block that is one plain number expression (`[n]`, `[i < 10]`), found without a
// frame as `eval` finds it; false, having done nothing, for any other block.
bool plain_block_value(const Cell& block, uint32_t length, Cell& value);

// Evaluates a block as the last act of the current frame and in that frame: the frame's argument
// cells are given up, and the block's value goes to its result cell.
void eval_as_result(const Cell& block);

// Evaluates one expression of `code` at `pos` (an index from the buffer head) before `end`;
// returns the index after it.
uint32_t eval_expression(const Cell& code, uint32_t pos, uint32_t end, bool no_infix, bool push,
                         bool literal);
// The same inside a frame of its own, as natives evaluating one expression of a block need.
uint32_t eval_next(const Cell& code, uint32_t pos, uint32_t end, bool push);

// Calls a function, native, action, routine or op that has its arguments in `code` from `pos`.
// `name` is the calling word (or nullptr); returns the index after the last argument.
// With a path, its refinements from `path_index` on are the call's refinements. With `literal`
// each argument is the next value of `code` as it is, never evaluated.
uint32_t eval_call(const Cell& callable, const Cell& code, uint32_t pos, uint32_t end, bool push,
                   const Cell* name, bool infix, const Cell* path = nullptr, uint32_t path_index = 0,
                   bool literal = false);

// A path's value in get form (nothing at its end is called), and a store through a path.
Cell get_path(const Cell& path);
void set_path(const Cell& path, const Cell& value);

// Runs a function! whose arguments are already in place from the current base.
void eval_function(const Cell& function, uint32_t owner_context);

// The argument list of a callable: made from its spec on first use, then cached.
Cell arg_list(const Cell& callable);

// Function extra-block cells.
enum FunctionExtra : uint32_t { EXTRA_BODY = 0, EXTRA_ARGS = 1, EXTRA_CODE = 2, EXTRA_OP = 3, EXTRA_SECOND = 4 };
// Native and action extra-block cells.
enum NativeExtra : uint32_t { NATIVE_CONTEXT = 0, NATIVE_ARGS = 1 };

}  // namespace vyn::interp
