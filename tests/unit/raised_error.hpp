// What the handler-level test fixtures share: an error raiser that records each error's code and
// arguments instead of building an error! value, the catching helper that reads them back, and
// texts kept alive for the whole test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "core/cell.hpp"
#include "core/raise.hpp"
#include "core/unwind.hpp"
#include "datatypes/string.hpp"
#include "tests/unit/collection_stress.hpp"

namespace vyn::testing_errors {

struct RaisedError {
    err::Code code = err::Code(0);
    std::vector<Cell> args;
};

inline RaisedError last_raised;

// The arguments are kept for the rest of the test, which reads them after the raise.
inline void record_error(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    last_raised = {code, {}};
    for (const Cell* arg : {arg1, arg2, arg3})
        if (arg) last_raised.args.push_back(testing_gc::kept(*arg));
    throw Unwind{EXIT_ERROR};
}

template <class Action>
RaisedError raised(Action action) {
    try {
        action();
    } catch (const Unwind& exit) {
        EXPECT_EQ(exit.code, EXIT_ERROR);
        return last_raised;
    }
    ADD_FAILURE() << "no error was raised";
    return {};
}

// A string! of the UTF-8 text, kept for the rest of the test.
inline Cell kept_text(const char* utf8) {
    Cell& s = testing_gc::kept(string::make(0));
    string::append_utf8(&s, utf8);
    return s;
}

}  // namespace vyn::testing_errors
