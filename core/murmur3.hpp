// MurmurHash3 (x86, 32-bit) and the key hashes of the hashtable built on it.
// Text hashes take each code point as one 32-bit block whatever the unit size (1, 2 or 4 bytes)
// it is stored in, so equal text hashes equal in Latin-1, UCS-2 and UCS-4 alike.
// Hashes are never stored outside a running process; only the seed varies between runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::hashtable {

// Maps a code point before it is hashed: the case folding that the key comparison ignores.
using CaseFold = uint32_t (*)(uint32_t);

// The final avalanche of MurmurHash3 (fmix32); alone, the hash of an integer or node id.
constexpr uint32_t hash_int(uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// MurmurHash3 x86 32-bit of length bytes.
uint32_t murmur3(const void* data, size_t length, uint32_t seed);

// MurmurHash3 of UTF-8 bytes with ASCII A-Z taken as a-z, as if lowered first: the hash of a
// symbol name, equal for names that differ only in ASCII letter case.
uint32_t murmur3_ascii_lowered(const uint8_t* bytes, size_t length, uint32_t seed);

// MurmurHash3 of count code points stored in units of unit_size (1, 2 or 4) bytes: equal to
// murmur3 of the same text in UCS-4. Each code point goes through fold first when one is given.
uint32_t hash_code_points(const void* units, size_t count, int unit_size, uint32_t seed, CaseFold fold = nullptr);
// The same with casefold::upper_char as the fold, called inline.
uint32_t hash_code_points_upper(const void* units, size_t count, int unit_size, uint32_t seed);

}  // namespace vyn::hashtable
