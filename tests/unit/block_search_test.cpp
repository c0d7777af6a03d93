// block! find, select and sort as scripts use them: values, runs of cells, types, records,
// directions and limits; sort orders, records, comparison functions (answers of every kind,
// errors, functions that change the block) and the refinement errors; the set operations.
#include "datatypes/block_search.hpp"

#include "core/hashtable.hpp"
#include "natives_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_support;

namespace {

class BlockSearch : public NativesTest {};

}  // namespace

TEST_F(BlockSearch, FindValuesRunsAndTypes) {
    expect_molds({
        {"find [1 2 3] [2 3]", "[2 3]"},
        {"find [1 2 3] [2 4]", "none"},
        {"find [1 2 3] [3 4]", "none"},  // a run must fit before the tail
        {"find/only [1 [2] 3] [2]", "[[2] 3]"},
        {"find [1 [2] 3] [2]", "none"},
        {"find [1 a \"b\"] string!", "[\"b\"]"},
        {"find [1 a \"b\"] any-word!", "[a \"b\"]"},
        {"find/only reduce [1 string! 2] string!", "[string! 2]"},
        {"find [a B c] 'b", "[B c]"},
        {"find/case [a B c] 'b", "none"},
        {"find [1 2.0 3] 2", "none"},  // find equality keeps integer! and float! apart
        {"find [] 1", "none"},
        {"find tail [1 2] 1", "none"},
        {"find next [1 2 1] 1", "[1]"},
        {"find/match [1 2 1] 2", "none"},
        {"find/match next [1 2 1] 2", "[2 1]"},
        {"find/tail [1 2 3] [1 2]", "[3]"},
        {"find/tail [1 2 3] 3", "[]"},
    });
}

TEST_F(BlockSearch, FindByRecordsDirectionAndPart) {
    expect_molds({
        {"find/tail/skip [a 1 b 2 c 3] 'b 2", "[c 3]"},
        {"find/skip [a b b a] 'b 2", "[b a]"},  // only the first cell of each record is a key
        {"find/skip/tail [a 1 b] 'b 2", "[]"},
        {"index? find/last [1 2 1 2] 1", "3"},
        {"index? find/last [1 2 1 2] [1 2]", "3"},
        {"find/last next [1 2 3] 1", "none"},  // the search stays after the head
        {"index? find/last/skip [a 1 a 2 b 3] 'a 2", "3"},
        {"find/reverse [1 2] 1", "none"},
        {"index? find/reverse tail [1 2 1 2] 1", "3"},
        {"index? find/reverse tail [1 2 1 2] [1 2]", "3"},
        {"index? find/reverse/skip at [a 1 b 2 c 3] 5 'a 2", "1"},
        {"find/part [1 2 3] 3 2", "none"},
        {"find/part [1 2 3] 2 2", "[2 3]"},
        {"find/part [1 2 3] 1 0", "none"},
        {"b: [1 2 3] find/part b 2 next b", "none"},
        {"b: [1 2 3] find/part b 2 at b 3", "[2 3]"},
        {"find/reverse/part tail [1 2 3] 1 2", "none"},
        {"find/reverse/part tail [1 2 3] 2 2", "[2 3]"},
    });
}

TEST_F(BlockSearch, Select) {
    expect_molds({
        {"select [a 1 b 2] 'b", "2"},
        {"select [a 1 b] 'b", "none"},
        {"select [1 2 3 4] [2 3]", "4"},
        {"select/only [[1] x [2] y] [2]", "y"},
        {"select/skip [a b b c] 'b 2", "c"},
        {"select/last [a 1 a 2] 'a", "2"},
        {"select [a 1] 'z", "none"},
    });
}

TEST_F(BlockSearch, FindAndSelectArgumentErrors) {
    EXPECT_EQ(error_of("find/skip [1 2] 1 0"), err::out_of_range);
    EXPECT_EQ(error_of("find/skip [1 2] 1 -1"), err::out_of_range);
    EXPECT_EQ(error_of("find/part [1 2] 1 \"ab\""), err::invalid_refine_arg);
    EXPECT_EQ(arg_text(0), "part");
    EXPECT_EQ(error_of("find/part [1 2] 1 [1 2]"), err::invalid_refine_arg);  // another series
    EXPECT_EQ(mold_of("find/skip [] 1 0"), "none");  // nothing to search: no argument checks
}

