#include "tests/unit/scalar_fixture.hpp"

using namespace vyn;
using vyn::testing_support::ScalarTest;

namespace {

class Tuple : public ScalarTest {};

}  // namespace

TEST_F(Tuple, ArithmeticSaturatesEveryByte) {
    expect_molds({
        {"200.100.50 + 100", "255.200.150"},
        {"10.20.30 - 50", "0.0.0"},
        {"10.20.30 * 1.5", "15.30.45"},
        {"255.255.255 / 2", "127.127.127"},
        {"1.2.3 + 1.1.1.1", "2.3.4.1"},
        {"1.2.3 - 1.1.1.1", "0.1.2.0"},
        {"10.20.30 * 50%", "5.10.15"},
        {"remainder 10.20.30 7", "3.6.2"},
        {"1.2.3 * 2147483647", "255.255.255"},
        {"1.2.3 - 2147483647", "0.0.0"},
        {"10.20.30 / 1.#INF", "0.0.0"},
        {"or~ 100.100.100 1", "101.101.101"},
        {"and~ 7.7.7 2.3.4", "2.3.4"},
        {"xor~ 1.2.3 -1", "0.0.0"},
        {"2 * 1.2.3", "2.4.6"},
        {"1.5 * 2.4.6", "3.6.9"},
    });
    expect_errors({
        {"1.2.3 / 0", err::zero_divide},
        {"1.2.3 / 1.0.1", err::zero_divide},
        {"5 - 1.2.3", err::not_related},
        {"5.0 / 1.2.3", err::not_related},
        {"1.2.3 + 1x1", err::invalid_type},
    });
}

TEST_F(Tuple, ComparesBytesAMissingOneCountingAsZero) {
    expect_molds({
        {"1.2.3 = 1.2.3.0", "true"},
        {"1.2.3 < 1.2.4", "true"},
        {"1.2.3.1 > 1.2.3", "true"},
        {"1.3.0 > 1.2.255", "true"},
        {"1.2.3 = 1", "false"},
    });
}

TEST_F(Tuple, Conversions) {
    expect_molds({
        {"to tuple! #FF8000", "255.128.0"},
        {"to tuple! #F80", "255.136.0"},
        {"to tuple! #ff800080", "255.128.0.128"},
        {"to tuple! [1 2]", "1.2.0"},
        {"make tuple! [1 2.9 #\"A\" 0]", "1.2.65.0"},
        {"to tuple! \"1.2.3.4\"", "1.2.3.4"},
        {"to tuple! #{0102}", "1.2.0"},
        {"to tuple! #{0102030405060708090A0B0C0D}", "1.2.3.4.5.6.7.8.9.10.11.12"},
        {"to tuple! 1.2.3.4", "1.2.3.4"},
    });
    expect_errors({
        {"to tuple! #GG0000", err::invalid_data},
        {"to tuple! #FF80", err::invalid_data},
        {"to tuple! [256]", err::bad_to_arg},
        {"to tuple! [-1]", err::bad_to_arg},
        {"to tuple! [1 2 3 4 5 6 7 8 9 10 11 12 13]", err::bad_to_arg},
        {"to tuple! [1 a]", err::bad_to_arg},
        {"to tuple! \"abc\"", err::bad_to_arg},
        {"to tuple! 5", err::bad_to_arg},
    });
    EXPECT_EQ(message_of("to tuple! #12345"), "*** Script Error: data not in correct format: #12345");
    EXPECT_EQ(message_of("to tuple! \"256.1.1\""), "*** Syntax Error: (line 1) invalid tuple at 256.1.1");
}

TEST_F(Tuple, PathsPickAndSetBytes) {
    expect_molds({
        {"t: 1.2.3 t/2", "2"},
        {"t: 1.2.3 t/2: 300 t", "1.255.3"},
        {"t: 1.2.3 t/2: -5 t", "1.0.3"},
        {"t: 1.2.3.4.5 t/3: none t", "1.2.0"},
        {"t: 1.2.3.4.5 t/5: none t", "1.2.3.4"},
        {"b: [1.2.3] b/1/2: 9 b", "[1.9.3]"},
        {"pick 1.2.3 3", "3"},
    });
    expect_errors({
        {"t: 1.2.3 t/4", err::out_of_range},
        {"t: 1.2.3 t/0: 1", err::out_of_range},
        {"t: 1.2.3 t/x", err::invalid_type},
        {"t: 1.2.3 t/1: \"a\"", err::invalid_type},
        {"t: 1.2.3.4.5 t/3: none t/4", err::out_of_range},
        {"pick 1.2.3 4", err::out_of_range},
    });
}

TEST_F(Tuple, SeriesLikeActions) {
    expect_molds({
        {"length? 1.2.3.4", "4"},
        {"length? to tuple! [1 2]", "3"},
        {"complement 0.255.1", "255.0.254"},
        {"complement 1.2.3.4", "254.253.252.251"},
        {"reverse 1.2.3.4", "4.3.2.1"},
        {"reverse/part 1.2.3.4 2", "2.1.3.4"},
        {"reverse/part 1.2.3.4 10", "4.3.2.1"},
        {"reverse/skip 1.2.3.4.5.6 2", "5.6.3.4.1.2"},
        {"reverse/skip 1.2.3 3", "1.2.3"},
        {"reverse/part/skip 1.2.3.4.5 4 2", "3.4.1.2.5"},
    });
    expect_errors({
        {"reverse/skip 1.2.3.4 3", err::invalid_refine_arg},
        {"reverse/skip 1.2.3 0", err::out_of_range},
        {"reverse/part 1.2.3 -1", err::out_of_range},
        {"reverse/part 1.2.3 1.5", err::invalid_refine_arg},
    });
}

TEST_F(Tuple, RandomStaysWithinEachByte) {
    std::string first = mold_of("random/seed 1.2.3 random 200.100.0");
    EXPECT_EQ(mold_of("random/seed 1.2.3 random 200.100.0"), first);
    EXPECT_EQ(mold_of("t: random 200.100.0 all [t/1 <= 200 t/2 <= 100 t/3 = 0]"), "true") << first;
    EXPECT_EQ(mold_of("random 0.0.0.0"), "0.0.0.0");
}
