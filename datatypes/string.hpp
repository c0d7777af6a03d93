// string! storage: text in 1-, 2- or 4-byte units (Latin-1, UCS-2, UCS-4) that widen when a wider
// code point arrives and never narrow. A string cell holds the head index in slot 1, the series
// node in slot 2 and the node of its UTF-8 conversion cache (or 0) in slot 3. Every routine that
// can widen or grow re-reads the buffer through the node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/memory.hpp"

namespace vyn::string {

inline NodeId node_of(const Cell* s) { return s->s2; }
inline Series* buffer_of(const Cell* s) { return memory::series_of(s->s2); }

// Makes the cell an empty string! with room for `size` characters of `unit` bytes.
Cell* make_at(Cell* cell, uint32_t size, int unit = 1);
Cell make(uint32_t size, int unit = 1);

inline uint32_t get_char(const uint8_t* p, int unit) {
    if (unit == 1) return *p;
    if (unit == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    uint32_t cp;
    std::memcpy(&cp, p, 4);
    return cp;
}
inline void put_char(uint8_t* p, int unit, uint32_t cp) {
    if (unit == 1) *p = uint8_t(cp);
    else if (unit == 2) {
        p[0] = uint8_t(cp);
        p[1] = uint8_t(cp >> 8);
    } else std::memcpy(p, &cp, 4);
}

// The unit a code point needs when stored in place (write, poke, insert)...
inline int unit_for_store(uint32_t cp) { return cp < 0x100 ? 1 : cp < 0x10000 ? 2 : 4; }
// ...and when appended, which widens earlier to keep unit-1 text ASCII-clean.
inline int unit_for_append(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x10000 ? 2 : 4; }

// Characters from the head (clamped to the tail) to the tail, and from the first character.
uint32_t length(const Cell* s);
uint32_t abs_length(const Cell* s);
uint32_t abs_at(const Cell* s, uint32_t index);

// Rewrites the buffer with a wider unit; returns the buffer valid afterwards.
Series* widen_buffer(NodeId node, int new_unit);
Series* append_char(NodeId node, uint32_t cp);
// Appends bytes taken as code points 0-255.
void concatenate_literal(Cell* s, std::string_view text);
// Appends UTF-8 text; invalid sequences become U+FFFD.
void append_utf8(Cell* s, std::string_view utf8);
// Appends the characters of `source` from its head.
void append_string(Cell* target, const Cell* source);

// The text from the head as UTF-8.
std::string to_utf8(const Cell* s);

// Upper-case hex digits of a 32-bit value: 8 digits padded with "0" (or "F" when negative), or
// in short form only the significant digits ("00" for 0).
std::string to_hex(uint32_t value, bool short_form);

}  // namespace vyn::string
