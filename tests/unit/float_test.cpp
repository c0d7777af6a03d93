#include <bit>
#include <cmath>
#include <limits>

#include "core/random.hpp"
#include "tests/unit/number_fixture.hpp"

using namespace vyn;
using testing_numbers::NumberTest;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

class FloatTest : public NumberTest {};

// Kept for the rest of the test.
Cell block_of(std::initializer_list<Cell> values) {
    Cell& b = testing_gc::kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(values.size())));
    for (const Cell& v : values) *memory::alloc_tail_cell(b.s2) = v;
    return b;
}

Cell binary_of(std::initializer_list<uint8_t> bytes) {
    Cell& binary = testing_gc::kept(make_cell(TYPE_BINARY, 0, memory::alloc_bytes(bytes.size())));
    for (uint8_t b : bytes) *memory::alloc_tail_bytes(binary.s2, 1) = b;
    return binary;
}

int compare(const Cell& a, const Cell& b, int op) {
    return datatype::handler<A_COMPARE>(a.type())(&a, &b, op);
}

RoundArgs refined(bool RoundArgs::*flag) {
    RoundArgs how{};
    how.*flag = true;
    return how;
}

RoundArgs to_scale(const Cell* scale) {
    RoundArgs how{};
    how.to = scale;
    return how;
}

bool equal(double a, double b) { return compare(float_cell(a), float_cell(b), 0) == 0; }

}  // namespace

TEST_F(FloatTest, MoldGivesTheShortestRoundTripTextWithAFraction) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0.1, "0.1"},
        {1e16, "10000000000000000.0"},
        {1e17, "1.0e17"},
        {1e20, "1.0e20"},
        {0.0000001, "0.0000001"},
        {0.00000001, "1.0e-8"},
        {-0.0, "-0.0"},
        {1e-17, "1.0e-17"},
        {inf, "1.#INF"},
        {-inf, "-1.#INF"},
        {nan_value, "1.#NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(float_cell(c.value)), c.text) << c.value;
}

TEST_F(FloatTest, FormShowsSixteenDigitsAndTrimsNoise) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0.1 + 0.2, "0.3"},
        {100.0, "100.0"},
        {8.024999999999999, "8.025"},
        {1e20, "1.0e20"},
        {-2.5, "-2.5"},
        {1e-17, "0.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(formed(float_cell(c.value)), c.text) << c.value;

    float_::pretty = false;
    EXPECT_EQ(formed(float_cell(1e-17)), "1.0e-17");
}

TEST_F(FloatTest, DivisionByZeroGivesInfinitiesAndNaNWithoutAnError) {
    EXPECT_EQ(formed(apply<A_DIVIDE>(float_cell(1.0), float_cell(0.0))), "1.#INF");
    EXPECT_EQ(formed(apply<A_DIVIDE>(float_cell(-1.0), float_cell(0.0))), "-1.#INF");
    EXPECT_EQ(formed(apply<A_DIVIDE>(float_cell(1.0), integer_cell(0))), "1.#INF");
    EXPECT_EQ(formed(apply<A_MULTIPLY>(float_cell(1e300), float_cell(1e300))), "1.#INF");

    Cell nan = apply<A_DIVIDE>(float_cell(0.0), float_cell(0.0));
    EXPECT_EQ(formed(nan), "1.#NaN");
    EXPECT_EQ(nan.u64(), 0x7FF8000000000000u);  // the one NaN operations produce
    EXPECT_NE(compare(nan, nan, 0), 0);
}

TEST_F(FloatTest, RemainderKeepsAFiniteDividendAgainstInfinity) {
    struct Case {
        double a, b, expected;
    } cases[] = {
        {5.5, 2.0, 1.5},
        {-5.5, 2.0, -1.5},
        {5.0, inf, 5.0},
        {5.0, -inf, 5.0},
    };
    auto remainder = [](double a, double b) {
        return apply<A_REMAINDER>(float_cell(a), float_cell(b)).f64();
    };
    for (const Case& c : cases) EXPECT_EQ(remainder(c.a, c.b), c.expected) << c.a << " // " << c.b;
    for (auto [a, b] : {std::pair{5.0, 0.0}, {inf, 2.0}, {inf, inf}, {5.0, nan_value}})
        EXPECT_TRUE(std::isnan(remainder(a, b))) << a << " // " << b;
}

