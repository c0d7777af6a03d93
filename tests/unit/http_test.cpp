// The response header map built from the header text of a response: names as words, repeated
// names gathered in arrival order, and text that does not follow the usual "Name: value" CR LF
// layout read within its bounds. The exchanges themselves run against a loopback server in
// tests/http-tests.py.
#include "datatypes/os/http.hpp"

#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class HttpHeaders : public NativesTest {
protected:
    static std::string flat_body_of_m() {
        Rooted text(run("mold/flat body-of m"));
        return string::to_utf8(text.get());
    }
};

TEST_F(HttpHeaders, NamesBecomeWordsAndRepeatedNamesGatherTheirValues) {
    collector::set_enabled(true);
    Rooted map(http::header_map("Server: test\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n"
                                "set-cookie: c=3\r\n\r\n"));
    collector::set_enabled(false);
    set_global("m", *map);
    const MoldCase cases[] = {
        {"length? m", "2"},
        {"select m 'Server", "\"test\""},
        {"select m 'Set-Cookie", "[\"a=1\" \"b=2\" \"c=3\"]"},
        {"type? first body-of m", "word!"},
    };
    expect_molds(cases);
}

TEST_F(HttpHeaders, TextOutsideTheUsualLayoutIsReadWithinItsBounds) {
    struct Case {
        const char* text;
        const char* molded;
    };
    const Case cases[] = {
        {"A:1\r\n", "[A \"1\"]"},                      // no space after the colon
        {"A:   spaced \t\r\n", "[A \"spaced\"]"},     // surrounding blanks trimmed
        {"A: 1\nB: 2", "[A \"1\" B \"2\"]"},         // LF alone, no final line end
        {"A: x:y\r\n", "[A \"x:y\"]"},                // the first colon ends the name
        {"no colon\r\n: no name\r\nA:\r\n", "[A \"\"]"},
        {"", "[]"},
    };
    for (const Case& c : cases) {
        set_global("m", http::header_map(c.text));
        EXPECT_EQ(flat_body_of_m(), c.molded) << c.text;
    }
}

}  // namespace
