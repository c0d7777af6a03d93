// Helpers of the natives. Loop passes catch the C++ exception of an exit only for break and
// continue: the exit itself has already made the loop frame the innermost one and written the
// loop's result cell, so a pass only reports which of the two arrived.
#include "eval/native_support.hpp"

#include <span>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/unwind.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/native_entries.hpp"
#include "eval/plan.hpp"

namespace vyn::natives {

bool truthy(const Cell& value) {
    return !value.is(TYPE_NONE) && !(value.is(TYPE_LOGIC) && value.s1 == 0);
}

bool strictly_truthy(const Cell& value) {
    if (value.is(TYPE_UNSET)) fire(err::no_return);
    return truthy(value);
}

Conditional conditional_of(Native entry) {
    if (entry == entry::if_) return Conditional::if_;
    if (entry == entry::unless) return Conditional::unless;
    if (entry == entry::either) return Conditional::either;
    return Conditional::none;
}

const Cell* branch_taken(Conditional kind, const Cell* a) {
    if (kind == Conditional::either) return strictly_truthy(a[0]) ? &a[1] : &a[2];
    return truthy(a[0]) == (kind == Conditional::if_) ? &a[1] : nullptr;
}

void run_conditional(Conditional kind) {
    if (const Cell* branch = branch_taken(kind, args())) interp::eval_as_result(*branch);
    else stack::set_result(none_cell());
}

Cell element_of(const Cell& block, uint32_t i) {
    uint32_t index = block.s1 + i;
    return index < tail_of(block) ? cell_at(block, index) : none_cell();
}

std::string bytes_of(const Cell& value) {
    if (!value.is(TYPE_BINARY)) return string::to_utf8(&value);
    std::span<uint8_t> bytes = binary::bytes_of(&value);
    return std::string(bytes.begin(), bytes.end());
}

void fire_expect_arg(const Cell& value, std::string_view argument) {
    const stack::Frame* frame = stack::call_frame();
    Cell call = frame ? word::from_symbol(frame->symbol) : words::frame_not_found;
    Cell type = datatype_cell(value.type());
    Cell arg = word::load(argument);
    fire(err::expect_arg, &call, &type, &arg);
}

bool is_settable_word(TypeId type) {
    return type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD;
}

void set_word(const Cell& word, const Cell& value) { word::set(word, value, true); }

void eval_block(const Cell& block) { plan::eval_body(block); }

void eval_single(const Cell& value) {
    Rooted code(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1)));
    *memory::alloc_tail_cell(code->s2) = value;
    interp::eval(*code, true);
}

void call_with(const Cell& callable, const Cell& values, const Cell* name, const Cell* path) {
    Rooted code(values);
    uint32_t refinements_at = path ? path->s1 + 1 : 0;
    interp::eval_call(callable, *code, code->s1, tail_of(*code), false, name, false, path, refinements_at, true);
}

void call_global(std::string_view name, std::initializer_list<Cell> values) {
    Cell word = word::load(name);
    Rooted fn(word::get(word));
    Rooted list;
    block::make_at(list.get(), int64_t(values.size()));
    for (const Cell& v : values) block::vs_append(list.get(), &v);
    call_with(*fn, *list, &word);
}

void push_loop_frame() {
    stack::mark(stack::FRAME_LOOP, stack::body_symbol);
    stack::set_result(unset_cell());
}

void pop_loop_frame() { stack::unwind_last(); }

Pass run_body(const Cell& body) {
    try {
        plan::eval_body(body);
        return Pass::normal;
    } catch (const Unwind& exit) {
        if (exit.code == EXIT_BREAK) return Pass::broken;
        if (exit.code == EXIT_CONTINUE) return Pass::continued;
        throw;
    }
}

}  // namespace vyn::natives
