// Analysed blocks: for a block evaluated more than once, the parse of each expression it has run
// (where each call's arguments end, which words are operators, each callee's argument checks) is
// kept beside it. Every use checks the analysis against the live code cells and word values,
// and takes the interpreter's general path wherever they differ, so it never changes a result.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::plan {

// Drops every analysis and hooks the dropping of dead blocks' analyses into the collector.
void init();
// Drops every analysis; the runtime is going away and no evaluation is in progress.
void shutdown();
// Drops every analysis and, when off, makes none from then on, so every block is walked by the
// interpreter: tests compare the two ways. No evaluation may be in progress.
void set_analysing(bool on);

// Evaluates `code` from its index in the current frame, as the interpreter's block loop does,
// through its analysis; false, having done nothing, when the block is to be walked instead.
bool run(Cell& code, uint32_t length);

// Evaluates the expression of `code` at `pos`, which runs to the block's tail, pushing its value,
// as the interpreter's push mode does, through the block's analysis from the block's second walk
// on; gives the position after it, or false, having done nothing, when there is none.
bool next_expression(const Cell& code, uint32_t pos, uint32_t& next);

// Evaluates a block in a frame of its own into the current result cell, as `interp::eval(block,
// true)` does, straight through the analysis a body evaluated before has: a loop's body pass
// after pass.
void eval_body(const Cell& block);

}  // namespace vyn::plan
