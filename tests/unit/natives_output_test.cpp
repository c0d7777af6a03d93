#include "tests/unit/natives_fixture.hpp"

#include "core/os/os.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;
using vyn::testing_support::printed;

namespace {

class Output : public NativesTest {
protected:
    // The markers of a block's cells, one letter each: "n" marked, "-" not.
    static std::string markers(std::string_view source) {
        Cell b = run(source);
        std::string out;
        for (uint32_t i = 0; i < memory::series_of(b.s2)->length(); ++i)
            out += memory::series_of(b.s2)->cells()[i].has_flag(FLAG_NEW_LINE) ? 'n' : '-';
        return out;
    }
};

}  // namespace

TEST_F(Output, PrintFormsAReducedBlockAndPrinLeavesTheLineOpen) {
    run("x: \"a\" print [1 + 2 x] prin \"b\" prin 4");
    EXPECT_EQ(printed, "3 a\nb4");
    EXPECT_FALSE(natives::last_output_ended_line());
    printed.clear();
    run("print tail \"abc\" print 1.5");
    EXPECT_EQ(printed, "\n1.5\n");
    EXPECT_TRUE(natives::last_output_ended_line());
}

TEST_F(Output, NestedPrintsWorkAboveTheOuterStretch) {
    run("print [1 (print [\"in\" 5] 2) 3]");
    EXPECT_EQ(printed, "in 5\n1 2 3\n");
    EXPECT_EQ(memory::series_of(natives::print_buffer().s2)->length(), 0u);
}

TEST_F(Output, AnErrorWhileReducingLeavesTheBufferAsItWas) {
    EXPECT_EQ(error_of("print [1 2 / 0]"), err::zero_divide);
    EXPECT_EQ(memory::series_of(natives::print_buffer().s2)->length(), 0u);
    EXPECT_EQ(printed, "");
}

TEST_F(Output, CaseChangesInPlaceOverAPart) {
    EXPECT_EQ(mold_of("uppercase \"abc\""), "\"ABC\"");
    EXPECT_EQ(mold_of("uppercase/part \"abcd\" 2"), "\"ABcd\"");
    EXPECT_EQ(mold_of("s: \"abcd\" uppercase/part s at s 4 s"), "\"ABCd\"");
    EXPECT_EQ(mold_of("lowercase next \"ABC\""), "\"bc\"");
    EXPECT_EQ(mold_of("s: \"ABC\" lowercase next s s"), "\"Abc\"");
    Cell widened = run("uppercase \"a\xC3\xBF\"");
    EXPECT_EQ(string::view_of(&widened).at(1), 0x178u);
    EXPECT_EQ(run("uppercase #\"a\"").s2, uint32_t('A'));
    EXPECT_EQ(error_of("uppercase/part \"ab\" \"a\""), err::invalid_refine_arg);
}

TEST_F(Output, PercentCoding) {
    const MoldCase cases[] = {
        {"dehex \"a%20b\"", "\"a b\""},
        {"dehex \"%41%zz%\"", "\"A%zz%\""},
        {"dehex \"%E9\"", "\"%E9\""},
        {"enhex \"a b/c\"", "\"a%20b%2Fc\""},
        {"enhex \"~x-y_z.\"", "\"~x-y_z.\""},
    };
    expect_molds(cases);
    Cell e = run("dehex \"%C3%A9\"");
    EXPECT_EQ(string::view_of(&e).length, 1u);
    EXPECT_EQ(string::view_of(&e).at(0), 0xE9u);
    EXPECT_EQ(mold_of("enhex dehex \"%C3%A9\""), "\"%C3%A9\"");
    EXPECT_EQ(mold_of("enhex %a/b"), "\"a/b\"") << "a file keeps the URL-safe characters";
    EXPECT_EQ(error_of("dehex \"%C3%28\""), err::invalid_utf8);
}

TEST_F(Output, LocalFilesArePosixPaths) {
    EXPECT_EQ(mold_of("to-local-file %a/b"), "\"a/b\"");
    EXPECT_EQ(mold_of("to-local-file/full \"/x/y\""), "\"/x/y\"");
    std::string dir = os::get_current_dir();
    if (dir.back() != '/') dir += '/';
    Cell full = run("to-local-file/full \"a\"");
    EXPECT_EQ(string::to_utf8(&full), dir + "a");
}

TEST_F(Output, NewLineMarkers) {
    EXPECT_EQ(markers("b: [1 2 3 4 5 6] new-line/skip b true 3 b"), "n--n--");
    EXPECT_EQ(markers("b: [1 2 3 4 5 6] new-line/skip b false 2 b"), "-n-n-n");
    EXPECT_EQ(markers("b: [1 2 3] new-line/all next b true b"), "-nn");
    EXPECT_EQ(markers("b: [1 2 3] new-line next b true b"), "-n-");
    EXPECT_EQ(markers("b: [1 2 3] new-line tail b true b"), "---");
    EXPECT_EQ(mold_of("b: [1 2] new-line b true new-line? b"), "true");
    EXPECT_EQ(mold_of("b: [1 2] new-line b true new-line? next b"), "false");
    EXPECT_EQ(mold_of("new-line? []"), "false");
    EXPECT_EQ(mold_of("b: [1 2] same? b new-line b true"), "true");
    EXPECT_EQ(error_of("new-line/skip [1] true 0"), err::out_of_range);
}
