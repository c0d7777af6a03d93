// MurmurHash3 against independently computed vectors, and the unit-size and case independence
// of the code-point hash. The expected values come from this straightforward Python version:
//
//   def mm3(data, seed=0):
//       M = 0xFFFFFFFF
//       rotl = lambda x, r: ((x << r) | (x >> (32 - r))) & M
//       def scramble(k): return (rotl((k * 0xCC9E2D51) & M, 15) * 0x1B873593) & M
//       h, n = seed, len(data) // 4 * 4
//       for i in range(0, n, 4):
//           h = (rotl(h ^ scramble(int.from_bytes(data[i:i+4], 'little')), 13) * 5 + 0xE6546B64) & M
//       if len(data) & 3: h ^= scramble(int.from_bytes(data[n:], 'little'))
//       h ^= len(data)
//       for s, m in ((16, 0x85EBCA6B), (13, 0xC2B2AE35)): h = ((h ^ (h >> s)) * m) & M
//       return h ^ (h >> 16)
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/casefold.hpp"
#include "core/murmur3.hpp"

using namespace vyn::hashtable;
namespace casefold = vyn::casefold;

namespace {

uint32_t hash_text(std::string_view text, uint32_t seed) { return murmur3(text.data(), text.size(), seed); }

uint32_t ascii_upper(uint32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

}  // namespace

TEST(Murmur3, KnownVectors) {
    struct Case {
        std::string_view data;
        uint32_t seed;
        uint32_t hash;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {""sv, 0, 0},
        {""sv, 1, 0x514E28B7},
        {""sv, 0xFFFFFFFF, 0x81F16F39},
        {"\0\0\0\0"sv, 0, 0x2362F9DE},
        {"a"sv, 0x9747B28C, 0x7FA09EA6},  // tails of 1, 2 and 3 bytes
        {"ab"sv, 0x9747B28C, 0x74875592},
        {"abc"sv, 0x9747B28C, 0xC84A62DD},
        {"abcd"sv, 0x9747B28C, 0xF0478627},
        {"\xFF\xFE\xFD"sv, 0, 0xD2BEF2DC},  // high bytes in the tail
        {"Hello, world!"sv, 1234, 0xFAF6CDB3},
        {"The quick brown fox jumps over the lazy dog"sv, 0, 0x2E4FF723},
    };
    for (const Case& c : cases) EXPECT_EQ(hash_text(c.data, c.seed), c.hash) << '"' << c.data << '"';
}

TEST(Murmur3, HashIntIsTheFinalMix) {
    EXPECT_EQ(hash_int(0), 0u);
    EXPECT_EQ(hash_int(1), 0x514E28B7u);  // murmur3 of nothing with seed 1 is the mix of 1
    EXPECT_EQ(hash_int(0xDEADBEEF), 0x0DE5C6A9u);
    static_assert(hash_int(0xFFFFFFFF) == 0x81F16F39u);
}

TEST(Murmur3, CodePointsHashAlikeInEveryUnitSize) {
    const std::u32string text = U"h\u00E9llo";
    const std::vector<uint8_t> latin1(text.begin(), text.end());
    const std::u16string ucs2(text.begin(), text.end());
    const uint32_t expected = murmur3(text.data(), text.size() * 4, 7);
    EXPECT_EQ(hash_code_points(latin1.data(), latin1.size(), 1, 7), expected);
    EXPECT_EQ(hash_code_points(ucs2.data(), ucs2.size(), 2, 7), expected);
    EXPECT_EQ(hash_code_points(text.data(), text.size(), 4, 7), expected);

    const std::u32string wide = U"h\u00E9llo \U0001F600";
    EXPECT_EQ(hash_code_points(wide.data(), wide.size(), 4, 42), 0x6EDBCD50u);
}

TEST(Murmur3, FoldMakesLetterCaseIrrelevant) {
    const std::u16string lower = u"hello, world", mixed = u"HeLLo, World";
    EXPECT_NE(hash_code_points(lower.data(), 12, 2, 3), hash_code_points(mixed.data(), 12, 2, 3));
    EXPECT_EQ(hash_code_points(lower.data(), 12, 2, 3, ascii_upper),
              hash_code_points(mixed.data(), 12, 2, 3, ascii_upper));
}

// The upper-casing hash answers ASCII inline: it must agree with the case tables everywhere,
// including letters outside ASCII whose upper case is ASCII (dotless i, long s).
TEST(Murmur3, UpperHashIsTheHashFoldedByTheCaseTables) {
    const std::u32string text = U"aZ09_\u00E9\u00FF\u0131\u017F\u212A\u03C3\U00010428";
    const std::vector<uint8_t> latin1 = {'a', 'Z', '0', 0xE9, 0xFF, 0xDF};
    const std::u16string ucs2(text.begin(), text.end() - 1);
    EXPECT_EQ(hash_code_points_upper(text.data(), text.size(), 4, 5),
              hash_code_points(text.data(), text.size(), 4, 5, casefold::upper_char));
    EXPECT_EQ(hash_code_points_upper(ucs2.data(), ucs2.size(), 2, 5),
              hash_code_points(ucs2.data(), ucs2.size(), 2, 5, casefold::upper_char));
    EXPECT_EQ(hash_code_points_upper(latin1.data(), latin1.size(), 1, 5),
              hash_code_points(latin1.data(), latin1.size(), 1, 5, casefold::upper_char));
    for (uint32_t cp = 0; cp < 0x300; ++cp) EXPECT_EQ(casefold::upper_char_inline(cp), casefold::upper_char(cp)) << cp;
}

TEST(Murmur3, SymbolHashLowersAsciiOnly) {
    auto lowered = [](std::string_view s, uint32_t seed) {
        return murmur3_ascii_lowered(reinterpret_cast<const uint8_t*>(s.data()), s.size(), seed);
    };
    EXPECT_EQ(lowered("Hello World", 5), hash_text("hello world", 5));
    EXPECT_EQ(lowered("\xC3\x89", 5), hash_text("\xC3\x89", 5));  // E-acute stays upper case
    EXPECT_NE(lowered("\xC3\x89", 5), hash_text("\xC3\xA9", 5));
    EXPECT_EQ(lowered("[@Z`{]", 5), hash_text("[@z`{]", 5));   // only A-Z move
}
