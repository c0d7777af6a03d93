// UTF-8 and UTF-16 kernels: strict decoding of every malformed class (overlongs, surrogates,
// values above U+10FFFF, truncation), loading into 1/2/4-byte units with BOM and CR handling,
// lenient decoding, and encoding back, bounded or not.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/utf8.hpp"

using namespace vyn::unicode;
using namespace std::string_view_literals;

namespace {

const uint8_t* bytes_of(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

Decoded decode(std::string_view s) { return decode_utf8_char(bytes_of(s), bytes_of(s) + s.size()); }

// Loads into 4-byte units, so the result shows every code point whatever width it needs.
std::u32string load32(std::string_view s, unsigned flags, LoadResult* result = nullptr) {
    std::u32string out(s.size(), U'\0');
    LoadResult r = load_utf8(bytes_of(s), s.size(), flags, out.data(), 4);
    out.resize(r.chars);
    if (result) *result = r;
    return out;
}

std::u32string load16(std::u16string_view s, unsigned flags, LoadResult* result = nullptr) {
    std::u32string out(s.size(), U'\0');
    LoadResult r = load_utf16(s.data(), s.size(), flags, out.data(), 4);
    out.resize(r.chars);
    if (result) *result = r;
    return out;
}

std::string to_utf8(std::u32string_view s, bool crlf = false) {
    std::string out(s.size() * 5, '\0');
    EncodeResult r = write_utf8(s.data(), s.size(), 4, reinterpret_cast<uint8_t*>(out.data()), out.size(), crlf);
    out.resize(r.written);
    return out;
}

std::u16string to_utf16(std::u32string_view s, bool crlf = false) {
    std::u16string out(s.size() * 2, u'\0');
    EncodeResult r = write_utf16(s.data(), s.size(), 4, out.data(), out.size(), crlf);
    out.resize(r.written);
    return out;
}

// An arithmetic decoder, independent of the automaton: the shortest form of a scalar value.
bool reference_valid(const std::vector<uint8_t>& b, char32_t& cp) {
    int len = b[0] < 0x80 ? 1 : (b[0] >> 5) == 6 ? 2 : (b[0] >> 4) == 14 ? 3 : (b[0] >> 3) == 30 ? 4 : 0;
    if (len == 0 || size_t(len) > b.size()) return false;
    cp = len == 1 ? b[0] : b[0] & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        if ((b[i] & 0xC0) != 0x80) return false;
        cp = cp << 6 | (b[i] & 0x3F);
    }
    static constexpr char32_t shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
    return cp >= shortest[len] && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
}

}  // namespace

