// string! actions and the shared text routines, driven through the handlers as the action entries
// call them. integer! forming, series! pick/poke and comparison functions are small stand-ins.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

// Values made here are kept for the rest of the test.
Cell text(std::string_view utf8, int unit = 1) {
    Cell& s = testing_gc::kept(string::make(uint32_t(utf8.size()), unit));
    string::append_utf8(&s, utf8);
    return s;
}

Cell text_at(std::string_view utf8, uint32_t head) {
    Cell s = text(utf8);
    s.s1 = head;
    return s;
}

std::string utf8(const Cell& s) { return string::to_utf8(&s); }

// The whole text, whatever the head.
std::string whole(Cell s) {
    s.s1 = 0;
    return utf8(s);
}

Cell block_of(std::initializer_list<Cell> cells) {
    NodeId node = memory::alloc_cells(cells.size());
    Series* b = memory::series_of(node);
    std::copy(cells.begin(), cells.end(), b->cells());
    b->tail = b->head + uint32_t(cells.size() * sizeof(Cell));
    return testing_gc::kept(make_cell(TYPE_BLOCK, 0, node, 0));
}

Cell bitset_of(std::initializer_list<uint32_t> members, bool complement = false) {
    NodeId node = memory::alloc_bytes(16);
    Series* b = memory::series_of(node);
    std::memset(b->data(), 0, 16);
    for (uint32_t m : members) b->data()[m >> 3] |= uint8_t(0x80u >> (m & 7));
    b->tail = 16;
    if (complement) b->flags |= SERIES_COMPLEMENT;
    return testing_gc::kept(make_cell(TYPE_BITSET, 0, node, 0));
}

// The error a call raises, or no_value as a marker that it raised none.
err::Code error_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const Unwind& exit) {
        EXPECT_EQ(exit.code, EXIT_ERROR);
        return last_raw_error();
    }
    return err::no_value;
}

class StringActions : public testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory", "type-registry", "series!", "string!", "integer!", "stack", "symbols",
                                "global-context"});
        string::set_function_caller(nullptr);
        testing_gc::collect_at_every_allocation();
    }
    void TearDown() override { testing_gc::stop_collecting(); }
};

// ---- storage ----

TEST_F(StringActions, StoringKeepsUnitOneUpTo255AndWidensBeyond) {
    Cell s = text("ab");
    NodeId node = string::node_of(&s);
    string::poke_char(node, 0, 200);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 1);
    string::poke_char(node, 1, 300);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 2);
    string::insert_char(node, 0, 70000);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 4);
    EXPECT_EQ(utf8(s), "\xF0\x91\x85\xB0\xC3\x88\xC4\xAC");
    string::poke_char(node, 5, 'z');  // past the tail: the gap reads as NULs
    EXPECT_EQ(string::length(&s), 6u);
    EXPECT_EQ(string::abs_at(&s, 3), 0u);
    string::remove_part(node, 1, 10);
    EXPECT_EQ(string::length(&s), 1u);

    Cell source = text_at("xabc", 1);
    Cell target = text_at("\xCE\xA9!", 1);
    string::move_chars(&source, &target, 2);
    EXPECT_EQ(whole(source), "xc");
    EXPECT_EQ(whole(target), "\xCE\xA9" "ab!");
}

TEST_F(StringActions, ConcatenateWritesInEachModeAndReadsASharedSourceFirst) {
    Cell target = text("abcd");
    Cell source = text("XY");
    string::concatenate(&target, &source, -1, 1, string::Mode::insert);
    EXPECT_EQ(utf8(target), "aXYbcd");
    string::concatenate(&target, &source, 1, 5, string::Mode::overwrite);
    EXPECT_EQ(utf8(target), "aXYbcX");
    string::concatenate(&target, &source, -1, 5, string::Mode::overwrite);
    EXPECT_EQ(utf8(target), "aXYbcXY");
    Cell self = target;
    self.s1 = 5;
    string::concatenate(&target, &self, -1, 0, string::Mode::insert);
    EXPECT_EQ(utf8(target), "XYaXYbcXY");
    Cell wide = text("\xCE\xA9");
    string::append_string(&target, &wide);
    EXPECT_EQ(string::buffer_of(&target)->unit(), 2);
    EXPECT_EQ(string::buffer_of(&wide)->unit(), 2);
    Cell narrow = text("q");
    string::append_string(&target, &narrow);
    EXPECT_EQ(string::buffer_of(&narrow)->unit(), 1);  // the source is never widened
    EXPECT_EQ(utf8(target), "XYaXYbcXY\xCE\xA9q");
}

