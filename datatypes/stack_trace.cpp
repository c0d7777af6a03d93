// Call traces read from the frame stack: see stack_trace.hpp.
#include "datatypes/stack_trace.hpp"

#include "core/context.hpp"
#include "core/stack.hpp"
#include "datatypes/block.hpp"

namespace vyn::stack {
Cell frame_word(const Frame& frame) {
    NodeId context = frame.word_context ? frame.word_context : context::global();
    return make_cell(TYPE_WORD, context, frame.symbol, uint32_t(context::find_word(context, frame.symbol, true)));
}

namespace {

bool traced(const Frame& frame, int32_t level, const Cell& word) {
    if (!frame.symbol || frame.symbol == body_symbol || frame.symbol == anon_symbol) return false;
    if (level > 1) return true;
    if (int32_t(word.s3) < 0) return false;
    const Cell* value = context::get_value_in(word.s2, word.s1);
    return value && value->is(TYPE_FUNCTION);
}

}  // namespace

void trace_block(int32_t level, Cell* block, uint32_t from, uint32_t end) {
    if (end > FRAME_COUNT) end = FRAME_COUNT;
    for (uint32_t i = from; i < end; ++i) {
        const Frame& frame = frame_bottom[i];
        const Cell word = frame_word(frame);
        if (traced(frame, level, word)) block::vs_append(block, &word);
    }
}

}  // namespace vyn::stack
