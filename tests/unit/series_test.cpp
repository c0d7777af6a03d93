// series! handlers on blocks, strings, binaries and vectors: positions clamp, pick and poke by
// type, and the modifying actions keep the buffer consistent at the edges (empty rest, head
// beyond the tail, zero and negative parts, parts naming another series).
#include "series_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_support;

namespace {

class Series : public SeriesTest {};

Cell part_of(int32_t n) { return integer_cell(n); }

TEST_F(Series, AtAndSkipClampToTheSeries) {
    struct Case {
        int32_t head;
        bool at;
        int32_t arg;
        uint32_t expected;
    };
    const Case cases[] = {
        {0, true, 0, 0},  {0, true, 1, 0},    {1, true, -1, 0}, {2, true, -1, 1}, {1, true, 2, 2},
        {0, true, 9, 3},  {0, false, 10, 3},  {2, false, -5, 0}, {1, false, 1, 2}, {7, false, -1, 2},
    };
    for (const Case& c : cases) {
        Cell b = at_index(ints({1, 2, 3}), c.head);
        Cell arg = integer_cell(c.arg);
        if (c.at) series::at(&b, &arg);
        else series::skip(&b, &arg);
        EXPECT_EQ(b.s1, c.expected) << "head " << c.head << (c.at ? " at " : " skip ") << c.arg;
    }
}

TEST_F(Series, PositionArgumentMustBeAnInteger) {
    Cell b = ints({1});
    Cell arg = none_cell();
    Raised r = raised_by([&] { series::at(&b, &arg); });
    EXPECT_EQ(r.code, err::invalid_arg);
    ASSERT_EQ(r.args.size(), 1u);
    EXPECT_TRUE(r.args[0].is(TYPE_NONE));
}

TEST_F(Series, NextAndBackStopAtTheEnds) {
    Cell b = ints({1, 2});
    series::back(&b);
    EXPECT_EQ(b.s1, 0u);
    EXPECT_TRUE(series::head_q(&b));
    series::next(&b);
    series::next(&b);
    series::next(&b);
    EXPECT_EQ(b.s1, 2u);
    EXPECT_TRUE(series::tail_q(&b));
    EXPECT_EQ(series::index_q(&b), 3);
    series::head(&b);
    series::tail(&b);
    EXPECT_EQ(b.s1, 2u);
}

TEST_F(Series, AHeadLeftBeyondTheTailCountsAsTheTail) {
    Cell b = ints({1, 2, 3});
    Cell c = at_index(b, 1);
    series::clear(&b);
    EXPECT_EQ(series::length_q(&c), 0);
    EXPECT_TRUE(series::tail_q(&c));
    Cell picked = c;
    series::pick(&picked, -1, nullptr);
    EXPECT_TRUE(picked.is(TYPE_NONE));
    series::back(&c);
    EXPECT_EQ(c.s1, 0u);
}

TEST_F(Series, PickByIndexAndType) {
    Cell b = at_index(ints({10, 20, 30}), 1);
    struct Case {
        int32_t index;
        int32_t expected;  // 0 for none
    };
    for (Case c : {Case{0, 0}, Case{-1, 10}, Case{1, 20}, Case{2, 30}, Case{3, 0}, Case{-2, 0}}) {
        Cell r = b;
        series::pick(&r, c.index, nullptr);
        if (c.expected == 0) EXPECT_TRUE(r.is(TYPE_NONE)) << c.index;
        else EXPECT_EQ(r.i32(), c.expected) << c.index;
    }

    Cell s = text("a\xC3\xA9");
    series::pick(&s, 2, nullptr);
    EXPECT_TRUE(s.is(TYPE_CHAR));
    EXPECT_EQ(s.s2, 0xE9u);

    Cell& bin = testing_gc::kept(string::make(2));
    bin.set_type(TYPE_BINARY);
    string::concatenate_literal(&bin, "\xC8");
    series::pick(&bin, 1, nullptr);
    EXPECT_TRUE(bin.is(TYPE_INTEGER));
    EXPECT_EQ(bin.i32(), 200);

    Cell& vec = testing_gc::kept(string::make(2));
    vec = make_cell(TYPE_VECTOR, 0, vec.s2, TYPE_INTEGER);
    string::concatenate_literal(&vec, "\xC8");
    series::pick(&vec, 1, nullptr);
    EXPECT_TRUE(vec.is(TYPE_INTEGER));
    EXPECT_EQ(vec.i32(), -56);  // 8-bit elements read sign-extended
}

TEST_F(Series, PokeStoresByTypeAndRefusesBadPositionsAndValues) {
    Cell b = ints({1, 2});
    Cell x = integer_cell(9);
    Cell r = b;
    series::poke(&r, 2, nullptr, &x);
    EXPECT_EQ(r.i32(), 9);
    EXPECT_EQ(molded(b), "[1 9]");

    for (int32_t bad : {0, 3, -1}) {
        Cell target = b;
        Raised e = raised_by([&] { series::poke(&target, bad, nullptr, &x); });
        EXPECT_EQ(e.code, err::out_of_range);
        ASSERT_EQ(e.args.size(), 1u);
        EXPECT_EQ(e.args[0].i32(), bad);
    }
    EXPECT_EQ(molded(b), "[1 9]");

    Cell s = text("ab");
    Cell wide = char_cell(0x3A9);
    Cell target = s;
    series::poke(&target, 1, nullptr, &wide);
    EXPECT_EQ(string::to_utf8(&s), "\xCE\xA9" "b");
    target = s;
    EXPECT_EQ(raised_by([&] { series::poke(&target, 1, nullptr, &x); }).code, err::invalid_arg);
}

TEST_F(Series, RemoveCountsPositionsAndKeys) {
    Cell b = ints({1, 2, 3, 4});
    Cell two = part_of(2);
    series::remove(&b, &two, nullptr);
    EXPECT_EQ(molded(b), "[3 4]");

    for (int32_t n : {0, -3}) {
        Cell c = ints({1, 2});
        Cell part = part_of(n);
        series::remove(&c, &part, nullptr);
        EXPECT_EQ(molded(c), "[1 2]");
    }

    Cell d = ints({1, 2, 3, 4, 5});
    Cell end = at_index(d, 3);
    Cell start = at_index(d, 1);
    series::remove(&start, &end, nullptr);
    EXPECT_EQ(molded(d), "[1 4 5]");

    Cell other = ints({1});
    Raised e = raised_by([&] { series::remove(&d, &other, nullptr); });
    EXPECT_EQ(e.code, err::invalid_refine_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(word_text(e.args[0]), "part");

    Cell keyed = ints({1, 2, 3, 4});
    Cell key = integer_cell(2);
    Cell one = part_of(1);
    Cell result = keyed;
    series::remove(&result, &one, &key);
    EXPECT_EQ(result.s1, 1u);
    EXPECT_EQ(molded(keyed), "[1 4]");
    Cell missing = integer_cell(7);
    result = keyed;
    series::remove(&result, nullptr, &missing);
    EXPECT_TRUE(result.is(TYPE_NONE));
}

TEST_F(Series, ReverseWholeRestPartAndRecords) {
    Cell b = at_index(ints({1, 2, 3, 4}), 1);
    series::reverse(&b, nullptr, nullptr);
    EXPECT_EQ(molded(b), "[4 3 2]");

    Cell p = ints({1, 2, 3, 4});
    Cell two = part_of(2);
    series::reverse(&p, &two, nullptr);
    EXPECT_EQ(molded(p), "[2 1 3 4]");

    Cell r = ints({1, 2, 3, 4, 5, 6});
    series::reverse(&r, nullptr, &two);
    EXPECT_EQ(molded(r), "[5 6 3 4 1 2]");

    Cell six = part_of(6);
    series::reverse(&r, nullptr, &six);
    EXPECT_EQ(molded(r), "[5 6 3 4 1 2]");

    Cell zero = part_of(0);
    EXPECT_EQ(raised_by([&] { series::reverse(&r, nullptr, &zero); }).code, err::out_of_range);
    Cell four = part_of(4);
    Raised e = raised_by([&] { series::reverse(&r, nullptr, &four); });
    EXPECT_EQ(e.code, err::invalid_refine_arg);
    EXPECT_EQ(word_text(e.args[0]), "skip");
    Cell word = none_cell();
    EXPECT_EQ(raised_by([&] { series::reverse(&r, nullptr, &word); }).code, err::invalid_refine_arg);

    Cell s = text("abc");
    series::reverse(&s, nullptr, nullptr);
    EXPECT_EQ(string::to_utf8(&s), "cba");
}

TEST_F(Series, TakeRuns) {
    struct Case {
        int32_t head;
        int32_t part;
        bool last;
        const char* taken;
        const char* left;
    };
    const Case cases[] = {
        {0, 2, false, "[1 2]", "[3 4]"},
        {0, 2, true, "[3 4]", "[1 2]"},
        {0, 9, false, "[1 2 3 4]", "[]"},
        {2, -2, false, "[1 2]", "[3 4]"},
        {1, -5, false, "[1]", "[2 3 4]"},
        {2, -1, true, "[]", "[1 2 3 4]"},
        {1, 0, false, "[]", "[1 2 3 4]"},  // a part of 0 takes nothing
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4});
        Cell r = at_index(b, c.head);
        Cell part = part_of(c.part);
        series::take(&r, &part, false, c.last);
        EXPECT_EQ(molded(r), c.taken) << c.head << " " << c.part;
        EXPECT_EQ(molded(b), c.left) << c.head << " " << c.part;
    }
}

