// VYNBIN: the binary serialisation of values. A stream is an 8-byte header ("VYNBIN", version,
// flags), the counts, an optional symbol table and the records, one per root value, in the
// standard layout (32-bit words) or the compact one (varints). The reader takes every stream as
// untrusted: each count, index, type id and reference path is checked before use, and a fault is
// the error `vb-invalid-record` at its byte position, never a read outside the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/cell.hpp"

namespace vyn::vynbin {

constexpr uint8_t VERSION = 2;
constexpr uint8_t FLAG_COMPACT = 0x01;
constexpr uint8_t FLAG_COMPRESSED = 0x02;
constexpr uint8_t FLAG_SYMBOLS = 0x04;
constexpr size_t HEADER_SIZE = 8;

// Boot: the start-up load of the boot image (faults of the header end the process; words may
// name contexts of earlier root values; definitions are allowed). Script: a decode asked for by
// code, whose every fault is an error.
enum class Mode { boot, script };

// Serialises one value into a new binary! written into `out`, which must not lie in a buffer
// that can move. Values of routine!, triple!, handle!, port! and event! raise `no-codec`.
void encode(const Cell& value, bool compact, Cell* out);
// The same bytes as a plain byte vector (what the build step writes into the executable).
std::vector<uint8_t> encode_bytes(const Cell& value, bool compact);

// The build step's writer of boot images, compact layout: root values and definitions (a word,
// then the value it is set to at load), with one symbol table for the whole image.
class ImageWriter {
public:
    ImageWriter();
    ~ImageWriter();
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    void add_value(const Cell& value);
    void add_definition(const Cell& word, const Cell& value);
    // The whole stream: header (version 1, flags 0x05), counts, symbols and records.
    std::vector<uint8_t> finish();

private:
    struct State;
    State* state_;
};

// Decodes a whole stream, appending its root values to `target` (a block! that must not lie in a
// buffer that can move). The bytes are copied first, so they may live in a series. A wrong magic
// or corrupt compressed data raises `invalid-data` with `source` as argument (boot mode prints
// and ends the process instead); a malformed body raises `vb-invalid-record`. Returns the index
// of the first value appended.
uint32_t decode(std::span<const uint8_t> data, Cell* target, Mode mode, const Cell& source);

// Start-up: decodes the boot image into the root block with the collector off. The image must
// stay in place while it is read (constant data of the program). Returns the index in `root` of
// the first value decoded, which also becomes the boot literal base. Boot-mode word records name
// contexts by root values counted from that index, and reference paths count from it too.
uint32_t boot_load(std::span<const uint8_t> image, Cell* root);
// The index in the root block of the first value of the last boot load.
uint32_t boot_literal_base();

}  // namespace vyn::vynbin
