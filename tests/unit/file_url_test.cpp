// file! and url! as scripts see them: their molded forms and what loads back from them, path
// access, construction from blocks, percent coding and the string actions they take over.
#include "tests/unit/natives_fixture.hpp"

#include "datatypes/file.hpp"
#include "tests/unit/raised_error.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

struct Molded {
    const char* source;
    const char* molded;
};

class FileUrl : public NativesTest {
protected:
    static void expect_molds(const Molded* cases, size_t count) {
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(mold_of(cases[i].source), cases[i].molded) << cases[i].source;
    }

    // The value the source gives must load back from its mold as the same type and text.
    static void expect_round_trip(std::string_view source) {
        Rooted value(run(source));
        std::string molded = mold(*value);
        Rooted loaded(testing_support::load(molded));
        Series* block = memory::series_of(loaded->s2);
        ASSERT_EQ(block->length(), 1u) << molded;
        Cell back = block->cells()[0];
        EXPECT_EQ(back.type(), value->type()) << molded;
        EXPECT_EQ(string::equal(&back, value.get(), string::OP_STRICT_EQUAL, false), 0)
            << source << " molds as " << molded << " and loads back as " << string::to_utf8(&back);
    }

    static std::string mold_part(std::string_view source, int32_t budget) {
        Rooted value(run(source));
        Rooted out(string::make(16));
        Cell part = integer_cell(budget);
        mold::mold_value(value.get(), out.get(), MoldArgs{false, false, false, 0}, &part, budget);
        return string::to_utf8(out.get());
    }
};

}  // namespace

TEST_F(FileUrl, FileMoldQuotesOnlyWhenAnAsciiCharacterIsNotUrlSafe) {
    const Molded cases[] = {
        {"mold %abc", "\"%abc\""},
        {"mold to file! \"a b\"", "{%\"a b\"}"},
        {"mold to file! \"\"", "{%\"\"}"},
        {"mold %é", "\"%é\""},
        {"%/dir/sub/x.txt", "%/dir/sub/x.txt"},
        {"%a%25b", "%\"a%b\""},
        {"to file! \"a;b\"", "%\"a;b\""},
        {"to file! \"~user/a@b:c\"", "%~user/a@b:c"},
        {"next %ab", "%b"},
        {"tail %ab", "%\"\""},
    };
    expect_molds(cases, std::size(cases));
}

TEST_F(FileUrl, MoldedFilesAndUrlsLoadBackUnchanged) {
    const char* sources[] = {
        "%a/b.txt", "to file! \"a b\"", "to file! {a\"b}", "to file! \"a^^b\"", "to file! \"tab^-x\"",
        "to file! \"line^/feed\"", "to file! \"x%y\"", "to file! \"é ü\"", "to file! \"a^~b\"",
        "to file! \"a^(80)b\"", "http://x.com/a", "to url! \"http://x/a b\"", "to url! \"http://x/é~@\"",
        "to url! \"http://x/%41\"",
    };
    for (const char* source : sources) expect_round_trip(source);
}

TEST_F(FileUrl, UrlMoldEncodesEveryByteOutsideTheUrlSafeSet) {
    const Molded cases[] = {
        {"mold to url! \"http://x/a b\"", "\"http://x/a%20b\""},
        {"to url! \"http://x/é\"", "http://x/%C3%A9"},
        {"to url! \"http://u@x/~a?q=1&r=(2)\"", "http://u@x/~a?q=1&r=(2)"},
        {"to url! \"http://x/a%b\"", "http://x/a%25b"},
        {"http://x/a%20b", "http://x/a%20b"},
    };
    expect_molds(cases, std::size(cases));
}

TEST_F(FileUrl, MoldWithAPartStopsAtTheBudget) {
    EXPECT_EQ(mold_part("to url! \"http://x\"", 4), "http");
    EXPECT_EQ(mold_part("to url! \"é\"", 3), "%C3") << "an encoded byte is written whole";
    EXPECT_EQ(mold_part("%abcdef", 3), "%abc");
    EXPECT_EQ(mold_part("%abc", -1), "%\"\"");
}

