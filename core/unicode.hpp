// Strings over series: a string buffer holds code points in units of 1, 2 or 4 bytes (the unit
// bits of its flags), little-endian, and only ever widens. Loading picks the narrowest unit that
// holds the text; conversions out go to a per-value cache buffer whose node the string cell keeps
// in slot 3. Every routine here may allocate: pointers into series are valid only until the next
// call into this module or the memory manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/cell.hpp"
#include "core/memory.hpp"
#include "core/utf8.hpp"

namespace vyn::unicode {

// Buffer flag: the text was loaded from UTF-16.
constexpr uint32_t SERIES_FROM_UTF16 = 0x40000;

inline char32_t unit_at(const uint8_t* p, int unit) {
    switch (unit) {
    case 1: return *p;
    case 2: return char32_t(p[0] | p[1] << 8);
    default: {
        uint32_t u;
        std::memcpy(&u, p, 4);
        return u;
    }
    }
}

// The characters of a text value from its head to the tail.
struct Text {
    const uint8_t* units;
    uint32_t count;
    int unit;

    char32_t at(uint32_t i) const { return unit_at(units + size_t(i) * unit, unit); }
};

// A head index past the tail reads as the tail.
Text text_of(const Cell& string);

// A string! (or other text type) cell at head 0 over a node, with no conversion cache.
inline Cell string_cell(NodeId node, TypeId type = TYPE_STRING) { return make_cell(type, 0, node, 0); }

// Rewrites the buffer's units in place to a wider unit (2 or 4), growing the buffer first when
// the wider text does not fit. Returns the buffer valid afterwards.
Series* widen(NodeId node, int unit);

// Decodes UTF-8 and appends it to the target string buffer (0: a new unit-1 string), widening the
// target as needed; returns the target. A leading byte-order mark is skipped. With LOAD_FOLD_CR,
// CR LF and a lone CR both become LF. Invalid UTF-8 raises `invalid-utf8` with up to four bytes
// from the offending position. A sequence cut at the end raises too, unless `remaining` is given:
// then the load stops before it and `remaining` receives the bytes left for the next chunk.
NodeId load_utf8(const uint8_t* bytes, size_t length, NodeId target, unsigned flags,
                 size_t* remaining = nullptr);

// Decodes UTF-16 into the target string buffer (0: a new string), replacing its content, and
// sets SERIES_FROM_UTF16 on it. A surrogate pair joins into one code point; an unpaired surrogate
// becomes U+FFFD. LOAD_FOLD_CR folds line ends as load_utf8 does.
NodeId load_utf16(const char16_t* units, size_t count, NodeId target, unsigned flags);

// The conversion cache of a string value, made or grown to hold at least `bytes` bytes; its node
// goes into the cell's slot 3.
uint8_t* utf8_cache(Cell& string, size_t bytes);

// The text of a string value as zero-terminated UTF-8 in its cache, `part` characters from the
// head (-1: to the tail); with `crlf` each LF is written as CR LF. `length` receives the byte count
// without the terminator. A unit above U+10FFFF raises `invalid-char`.
const char* to_utf8_text(Cell& string, int64_t part = -1, bool crlf = false, size_t* length = nullptr);

// Writes the UTF-8 of a string value into out, whole characters only and never more than room
// bytes (with `terminate`, a 0 byte after the text and counted in room, not in the result).
// `part` limits the characters (-1: to the tail). Returns the bytes written.
size_t write_utf8(const Cell& string, uint8_t* out, size_t room, int64_t part, bool terminate);

// The text of a string value as zero-terminated UTF-16 in its cache, `part` characters from the
// head (-1: to the tail), each LF written as CR LF with `crlf`. `length` receives the UTF-16 units
// without the terminator. Null when a unit is above U+10FFFF.
const char16_t* to_utf16(Cell& string, int64_t part = -1, bool crlf = true, size_t* length = nullptr);

}  // namespace vyn::unicode
