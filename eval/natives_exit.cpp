// Non-local exit natives: break, continue, exit, return and throw start an exit; catch and try
// stop them. An exit has already unwound the frames to its receiver when its C++ exception
// reaches a catching native, so each catching place only checks the code and reads the values
// that the exit left on the argument stack.
#include "core/raise.hpp"
#include "core/symbol.hpp"
#include "core/unwind.hpp"
#include "datatypes/error.hpp"
#include "datatypes/exits.hpp"
#include "datatypes/words.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/trace.hpp"

namespace vyn::natives {
namespace {

bool same_name(const Cell& a, const Cell& b) { return symbol::resolve(a.s2) == symbol::resolve(b.s2); }

// Whether `catch/name` takes a throw of that name: a word, or one of a block's words.
bool takes_name(const Cell* names, const Cell& name) {
    if (!names) return true;
    if (!name.is(TYPE_WORD)) return false;
    if (names->is(TYPE_WORD)) return same_name(*names, name);
    for (uint32_t i = names->s1; i < tail_of(*names); ++i) {
        Cell each = cell_at(*names, i);
        if (!each.is(TYPE_WORD)) {
            fire(err::invalid_refine_arg, &words::name, names);
        }
        if (same_name(each, name)) return true;
    }
    return false;
}

}  // namespace

namespace entry {

void break_(int32_t, const int32_t* refinements) { exits::throw_break(used(refinements, 0), false); }

void continue_(int32_t, const int32_t*) { exits::throw_break(false, true); }

void exit(int32_t, const int32_t*) { exits::throw_return(false); }

void return_(int32_t, const int32_t*) { exits::throw_return(true); }

void throw_(int32_t, const int32_t* refinements) {
    if (!used(refinements, 0)) {
        stack::keep();
        stack::push(unset_cell());
    }
    trace::event(trace::THROW, nullptr, 0, stack::base);
    exits::throw_value(EXIT_THROW);
}

void catch_(int32_t, const int32_t* refinements) {
    Cell* a = args();
    const Cell* names = refinement_arg(refinements, 0);
    stack::mark(stack::FRAME_CATCH, stack::body_symbol);
    try {
        eval_block(a[0]);
    } catch (const Unwind& exit) {
        if (exit.code != EXIT_THROW) throw;
        // The catch frame is the innermost one again, the thrown value and its name on top.
        Cell value = stack::base[0];
        if (!takes_name(names, stack::base[1])) exits::throw_value(EXIT_THROW);
        stack::throw_origin = nullptr;  // taken here: later errors must not name the throw's call
        stack::set_result(value);
        trace::event(trace::CATCH, nullptr, 0, stack::base);
    }
    stack::unwind_last();
}

// Without /all only errors reach the try frame; with /all a barrier turns every stray exit into
// an error on its way, so both forms take errors alone.
void try_(int32_t, const int32_t* refinements) {
    Cell* a = args();
    const auto own_frame = uint32_t(stack::frame_top - stack::frame_bottom);
    stack::mark(used(refinements, 0) ? stack::FRAME_BARRIER : stack::FRAME_TRY, stack::body_symbol);
    try {
        eval_block(a[0]);
    } catch (const Unwind& exit) {
        if (exit.code != EXIT_ERROR) throw;
        stack::set_result(*stack::last());  // the frame went with the error, which lies on top
        if (used(refinements, 1) && stack::base->is(TYPE_ERROR)) error::capture_stack(*stack::base, own_frame + 1);
        return;
    }
    stack::unwind_last();
}

}  // namespace entry
}  // namespace vyn::natives
