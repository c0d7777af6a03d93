// `split` cuts its pieces with a routine: every argument form gives the pieces, of the series'
// own type, that the parse definition collects. In the stress build every allocation collects,
// so a piece or the block not held across a copy shows up as a wrong piece.
#include <string>

#include "tests/unit/collection_stress.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Split : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        run("by-parse: func [series dlm /local s num] ["
            "    num: either string? dlm [length? dlm] [1]"
            "    parse series [collect [any [copy s to dlm keep (s) num skip] copy s to end keep (s)]]"
            "]"
            "typed: func [pieces] [collect [foreach p pieces [keep type? p keep p]]]");
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override {
        testing_gc::stop_collecting();
        NativesTest::TearDown();
    }
};

TEST_F(Split, PiecesAreTheParseDefinitions) {
    const char* const cases[] = {
        "\"a,b,c\" \",\"",
        "\"\" \",\"",
        "\",\" \",\"",
        "\",a,\" \",\"",
        "\"a,,b\" #\",\"",
        "\"aXbxc\" \"x\"",
        "\"aXbxc\" #\"x\"",
        "\"a::b:::c\" \"::\"",
        "\"abab\" \"abab\"",
        "\"ab\" \"abc\"",
        "\"a b,c \" charset \" ,\"",
        "\"a,b\" complement charset \",\"",
        "\"aéb\u00C9c\" #\"\u00C9\"",
        "\"x\u00C0y\u00E0z\" \"\u00E0\"",
        "\"a\U0001F600b\U0001F600\" \"\U0001F600\"",
        "\"a\u0100b\u0100\" #\"\u0100\"",
        "next \"a,b,c\" \",\"",
        "tail \"a,b\" \",\"",
        "(t: skip s: copy \"a,b,c\" 4 clear s t) \",\"",
        "\"a,b\" next \",,\"",
        "%a/b/c #\"/\"",
        "http://a.b/c #\"/\"",
        "<a b c> #\" \"",
        "a@b.c #\"@\"",
        // A one-byte delimiter in one-byte text is found by byte: every form of it must cut as
        // the general search does.
        "\"a,b,\" #\",\"",
        "\",,,\" \",\"",
        "\"a^-b^/c^-\" #\"^-\"",
        "\"a^@b\" #\"^@\"",
        "\"\u00E9,\u00FC,,\" \",\"",
        "\"a\u00A7b\u00A7\" \"\u00A7\"",
        "\"a\u0100,b,\" \",\"",
        "next next \"a,b,c\" \",\"",
        "%a/b/ \"/\"",
        "(append/dup copy \"\" \"ab,\" 40) \",\"",
        "first [\n\"a,b\"\n] \",\"",
    };
    for (const char* args : cases) {
        std::string given(args);
        EXPECT_EQ(mold_of("typed split " + given), mold_of("typed by-parse " + given)) << given;
    }
}

// The routine itself raises the error split gives for it.
TEST_F(Split, AnEmptyDelimiterIsRefused) {
    EXPECT_EQ(error_of("split \"abc\" \"\""), err::invalid_arg);
    EXPECT_EQ(error_of("split \"abc\" tail \"x\""), err::invalid_arg);
    EXPECT_EQ(error_of("split-text \"abc\" \"\""), err::invalid_arg);
}

}  // namespace