TEST_F(StringActions, EqualFollowsItsOperatorAndMatchRules) {
    struct Case {
        const char* a;
        const char* b;
        int op;
        bool match;
        int expected;
    };
    const Case cases[] = {
        {"abc", "ABC", string::OP_EQUAL, false, 0},
        {"abc", "ABC", string::OP_STRICT_EQUAL, false, 1},
        {"abc", "ABC", string::OP_CASE_SORT, false, 1},
        {"ab", "abc", string::OP_LESSER, false, -1},
        {"abd", "abc", string::OP_LESSER, false, 1},
        {"abc", "ab", string::OP_GREATER, false, 1},
        {"ab", "abc", string::OP_EQUAL, false, 1},
        {"b", "abc", string::OP_EQUAL, false, 1},
        {"", "", string::OP_LESSER, false, 0},
        {"", "a", string::OP_LESSER, false, -1},
        {"a", "", string::OP_LESSER, false, 1},
        {"\xC3\xA9", "\xC3\x89", string::OP_EQUAL, false, 0},
        {"abcdef", "abc", string::OP_EQUAL, true, 0},
        {"abcdef", "abd", string::OP_EQUAL, true, -1},
        {"abcdef", "abcdefg", string::OP_EQUAL, true, 1},
        {"abcdef", "", string::OP_EQUAL, true, 0},
        {"abcdef", "", string::OP_FIND, true, 1},
        {"abc", "abc", string::OP_SAME, false, -1},
    };
    for (const Case& c : cases) {
        Cell a = text(c.a);
        Cell b = text(c.b);
        EXPECT_EQ(string::equal(&a, &b, c.op, c.match), c.expected) << c.a << " / " << c.b << " op " << c.op;
    }
    Cell a = text("abc");
    Cell same = a;
    EXPECT_EQ(string::equal(&a, &same, string::OP_SAME, false), 0);
}

TEST_F(StringActions, CompareAcceptsOtherTextTypesOnlyForEquality) {
    Cell a = text("abc");
    Cell upper = text("ABC");
    EXPECT_EQ(string::compare(&a, &upper, string::OP_EQUAL), 0);
    EXPECT_NE(string::compare(&a, &upper, string::OP_STRICT_EQUAL), 0);
    Cell shorter = text("ab");
    EXPECT_EQ(string::compare(&shorter, &a, string::OP_LESSER), -1);
    Cell file = text("ABC");
    file.set_type(TYPE_FILE);
    EXPECT_EQ(string::compare(&a, &file, string::OP_EQUAL), 0);
    EXPECT_EQ(string::compare(&a, &file, string::OP_LESSER), -2);
    Cell number = integer_cell(1);
    EXPECT_EQ(string::compare(&a, &number, string::OP_EQUAL), -2);
}

TEST_F(StringActions, TextPredicates) {
    Cell s = text("<ab>cd");
    Cell inner = text("ab");
    inner.set_type(TYPE_TAG);
    EXPECT_TRUE(string::angle_enclosed(&s, &inner));
    EXPECT_TRUE(string::match_head(&s, &inner, string::OP_EQUAL));
    Cell lt = char_cell('<');
    EXPECT_TRUE(string::match_head(&s, &lt, string::OP_EQUAL));
    Cell prefix = text("<AB");
    EXPECT_TRUE(string::match_head(&s, &prefix, string::OP_EQUAL));
    EXPECT_FALSE(string::match_head(&s, &prefix, string::OP_STRICT_EQUAL));
    EXPECT_TRUE(string::starts_with_text(&s, "<ab"));
    EXPECT_FALSE(string::starts_with_text(&s, "<AB"));
    EXPECT_EQ(string::find_char(&s, 'c'), 4);
    EXPECT_EQ(string::find_char(&s, 'z'), -1);
    Cell records = text("abCD");
    EXPECT_TRUE(string::find_char_step(&records, 'c', 2, false));
    EXPECT_FALSE(string::find_char_step(&records, 'c', 2, true));
    EXPECT_FALSE(string::find_char_step(&records, 'b', 2, false));
    Cell letters = bitset_of({'<'});
    EXPECT_TRUE(string::head_in_bitset(&s, &letters));
}

// ---- mold and form ----

TEST_F(StringActions, MoldEscapesAndChoosesItsDelimiters) {
    struct Case {
        std::string in;
        bool all;
        const char* out;
    };
    const Case cases[] = {
        {"a\nb", false, "\"a^/b\""},
        {"a\tb^", false, "\"a^-b^^\""},
        {std::string("a\x1E" "b\x7F", 4), false, "\"a^(1E)b^~\""},
        {"\xC3\xA9", false, "\"\xC3\xA9\""},
        {"\xC3\xA9", true, "\"^(E9)\""},
        {"\xC2\x85", false, "\"^(85)\""},
        {std::string("\0", 1), false, "\"^@\""},
        {"a\"b", false, "{a\"b}"},
        {"a\nb\nc\nd", false, "{a^/b^/c^/d}"},
        {"a\nb\nc", false, "\"a^/b^/c\""},
        {"{", false, "\"{\""},
        {"\"{a}", false, "{\"{a}}"},
        {"\"{a", false, "{\"^{a}"},
        {"\"}{", false, "{\"^}^{}"},
        {"\"{{}", false, "{\"^{^{^}}"},
        {"\"{}{", false, "{\"{}^{}"},
        {"\"^\t", false, "{\"^^^-}"},
        {std::string(50, 'x'), false, nullptr},
    };
    for (const Case& c : cases) {
        Cell s = text(c.in);
        Cell& out = testing_gc::kept(string::make(0));
        int32_t left = string::mold(&s, &out, MoldArgs{false, c.all, false, 0}, nullptr, 100);
        std::string expected = c.out ? c.out : "{" + c.in + "}";
        EXPECT_EQ(utf8(out), expected);
        EXPECT_EQ(left, 100 - int32_t(string::length(&s)) - 2);
    }
}

