// String units over series: loading UTF-8 and UTF-16 into the narrowest unit with widening of an
// existing target, BOM and line-end handling, errors on ill-formed input, and conversion out to
// UTF-8 and UTF-16 through the value's cache.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/context.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/unwind.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;
using namespace vyn::unicode;
using namespace std::string_view_literals;

namespace {

class Unicode : public testing_runtime::GlobalContextTest {};

const uint8_t* bytes_of(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::u32string text(NodeId node) {
    Text t = text_of(string_cell(node));
    std::u32string out;
    for (uint32_t i = 0; i < t.count; ++i) out += t.at(i);
    return out;
}

int unit_of(NodeId node) { return memory::series_of(node)->unit(); }

// A new string's node is kept for the rest of the test.
NodeId load(std::string_view s, unsigned flags = LOAD_STRICT, NodeId target = 0) {
    NodeId node = load_utf8(bytes_of(s), s.size(), target, flags);
    if (!target) testing_gc::kept(string_cell(node));
    return node;
}

NodeId kept_node(NodeId node) { return testing_gc::kept(string_cell(node)).s2; }

err::Code load_error(std::string_view s) {
    try {
        load(s);
    } catch (const Unwind&) {
        return last_raw_error();
    }
    return err::Code(0);
}

}  // namespace

TEST_F(Unicode, LoadsUtf8IntoTheNarrowestUnit) {
    struct Case {
        std::string_view bytes;
        unsigned flags;
        std::u32string text;
        int unit;
    };
    const Case cases[] = {
        {"\xC3\xA9", LOAD_STRICT, U"\u00E9", 1},
        {"\xEF\xBB\xBF", LOAD_STRICT, U"", 1},
        {"\xEF\xBB\xBFok", LOAD_STRICT, U"ok", 1},
        {"\xF0\x9F\x98\x80", LOAD_STRICT, U"\U0001F600", 4},
        {"a\xE2\x82\xAC", LOAD_STRICT, U"a\u20AC", 2},
        {"a\r\nb\rc\n", LOAD_FOLD_CR, U"a\nb\nc\n", 1},
        {"a\r\nb\rc", LOAD_STRICT, U"a\r\nb\rc", 1},
        {"\r\r\n", LOAD_FOLD_CR, U"\n\n", 1},
    };
    for (const Case& c : cases) {
        NodeId node = load(c.bytes, c.flags);
        EXPECT_EQ(text(node), c.text) << c.bytes;
        EXPECT_EQ(unit_of(node), c.unit) << c.bytes;
    }
}

TEST_F(Unicode, IllFormedUtf8RaisesInvalidUtf8) {
    for (std::string_view bad : {"\xC3"sv, "ab\xC3"sv, "\xC0\xAF"sv, "a\x80"sv, "\xED\xA0\x80"sv, "\xEF\xBF\xBE"sv})
        EXPECT_EQ(load_error(bad), err::invalid_utf8) << bad.size();
}

TEST_F(Unicode, ACutSequenceIsLeftForTheNextChunk) {
    std::string_view chunk = "ab\xF0\x9F";
    size_t remaining = 0;
    NodeId node = kept_node(load_utf8(bytes_of(chunk), chunk.size(), 0, LOAD_STRICT, &remaining));
    EXPECT_EQ(remaining, 2u);
    std::string_view rest = "\xF0\x9F\x98\x80!";
    load_utf8(bytes_of(rest), rest.size(), node, LOAD_STRICT, &remaining);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(text(node), U"ab\U0001F600!");
}

TEST_F(Unicode, LoadingIntoATargetAppendsAndWidensIt) {
    NodeId node = load("abc");
    load("\xC3\xA9\xE2\x82\xAC", LOAD_STRICT, node);
    EXPECT_EQ(unit_of(node), 2);
    load("\xF0\x9F\x98\x80", LOAD_STRICT, node);
    EXPECT_EQ(unit_of(node), 4);
    EXPECT_EQ(text(node), U"abc\u00E9\u20AC\U0001F600");
}

TEST_F(Unicode, WideningKeepsTheTextOfABufferStartedInTheMiddle) {
    NodeId node = kept_node(memory::alloc_series(8, 1, -1));
    load("xy\xC3\xA9", LOAD_STRICT, node);
    for (int unit : {2, 4}) {
        widen(node, unit);
        EXPECT_EQ(unit_of(node), unit);
        EXPECT_EQ(text(node), U"xy\u00E9");
    }
}

TEST_F(Unicode, LoadsUtf16ReplacingTheTargetText) {
    const std::u16string wide = u"a\U0001F600\r\nb";
    NodeId node = kept_node(load_utf16(wide.data(), wide.size(), 0, LOAD_FOLD_CR));
    EXPECT_EQ(text(node), U"a\U0001F600\nb");
    EXPECT_EQ(unit_of(node), 4);
    EXPECT_TRUE(memory::series_of(node)->flags & SERIES_FROM_UTF16);

    const std::u16string lone = u"x\xD800y";
    load_utf16(lone.data(), lone.size(), node, LOAD_STRICT);
    EXPECT_EQ(text(node), U"x\uFFFDy");
}

TEST_F(Unicode, ConvertsToUtf8ThroughTheCache) {
    Cell& s = testing_gc::kept(string_cell(load("line\xC3\xA9\n\xF0\x9F\x98\x80")));
    s.s1 = 1;
    size_t length = 0;
    EXPECT_EQ(std::string_view(to_utf8_text(s, -1, false, &length)), "ine\xC3\xA9\n\xF0\x9F\x98\x80");
    EXPECT_EQ(length, 10u);
    NodeId cache = s.s3;
    EXPECT_NE(cache, 0u);
    EXPECT_EQ(std::string_view(to_utf8_text(s, 5, true)), "ine\xC3\xA9\r\n");
    EXPECT_EQ(s.s3, cache);
}

TEST_F(Unicode, WritesWholeCharactersWithinTheRoom) {
    Cell s = string_cell(load("a\xE2\x82\xAC" "b"));
    uint8_t out[8] = {};
    EXPECT_EQ(write_utf8(s, out, 4, -1, true), 1u);  // the euro sign needs 3 bytes, 3 are left
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(write_utf8(s, out, 8, -1, false), 5u);
    EXPECT_EQ(write_utf8(s, out, 8, 1, false), 1u);
}

TEST_F(Unicode, Utf16OfASupplementaryCharacterIsOneSurrogatePair) {
    Cell& s = testing_gc::kept(string_cell(load("\xF0\x90\x80\x80")));
    size_t length = 0;
    const char16_t* units = to_utf16(s, -1, true, &length);
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(std::u16string(units), u"\xD800\xDC00");

    Cell& lines = testing_gc::kept(string_cell(load("a\nb")));
    EXPECT_EQ(std::u16string(to_utf16(lines)), u"a\r\nb");
    EXPECT_EQ(std::u16string(to_utf16(lines, -1, false)), u"a\nb");
}

TEST_F(Unicode, UnitsBeyondUnicodeFailToConvert) {
    Cell& s = testing_gc::kept(string_cell(load("\xF0\x9F\x98\x80")));
    const char32_t beyond = 0x110000;
    std::memcpy(memory::series_of(s.s2)->head_ptr(), &beyond, 4);
    EXPECT_EQ(to_utf16(s), nullptr);
    EXPECT_THROW(to_utf8_text(s), Unwind);
    EXPECT_EQ(last_raw_error(), err::invalid_char);
}
