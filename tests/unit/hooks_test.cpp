#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cell.hpp"
#include "core/hooks.hpp"
#include "core/os/console_out.hpp"

using namespace vyn;

namespace {

std::vector<int> calls;
std::string low_text;

template <int N>
void value_hook(const Cell*, bool) {
    calls.push_back(N);
}

void text_hook(const char* text, int32_t length, bool) {
    low_text.append(text, length < 0 ? std::char_traits<char>::length(text) : size_t(length));
}

}  // namespace

TEST(Hooks, ValueHooksRunInRegistrationOrderAndTheListGrowsByFive) {
    hooks::init();
    calls.clear();
    hooks::run_print(nullptr, false);  // nothing registered: nothing runs
    EXPECT_TRUE(calls.empty());

    hooks::register_hooks(value_hook<1>, nullptr);
    hooks::register_hooks(value_hook<2>, nullptr);
    hooks::register_hooks(value_hook<3>, nullptr);
    hooks::register_hooks(value_hook<4>, nullptr);
    hooks::register_hooks(value_hook<5>, nullptr);
    EXPECT_EQ(hooks::value_hook_capacity(), 5);
    hooks::register_hooks(value_hook<6>, nullptr);
    EXPECT_EQ(hooks::value_hook_capacity(), 10);

    Cell v = integer_cell(1);
    hooks::run_print(&v, true);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(hooks::text_hook_count(), 0);
}

TEST(Hooks, NullValueHookAddsOnlyTheTextHook) {
    hooks::init();
    hooks::register_hooks(nullptr, text_hook);
    EXPECT_EQ(hooks::value_hook_count(), 0);
    EXPECT_EQ(hooks::text_hook_count(), 1);
}

TEST(Hooks, LowLevelPrintersFormatAndFeedTheTextHooks) {
    hooks::init();
    hooks::register_hooks(nullptr, text_hook);
    low_text.clear();
    testing::internal::CaptureStdout();
    console::print_hex(255);
    console::print_float(0.1);
    console::print_int(-1);
    console::print_float32(0.1f);
    console::print_hex2(7);
    console::print_cstring("é");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "000000FF0.1-10.107é");
    EXPECT_EQ(low_text, out);
}