TEST_F(StringActions, MoldAndFormStopAtTheirPartBudget) {
    Cell s = text("abcdef");
    Cell& out = testing_gc::kept(string::make(0));
    Cell part = integer_cell(3);
    EXPECT_EQ(string::mold(&s, &out, MoldArgs{}, &part, 3), -2);
    EXPECT_EQ(utf8(out), "\"abc\"");
    Cell& formed = testing_gc::kept(string::make(0));
    EXPECT_EQ(string::form(&s, &formed, &part, 4), -2);
    EXPECT_EQ(utf8(formed), "abcd");
    EXPECT_EQ(string::form(&s, &formed, nullptr, 0), -6);
    EXPECT_EQ(utf8(formed), "abcdabcdef");
}

// ---- make and to ----

TEST_F(StringActions, MakeTakesASizeOrConverts) {
    Cell& result = testing_gc::kept(datatype_cell(TYPE_STRING));
    Cell size = float_cell(20.9);
    string::make(&result, &size, TYPE_FILE);
    EXPECT_TRUE(result.is(TYPE_FILE));
    EXPECT_EQ(string::length(&result), 0u);
    EXPECT_GE(string::buffer_of(&result)->capacity, 20u);

    Cell negative = integer_cell(-1);
    EXPECT_EQ(error_of([&] { string::make(&result, &negative, TYPE_STRING); }), err::out_of_range);
    Cell nan = float_cell(std::nan(""));
    EXPECT_EQ(error_of([&] { string::make(&result, &nan, TYPE_STRING); }), err::out_of_range);
    Cell huge = float_cell(1e10);
    EXPECT_EQ(error_of([&] { string::make(&result, &huge, TYPE_STRING); }), err::out_of_range);
    Cell too_big = integer_cell(0x7FFFFFFF);
    Cell wide = text("\xCE\xA9");
    EXPECT_EQ(error_of([&] { string::make(&wide, &too_big, TYPE_STRING); }), err::no_memory);

    Cell money = make_cell(TYPE_MONEY);
    EXPECT_EQ(error_of([&] { string::make(&result, &money, TYPE_BINARY); }), err::bad_make_arg);

    Cell spec = text_at("xyz", 1);
    string::make(&result, &spec, TYPE_URL);
    EXPECT_TRUE(result.is(TYPE_URL));
    EXPECT_EQ(utf8(result), "yz");
}

TEST_F(StringActions, ToConvertsEachKindOfSpec) {
    Cell& result = testing_gc::kept(datatype_cell(TYPE_STRING));
    Cell block = block_of({integer_cell(1), text("ab"), integer_cell(-2)});
    string::to(&result, &block, TYPE_STRING);
    EXPECT_EQ(utf8(result), "1ab-2");

    Cell number = integer_cell(42);
    string::to(&result, &number, TYPE_TAG);
    EXPECT_TRUE(result.is(TYPE_TAG));
    EXPECT_EQ(utf8(result), "42");

    const char bytes[] = "h\xC3\xA9";
    NodeId node = testing_gc::kept(make_cell(TYPE_BINARY, 0, memory::alloc_bytes(3), 0)).s2;
    std::memcpy(memory::series_of(node)->data(), bytes, 3);
    memory::series_of(node)->tail = 3;
    Cell binary = make_cell(TYPE_BINARY, 0, node, 0);
    string::to(&result, &binary, TYPE_STRING);
    EXPECT_EQ(utf8(result), "h\xC3\xA9");
    memory::series_of(node)->tail = 2;  // cut inside the two-byte sequence
    EXPECT_EQ(error_of([&] { string::to(&result, &binary, TYPE_STRING); }), err::invalid_utf8);

    Cell none = none_cell();
    EXPECT_EQ(error_of([&] { string::to(&result, &none, TYPE_STRING); }), err::bad_to_arg);
}

// ---- append, insert, change ----

TEST_F(StringActions, AppendAddsEachKindOfValue) {
    struct Case {
        Cell value;
        int32_t part;  // -1: none
        bool only;
        int32_t dup;
        const char* expected;
    };
    Case cases[] = {
        {text("\xCE\xA9"), -1, false, 1, "ab\xCE\xA9"},
        {text("xyz"), 2, false, 1, "abxy"},
        {text("b"), -1, false, 3, "abbbb"},
        {text("b"), -1, false, 0, "ab"},
        {char_cell('!'), -1, false, 2, "ab!!"},
        {block_of({integer_cell(1), integer_cell(2)}), -1, false, 1, "ab12"},
        {block_of({integer_cell(1), integer_cell(22), integer_cell(3)}), 2, false, 1, "ab122"},
        {block_of({text("xyz"), text("uv")}), 4, true, 1, "abxyzu"},
        {integer_cell(12345), 3, false, 1, "ab123"},
        {text("b"), -1, false, 1, "abb"},
        {text("i"), 2, false, 1, "ab<i"},
    };
    cases[10].value.set_type(TYPE_TAG);
    cases[9].value.set_type(TYPE_TAG);
    cases[9].expected = "ab<b>";
    for (const Case& c : cases) {
        Cell s = text_at("ab", 1);
        Cell part = integer_cell(c.part);
        Cell dup = integer_cell(c.dup);
        string::append(&s, &c.value, c.part >= 0 ? &part : nullptr, c.only, &dup);
        EXPECT_EQ(utf8(s), c.expected);
        EXPECT_EQ(s.s1, 0u);
    }
    Cell s = text("\xC3\xA9");
    Cell emoji = text("\xF0\x9F\x98\x80");
    string::append(&s, &emoji, nullptr, false, nullptr);
    EXPECT_EQ(string::length(&s), 2u);
    EXPECT_EQ(string::buffer_of(&s)->unit(), 4);
}

