// Call traces: the names of the calls on the frame stack, for the Stack line of an error. Frames
// popped by an exit keep their contents until new frames overwrite them, so a catching place
// can still read the frames between itself and the position the error recorded.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::stack {

struct Frame;

// The frame's name as a word bound in the frame's word context (or the global context).
Cell frame_word(const Frame& frame);

// Appends to `block` the words of frames [from, end) counted from the bottom frame, skipping
// frames named <body> or <anon>; at level 1 only words whose value is a function!.
void trace_block(int32_t level, Cell* block, uint32_t from, uint32_t end);

}  // namespace vyn::stack
