// Starting the runtime for a test from the start-up table, so no test spells the order out itself.
// A test names the steps it needs; they run in the table's order, after a shutdown that leaves
// nothing of an earlier test behind. `GlobalContextTest` is the fixture of the modules that need
// only memory, symbols and the global context, with collection at every allocation in stress.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"

namespace vyn::testing_runtime {

// The names must be table step names, listed in the table's order.
inline void start(std::initializer_list<std::string_view> names) {
    runtime::shutdown();
    int count = 0;
    const runtime::InitStep* steps = runtime::init_steps(&count);
    auto next = names.begin();
    for (int i = 0; i < count && next != names.end(); ++i) {
        if (*next != steps[i].name) continue;
        steps[i].run();
        ++next;
    }
    if (next != names.end()) ADD_FAILURE() << "no start-up step \"" << *next << "\" in the table's order";
}

class GlobalContextTest : public ::testing::Test {
protected:
    void SetUp() override {
        start({"memory", "symbols", "global-context"});
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }
};

}  // namespace vyn::testing_runtime
