#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using Chars = vyn::testing_support::NativesTest;

TEST_F(Chars, ConvertsFromTextNumbersAndBytes) {
    const std::pair<const char*, const char*> cases[] = {
        {"to char! 65", "#\"A\""},           {"make char! \"xyz\"", "#\"x\""},
        {"to char! next \"xé\"", "#\"é\""},  {"to char! 97.9", "#\"a\""},
        {"to char! #\"q\"", "#\"q\""},       {"make char! 127", "#\"^~\""},
        {"to char! 10", "#\"^/\""},          {"to char! 0", "#\"^@\""},
        {"form #\"é\"", "\"é\""},
    };
    for (auto [code, expected] : cases) EXPECT_EQ(mold_of(code), expected) << code;
    EXPECT_EQ(error_of("make char! 1114112"), err::out_of_range);
    EXPECT_EQ(error_of("make char! -1"), err::out_of_range);
    EXPECT_EQ(error_of("make char! \"\""), err::bad_to_arg);
    EXPECT_EQ(error_of("to char! []"), err::bad_to_arg);
}

TEST_F(Chars, ComparesWithCharsAndIntegers) {
    EXPECT_EQ(mold_of("reduce [#\"a\" = 97 #\"a\" == 97 #\"a\" < #\"b\" #\"a\" = #\"A\"]"), "[true false true false]");
    EXPECT_EQ(error_of("#\"a\" < 1.0"), err::invalid_compare);
}

TEST_F(Chars, ArithmeticStaysInsideTheCodePointRange) {
    const std::pair<const char*, const char*> cases[] = {
        {"#\"a\" + 1", "#\"b\""},    {"#\"a\" + 1.9", "#\"b\""}, {"or~ #\"A\" 32", "#\"a\""},
        {"#\"b\" / 2", "#\"1\""},    {"remainder #\"c\" 2", "#\"^A\""},   {"#\"b\" - #\"a\"", "#\"^A\""},
    };
    for (auto [code, expected] : cases) EXPECT_EQ(mold_of(code), expected) << code;
    EXPECT_EQ(error_of("(to char! 0) - 1"), err::overflow);
    EXPECT_EQ(error_of("#\"a\" * 20000"), err::overflow);
    EXPECT_EQ(error_of("#\"a\" + 2147483647"), err::overflow);
    EXPECT_EQ(error_of("#\"a\" / 0"), err::zero_divide);
    EXPECT_EQ(error_of("negate #\"a\""), err::expect_arg);
}
