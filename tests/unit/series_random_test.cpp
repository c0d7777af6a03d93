// random, reflect and modify on series through the booted environment: seeding from the series'
// bytes, picking one element, shuffling in place (a permutation of the same units), and the
// `owned` field that reflect reads and modify clears or sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/raise.hpp"
#include "datatypes/ownership.hpp"
#include "natives_fixture.hpp"

namespace vyn {
namespace {

using testing_support::NativesTest;

class SeriesRandom : public NativesTest {
protected:
    static std::vector<int32_t> integers_of(const Cell& block) {
        std::vector<int32_t> values;
        Series* b = memory::series_of(block.s2);
        for (const Cell* c = b->cells() + block.s1; c < b->cell_tail(); ++c) values.push_back(c->i32());
        return values;
    }

    static std::string sorted(std::string text) {
        std::sort(text.begin(), text.end());
        return text;
    }
};

TEST_F(SeriesRandom, SeedFromEqualContentsRepeatsTheSequence) {
    EXPECT_EQ(mold_of("random/seed \"x\" a: random 100 random/seed \"x\" a = random 100"), "true");
    EXPECT_EQ(mold_of("random/seed [1 2] a: random 1000000 random/seed copy [1 2] a = random 1000000"), "true");
    EXPECT_EQ(mold_of("random/seed \"abc\" a: random 1000000 random/seed next \"xbc\" b: random 1000000 "
                      "random/seed \"bc\" b = random 1000000"),
              "true");
    EXPECT_EQ(mold_of("type? random/seed \"x\""), "unset!");
}

TEST_F(SeriesRandom, OnlyPicksOneElementOrNone) {
    EXPECT_EQ(mold_of("random/only []"), "none");
    EXPECT_EQ(mold_of("random/only tail [1 2]"), "none");
    EXPECT_EQ(mold_of("random/only \"\""), "none");
    for (int i = 0; i < 20; ++i) {
        std::string picked = mold_of("random/only [1 2 3]");
        EXPECT_TRUE(picked == "1" || picked == "2" || picked == "3") << picked;
        EXPECT_EQ(mold_of("to integer! random/only next \"ab\""), "98");
    }
}

TEST_F(SeriesRandom, ShuffleKeepsTheElementsAndTheHead) {
    std::vector<int32_t> original;
    for (int i = 1; i <= 40; ++i) original.push_back(i);
    std::string source = "b: [";
    for (int32_t v : original) source += std::to_string(v) + " ";
    source += "] random b";
    Rooted shuffled(run(source));
    std::vector<int32_t> values = integers_of(*shuffled);
    EXPECT_NE(values, original);  // 40! orders: staying put is not a real outcome
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, original);

    EXPECT_EQ(mold_of("b: [1 2 3 4 5 6] random next b pick b 1"), "1");
    EXPECT_EQ(mold_of("random []"), "[]");
}

TEST_F(SeriesRandom, ShuffleOfAStringKeepsItsCharacters) {
    const std::string text = "the quick brown fox jumps over the lazy dog";
    std::string shuffled = mold_of("random \"" + text + "\"");
    ASSERT_EQ(shuffled.size(), text.size() + 2);
    std::string inner = shuffled.substr(1, text.size());
    EXPECT_NE(inner, text);
    EXPECT_EQ(sorted(inner), sorted(text));
    EXPECT_EQ(mold_of("s: \"aé€\" random s length? s"), "3");
    EXPECT_EQ(sorted(mold_of("random \"a€b€c\"")), sorted("\"a€b€c\""));
}

TEST_F(SeriesRandom, ShuffleOfAnOwnedSeriesTellsTheOwner) {
    run("log: copy [] d: make object! [f: [1 2 3] on-deep-change*: func [o w t a n i p] [append log a]]");
    run("random d/f");
    EXPECT_EQ(mold_of("log"), "[random randomized]");
}

TEST_F(SeriesRandom, ReflectOwnedGivesTheOwner) {
    EXPECT_EQ(mold_of("reflect [1 2] 'owned"), "none");
    EXPECT_EQ(mold_of("reflect \"ab\" 'owned"), "none");
    run("d: make object! [f: [1 2] on-deep-change*: func [o w t a n i p] []]");
    EXPECT_EQ(mold_of("same? d reflect d/f 'owned"), "true");
    EXPECT_EQ(error_of("reflect [1 2] 'words"), err::not_done);
}

TEST_F(SeriesRandom, ModifyOwnedClearsOrSetsTheOwner) {
    EXPECT_EQ(mold_of("modify [1 2] 'owned none"), "none");
    run("d: make object! [f: [1 [2]] on-deep-change*: func [o w t a n i p] []]");
    EXPECT_EQ(mold_of("inner: d/f/2 modify d/f 'owned none reduce [reflect d/f 'owned reflect inner 'owned]"),
              "[none none]");
    EXPECT_EQ(mold_of("b: \"ab\" modify b 'owned reduce [d 'g] same? d reflect b 'owned"), "true");
    EXPECT_EQ(mold_of("modify b 'other 5"), "5");
    EXPECT_EQ(mold_of("same? d reflect b 'owned"), "true");
}

}  // namespace
}  // namespace vyn
