#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/os/console_out.hpp"

using namespace vyn;

namespace {

template <typename Unit>
std::string written(std::initializer_list<Unit> units, bool line_end) {
    std::basic_string<Unit> text(units);
    testing::internal::CaptureStdout();
    console::write(text.data(), text.size() * sizeof(Unit), int(sizeof(Unit)), line_end);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ConsoleOut, EveryUnitSizeBecomesUtf8WithAnLfLineEnd) {
    EXPECT_EQ(written<uint8_t>({0xE9}, true), "\xC3\xA9\n");
    EXPECT_EQ(written<char16_t>({0x3A9, 0xD83D, 0xDE00}, false), "\xCE\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(written<char32_t>({0x1F600, 'a'}, false), "\xF0\x9F\x98\x80" "a");
}

TEST(ConsoleOut, LoneSurrogatesShowAsReplacementCharacters) {
    EXPECT_EQ(written<char16_t>({0xD800, 'x', 0xDC00}, false), "\xEF\xBF\xBD" "x" "\xEF\xBF\xBD");
}

TEST(ConsoleOut, EscapesPassThroughAndLongTextsArriveWhole) {
    EXPECT_EQ(written<uint8_t>({27, '[', '3', '1', 'm', 'a'}, false), "\x1B[31ma");
    std::u32string long_text(1200, U'\u00E9');
    testing::internal::CaptureStdout();
    console::write(long_text.data(), long_text.size() * 4, 4, true);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.size(), 2401u);
    EXPECT_EQ(out.back(), '\n');
}