TEST_F(StringActions, AppendRefusesASizeBeyondTheLargestBufferAndKeepsTheText) {
    Cell s = text("ab");
    Cell value = text("abcd");
    Cell dup = integer_cell(1000000000);
    EXPECT_EQ(error_of([&] { string::append(&s, &value, nullptr, false, &dup); }), err::no_memory);
    EXPECT_EQ(utf8(s), "ab");
}

TEST_F(StringActions, InsertPutsTheValueAtTheHeadAndReturnsThePositionAfterIt) {
    Cell s = text_at("abc", 1);
    Cell xy = text("XY");
    string::insert(&s, &xy, nullptr, false, nullptr);
    EXPECT_EQ(whole(s), "aXYbc");
    EXPECT_EQ(utf8(s), "bc");

    Cell omega = text("\xCE\xA9");
    Cell dup = integer_cell(2);
    string::insert(&s, &omega, nullptr, false, &dup);
    EXPECT_EQ(whole(s), "aXY\xCE\xA9\xCE\xA9" "bc");

    Cell self = text_at("abc", 1);
    Cell from_head = self;
    from_head.s1 = 0;
    string::insert(&self, &from_head, nullptr, false, nullptr);
    EXPECT_EQ(whole(self), "aabcbc");
    EXPECT_EQ(self.s1, 4u);

    Cell at_tail = text_at("ab", 2);
    string::insert(&at_tail, &xy, nullptr, false, nullptr);
    EXPECT_EQ(whole(at_tail), "abXY");
    EXPECT_EQ(at_tail.s1, 4u);
}

TEST_F(StringActions, ChangeOverwritesAndKeepsTheRestInPlace) {
    struct Case {
        const char* series;
        uint32_t head;
        Cell value;
        int32_t part;
        const char* expected;
        uint32_t result_head;
    };
    const Case cases[] = {
        {"abcdef", 0, text("XY"), -1, "XYcdef", 2},
        {"abcdef", 1, text("X"), 3, "aXef", 2},
        {"abcdef", 1, text("WXYZ"), 1, "aWXYZcdef", 5},
        {"ab", 0, text("WXYZ"), -1, "WXYZ", 4},
        {"ab", 2, text("WXYZ"), -1, "abWXYZ", 6},
        {"abc", 1, char_cell(0x3A9), -1, "a\xCE\xA9" "c", 2},
        {"abc", 0, block_of({integer_cell(7), integer_cell(8)}), -1, "78c", 2},
    };
    for (const Case& c : cases) {
        Cell s = text_at(c.series, c.head);
        Cell part = integer_cell(c.part);
        string::change(&s, &c.value, c.part >= 0 ? &part : nullptr, false, nullptr);
        EXPECT_EQ(whole(s), c.expected);
        EXPECT_EQ(s.s1, c.result_head) << c.expected;
    }
}

// ---- find and select ----

struct FindCase {
    const char* hay;
    uint32_t head;
    Cell value;
    FindArgs args;
    int64_t expected;  // head index of the result, -1 for none!
};

// Find refinements: the argument cells given, and the flags named in `flags`: "only", "case",
// "same", "any", "last", "reverse", "tail", "match".
FindArgs find_args(std::string_view flags, const Cell* part = nullptr, const Cell* skip = nullptr,
                   const Cell* with = nullptr) {
    auto has = [&](std::string_view flag) { return flags.find(flag) != std::string_view::npos; };
    return FindArgs{part, has("only"), has("case"), has("same"), has("any"), with,
                    skip, has("last"), has("reverse"), has("tail"), has("match")};
}

