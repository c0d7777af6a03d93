// map! as scripts see it: construction, keys and their normal forms, path and action access,
// removal and revival, molding, copying, comparison, walks, and the errors of each.
#include <string>

#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {
namespace {

class MapTest : public NativesTest {
protected:
    // The first line of the error the source raises, as the console prints it.
    static std::string error_line(std::string_view source) {
        Cell text = run("form try [" + std::string(source) + "]");
        std::string formed = string::to_utf8(&text);
        return formed.substr(0, formed.find('\n'));
    }
};

TEST_F(MapTest, KeysAreFoundWithOrWithoutCase) {
    run(R"(m: make map! [a 1 "b" 2])");
    expect_molds({
        {"m/a", "1"},
        {"m/A", "1"},
        {"select m 'a", "1"},
        {R"(select m "B")", "2"},
        {R"(select/case m "B")", "none"},
        {R"(m/("B"))", "2"},
        {"find m 'a", "a"},
        {"find m pick [a:] 1", "a"},
        {R"(find m "B")", R"("b")"},
        {R"(find/case m "B")", "none"},
        {"select m 'z", "none"},
        {"find m 1", "none"},
    });
}

TEST_F(MapTest, MoldShowsOneEntryPerLine) {
    expect_molds({
        {R"(make map! [a 1 "b" 2])", "#[\n    a: 1\n    \"b\" 2\n]"},
        {"make map! 0", "#[]"},
        {"make map! 2.5", "#[]"},
        {"#[a 1 b [2 3]]", "#[\n    a: 1\n    b: [2 3]\n]"},
        {"reduce [make map! [a 1]]", "[#[\n    a: 1\n]]"},
        {"make map! reduce ['a make map! [b 1]]", "#[\n    a: #[\n        b: 1\n    ]\n]"},
        {"mold/flat make map! [a 1 b 2]", R"("#[a: 1 b: 2]")"},
        {"mold/only make map! [a 1 b 2]", R"("a: 1^/b: 2")"},
        {"form make map! [a 1 b 2]", R"("a: 1^/b: 2")"},
        {"mold/part make map! [a 1 b 2] 8", R"("#[^/    a")"},
        {"m: make map! [] m/self: m m", "#[\n    self: #[...]\n]"},
    });
}

TEST_F(MapTest, KeysAreStoredInTheirNormalForm) {
    expect_molds({
        // Every word kind is stored as a set-word and found by any of them.
        {"reflect make map! ['a 1 :b 2 c: 3 d 4] 'words", "[a b c d]"},
        {"m: make map! [] m/('x): 1 m/x", "1"},
        // A key is copied when it enters, whichever way it enters.
        {R"(k: "x" m: make map! [] put m k 1 append k "y" select m "x")", "1"},
        {R"(k: "x" m: make map! reduce [k 1] append k "y" m)", "#[\n    \"x\" 1\n]"},
        // A repeated key in a spec keeps its first place and its last value.
        {"make map! [a 1 b 2 a 3]", "#[\n    a: 3\n    b: 2\n]"},
        {"length? make map! [1 a 1.0 b]", "2"},
        {"m: make map! [1x2 a 1.2.3 b #\"c\" c] reduce [m/(1x2) select m 1.2.3 select m #\"c\"]", "[a b c]"},
    });
}

TEST_F(MapTest, RemovedEntriesAreSkippedAndRevivedInPlace) {
    expect_molds({
        {"m: make map! [a 1 b 2] m/a: none reduce [length? m m/a]", "[2 none]"},
        {"m: make map! [a 1 b 2] remove/key m 'a reduce [length? m m/a find m 'a]", "[1 none none]"},
        {"m: make map! [a 1 b 2] remove/key m 'A length? m", "2"},
        {"m: make map! [a 1 b 2] remove/key m 'a m/a: 3 reduce [length? m m]",
         "[2 #[\n    a: 3\n    b: 2\n]]"},
        {"m: make map! [a 1 b 2] remove/key m 'a reflect m 'body", "[\n    b 2\n]"},
        {"m: make map! [a 1 b 2] remove/key m 'b equal? m make map! [a 1]", "true"},
        {"m: make map! [a 1] clear m m/b: 2 reduce [length? m m]", "[1 #[\n    b: 2\n]]"},
        {"m: make map! [] repeat i 100 [put m i i * 2] repeat i 50 [remove/key m i * 2] "
         "reduce [length? m select m 77 select m 78]",
         "[50 154 none]"},
    });
}

// Setting a new key reuses the hash and probe of its failed lookup: it must add an entry exactly
// when a lookup in the same mode misses, for every key type, also when the table grows in between
// (five entries first fill the smallest table).
TEST_F(MapTest, APutAddsAnEntryExactlyWhenALookupMisses) {
    const struct {
        const char* first;
        const char* second;
        bool found;       // by select and extend
        bool found_case;  // by select/case and extend/case
    } cases[] = {
        {R"("a")", R"("A")", true, false},
        {"'a", "'A", true, false},
        {"'a", "quote a:", true, true},
        {"'a", R"("a")", false, false},
        {"%a", R"("a")", false, false},
        {"<a>", "<A>", true, false},
        {R"(next "xab")", R"("AB")", true, false},
        {"#{6162}", "next #{006162}", true, true},
        {"#{61}", "#{41}", false, false},
        {R"(#"a")", R"(#"A")", false, false},
        {"1", "1.0", false, false},
        {"1.5", "1.5", true, true},
        {"1.2.3", "1.2.3", true, true},
        {"1x2", "1x2", true, true},
        {"$1", "$1.00", true, true},
        {"10:00", "10:00:00", true, true},
        {"1-Jan-2000", "1-Jan-2000", true, true},
        {"#a", "#A", true, false},
        {"quote /a", "quote /A", true, false},
        {"a@b.c", "A@B.C", true, false},
    };
    auto outcome = [](bool found) { return found ? "[1 1 2]" : "[none 2 2]"; };
    for (const auto& c : cases) {
        for (bool filled : {false, true}) {
            for (const char* refinement : {"", "/case"}) {
                std::string source = std::string("m: make map! [] ") + (filled ? "repeat i 5 [put m i * 100 i] " : "") +
                                     "extend m reduce [" + c.first + " 1] found: select" + refinement + " m " +
                                     c.second + " extend" + refinement + " m reduce [" + c.second +
                                     " 2] reduce [found (length? m) - " + (filled ? "5" : "0") + " select" + refinement + " m " + c.second + "]";
                EXPECT_EQ(mold_of(source), outcome(*refinement ? c.found_case : c.found)) << source;
            }
        }
    }
}

TEST_F(MapTest, ReflectionCopyAndExtend) {
    expect_molds({
        {"reflect make map! [a 1 b 2] 'values", "[1 2]"},
        {"reflect make map! [a 1 b 2] 'body", "[\n    a 1\n    b 2\n]"},
        {"m: make map! [a 1] c: copy m m/a: 5 c/b: 6 reduce [m c]",
         "[#[\n    a: 5\n] #[\n    a: 1\n    b: 6\n]]"},
        {"m: make map! [a [1]] c: copy m append m/a 2 c/a", "[1 2]"},
        {"m: make map! [a [1]] c: copy/deep m append m/a 2 c/a", "[1]"},
        {"m: make map! [a 1] c: make map! m c/a: 2 m/a", "1"},
        {"m: make map! [a 1] extend m [b 2 A 3] m", "#[\n    a: 3\n    b: 2\n]"},
        {R"(m: make map! ["a" 1] extend/case m ["A" 2] length? m)", "2"},
        {"m: make map! [a 1] extend m make map! [b 2] m", "#[\n    a: 1\n    b: 2\n]"},
        {"put make map! [] 'k 7", "7"},
        {"remove/key make map! [a 1] 'a", "#[]"},
    });
}

TEST_F(MapTest, Comparison) {
    expect_molds({
        {"equal? make map! [a 1 b 2] make map! [b 2 a 1]", "true"},
        {"equal? make map! [a 1] make map! [A 1]", "true"},
        {R"(strict-equal? make map! ["a" 1] make map! ["A" 1])", "false"},
        {R"(equal? make map! ["a" 1] make map! ["A" 1])", "true"},
        {"equal? make map! [a 1] make map! [a 2]", "false"},
        {"equal? make map! [a 1] make map! [a 1 b 2]", "false"},
        {"equal? make map! [a 1] [a 1]", "false"},
        {"m: make map! [a 1] same? m copy m", "false"},
        {"m: make map! [a 1] same? m m", "true"},
    });
}

TEST_F(MapTest, WalksGoByKeyValuePairs) {
    expect_molds({
        {"m: make map! [a 1 b 2 c 3] remove/key m 'b r: copy [] foreach [k v] m [append r reduce [k v]] r",
         "[a 1 c 3]"},
        {"r: 0 foreach [k v] make map! [] [r: r + 1] r", "0"},
        {"set [k v] make map! [x 9] reduce [k v]", "[x 9]"},
    });
}

TEST_F(MapTest, Errors) {
    const struct {
        const char* source;
        const char* line;
    } cases[] = {
        {"remove make map! [a 1]", "*** Script Error: missing a required argument or refinement"},
        {"make map! [a]", "*** Script Error: invalid argument: [a]"},
        {"make map! -1", "*** Script Error: value out of range: -1"},
        {"to map! 5", "*** Script Error: cannot MAKE/TO map! from: 5"},
        {R"(make map! "ab")", R"(*** Script Error: cannot MAKE/TO map! from: "ab")"},
        {"make map! [[1] 2]", "*** Script Error: cannot access block! in path #[]"},
        {"extend make map! [] [a]", "*** Script Error: invalid argument: [a]"},
        {"foreach k make map! [a 1] []", "*** Script Error: invalid argument: k"},
        {"foreach [k v w] make map! [a 1] []", "*** Script Error: invalid argument: [k v w]"},
        {"foreach [k 1] make map! [a 1] []", "*** Script Error: invalid argument: 1"},
        {"reflect make map! [] 'spec", "*** Internal Error: reserved for future use (or not yet implemented)"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_line(c.source), c.line) << c.source;
}

}  // namespace
}  // namespace vyn::testing_support
