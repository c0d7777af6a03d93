// Starting the runtime for a test from the start-up table, so no test spells the order out itself.
// A test names the steps it needs (a datatype's step is its name); they run in the table's order, after a shutdown that leaves
// nothing of an earlier test behind. `GlobalContextTest` is the fixture of the modules that need
// only memory, symbols and the global context, with collection at every allocation in stress.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <span>
#include <string_view>

#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"

namespace vyn::testing_runtime {

// The names must be table step names, each once; they run in the table's order.
inline void start(std::span<const std::string_view> names) {
    if (!runtime::start_steps(names)) ADD_FAILURE() << "a step not in the start-up table, or named twice";
}
inline void start(std::initializer_list<std::string_view> names) { start(std::span(names.begin(), names.size())); }

class GlobalContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        start({"memory", "symbols", "global-context"});
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }
};

}  // namespace vyn::testing_runtime
