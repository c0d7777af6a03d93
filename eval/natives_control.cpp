// Conditional and loop natives. Loops iterate over private copies of their series cells, so the
// caller's values never move, and keep every cell they need across a pass on the argument stack
// below their loop frame or in rooted cells: a pass may allocate, move buffers or unwind.
#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/unwind.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/float.hpp"
#include "datatypes/map.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/natives.hpp"

namespace vyn::natives {
namespace {

// ---- Conditionals ----

// Evaluates the expressions of a block one by one, each into the result cell, until `stop` holds
// for a value; returns whether it did. An empty block leaves none.
template <typename Stop>
bool walk_expressions(const Cell& block, Stop stop) {
    Rooted code(block);
    stack::set_result(none_cell());
    for (uint32_t pos = code->s1; pos < tail_of(*code);) {
        pos = interp::eval_next(*code, pos, tail_of(*code), false);
        if (stop(*stack::base)) return true;
    }
    return false;
}

// Evaluates the first block after position `from` in `cases`; false when there is none.
bool eval_block_after(const Cell& cases, uint32_t from) {
    for (uint32_t i = from; i < tail_of(cases); ++i) {
        Cell c = cell_at(cases, i);
        if (!c.is(TYPE_BLOCK)) continue;
        eval_block(c);
        return true;
    }
    return false;
}

bool switch_found(const Cell& value, const Cell& cases) {
    if (value.is(TYPE_BLOCK)) return false;
    for (uint32_t i = cases.s1; i < tail_of(cases); ++i) {
        Cell c = cell_at(cases, i);
        if (c.type() == value.type() && actions::compare(&c, &value, CMP_EQUAL)) return eval_block_after(cases, i + 1);
    }
    return false;
}

// ---- Loop steps ----

bool at_tail(const Cell& series) { return actions::handler_of<A_TAIL_Q>(&series)(&series); }

// The i-th value from a series' position: a block's cell, or what `pick` gives for the others.
Cell pick_element(const Cell& series, uint32_t i) {
    if (series::is_block_type(series.type())) return element_of(series, i);
    Cell* mark = stack::top;
    Cell* slot = stack::push(series);
    Cell index = integer_cell(int32_t(i + 1));
    Cell value = *actions::handler_of<A_PICK>(slot)(slot, index.i32(), &index);
    stack::top = mark;
    return value;
}

Cell settable_word(const Cell& words, uint32_t i) {
    Cell word = element_of(words, i);
    if (!is_settable_word(word.type())) fire(err::invalid_arg, &word);
    return word;
}

// The number of values each pass takes: the word block's length, or 1 for one word.
uint32_t record_size(const Cell& words) {
    if (!words.is(TYPE_BLOCK)) return 1;
    uint32_t n = tail_of(words) > words.s1 ? tail_of(words) - words.s1 : 0;
    if (n == 0) fire(err::invalid_arg, &words);
    return n;
}

// One foreach or remove-each step: sets the words from the next record and moves past it;
// false at the tail, without touching the words.
bool next_record(const Cell& words, Cell& series, uint32_t count) {
    if (at_tail(series)) return false;
    if (!words.is(TYPE_BLOCK)) {
        set_word(words, pick_element(series, 0));
    } else if (series::is_block_type(series.type())) {
        set_many(words, series, count, true, false, false);
    } else {
        for (uint32_t i = 0; i < count; ++i) set_word(settable_word(words, i), pick_element(series, i));
    }
    series.s1 += count;
    return true;
}

// A map is walked by key/value pairs, with exactly two words.
void foreach_entry(uint32_t count) {
    Cell* a = args();
    if (count != 2 || !a[0].is(TYPE_BLOCK)) fire(err::invalid_arg, &a[0]);
    uint32_t position = 0;
    push_loop_frame();
    while (map::foreach_assign(a[1], a[0], position) && run_body(a[2]) != Pass::broken) {}
    pop_loop_frame();
}

// Removes the record just passed over; the position then holds the value that followed it.
void remove_record(Cell& series, uint32_t count) {
    Cell* mark = stack::top;
    Cell* slot = stack::push(series);
    slot->s1 -= count;
    Cell part = integer_cell(int32_t(count));
    Cell* rest = actions::handler_of<A_REMOVE>(slot)(slot, count > 1 ? &part : nullptr, nullptr);
    series.s1 = rest->s1;
    stack::top = mark;
}

}  // namespace

void set_many(const Cell& words, const Cell& value, uint32_t count, bool any, bool only, bool some) {
    Rooted w(words);
    Rooted v(value);
    if (v->is(TYPE_MAP) && !only) {
        if (count != 2) fire(err::invalid_arg, w.get());
        uint32_t position = 0;
        map::foreach_assign(*v, *w, position);
        return;
    }
    bool spread = !only && series::is_block_type(v->type());
    if (spread) {
        for (uint32_t i = 0; i < count; ++i) {
            Cell word = settable_word(*w, i);
            if (!any && element_of(*v, i).is(TYPE_UNSET)) fire(err::need_value, &word);
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        Cell item = spread ? element_of(*v, i) : *v;
        if (some && item.is(TYPE_NONE)) continue;
        set_word(settable_word(*w, i), item);
    }
}

namespace entry {

void if_(int32_t, const int32_t*) { run_conditional(Conditional::if_); }

void unless(int32_t, const int32_t*) { run_conditional(Conditional::unless); }

void either(int32_t, const int32_t*) { run_conditional(Conditional::either); }

void any(int32_t, const int32_t*) {
    if (!walk_expressions(args()[0], truthy)) stack::set_result(none_cell());
}

void all(int32_t, const int32_t*) {
    if (walk_expressions(args()[0], [](const Cell& v) { return !truthy(v); })) stack::set_result(none_cell());
}

void switch_(int32_t, const int32_t* refinements) {
    Cell* a = args();
    Cell* fallback = refinement_arg(refinements, 0);
    if (switch_found(a[0], a[1])) return;
    if (fallback) eval_block(*fallback);
    else stack::set_result(none_cell());
}

void case_(int32_t, const int32_t* refinements) {
    Rooted cases(args()[0]);
    bool all = used(refinements, 0);
    Rooted last(none_cell());
    for (uint32_t pos = cases->s1; pos < tail_of(*cases);) {
        pos = interp::eval_next(*cases, pos, tail_of(*cases), false);
        if (pos >= tail_of(*cases)) fire(err::need_value, &words::case_);  // a condition without a branch
        if (!strictly_truthy(*stack::base)) {
            *last = none_cell();
            ++pos;
            continue;
        }
        Cell branch = cell_at(*cases, pos);
        if (branch.is(TYPE_BLOCK)) {
            eval_block(branch);
            ++pos;
        } else {
            pos = interp::eval_next(*cases, pos, tail_of(*cases), false);
        }
        if (!all) return;
        *last = *stack::base;
    }
    stack::set_result(*last);
}

void while_(int32_t, const int32_t*) {
    Cell* a = args();
    push_loop_frame();
    for (;;) {
        try {
            eval_block(a[0]);
        } catch (const Unwind& exit) {
            if (exit.code == EXIT_BREAK || exit.code == EXIT_CONTINUE) fire(err::while_cond);
            throw;
        }
        if (!strictly_truthy(*stack::base)) {
            stack::set_result(unset_cell());
            break;
        }
        Pass pass = run_body(a[1]);
        if (pass == Pass::broken) break;
    }
    pop_loop_frame();
}

void until(int32_t, const int32_t*) {
    Cell* a = args();
    push_loop_frame();
    for (;;) {
        Pass pass = run_body(a[0]);
        if (pass == Pass::broken) break;
        if (pass == Pass::normal && strictly_truthy(*stack::base)) break;
    }
    pop_loop_frame();
}

void loop(int32_t, const int32_t*) {
    Cell* a = args();
    int32_t count = float_::to_integer_checked(a[0]);  // a float! truncated toward zero
    if (count < 1) return stack::set_result(none_cell());
    push_loop_frame();
    for (int32_t i = 0; i < count && run_body(a[1]) != Pass::broken; ++i) {}
    pop_loop_frame();
}

void repeat(int32_t, const int32_t*) {
    Cell* a = args();
    int32_t count = float_::to_integer_checked(a[1]);
    if (count < 1) return stack::set_result(none_cell());
    push_loop_frame();
    int32_t pass = 1;
    for (;; ++pass) {
        set_word(a[0], integer_cell(pass));
        if (run_body(a[2]) == Pass::broken || pass == count) break;
    }
    set_word(a[0], integer_cell(pass));
    pop_loop_frame();
}

void forever(int32_t, const int32_t*) {
    Cell* a = args();
    push_loop_frame();
    while (run_body(a[0]) != Pass::broken) {}
    pop_loop_frame();
}

void foreach(int32_t, const int32_t*) {
    Cell* a = args();
    uint32_t count = record_size(a[0]);
    if (a[1].is(TYPE_MAP)) return foreach_entry(count);
    Rooted series(a[1]);
    push_loop_frame();
    while (next_record(a[0], *series, count) && run_body(a[2]) != Pass::broken) {}
    pop_loop_frame();
}

void forall(int32_t, const int32_t*) {
    Cell* a = args();
    Rooted start(word::get(a[0]));
    if (!series::is_series_type(start->type())) fire_expect_arg(*start, "word");
    push_loop_frame();
    bool ended = at_tail(*start);
    while (!ended) {
        if (run_body(a[1]) == Pass::broken) break;
        Cell* held = context::get(a[0]);
        if (!series::is_series_type(held->type()) || held->s2 != start->s2) fire(err::bad_loop_series, held);
        ++held->s1;
        ended = at_tail(*held);
    }
    if (ended) set_word(a[0], *start);
    pop_loop_frame();
}

void remove_each(int32_t, const int32_t*) {
    Cell* a = args();
    uint32_t count = record_size(a[0]);
    Rooted series(a[1]);
    push_loop_frame();
    while (next_record(a[0], *series, count)) {
        Pass pass = run_body(a[2]);
        if (pass == Pass::broken) break;
        if (pass == Pass::normal && truthy(*stack::base)) remove_record(*series, count);
    }
    pop_loop_frame();
    stack::set_result(a[1]);
}

}  // namespace entry
}  // namespace vyn::natives
