// Shared set-up of the series and block tests: a fresh memory manager, argument stack, symbol
// table, global context and registry with series! and block! registered, plus test-only
// stand-ins for the types that are not built yet (integer! and float! form, mold and compare;
// string! form and mold; a one-value find for blocks), and an error raiser that records the
// raised code and its arguments.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/cycles.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"
#include "tests/unit/word_text.hpp"

namespace vyn::testing_support {

using testing_words::word_text;

inline int32_t emit_text(Cell* out, const std::string& text, int32_t budget) {
    string::concatenate_literal(out, text);
    return budget - int32_t(text.size());
}

inline double number_of(const Cell* v) { return v->is(TYPE_INTEGER) ? double(v->i32()) : v->f64(); }

inline std::string number_text(const Cell* v) {
    return v->is(TYPE_INTEGER) ? std::to_string(v->i32()) : std::to_string(v->f64());
}

inline int32_t form_number(const Cell* v, Cell* out, const Cell*, int32_t budget) {
    return emit_text(out, number_text(v), budget);
}
inline int32_t mold_number(const Cell* v, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    return emit_text(out, number_text(v), budget);
}
inline int compare_number(const Cell* a, const Cell* b, int) {
    if (!b->is(TYPE_INTEGER) && !b->is(TYPE_FLOAT)) return -2;
    double x = number_of(a), y = number_of(b);
    return x < y ? -1 : x > y ? 1 : 0;
}
inline int32_t form_text(const Cell* v, Cell* out, const Cell*, int32_t budget) {
    return emit_text(out, string::to_utf8(v), budget);
}
inline int32_t mold_text(const Cell* v, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    return emit_text(out, "\"" + string::to_utf8(v) + "\"", budget);
}
inline int32_t mold_none(const Cell*, Cell* out, const MoldArgs&, const Cell*, int32_t budget) {
    return emit_text(out, "none", budget);
}
// Finds one value equal by type and slot 2 (integers, words) from the head.
inline Cell* find_one(Cell* b, const Cell* value, const FindArgs&) {
    for (uint32_t i = b->s1; i < series::vs_abs_length(b); ++i) {
        const Cell* c = block::vs_abs_at(b, i);
        if (c->type() == value->type() && c->s2 == value->s2) {
            b->s1 = i;
            return b;
        }
    }
    *b = none_cell();
    return b;
}

inline void register_stand_ins() {
    const SlotHandler number[] = {
        act<A_FORM>(form_number),
        act<A_MOLD>(mold_number),
        act<A_COMPARE>(compare_number),
    };
    datatype::register_type(TYPE_INTEGER, TYPE_NONE_ID, "integer!", UNSUPPORTED, number);
    datatype::register_type(TYPE_FLOAT, TYPE_NONE_ID, "float!", UNSUPPORTED, number);

    const SlotHandler none[] = {act<A_MOLD>(mold_none)};
    datatype::register_type(TYPE_NONE, TYPE_NONE_ID, "none!", UNSUPPORTED, none);

    const SlotHandler text[] = {act<A_FORM>(form_text), act<A_MOLD>(mold_text)};
    datatype::register_type(TYPE_STRING, TYPE_SERIES, "string!", INHERIT, text);

    // block! again, as its own parent: every slot keeps its handler but find.
    const SlotHandler with_find[] = {act<A_FIND>(find_one)};
    datatype::register_type(TYPE_BLOCK, TYPE_BLOCK, "block!", INHERIT, with_find);
}

struct Raised {
    err::Code code = err::Code(0);
    std::vector<Cell> args;
};

inline Raised& last_raised() {
    static Raised raised;
    return raised;
}

// The arguments are kept for the rest of the test, which reads them after the raise.
inline void record_error(err::Code code, const Cell* a1, const Cell* a2, const Cell* a3) {
    last_raised() = Raised{code, {}};
    for (const Cell* a : {a1, a2, a3})
        if (a) last_raised().args.push_back(testing_gc::kept(*a));
    throw Unwind{EXIT_ERROR};
}

// Runs `f` and returns what it raised; a run that raises nothing fails the test.
template <class F>
Raised raised_by(F f) {
    last_raised() = Raised{};
    try {
        f();
        ADD_FAILURE() << "nothing was raised";
    } catch (const Unwind&) {
    }
    return last_raised();
}

class SeriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory", "type-registry", "series!", "block!", "stack", "symbols", "global-context"});
        cycles::reset();
        register_stand_ins();
        set_error_raiser(record_error);
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override {
        testing_gc::stop_collecting();
        set_error_raiser(nullptr);
    }

    // Values made here are kept for the rest of the test.
    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell& b = testing_gc::kept(unset_cell());
        block::make_at(&b, int64_t(cells.size()));
        for (const Cell& c : cells) block::vs_append(&b, &c);
        return b;
    }
    static Cell ints(std::initializer_list<int32_t> values) {
        Cell& b = testing_gc::kept(unset_cell());
        block::make_at(&b, int64_t(values.size()));
        for (int32_t v : values) {
            Cell c = integer_cell(v);
            block::vs_append(&b, &c);
        }
        return b;
    }
    static Cell text(const char* utf8) {
        Cell& s = testing_gc::kept(string::make(0));
        string::append_utf8(&s, utf8);
        return s;
    }
    // The value may be a test's only hold on a result: it is rooted while the text is made.
    static std::string molded(const Cell& v, MoldArgs args = {}) {
        Rooted value(v);
        Rooted out(string::make(16));
        block::mold(value.get(), out.get(), args, nullptr, 0x7FFFFFFF);
        return string::to_utf8(out.get());
    }
    static std::string formed(const Cell& v) {
        Rooted value(v);
        Rooted out(string::make(16));
        block::form(value.get(), out.get(), nullptr, 0x7FFFFFFF);
        return string::to_utf8(out.get());
    }
    static Cell at_index(Cell b, int32_t index) {
        b.s1 = uint32_t(index);
        return b;
    }
};

}  // namespace vyn::testing_support
