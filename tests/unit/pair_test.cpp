#include "tests/unit/scalar_fixture.hpp"

using namespace vyn;
using vyn::testing_support::ScalarTest;

namespace {

class Pair : public ScalarTest {};

}  // namespace

TEST_F(Pair, ArithmeticStaysIntegerWhileExact) {
    expect_molds({
        {"10x20 + 5", "15x25"},
        {"10x20 - 1x30", "9x-10"},
        {"10x20 / 5", "2x4"},
        {"10x20 * 3x2", "30x40"},
        {"remainder 10x20 3", "1x2"},
        {"10x20 + 1.9", "11x21"},
        {"10x20 - -1.9", "11x21"},
        {"and~ 12x10 6x3", "4x2"},
        {"or~ 12x10 1", "13x11"},
        {"xor~ 12x10 12x10", "0x0"},
        {"2 * 3x4", "6x8"},
        {"1 - 1x1", "0x0"},
    });
}

TEST_F(Pair, FractionsAndOverflowGivePoints) {
    expect_molds({
        {"10x20 * 1.5", "(15, 30)"},
        {"10x20 * 50%", "(5, 10)"},
        {"10x20 / 4", "(2.5, 5)"},
        {"10x20 / 0.0", "(1.#INF, 1.#INF)"},
        {"2147483647x0 + 1x0", "(2.147484e9, 0)"},
        {"-2147483648x1 - 1", "(-2.147484e9, 0)"},
        {"65536x1 * 65536", "(4.294967e9, 65536)"},
        {"-2147483648x4 / -1", "(2.147484e9, -4)"},
        {"1x2 + (0.5, 0.25)", "(1.5, 2.25)"},
        {"(1, 2) - 1x1", "(0, 1)"},
    });
}

TEST_F(Pair, ArithmeticRefusals) {
    expect_errors({
        {"10x20 / 0", err::zero_divide},
        {"remainder 10x20 0x1", err::zero_divide},
        {"10x20 + 1.#INF", err::invalid_arg},
        {"10x20 * 1.#NaN", err::invalid_arg},
        {"10x20 + 1e10", err::type_limit},
        {"10x20 + 1.2.3", err::invalid_type},
        {"10x20 + (1, 2, 3)", err::invalid_type},
        {"1.0 / 1x1", err::not_related},
    });
    EXPECT_EQ(message_of("1.0 - 1x1"), "*** Script Error: incompatible argument for subtract of pair!");
}

TEST_F(Pair, ComparesByXThenYAndNeverEqualsANumber) {
    expect_molds({
        {"1x5 < 2x0", "true"},
        {"2x0 > 1x5", "true"},
        {"1x5 < 1x6", "true"},
        {"1x2 = 1x2", "true"},
        {"1x2 = 2x1", "false"},
        {"1x2 = 1", "false"},
        {"1x2 <> 1", "true"},
        {"1x2 = (1, 2)", "true"},
        {"2x2 > (1.5, 9)", "true"},
    });
    EXPECT_EQ(message_of("1x2 < 1"), "*** Script Error: cannot compare 1x2 with 1");
}

TEST_F(Pair, UnaryActions) {
    expect_molds({
        {"reverse 1x2", "2x1"},
        {"negate 3x-4", "-3x4"},
        {"absolute -3x4", "3x4"},
        {"round/to 17x23 10", "20x20"},
        {"round/to 17x23 5x10", "15x20"},
        {"round/to 17x23 2.5", "17x22"},
        {"round/down/to -17x23 10", "-10x20"},
    });
    EXPECT_EQ(error_of("negate -2147483648x0"), err::overflow);
}

TEST_F(Pair, Conversions) {
    expect_molds({
        {"make pair! 5", "5x5"},
        {"to pair! 2.7", "2x2"},
        {"to pair! -2.7", "-2x-2"},
        {"to pair! (1.5, -2.5)", "1x-2"},
        {"make pair! [3 4.9 extra]", "3x4"},
        {"to pair! \"7x8\"", "7x8"},
        {"to pair! 7x8", "7x8"},
    });
    expect_errors({
        {"to pair! \"abc\"", err::bad_to_arg},
        {"to pair! \"1.2.3\"", err::bad_to_arg},
        {"to pair! 1.2.3", err::bad_to_arg},
        {"make pair! [1]", err::malconstruct},
        {"make pair! [1 a]", err::malconstruct},
        {"to pair! 1e10", err::type_limit},
        {"to pair! (1, 2) / 0", err::invalid_arg},
    });
}

TEST_F(Pair, PathsAndPickReadAndSetComponents) {
    expect_molds({
        {"p: 3x4 p/x", "3"},
        {"p: 3x4 p/2", "4"},
        {"p: 1x2 p/y: 5 p", "1x5"},
        {"p: 1x2 p/1: 7 p/y: 8 p", "7x8"},
        {"p: 1x2 p/x: 9", "9"},
        {"b: [0 1x2] b/2/x: 7 b", "[0 7x2]"},
        {"pick 3x4 1", "3"},
        {"pick 3x4 'y", "4"},
    });
    expect_errors({
        {"p: 1x2 p/3", err::invalid_path},
        {"p: 1x2 p/x: 1.5", err::invalid_type},
        {"pick 3x4 3", err::out_of_range},
        {"pick 3x4 'z", err::cannot_use},
    });
    EXPECT_EQ(error_of("p: 1x2 p/z"), err::invalid_path);
    EXPECT_EQ(arg_text(1), "z");
}

TEST_F(Pair, ASetInsideAnObjectReachesItsOwner) {
    EXPECT_EQ(mold_of("seen: none o: make object! [p: 1x2 on-change*: func [word old new] [seen: reduce [old new]]] "
                      "o/p/x: 5 reduce [o/p seen]"),
              "[5x2 [1x2 5x2]]");
}

TEST_F(Pair, ZeroQForEveryCoordinateType) {
    expect_molds({
        {"zero? 0x0", "true"},
        {"zero? 0x1", "false"},
        {"zero? 0.0.0", "true"},
        {"zero? 0.0.1", "false"},
        {"zero? (0, 0)", "true"},
        {"zero? (0, 0, 1)", "false"},
    });
}
