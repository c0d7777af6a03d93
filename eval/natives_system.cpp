// Natives that reach the runtime's own services: memory figures, the collector and the lexer.
// A lexer trace callback runs in a frame of its own above transcode's arguments, which stay in
// place on the argument stack for the whole scan.
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/tracked_heap.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/lexer.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// A memory figure as an integer!, or a float! beyond the integer range.
Cell number_or_float(uint64_t value) {
    return value <= INT32_MAX ? integer_cell(int32_t(value)) : float_cell(double(value));
}

Cell figure_block(std::initializer_list<uint64_t> figures) {
    Rooted block;
    block::make_at(block.get(), int64_t(figures.size()));
    for (uint64_t f : figures) {
        Cell n = number_or_float(f);
        block::vs_append(block.get(), &n);
    }
    return *block;
}

// One block of [free used total] per frame, each entry starting a new line.
template <typename Info>
Cell frames_block(const std::vector<Info>& frames) {
    Rooted block;
    block::make_at(block.get(), int64_t(frames.size()));
    for (const Info& f : frames) {
        Rooted entry(figure_block({f.free, f.used, f.total}));
        entry->set_flag(FLAG_NEW_LINE);
        block::vs_append(block.get(), entry.get());
    }
    return *block;
}

std::vector<memory::FrameInfo> frame_info(int (*read)(memory::FrameInfo*, int)) {
    std::vector<memory::FrameInfo> frames(4096);
    frames.resize(size_t(read(frames.data(), int(frames.size()))));
    return frames;
}

// The five entries of stats/info: node frames, series frames, big frames, the total of bytes
// obtained for frames, and the bytes of the blocks on the tracked heap.
Cell memory_report() {
    Rooted report;
    block::make_at(report.get(), 5);
    Rooted nodes(frames_block(frame_info(memory::node_chunk_info)));
    block::vs_append(report.get(), nodes.get());
    Rooted series(frames_block(frame_info(memory::series_frame_info)));
    block::vs_append(report.get(), series.get());
    std::vector<uint64_t> sizes(4096);
    sizes.resize(size_t(memory::big_frame_sizes(sizes.data(), int(sizes.size()))));
    Rooted big;
    block::make_at(big.get(), int64_t(sizes.size()));
    for (uint64_t size : sizes) {
        Rooted entry(figure_block({size}));
        entry->set_flag(FLAG_NEW_LINE);
        block::vs_append(big.get(), entry.get());
    }
    block::vs_append(report.get(), big.get());
    Cell total = number_or_float(memory::stats().total_bytes);
    block::vs_append(report.get(), &total);
    Cell heap = number_or_float(sys::heap_bytes());
    block::vs_append(report.get(), &heap);
    return *report;
}

// ---- transcode/trace ----

struct EventName {
    lexer::Event event;
    const Cell* word;
};

const EventName event_names[] = {
    {lexer::EVENT_PRESCAN, &words::prescan}, {lexer::EVENT_SCAN, &words::scan},
    {lexer::EVENT_LOAD, &words::load},       {lexer::EVENT_OPEN, &words::open},
    {lexer::EVENT_CLOSE, &words::close},     {lexer::EVENT_ERROR, &words::error},
};

const Cell& event_word(lexer::Event event) {
    for (const EventName& e : event_names)
        if (e.event == event) return *e.word;
    return words::error;
}

// The events a callback asks for: the words of a block that starts its body, else all.
uint32_t event_mask(const Cell& callback) {
    Cell body = function::extra_of(callback)[function::EXTRA_BODY];
    Cell first = body.is(TYPE_BLOCK) ? element_of(body, 0) : none_cell();
    if (!first.is(TYPE_BLOCK)) return lexer::EVENT_ALL;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < tail_of(first) - first.s1; ++i) {
        Cell item = element_of(first, i);
        if (!item.is(TYPE_WORD)) continue;
        for (const EventName& e : event_names)
            if (symbol::resolve(item.s2) == symbol::resolve(e.word->s2)) mask |= e.event;
    }
    return mask;
}

