// Deflate streams (raw, zlib-framed and gzip-framed): the compressor and the inflater over byte
// ranges, for the compress and decompress natives. Every codec call takes a destination and its
// capacity in `size`; it never writes past the capacity, and on return `size` holds the length
// the whole result needs, so one call with capacity 0 measures. Malformed input is a status,
// never a read outside the source.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::deflate {

// The framings a method word names: `deflate` (raw), `zlib` and `gzip`.
enum class Method : int8_t { deflate = 0, zlib, gzip, none = -1 };
// Makes the method words' symbols; start-up calls it once the symbol table exists.
void init();
// The framing a word's symbol names (letter case aside), or none.
Method method_of(uint32_t symbol);

enum Status : int {
    DONE = 0,
    TOO_SMALL = 1,     // `size` holds the full length; the destination holds its first bytes
    BAD_DATA = 2,      // framing, checksum, code table or a stream cut short
    STORED_PAST_END = 3,
    RESERVED_BLOCK = 4,
    DISTANCE_TOO_FAR = 5,
};

// The most output `length` bytes of deflate data can give: 258 bytes for every two bits.
constexpr size_t most_output(size_t length) { return length * 1032 + 1032; }

// Raw deflate.
Status compress(uint8_t* to, size_t& size, const uint8_t* from, size_t length);
Status decompress(uint8_t* to, size_t& size, const uint8_t* from, size_t length);

// zlib framing: a two-byte header and the Adler-32 of the data.
Status zlib_wrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length);
Status zlib_unwrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length);

// gzip framing: a ten-byte header without name or time, the CRC-32 and the length of the data.
Status gzip_wrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length);
Status gzip_unwrap(uint8_t* to, size_t& size, const uint8_t* from, size_t length);

}  // namespace vyn::deflate
