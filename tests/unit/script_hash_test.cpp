// hash!: construction, molding and copying, the set operations' hash! results, and the index
// kept current by every action that changes cells. The index check asks the table, for each
// cell, for every cell it holds as equal, and compares that with a scan of the block.
#include <set>
#include <string>

#include "core/hashtable.hpp"
#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {
namespace {

class HashTest : public NativesTest {
protected:
    static Cell cell_of(const Cell& h, uint32_t i) { return memory::series_of(h.s2)->cells()[i]; }
    static uint32_t length_of(const Cell& h) { return memory::series_of(h.s2)->length(); }

    static std::set<int32_t> indexed_matches(const Cell& h, const Cell& key) {
        std::set<int32_t> found;
        hashtable::MatchCursor cursor;
        for (int32_t i; (i = hashtable::next_match(h.s3, key, cursor)) >= 0;) found.insert(i);
        return found;
    }

    static std::set<int32_t> scanned_matches(const Cell& h, const Cell& key) {
        std::set<int32_t> found;
        for (uint32_t i = 0; i < length_of(h); ++i) {
            Cell c = cell_of(h, i);
            if (c.type() == key.type() && hashtable::keys_equal(c, key, hashtable::Mode::equal)) found.insert(int32_t(i));
        }
        return found;
    }

    // The hash the source ends with indexes exactly its cells, and none of the absent values.
    static void expect_indexed(std::string_view source, std::initializer_list<const char*> absent = {}) {
        Cell h = run(source);
        ASSERT_EQ(h.type(), TYPE_HASH) << source;
        for (uint32_t i = 0; i < length_of(h); ++i) {
            Cell key = cell_of(h, i);
            EXPECT_EQ(indexed_matches(h, key), scanned_matches(h, key)) << source << " at " << i;
        }
        for (const char* word : absent) {
            Cell key = *block::vs_abs_at(&*Rooted(load(word)), 0);
            EXPECT_TRUE(indexed_matches(h, key).empty()) << source << " still indexes " << word;
        }
    }
};

TEST_F(HashTest, MakeToMoldAndCopy) {
    const MoldCase cases[] = {
        {"make hash! [a b]", "make hash! [a b]"},
        {"make hash! 0", "make hash! []"},
        {"make hash! -5", "make hash! []"},
        {"make hash! next [a b]", "make hash! [b]"},
        {"to hash! [a b]", "make hash! [a b]"},
        {"to hash! 1", "make hash! [1]"},
        {"mold/only make hash! [a b]", R"("a b")"},
        {"mold/part make hash! [a b] 12", R"("make hash! [")"},
        {"reduce [make hash! [1]]", "[make hash! [1]]"},
        {"h: make hash! [a] c: copy h append c 'b reduce [h c]", "[make hash! [a] make hash! [a b]]"},
        {"copy/part make hash! [a b c] 2", "make hash! [a b]"},
        {"copy next make hash! [a b c]", "make hash! [b c]"},
        {"h: make hash! [[1]] c: copy/deep h append h/1 2 c", "make hash! [[1]]"},
        {"make hash! make hash! [x]", "make hash! [x]"},
        {"union [a b] make hash! [b c]", "make hash! [a b c]"},
        {"intersect make hash! [a b c] [c b]", "make hash! [b c]"},
        {"unique/skip [1 2 1 2 3 4] 2", "[1 2 3 4]"},
        {"h: make hash! [a b] h/2", "b"},
        {"head? next make hash! [a]", "false"},
    };
    expect_molds(cases);
}

TEST_F(HashTest, CopiesAndSetResultsAreIndexed) {
    expect_indexed("copy make hash! [a b a]");
    expect_indexed("copy/part next make hash! [a b a c] 2", {"c"});
    expect_indexed("copy/deep make hash! [a [b] a]");
    expect_indexed("union [a b] make hash! [b c]");
    expect_indexed("take/part make hash! [a b c] 2", {"c"});
}

TEST_F(HashTest, EveryChangeKeepsTheIndexCurrent) {
    const struct {
        const char* change;
        std::initializer_list<const char*> absent;
    } cases[] = {
        {"append h [d a]", {}},
        {"append/dup h 'k 40", {}},
        {"insert h 'z", {}},
        {"insert next h [x y x]", {}},
        {"remove h", {}},
        {"remove/part next h 2", {"b", "c"}},
        {"change next h 'q", {"b"}},
        {"change/part h [1 2 3] 3", {"b", "c"}},
        {"clear at h 2", {"b", "c"}},
        {"take h", {}},
        {"take/last h", {}},
        {"take/part next h 2", {"b", "c"}},
        {"poke h 2 'w", {"b"}},
        {"h/3: 'v", {"c"}},
        {"h/2: 'b", {}},
        {"reverse next h", {}},
        {"swap h next next h", {}},
        {"swap next h make hash! [s]", {"b"}},
        {"move h tail h", {}},
        {"move/part next h h 2", {}},
        {"trim append h none", {}},
    };
    for (const auto& c : cases) {
        std::string source = std::string("h: make hash! [a b c a] ") + c.change + " h";
        expect_indexed(source, c.absent);
    }
}

TEST_F(HashTest, ChangesThatSearchFirstKeepTheIndexCurrent) {
    if (!datatype::supports(TYPE_BLOCK, A_FIND)) GTEST_SKIP() << "block! has no find yet";
    expect_indexed("h: make hash! [a b c a] put h 'b 9 h", {"c"});
    expect_indexed("h: make hash! [a b c a] remove/key h 'b h", {"b", "c"});
    EXPECT_EQ(mold_of("h: make hash! [c a b] sort h select h 'a"), "b");
    EXPECT_EQ(mold_of("h: make hash! [a 1 b 2] h/b"), "2");
    EXPECT_EQ(mold_of("h: make hash! [a b c] insert h 'z remove next h index? find h 'c"), "3");
}

TEST_F(HashTest, ChangesToATargetHashKeepItsIndex) {
    expect_indexed("t: make hash! [t u] move/part [a b] t 2 t");
    expect_indexed("t: make hash! [t u] swap [x] t t", {"t"});
}

}  // namespace
}  // namespace vyn::testing_support