TEST_F(BlockSearch, FindThroughAHashTable) {
    Cell hashed = run("[a 1 b 2 a 3 B 4]");
    Rooted h(hashed);
    h->s3 = hashtable::make(8, hashtable::Kind::hash_index, h.get());
    h->set_type(TYPE_HASH);
    auto position = [&](Cell key, FindArgs args) {
        Cell result = *h;
        block::find(&result, &key, args);
        return result.is(TYPE_NONE) ? -1 : int32_t(result.s1);
    };
    Cell a = run("'a");
    Cell b = run("'b");
    Rooted keep_a(a), keep_b(b);
    FindArgs plain{};
    EXPECT_EQ(position(a, plain), 0);
    FindArgs last{};
    last.last = true;
    EXPECT_EQ(position(a, last), 4);
    FindArgs strict{};
    strict.case_sensitive = true;
    EXPECT_EQ(position(b, strict), 2);
    FindArgs tail_skip{};
    tail_skip.tail = true;
    Cell two = integer_cell(2);
    tail_skip.skip = &two;
    EXPECT_EQ(position(b, tail_skip), 4);  // past the record, as on a block!
    FindArgs limited{};
    Cell three = integer_cell(3);
    limited.part = &three;
    EXPECT_EQ(position(run("4"), limited), -1);
}

TEST_F(BlockSearch, SortOrdersAndRecords) {
    expect_molds({
        {"sort [3 1 2]", "[1 2 3]"},
        {"sort/reverse [3 1 2]", "[3 2 1]"},
        {"sort [c A b]", "[A b c]"},
        {"sort/case [c A b a]", "[A a b c]"},
        {"sort [b 2 \"x\" 1.5 a 1]", "[\"x\" 1 1.5 2 a b]"},  // other types go by type id
        {"sort/skip [3 a 1 b 2 c] 2", "[1 b 2 c 3 a]"},
        {"sort/skip/compare [1 z 2 y 3 x] 2 2", "[3 x 2 y 1 z]"},
        {"sort/skip/all [1 b 1 a 0 c] 2", "[0 c 1 a 1 b]"},
        {"sort/part [3 2 1 0] 3", "[1 2 3 0]"},
        {"b: [5 4 3 2 1] sort/part b at b 3", "[4 5 3 2 1]"},
        {"head sort/part at [3 2 1 0] 3 -2", "[2 3 1 0]"},
        {"sort/part at [3 2 1 0] 3 -2", "[2 3 1 0]"},  // the result starts where the sort did
        {"head sort/part at [3 2 1 0] 3 -5", "[2 3 1 0]"},
        {"sort tail [2 1]", "[]"},
        {"sort/stable [[1 b] [0 x] [1 a]]", "[[0 x] [1 a] [1 b]]"},
    });
}

TEST_F(BlockSearch, SortWithAFunction) {
    expect_molds({
        {"sort/compare [1 3 2] func [a b][a > b]", "[3 2 1]"},
        {"sort/stable/compare [[1 b] [0 x] [1 a]] func [x y][x/1 < y/1]", "[[0 x] [1 b] [1 a]]"},
        {"sort/stable/compare [2 1 3] func [a b][b - a]", "[1 2 3]"},  // positive: the first argument first
        {"sort/stable/compare [2 1 3] func [a b][to float! a - b]", "[3 2 1]"},
        {"sort/stable/compare [2 1 2 3] func [a b][none]", "[2 1 2 3]"},
        {"sort/stable/compare [2 1 3] func [a b][\"any\"]", "[3 1 2]"},  // always "sorts after"
        {"sort/reverse/stable/compare [1 3 2 3] func [a b][a < b]", "[3 3 2 1]"},
        {"sort/skip/compare [2 x 1 y] 2 func [a b][a < b]", "[1 y 2 x]"},
        {"sort/skip/all/compare [2 x 1 y 1 a] 2 func [a b][a/2 < b/2]", "[1 a 2 x 1 y]"},
        {"sort/compare [2 1] func [a b /local c][c: a < b c]", "[1 2]"},
    });
}

