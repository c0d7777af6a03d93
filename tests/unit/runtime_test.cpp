// Start-up order, shutdown, and the native stack check of the runtime thread.
#include <gtest/gtest.h>

#include <string>

#include "console/terminal.hpp"
#include "core/collector.hpp"
#include "core/hooks.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/value_slots.hpp"
#include "datatypes/system_object.hpp"
#include "startup/startup.hpp"

using namespace vyn;

TEST(Runtime, StartUpBeginsWithTheHooksThenTheOsLayer) {
    int count = 0;
    const runtime::InitStep* steps = runtime::init_steps(&count);
    ASSERT_GE(count, 2);
    EXPECT_STREQ(steps[0].name, "hooks");
    EXPECT_STREQ(steps[1].name, "os");
}

namespace {

int depth_reached(int depth) {
    if (runtime::native_stack_exhausted()) return depth;
    volatile char pad[512];
    pad[0] = 1;
    int reached = depth_reached(depth + 1);
    return reached + pad[0] - 1;  // uses the frame after the call: no tail call
}

}  // namespace

TEST(Runtime, DeepNativeRecursionIsStoppedBeforeTheStackRunsOut) {
    runtime::set_stack_bounds_of_current_thread();
    EXPECT_GT(depth_reached(0), 100);
}

// A whole runtime leaves collector roots, sweepers, hooks and the error raiser behind; a start-up
// of a few modules by hand after its shutdown must collect without meeting any of them.
TEST(Runtime, AfterShutdownAPartialStartUpCollectsAlone) {
    terminal::register_natives();
    runtime::init();
    runtime::shutdown();
    EXPECT_FALSE(collector::enabled());
    EXPECT_FALSE(system_object::ready());
    EXPECT_EQ(hooks::value_hook_count(), 0);

    memory::init();
    stack::init();
    value_slots::init();
    collector::init();
    const uint32_t base = memory::stats().nodes_used;
    Rooted kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(4), 0));
    memory::alloc_cells(4);
    collector::collect();
    EXPECT_EQ(memory::stats().nodes_used, base + 1);
    EXPECT_EQ(collector::figures().cycles, 1u);
    runtime::shutdown();
}
