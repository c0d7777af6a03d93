// vector! under the collector: the handlers that make buffers (construction, insertion, vector
// arithmetic, a number on the left, conversion to a block, take and sort) run with collections
// on, at every allocation in the stress build. The console transcript covers the texts and
// errors; these cases check that no element is lost or read from a moved buffer.
#include <string>

#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {
namespace {

using VectorTest = NativesTest;

TEST_F(VectorTest, BuffersMadeWhileCollectingKeepEveryElement) {
    const MoldCase cases[] = {
        {"make vector! [integer! 16 [1 -2 3]]", "make vector! [integer! 16 [1 -2 3]]"},
        {"make vector! [1.5 2.5 3.5]", "make vector! [1.5 2.5 3.5]"},
        {"append/dup make vector! [1] [2 3] 3", "make vector! [1 2 3 2 3 2 3]"},
        {"head insert/part make vector! [9] [1 2 3] 2", "make vector! [1 2 9]"},
        {"head change/part make vector! [1 2 3 4] [7 8 9] 1", "make vector! [7 8 9 2 3 4]"},
        {"(make vector! [1 2 3]) * make vector! [integer! 8 [4 5]]", "make vector! [4 10]"},
        {"100 - next make vector! [1 2 3]", "make vector! [98 97]"},
        {"to block! make vector! [char! 8 [#\"a\" #\"b\"]]", "[#\"a\" #\"b\"]"},
        {"take/part make vector! [float! 32 [0.5 1.5 2.5]] 2", "make vector! [float! 32 [0.5 1.5]]"},
        {"sort/skip make vector! [3 30 1 10 2 20] 2", "make vector! [1 10 2 20 3 30]"},
        {"random/seed 5 length? random make vector! [1 2 3 4 5 6 7 8]", "8"},
    };
    expect_molds(cases);
}

TEST_F(VectorTest, ARefusedValueLeavesTheVectorAsItWas) {
    run("v: make vector! [1 2]");
    const char* refused[] = {"append v [3 4.5]", "insert v #{00}", "change v [5 none]"};
    for (const char* source : refused) EXPECT_EQ(error_of(source), err::invalid_type) << source;
    EXPECT_EQ(mold_of("v"), "make vector! [1 2]");
}

// The owner's handler runs before the write and may change the values being written.
TEST_F(VectorTest, ValuesChangedByTheOwnerBeforeTheWriteAreTakenAsTheyAreThen) {
    run("src: [1 2 3] o: make object! [v: make vector! [0] on-deep-change*: func [o w t a n i p] ["
        "  if a = 'append [clear src] if a = 'insert [append clear src 9.5]]]");
    EXPECT_EQ(mold_of("append o/v src"), "make vector! [0]");
    EXPECT_EQ(error_of("insert o/v src"), err::invalid_type);
    EXPECT_EQ(mold_of("head o/v"), "make vector! [0]");
}

TEST_F(VectorTest, NarrowElementsReadBackSignExtendedExceptChars) {
    const MoldCase cases[] = {
        {"pick make vector! [integer! 8 [200]] 1", "-56"},
        {"pick make vector! [integer! 16 [40000]] 1", "-25536"},
        {"pick make vector! [char! 8 [#\"^(E9)\"]] 1", "#\"é\""},
        {"pick make vector! [char! 16 [#\"^(20AC)\"]] 1", "#\"€\""},
    };
    expect_molds(cases);
}

TEST_F(VectorTest, AnElementCountBeyondTheLargestBufferIsRefused) {
    EXPECT_EQ(error_of("make vector! [float! 64 1000000000]"), err::no_memory);
    EXPECT_EQ(error_of("append/dup make vector! [1] [1 2] 1000000000"), err::no_memory);
}

}  // namespace
}  // namespace vyn::testing_support
