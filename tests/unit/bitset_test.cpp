// bitset! through the booted environment: making from specs, membership, growth, the bitwise
// and set operations (the past-tail membership included), comparison, molding and owner
// notification. Binaries are built here, as the loader has no binary literal yet.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "core/type_registry.hpp"
#include "natives_fixture.hpp"

namespace vyn {
namespace {

using testing_support::NativesTest;

class Bitset : public NativesTest {
protected:
    static void define_binary(const char* name, std::initializer_list<uint8_t> bytes) {
        NodeId node = memory::alloc_bytes(bytes.size());
        Series* s = memory::series_of(node);
        std::memcpy(s->data(), bytes.begin(), bytes.size());
        s->tail = uint32_t(bytes.size());
        set_global(name, make_cell(TYPE_BINARY, 0, node));
    }
};

TEST_F(Bitset, MakeAndToReadEverySpecKind) {
    const MoldCase cases[] = {
        {"make bitset! [#\"a\" - #\"c\"]", "make bitset! #{00000000000000000000000070}"},
        {"make bitset! [not \"a\"]", "make bitset! [not #{00000000000000000000000040}]"},
        {"make bitset! 10", "make bitset! #{0000}"},
        {"make bitset! 9.9", "make bitset! #{0000}"},
        {"make bitset! 0", "make bitset! #{}"},
        {"make bitset! []", "make bitset! #{00}"},
        {"make bitset! [not]", "make bitset! [not #{00}]"},
        {"make bitset! [0 9 2 - 4]", "make bitset! #{B840}"},
        {"make bitset! [[1] \"\" [2 - 3] 4.5]", "make bitset! #{78}"},
        {"make bitset! next [0 1]", "make bitset! #{40}"},
        {"make bitset! \"ba\"", "make bitset! #{00000000000000000000000060}"},
        {"make bitset! make bitset! [1]", "make bitset! #{40}"},
        {"to bitset! [not 7 - 9]", "make bitset! [not #{01C0}]"},
        {"to bitset! \"\"", "make bitset! #{00}"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, ABinaryIsAReadyBitArray) {
    define_binary("bin", {0x40, 0x01});
    const MoldCase cases[] = {
        {"make bitset! bin", "make bitset! #{4001}"},
        {"make bitset! reduce ['not bin]", "make bitset! [not #{4001}]"},
        {"make bitset! reduce [bin 20]", "make bitset! #{400108}"},
        {"make bitset! reduce ['not 20 bin]", "make bitset! [not #{400108}]"},
    };
    expect_molds(cases);
    EXPECT_EQ(error_of("append make bitset! 8 bin"), err::invalid_arg);
}

TEST_F(Bitset, PickAndFindTestEveryValueOfTheSpec) {
    EXPECT_EQ(mold_of("b: make bitset! [not \"a\"] reduce [pick b \"b\" pick b 100000 pick b \"a\"]"),
              "[true true false]");
    run("b: make bitset! \"abc\"");
    const MoldCase cases[] = {
        {"pick b \"cab\"", "true"},
        {"pick b \"abd\"", "false"},
        {"pick b [#\"a\" - #\"c\" 98]", "true"},
        {"pick b [#\"a\" - #\"d\"]", "false"},
        {"pick b -1", "false"},
        {"pick b 2147483647", "false"},
        {"pick b \"\"", "true"},
        {"find b #\"a\"", "true"},
        {"find b \"az\"", "none"},
        {"b/97", "true"},
        {"b/#\"d\"", "false"},
    };
    expect_molds(cases);
}

// A code point past the stored bits does not decide for the rest of the string.
TEST_F(Bitset, StringsBeyondTheStoredBitsAreTestedAndClearedWhole) {
    const MoldCase cases[] = {
        {"b: make bitset! [not \"b\"] pick b \"zb\"", "false"},
        {"b: make bitset! [not \"b\"] pick b \"za\"", "true"},
        {"b: make bitset! \"ab\" remove/key b \"za\" reduce [pick b \"a\" pick b \"b\"]", "[false true]"},
        {"b: make bitset! [not \"b\"] remove/key b \"za\" reduce [pick b \"a\" pick b \"z\" pick b \"y\"]",
         "[false false true]"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, WritesGrowOnlyWhenTheyChangeMembershipPastTheTail) {
    const MoldCase cases[] = {
        {"length? make bitset! 10", "16"},
        {"b: make bitset! 0 b/1000: true length? b", "1008"},
        {"b: make bitset! 0 b/1000: true pick b 1000", "true"},
        {"b: complement make bitset! 0 b/1000: true length? b", "0"},
        {"b: complement make bitset! 0 b/1000: false reduce [length? b pick b 1000 pick b 999]", "[1008 false true]"},
        {"b: make bitset! 0 poke b 20 0 length? b", "0"},
        {"b: make bitset! 8 append b [3 - 10] b", "make bitset! #{1FE0}"},
        {"b: make bitset! 8 insert b \"\" b", "make bitset! #{00}"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, PokeRemovesForFalsyValuesAndAnswersTheValue) {
    for (const char* value : {"0", "0.0", "none", "false"}) {
        std::string source = std::string("b: make bitset! [5] reduce [poke b 5 ") + value + " pick b 5]";
        EXPECT_EQ(mold_of(source), std::string("[") + value + " false]") << value;
    }
    EXPECT_EQ(mold_of("b: make bitset! 8 reduce [poke b [1 - 2] 'yes b]"), "[yes make bitset! #{60}]");
}

TEST_F(Bitset, BadSpecsRaiseTheirErrors) {
    const struct {
        const char* source;
        int code;
    } cases[] = {
        {"make bitset! [10 - 5]", err::past_end},
        {"make bitset! [1 -]", err::past_end},
        {"make bitset! [10 - #\"a\"]", err::invalid_arg},
        {"make bitset! [1.0 - 2.0]", err::bad_make_arg},
        {"make bitset! -1", err::out_of_range},
        {"make bitset! [-1]", err::out_of_range},
        {"make bitset! 'foo", err::bad_make_arg},
        {"to bitset! 10", err::bad_to_arg},
        {"to bitset! [foo]", err::bad_to_arg},
        {"append make bitset! 8 'foo", err::invalid_arg},
        {"pick make bitset! 8 'foo", err::invalid_arg},
        {"remove make bitset! 8", err::missing_arg},
        {"b: make bitset! 8 b/(\"a\")", err::invalid_type},
        {"and~ make bitset! 8 1", err::invalid_type},
        {"reflect make bitset! 8 'words", err::not_done},
        {"b: copy [1] append/only b b make bitset! b", err::too_deep},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.source), c.code) << c.source;
    EXPECT_EQ(mold_of("e: try [make bitset! [10 - 5]] e/id"), "past-end");
    EXPECT_EQ(mold_of("e: try [make bitset! [10 - #\"a\"]] e/id"), "invalid-arg");
}

// Lengths in bits stay integer! values: the highest bit is 2147483639.
TEST_F(Bitset, HugeSizesWorkOrRaiseOutOfRange) {
    const struct {
        const char* source;
        int code;
    } refused[] = {
        {"make bitset! 2147483647", err::out_of_range},
        {"make bitset! 1e300", err::out_of_range},
        {"make bitset! [2147483640]", err::out_of_range},
        {"b: make bitset! 0 b/2147483647: true", err::out_of_range},
        {"b: complement make bitset! 0 b/2147483647: false", err::out_of_range},
    };
    for (const auto& c : refused) EXPECT_EQ(error_of(c.source), c.code) << c.source;
    const MoldCase cases[] = {
        {"length? make bitset! 2000000000", "2000000000"},
        {"b: complement make bitset! 0 b/2147483647: true reduce [length? b pick b 2147483647]", "[0 true]"},
        {"b: make bitset! 0 b/2147483639: true reduce [length? b pick b 2147483639 pick b 2147483638]",
         "[2147483640 true false]"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, ComplementNegateAndClearKeepEveryMembershipConsistent) {
    const MoldCase cases[] = {
        {"complement? complement make bitset! \"a\"", "true"},
        {"complement make bitset! [1]", "make bitset! [not #{40}]"},
        {"negate make bitset! [not 1]", "make bitset! #{40}"},
        {"b: make bitset! [1] c: complement b reduce [pick b 1 pick c 1 pick c 2 pick c 99]", "[true false true true]"},
        {"b: make bitset! [not 1] clear b reduce [complement? b length? b pick b 1 b]",
         "[true 8 true make bitset! [not #{00}]]"},
        {"clear make bitset! [1 9]", "make bitset! #{0000}"},
        {"b: make bitset! [1] c: copy b append c 2 reduce [pick b 2 pick c 2]", "[false true]"},
        {"complement? copy complement make bitset! 8", "true"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, BitwiseAndSetOperationsHoldPastBothTails) {
    const MoldCase cases[] = {
        {"and~ make bitset! 16 make bitset! 32", "make bitset! #{0000}"},
        {"intersect make bitset! 16 make bitset! 32", "make bitset! #{00000000}"},
        {"or~ make bitset! [1] make bitset! [9 17]", "make bitset! #{404040}"},
        {"xor~ make bitset! [1 2] make bitset! [2 9]", "make bitset! #{4040}"},
        {"difference make bitset! [1 2] make bitset! [2 3]", "make bitset! #{50}"},
        {"exclude make bitset! [1 2 9] make bitset! [2]", "make bitset! #{4040}"},
        {"exclude make bitset! [1] make bitset! [2 9]", "make bitset! #{4000}"},
        // A complemented operand covers the other's extra bytes and the bits past both tails.
        {"u: union make bitset! [not \"a\"] make bitset! [not \"b\"] reduce [pick u \"a\" pick u 100000]",
         "[true true]"},
        {"x: exclude make bitset! [1 2] complement make bitset! [2] reduce [x pick x 100]",
         "[make bitset! #{20} false]"},
        {"intersect complement make bitset! 8 make bitset! [20]", "make bitset! #{000008}"},
        {"and~ complement make bitset! 8 make bitset! [20]", "make bitset! #{000008}"},
        {"xor~ complement make bitset! [1] make bitset! [1 2]", "make bitset! [not #{20}]"},
        {"or~ complement make bitset! [1] make bitset! [1 20]", "make bitset! [not #{000000}]"},
    };
    expect_molds(cases);
    EXPECT_EQ(error_of("union make bitset! 8 [1]"), err::expect_val);
}

TEST_F(Bitset, ComparisonGoesByLengthThenFlagThenBytesFromTheLast) {
    const MoldCase cases[] = {
        {"(make bitset! [1]) = make bitset! [1]", "true"},
        {"(make bitset! 8) = make bitset! 16", "false"},
        {"(make bitset! 8) < make bitset! 16", "true"},
        {"(make bitset! [1]) > make bitset! [2]", "true"},
        {"(make bitset! [1 8]) < make bitset! [0 9]", "false"},
        {"(make bitset! 0) = complement make bitset! 0", "false"},
        {"(make bitset! [1]) < complement make bitset! [1]", "true"},
        {"b: make bitset! 8 reduce [strict-equal? b copy b same? b copy b same? b b]", "[true false true]"},
        {"(make bitset! 8) = 8", "false"},
    };
    expect_molds(cases);
}

TEST_F(Bitset, MoldUnderAPartLimitStopsTheDigitsAndDoesNotClose) {
    Rooted bits(run("complement make bitset! 64"));
    Rooted out(string::make(16));
    Cell part = integer_cell(23);
    auto mold_bitset = datatype::handler<A_MOLD>(TYPE_BITSET);
    int32_t left = mold_bitset(bits.get(), out.get(), MoldArgs{}, &part, 23);
    EXPECT_EQ(string::to_utf8(out.get()), "make bitset! [not #{0000");
    EXPECT_EQ(left, -1);
    EXPECT_EQ(mold_of("form make bitset! [not 0]"), "\"make bitset! [not #{80}]\"");
}

TEST_F(Bitset, OwnersHearEachChangeAndReflectNamesTheOwner) {
    const struct {
        const char* action;
        const char* told;
    } cases[] = {
        {"append d/f 1", "[insert inserted]"},
        {"insert d/f 1", "[insert inserted]"},
        {"poke d/f 1 true", "[poke poked]"},
        {"d/f/3: true", "[poke poked]"},
        {"clear d/f", "[clear cleared]"},
        {"remove/key d/f 1", "[remove removed]"},
        {"pick d/f 1 copy d/f", "[]"},
    };
    for (const auto& c : cases) {
        run("log: copy [] d: make object! [f: make bitset! 8 on-deep-change*: func [o w t a n i p] [append log a]]");
        run(c.action);
        EXPECT_EQ(mold_of("log"), c.told) << c.action;
    }
    EXPECT_EQ(mold_of("same? d reflect d/f 'owned"), "true");
    EXPECT_EQ(mold_of("reflect make bitset! 8 'owned"), "none");
}

}  // namespace
}  // namespace vyn
