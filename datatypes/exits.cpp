// Each throw walks the frames below the one of the exiting native itself; a barrier frame stops
// every walk, which is how `try/all` and the console receive stray exits as errors.
#include "datatypes/exits.hpp"

#include <unistd.h>

#include "core/context.hpp"
#include "core/eval_hooks.hpp"
#include "core/fatal.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/words.hpp"

namespace vyn::exits {
namespace {

UncaughtReporter uncaught_reporter = nullptr;
ErrorObserver error_observer = nullptr;

[[noreturn]] void uncaught(const Cell& error) {
    if (uncaught_reporter) uncaught_reporter(error);
    static const char text[] = "*** uncaught error\n";
    if (write(STDERR_FILENO, text, sizeof text - 1) < 0) {}
    sys::runtime_error(-2, 0);
}

struct Saved {
    Cell* base;
    Cell* top;
    stack::Frame* frame_top;

    void restore() const {
        stack::base = base;
        stack::top = top;
        stack::frame_top = frame_top;
    }
};

Saved save() { return Saved{stack::base, stack::top, stack::frame_top}; }

// Walks down from the frame below the exiting one to a frame of the wanted kind (or with the
// return-point flag); returns it, or nullptr when a barrier or the bottom comes first.
stack::Frame* find_receiver(stack::FrameKind kind, bool return_point, stack::Frame* from = nullptr) {
    stack::Frame* f = from ? from : stack::frame_top - 1;
    if (!from && f >= stack::frame_bottom) --f;  // past the frame of break, return or throw itself
    for (; f >= stack::frame_bottom; --f) {
        if (f->frame_kind() == stack::FRAME_BARRIER) return nullptr;
        if (return_point ? (f->kind & stack::FRAME_RETURN_POINT) != 0 : f->frame_kind() == kind) return f;
    }
    return nullptr;
}

// Whether the block series `node` is `block` or nested in it, within a few levels.
bool holds_series(const Cell& block, NodeId node, int depth) {
    if (block.s2 == node) return true;
    if (depth == 0) return false;
    Series* s = memory::series_of(block.s2);
    for (Cell* c = s->cells(); c < s->cell_tail(); ++c) {
        if ((c->is(TYPE_BLOCK) || c->is(TYPE_PAREN)) && holds_series(*c, node, depth - 1)) return true;
    }
    return false;
}

// An environment function receives only the returns written in its own body: one in the code it
// runs for its caller (`attempt [return 1]`) returns from the caller, as if the environment's
// functions were not there.
bool passes_through(const stack::Frame* frame, const Cell& code) {
    if (!frame->function_context || !code.is(TYPE_BLOCK)) return false;
    const Cell function = context::owner(frame->function_context);
    if (!function.is(TYPE_FUNCTION) || !(function.header & function::FLAG_NO_TRACE)) return false;
    const Cell body = function::extra_of(function)[function::EXTRA_BODY];
    return body.is(TYPE_BLOCK) && !holds_series(body, code.s2, 16);
}

// The innermost return point a return reaches; when the code holding it belongs to no function
// met on the way (made at run time by an environment function), the innermost one.
stack::Frame* find_return_point() {
    stack::Frame* first = find_receiver(stack::FRAME_NATIVE, true);
    const Cell code = eval_hooks::current_code();
    for (stack::Frame* f = first; f; f = find_receiver(stack::FRAME_NATIVE, true, f - 1)) {
        if (!passes_through(f, code)) return f;
    }
    return first;
}

// Makes the receiver the innermost frame and the argument base the one inside it. Functions
// whose frames are dropped restore their own locals as the exit passes through them.
void enter_receiver(stack::Frame* receiver) {
    stack::frame_top = receiver + 1;
    stack::base = receiver[1].caller_base;
    stack::top = stack::base;
}

// The error learns where it was raised: the nearest call's word (unless `where` is set) and the
// frame position, from which a stack trace can be made later.
void record_origin(const Cell& error) {
    Cell where = error::call_word();
    if (where.s2 != words::frame_not_found.s2) error::set_where(error, where);
    Cell* stack_field = error::field(error, error::FIELD_STACK);
    if (!stack_field->is(TYPE_BLOCK)) *stack_field = integer_cell(int32_t(stack::frame_top - stack::frame_bottom));
}

}  // namespace

void throw_error(const Cell& error) {
    Cell kept = error;
    bool caught = false;
    if (stack::has_frames()) {
        if (kept.is(TYPE_ERROR)) record_origin(kept);
        if (error_observer) error_observer(kept);
        Cell* top = stack::top;
        stack::unroll(stack::FRAME_TRY, false);
        --stack::frame_top;  // the reached frame goes too: its catching place takes over
        stack::top = top;
        stack::FrameKind reached = stack::frame_top->frame_kind();
        caught = reached == stack::FRAME_TRY || reached == stack::FRAME_BARRIER;
    }
    if (!caught) uncaught(kept);
    stack::push(kept);
    throw Unwind{EXIT_ERROR};
}

void throw_break(bool has_value, bool is_continue) {
    Saved saved = save();
    stack::Frame* loop = find_receiver(stack::FRAME_LOOP, false);
    if (!loop) {
        saved.restore();
        fire(is_continue ? err::throw_continue : err::throw_break);
    }
    Cell value = *stack::base;
    enter_receiver(loop);
    *stack::base = has_value ? value : unset_cell();
    throw Unwind{is_continue ? EXIT_CONTINUE : EXIT_BREAK};
}

void throw_return(bool has_value) {
    Saved saved = save();
    stack::Frame* point = find_return_point();
    if (!point) {
        saved.restore();
        fire(err::throw_return);
    }
    Cell value = *stack::base;
    enter_receiver(point);
    *stack::base = has_value ? value : unset_cell();
    throw Unwind{has_value ? EXIT_RETURN : EXIT_EXIT};
}

void throw_value(uint32_t code) {
    Saved saved = save();
    Cell value = stack::base[0];
    Cell name = stack::top > stack::base + 1 ? stack::base[1] : unset_cell();
    if (!stack::throw_origin && stack::has_frames()) stack::throw_origin = stack::frame_top - 1;
    stack::Frame* catcher = find_receiver(stack::FRAME_CATCH, false);
    if (!catcher) {
        saved.restore();
        fire(err::throw_throw, &value);
    }
    enter_receiver(catcher);
    stack::push(value);
    stack::push(name);
    throw Unwind{code};
}

void set_uncaught_reporter(UncaughtReporter reporter) { uncaught_reporter = reporter; }

void set_error_observer(ErrorObserver observer) { error_observer = observer; }

}  // namespace vyn::exits
