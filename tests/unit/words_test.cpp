// The runtime words: made once after the symbol table and the global context, each kind in its
// global (symbol ids, global words, context-free refinements, the issue), with the spellings
// and sharing that the runtime's comparisons rely on.
#include <gtest/gtest.h>

#include <string>

#include "core/catalog.hpp"
#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "datatypes/words.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class RuntimeWords : public ::testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory", "symbols", "global-context", "runtime-words"});
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }
    static std::string spelling(const Cell& word) { return std::string(symbol::name(word.s2)); }
    static void expect_global(const Cell& word, const char* name) {
        EXPECT_EQ(word.type(), TYPE_WORD) << name;
        EXPECT_EQ(word.s1, context::global()) << name;
        EXPECT_EQ(spelling(word), name);
        EXPECT_EQ(int32_t(word.s3), context::find_word(context::global(), word.s2, true)) << name;
    }
};

TEST_F(RuntimeWords, ASymbolMadeTwiceHoldsOneId) {
    uint32_t symbols = symbol::count();
    EXPECT_EQ(symbol::make("code"), words::sym::code);
    EXPECT_EQ(symbol::make("stack"), words::sym::stack);
    EXPECT_EQ(symbol::make("any-type!"), words::sym::any_type_type);
    EXPECT_EQ(symbol::make("|"), words::sym::bar);
    EXPECT_EQ(symbol::count(), symbols);
}

TEST_F(RuntimeWords, NotificationWordsKeepTheirListedSpellings) {
    expect_global(words::changed, "changed");
    expect_global(words::put_ed, "put-ed");
    expect_global(words::swaped, "swaped");
    expect_global(words::randomized, "randomized");
    expect_global(words::insert, "insert");  // a parse keyword serves as the action's own word
    expect_global(words::remove, "remove");
    EXPECT_EQ(words::sym::changed, words::changed.s2);
}

TEST_F(RuntimeWords, GlobalWordsShareTheSymbolsOfTheirNames) {
    expect_global(words::end, "end");
    EXPECT_EQ(words::end.s2, words::sym::end);
    expect_global(words::Linux, "Linux");
    EXPECT_EQ(words::Linux.s2, words::sym::Linux);
    expect_global(words::script, "script");
    expect_global(words::throw_, "throw");
    expect_global(words::on_deep_change_star, "on-deep-change*");
    expect_global(words::frame_not_found, "<not-found>");
    expect_global(words::frame_applied, "<applied>");
    EXPECT_NE(words::script.s3, words::syntax.s3);
}

TEST_F(RuntimeWords, ErrorCategoryWordsNameTheCataloguesCategories) {
    const Cell* category_words[] = {
        &words::throw_, &words::note, &words::syntax, &words::script, &words::math,
        &words::access, nullptr,      nullptr,        &words::user,   &words::internal,
    };
    ASSERT_EQ(catalog::category_count(), int(std::size(category_words)));
    for (int i = 0; i < catalog::category_count(); ++i) {
        if (!category_words[i]) continue;  // the reserved categories have no runtime word
        EXPECT_EQ(category_words[i]->s2, symbol::make(catalog::category(i).word)) << i;
    }
}

TEST_F(RuntimeWords, RefinementsHaveNoContextAndTheIssueIsGlobal) {
    for (const Cell* r : {&words::ref::part, &words::ref::skip, &words::ref::extern_, &words::ref::with}) {
        EXPECT_EQ(r->type(), TYPE_REFINEMENT);
        EXPECT_EQ(r->s1, 0u);
    }
    EXPECT_EQ(spelling(words::ref::part), "part");
    EXPECT_EQ(words::ref::skip.s2, words::sym::skip);
    EXPECT_EQ(words::ooo.type(), TYPE_ISSUE);
    EXPECT_EQ(words::ooo.s1, context::global());
    EXPECT_EQ(spelling(words::ooo), "ooo");
}

}  // namespace
