// block! molding (new lines, indentation, limits, cycles, depth), the modifying actions with
// their size bounds and self-insertion, deep copies and their cycle guard, comparison, the
// makers and path access.
#include "series_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_support;

namespace {

class Block : public SeriesTest {
protected:
    static Cell flagged(Cell c) {
        c.set_flag(FLAG_NEW_LINE);
        return c;
    }
    static Cell count(int32_t n) { return integer_cell(n); }
    // New values that nothing roots once they are returned: a callee they are handed to must.
    static Cell loose_text(const char* utf8) {
        Rooted s(string::make(0));
        string::append_utf8(s.get(), utf8);
        return *s;
    }
    static Cell loose_block(const char* utf8) {
        Rooted b(make_cell(TYPE_BLOCK));
        block::make_at(b.get(), 1);
        Rooted s(loose_text(utf8));
        block::vs_append(b.get(), s.get());
        return *b;
    }
};

TEST_F(Block, MoldPlacesNewLinesAndIndents) {
    Cell one = integer_cell(1), two = integer_cell(2);
    struct Case {
        Cell block;
        MoldArgs args;
        const char* text;
    };
    Cell nested = block_of({flagged(one), two});
    const Case cases[] = {
        {block_of({flagged(one), two}), {}, "[\n    1 2\n]"},
        {block_of({one, flagged(two)}), {}, "[1\n2]"},
        {block_of({flagged(one), flagged(two)}), {}, "[\n    1\n    2\n]"},
        {block_of({flagged(nested)}), {}, "[\n    [\n        1 2\n    ]\n]"},
        {block_of({flagged(one), flagged(two)}), {true, false, false, 0}, "1\n2"},
        {block_of({flagged(one), flagged(two)}), {false, false, true, 0}, "[1 2]"},
        {block_of({}), {}, "[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(molded(c.block, c.args), c.text);
}

TEST_F(Block, MoldAndFormStopOnceTheLimitIsSpent) {
    Cell b = ints({1, 22, 333, 4});
    Cell part = count(5);
    Cell& out = testing_gc::kept(string::make(8));
    int32_t left = block::mold(&b, &out, MoldArgs{}, &part, 5);
    EXPECT_EQ(string::to_utf8(&out), "[1 22]");  // the action's entry cuts the text to the limit
    EXPECT_EQ(left, -1);

    Cell& formed_out = testing_gc::kept(string::make(8));
    block::form(&b, &formed_out, &part, 3);
    EXPECT_EQ(string::to_utf8(&formed_out), "1 22 ");
}

TEST_F(Block, FormFlattensNestedBlocksAndSpacesAfterLineEnds) {
    Cell inner = ints({2, 3});
    Cell a = text("a");
    EXPECT_EQ(formed(block_of({integer_cell(1), inner, a})), "1 2 3 a");
    Cell line = text("x\n");
    EXPECT_EQ(formed(block_of({line, integer_cell(1), flagged(integer_cell(2))})), "x\n1 2");
    EXPECT_EQ(molded(block_of({a, integer_cell(1)})), "[\"a\" 1]");
}

TEST_F(Block, ABlockInsideItselfShowsTheCycleMarker) {
    Cell b = ints({1});
    Cell only = b;
    block::vs_append(&b, &only);
    EXPECT_EQ(molded(b), "[1 [...]]");
    EXPECT_EQ(formed(b), "1 ...");
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Block, NestingDepthIsBoundedAndTheCycleStackEndsEmpty) {
    auto nest = [](int depth) {
        Cell b = ints({});
        for (int i = 1; i < depth; ++i) {
            Cell outer = ints({});
            block::vs_append(&outer, &b);
            b = outer;
        }
        return b;
    };
    std::string text = molded(nest(999));
    EXPECT_EQ(text.size(), 999u * 2);
    Cell deeper = nest(1000);
    EXPECT_EQ(raised_by([&] { molded(deeper); }).code, err::too_deep);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Block, AppendAndInsertWithPartAndDup) {
    Cell pair = ints({1, 2});
    Cell three = count(3);
    Cell b = ints({});
    block::append(&b, &pair, nullptr, false, &three);
    EXPECT_EQ(molded(b), "[1 2 1 2 1 2]");

    Cell c = at_index(ints({1, 4}), 1);
    Cell middle = ints({2, 3});
    block::insert(&c, &middle, nullptr, false, nullptr);
    EXPECT_EQ(molded(c), "[4]");
    EXPECT_EQ(molded(at_index(c, 0)), "[1 2 3 4]");

    Cell d = at_index(ints({9}), 1);
    Cell source = at_index(ints({5, 6, 7}), 1);
    Cell one = count(1);
    block::append(&d, &source, &one, false, nullptr);
    EXPECT_EQ(d.s1, 0u);  // append answers the series at its head
    EXPECT_EQ(molded(d), "[9 6]");
    block::append(&d, &source, nullptr, true, nullptr);
    EXPECT_EQ(molded(d), "[9 6 [6 7]]");

    Cell zero = count(0);
    Cell e = at_index(ints({1}), 1);
    block::append(&e, &pair, nullptr, false, &zero);
    EXPECT_EQ(e.s1, 1u);
    EXPECT_EQ(molded(at_index(e, 0)), "[1]");
    Cell not_series = integer_cell(1);
    Cell other = ints({});
    EXPECT_EQ(raised_by([&] { block::append(&e, &not_series, &other, false, nullptr); }).code, err::invalid_part);
}

TEST_F(Block, InsertingABlockIntoItselfUsesItsOriginalCells) {
    Cell b = ints({1, 2});
    Cell self = b;
    block::append(&b, &self, nullptr, false, nullptr);
    EXPECT_EQ(molded(b), "[1 2 1 2]");
    Cell c = ints({1, 2});
    Cell from_second = at_index(c, 1);
    Cell target = c;
    block::insert(&target, &from_second, nullptr, false, nullptr);
    EXPECT_EQ(molded(c), "[2 1 2]");
}

TEST_F(Block, OversizedInsertionsRaiseNoMemoryAndChangeNothing) {
    Cell b = ints({1, 2});
    Cell big = count(0x7FFFFFFF);
    Cell source = ints({1, 2, 3});
    EXPECT_EQ(raised_by([&] { block::append(&b, &source, nullptr, false, &big); }).code, err::no_memory);
    Cell many = count(int32_t(block::MAX_CELLS / 3 + 1));
    EXPECT_EQ(raised_by([&] { block::change(&b, &source, nullptr, false, &many); }).code, err::no_memory);
    EXPECT_EQ(molded(b), "[1 2]");
}

TEST_F(Block, ChangeReplacesByPartOrByTheInsertedCount) {
    Cell xy = ints({7, 8});
    Cell one = count(1);
    Cell b = ints({1, 2, 3});
    block::change(&b, &xy, &one, false, nullptr);
    EXPECT_EQ(b.s1, 2u);
    EXPECT_EQ(molded(at_index(b, 0)), "[7 8 2 3]");

    Cell c = ints({1, 2, 3});
    Cell two = count(2);
    block::change(&c, &xy, nullptr, false, &two);
    EXPECT_EQ(molded(at_index(c, 0)), "[7 8 7 8]");

    Cell d = ints({1, 2, 3, 4});
    Cell nine = integer_cell(9);
    Cell three = count(3);
    block::change(&d, &nine, &three, false, nullptr);
    EXPECT_EQ(molded(at_index(d, 0)), "[9 4]");
    block::change(&d, &xy, nullptr, true, nullptr);
    EXPECT_EQ(molded(at_index(d, 0)), "[9 [7 8]]");
}

TEST_F(Block, DeepCopyCopiesNestedSeriesAndRefusesCycles) {
    Cell inner = ints({2});
    Cell s = text("t");
    Cell b = block_of({integer_cell(1), inner, s});
    Cell& copy = testing_gc::kept(b);  // the deep copy allocates after the new block is in place
    block::copy(&copy, nullptr, true, nullptr);
    EXPECT_EQ(molded(copy), "[1 [2] \"t\"]");
    Cell copied_inner = *block::vs_abs_at(&copy, 1);
    Cell copied_text = *block::vs_abs_at(&copy, 2);
    EXPECT_NE(copied_inner.s2, inner.s2);
    EXPECT_NE(copied_text.s2, s.s2);

    Cell shallow = b;
    block::copy(&shallow, nullptr, false, nullptr);
    EXPECT_EQ(block::vs_abs_at(&shallow, 1)->s2, inner.s2);

    Cell self = ints({1});
    Cell only = self;
    block::append(&self, &only, nullptr, true, nullptr);
    Cell target = self;
    EXPECT_EQ(raised_by([&] { block::copy(&target, nullptr, true, nullptr); }).code, err::no_cycle);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Block, CopyWithTypesCopiesOnlyThoseValues) {
    Cell inner = ints({2});
    Cell s = text("t");
    Cell b = block_of({inner, s});
    Cell strings = make_cell(TYPE_TYPESET);
    reinterpret_cast<uint8_t*>(&strings.s1)[TYPE_STRING >> 3] = uint8_t(0x80 >> (TYPE_STRING & 7));
    block::copy(&b, nullptr, false, &strings);
    EXPECT_EQ(block::vs_abs_at(&b, 0)->s2, inner.s2);
    EXPECT_NE(block::vs_abs_at(&b, 1)->s2, s.s2);

    Cell blocks = datatype_cell(TYPE_BLOCK);
    block::copy(&b, nullptr, false, &blocks);
    EXPECT_NE(block::vs_abs_at(&b, 0)->s2, inner.s2);
}

TEST_F(Block, TakeAnswersOneValueOrABlock) {
    Cell b = ints({1, 2, 3});
    Cell r = b;
    block::take(&r, nullptr, false, true);
    EXPECT_EQ(r.i32(), 3);
    r = b;
    block::take(&r, nullptr, false, false);
    EXPECT_EQ(r.i32(), 1);
    EXPECT_EQ(molded(b), "[2]");
    Cell one = count(1);
    r = b;
    block::take(&r, &one, false, false);
    EXPECT_EQ(molded(r), "[2]");
    r = ints({});
    block::take(&r, nullptr, false, false);
    EXPECT_TRUE(r.is(TYPE_NONE));

    Cell inner = ints({5});
    Cell outer = block_of({inner});
    r = outer;
    block::take(&r, nullptr, true, false);
    EXPECT_NE(r.s2, inner.s2);
    EXPECT_EQ(molded(r), "[5]");
}

TEST_F(Block, CompareCellByCell) {
    struct Case {
        Cell a;
        Cell b;
        int op;
        int expected;
    };
    Cell floats = block_of({float_cell(1.0)});
    const Case cases[] = {
        {ints({1, 2}), ints({1, 2, 3}), 0, 1},
        {ints({1, 2}), ints({1, 2, 3}), 3, -1},
        {ints({1}), floats, 0, 0},
        {ints({}), ints({1}), 3, -1},
        {ints({}), ints({}), 0, 0},
        {ints({1, 3}), ints({1, 2}), 3, 1},
        {ints({1}), block_of({text("a")}), 3, 1},  // ordered by type id
        {ints({1}), ints({1}), 9, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(block::compare(&c.a, &c.b, c.op), c.expected) << molded(c.a) << molded(c.b);
    Cell b = ints({1});
    Cell s = text("1");
    EXPECT_EQ(block::compare(&b, &s, 0), -2);
    EXPECT_EQ(block::compare(&b, &b, 9), 0);
}

TEST_F(Block, ComparingSelfContainingBlocksEnds) {
    Cell a = ints({1});
    Cell a_only = a;
    block::vs_append(&a, &a_only);
    Cell b = ints({1});
    Cell b_only = b;
    block::vs_append(&b, &b_only);
    EXPECT_EQ(block::compare(&a, &b, 0), 0);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Block, TrimRemovesNoneValues) {
    Cell b = block_of({integer_cell(1), none_cell(), integer_cell(2), none_cell()});
    block::trim(&b, false, false, false, false, false, nullptr);
    EXPECT_EQ(molded(b), "[1 2]");
}

TEST_F(Block, SwapExchangesHeadCells) {
    Cell a = ints({1, 2});
    Cell b = at_index(ints({3, 4}), 1);
    block::swap(&a, &b);
    EXPECT_EQ(molded(a), "[4 2]");
    EXPECT_EQ(molded(at_index(b, 0)), "[3 1]");
    Cell s = text("x");
    EXPECT_EQ(raised_by([&] { block::swap(&a, &s); }).code, err::invalid_arg);
}

TEST_F(Block, PutAppendsReplacesOrCompletesTheLastKey) {
    Cell b = ints({1, 2});
    auto put = [&b](int32_t key, int32_t value) {
        Cell k = integer_cell(key), v = integer_cell(value), r = b;
        block::put(&r, &k, &v, false);
        return r.i32();
    };
    EXPECT_EQ(put(1, 5), 5);
    EXPECT_EQ(molded(b), "[1 5]");
    put(5, 6);
    EXPECT_EQ(molded(b), "[1 5 6]");
    put(8, 5);
    EXPECT_EQ(molded(b), "[1 5 6 8 5]");
}

TEST_F(Block, MakeAndTo) {
    Cell proto = datatype_cell(TYPE_BLOCK);
    Cell size = integer_cell(-5);
    block::make(&proto, &size, TYPE_BLOCK);
    EXPECT_EQ(molded(proto), "[]");
    EXPECT_GE(series::buffer_of(&proto)->capacity, 16u);

    Cell huge = integer_cell(2147483647);
    EXPECT_EQ(raised_by([&] { block::make(&proto, &huge, TYPE_BLOCK); }).code, err::no_memory);
    Cell too_big = float_cell(1e20);
    EXPECT_EQ(raised_by([&] { block::make(&proto, &too_big, TYPE_BLOCK); }).code, err::out_of_range);
    Cell bad = none_cell();
    Raised e = raised_by([&] { block::make(&proto, &bad, TYPE_BLOCK); });
    EXPECT_EQ(e.code, err::bad_make_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].s1, uint32_t(TYPE_BLOCK));

    Cell source = at_index(ints({1, 2, 3}), 1);
    block::make(&proto, &source, TYPE_PAREN);
    EXPECT_TRUE(proto.is(TYPE_PAREN));
    EXPECT_NE(proto.s2, source.s2);
    proto.set_type(TYPE_BLOCK);
    EXPECT_EQ(molded(proto), "[2 3]");

    Cell five = integer_cell(5);
    block::to(&proto, &five, TYPE_BLOCK);
    EXPECT_EQ(molded(proto), "[5]");
}

TEST_F(Block, PathAccessByIndexAndKey) {
    Cell b = ints({10, 20, 30});
    PathStep step{};
    auto path = [&](Cell parent, Cell element, const Cell* value) {
        block::eval_path(&parent, &element, value, step);
        return parent;
    };
    EXPECT_EQ(path(b, integer_cell(2), nullptr).i32(), 20);
    Cell seven = integer_cell(7);
    EXPECT_EQ(path(b, integer_cell(2), &seven).i32(), 7);
    EXPECT_EQ(molded(b), "[10 7 30]");
    Cell keyed = block_of({char_cell('k'), integer_cell(1)});
    Cell eight = integer_cell(8);
    path(keyed, char_cell('k'), &eight);  // the value after the key
    EXPECT_EQ(block::vs_abs_at(&keyed, 1)->i32(), 8);
    EXPECT_EQ(raised_by([&] { path(keyed, char_cell('z'), &eight); }).code, err::bad_path_set);

    Cell words = block_of({make_cell(TYPE_SET_WORD, 0, 42), integer_cell(1)});
    EXPECT_EQ(path(words, make_cell(TYPE_WORD, 0, 42), nullptr).i32(), 1);
    EXPECT_TRUE(path(words, make_cell(TYPE_WORD, 0, 43), nullptr).is(TYPE_NONE));
}

TEST_F(Block, LargeBlocksMoveToABigFrame) {
    Cell b = ints({});
    for (int32_t i = 0; i < 300000; ++i) {
        Cell v = integer_cell(i);
        block::vs_append(&b, &v);
    }
    EXPECT_EQ(block::vs_length(&b), 300000u);
    EXPECT_NE(series::buffer_of(&b)->flags & SERIES_BIG, 0u);
    EXPECT_EQ(block::vs_abs_at(&b, 299999)->i32(), 299999);
}

TEST_F(Block, ReadersAndWritersRepairAHeadBeyondTheTail) {
    Cell b = ints({1, 2, 3});
    Cell far = at_index(b, 3);
    block::vs_clip(&b, 1);
    EXPECT_EQ(block::vs_length(&far), 0u);
    EXPECT_EQ(block::vs_head(&far), block::vs_tail(&far));
    EXPECT_EQ(far.s1, 1u);
    Cell v = integer_cell(4);
    far.s1 = 9;
    block::vs_insert(&far, &v, true, false);
    EXPECT_EQ(far.s1, 2u);
    EXPECT_EQ(molded(b), "[1 4]");
    block::vs_remove_last(&far);
    EXPECT_EQ(far.s1, 1u);
}

TEST_F(Block, BlockWritersAndTheirStackForms) {
    Cell b = ints({1, 2});
    Cell self = at_index(b, 1);
    block::vs_append_block(&b, &self);
    EXPECT_EQ(molded(b), "[1 2 2]");
    Cell target = at_index(b, 1);
    Cell pair = ints({8, 9});
    block::insert_block(&target, &pair);
    EXPECT_EQ(target.s1, 3u);
    EXPECT_EQ(molded(b), "[1 8 9 2 2]");

    Cell* list = stack::push(ints({}));
    stack::push(integer_cell(5));
    block::append_from_stack();
    stack::base = list;
    block::append_next_from_stack();
    EXPECT_EQ(molded(*list), "[5 5]");
    stack::base = list + 1;
    *stack::base = integer_cell(4);
    block::insert_from_stack();
    EXPECT_EQ(molded(at_index(*list, 0)), "[4 5 5]");
    EXPECT_EQ(list->s1, 1u);
    stack::reset_all();
}

TEST_F(Block, SelectAndRemoveByValue) {
    Cell b = ints({1, 2, 3});
    Cell two = integer_cell(2), three = integer_cell(3), nine = integer_cell(9);
    EXPECT_EQ(block::vs_select(&b, &two).i32(), 3);
    EXPECT_TRUE(block::vs_select(&b, &three).is(TYPE_NONE));
    EXPECT_FALSE(block::remove_value(&b, &nine, false));
    Cell at_two = at_index(b, 1);
    EXPECT_TRUE(block::remove_value(&at_two, &two, false));
    EXPECT_EQ(molded(b), "[1 3]");
}

// In the stress build each of these writes collects while it grows the block.
TEST_F(Block, HandedOverValuesSurviveTheGrowthTheyCause) {
    Cell b = ints({1});
    const Cell appended = loose_text("a");
    block::vs_append(&b, &appended);
    const Cell spliced = loose_block("b");
    block::append(&b, &spliced, nullptr, false, nullptr);
    const Cell only = loose_block("c");
    block::insert(&b, &only, nullptr, true, nullptr);
    Cell key = integer_cell(7), r = b;
    const Cell value = loose_text("d");
    block::put(&r, &key, &value, false);
    EXPECT_EQ(molded(at_index(b, 0)), "[[\"c\"] 1 \"a\" \"b\" 7 \"d\"]");
    const Cell source = loose_block("e");
    Cell* copy = block::clone(&source, true, false);
    EXPECT_EQ(molded(*copy), "[\"e\"]");
    stack::pop(1);
}

TEST_F(Block, MakersAndCloning) {
    Cell parent = ints({1});
    Cell* child = block::make_in(&parent, 4);
    Cell v = integer_cell(2);
    block::vs_append(child, &v);
    EXPECT_EQ(molded(parent), "[1 [2]]");
    block::make_in(nullptr, 0);
    EXPECT_TRUE(block::holder()->is(TYPE_BLOCK));

    Cell fixed;
    block::make_fixed_at(&fixed, 3, false);
    EXPECT_EQ(block::vs_length(&fixed), 3u);
    EXPECT_TRUE(block::vs_abs_at(&fixed, 2)->is(TYPE_UNSET));
    block::make_fixed_at(&fixed, 3, true);
    EXPECT_NE(series::buffer_of(&fixed)->flags & SERIES_FIXED, 0u);

    Cell inner = ints({5});
    Cell paren = inner;
    paren.set_type(TYPE_PAREN);
    Cell source = block_of({flagged(inner), paren});
    Cell* deep = block::clone(&source, true, false);
    Cell cloned_inner = *block::vs_abs_at(deep, 0);
    EXPECT_NE(cloned_inner.s2, inner.s2);
    EXPECT_TRUE(cloned_inner.has_flag(FLAG_NEW_LINE));
    EXPECT_EQ(block::vs_abs_at(deep, 1)->s2, inner.s2);  // parens only with all-lists
    Cell* all = block::clone(&source, true, true);
    EXPECT_NE(block::vs_abs_at(all, 1)->s2, inner.s2);
    stack::pop(2);
}

}  // namespace