TEST_F(StringActions, FindHonoursEveryRefinement) {
    Cell two = integer_cell(2);
    Cell four = integer_cell(4);
    const FindCase cases[] = {
        {"Abc", 0, text("a"), {}, 0},
        {"Abc", 0, text("a"), find_args("case"), -1},
        {"Abc", 0, text("a"), find_args("same"), -1},
        {"Abc", 0, text("b"), find_args("only"), 1},
        {"abc", 0, text("b"), find_args("tail"), 2},
        {"abc", 0, char_cell('B'), find_args("tail"), 2},
        {"abab", 0, text("ab"), find_args("last"), 2},
        {"abab", 0, text("ab"), find_args("last tail"), 4},
        {"abab", 0, text("ab"), find_args("reverse"), -1},
        {"abab", 3, text("ab"), find_args("reverse"), 0},
        {"abab", 4, char_cell('a'), find_args("reverse"), 2},
        {"abab", 1, text("ab"), find_args("reverse match"), -1},
        {"abc", 0, text("ab"), find_args("match"), 0},
        {"abc", 0, text("b"), find_args("match"), -1},
        {"abcdef", 0, text("d"), find_args("", &two), -1},
        {"abcdef", 0, text("cd"), find_args("", &four), 2},
        {"abcdef", 1, text("de"), find_args("", &four), 3},
        {"abcdef", 0, text("ef"), find_args("last", &four), -1},
        {"abcdef", 4, char_cell('a'), find_args("reverse", &two), -1},
        {"abcdef", 4, char_cell('c'), find_args("reverse", &two), 2},
        {"cbcacb", 0, char_cell('c'), find_args("tail", nullptr, &two), 2},
        {"abcabc", 0, char_cell('b'), find_args("", nullptr, &two), 4},
        {"abcabc", 0, char_cell('c'), find_args("last", nullptr, &two), 5},
        {"abcabc", 0, char_cell('a'), find_args("last", nullptr, &two), 3},
        {",a,,b", 0, text(",,b"), {}, 2},
        {"a,b", 0, text(",c"), {}, -1},
        {"ab-", 0, text("-"), find_args("case"), 2},
        {"x\xC3\xBF", 0, char_cell(0x178), {}, 1},
        {"a12b", 0, integer_cell(12), {}, 1},
        {"abc", 0, text(""), {}, -1},
        {"abc", 3, text("c"), {}, -1},
        {"xyz1", 0, bitset_of({'0', '1'}), {}, 3},
        {"xYz", 0, bitset_of({'y'}), {}, -1},
        {"x\xC4\x80", 0, bitset_of({'a'}, true), {}, 1},
        {"\xCE\xB1\xCE\xB2\xCE\x91", 0, text("\xCE\x91"), find_args("last"), 2},
        {"\xF0\x9F\x98\x80" "aB", 0, text("Ab"), {}, 1},
        {"\xF0\x9F\x98\x80" "aB", 0, text("\xF0\x9F\x98\x80"), find_args("tail"), 1},
    };
    for (const FindCase& c : cases) {
        Cell s = text_at(c.hay, c.head);
        string::find(&s, &c.value, c.args);
        if (c.expected < 0) EXPECT_TRUE(s.is(TYPE_NONE)) << c.hay;
        else {
            ASSERT_TRUE(s.is(TYPE_STRING)) << c.hay << " " << c.expected;
            EXPECT_EQ(s.s1, uint32_t(c.expected)) << c.hay;
        }
    }
}

TEST_F(StringActions, FindRefusesBadArguments) {
    Cell s = text("abc");
    Cell value = text("b");
    Cell zero = integer_cell(0);
    Cell other = text("abc");
    Cell binary = testing_gc::kept(make_cell(TYPE_BINARY, 0, memory::alloc_bytes(4), 0));
    auto find = [&](const Cell* v, FindArgs args) {
        Cell copy = s;
        return error_of([&] { string::find(&copy, v, args); });
    };
    EXPECT_EQ(find(&value, find_args("any")), err::not_done);
    EXPECT_EQ(find(&value, find_args("", nullptr, nullptr, &zero)), err::not_done);
    EXPECT_EQ(find(&value, find_args("", nullptr, &zero)), err::out_of_range);
    EXPECT_EQ(find(&value, find_args("", &other)), err::invalid_refine_arg);
    EXPECT_EQ(find(&binary, {}), err::invalid_arg);
    Cell position = s;
    position.s1 = 2;
    EXPECT_EQ(find(&value, find_args("", &position)), err::no_value);
}

TEST_F(StringActions, SelectGivesTheCharacterAfterTheMatch) {
    Cell s = text("abc");
    Cell b = text("B");
    string::select(&s, &b, FindArgs{});
    EXPECT_TRUE(s.is(TYPE_CHAR));
    EXPECT_EQ(s.s2, uint32_t('c'));
    Cell t = text("abc");
    Cell c = text("c");
    string::select(&t, &c, FindArgs{});
    EXPECT_TRUE(t.is(TYPE_NONE));
}

TEST_F(StringActions, EvalPathPicksSelectsAndSetsAfterAKey) {
    PathStep step{};
    Cell path = text("path");
    step.path = &path;
    Cell s = text("a=1;b=2");
    Cell parent = s;
    Cell index = integer_cell(3);
    EXPECT_EQ(string::eval_path(&parent, &index, nullptr, step)->s2, uint32_t('1'));
    parent = s;
    Cell key = text("b=");
    EXPECT_EQ(string::eval_path(&parent, &key, nullptr, step)->s2, uint32_t('2'));
    parent = s;
    Cell nine = char_cell('9');
    string::eval_path(&parent, &key, &nine, step);
    EXPECT_EQ(utf8(s), "a=1;b=9");
    parent = s;
    string::eval_path(&parent, &index, &nine, step);
    EXPECT_EQ(utf8(s), "a=9;b=9");
    Cell missing = text("c=");
    parent = s;
    EXPECT_EQ(error_of([&] { string::eval_path(&parent, &missing, &nine, step); }), err::bad_path_set);
    Cell word = make_cell(TYPE_WORD);
    EXPECT_EQ(error_of([&] { string::eval_path(&parent, &word, nullptr, step); }), err::invalid_path);
}

