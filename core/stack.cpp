// Both stacks live in blocks of the tracked heap made once at start-up, so raw cell and frame pointers
// into them stay valid for the whole run. The last argument cell is never handed out, and an
// overflow frees five cells so that the error itself can still be built.
#include "core/stack.hpp"

#include "core/context.hpp"
#include "core/cycles.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/tracked_heap.hpp"

namespace vyn::stack {

Cell* bottom = nullptr;
Cell* top = nullptr;
Cell* base = nullptr;
Cell* end = nullptr;
Frame* frame_bottom = nullptr;
Frame* frame_top = nullptr;
Frame* frame_end = nullptr;
Frame* throw_origin = nullptr;
uint32_t body_symbol = 0;
uint32_t anon_symbol = 0;

namespace {

// A function frame puts back the values slot its context had when the frame was pushed, so a
// recursive caller sees its own locals again.
void restore_locals(const Frame* f) {
    if (!f->function_context) return;
    memory::series_of(f->function_context)->cells()[0].s2 = f->saved_values;
}

Frame* pop_frame() {
    Frame* f = --frame_top;
    return f;
}

bool unnamed(const Frame* f) { return f->symbol == body_symbol || f->symbol == anon_symbol; }

}  // namespace

void init() {
    if (!bottom) {
        bottom = static_cast<Cell*>(sys::heap_alloc(sizeof(Cell) * ARGUMENT_CELLS));
        frame_bottom = static_cast<Frame*>(sys::heap_alloc(sizeof(Frame) * FRAME_COUNT));
    }
    cells = bottom;
    end = bottom + ARGUMENT_CELLS;
    frame_end = frame_bottom + FRAME_COUNT;
    reset_all();
}

void reset_all() {
    top = base = bottom;
    frame_top = frame_bottom;
    throw_origin = nullptr;
}

void overflow() {
    top = top - bottom > 5 ? top - 5 : bottom;
    cycles::reset();
    fire(err::stack_overflow);
}

void unwind_reset() {
    Frame* f = pop_frame();
    restore_locals(f);
    base = f->caller_base;
    top = base;
}

void unwind_discard() {
    Frame* f = pop_frame();
    if (f->frame_kind() == FRAME_FUNCTION) restore_locals(f);
    if (frame_top == frame_bottom) {
        base = top = bottom;
    } else {
        top = base;
        base = f->caller_base;
    }
}

// Pops frames until one of the wanted kind or a barrier (or the bottom); that frame stays live.
// With keep, `base` becomes the argument base inside it; without, the one outside it.
void unroll(FrameKind kind, bool keep) {
    Frame* start = frame_top;
    while (frame_top > frame_bottom) {
        Frame* f = pop_frame();
        if (f->frame_kind() == FRAME_FUNCTION) restore_locals(f);
        if (f->frame_kind() == kind || f->frame_kind() == FRAME_BARRIER) break;
    }
    if (keep) ++frame_top;
    if (frame_top == start) {
        top = base + 1;
    } else if (frame_top == frame_bottom) {
        base = top = bottom;
    } else {
        base = frame_top->caller_base;
        top = base + 1;
    }
    if (!keep) ++frame_top;
}

void unroll_last(FrameKind kind) {
    Cell result = *base;
    unroll(kind, false);
    base = frame_top->caller_base;  // the frame just above the reached one, popped but intact
    *base = result;
    top = base;
}

void set_return_point(bool on) {
    Frame* f = top_frame();
    if (!f) return;
    if (on) f->kind |= FRAME_RETURN_POINT;
    else f->kind &= ~FRAME_RETURN_POINT;
}

Frame* claim_return_point() {
    if (frame_top - frame_bottom < 2) return nullptr;
    Frame* under = frame_top - 2;
    if (under->kind & FRAME_RETURN_POINT) return nullptr;
    under->kind |= FRAME_RETURN_POINT;
    return under;
}

void clear_return_point(Frame* frame) {
    if (frame) frame->kind &= ~FRAME_RETURN_POINT;
}

Frame* call_frame() {
    Frame* f = throw_origin ? throw_origin : top_frame();
    throw_origin = nullptr;
    while (f && f >= frame_bottom && unnamed(f)) f = f > frame_bottom ? f - 1 : nullptr;
    return f;
}

}  // namespace vyn::stack
