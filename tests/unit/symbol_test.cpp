// Symbols: interning by exact name, ASCII case variants tied to the first spelling by an alias
// (also across growth of the table), lookups in any case, non-ASCII letters kept apart, and the
// cached string of a symbol.
#include <gtest/gtest.h>

#include <string>

#include "core/context.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class Symbol : public ::testing::Test {
protected:
    void SetUp() override {
        // The global context is a root the collector marks.
        testing_runtime::start({"memory", "symbols", "global-context"});
        symbol::init_table();  // the tests count symbols from an empty table
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }
};

}  // namespace

TEST_F(Symbol, CaseVariantsAreAliasesOfTheFirstSpelling) {
    uint32_t abc = symbol::make("abc");
    uint32_t upper = symbol::make("ABC");
    uint32_t mixed = symbol::make("Abc");
    EXPECT_EQ(abc, 1u);
    EXPECT_EQ(upper, 2u);
    EXPECT_EQ(mixed, 3u);
    EXPECT_EQ(symbol::alias_id(abc), -1);
    EXPECT_EQ(symbol::alias_id(upper), int32_t(abc));
    EXPECT_EQ(symbol::alias_id(mixed), int32_t(abc));
    for (uint32_t id : {abc, upper, mixed}) EXPECT_EQ(symbol::resolve(id), abc);
    EXPECT_EQ(symbol::make("ABC"), upper);
    EXPECT_EQ(symbol::make("Abc"), mixed);
    EXPECT_EQ(symbol::name(upper), "ABC");
    EXPECT_EQ(symbol::count(), 3u);
}

TEST_F(Symbol, AnyCaseFindsAVariantWithoutAddingOne) {
    uint32_t abc = symbol::make("abc");
    EXPECT_EQ(symbol::make_any_case("ABC"), abc);
    EXPECT_EQ(symbol::count(), 1u);
    uint32_t fresh = symbol::make_any_case("Xyz");
    EXPECT_EQ(symbol::alias_id(fresh), -1);
    EXPECT_EQ(symbol::count(), 2u);
}

TEST_F(Symbol, OnlyAsciiLettersFold) {
    uint32_t upper = symbol::make("caf\xC3\x89");
    uint32_t lower = symbol::make("caf\xC3\xA9");
    EXPECT_NE(upper, lower);
    EXPECT_EQ(symbol::alias_id(upper), -1);
    EXPECT_EQ(symbol::alias_id(lower), -1);
}

TEST_F(Symbol, AnyByteSequenceIsAName) {
    uint32_t empty = symbol::make("");
    uint32_t bad = symbol::make("\xFF\xC3");
    EXPECT_EQ(symbol::make(""), empty);
    EXPECT_EQ(symbol::name(empty), "");
    EXPECT_EQ(symbol::name(empty).data()[0], '\0');
    Cell cell = symbol::get(bad);
    EXPECT_EQ(unicode::text_of(unicode::string_cell(cell.s2)).at(0), U'\uFFFD');
}

TEST_F(Symbol, CachedStringHoldsTheDecodedName) {
    uint32_t id = symbol::make("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(symbol::cell(id).s2, 0u);
    Cell cell = symbol::get(id);
    ASSERT_NE(cell.s2, 0u);
    EXPECT_EQ(symbol::get(id).s2, cell.s2);
    unicode::Text t = unicode::text_of(unicode::string_cell(cell.s2));
    EXPECT_EQ(t.unit, 1);
    EXPECT_EQ(t.count, 3u);
    EXPECT_EQ(t.at(0), 0xE9u);

    Cell string = unicode::string_cell(cell.s2);
    EXPECT_EQ(symbol::make_from_string(string), id);
}

TEST_F(Symbol, AliasesStayCanonicalAcrossGrowth) {
    const int names = 15000;
    for (int i = 0; i < names; ++i) symbol::make("name-" + std::to_string(i));
    EXPECT_GT(hashtable::record(symbol::table()).bucket_count, 16384);
    for (int i = 0; i < names; ++i) {
        std::string upper = "NAME-" + std::to_string(i);
        uint32_t id = symbol::make(upper);
        ASSERT_EQ(symbol::alias_id(id), i + 1) << upper;
        ASSERT_EQ(symbol::make("name-" + std::to_string(i)), uint32_t(i + 1));
        ASSERT_EQ(symbol::make("Name-" + std::to_string(i)) > uint32_t(names), true);
    }
    for (uint32_t id = 1; id <= symbol::count(); ++id) ASSERT_LE(symbol::alias_id(symbol::resolve(id)), 0);
}
