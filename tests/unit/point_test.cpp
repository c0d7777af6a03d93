#include "tests/unit/scalar_fixture.hpp"

using namespace vyn;
using vyn::testing_support::ScalarTest;

namespace {

class Point : public ScalarTest {};

}  // namespace

TEST_F(Point, TextShowsSevenDigitsOfEachCoordinate) {
    expect_molds({
        {"(0.1, 1e20)", "(0.1, 1e20)"},
        {"(1.5, 2)", "(1.5, 2)"},
        {"(1, -2, 3.25)", "(1, -2, 3.25)"},
        {"(1.23456789, 0)", "(1.234568, 0)"},
        {"form (1e-20, 2)", "\"(0, 2)\""},
    });
}

TEST_F(Point, ArithmeticPerCoordinate) {
    expect_molds({
        {"(1, 2) + (0.5, 0.5)", "(1.5, 2.5)"},
        {"(1, 2) * 2", "(2, 4)"},
        {"(1, 2) / 0", "(1.#INF, 1.#INF)"},
        {"(1, 2) - 1x1", "(0, 1)"},
        {"(1, 2) * 50%", "(0.5, 1)"},
        {"remainder (5.5, 3) 2", "(1.5, 1)"},
        {"remainder (1, 2) (0, 1)", "(1.#NaN, 0)"},
        {"(1, 2, 3) + 1", "(2, 3, 4)"},
        {"(1, 2, 3) * (2, 0.5, -1)", "(2, 1, -3)"},
        {"2 * (1, 2)", "(2, 4)"},
        {"1 - (1, 2)", "(0, -1)"},
        {"(0.1, 0) + (0.2, 0)", "(0.3, 0)"},
    });
    expect_errors({
        {"(1, 2, 3) + 1x1", err::invalid_type},
        {"(1, 2) + (1, 2, 3)", err::invalid_type},
        {"(1, 2) + 1.2.3", err::invalid_type},
        {"1.0 - (1, 2)", err::not_related},
    });
}

TEST_F(Point, ComparisonToleratesTheLastBinary32Places) {
    expect_molds({
        {"(1, 2) = (1.0000001, 2)", "true"},
        {"(1, 2) == (1.0000001, 2)", "false"},
        {"(1, 2) = (1.001, 2)", "false"},
        {"(1, 5) < (2, 0)", "true"},
        {"(1, 5) < (1.0000001, 0)", "false"},
        {"(1, 2) = 1x2", "true"},
        {"(1, 2, 3) < (1, 2, 4)", "true"},
        {"(1, 2, 3) = (1, 2)", "false"},
        {"(1, 2, 3) = 1x2", "false"},
        {"(1, 2) = 1", "false"},
    });
    EXPECT_EQ(error_of("(1, 2) < 1"), err::invalid_compare);
}

TEST_F(Point, Conversions) {
    expect_molds({
        {"make point3D! 1x2", "(1, 2, 0)"},
        {"make point3D! (1, 2)", "(1, 2, 0)"},
        {"make point2D! 3", "(3, 3)"},
        {"to point3D! 1.5", "(1.5, 1.5, 1.5)"},
        {"make point2D! [1 2.5 x]", "(1, 2.5)"},
        {"make point3D! [1 2 3]", "(1, 2, 3)"},
        {"to point2D! \"(3, 4)\"", "(3, 4)"},
        {"to point2D! 3x-4", "(3, -4)"},
    });
    expect_errors({
        {"make point3D! [1 2]", err::malconstruct},
        {"make point2D! [1 \"2\"]", err::malconstruct},
        {"to point2D! (1, 2, 3)", err::bad_to_arg},
        {"to point2D! \"1x2\"", err::bad_to_arg},
        {"to point3D! \"(1, 2)\"", err::bad_to_arg},
        {"to point2D! 1.2.3", err::bad_to_arg},
    });
}

TEST_F(Point, UnaryActions) {
    expect_molds({
        {"reverse (1, 2, 3)", "(3, 2, 1)"},
        {"reverse (1, 2)", "(2, 1)"},
        {"negate (0, 2)", "(0, -2)"},
        {"absolute (-1.5, 2, -0.5)", "(1.5, 2, 0.5)"},
        {"round (1.4, 2.5)", "(1, 3)"},
        {"round/floor (-1.5, 1.5)", "(-2, 1)"},
        {"round/to (1.26, 3.14) 0.5", "(1.5, 3)"},
        {"round/to (17, 23) 5x10", "(15, 20)"},
        {"round/to (17, 23, 4.4) (5, 10)", "(15, 20, 4.4)"},
    });
}

TEST_F(Point, PathsAndPickGiveFloats) {
    expect_molds({
        {"p: (1, 2) p/x", "1.0"},
        {"p: (1, 2) p/2", "2.0"},
        {"p: (1, 2) p/y: 5 p", "(1, 5)"},
        {"p: (1, 2, 3) p/z: 0.5 p", "(1, 2, 0.5)"},
        {"b: [(1, 2)] b/1/x: 9 b", "[(9, 2)]"},
        {"pick (1, 2, 3) 'z", "3.0"},
    });
    expect_errors({
        {"p: (1, 2) p/z", err::invalid_path},
        {"p: (1, 2) p/x: \"a\"", err::invalid_type},
        {"pick (1, 2) 3", err::out_of_range},
        {"pick (1, 2) 'z", err::cannot_use},
    });
}

TEST_F(Point, SeededRandomRepeatsAndZeroStaysZero) {
    std::string first = mold_of("random/seed (1, 2) random (0, 100)");
    EXPECT_EQ(mold_of("random/seed (1, 2) random (0, 100)"), first);
    EXPECT_TRUE(mold_of("p: random (0, 100, 0) all [p/1 = 0 p/3 = 0 p/2 >= 0 p/2 < 100]") == "true") << first;
}