TEST_F(FloatTest, ResultTypeFollowsTheOperands) {
    struct Case {
        Cell left, right;
        TypeId type;
        double value;
    } cases[] = {
        {float_cell(1.5), integer_cell(2), TYPE_FLOAT, 3.5},
        {float_cell(1.0), char_cell('a'), TYPE_FLOAT, 98.0},
        {integer_cell(2), float_cell(0.5), TYPE_FLOAT, 2.5},  // integer! hands its mixed operands over
        {float_cell(0.5), percent(0.1), TYPE_FLOAT, 0.6},
        {percent(0.1), float_cell(2.0), TYPE_PERCENT, 2.1},
        {float_cell(1.0), float_cell(60.0, TYPE_TIME), TYPE_TIME, 61.0},
        {percent(0.5), float_cell(60.0, TYPE_TIME), TYPE_TIME, 60.5},
        {float_cell(60.0, TYPE_TIME), float_cell(1.0), TYPE_TIME, 61.0},
    };
    for (const Case& c : cases) {
        Cell left = c.left;
        float_::do_math(&left, &c.right, float_::MathOp::add);
        EXPECT_EQ(left.type(), c.type) << formed(c.left) << " + " << formed(c.right);
        EXPECT_DOUBLE_EQ(left.f64(), c.value);
    }
}

TEST_F(FloatTest, UnsupportedRightOperandsAreInvalidTypes) {
    for (Cell right : {text("1"), none_cell(), make_cell(TYPE_PAIR), make_cell(TYPE_MONEY)}) {
        auto e = raised([&] { apply<A_ADD>(float_cell(1.0), right); });
        EXPECT_EQ(e.code, err::invalid_type);
        ASSERT_EQ(e.args.size(), 1u);
        EXPECT_EQ(e.args[0].s1, right.type());
    }
    Cell time = float_cell(1.0, TYPE_TIME), letter = char_cell('a'), pair = make_cell(TYPE_PAIR);
    for (Cell* right : {&letter, &pair}) {
        auto add_to_time = [&] { float_::do_math(&time, right, float_::MathOp::add); };
        EXPECT_EQ(raised(add_to_time).code, err::invalid_type);
    }
    EXPECT_EQ(raised([&] { apply<A_ADD>(percent(0.1), letter); }).code, err::invalid_type);
}

namespace {

Cell pair_left, pair_right;
Cell* recording_pair_add(Cell* left, const Cell* right) {
    pair_left = *left;
    pair_right = *right;
    return left;
}

}  // namespace

TEST_F(FloatTest, PairsTakeANumberOnlyOnTheirRightSide) {
    const SlotHandler pair_actions[] = {act<A_ADD>(recording_pair_add)};
    datatype::register_type(TYPE_PAIR, TYPE_NONE_ID, "pair!", UNSUPPORTED, pair_actions);

    auto e = raised([] { apply<A_SUBTRACT>(float_cell(1.0), make_cell(TYPE_PAIR, 0, 1, 2)); });
    EXPECT_EQ(e.code, err::not_related);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(testing_words::word_text(e.args[0]), "subtract");
    EXPECT_EQ(e.args[1].s1, TYPE_PAIR);

    apply<A_ADD>(percent(0.5), make_cell(TYPE_PAIR, 0, 1, 2));
    EXPECT_EQ(pair_left.type(), TYPE_PAIR);
    EXPECT_EQ(pair_left.s2, 1u);
    EXPECT_EQ(pair_right.type(), TYPE_FLOAT);  // the number goes over as a float!
    EXPECT_EQ(pair_right.f64(), 0.5);
}

TEST_F(FloatTest, TuplesRefuseSubtractionNamingTheNumbersType) {
    auto e = raised([] { apply<A_DIVIDE>(percent(0.5), make_cell(TYPE_TUPLE)); });
    EXPECT_EQ(e.code, err::not_related);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(testing_words::word_text(e.args[0]), "divide");
    EXPECT_EQ(e.args[1].s1, TYPE_PERCENT);
}

