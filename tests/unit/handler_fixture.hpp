// Shared set-up of the tests of the first datatypes (unset!, none!, logic!, datatype!, integer!):
// a registry holding them, the symbol table and global context (errors name words), helpers that
// call handlers as the action dispatcher would, and a raiser that records each error with its
// arguments before unwinding.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/string.hpp"
#include "datatypes/unset.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/raised_error.hpp"
#include "tests/unit/runtime_start.hpp"
#include "tests/unit/word_text.hpp"

namespace vyn::testing_handlers {

using testing_words::word_text;

using testing_errors::RaisedError;
using testing_errors::record_error;

class HandlerTest : public testing::Test {
protected:
    void SetUp() override { start_with({}); }
    // The first datatypes and what a test's own types add to them, as start-up steps.
    static void start_with(std::vector<std::string_view> steps) {
        steps.insert(steps.end(), {"random", "memory", "type-registry", "datatype!", "unset!", "none!", "logic!",
                                   "integer!", "symbols", "global-context"});
        testing_runtime::start(steps);
        set_error_raiser(record_error);
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override {
        testing_gc::stop_collecting();
        set_error_raiser(nullptr);
    }

    // The value may be a test's only hold on a result: it is rooted while the text is made.
    static std::string formed(const Cell& v) {
        Rooted value(v);
        Rooted out(string::make(0));
        int32_t left = datatype::handler<A_FORM>(value->type())(value.get(), out.get(), nullptr, 100);
        EXPECT_EQ(left, 100 - int32_t(string::length(out.get())));
        return string::to_utf8(out.get());
    }
    static std::string molded(const Cell& v, bool all = false) {
        Rooted value(v);
        Rooted out(string::make(0));
        int32_t left = datatype::handler<A_MOLD>(value->type())(value.get(), out.get(),
                                                                 MoldArgs{false, all, false, 0}, nullptr, 100);
        EXPECT_EQ(left, 100 - int32_t(string::length(out.get())));
        return string::to_utf8(out.get());
    }
    static Cell text(const char* utf8) { return testing_errors::kept_text(utf8); }

    // Handlers dispatched on the type of their first argument, as the actions layer does.
    template <int Slot>
    static Cell apply(Cell left, const Cell& right) {
        datatype::handler<Slot>(left.type())(&left, &right);
        return left;
    }
    template <int Slot>
    static Cell apply(Cell value) {
        datatype::handler<Slot>(value.type())(&value);
        return value;
    }
    static Cell made(TypeId target, const Cell& spec) {
        Cell proto = datatype_cell(target);
        return *datatype::handler<A_MAKE>(target)(&proto, &spec, target);
    }
    static Cell converted(TypeId target, const Cell& spec) {
        Cell proto = datatype_cell(target);
        return *datatype::handler<A_TO>(target)(&proto, &spec, target);
    }
    static int compared(const Cell& a, const Cell& b, int op) {
        return datatype::handler<A_COMPARE>(a.type())(&a, &b, op);
    }

    template <class Action>
    static RaisedError raised(Action action) {
        return testing_errors::raised(action);
    }
    static void expect_expect_arg(const RaisedError& e, const char* action, TypeId type,
                                  const char* argument) {
        EXPECT_EQ(e.code, err::expect_arg);
        ASSERT_EQ(e.args.size(), 3u);
        EXPECT_EQ(word_text(e.args[0]), action);
        EXPECT_EQ(e.args[1].s1, type);
        EXPECT_EQ(word_text(e.args[2]), argument);
    }
};

}  // namespace vyn::testing_handlers