TEST_F(BlockSearch, ComparisonFunctionThatFailsOrChangesTheBlock) {
    EXPECT_EQ(error_of("b: [3 1 2] sort/compare b func [a b][1 / 0]"), err::zero_divide);
    EXPECT_EQ(mold_of("b: [3 1 2] try [sort/compare b func [a b][1 / 0]] b"), "[3 1 2]");
    // Growing the block moves its buffer; the sorted cells still land in it.
    EXPECT_EQ(mold_of("b: [3 1 2] sort/compare b func [x y][append/dup [] 0 1000 x < y]"), "[1 2 3]");
    // A block cut short during the sort keeps what it holds.
    EXPECT_EQ(mold_of("b: [3 1 2] sort/compare b func [x y][clear b x < y] b"), "[]");
    EXPECT_EQ(mold_of("n: 0 sort/compare [3 1 2] func [a b][n: n + 1 sort/compare [2 1] func [x y][x < y] a < b]"),
              "[1 2 3]");
}

TEST_F(BlockSearch, SortArgumentErrors) {
    struct Expected {
        const char* source;
        err::Code code;
        const char* argument;  // the first argument's text, or null
    };
    const Expected cases[] = {
        {"sort/skip [1 2 3 4 5 6 7] 3", err::invalid_refine_arg, "skip"},
        {"sort/skip [1 2] 0", err::invalid_refine_arg, "skip"},
        {"sort/skip [1 2] 3", err::invalid_refine_arg, "skip"},
        {"sort/all [1 2]", err::bad_refines, nullptr},
        {"sort/compare [1 2] 1", err::bad_refines, nullptr},
        {"sort/skip/all/compare [1 2] 2 1", err::bad_refines, nullptr},
        {"sort/skip/compare [1 2] 2 3", err::out_of_range, "3"},
        {"sort/skip/compare [1 2] 2 0", err::out_of_range, "0"},
        {"sort/compare [1 2] [a]", err::invalid_refine_arg, "compare"},
        {"sort/part [1 2] \"x\"", err::invalid_refine_arg, "part"},
        {"sort to path! [b a]", err::expect_arg, nullptr},
    };
    for (const Expected& c : cases) {
        EXPECT_EQ(error_of(c.source), c.code) << c.source;
        if (c.argument) {
            EXPECT_EQ(arg_text(0), c.argument) << c.source;
        }
    }
    Cell shown = run("form try [sort/skip [1 2 3 4 5 6 7] 3]");
    std::string text = string::to_utf8(&shown);
    EXPECT_EQ(text.substr(0, text.find('\n')), "*** Script Error: invalid skip argument: 3");
}

TEST_F(BlockSearch, SortCompareCallbackFallsBackToTypeIds) {
    Cell cells[] = {integer_cell(1), none_cell(), integer_cell(2), integer_cell(1)};
    int op = CMP_SORT;
    EXPECT_LT(block::sort_compare(&cells[0], &cells[2], &op, 0), 0);
    EXPECT_GT(block::sort_compare(&cells[0], &cells[2], &op, block::SORT_REVERSE), 0);
    EXPECT_EQ(block::sort_compare(&cells[0], &cells[3], &op, 0), 0);
    int none_vs_integer = block::sort_compare(&cells[1], &cells[0], &op, 0);
    EXPECT_EQ(none_vs_integer, int(TYPE_NONE) - int(TYPE_INTEGER));
    // Whole records of two cells: the second cells decide when the first are equal.
    Cell records[] = {integer_cell(1), integer_cell(5), integer_cell(1), integer_cell(4)};
    uint32_t all_two = block::SORT_ALL | 2 << block::SORT_FIELD_SHIFT;
    EXPECT_GT(block::sort_compare(&records[0], &records[2], &op, all_two), 0);
    EXPECT_EQ(block::sort_compare(&records[0], &records[2], &op, 0), 0);
}

TEST_F(BlockSearch, SetOperations) {
    expect_molds({
        {"union [a b a] [b c]", "[a b c]"},
        {"intersect [1 2 3] [2 3 4]", "[2 3]"},
        {"difference [1 2 3] [2 3 4]", "[1 4]"},
        {"exclude [1 2 3] [2]", "[1 3]"},
        {"unique [1 1 2]", "[1 2]"},
        {"unique [a A b]", "[a b]"},
        {"unique/case [a A b]", "[a A b]"},
        {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
        {"unique [[1] [1] [2]]", "[[1] [2]]"},
        {"intersect [[1] 2] [[1] 3]", "[[1]]"},
    });
    EXPECT_EQ(error_of("unique/skip [1 2] 0"), err::invalid_refine_arg);
}
