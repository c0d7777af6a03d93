#include <gtest/gtest.h>

#include <string>

#include "core/runtime.hpp"

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
