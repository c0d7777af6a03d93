// The parse dialect under collection: in the stress build every allocation collects and moves
// buffers, so these runs check that the engine keeps rule blocks, inputs and collect targets
// alive and re-reads them after each allocation. The console transcripts cover the dialect itself.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using Parse = NativesTest;

TEST_F(Parse, RunsThatAllocateKeepTheirRulesInputsAndTargets) {
    expect_molds({
        {"parse \"abc\" [copy x 2 skip (y: copy x) to end] reduce [x y]", "[\"ab\" \"ab\"]"},
        {"parse [1 [2 3] 4] [collect [some [keep integer! | into [collect [some [keep integer!]]]]]]",
         "[1 [2 3] 4]"},
        {"parse \"a1b2c3\" [collect [some [keep pick 2 skip]]]", "[#\"a\" #\"1\" #\"b\" #\"2\" #\"c\" #\"3\"]"},
        {"s: copy \"abc\" parse s [some [skip insert \"-\"]] s", "\"a-b-c-\""},
        {"s: copy [1 2 3] parse s [some [change integer! (reduce [0 0])]] s", "[0 0 0 0 0 0]"},
        {"b: copy [] parse [1 2] [collect into b [some [skip keep (copy \"x\")]]] b", "[\"x\" \"x\"]"},
        {"parse \"aa\" [some [\"a\" (parse copy \"bb\" [some \"b\"])]]", "true"},
        {"b: copy #{0102} parse b [collect [some [keep skip insert #{FF}]]]", "[1 2]"},
        {"n: 0 parse/trace \"ab\" [\"a\" \"b\"] func [e m r i s] [n: n + 1 true] n", "7"},
    });
}

TEST_F(Parse, ARuleBlockDroppedByItsWordStaysAliveWhileItRuns) {
    expect_molds({
        {"r: [\"a\" (r: none recycle) \"b\"] parse \"ab\" r", "true"},
        {"r: [\"a\" (r: none recycle) \"b\"] parse \"ab\" [r]", "true"},
        {"s: copy \"ab\" parse s [\"a\" (s: none recycle) \"b\"]", "true"},
    });
}

TEST_F(Parse, AnErrorReleasesTheEngineStacksForTheNextRun) {
    const char* deep = "b: [end] loop 1000 [b: append/only copy [] b] ";
    EXPECT_EQ(error_of("b: copy [] loop 4000 [b: append/only copy [] b] parse [] b"), err::parse_stack);
    EXPECT_EQ(error_of("parse \"a\" [some [(1 / 0)]]"), err::zero_divide);
    EXPECT_EQ(mold_of(std::string(deep) + "parse [] b"), "true");
    EXPECT_EQ(error_of(std::string(deep) + "parse [] [(parse [] b) some]"), err::parse_end);
    EXPECT_EQ(mold_of(std::string(deep) + "parse [] b"), "true");
}

// The hex literal of a text's bytes.
std::string binary_literal(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex = "#{";
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex + "}";
}

TEST_F(Parse, DatatypeRulesOnBinaryReadTokensLongerThanTheLexersWindow) {
    std::string word(700, 'x');
    std::string input = binary_literal(word + " 12 " + word);
    EXPECT_EQ(mold_of("parse " + input + " [word! integer! word!]"), "true");
    EXPECT_EQ(mold_of("parse " + input + " [word! integer! integer!]"), "false");
    std::string text = binary_literal("\"" + std::string(600, 'a') + " b\" 12");
    EXPECT_EQ(mold_of("parse " + text + " [string! integer!]"), "true");
}

}  // namespace