TEST(Utf8Decode, SequenceTable) {
    struct Case {
        std::string_view bytes;
        Status status;
        char32_t cp;     // when ok
        uint8_t length;  // bytes taken
    };
    const Case cases[] = {
        {"A"sv, Status::ok, 0x41, 1},
        {"\0"sv, Status::ok, 0, 1},
        {"\xC2\x80"sv, Status::ok, 0x80, 2},
        {"\xDF\xBF"sv, Status::ok, 0x7FF, 2},
        {"\xE0\xA0\x80"sv, Status::ok, 0x800, 3},
        {"\xED\x9F\xBF"sv, Status::ok, 0xD7FF, 3},
        {"\xEE\x80\x80"sv, Status::ok, 0xE000, 3},
        {"\xEF\xBF\xBF"sv, Status::ok, 0xFFFF, 3},
        {"\xF0\x90\x80\x80"sv, Status::ok, 0x10000, 4},
        {"\xF0\x9F\x98\x80"sv, Status::ok, 0x1F600, 4},
        {"\xF4\x8F\xBF\xBF"sv, Status::ok, 0x10FFFF, 4},
        // overlongs
        {"\xC0\xAF"sv, Status::invalid, 0, 1},
        {"\xC0\x80"sv, Status::invalid, 0, 1},
        {"\xC1\xBF"sv, Status::invalid, 0, 1},
        {"\xE0\x80\xAF"sv, Status::invalid, 0, 1},
        {"\xE0\x9F\xBF"sv, Status::invalid, 0, 1},
        {"\xF0\x80\x80\xAF"sv, Status::invalid, 0, 1},
        {"\xF0\x8F\xBF\xBF"sv, Status::invalid, 0, 1},
        // surrogates, high and low
        {"\xED\xA0\x80"sv, Status::invalid, 0, 1},
        {"\xED\xAF\xBF"sv, Status::invalid, 0, 1},
        {"\xED\xB0\x80"sv, Status::invalid, 0, 1},
        {"\xED\xBF\xBF"sv, Status::invalid, 0, 1},
        // above U+10FFFF
        {"\xF4\x90\x80\x80"sv, Status::invalid, 0, 1},
        {"\xF5\x80\x80\x80"sv, Status::invalid, 0, 1},
        {"\xFF"sv, Status::invalid, 0, 1},
        // stray continuation bytes; a broken sequence never swallows the byte that broke it
        {"\x80"sv, Status::invalid, 0, 1},
        {"\xBF"sv, Status::invalid, 0, 1},
        {"\xC3\x41"sv, Status::invalid, 0, 1},
        {"\xE2\x82\x41"sv, Status::invalid, 0, 2},
        {"\xF0\x9F\x98\xF0"sv, Status::invalid, 0, 3},
        // cut off by the end of the input
        {"\xC3"sv, Status::truncated, 0, 1},
        {"\xE0"sv, Status::truncated, 0, 1},
        {"\xE2\x82"sv, Status::truncated, 0, 2},
        {"\xF0\x9F\x98"sv, Status::truncated, 0, 3},
        {"\xE0\x80"sv, Status::invalid, 0, 1},  // already wrong before the end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        Decoded d = decode(c.bytes);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.length, c.length);
        if (c.status == Status::ok) {
            EXPECT_EQ(d.code_point, c.cp);
        }
    }
}

TEST(Utf8Decode, AgreesWithArithmeticDecoderOnEveryLeadAndSecondByte) {
    for (int b0 = 0; b0 < 256; ++b0) {
        for (int b1 = 0; b1 < 256; ++b1) {
            std::vector<uint8_t> seq = {uint8_t(b0), uint8_t(b1), 0x80, 0x80};
            char32_t expected = 0;
            bool valid = reference_valid(seq, expected);
            Decoded d = decode_utf8_char(seq.data(), seq.data() + seq.size());
            ASSERT_EQ(d.status == Status::ok, valid) << std::hex << b0 << ' ' << b1;
            if (valid) {
                ASSERT_EQ(d.code_point, expected) << std::hex << b0 << ' ' << b1;
            }
        }
    }
}

TEST(Utf8Decode, EveryScalarValueRoundTrips) {
    uint8_t buf[4];
    for (char32_t cp = 0; cp <= MAX_CODE_POINT; ++cp) {
        if (cp == 0xD800) cp = 0xE000;
        int n = encode_utf8(cp, buf);
        ASSERT_EQ(n, utf8_length(cp));
        ASSERT_EQ(utf8_seq_length(buf[0]), n);
        Decoded d = decode_utf8_char(buf, buf + n);
        ASSERT_EQ(d.status, Status::ok) << std::hex << uint32_t(cp);
        ASSERT_EQ(d.code_point, cp);
        ASSERT_EQ(d.length, n);
    }
}

TEST(Utf8Decode, StrictRefusesByteSwappedBom) {
    std::string_view fffe = "\xEF\xBF\xBE";
    EXPECT_EQ(decode(fffe).status, Status::ok);
    EXPECT_EQ(decode_utf8_strict(bytes_of(fffe), bytes_of(fffe) + 3).status, Status::invalid);
    LoadResult r;
    load32(fffe, LOAD_STRICT, &r);
    EXPECT_EQ(r.status, Status::invalid);
}