TEST_F(Series, TakeWithAPositionOrOnAnEmptyRest) {
    Cell b = ints({1, 2, 3, 4});
    Cell r = b;
    Cell end = at_index(b, 3);
    series::take(&r, &end, false, true);  // with last: from that position on
    EXPECT_EQ(molded(r), "[4]");

    Cell at_tail = at_index(ints({1}), 1);
    series::take(&at_tail, nullptr, false, false);
    EXPECT_TRUE(at_tail.is(TYPE_NONE));

    Cell s = text("xyz");
    Cell two = part_of(2);
    series::take(&s, &two, false, false);
    EXPECT_TRUE(s.is(TYPE_STRING));
    EXPECT_EQ(string::to_utf8(&s), "xy");
}

TEST_F(Series, CopyParts) {
    struct Case {
        Cell part;
        int32_t head;
        const char* copied;
    };
    Cell b = ints({1, 2, 3, 4});
    const Case cases[] = {
        {part_of(-2), 4, "[3 4]"},
        {part_of(-9), 2, "[1 2]"},
        {part_of(2), 1, "[2 3]"},
        {part_of(9), 3, "[4]"},
        {make_cell(TYPE_PAIR, 0, 2, 4), 0, "[2 3]"},
        {make_cell(TYPE_PAIR, 0, uint32_t(-1), 1), 2, "[2 3]"},
        {at_index(b, 3), 1, "[2 3]"},
        {at_index(b, 0), 2, "[1 2]"},
    };
    for (const Case& c : cases) {
        Cell r = at_index(b, c.head);
        series::copy(&r, &c.part, false, nullptr);
        EXPECT_EQ(molded(r), c.copied) << c.head;
        EXPECT_NE(r.s2, b.s2);
    }
    Cell other = ints({1});
    EXPECT_EQ(raised_by([&] { series::copy(&b, &other, false, nullptr); }).code, err::invalid_refine_arg);
}

