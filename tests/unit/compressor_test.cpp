// The runtime compressor: the token format at bit level from hand-built containers, round trips
// across block boundaries and far matches, refusals, and corrupt or cut containers, which must
// give no result without touching memory outside the input (the sanitizer build checks that).
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string_view>
#include <vector>

#include "core/compressor.hpp"
#include "tests/unit/random_bytes.hpp"

using namespace vyn;
using Bytes = std::vector<uint8_t>;
using vyn::testing_support::random_bytes;

namespace {

// A container of hand-written blocks: each block is its length and its bits in reading order.
struct Block {
    uint32_t length;
    std::vector<int> bits;
};

void put_u32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

Bytes container(uint32_t expanded, std::initializer_list<Block> blocks) {
    Bytes body;
    for (const Block& block : blocks) {
        put_u32(body, block.length);
        for (size_t i = 0; i < block.bits.size(); ++i) {
            if (i % 8 == 0) body.push_back(0);
            body.back() |= uint8_t(block.bits[i] << (i % 8));
        }
    }
    Bytes out;
    put_u32(out, uint32_t(body.size()));
    put_u32(out, expanded);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<int> bits(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
const std::vector<int> literal_41 = {0, 1, 0, 0, 0, 0, 0, 1, 0};
// A match of length 3 (length code 0) at distance 1 (distance code 0).
const std::vector<int> match_3_at_1 = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::optional<Bytes> unpack(const Bytes& packed) { return compress::decompress(packed.data(), packed.size()); }

Bytes pack(const Bytes& data) {
    Bytes out(data.size());
    int64_t size = compress::compress(data.data(), data.size(), out.data());
    out.resize(size < 0 ? 0 : size_t(size));
    return out;
}

Bytes text_like(size_t n, uint32_t seed) {
    static constexpr std::string_view words[] = {"append ", "block ", "[x y] ", "\"text\" ", "func ", "42 ", "\n", "either "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        std::string_view w = words[rng() % std::size(words)];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

}  // namespace

TEST(Compressor, LiteralIsAZeroBitThenTheByteLowBitFirst) {
    EXPECT_EQ(unpack(container(1, {{1, literal_41}})), Bytes{0x41});
    // the same nine bits as the compressor writes them: 0x82, then a low 0 bit in the next byte
    Bytes data = text_like(300, 1);
    data[0] = 0x41;
    Bytes packed = pack(data);
    ASSERT_FALSE(packed.empty());
    EXPECT_EQ(packed[12], 0x82);
    EXPECT_EQ(packed[13] & 1, 0);
}

TEST(Compressor, ShortMatchAtDistanceOneRepeatsTheByte) {
    EXPECT_EQ(unpack(container(4, {{4, bits({literal_41, match_3_at_1})}})), (Bytes{0x41, 0x41, 0x41, 0x41}));
}

TEST(Compressor, RoundTripOverThreeBlocksWithFarMatches) {
    // each megabyte: random data repeated 250,000 bytes later (a far match), then text
    Bytes data;
    for (uint32_t seed = 0; seed < 3; ++seed) {
        Bytes noise = random_bytes(200000, seed);
        Bytes text = text_like(50000, seed);
        for (const Bytes* part : {&noise, &text, &noise}) data.insert(data.end(), part->begin(), part->end());
        Bytes rest = text_like(compress::block_size - 450000, seed + 7);
        data.insert(data.end(), rest.begin(), rest.end());
    }
    ASSERT_EQ(data.size(), 3 * compress::block_size);
    Bytes packed = pack(data);
    ASSERT_FALSE(packed.empty());
    EXPECT_LT(packed.size(), data.size() * 3 / 4);
    EXPECT_EQ(packed[8] | packed[9] << 8 | packed[10] << 16, 0x100000);  // the first block's length
    EXPECT_EQ(unpack(packed), data);
}

TEST(Compressor, RoundTripOfShortAndPartialBlocks) {
    for (size_t n : {size_t(128), size_t(1000), compress::block_size + 1}) {
        Bytes data = text_like(n, uint32_t(n));
        Bytes packed = pack(data);
        ASSERT_FALSE(packed.empty()) << n;
        EXPECT_EQ(unpack(packed), data) << n;
    }
}

TEST(Compressor, RefusesShortOrIncompressibleInput) {
    Bytes out(4096);
    Bytes text = text_like(127, 3);
    EXPECT_EQ(compress::compress(text.data(), text.size(), out.data()), -1);
    Bytes noise = random_bytes(4096, 9);
    EXPECT_EQ(compress::compress(noise.data(), noise.size(), out.data()), -1);
}

TEST(Compressor, CorruptContainersGiveNothing) {
    struct Case {
        const char* what;
        Bytes packed;
    };
    const Case cases[] = {
        {"block length 0", container(8, {{0, literal_41}})},
        {"block length above 1 MiB", container(0x100001, {{0x100001, literal_41}})},
        {"match before the block's start", container(3, {{3, match_3_at_1}})},
        {"match past the block's end", container(3, {{3, bits({literal_41, match_3_at_1})}})},
        {"blocks beyond U + 8", container(0, {{9, bits({literal_41, literal_41, literal_41, literal_41, literal_41,
                                                        literal_41, literal_41, literal_41, literal_41})}})},
        {"tokens run out", container(2, {{2, literal_41}})},
        {"header cut", Bytes{4, 0, 0, 0, 1, 0, 0}},
        {"block length cut", Bytes{2, 0, 0, 0, 1, 0, 0, 0, 1, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(unpack(c.packed), std::nullopt) << c.what;
    EXPECT_EQ(unpack(container(0, {{8, bits({literal_41, match_3_at_1, match_3_at_1, literal_41})}})), Bytes(8, 0x41)) << "U + 8 is room";
}

TEST(Compressor, CutOrDamagedContainersNeverReadOutside) {
    Bytes data = text_like(2000, 5);
    Bytes packed = pack(data);
    ASSERT_FALSE(packed.empty());
    for (size_t cut = 9; cut < packed.size(); ++cut) {
        // each cut in a buffer of its own size, so the sanitizer sees any read past it
        Bytes stated(packed.begin(), packed.begin() + cut);
        EXPECT_EQ(unpack(stated), std::nullopt) << cut;
        Bytes restated = stated;
        restated[0] = uint8_t(cut - 8), restated[1] = uint8_t((cut - 8) >> 8);
        EXPECT_EQ(unpack(restated), std::nullopt) << cut;
    }
    for (size_t i = 0; i < packed.size(); ++i) {
        Bytes damaged = packed;
        damaged[i] ^= 0xFF;
        const size_t room = size_t(damaged[4] | damaged[5] << 8 | damaged[6] << 16 | uint32_t(damaged[7]) << 24) + 8;
        if (auto out = unpack(damaged)) {
            EXPECT_LE(out->size(), room) << i;
        }
    }
}