TEST(Utf8Decode, CountAndSkip) {
    std::string_view text = "a\xC3\xA9\xF0\x9F\x98\x80z";
    const uint8_t* start = bytes_of(text);
    const uint8_t* end = start + text.size();
    EXPECT_EQ(count_utf8_chars(start, end), 4u);
    EXPECT_EQ(skip_utf8_chars(start, end, 2), start + 3);
    EXPECT_EQ(skip_utf8_chars(start, end, 3), start + 7);
    EXPECT_EQ(skip_utf8_chars(start, end, 99), end);
    EXPECT_EQ(skip_utf8_chars(start, end - 2, 3), end - 2);  // a cut sequence is one step to the end

    std::string_view broken = "a\xC0\xAF\xE2\x82";  // two bad bytes, then a cut sequence
    EXPECT_EQ(count_utf8_chars(bytes_of(broken), bytes_of(broken) + broken.size()), 4u);
}

TEST(Utf8Decode, LeadAndEncodedLengths) {
    const std::pair<uint8_t, int> leads[] = {{0x00, 1}, {0x7F, 1}, {0x80, 0}, {0xBF, 0}, {0xC0, 0}, {0xC1, 0},
                                             {0xC2, 2}, {0xDF, 2}, {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xF4, 4},
                                             {0xF5, 0}, {0xFF, 0}};
    for (auto [lead, length] : leads) EXPECT_EQ(utf8_seq_length(lead), length) << int(lead);
    uint8_t buf[4] = {};
    EXPECT_EQ(utf8_length(0x110000), 0);
    EXPECT_EQ(encode_utf8(0x110000, buf), 0);
    EXPECT_EQ(encode_utf8(0xD800, buf), 3);  // a surrogate is written as U+FFFD
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(buf), 3), "\xEF\xBF\xBD");
}

