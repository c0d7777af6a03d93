#include "tests/unit/natives_fixture.hpp"

#include <cmath>

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Compare : public NativesTest {
protected:
    // Calls a one-argument native on a value made in C++ (types the reader does not read).
    static Cell call(const char* native, const Cell& value) {
        set_global("v", value);
        return run(std::string(native) + " :v");
    }
    static void define_bitset(const char* name, bool complemented) {
        NodeId bits = memory::alloc_bytes(4);
        if (complemented) memory::set_flags(bits, SERIES_COMPLEMENT);
        set_global(name, make_cell(TYPE_BITSET, 0, bits));
    }
};

}  // namespace

TEST_F(Compare, ComparisonsFollowTheCompareAction) {
    const MoldCase cases[] = {
        {"equal? \"abc\" \"ABC\"", "true"},   {"strict-equal? \"abc\" \"ABC\"", "false"},
        {"equal? 1 1.0", "true"},             {"strict-equal? 1 1.0", "false"},
        {"not-equal? 1 2", "true"},           {"lesser? 1 2", "true"},
        {"greater? 1 2", "false"},            {"lesser-or-equal? 2 2", "true"},
        {"greater-or-equal? 1 2", "false"},   {"equal? 1 \"1\"", "false"},
        {"not-equal? 1 \"1\"", "true"},
    };
    expect_molds(cases);
    EXPECT_EQ(error_of("lesser? 1 \"a\""), err::invalid_compare);
}

TEST_F(Compare, SameQAsksForIdentity) {
    const MoldCase cases[] = {
        {"s: \"ab\" same? s s", "true"},
        {"s: \"ab\" same? s copy s", "false"},
        {"s: \"ab\" same? s next s", "false"},
        {"same? 1.0 1.0", "true"},
        {"same? 0.0 -0.0", "false"},
        {"same? none none", "true"},
        {"same? 1 1.0", "false"},
        {"same? :append :append", "true"},
        {"same? :append :insert", "false"},
    };
    expect_molds(cases);
}

TEST_F(Compare, NotAndTypeQ) {
    EXPECT_EQ(mold_of("not none"), "true");
    EXPECT_EQ(mold_of("not false"), "true");
    EXPECT_EQ(mold_of("not 0"), "false");
    EXPECT_EQ(mold_of("not ()"), "false");
    EXPECT_EQ(mold_of("type? 1"), "integer!");
    EXPECT_EQ(mold_of("type? ()"), "unset!");
    EXPECT_EQ(mold_of("type?/word 1"), "integer!");
    EXPECT_EQ(run("type?/word 1").type(), TYPE_WORD);
}

TEST_F(Compare, SignPredicates) {
    const double nan = std::nan("");
    EXPECT_EQ(mold_of("sign? -0.0"), "0");
    EXPECT_EQ(mold_of("sign? -5"), "-1");
    EXPECT_EQ(mold_of("sign? 2.5"), "1");
    EXPECT_EQ(call("sign?", float_cell(nan)).i32(), 0);
    EXPECT_EQ(mold_of("negative? -1"), "true");
    EXPECT_EQ(mold_of("positive? 0"), "false");
    EXPECT_EQ(call("negative?", float_cell(nan)).s1, 0u);
    EXPECT_EQ(call("positive?", float_cell(nan)).s1, 0u);
    EXPECT_EQ(call("NaN?", float_cell(nan)).s1, 1u);
    EXPECT_EQ(mold_of("NaN? 1"), "false");
}

TEST_F(Compare, ZeroQOnEveryLayout) {
    EXPECT_EQ(mold_of("zero? 0"), "true");
    EXPECT_EQ(mold_of("zero? -0.0"), "true");
    EXPECT_EQ(mold_of("zero? 1"), "false");
    EXPECT_EQ(mold_of("zero? 0x0"), "true");
    EXPECT_EQ(mold_of("zero? 0x1"), "false");
    EXPECT_EQ(mold_of("zero? 0.0.0"), "true");
    EXPECT_EQ(mold_of("zero? 0.0.1"), "false");
    EXPECT_EQ(mold_of("zero? #\"^@\""), "true");
}

TEST_F(Compare, PredicatesRefuseOtherTypesNamingTheCall) {
    EXPECT_EQ(error_of("negative? \"a\""), err::expect_arg);
    EXPECT_EQ(arg_text(0), "negative?");
    EXPECT_EQ(arg(1).s1, uint32_t(TYPE_STRING));
    EXPECT_EQ(arg_text(2), "number");
}

TEST_F(Compare, ComplementQReadsTheBitsetFlag) {
    define_bitset("plain", false);
    define_bitset("inverted", true);
    EXPECT_EQ(mold_of("complement? plain"), "false");
    EXPECT_EQ(mold_of("complement? inverted"), "true");
}