// `system/lexer/exit-states`: what a token of a typeless kind reports as its type.
Cell exit_states() {
    const Cell system = context::owner(system_object::system_context());
    const Cell lexer = object::vs_select(system, word::from_symbol(words::sym::lexer));
    if (!lexer.is(TYPE_OBJECT)) return none_cell();
    return object::vs_select(lexer, word::from_symbol(words::sym::exit_states));
}

Cell type_of_event(const lexer::TraceEvent& e, const Cell& states) {
    if (e.type) return datatype_cell(e.type);
    if (!states.is(TYPE_BLOCK)) return none_cell();
    return element_of(states, uint32_t(e.kind < 0 ? -e.kind : e.kind) - 1);
}

struct TraceCall {
    const Cell* callback;
    const Cell* source;
    const Cell* states;
};

// The callback gets the event word, the input at the event's position, the type, the line and
// the token. Its `input` argument, read back after the call, may have moved the cursor.
bool call_trace(void* context, lexer::TraceEvent& e) {
    const TraceCall& t = *static_cast<const TraceCall*>(context);
    Rooted arguments;
    block::make_at(arguments.get(), 5);
    Cell input = *t.source;
    input.s1 = e.index;
    const Cell values[5] = {event_word(e.event), input, type_of_event(e, *t.states), integer_cell(e.line), e.token};
    for (const Cell& v : values) block::vs_append(arguments.get(), &v);
    // The call's holder goes at this frame's base, the callee's arguments right above it.
    Cell* const below = stack::top;
    Cell* frame = stack::mark(stack::FRAME_NATIVE, words::frame_lexer_callback.s2);
    call_with(*t.callback, *arguments, &words::frame_lexer_callback);
    bool go_on = truthy(frame[0]);
    const Cell& moved = frame[2];
    if (moved.type() == input.type() && moved.s2 == input.s2) e.index = moved.s1;
    stack::unwind_reset();
    stack::top = below;
    return go_on;
}

}  // namespace

namespace entry {

// stats: the bytes in use; /info the memory report; /show prints the report through the
// library's `show-memory-stats`.
void stats(int32_t, const int32_t* refinements) {
    if (used(refinements, 0)) {
        Rooted report(memory_report());
        call_global("show-memory-stats", {*report});
        stack::set_result(unset_cell());
        return;
    }
    if (used(refinements, 1)) {
        stack::set_result(memory_report());
        return;
    }
    stack::set_result(number_or_float(memory::bytes_in_use()));
}

// recycle: /on and /off switch collections on allocation; without them one full cycle runs and
// the bytes still in use are returned.
void recycle(int32_t, const int32_t* refinements) {
    bool on = used(refinements, 0), off = used(refinements, 1);
    if (on || off) {
        collector::set_enabled(on);
        stack::set_result(unset_cell());
        return;
    }
    collector::collect();
    stack::set_result(number_or_float(memory::bytes_in_use()));
}

// transcode: the lexer over a string! or binary! source; /trace hands each lexer event to a
// function.
void transcode(int32_t, const int32_t* refinements) {
    const Cell* source = args();
    lexer::Transcode options{.next = used(refinements, 0),
                             .one = used(refinements, 1),
                             .prescan = used(refinements, 2),
                             .scan = used(refinements, 3),
                             .part = refinement_arg(refinements, 4),
                             .into = refinement_arg(refinements, 5)};
    const Cell* callback = refinement_arg(refinements, 6);
    Rooted states;
    lexer::Tracer tracer;
    TraceCall call{callback, source, states.get()};
    if (callback) {
        *states = exit_states();
        tracer = {event_mask(*callback), call_trace, &call};
        options.trace = &tracer;
    }
    stack::set_result(lexer::transcode(source, options));
}

}  // namespace entry
}  // namespace vyn::natives
