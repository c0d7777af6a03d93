// Float text conversion: layouts and special spellings of each text kind, the reading syntax
// with its scaling and saturation, random round trips, and degree folding.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <clocale>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "core/float_text.hpp"

using namespace vyn;
using float_text::TextKind;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::string format(double value, int precision = 0, bool keep_point = true) {
    char out[float_text::text_capacity];
    std::size_t length = float_text::format(value, precision, keep_point, out);
    EXPECT_EQ(out[length], '\0');
    return {out, length};
}

std::string to_text(double value, TextKind kind, bool pretty = true) {
    char out[float_text::text_capacity];
    return {out, float_text::to_text(value, kind, pretty, out)};
}

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

}  // namespace

TEST(FloatFormat, MoldGivesShortestDigitsInPlainOrExponentLayout) {
    struct Case { double value; const char* text; } cases[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0.1, "0.1"},
        {1.5, "1.5"},
        {100.0, "100.0"},
        {12000.0, "12000.0"},
        {-2.5, "-2.5"},
        {0.001, "0.001"},
        {1e16, "10000000000000000.0"},
        {12345678901234567.0, "12345678901234568.0"},
        {1e17, "1.0e17"},
        {1e-7, "0.0000001"},
        {-1.5e-7, "-0.00000015"},
        {1e-8, "1.0e-8"},
        {1.234e-8, "1.234e-8"},
        {123456789012345680000.0, "1.2345678901234568e20"},
        {-1e300, "-1.0e300"},
        {5e-324, "5.0e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e308"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {inf, "1.#INF"},
        {-inf, "-1.#INF"},
        {std::numeric_limits<double>::quiet_NaN(), "1.#NaN"},
        {-std::numeric_limits<double>::quiet_NaN(), "1.#NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(format(c.value), c.text) << c.text;
}

TEST(FloatFormat, WithoutKeptPointWholeNumbersHaveNoPoint) {
    EXPECT_EQ(format(12000.0, 0, false), "12000");
    EXPECT_EQ(format(1e-8, 0, false), "1e-8");
    EXPECT_EQ(format(1e20, 0, false), "1e20");
    EXPECT_EQ(format(0.0, 0, false), "0");
    EXPECT_EQ(format(-0.0, 0, false), "-0");
    EXPECT_EQ(format(2.75, 0, false), "2.75");
}

TEST(FloatFormat, PrecisionRoundsCorrectlyAndDropsTrailingZeros) {
    EXPECT_EQ(format(1.0 / 3.0, 6, false), "0.333333");
    EXPECT_EQ(format(2.0, 6, false), "2");
    EXPECT_EQ(format(59.9999999, 6, false), "60");
    EXPECT_EQ(format(0.125, 2, false), "0.12");  // exact tie: half to even
    EXPECT_EQ(format(0.375, 2, false), "0.38");
    // Digits beyond the shortest ones are the binary value's own digits.
    EXPECT_EQ(format(0.1, 22, true), "0.1000000000000000055511");
    EXPECT_EQ(format(-1.1e-7, 22, true), "-0.0000001100000000000000056102");  // longest text
    EXPECT_EQ(format(0.1, 40, true), format(0.1, 22, true));
}

TEST(FloatFormat, DigitsReportDecimalPointAndSign) {
    float_text::Digits d = float_text::dtoa(-1234.5, 0, true);
    EXPECT_EQ(d.text(), "12345");
    EXPECT_EQ(d.decpt, 4);
    EXPECT_TRUE(d.negative);

    d = float_text::dtoa(0.00025, 0, true);
    EXPECT_EQ(d.text(), "25");
    EXPECT_EQ(d.decpt, -3);
    EXPECT_FALSE(d.negative);

    d = float_text::dtoa(-0.0, 0, false);
    EXPECT_EQ(d.text(), "-0");
    EXPECT_EQ(d.decpt, float_text::decpt_zero);

    d = float_text::dtoa(-inf, 0, true);
    EXPECT_EQ(d.text(), "-1.#INF");
    EXPECT_EQ(d.decpt, float_text::decpt_special);
    EXPECT_FALSE(d.negative);
}

TEST(FloatToText, FloatFormUsesSixteenDigitsAndTrimsNoise) {
    struct Case { double value; bool pretty; const char* text; } cases[] = {
        {0.1 + 0.2, true, "0.3"},
        {100.0, true, "100.0"},
        {-2.5, true, "-2.5"},
        {1e20, true, "1.0e20"},
        {1e-5, true, "1.0e-5"},
        {1.5e300, true, "1.5e300"},
        {8.024999999999999, true, "8.025"},
        {8.024999999999999, false, "8.024999999999999"},
        {0.1 + 0.7, true, "0.8"},                          // "0.7999999999999999" is 18 long
        {0.123456789012301, true, "0.123456789012301"},    // 17 long after "0": kept
        {1.000000000000001e20, true, "1.0e20"},
        {1.000000000000001e20, false, "1.000000000000001e20"},
        {1e-17, true, "0.0"},
        {-1e-17, true, "0.0"},
        {1e-17, false, "1.0e-17"},
        {inf, true, "1.#INF"},
        {-inf, true, "-1.#INF"},
        {-std::numeric_limits<double>::quiet_NaN(), true, "1.#NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_text(c.value, TextKind::float_form, c.pretty), c.text) << c.text;
}

TEST(FloatToText, PercentFormHasThirteenDigitsAndASign) {
    struct Case { double hundredfold; bool pretty; const char* text; } cases[] = {
        {50.0, true, "50%"},
        {12.5, true, "12.5%"},
        {0.1, true, "0.1%"},
        {33.33333333333333, true, "33.33333333333%"},
        {-1e20, true, "-1e20%"},
        {1e-17, true, "0%"},
        {1e-17, false, "1e-17%"},
        {inf, true, "1.#INF"},
        {std::numeric_limits<double>::quiet_NaN(), true, "1.#NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_text(c.hundredfold, TextKind::percent, c.pretty), c.text) << c.text;
    EXPECT_EQ(to_text(12.5f, TextKind::percent32), "12.5%");
}

TEST(FloatToText, OtherKindsFollowTheirOwnShapes) {
    EXPECT_EQ(to_text(0.1f, TextKind::float32), "0.1");
    EXPECT_EQ(to_text(3.0f, TextKind::float32), "3.0");
    EXPECT_EQ(to_text(1e-17, TextKind::float32), "0.0");
    EXPECT_EQ(to_text(100.0, TextKind::coordinate), "100");
    EXPECT_EQ(to_text(2.5, TextKind::coordinate), "2.5");
    EXPECT_EQ(to_text(1e-17, TextKind::coordinate), "0");
    EXPECT_EQ(to_text(1e20, TextKind::coordinate), "1e20");
    EXPECT_EQ(to_text(5.0, TextKind::seconds), "5");
    EXPECT_EQ(to_text(5.25, TextKind::seconds), "5.25");
    EXPECT_EQ(to_text(1.0 / 3.0, TextKind::seconds), "0.333333");
    EXPECT_EQ(to_text(59.9999999, TextKind::seconds), "60");
}

TEST(FloatFromText, ReadsDecimalTextScaledByTheAdjustment) {
    struct Case { const char* text; int adjust; double value; std::size_t unconsumed; } cases[] = {
        {"1.5", 0, 1.5, 0},
        {"0.1", 0, 0.1, 0},
        {"-2.5", 0, -2.5, 0},
        {"+2.5E+3", 0, 2500.0, 0},
        {"007", 0, 7.0, 0},
        {"12.", 0, 12.0, 0},
        {".5", 0, 0.5, 0},
        {"50", -2, 0.5, 0},
        {"12.5", -2, 0.125, 0},
        {"1.5e3", -2, 15.0, 0},
        {"1e400", 0, inf, 0},
        {"-1e400", 0, -inf, 0},
        {"1e4294967297", 0, inf, 0},
        {"1e99999999999999999999", 0, inf, 0},
        {"9007199254740993", 0, 9007199254740992.0, 0},  // exact tie: half to even
        {"1.7976931348623157e308", 0, std::numeric_limits<double>::max(), 0},
        {"4.9e-324", 0, 5e-324, 0},
        {"12abc", 0, 12.0, 3},
        {"1e", 0, 1.0, 1},
        {"1e+", 0, 1.0, 2},
        {"1.5e-x", 0, 1.5, 3},
        {"10.#INF", 0, 10.0, 4},
        {"1.#X", 0, 1.0, 2},
    };
    for (const Case& c : cases) {
        float_text::TextRead r = float_text::from_text(c.text, c.adjust);
        EXPECT_EQ(r.value, c.value) << c.text;
        EXPECT_EQ(r.unconsumed, c.unconsumed) << c.text;
    }
}

TEST(FloatFromText, ZerosKeepTheTextsSignExceptForABareZero) {
    struct Case { const char* text; bool negative; } cases[] = {
        {"0", false}, {"-0", false}, {"-000", false}, {"-0.0", true}, {"0.000", false},
        {"1e-400", false}, {"-1e-400", true}, {"1e-4294967297", false}, {"-0e5", true},
    };
    for (const Case& c : cases) {
        float_text::TextRead r = float_text::from_text(c.text, 0);
        EXPECT_EQ(r.value, 0.0) << c.text;
        EXPECT_EQ(std::signbit(r.value), c.negative) << c.text;
        EXPECT_EQ(r.unconsumed, 0u) << c.text;
    }
}

TEST(FloatFromText, TextWithoutMantissaDigitsConsumesNothing) {
    for (const char* text : {"", ".", "-", "--5", "e5", "-.e1"}) {
        float_text::TextRead r = float_text::from_text(text, 0);
        EXPECT_EQ(r.value, 0.0) << text;
        EXPECT_EQ(r.unconsumed, std::string(text).size()) << text;
    }
}

TEST(FloatFromText, ReadsSpecialSpellingsAfterOneDigit) {
    struct Case { const char* text; std::uint64_t bits; } cases[] = {
        {"1.#INF", bits(inf)},
        {"-1.#INF", bits(-inf)},
        {"5.#INF", bits(inf)},
        {"1.#inf", bits(inf)},
        {"01.#INF", bits(inf)},
        {"1.#NaN", 0x7FF8000000000000},
        {"-1.#NAN", 0x7FF8000000000000},
    };
    for (const Case& c : cases) {
        float_text::TextRead r = float_text::from_text(c.text, 0);
        EXPECT_EQ(bits(r.value), c.bits) << c.text;
        EXPECT_EQ(r.unconsumed, 0u) << c.text;
    }
}

TEST(FloatFromText, StickyDigitDecidesTiesBeyondEightHundredDigits) {
    // 1 + 2^-53 lies exactly halfway between 1.0 and the next double.
    const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    EXPECT_EQ(float_text::from_text(halfway, 0).value, 1.0);
    std::string above = halfway + std::string(1000, '0') + "1";
    EXPECT_EQ(float_text::from_text(above, 0).value, std::nextafter(1.0, 2.0));
    std::string long_integer = "1" + std::string(1000, '0');
    EXPECT_EQ(float_text::from_text(long_integer + ".5e-1000", 0).value, 1.0);
    EXPECT_EQ(float_text::from_text(long_integer, -1000).value, 1.0);
    EXPECT_EQ(float_text::from_text("0." + std::string(400, '0') + "1e400", 0).value, 0.1);
}

TEST(FloatFormat, RandomDoublesReadBackToTheSameBits) {
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 200000; ++i) {
        double value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) continue;
        std::string molded = format(value);
        float_text::TextRead r = float_text::from_text(molded, 0);
        ASSERT_EQ(bits(r.value), bits(value)) << molded;
        ASSERT_EQ(r.unconsumed, 0u) << molded;
        ASSERT_EQ(bits(float_text::from_text(format(value, 17, false), 0).value), bits(value));
    }
}

TEST(FloatFromText, AdjustmentScalesLikeAnExponent) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> fraction(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        std::string text = format(std::round(fraction(random) * 1e6) / 1e6);
        std::string scaled = text + "e-2";
        double expected = 0.0;
        std::from_chars(scaled.data(), scaled.data() + scaled.size(), expected);
        EXPECT_EQ(float_text::from_text(text, -2).value, expected) << text;
    }
}

TEST(FloatText, DecimalCommaLocaleChangesNothing) {
    std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    std::string molded = format(0.5);
    std::string formed = to_text(12.5, TextKind::percent);
    double read = float_text::from_text("0.25", 0).value;
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(molded, "0.5");
    EXPECT_EQ(formed, "12.5%");
    EXPECT_EQ(read, 0.25);
}

TEST(NormalizeAngle, FoldsDegreesPerFunctionAndReturnsRadians) {
    using math::AngleMode;
    constexpr double pi = 3.141592653589793;
    auto radians = [&](double degrees) { return degrees * pi / 180.0; };
    struct Case { double degrees; AngleMode mode; double folded; } cases[] = {
        {390.0, AngleMode::tangent, 30.0}, {390.0, AngleMode::cosine, 30.0}, {390.0, AngleMode::sine, 30.0},
        {100.0, AngleMode::sine, 80.0},    {100.0, AngleMode::tangent, -80.0}, {100.0, AngleMode::cosine, 100.0},
        {-100.0, AngleMode::sine, -80.0},  {-100.0, AngleMode::tangent, 80.0}, {-100.0, AngleMode::cosine, -100.0},
        {-270.0, AngleMode::tangent, 90.0}, {-270.0, AngleMode::cosine, 90.0}, {-270.0, AngleMode::sine, 90.0},
        {270.0, AngleMode::sine, -90.0},   {-720.0, AngleMode::cosine, 0.0},    {180.0, AngleMode::sine, 0.0},
    };
    for (const Case& c : cases) EXPECT_EQ(math::normalize_angle(c.degrees, c.mode), radians(c.folded)) << c.degrees;
}