TEST(Utf8Load, PicksTheNarrowestUnit) {
    struct Case {
        std::string_view bytes;
        size_t chars;
        int unit_size;
    };
    const Case cases[] = {
        {"plain ascii text longer than a word"sv, 35, 1},
        {"caf\xC3\xA9"sv, 4, 1},                // U+00E9 still fits Latin-1
        {"\xE2\x82\xAC 5"sv, 3, 2},             // the euro sign needs UCS-2
        {"x \xF0\x9F\x98\x80"sv, 3, 4},         // an emoji needs UCS-4
        {"\xEF\xBB\xBF"sv, 0, 1},               // a BOM alone is empty text
        {"\xEF\xBB\xBF" "ab"sv, 2, 1},
        {"a\xEF\xBB\xBF"sv, 2, 2},              // not leading: a character like any other
        {""sv, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        LoadResult m = measure_utf8(bytes_of(c.bytes), c.bytes.size(), LOAD_STRICT);
        EXPECT_EQ(m.status, Status::ok);
        EXPECT_EQ(m.chars, c.chars);
        EXPECT_EQ(m.unit_size, c.unit_size);
        EXPECT_EQ(m.consumed, c.bytes.size());
    }
}

TEST(Utf8Load, StoresInEachUnitSizeAndStopsWhereAUnitIsTooNarrow) {
    std::string_view text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::vector<uint8_t> latin1(10);
    LoadResult r = load_utf8(bytes_of(text), text.size(), LOAD_STRICT, latin1.data(), 1);
    EXPECT_EQ(r.status, Status::too_wide);
    EXPECT_EQ(r.consumed, 3u);
    EXPECT_EQ(r.chars, 2u);
    EXPECT_EQ(latin1[1], 0xE9);

    std::u16string ucs2(10, u'\0');
    r = load_utf8(bytes_of(text), text.size(), LOAD_STRICT, ucs2.data(), 2);
    EXPECT_EQ(r.status, Status::too_wide);
    EXPECT_EQ(r.consumed, 6u);
    EXPECT_EQ(ucs2.substr(0, r.chars), u"a\u00E9\u20AC");

    EXPECT_EQ(load32(text, LOAD_STRICT, &r), U"a\u00E9\u20AC\U0001F600");
    EXPECT_EQ(r.unit_size, 4);
}

TEST(Utf8Load, StopsAtBadOrCutInputUnlessLenient) {
    struct Case {
        std::string_view bytes;
        Status status;
        size_t consumed;      // strict: where the load stopped
        std::u32string_view lenient;
    };
    const Case cases[] = {
        {"ab\xC0\xAF" "c"sv, Status::invalid, 2, U"ab\uFFFD\uFFFDc"},
        {"ab\xED\xA0\x80"sv, Status::invalid, 2, U"ab\uFFFD\uFFFD\uFFFD"},
        {"\xC3\x41"sv, Status::invalid, 0, U"\uFFFDA"},
        {"ab\xE2\x82"sv, Status::truncated, 2, U"ab\uFFFD"},
        {"\xEF\xBB"sv, Status::truncated, 0, U"\uFFFD"},  // too short to be a BOM
        {"x\xF0\x9F\x98"sv, Status::truncated, 1, U"x\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        LoadResult r;
        load32(c.bytes, LOAD_STRICT, &r);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.consumed, c.consumed);
        EXPECT_EQ(load32(c.bytes, LOAD_LENIENT, &r), c.lenient);
        EXPECT_EQ(r.status, Status::ok);
        EXPECT_EQ(r.consumed, c.bytes.size());
        EXPECT_EQ(r.unit_size, 2);
    }
}

TEST(Utf8Load, FoldsCrLineEnds) {
    struct Case {
        std::string_view in;
        std::u32string_view folded;
        bool saw_cr;
    };
    const Case cases[] = {
        {"a\r\nb"sv, U"a\nb", true},
        {"a\rb"sv, U"a\nb", true},
        {"a\r"sv, U"a\n", true},
        {"\r\r\n\n"sv, U"\n\n\n", true},
        {"0123456789abcdef\r\n0123456789abcdef"sv, U"0123456789abcdef\n0123456789abcdef", true},
        {"\xC3\xA9\r\xC3\xA9"sv, U"\u00E9\n\u00E9", true},
        {"no carriage return here at all\n"sv, U"no carriage return here at all\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.in)));
        LoadResult r;
        EXPECT_EQ(load32(c.in, LOAD_FOLD_CR, &r), c.folded);
        EXPECT_EQ(r.saw_cr, c.saw_cr);
        EXPECT_EQ(measure_utf8(bytes_of(c.in), c.in.size(), LOAD_FOLD_CR).chars, c.folded.size());
    }
    LoadResult r;
    EXPECT_EQ(load32("a\r\nb", LOAD_STRICT, &r), U"a\r\nb");
    EXPECT_FALSE(r.saw_cr);
}

TEST(Utf8Encode, RoundTripsThroughEveryUnitSize) {
    const std::u32string text = U"A\u00FF\u0100\u07FF\u0800\uFFFD\U00010000\U0001F600\U0010FFFF\n";
    EXPECT_EQ(load32(to_utf8(text), LOAD_STRICT), text);

    const std::u32string narrow = U"Gr\u00FC\u00DFe\n";
    const std::vector<uint8_t> latin1(narrow.begin(), narrow.end());
    const std::u16string ucs2(narrow.begin(), narrow.end());
    const std::string expected = to_utf8(narrow);
    for (auto [units, size] : {std::pair<const void*, int>{latin1.data(), 1}, {ucs2.data(), 2}}) {
        std::string out(16, '\0');
        EncodeResult r = write_utf8(units, narrow.size(), size, reinterpret_cast<uint8_t*>(out.data()), out.size(), false);
        EXPECT_EQ(out.substr(0, r.written), expected);
        EXPECT_EQ(r.units, narrow.size());
        EXPECT_EQ(utf8_size(units, narrow.size(), size, false).written, r.written);
    }
}

TEST(Utf8Encode, CrlfAndSurrogateUnits) {
    EXPECT_EQ(to_utf8(U"a\nb\n", true), "a\r\nb\r\n");
    EXPECT_EQ(utf8_size(U"a\nb\n", 4, 4, true).written, 6u);
    const char16_t lone[] = {u'x', 0xD83D, u'y'};
    uint8_t out[8];
    EncodeResult r = write_utf8(lone, 3, 2, out, sizeof out, false);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(out), r.written), "x\xEF\xBF\xBDy");
}

TEST(Utf8Encode, StopsAtUnitsAboveMaxCodePoint) {
    const char32_t text[] = {U'a', 0x110000, U'b'};
    EXPECT_EQ(utf8_size(text, 3, 4, false).units, 1u);
    EXPECT_EQ(utf16_size(text, 3, 4, false).units, 1u);
    uint8_t out[8];
    EncodeResult r = write_utf8(text, 3, 4, out, sizeof out, false);
    EXPECT_EQ(r.units, 1u);
    EXPECT_EQ(r.written, 1u);
}

