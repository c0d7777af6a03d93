// MurmurHash3 x86 32-bit: 4-byte little-endian blocks, a 1-3 byte tail, then the length in bytes
// and the final avalanche. Byte runs assemble their blocks byte by byte, so the hash is the same
// on any host byte order; code-point runs feed one code point per block.
#include "core/murmur3.hpp"

#include <bit>

#include "core/casefold.hpp"

namespace vyn::hashtable {

namespace {

constexpr uint32_t scramble(uint32_t k) {
    k *= 0xCC9E2D51u;
    k = std::rotl(k, 15);
    return k * 0x1B873593u;
}

constexpr uint32_t mix_block(uint32_t h, uint32_t k) {
    h ^= scramble(k);
    h = std::rotl(h, 13);
    return h * 5 + 0xE6546B64u;
}

constexpr uint32_t finish(uint32_t h, size_t length) { return hash_int(h ^ static_cast<uint32_t>(length)); }

constexpr uint8_t same_byte(uint8_t b) { return b; }
constexpr uint8_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b; }

template <uint8_t (*map)(uint8_t)>
uint32_t murmur3_bytes(const uint8_t* p, size_t length, uint32_t seed) {
    uint32_t h = seed;
    const uint8_t* const blocks_end = p + (length & ~size_t(3));
    for (; p < blocks_end; p += 4)
        h = mix_block(h, map(p[0]) | map(p[1]) << 8 | map(p[2]) << 16 | uint32_t(map(p[3])) << 24);
    uint32_t tail = 0;
    switch (length & 3) {
    case 3: tail |= map(p[2]) << 16; [[fallthrough]];
    case 2: tail |= map(p[1]) << 8; [[fallthrough]];
    case 1: h ^= scramble(tail | map(p[0]));
    }
    return finish(h, length);
}

template <class Unit, class Fold>
uint32_t hash_unit_run(const Unit* units, size_t count, uint32_t seed, Fold fold) {
    uint32_t h = seed;
    for (size_t i = 0; i < count; ++i) h = mix_block(h, fold(units[i]));
    return finish(h, count * 4);
}

template <class Fold>
uint32_t hash_units(const void* units, size_t count, int unit_size, uint32_t seed, Fold fold) {
    switch (unit_size) {
    case 1: return hash_unit_run(static_cast<const uint8_t*>(units), count, seed, fold);
    case 2: return hash_unit_run(static_cast<const uint16_t*>(units), count, seed, fold);
    default: return hash_unit_run(static_cast<const uint32_t*>(units), count, seed, fold);
    }
}

uint32_t same_code_point(uint32_t cp) { return cp; }

}  // namespace

uint32_t murmur3(const void* data, size_t length, uint32_t seed) {
    return murmur3_bytes<same_byte>(static_cast<const uint8_t*>(data), length, seed);
}

uint32_t murmur3_ascii_lowered(const uint8_t* bytes, size_t length, uint32_t seed) {
    return murmur3_bytes<ascii_lower>(bytes, length, seed);
}

uint32_t hash_code_points(const void* units, size_t count, int unit_size, uint32_t seed, CaseFold fold) {
    return hash_units(units, count, unit_size, seed, fold ? fold : same_code_point);
}

uint32_t hash_code_points_upper(const void* units, size_t count, int unit_size, uint32_t seed) {
    // A lambda, not the function's address, so that the ASCII test is inlined into the loop.
    return hash_units(units, count, unit_size, seed, [](uint32_t cp) { return casefold::upper_char_inline(cp); });
}

}  // namespace vyn::hashtable
