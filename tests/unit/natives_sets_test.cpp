#include "tests/unit/natives_fixture.hpp"

#include "core/hashtable.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Sets : public NativesTest {
protected:
    // A hash! over the values of a block, as make hash! builds it.
    static void define_hash(const char* name, std::string_view values) {
        Rooted b(run(values));
        NodeId table = hashtable::make(memory::series_of(b->s2)->length(), hashtable::Kind::hash_index, b.get());
        set_global(name, make_cell(TYPE_HASH, 0, b->s2, table));
    }
};

}  // namespace

TEST_F(Sets, BlockOperationsKeepFirstOccurrencesInOrder) {
    const MoldCase cases[] = {
        {"union [a b a] [b c]", "[a b c]"},
        {"unique [1 2 1 3 2]", "[1 2 3]"},
        {"intersect [1 2 3 2] [2 3 4]", "[2 3]"},
        {"exclude [1 2 3] [2]", "[1 3]"},
        {"difference [1 2 3] [2 3 4]", "[1 4]"},
        {"union next [0 1] [1 2]", "[1 2]"},
        {"union [\"a\"] [\"A\"]", "[\"a\"]"},
        {"union/case [\"a\"] [\"A\"]", "[\"a\" \"A\"]"},
        {"union [[1] [1]] [[2] [1]]", "[[1] [2]]"},
        {"intersect [[1] 2] [[1]]", "[[1]]"},
        {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
        {"exclude/skip [a 1 b 2] [b 9] 2", "[a 1]"},
        {"unique/skip [a 1 a 2 1 a] 2", "[a 1 1 a]"},
        {"union \"abca\" \"bcd\"", "\"abcd\""},
        {"difference \"abc\" \"bcd\"", "\"ad\""},
    };
    expect_molds(cases);
}

TEST_F(Sets, AHashOperandMakesAHashResult) {
    define_hash("h", "[2 3 4]");
    EXPECT_EQ(run("union [1 2] h").type(), TYPE_HASH);
    EXPECT_EQ(run("intersect h [1 2]").type(), TYPE_HASH);
    EXPECT_EQ(run("unique [1 1]").type(), TYPE_BLOCK);
    Cell r = run("intersect [1 2 3] h");
    EXPECT_EQ(r.type(), TYPE_HASH);
    Cell three = integer_cell(3);
    EXPECT_EQ(hashtable::get(r.s3, three), 1) << "the result's table indexes its values";
}

TEST_F(Sets, TypesetsCombineTheirBits) {
    EXPECT_EQ(mold_of("union make typeset! [integer!] make typeset! [float!]"), "make typeset! [integer! float!]");
    EXPECT_EQ(mold_of("intersect number! make typeset! [integer! string!]"), "make typeset! [integer!]");
    EXPECT_EQ(mold_of("exclude number! make typeset! [integer!]"), "make typeset! [float! percent!]");
    EXPECT_EQ(mold_of("difference number! make typeset! [integer! string!]"),
              "make typeset! [string! float! percent!]");
}

TEST_F(Sets, OperandsMustGoTogether) {
    EXPECT_EQ(error_of("union \"a\" %a"), err::expect_val);
    EXPECT_EQ(arg(0).s1, uint32_t(TYPE_FILE));
    EXPECT_EQ(arg(1).s1, uint32_t(TYPE_STRING));
    EXPECT_EQ(error_of("union [1] \"a\""), err::expect_val);
    EXPECT_EQ(error_of("union/skip [1] [2] 0"), err::invalid_refine_arg);
    EXPECT_EQ(arg_text(0), "skip");
}