TEST_F(FloatTest, EqualityToleratesTenUnitsInTheLastPlace) {
    auto ulps_above = [](double d, int n) { return std::bit_cast<double>(std::bit_cast<int64_t>(d) + n); };
    EXPECT_TRUE(equal(1.0, 1.0000000000000002));
    EXPECT_TRUE(equal(1e10, ulps_above(1e10, 10)));
    EXPECT_FALSE(equal(1e10, ulps_above(1e10, 11)));
    EXPECT_TRUE(equal(-1e10, ulps_above(-1e10, 10)));
    EXPECT_TRUE(equal(-1e-20, 1e-20));  // closer than the epsilon
    EXPECT_FALSE(equal(1.0, 1.1));
    EXPECT_FALSE(equal(-1.0, 1.0));
    EXPECT_FALSE(equal(nan_value, nan_value));
    EXPECT_TRUE(equal(inf, inf));

    Cell a = float_cell(1.0), b = float_cell(1.0000000000000002);
    EXPECT_NE(compare(a, b, 2), 0);  // strict-equal?
    EXPECT_EQ(compare(float_cell(0.0), float_cell(-0.0), 2), 0);
    EXPECT_NE(compare(float_cell(0.0), float_cell(-0.0), 9), 0);  // same?
    EXPECT_EQ(compare(float_cell(0.5), float_cell(0.5), 9), 0);
}

TEST_F(FloatTest, ComparesWithOtherNumbersButStrictlyOnlyWithItsOwnType) {
    EXPECT_EQ(compare(float_cell(2.0), integer_cell(2), 0), 0);
    EXPECT_EQ(compare(float_cell(0.5), percent(0.5), 0), 0);
    EXPECT_EQ(compare(float_cell(2.0), integer_cell(2), 2), 1);
    EXPECT_EQ(compare(float_cell(0.5), percent(0.5), 12), 1);
    EXPECT_EQ(compare(float_cell(97.0), char_cell('a'), 0), -2);
    EXPECT_EQ(compare(float_cell(1.0), text("1"), 3), -2);
    EXPECT_EQ(compare(float_cell(1.0), integer_cell(2), 3), -1);
    EXPECT_EQ(compare(float_cell(3.0), integer_cell(2), 5), 1);
}

TEST_F(FloatTest, EveryOrderingTestWithANaNIsFalse) {
    Cell nan = float_cell(nan_value), one = float_cell(1.0);
    for (auto [a, b] : {std::pair{nan, one}, {one, nan}, {nan, nan}}) {
        EXPECT_GT(compare(a, b, 3), -1);  // lesser? false: result not below 0
        EXPECT_GT(compare(a, b, 4), 0);   // lesser-or-equal? false
        EXPECT_LT(compare(a, b, 5), 1);   // greater? false
        EXPECT_LT(compare(a, b, 6), 0);   // greater-or-equal? false
        EXPECT_EQ(compare(a, b, 7), 0);   // sorting sees a tie
    }
}

TEST_F(FloatTest, ThirtyTwoBitEquality) {
    EXPECT_TRUE(float_::almost_equal32(1.0f, std::nextafter(1.0f, 2.0f)));
    EXPECT_TRUE(float_::almost_equal32(0.0f, -0.0f));
    EXPECT_FALSE(float_::almost_equal32(1.0f, 1.001f));
    EXPECT_FALSE(float_::almost_equal32(std::nanf(""), std::nanf("")));
    EXPECT_FALSE(float_::almost_equal32(1.0f, -1.0f));
    float inf32 = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(float_::almost_equal32(inf32, std::numeric_limits<float>::max()));
    EXPECT_FALSE(float_::almost_equal32(inf32, -inf32));
}

TEST_F(FloatTest, RoundingRefinements) {
    struct Case {
        double value;
        RoundArgs how;
        double expected;
    } cases[] = {
        {2.5, {}, 3.0},
        {-2.5, {}, -3.0},
        {2.4, {}, 2.0},
        {2.6, {}, 3.0},
        {2.5, refined(&RoundArgs::even), 2.0},
        {3.5, refined(&RoundArgs::even), 4.0},
        {-2.5, refined(&RoundArgs::even), -2.0},
        {2.5, refined(&RoundArgs::half_down), 2.0},
        {-2.5, refined(&RoundArgs::half_ceiling), -2.0},
        {2.5, refined(&RoundArgs::half_ceiling), 3.0},
        {-2.7, refined(&RoundArgs::down), -2.0},
        {-2.2, refined(&RoundArgs::floor), -3.0},
        {-2.7, refined(&RoundArgs::ceiling), -2.0},
        {1e300, {}, 1e300},
    };
    for (const Case& c : cases) {
        Cell r = rounded(float_cell(c.value), c.how);
        EXPECT_EQ(r.type(), TYPE_FLOAT);
        EXPECT_EQ(r.f64(), c.expected) << c.value;
    }
}

