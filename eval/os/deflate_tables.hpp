// The constant tables of the deflate format shared by the compressor and the inflater: length and
// distance bases with their extra bits, the order of the code-length code lengths, the fixed code
// lengths and the bit reversal of a byte.
#pragma once

#include <array>
#include <cstdint>

namespace vyn::deflate::tables {

constexpr int LITERALS = 288;       // literal/length alphabet, 286 and 287 unused
constexpr int DISTANCES = 32;       // distance alphabet, 30 and 31 unused
constexpr int CODE_LENGTHS = 19;
constexpr int END_OF_BLOCK = 256;
constexpr int MAX_BITS = 15;
constexpr int WINDOW = 32768;

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t code_length_order[CODE_LENGTHS] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr uint8_t fixed_literal_length(int symbol) {
    return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}
constexpr uint8_t FIXED_DISTANCE_LENGTH = 5;

constexpr std::array<uint8_t, 256> make_reversed() {
    std::array<uint8_t, 256> r{};
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if (b & (1 << i)) r[size_t(b)] |= uint8_t(0x80 >> i);
    return r;
}
constexpr std::array<uint8_t, 256> reversed_byte = make_reversed();

// The low `bits` bits of a code in reverse order.
inline uint32_t reverse(uint32_t code, int bits) {
    uint32_t r16 = uint32_t(reversed_byte[code & 0xFF]) << 8 | reversed_byte[(code >> 8) & 0xFF];
    return r16 >> (16 - bits);
}

}  // namespace vyn::deflate::tables
