// Reads of a value that callers outside the interpreter use: a float! checked into the integer
// range, and the first value of a text loaded by the lexer.
#include <cmath>
#include <limits>

#include "datatypes/float.hpp"
#include "eval/lexer.hpp"
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class ValueReads : public ObjectTest {};

TEST_F(ValueReads, FloatsConvertWithinTheIntegerRangeOnly) {
    struct Case {
        double value;
        int32_t expected;
    };
    const Case fine[] = {{-0.5, 0}, {1.9, 1}, {-1.9, -1}, {2147483647.0, 2147483647}, {-2147483648.0, INT32_MIN}};
    for (const Case& c : fine) EXPECT_EQ(float_::to_integer_checked(float_cell(c.value)), c.expected) << c.value;
    for (double bad : {2147483647.9, 2147483648.0, -2147483648.5, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        Cell e = raised([&] { float_::to_integer_checked(float_cell(bad)); });
        EXPECT_EQ(code_of(e), err::out_of_range) << bad;
        EXPECT_TRUE(arg(e, 0).is(TYPE_FLOAT));
    }
    EXPECT_EQ(float_::to_integer_checked(integer(-7)), -7);
}

TEST_F(ValueReads, LoadingTakesTheFirstValueOfAText) {
    Cell target = integer(0);
    EXPECT_TRUE(load::from_string(text(""), &target)->is(TYPE_UNSET));
    EXPECT_TRUE(load::from_string(text("  ; only a comment"), &target)->is(TYPE_UNSET));
    EXPECT_EQ(load::from_string(text("12 words"), &target)->i32(), 12);
    EXPECT_EQ(name_of(*load::from_string(text("foo: 1"), &target)), "foo");
    EXPECT_EQ(molded(*load::from_string(text("[a b] c"), &target)), "[a b]");
    EXPECT_EQ(code_of(raised([&] { load::from_string(text("[1 2"), &target); })), err::missing);
}

}  // namespace
