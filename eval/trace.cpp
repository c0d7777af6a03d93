// Evaluation tracing. The callback runs in a function frame of its own above everything the
// traced code has pushed (the cell on top included), and the stacks are put back as they were
// when it returns; while it runs, tracing is off, so it never traces itself.
#include "eval/trace.hpp"

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "datatypes/exits.hpp"
#include "datatypes/function.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/interp_internal.hpp"

namespace vyn::trace {

bool on = false;
bool started = false;

namespace {

// The callback of the traced evaluation in progress and what its calls need.
struct Tracer {
    Cell callback = none_cell();
    uint32_t mask = 0;
    uint32_t arguments = 0;  // the callback's arguments, filled from the event's six values
    uint32_t locals_from = 0;  // the argument list index where its other slots begin
};
Tracer tracer;
bool calling = false;  // the callback is running
bool reporting = true;  // the traced code may switch its reports off (`trace false`)

void mark_roots() { collector::mark_cell(tracer.callback); }

struct EventName {
    Event event;
    const Cell* word;
};

const EventName* event_names(size_t& count) {
    static const EventName names[] = {
        {INIT, &words::init},     {END, &words::end},        {PROLOG, &words::prolog}, {EPILOG, &words::epilog},
        {ENTER, &words::enter},   {EXIT, &words::exit},      {OPEN, &words::open},     {RETURN, &words::return_},
        {FETCH, &words::fetch},   {PUSH, &words::push},      {SET, &words::set},       {CALL, &words::call},
        {ERROR, &words::error},   {THROW, &words::throw_},   {CATCH, &words::catch_},  {EXPR, &words::expr},
    };
    count = sizeof names / sizeof names[0];
    return names;
}

Cell event_word(Event event) {
    size_t count;
    const EventName* names = event_names(count);
    for (size_t i = 0; i < count; ++i)
        if (names[i].event == event) return *names[i].word;
    return none_cell();
}

uint32_t event_bit(const Cell& word) {
    size_t count;
    const EventName* names = event_names(count);
    uint32_t wanted = symbol::resolve(word.s2);
    for (size_t i = 0; i < count; ++i)
        if (symbol::resolve(names[i].word->s2) == wanted) return names[i].event;
    return 0;
}

bool is_code(const Cell* code) {
    return code && (code->is(TYPE_BLOCK) || code->is(TYPE_PAREN) || code->is(TYPE_PATH) || code->is(TYPE_SET_PATH) ||
                    code->is(TYPE_GET_PATH) || code->is(TYPE_LIT_PATH));
}

// Where a position lies in the code given with an event: -1 outside it or without code.
int32_t offset_in(const Cell* code, uint32_t position) {
    if (!is_code(code)) return -1;
    return position < interp::length_of(*code) ? int32_t(position) : -1;
}

// The code goes at its head, the offset counting from there: the interpreter moves a block's
// index along its expressions, and a handler compares the blocks it meets by identity.
Cell code_at_head(const Cell* code) {
    if (!is_code(code)) return code ? *code : none_cell();
    Cell head = *code;
    head.s1 = 0;
    return head;
}

// The arguments of the callback's calls, learnt from its argument list once per traced run.
void learn_arguments(const Cell& callback) {
    NodeId list = interp::arg_list_of(callback);
    uint32_t n = interp::list_length(list);
    uint32_t i = 0, count = 0;
    for (; i < n; ++i) {
        Cell e = interp::list_entry(list, i);
        if (!e.is(TYPE_TYPESET)) break;
        if (typeset::arg_class(e) != typeset::ARG_RETURN) ++count;
    }
    tracer.arguments = count;
    tracer.locals_from = i;
}

// The values go onto the stack before anything can collect: the argument list is made already.
void call_callback(const Cell (&values)[6]) {
    Cell fn = tracer.callback;  // rooted as the tracer's callback
    stack::mark(interp::FRAME_FUNCTION_KIND, words::frame_interp_callback.s2, 0, fn.s1,
                context::context_cell(fn.s1).s2);
    for (uint32_t i = 0; i < tracer.arguments; ++i) stack::push(i < 6 ? values[i] : none_cell());
    interp::each_local_slot(interp::arg_list_of(fn), tracer.locals_from, [](const Cell& slot) { stack::push(slot); });
    interp::eval_function(fn, 0);
}

}  // namespace

void init() {
    tracer = Tracer{};
    on = started = calling = false;
    collector::add_root(mark_roots);
    exits::set_error_observer(report_error);
}

namespace {

// The block a list starts with, or none.
Cell leading_block(const Cell& list) {
    if (!list.is(TYPE_BLOCK) || list.s1 >= interp::length_of(list)) return none_cell();
    Cell first = interp::value_at(list, list.s1);
    return first.is(TYPE_BLOCK) ? first : none_cell();
}

}  // namespace

// The events may be listed by a block that starts the spec, or, as the environment's handlers
// do, by one that starts the body (where it evaluates to itself).
uint32_t mask_of(const Cell& callback) {
    Cell first = leading_block(function::spec_block(callback));
    if (first.is(TYPE_NONE)) first = leading_block(function::extra_of(callback)[function::EXTRA_BODY]);
    if (first.is(TYPE_NONE)) return DEFAULT_MASK;
    uint32_t mask = 0;
    for (uint32_t i = first.s1; i < interp::length_of(first); ++i) {
        Cell v = interp::value_at(first, i);
        if (v.is(TYPE_WORD)) mask |= event_bit(v);
    }
    return mask;
}

void fire(Event event, const Cell* code, uint32_t position, const Cell* value, const Cell* ref) {
    if (!reporting || !(tracer.mask & event) || !tracer.callback.is(TYPE_FUNCTION)) return;
    Cell* saved_base = stack::base;
    Cell* saved_top = stack::top;
    stack::Frame* saved_frame = stack::frame_top;
    stack::push_raw();  // the cell on top may be a result not pushed yet
    bool passes_ref = event & (SET | EPILOG | PROLOG | RETURN | CALL);
    Cell values[6] = {
        event_word(event),
        code_at_head(code),
        integer_cell(offset_in(code, position)),
        value && !value->is(TYPE_UNSET) ? *value : none_cell(),
        passes_ref && ref ? *ref : none_cell(),
        none_cell(),
    };
    pair::make_at(&values[5], int32_t(saved_base - stack::bottom), int32_t(saved_top - stack::bottom));
    struct Untraced {
        bool was_on = on, was_calling = calling;
        Untraced() { on = false, calling = true; }
        ~Untraced() { on = was_on, calling = was_calling; }
    } untraced;
    call_callback(values);
    stack::base = saved_base;
    stack::top = saved_top;
    stack::frame_top = saved_frame;
}

void FunctionScope::adjust(uint32_t function_header) {
    if (calling) return;
    if (function_header & function::FLAG_NO_TRACE) on = false;
    else if (function_header & function::FLAG_TRACE) on = true;
}

bool active() { return started && !calling && reporting; }

void set_reporting(bool wanted) {
    if (started) reporting = wanted;
}

void report_error(const Cell& error) {
    if (!on) return;
    Rooted held(error);
    Rooted code(interp::current_code);
    fire(ERROR, code.get(), code->s1, held.get(), nullptr);
}

Session::Session(const Cell& callback, const Cell& code)
    : callback_(tracer.callback), mask_(tracer.mask), arguments_(tracer.arguments),
      locals_from_(tracer.locals_from), on_(on), started_(started), reporting_(reporting) {
    Rooted held(code);
    reporting = true;
    tracer.callback = callback;
    tracer.mask = mask_of(callback);
    learn_arguments(tracer.callback);
    started = true;
    on = true;
    try {
        fire(INIT, held.get(), held->s1, nullptr, nullptr);
    } catch (const Unwind&) {
        restore();  // no destructor runs for a session that was never made
        throw;
    }
}

void Session::end(const Cell& code) { fire(END, &code, code.s1, stack::base, nullptr); }

Session::~Session() { restore(); }

void Session::restore() {
    tracer = Tracer{*callback_, mask_, arguments_, locals_from_};
    on = on_;
    started = started_;
    reporting = reporting_;
}

}  // namespace vyn::trace