TEST_F(FloatTest, RoundingToAScaleTakesTheScalesType) {
    Cell hundredth = float_cell(0.01), two = integer_cell(2), tenth = float_cell(-0.1);
    EXPECT_EQ(formed(rounded(float_cell(3.14159), to_scale(&hundredth))), "3.14");
    EXPECT_EQ(formed(rounded(float_cell(3.16), to_scale(&tenth))), "3.2");

    Cell eight = rounded(float_cell(7.3), to_scale(&two));
    EXPECT_EQ(eight.type(), TYPE_INTEGER);
    EXPECT_EQ(eight.i32(), 8);

    Cell one_percent = percent(0.01);
    Cell p = rounded(float_cell(0.1234), to_scale(&one_percent));
    EXPECT_EQ(p.type(), TYPE_PERCENT);
    EXPECT_EQ(formed(p), "12%");

    // Scales below 2^-1021 are brought into range before inverting.
    Cell tiny = float_cell(1e-310);
    EXPECT_NEAR(rounded(float_cell(2.6e-310), to_scale(&tiny)).f64() / 3e-310, 1.0, 1e-9);
}

TEST_F(FloatTest, RoundingLeavesValuesTheScaleCannotChange) {
    Cell zero = float_cell(0.0), hundredth = float_cell(0.01);
    EXPECT_EQ(rounded(float_cell(2.5), to_scale(&zero)).f64(), 2.5);
    EXPECT_EQ(rounded(float_cell(-1e308), to_scale(&hundredth)).f64(), -1e308);
    EXPECT_EQ(rounded(float_cell(1e308), to_scale(&hundredth)).f64(), 1e308);
    EXPECT_EQ(rounded(float_cell(-inf), {}).f64(), -inf);
}

TEST_F(FloatTest, RoundingErrors) {
    Cell money = make_cell(TYPE_MONEY), word = text("a"), big = float_cell(1e308), one = integer_cell(1);
    auto e = raised([&] { rounded(float_cell(1.5), to_scale(&money)); });
    EXPECT_EQ(e.code, err::not_related);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(testing_words::word_text(e.args[0]), "round");
    EXPECT_EQ(e.args[1].s1, TYPE_MONEY);

    EXPECT_EQ(raised([&] { rounded(float_cell(1.5), to_scale(&word)); }).code, err::not_related);
    EXPECT_EQ(raised([&] { rounded(float_cell(1.7e308), to_scale(&big)); }).code, err::overflow);
    EXPECT_EQ(raised([&] { rounded(float_cell(1e10), to_scale(&one)); }).code, err::type_limit);
}

