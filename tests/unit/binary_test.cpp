// binary! and the base-N codecs: the codecs on their own (round trips in every base, buffers
// sized to the byte, wide characters, refused texts), and the binary actions on the paths that
// allocate while they read a value, run through the interpreter so that the stress build
// collects at each of those allocations.
#include <random>
#include <string>
#include <vector>

#include "datatypes/binary_codecs.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int BASES[] = {2, 16, 58, 64};

// Encodes into a heap buffer of exactly the reserved size, so that a write past it is caught by
// the sanitizer build.
std::string encoded(int base, const Bytes& bytes) {
    std::vector<uint8_t> out(binary::encoded_capacity(base, bytes.size()));
    size_t n = binary::encode(base, bytes, out);
    EXPECT_LE(n, out.size());
    return std::string(out.begin(), out.begin() + ptrdiff_t(n));
}

std::optional<Bytes> decoded(int base, const std::string& text) {
    return binary::decode(base, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), 1);
}

// The text in characters of `unit` bytes, little-endian.
std::vector<uint8_t> widened(const std::u32string& text, int unit) {
    std::vector<uint8_t> out;
    for (char32_t c : text)
        for (int i = 0; i < unit; ++i) out.push_back(uint8_t(c >> (8 * i)));
    return out;
}

}  // namespace

TEST(BinaryCodecs, EveryBaseRoundTripsBytesOfEveryShape) {
    std::mt19937 random(7);
    std::vector<Bytes> inputs = {{}, {0}, {0, 0, 0}, {0, 0, 1}, {255}, {255, 255, 255, 255}, Bytes(100, 255)};
    for (size_t n = 1; n < 70; ++n) {
        Bytes bytes(n);
        for (uint8_t& b : bytes) b = uint8_t(random());
        if (n % 5 == 0) bytes[0] = 0;  // leading zeros matter to base 58
        inputs.push_back(bytes);
    }
    for (int base : BASES)
        for (const Bytes& bytes : inputs) {
            std::string text = encoded(base, bytes);
            EXPECT_EQ(decoded(base, text), bytes) << "base " << base << " text " << text;
        }
}

TEST(BinaryCodecs, EncodersWriteNothingIntoATooShortBuffer) {
    Bytes bytes(10, 0xAB);
    for (int base : BASES) {
        std::vector<uint8_t> out(binary::encoded_capacity(base, bytes.size()) - 1, 0);
        EXPECT_EQ(binary::encode(base, bytes, out), 0u) << base;
        EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0)) << base;
    }
    uint8_t small[3];
    EXPECT_EQ(binary::encode_16(bytes, small), 0u);
    EXPECT_EQ(binary::encode_64(bytes, small), 0u);
    EXPECT_EQ(binary::encode_58(bytes, small), 0u);
    EXPECT_EQ(binary::encode_2(bytes, small), 0u);
}

TEST(BinaryCodecs, WideCharactersDecodeLikeNarrowOnesAndNeverAliasADigit) {
    for (int unit : {1, 2, 4}) {
        std::vector<uint8_t> text = widened(U"SGVs bG8=", unit);
        EXPECT_EQ(binary::decode(64, text.data(), 9, unit), (Bytes{'H', 'e', 'l', 'l', 'o'})) << unit;
    }
    // Code points whose low bits name a digit: a table indexed by the low 7 bits would take them.
    const std::u32string aliases[] = {U"\u00C1\u00C1", U"\u0141\u0141", U"\U00010041\U00010041"};
    for (const std::u32string& alias : aliases)
        for (int base : BASES) {
            int unit = alias[0] > 0xFFFF ? 4 : alias[0] > 0xFF ? 2 : 1;
            std::vector<uint8_t> text = widened(alias, unit);
            EXPECT_FALSE(binary::decode(base, text.data(), 2, unit)) << "base " << base;
        }
}

TEST(BinaryCodecs, RefusedTexts) {
    struct Case {
        int base;
        const char* text;
    };
    const Case refused[] = {
        {2, "1010101"}, {2, "2"}, {16, "0G"}, {16, "0x10"}, {58, "0"}, {58, "O"}, {58, "I"}, {58, "l"},
        {64, "S==="}, {64, "SG=x"}, {64, "SG="}, {64, "=SGk"}, {64, "SGk?"}, {64, "SG==="},
    };
    for (const Case& c : refused) EXPECT_FALSE(decoded(c.base, c.text)) << c.base << " " << c.text;
    EXPECT_FALSE(binary::is_codec_base(10));
}

namespace {

class BinaryActions : public NativesTest {};

}  // namespace

TEST_F(BinaryActions, ValuesThatAllocateWhileTheyAreRead) {
    const MoldCase cases[] = {
        {"to binary! [1 #\"a\" 'w 2.5 \"é\" [3 x]]", "#{016177322E35C3A90378}"},
        {"x: #{0102} append/dup x reduce [x 'ab 3] 2 x", "#{010201026162030102616203}"},
        {"x: #{010203} insert next x [4 y] x", "#{0104790203}"},
        {"x: #{010203} change next x [5 'zz] x", "#{01057A7A}"},
        {"enbase/base append/dup #{} #{FF} 40 64", "{/////////////////////////////////////////////////////w==}"},
        {"debase/base enbase/base append/dup #{00} #{FF} 20 58 58", "#{00FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF}"},
        {"mold reduce [append/dup #{} 7 33]",
         "{[#{^/    0707070707070707070707070707070707070707070707070707070707070707^/    07^/}]}"},
    };
    expect_molds(cases);
}
