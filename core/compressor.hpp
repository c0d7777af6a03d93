// The runtime compressor: an LZ77 coder with a bit-level token format, used for compressed VYNBIN
// bodies. A container is S (bytes after the 8-byte header) and U (uncompressed size), both u32
// little-endian, then blocks of at most 1 MiB, each its length L and a bit stream padded to a byte.
// The decompressor treats the container as untrusted: every byte it fetches lies inside the
// given length, and a fault anywhere gives no result, never a read or write outside the buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vyn::compress {

constexpr size_t header_size = 8;
constexpr size_t smallest_input = 128;
constexpr size_t block_size = 0x100000;
constexpr size_t longest_match = 566;
constexpr size_t farthest_match = 0x40000;

// Writes the container for `length` bytes of `source` into `destination`, which has room for
// `length` bytes, and returns its total size (S + 8); -1 when the input is under 128 bytes or
// the container would not fit in `length` bytes.
int64_t compress(const uint8_t* source, size_t length, uint8_t* destination);

// The bytes the container of `length` bytes holds, or none when it is corrupt or cut short.
std::optional<std::vector<uint8_t>> decompress(const uint8_t* container, size_t length);

// Steps of the match search, rolled one byte at a time: the hashes of the last 3 and 4 bytes, and
// how many times a distance must be shifted right by 3 to reach another.
constexpr uint32_t hash3(uint32_t h, uint8_t byte) { return ((h & 0xFFFF) * 128 + byte) & 0x7FFFF; }
constexpr uint32_t hash4(uint32_t h, uint8_t byte) { return ((h & 0xFFFF) * 32 + byte) & 0xFFFFF; }
constexpr uint32_t distance_cost(uint32_t distance, uint32_t than) {
    uint32_t shifts = 0;
    for (; distance > than; distance >>= 3) ++shifts;
    return shifts;
}

}  // namespace vyn::compress