TEST(Utf8Encode, BoundedWriteKeepsWholeCharacters) {
    struct Case {
        std::u32string_view text;
        size_t room;
        bool crlf;
        std::string_view out;
        size_t units;
    };
    const Case cases[] = {
        {U"ab\U0001F600", 5, false, "ab"sv, 2},
        {U"ab\U0001F600", 6, false, "ab\xF0\x9F\x98\x80"sv, 3},
        {U"a\n", 2, true, "a"sv, 1},  // CR LF goes whole or not at all
        {U"a\n", 3, true, "a\r\n"sv, 2},
        {U"\u00E9", 1, false, ""sv, 0},
    };
    for (const Case& c : cases) {
        std::string out(8, '\0');
        EncodeResult r = write_utf8(c.text.data(), c.text.size(), 4, reinterpret_cast<uint8_t*>(out.data()), c.room, c.crlf);
        EXPECT_EQ(out.substr(0, r.written), c.out);
        EXPECT_EQ(r.units, c.units);
    }
}

TEST(Utf16, EncodesSurrogatePairs) {
    EXPECT_EQ(to_utf16(U"\U00010000"), u"\xD800\xDC00");
    EXPECT_EQ(to_utf16(U"a\U0001F600"), u"a\xD83D\xDE00");
    EXPECT_EQ(to_utf16(U"\U0010FFFF"), u"\xDBFF\xDFFF");
    EXPECT_EQ(to_utf16(U"a\nb", true), u"a\r\nb");
    EXPECT_EQ(utf16_size(U"\U00010000\n", 2, 4, true).written, 4u);

    char16_t out[2];
    EncodeResult r = write_utf16(U"a\U00010000", 2, 4, out, 2, false);  // no room for the pair
    EXPECT_EQ(r.written, 1u);
    EXPECT_EQ(r.units, 1u);
}

TEST(Utf16, DecodesPairsAndReplacesUnpairedSurrogates) {
    struct Case {
        std::u16string_view in;
        std::u32string_view out;
        int unit_size;
    };
    const Case cases[] = {
        {u"caf\u00E9", U"caf\u00E9", 1},
        {u"\u20AC", U"\u20AC", 2},
        {u"\xD800\xDC00", U"\U00010000", 4},
        {u"x\xD83D\xDE00", U"x\U0001F600", 4},
        {u"x\xD83D", U"x\uFFFD", 2},  // high surrogate at the end
        {u"\xD83D" u"A", U"\uFFFDA", 2},  // high surrogate before a non-surrogate
        {u"\xD83D\xD83D\xDE00", U"\uFFFD\U0001F600", 4},
        {u"\xDE00z", U"\uFFFDz", 2},  // lone low surrogate
    };
    for (const Case& c : cases) {
        LoadResult r;
        EXPECT_EQ(load16(c.in, LOAD_STRICT, &r), c.out);
        EXPECT_EQ(r.status, Status::ok);
        EXPECT_EQ(r.consumed, c.in.size());
        EXPECT_EQ(r.unit_size, c.unit_size);
        EXPECT_EQ(measure_utf16(c.in.data(), c.in.size(), LOAD_STRICT).chars, c.out.size());
    }
}

TEST(Utf16, FoldsCrAndRoundTrips) {
    LoadResult r;
    EXPECT_EQ(load16(u"a\r\nb\rc", LOAD_FOLD_CR, &r), U"a\nb\nc");
    EXPECT_TRUE(r.saw_cr);

    const std::u32string text = U"A\u00FF\uFFFD\U00010000\U0010FFFF";
    EXPECT_EQ(load16(to_utf16(text), LOAD_STRICT), text);

    std::vector<uint8_t> latin1(4);
    r = load_utf16(u"ab\u0100", 3, LOAD_STRICT, latin1.data(), 1);
    EXPECT_EQ(r.status, Status::too_wide);
    EXPECT_EQ(r.consumed, 2u);
}
