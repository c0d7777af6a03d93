// Shared set-up of the float! and percent! tests: a registry holding both types, the symbol
// table and global context (errors name words), and the helpers that call their handlers as the
// action dispatcher would and catch what they raise. Raised errors are recorded with their
// arguments by a raiser installed for each test.
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
#include "datatypes/float.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/raised_error.hpp"
#include "tests/unit/runtime_start.hpp"
#include "tests/unit/word_text.hpp"

namespace vyn::testing_numbers {

using testing_errors::RaisedError;
using testing_errors::record_error;

class NumberTest : public testing::Test {
protected:
    void SetUp() override { start_with({}); }
    // float!, percent! and what a test's own types add to them, as start-up steps.
    static void start_with(std::vector<std::string_view> steps) {
        steps.insert(steps.end(), {"memory", "type-registry", "float!", "percent!", "symbols", "global-context"});
        testing_runtime::start(steps);
        float_::pretty = true;
        set_error_raiser(record_error);
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override {
        testing_gc::stop_collecting();
        float_::pretty = true;
        set_error_raiser(nullptr);
    }

    static std::string formed(const Cell& value) {
        Rooted out(string::make(0));
        datatype::handler<A_FORM>(value.type())(&value, out.get(), nullptr, 1000);
        return string::to_utf8(out.get());
    }
    static std::string molded(const Cell& value) {
        Rooted out(string::make(0));
        datatype::handler<A_MOLD>(value.type())(&value, out.get(), MoldArgs{}, nullptr, 1000);
        return string::to_utf8(out.get());
    }
    static Cell text(const char* utf8) { return testing_errors::kept_text(utf8); }
    static Cell percent(double fraction) { return float_cell(fraction, TYPE_PERCENT); }

    // The arithmetic actions, dispatched on the left operand's type.
    template <int Slot>
    static Cell apply(Cell left, const Cell& right) {
        datatype::handler<Slot>(left.type())(&left, &right);
        return left;
    }
    static Cell rounded(Cell value, RoundArgs args = {}) {
        datatype::handler<A_ROUND>(value.type())(&value, args);
        return value;
    }
    static Cell converted(TypeId target, const Cell& spec) {
        Cell proto = datatype_cell(target);
        datatype::handler<A_TO>(target)(&proto, &spec, target);
        return proto;
    }

    template <class Action>
    static RaisedError raised(Action action) {
        return testing_errors::raised(action);
    }

    // A text the conversion refuses: bad-to-arg naming the target type and the text.
    static void expect_refused_text(TypeId target, const char* bad) {
        RaisedError e = raised([&] { converted(target, text(bad)); });
        EXPECT_EQ(e.code, err::bad_to_arg) << bad;
        ASSERT_EQ(e.args.size(), 2u);
        EXPECT_EQ(e.args[0].s1, target);
        EXPECT_EQ(string::to_utf8(&e.args[1]), bad);
    }
};

}  // namespace vyn::testing_numbers