TEST_F(FileUrl, PathAccessJoinsWithOneSlashAndKeepsTheParent) {
    const Molded cases[] = {
        {"f: %/tmp f/x.txt", "%/tmp/x.txt"},
        {"u: http://x.com u/a", "http://x.com/a"},
        {"u: http://x.com/ u/a", "http://x.com/a"},
        {"u: http://x.com/ u/(%/a)", "http://x.com/a"},
        {"u: http://x.com u/(%/a)", "http://x.com/a"},
        {"u: http://x.com/ u/a u", "http://x.com/"},
        {"f: %/tmp/ f/x/y", "%/tmp/x/y"},
        {"f: %dir p: %x.txt f/:p", "%dir/x.txt"},
        {"f: %a f/1", "%a/1"},
        {"f: next %ab f/c", "%b/c"},
        {"f: %a type? f/b", "file!"},
        {"u: http://x type? u/b", "url!"},
    };
    expect_molds(cases, std::size(cases));
    EXPECT_EQ(error_of("u: http://x.com u/a: 1"), err::bad_path_set);
    EXPECT_EQ(arg_text(1), "a");
}

TEST_F(FileUrl, UrlFromABlockPutsSchemeHostPortPathAndFragmentInOrder) {
    const Molded cases[] = {
        {"to url! [http \"example.com\" 8080 a #b]", "http://example.com:8080/a#b"},
        {"to url! [ftp]", "ftp://"},
        {"to url! [http host]", "http://host"},
        {"to url! [http host a b.txt]", "http://host/a/b.txt"},
        {"make url! [http host 81]", "http://host:81"},
        {"make url! \"http://x\"", "http://x"},
        {"to file! [a b]", "%ab"},
    };
    expect_molds(cases, std::size(cases));
    EXPECT_EQ(error_of("to url! []"), err::bad_to_arg);
    EXPECT_EQ(arg(0).s1, uint32_t(TYPE_URL));
}

TEST_F(FileUrl, PercentCodingOfFilesAndUrls) {
    const Molded cases[] = {
        {"dehex \"%41%C3%A9%E9\"", "\"Aé%E9\""},
        {"enhex to url! \"a b/c\"", "\"a%20b/c\""},
        {"enhex to file! \"a b/é\"", "\"a%20b/%C3%A9\""},
        {"dehex to file! \"a%2520b\"", "\"a%20b\""},
        {"type? dehex to url! \"x\"", "string!"},
        {"dehex \"%C0%AF\"", "\"À¯\""},
    };
    expect_molds(cases, std::size(cases));
    EXPECT_EQ(error_of("dehex \"%E0%80%AF\""), err::invalid_utf8) << "an overlong \"/\" is refused";
}

TEST_F(FileUrl, StringActionsKeepTheType) {
    const Molded cases[] = {
        {"copy %abc", "%abc"},
        {"append %dir/ \"x\"", "%dir/x"},
        {"find %a/b.txt \".\"", "%.txt"},
        {"uppercase %abc", "%ABC"},
        {"copy/part http://x.com 4", "http"},
        {"length? http://x.com", "12"},
        {"form %\"a b\"", "\"a b\""},
        {"%a = %A", "true"},
        {"%a == %A", "false"},
        {"%a = \"a\"", "true"},
        {"%a < %b", "true"},
    };
    expect_molds(cases, std::size(cases));
    for (const char* unsupported : {"sort %cba", "trim %\" a \"", "random %ab", "sort http://x"})
        EXPECT_EQ(error_of(unsupported), err::expect_arg) << unsupported;
}

TEST_F(FileUrl, SetOperationsRefuseMixedTextTypes) {
    struct {
        const char* source;
        TypeId expected;
    } cases[] = {
        {"union \"a\" %a", TYPE_FILE},
        {"exclude \"a\" http://a", TYPE_URL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(c.source), err::expect_val) << c.source;
        EXPECT_EQ(arg(0).s1, uint32_t(c.expected)) << c.source;
        EXPECT_EQ(arg(1).s1, uint32_t(TYPE_STRING)) << c.source;
    }
}

TEST_F(FileUrl, LocalPathsAreThePosixPathsWithoutNul) {
    EXPECT_EQ(mold_of("type? to-local-file %a"), "string!");
    Cell full = run("to-local-file/full %\"\"");
    EXPECT_EQ(string::to_utf8(&full), file::current_dir());
    Rooted path(run("%/a/é"));
    EXPECT_EQ(file::to_local_path(path.get()), "/a/é");
    Rooted nul(run("to file! dehex %a%2500b"));
    set_error_raiser(testing_errors::record_error);
    testing_errors::RaisedError e = testing_errors::raised([&] { file::to_local_path(nul.get()); });
    set_error_raiser(nullptr);
    EXPECT_EQ(e.code, err::cannot_open) << "a NUL would make the OS name another file";
}