// ---- sort ----

Cell sorted(Cell s, SortArgs args) {
    string::sort(&s, args);
    return s;
}

// Sort refinements: the argument cells given, and the flags named in `flags`: "case", "all",
// "reverse", "stable".
SortArgs sort_args(std::string_view flags, const Cell* skip = nullptr, const Cell* compare = nullptr,
                   const Cell* part = nullptr) {
    auto has = [&](std::string_view flag) { return flags.find(flag) != std::string_view::npos; };
    return SortArgs{has("case"), skip, compare, part, has("all"), has("reverse"), has("stable")};
}

TEST_F(StringActions, SortFoldsCaseTheSameWayOnEveryUnitSize) {
    const char* mixed = "b_A\xC3\xA9" "a\xC3\x89Z";
    for (int unit : {1, 2, 4}) {
        Cell s = unit == 1 ? *string::load_push(mixed, std::strlen(mixed), string::ENCODING_UTF8)
                           : text(mixed, unit);
        EXPECT_EQ(string::buffer_of(&s)->unit(), unit);
        EXPECT_EQ(utf8(sorted(s, sort_args("stable"))), "AabZ_\xC3\xA9\xC3\x89") << unit;
        EXPECT_EQ(utf8(sorted(s, sort_args("case"))), "AZ_ab\xC3\x89\xC3\xA9") << unit;
        EXPECT_EQ(utf8(sorted(s, sort_args("case reverse"))), "\xC3\xA9\xC3\x89" "ba_ZA") << unit;
    }
}

TEST_F(StringActions, SortByRecordsPartsAndOffsets) {
    Cell two = integer_cell(2);
    Cell minus_two = integer_cell(-2);
    EXPECT_EQ(utf8(sorted(text("cabbaa"), sort_args("", &two))), "aabbca");
    EXPECT_EQ(utf8(sorted(text("a3b1c2"), sort_args("", &two, &two))), "b1c2a3");
    EXPECT_EQ(utf8(sorted(text("ab" "aa" "ac"), sort_args("all", &two))), "aaabac");
    EXPECT_EQ(utf8(sorted(text("dcba"), sort_args("", nullptr, nullptr, &two))), "cdba");
    Cell from_tail = sorted(text_at("dcba", 4), sort_args("", nullptr, nullptr, &minus_two));
    EXPECT_EQ(whole(from_tail), "dcab");
    EXPECT_EQ(from_tail.s1, 2u);
    Cell before_start = sorted(text_at("dcba", 1), sort_args("", nullptr, nullptr, &minus_two));
    EXPECT_EQ(whole(before_start), "dcba");
    EXPECT_EQ(before_start.s1, 0u);
    Cell s = text("dcba");
    Cell position = s;
    position.s1 = 3;
    EXPECT_EQ(utf8(sorted(s, sort_args("", nullptr, nullptr, &position))), "bcda");
}

TEST_F(StringActions, SortRefusesBadRefinements) {
    Cell s = text("cabbaa");
    Cell two = integer_cell(2);
    Cell four = integer_cell(4);
    Cell zero = integer_cell(0);
    Cell three = integer_cell(3);
    Cell word = make_cell(TYPE_WORD);
    Cell function = make_cell(TYPE_FUNCTION);
    auto sort_error = [&](SortArgs args) { return error_of([&] { sorted(s, args); }); };
    EXPECT_EQ(sort_error(sort_args("", &four)), err::invalid_refine_arg);
    EXPECT_EQ(sort_error(sort_args("", &zero)), err::invalid_refine_arg);
    EXPECT_EQ(sort_error(sort_args("all")), err::bad_refines);
    EXPECT_EQ(sort_error(sort_args("", nullptr, &two)), err::bad_refines);
    EXPECT_EQ(sort_error(sort_args("all", &two, &two)), err::bad_refines);
    EXPECT_EQ(sort_error(sort_args("", &two, &three)), err::out_of_range);
    EXPECT_EQ(sort_error(sort_args("", nullptr, &word)), err::invalid_refine_arg);
    EXPECT_EQ(sort_error(sort_args("", nullptr, &function)), err::not_done);  // no evaluator yet
    EXPECT_EQ(utf8(s), "cabbaa");
}

Cell difference_of_chars(const Cell*, const Cell* a, const Cell* b) {
    return integer_cell(int32_t(a->s2) - int32_t(b->s2));
}
Cell first_is_greater(const Cell*, const Cell* a, const Cell* b) { return logic_cell(a->s2 > b->s2); }
Cell records_descending(const Cell*, const Cell* a, const Cell* b) {
    EXPECT_TRUE(a->is(TYPE_FILE));
    return integer_cell(string::equal(b, a, string::OP_LESSER, false));
}
Cell raises(const Cell*, const Cell*, const Cell*) { fire(err::message); }

