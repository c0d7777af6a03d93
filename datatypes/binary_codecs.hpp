// The base-2, base-16, base-58 and base-64 text codecs of binary data. They touch no series:
// encoders write into a buffer the caller sized with `encoded_capacity` and never past it;
// decoders read exactly `count` characters and build their bytes outside the heap, so a caller
// may read a string's buffer directly and allocate only once decoding is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vyn::binary {

// 2, 16, 58 and 64.
bool is_codec_base(int64_t base);

// The characters `enbase` reserves for n bytes: at least what the encoder writes.
uint64_t encoded_capacity(int base, uint64_t n);

// Write the text of `bytes` into `out` and return the characters written. `out` must hold
// encoded_capacity(base, bytes.size()) characters; a shorter one gets nothing (0 is returned).
size_t encode(int base, std::span<const uint8_t> bytes, std::span<uint8_t> out);
size_t encode_2(std::span<const uint8_t> bytes, std::span<uint8_t> out);   // 8 per byte, high bit first
size_t encode_16(std::span<const uint8_t> bytes, std::span<uint8_t> out);  // 2 upper-case digits per byte
size_t encode_58(std::span<const uint8_t> bytes, std::span<uint8_t> out);  // leading zeros as "1"
size_t encode_64(std::span<const uint8_t> bytes, std::span<uint8_t> out);  // padded with "="

// Decodes `count` characters of `unit` bytes each (1, 2 or 4, little-endian); nothing when the
// text is not valid in that base. Blanks and ";" comments up to a line feed are skipped.
std::optional<std::vector<uint8_t>> decode(int base, const uint8_t* chars, uint32_t count, int unit);

}  // namespace vyn::binary
