// binary!: a string! of 1-byte units holding bytes, written #{...} in upper-case hex. It takes
// most series actions from string!; what differs (conversion, bytes added by append, insert and
// change, bitwise operations, trim of zero bytes, byte-wise compare, the hex text form) lives
// here, with the byte-level helpers other modules use to read and fill binaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/cell.hpp"

namespace vyn {

// Registers binary! (parent string!); string! must be registered first.
void binary_init();

}  // namespace vyn

namespace vyn::binary {

// The bytes from the head (clamped to the tail): valid until the next allocation.
std::span<uint8_t> bytes_of(const Cell* binary);

// Makes the cell an empty binary! with room for `capacity` bytes.
Cell* make_at(Cell* cell, uint32_t capacity);

// Writes `count` bytes at `offset` bytes past the head, moving what follows up. The bytes must
// not lie in a series buffer: the growth of the binary may move them.
void insert_bytes(Cell* binary, uint32_t offset, const uint8_t* bytes, size_t count);
inline void append_bytes(Cell* binary, const uint8_t* bytes, size_t count) {
    insert_bytes(binary, UINT32_MAX, bytes, count);
}

}  // namespace vyn::binary