TEST_F(StringActions, SortWithAComparisonFunction) {
    Cell function = make_cell(TYPE_FUNCTION);
    string::set_function_caller(difference_of_chars);  // positive: the first sorts after
    EXPECT_EQ(utf8(sorted(text("cab"), sort_args("", nullptr, &function))), "abc");
    EXPECT_EQ(utf8(sorted(text("cab"), sort_args("reverse", nullptr, &function))), "cba");
    string::set_function_caller(first_is_greater);  // true: the first sorts first
    EXPECT_EQ(utf8(sorted(text("acb"), sort_args("stable", nullptr, &function))), "cba");
    string::set_function_caller(records_descending);
    Cell two = integer_cell(2);
    Cell records = text("abzza\xC3\xA9");
    records.set_type(TYPE_FILE);
    EXPECT_EQ(utf8(sorted(records, sort_args("all", &two, &function))), "zza\xC3\xA9" "ab");
    string::set_function_caller(raises);
    Cell s = text("cab");
    EXPECT_EQ(error_of([&] { sorted(s, sort_args("", nullptr, &function)); }), err::message);
    EXPECT_EQ(utf8(s), "cab");
}

// ---- swap, take, trim ----

TEST_F(StringActions, SwapExchangesTheHeadCharacters) {
    Cell a = text("abc");
    Cell b = text_at("xyz\xF0\x9F\x98\x80", 3);
    string::swap(&a, &b);
    EXPECT_EQ(utf8(a), "\xF0\x9F\x98\x80" "bc");
    EXPECT_EQ(whole(b), "xyza");
    Cell at_tail = text_at("q", 1);
    string::swap(&a, &at_tail);
    EXPECT_EQ(whole(at_tail), "q");
    Cell number = integer_cell(1);
    EXPECT_EQ(error_of([&] { string::swap(&a, &number); }), err::invalid_arg);
}

TEST_F(StringActions, TakeGivesACharacterOrACopyOfThePart) {
    Cell s = text("abc");
    Cell series = s;
    string::take(&series, nullptr, false, false);
    EXPECT_TRUE(series.is(TYPE_CHAR));
    EXPECT_EQ(series.s2, uint32_t('a'));
    EXPECT_EQ(utf8(s), "bc");

    struct Case {
        const char* text;
        uint32_t head;
        int32_t part;
        bool last;
        const char* taken;
        const char* left;
    };
    const Case cases[] = {
        {"abc", 0, 2, false, "ab", "c"},
        {"abc", 0, 2, true, "bc", "a"},
        {"abcd", 3, -2, false, "bc", "ad"},
        {"abcd", 3, -2, true, "", "abcd"},
        {"abc", 1, 0, false, "", "abc"},
        {"abc", 1, 9, false, "bc", "a"},
    };
    for (const Case& c : cases) {
        Cell t = text_at(c.text, c.head);
        Cell taken = t;
        Cell part = integer_cell(c.part);
        string::take(&taken, &part, false, c.last);
        EXPECT_EQ(utf8(taken), c.taken);
        EXPECT_EQ(whole(t), c.left);
    }
    Cell file = text("ab");
    file.set_type(TYPE_FILE);
    Cell taken_file = file;
    string::take(&taken_file, nullptr, false, true);
    EXPECT_EQ(taken_file.s2, uint32_t('b'));
    Cell end = text_at("x", 1);
    string::take(&end, nullptr, false, false);
    EXPECT_TRUE(end.is(TYPE_NONE));
}

TEST_F(StringActions, TrimInEachMode) {
    struct Case {
        const char* in;
        bool head, tail, lines, all;
        Cell with;
        const char* out;
    };
    Cell none = make_cell(TYPE_NONE_ID);
    const Case cases[] = {
        {"  a  b  ", false, false, false, false, none, "a  b"},
        {" a \n  b  \n\n", false, false, false, false, none, "a\nb\n"},
        {"a\xC2\xA0\n b", false, false, false, false, none, "a\nb"},
        {"  a  ", true, false, false, false, none, "a  "},
        {"  a \n", false, true, false, false, none, "  a"},
        {"  a \n", true, true, false, false, none, "a"},
        {"a\n b", false, false, true, false, none, "a b"},
        {" \ta \r\n b\x01 ", false, false, true, false, none, "a b"},
        {" a b ", false, false, false, true, none, "ab"},
        {"axbx", false, false, false, false, text("x"), "ab"},
        {"axbx", false, false, false, false, text(""), "axbx"},
        {"axbx", false, false, false, false, char_cell('b'), "axx"},
    };
    for (const Case& c : cases) {
        Cell s = text(c.in);
        const Cell* with = c.with.is(TYPE_NONE_ID) ? nullptr : &c.with;
        string::trim(&s, c.head, c.tail, false, c.lines, c.all, with);
        EXPECT_EQ(utf8(s), c.out) << c.in;
    }
    Cell s = text(" a ");
    EXPECT_EQ(error_of([&] { string::trim(&s, false, false, true, false, false, nullptr); }), err::not_done);
}