TEST_F(Series, CopyKeepsTheNewLineMarkAndDropsTheOwnerMark) {
    Cell b = ints({1});
    b.set_flag(FLAG_NEW_LINE);
    memory::set_flags(b.s2, SERIES_OWNED);
    series::copy(&b, nullptr, false, nullptr);
    EXPECT_TRUE(b.has_flag(FLAG_NEW_LINE));
    EXPECT_EQ(series::buffer_of(&b)->flags & SERIES_OWNED, 0u);
    EXPECT_EQ(series::buffer_of(&b)->unit(), 16);

    Cell s = text("h\xC3\xA9llo");
    Cell part = part_of(2);
    series::copy(&s, &part, false, nullptr);
    EXPECT_EQ(string::to_utf8(&s), "h\xC3\xA9");
}

TEST_F(Series, MoveWithinOneSeries) {
    struct Case {
        int32_t from;
        int32_t to;
        int32_t part;
        const char* result;
    };
    const Case cases[] = {
        {0, 0, 1, "[1 2 3 4 5]"},  // onto itself
        {0, 5, 1, "[2 3 4 5 1]"},  // forward to the tail: last
        {0, 2, 1, "[2 3 1 4 5]"},
        {3, 1, 2, "[1 4 5 2 3]"},
        {0, 3, 2, "[3 4 1 2 5]"},
        {0, 3, 3, "[1 2 3 4 5]"},  // too few after the target
        {0, 1, 3, "[1 2 3 4 5]"},  // target inside the run
    };
    for (const Case& c : cases) {
        Cell b = ints({1, 2, 3, 4, 5});
        Cell origin = at_index(b, c.from);
        Cell target = at_index(b, c.to);
        Cell part = part_of(c.part);
        series::move(&origin, &target, &part);
        EXPECT_EQ(molded(b), c.result) << c.from << " -> " << c.to;
    }
}

TEST_F(Series, MoveBetweenSeries) {
    Cell a = ints({1, 2, 3});
    Cell b = at_index(ints({7, 8}), 1);
    Cell origin = a;
    Cell two = part_of(2);
    series::move(&origin, &b, &two);
    EXPECT_EQ(origin.s2, b.s2);
    EXPECT_EQ(molded(a), "[3]");
    EXPECT_EQ(molded(at_index(b, 0)), "[7 1 2 8]");

    Cell s = text("ab");
    Raised e = raised_by([&] { series::move(&a, &s, nullptr); });
    EXPECT_EQ(e.code, err::move_bad);
    Cell not_series = integer_cell(1);
    EXPECT_EQ(raised_by([&] { series::move(&a, &not_series, nullptr); }).code, err::expect_arg);
}

TEST_F(Series, ChildTypesInheritTheHandlers) {
    EXPECT_STREQ(datatype::name_of(TYPE_SERIES), "series!");
    EXPECT_EQ(datatype::handler<A_AT>(TYPE_BLOCK), &series::at);
    EXPECT_EQ(datatype::handler<A_PICK>(TYPE_STRING), &series::pick);
    EXPECT_EQ(datatype::handler<A_TAKE>(TYPE_BLOCK), &block::take);
    EXPECT_FALSE(datatype::supports(TYPE_SERIES, A_APPEND));
}

}  // namespace
