#include <cmath>
#include <limits>

#include "tests/unit/number_fixture.hpp"

using namespace vyn;
using testing_numbers::NumberTest;

namespace {

class PercentTest : public NumberTest {};

}  // namespace

TEST_F(PercentTest, FormAndMoldShowTheHundredfoldValueWithThirteenDigits) {
    struct Case {
        double fraction;
        const char* text;
    } cases[] = {
        {0.5, "50%"},
        {0.125, "12.5%"},
        {0.001, "0.1%"},
        {-0.5, "-50%"},
        {1.0 / 3.0, "33.33333333333%"},
        {1e-19, "0%"},
        {1e20, "1e22%"},
        {std::numeric_limits<double>::infinity(), "1.#INF"},
        {std::numeric_limits<double>::quiet_NaN(), "1.#NaN"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formed(percent(c.fraction)), c.text) << c.fraction;
        EXPECT_EQ(molded(percent(c.fraction)), c.text) << c.fraction;
    }
    float_::pretty = false;
    EXPECT_EQ(formed(percent(1e-19)), "1e-17%");
}

TEST_F(PercentTest, ArithmeticKeepsPercentOnTheLeft) {
    Cell sum = apply<A_ADD>(percent(0.1), percent(0.1));
    EXPECT_EQ(sum.type(), TYPE_PERCENT);
    EXPECT_EQ(formed(sum), "20%");

    Cell product = apply<A_MULTIPLY>(percent(0.1), integer_cell(2));
    EXPECT_EQ(product.type(), TYPE_PERCENT);
    EXPECT_EQ(formed(product), "20%");

    Cell scaled = apply<A_MULTIPLY>(float_cell(0.5), percent(0.1));
    EXPECT_EQ(scaled.type(), TYPE_FLOAT);
    EXPECT_EQ(formed(scaled), "0.05");
}

TEST_F(PercentTest, ConversionsKeepTheNumberAndReadPercentTextAsItsFraction) {
    struct Case {
        Cell spec;
        double fraction;
    } cases[] = {
        {integer_cell(5), 5.0},
        {float_cell(0.25), 0.25},
        {text("50%"), 0.5},
        {text("50"), 50.0},
        {text(" 12.5% "), 0.125},
        {text("1,5%"), 0.015},
        {text("1.5e2"), 150.0},
    };
    for (const Case& c : cases) {
        Cell r = converted(TYPE_PERCENT, c.spec);
        EXPECT_EQ(r.type(), TYPE_PERCENT);
        EXPECT_EQ(r.f64(), c.fraction) << c.fraction;
    }
    EXPECT_EQ(formed(converted(TYPE_PERCENT, integer_cell(5))), "500%");

    for (const char* bad : {"abc", "", "%", "50%%", "5 0%"}) expect_refused_text(TYPE_PERCENT, bad);
}

TEST_F(PercentTest, RoundsToWholePercentsAndScalesInPercents) {
    struct Case {
        double fraction;
        RoundArgs how;
        const char* text;
    } cases[] = {
        {0.125, {}, "13%"},
        {-0.125, {}, "-13%"},
        {0.124, {}, "12%"},
    };
    for (const Case& c : cases) EXPECT_EQ(formed(rounded(percent(c.fraction), c.how)), c.text) << c.fraction;

    RoundArgs even{};
    even.even = true;
    EXPECT_EQ(formed(rounded(percent(0.125), even)), "12%");

    Cell one = integer_cell(1), tenth = float_cell(0.1);
    RoundArgs to_one{};
    to_one.to = &one;
    Cell whole = rounded(percent(0.12345), to_one);
    EXPECT_EQ(whole.type(), TYPE_PERCENT);
    EXPECT_EQ(formed(whole), "12%");
    RoundArgs to_tenth{};
    to_tenth.to = &tenth;
    EXPECT_EQ(formed(rounded(percent(0.12345), to_tenth)), "12.3%");
}

TEST_F(PercentTest, InheritsEverythingButItsTextFormsFromFloat) {
    for (int slot : {A_MAKE, A_RANDOM, A_TO, A_COMPARE, A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE,
                     A_POWER, A_REMAINDER, A_ROUND, A_SUBTRACT, A_EVEN_Q, A_ODD_Q})
        EXPECT_EQ(datatype::raw_handler(TYPE_PERCENT, slot), datatype::raw_handler(TYPE_FLOAT, slot)) << slot;
    EXPECT_NE(datatype::raw_handler(TYPE_PERCENT, A_FORM), datatype::raw_handler(TYPE_FLOAT, A_FORM));
    for (int slot : {A_REFLECT, A_EVAL_PATH, A_AND_T, A_APPEND, A_PICK, A_WRITE})
        EXPECT_FALSE(datatype::supports(TYPE_PERCENT, slot)) << slot;
    EXPECT_STREQ(datatype::name_of(TYPE_PERCENT), "percent!");

    Cell made;
    percent::make_at(&made, 0.5);
    EXPECT_EQ(formed(made), "50%");
}