// ---- set operations ----

TEST_F(StringActions, SetOperationsKeepTheFirstOfEachRecord) {
    struct Case {
        const char* a;
        const char* b;
        string::SetOp op;
        int32_t skip;
        const char* out;
    };
    const Case cases[] = {
        {"aAbbc", "", string::SET_UNIQUE, 1, "abc"},
        {"abc", "BCD", string::SET_UNION, 1, "abcD"},
        {"abc", "bcd", string::SET_INTERSECT, 1, "bc"},
        {"abc", "bcd", string::SET_EXCLUDE, 1, "a"},
        {"abc", "bcd", string::SET_DIFFERENCE, 1, "ad"},
        {"a1b2a3", "", string::SET_UNIQUE, 2, "a1b2"},
    };
    for (const Case& c : cases) {
        Cell a = text_at(c.a, 0);
        Cell b = text(c.b);
        Cell skip = integer_cell(c.skip);
        string::do_set_op(&a, &b, false, &skip, c.op);
        EXPECT_EQ(utf8(a), c.out);
    }
    Cell a = text("aA");
    Cell b = text("");
    string::do_set_op(&a, &b, true, nullptr, string::SET_UNIQUE);
    EXPECT_EQ(utf8(a), "aA");
    Cell zero = integer_cell(0);
    EXPECT_EQ(error_of([&] { string::do_set_op(&a, &b, false, &zero, string::SET_UNIQUE); }),
              err::invalid_refine_arg);
}

// ---- loading, hex, registration ----

TEST_F(StringActions, LoadDecodesUtf8AndUtf16IntoTheNarrowestUnit) {
    Cell cell;
    string::load("a\xC3\xA9", 3, &cell, string::ENCODING_UTF8);
    EXPECT_TRUE(cell.is(TYPE_STRING));
    EXPECT_EQ(string::buffer_of(&cell)->unit(), 1);
    EXPECT_EQ(utf8(cell), "a\xC3\xA9");
    const char16_t wide[] = {u'x', 0xD83D, 0xDE00, 0xD800};
    Cell* pushed = string::load_push(wide, 4, string::ENCODING_UTF16LE);
    EXPECT_EQ(pushed, stack::last());
    EXPECT_EQ(string::buffer_of(pushed)->unit(), 4);
    EXPECT_EQ(utf8(*pushed), "x\xF0\x9F\x98\x80\xEF\xBF\xBD");  // an unpaired surrogate reads as U+FFFD
    EXPECT_EQ(error_of([&] { string::load("a\xC0\xAF", 3, &cell, string::ENCODING_UTF8); }),
              err::invalid_utf8);
    EXPECT_EQ(error_of([&] { string::from_utf8_binary(reinterpret_cast<const uint8_t*>("ab\xE2\x82"), 4); }),
              err::invalid_utf8);

    NodeId block = testing_gc::kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0)).s2;
    Cell* in_block = string::load_in("hi", 2, block, string::ENCODING_UTF8);
    EXPECT_EQ(in_block, memory::series_of(block)->cells());
    EXPECT_EQ(utf8(*in_block), "hi");
}

TEST_F(StringActions, HexDigitsAndNumbers) {
    EXPECT_EQ(string::to_hex(uint32_t(-2), true), "E");
    EXPECT_EQ(string::byte_to_hex(0x0A), "0A");
    EXPECT_EQ(string::byte_to_hex(0xFF), "FF");
    EXPECT_DOUBLE_EQ(string::to_float("2.5e1").value, 25.0);
}

TEST_F(StringActions, RegistrationInheritsTheSeriesSlots) {
    EXPECT_STREQ(datatype::name_of(TYPE_STRING), "string!");
    EXPECT_EQ(datatype::handler<A_FIND>(TYPE_STRING), &string::find);
    EXPECT_EQ(datatype::handler<A_PICK>(TYPE_STRING), datatype::handler<A_PICK>(TYPE_SERIES));
    EXPECT_FALSE(datatype::supports(TYPE_STRING, A_ADD));
    EXPECT_FALSE(datatype::supports(TYPE_STRING, A_PUT));
}

// Met while the runtime starts, it is an integrity failure and must not report success.
TEST(StringLoadDeathTest, AnUnsupportedEncodingAtStartUpEndsTheProcessWithFailure) {
    testing_runtime::start({"memory"});
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO);  // the message goes to the output
            string::load("a", 1, nullptr, 3);
        },
        testing::ExitedWithCode(1), "^\\*\\*\\* Loading Error: input encoding unsupported\n$");
}

TEST(StringLoad, AnUnsupportedEncodingOnceErrorsCanBeRaisedIsAnError) {
    testing_runtime::start({"memory"});
    static err::Code raised = err::no_value;
    set_error_raiser([](err::Code code, const Cell*, const Cell*, const Cell*) {
        raised = code;
        throw Unwind{EXIT_ERROR};
    });
    EXPECT_THROW(string::load("a", 1, nullptr, 3), Unwind);
    EXPECT_EQ(raised, err::invalid_arg);
    set_error_raiser(nullptr);
}

}  // namespace
