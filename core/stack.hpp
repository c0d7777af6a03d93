// The argument stack and the call-frame stack. Arguments and results are cells on one fixed
// block that never moves; `base` is the current frame's first argument and its result cell.
// Each active call, loop, evaluation or catching place has a frame recording its kind, its name
// and the caller's base, so that exits can unwind both stacks to the frame that receives them.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::stack {

enum FrameKind : uint32_t {
    FRAME_FUNCTION = 1,
    FRAME_NATIVE = 2,
    FRAME_TRY = 4,
    FRAME_BARRIER = 5,
    FRAME_CATCH = 6,
    FRAME_EVAL = 7,
    FRAME_LOOP = 8,
};
constexpr uint32_t FRAME_RETURN_POINT = 0x10;
constexpr uint32_t FRAME_INTERPRETED = 0x80;

struct Frame {
    uint32_t kind;          // FrameKind | FRAME_RETURN_POINT | FRAME_INTERPRETED
    uint32_t symbol;        // the name of the call
    Cell* caller_base;
    NodeId word_context;    // the context of the calling word, or 0
    NodeId function_context;  // a function frame's local context, or 0
    uint32_t saved_values;  // that context's values slot when the frame was pushed

    FrameKind frame_kind() const { return FrameKind(kind & 0xF); }
};

constexpr uint32_t ARGUMENT_CELLS = 20000;
constexpr uint32_t FRAME_COUNT = 12000;

extern Cell* bottom;
extern Cell* top;   // the next free cell
extern Cell* base;  // the current frame's result cell
extern Cell* end;
extern Frame* frame_bottom;
extern Frame* frame_top;  // the next free frame
extern Frame* frame_end;

void init();
// Empties both stacks (start-up and the console after an uncaught exit).
void reset_all();

[[noreturn]] void overflow();

inline Cell* push_raw() {
    if (top + 1 >= end) overflow();
    return top++;
}
inline Cell* push(const Cell& value) {
    Cell* c = push_raw();
    *c = value;
    return c;
}
inline void pop(uint32_t n) { top = (top - bottom >= n) ? top - n : bottom; }
inline Cell* last() { return top > bottom ? top - 1 : bottom; }
inline void set_last(const Cell& value) { *base = value; }
inline void set_result(const Cell& value) {
    top = base + 1;
    *base = value;
}
inline void reset() { top = base; }
inline void keep() { top = base + 1; }
inline Frame* top_frame() { return frame_top > frame_bottom ? frame_top - 1 : nullptr; }
inline bool has_frames() { return frame_top > frame_bottom; }

// Pushes a frame named by a symbol (0 for none) and makes the current top the new base.
inline Cell* mark(uint32_t kind, uint32_t symbol, NodeId word_context = 0, NodeId function_context = 0,
                  uint32_t saved_values = 0) {
    if (frame_top >= frame_end) overflow();
    *frame_top++ = Frame{kind, symbol, base, word_context, function_context, saved_values};
    base = top;
    return base;
}

// Popping: `unwind` keeps the callee's result as the caller's last pushed value; `unwind_last`
// copies it into the caller's result cell; `unwind_reset` and `unwind_discard` drop it.
inline void unwind() {
    Frame* f = --frame_top;
    top = base + 1;
    base = f->caller_base;
}
inline void unwind_last() {
    Cell result = *base;
    unwind();
    *base = result;
    top = base + 1;
}
void unwind_reset();
void unwind_discard();
// Pops frames down to one of the wanted kind (a barrier always stops the walk); see stack.cpp.
void unroll(FrameKind kind, bool keep);
void unroll_last(FrameKind kind);

// Return points: a frame that `return` and `exit` stop at.
void set_return_point(bool on);
Frame* claim_return_point();
void clear_return_point(Frame* frame);

// The frame where a throw began, reported by get_call; cleared when read.
extern Frame* throw_origin;
// The nearest reportable frame (not <body> or <anon>), or nullptr.
Frame* call_frame();

// Symbols of the frame names that reports skip; set by the runtime words at start-up.
extern uint32_t body_symbol;
extern uint32_t anon_symbol;

}  // namespace vyn::stack