TEST_F(FloatTest, ConversionsFromNumbersBlocksAndBinaries) {
    struct Case {
        Cell spec;
        double expected;
    } cases[] = {
        {integer_cell(-3), -3.0},
        {char_cell('a'), 97.0},
        {percent(0.25), 0.25},
        {float_cell(90.0, TYPE_TIME), 90.0},
        {block_of({float_cell(1.5), integer_cell(3)}), 1500.0},
        {block_of({integer_cell(25), float_cell(-2.9)}), 0.25},
        {binary_of({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), 1.0},
        {binary_of({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF}), 1.0},
        {binary_of({0x01}), std::bit_cast<double>(uint64_t{1})},  // short: the low-order end
        {binary_of({}), 0.0},
    };
    for (const Case& c : cases) {
        Cell r = converted(TYPE_FLOAT, c.spec);
        EXPECT_EQ(r.type(), TYPE_FLOAT);
        EXPECT_EQ(r.f64(), c.expected) << c.expected;
    }
    Cell made = datatype_cell(TYPE_FLOAT);
    Cell spec = block_of({float_cell(1.5), integer_cell(3)});
    datatype::handler<A_MAKE>(TYPE_FLOAT)(&made, &spec, TYPE_FLOAT);
    EXPECT_EQ(formed(made), "1500.0");
}

TEST_F(FloatTest, TextConversionReadsTheWholeTextWithADecimalComma) {
    struct Case {
        const char* text;
        double expected;
    } cases[] = {{"1,5", 1.5}, {"-2.5e3", -2500.0}, {".5", 0.5}, {"7", 7.0}};
    for (const Case& c : cases) EXPECT_EQ(converted(TYPE_FLOAT, text(c.text)).f64(), c.expected) << c.text;

    for (const char* bad : {"abc", "", "1e", "1.5x", " 1", "1.#INF", "50%"})
        expect_refused_text(TYPE_FLOAT, bad);
}

TEST_F(FloatTest, UnsupportedSourcesCannotConvert) {
    Cell sources[] = {
        none_cell(),
        logic_cell(true),
        make_cell(TYPE_PAIR),
        block_of({integer_cell(1)}),
        block_of({text("1"), integer_cell(2)}),
        block_of({integer_cell(1), integer_cell(2), integer_cell(3)}),
    };
    for (const Cell& s : sources) EXPECT_EQ(raised([&] { converted(TYPE_FLOAT, s); }).code, err::bad_to_arg);
}

TEST_F(FloatTest, NegateAbsoluteAndPower) {
    Cell zero = float_cell(0.0);
    datatype::handler<A_NEGATE>(TYPE_FLOAT)(&zero);
    EXPECT_EQ(formed(zero), "0.0");
    EXPECT_FALSE(std::signbit(zero.f64()));

    Cell minus = float_cell(-2.5);
    datatype::handler<A_ABSOLUTE>(TYPE_FLOAT)(&minus);
    EXPECT_EQ(minus.f64(), 2.5);

    EXPECT_EQ(apply<A_POWER>(float_cell(2.0), integer_cell(10)).f64(), 1024.0);
    EXPECT_EQ(apply<A_POWER>(float_cell(4.0), float_cell(0.5)).f64(), 2.0);
    for (Cell exponent : {text("2"), percent(0.5)}) {
        auto e = raised([&] { apply<A_POWER>(float_cell(2.0), exponent); });
        EXPECT_EQ(e.code, err::expect_arg);
        ASSERT_EQ(e.args.size(), 3u);
        EXPECT_EQ(testing_words::word_text(e.args[0]), "power");
        EXPECT_EQ(e.args[1].s1, exponent.type());
        EXPECT_EQ(testing_words::word_text(e.args[2]), "exponent");
    }
}

TEST_F(FloatTest, ParityOfTheValueTruncatedTowardZero) {
    struct Case {
        double value;
        bool even;
    } cases[] = {{3.9, false}, {-1.5, false}, {2.0, true}, {-0.5, true}, {-2147483648.0, true}};
    for (const Case& c : cases) {
        Cell v = float_cell(c.value);
        EXPECT_EQ(datatype::handler<A_EVEN_Q>(TYPE_FLOAT)(&v), c.even) << c.value;
        EXPECT_EQ(datatype::handler<A_ODD_Q>(TYPE_FLOAT)(&v), !c.even) << c.value;
    }
    for (double beyond : {2147483648.0, 1e20, nan_value, -inf}) {
        Cell v = float_cell(beyond);
        auto e = raised([&] { datatype::handler<A_EVEN_Q>(TYPE_FLOAT)(&v); });
        EXPECT_EQ(e.code, err::type_limit) << beyond;
        ASSERT_EQ(e.args.size(), 1u);
        EXPECT_EQ(e.args[0].s1, TYPE_INTEGER);
    }
}

TEST_F(FloatTest, RandomScalesTheDrawsByTheValue) {
    random::seed(7);
    int32_t draw = random::next();
    random::seed(7);
    Cell v = float_cell(10.0);
    datatype::handler<A_RANDOM>(TYPE_FLOAT)(&v, false, false, false);
    EXPECT_DOUBLE_EQ(v.f64(), draw / 2147483647.0 * 10.0);

    Cell seed = float_cell(1.5);
    datatype::handler<A_RANDOM>(TYPE_FLOAT)(&seed, true, false, false);
    EXPECT_EQ(seed.type(), TYPE_UNSET);
    int32_t after_seed = random::next();
    random::seed(int32_t(0x3FF80000));  // the two halves of 1.5 XORed
    EXPECT_EQ(after_seed, random::next());
}

TEST_F(FloatTest, OnlyNumberActionsAreSupported) {
    for (int slot : {A_REFLECT, A_EVAL_PATH, A_SET_PATH, A_AND_T, A_COMPLEMENT, A_APPEND, A_PICK, A_WRITE})
        EXPECT_FALSE(datatype::supports(TYPE_FLOAT, slot)) << slot;
    EXPECT_STREQ(datatype::name_of(TYPE_FLOAT), "float!");
}
