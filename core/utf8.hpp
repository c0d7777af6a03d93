// Text conversion kernels: UTF-8 and UTF-16 to and from runs of 1-, 2- or 4-byte code units
// (Latin-1, UCS-2, UCS-4; units are in machine order, little-endian on every target).
// Decoding is strict: only shortest forms of U+0000-U+10FFFF outside D800-DFFF are accepted, so
// no byte sequence can smuggle a NUL, "/" or a surrogate past a check done on decoded text.
// Encoding always produces well-formed UTF-8/UTF-16: a surrogate unit is written as U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::unicode {

constexpr char32_t MAX_CODE_POINT = 0x10FFFF;
constexpr char32_t REPLACEMENT_CHAR = 0xFFFD;

enum class Status : uint8_t {
    ok,
    invalid,    // a malformed sequence
    truncated,  // a sequence that is well-formed so far but runs past the end of the input
    too_wide,   // loading only: a code point the destination's unit size cannot hold
};

struct Decoded {
    char32_t code_point;  // meaningful when status is ok
    uint8_t length;       // bytes taken; for invalid, the ill-formed prefix (at least 1) to skip
    Status status;        // ok, invalid or truncated
};

// One sequence at p (p < end). Rejects overlongs, surrogates and values above U+10FFFF.
Decoded decode_utf8_char(const uint8_t* p, const uint8_t* end);
// As decode_utf8_char, and also refuses U+FFFE: a byte-swapped BOM means the text is not UTF-8.
Decoded decode_utf8_strict(const uint8_t* p, const uint8_t* end);

// Characters between start and end; each invalid or truncated sequence counts as one.
size_t count_utf8_chars(const uint8_t* start, const uint8_t* end);
// Position after up to n characters from p, never past end.
const uint8_t* skip_utf8_chars(const uint8_t* p, const uint8_t* end, size_t n);
// Length of the sequence a lead byte starts (1-4), or 0 for a byte that never leads one.
int utf8_seq_length(uint8_t lead);
// Bytes of the UTF-8 form of cp (1-4), or 0 when cp is above U+10FFFF.
int utf8_length(char32_t cp);
// Writes the UTF-8 form of cp (1-4 bytes) and returns its length, or 0 above U+10FFFF.
int encode_utf8(char32_t cp, uint8_t* out);

// Narrowest unit size (1, 2 or 4) that holds cp.
constexpr int unit_size_for(char32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// How text is loaded; flags combine.
enum LoadFlags : unsigned {
    LOAD_STRICT = 0,
    LOAD_FOLD_CR = 1,  // CR LF and a lone CR both become LF
    LOAD_LENIENT = 2,  // each ill-formed sequence becomes U+FFFD instead of stopping the load
};

struct LoadResult {
    size_t chars;     // code points produced
    size_t consumed;  // input taken, in bytes (UTF-8) or units (UTF-16); where a stop happened
    int unit_size;    // narrowest unit (1, 2 or 4) holding every code point produced
    Status status;    // ok; else the offending sequence starts at `consumed`
    bool saw_cr;      // a CR was folded
};

// Decodes UTF-8 without storing, to size the destination. A leading BOM (EF BB BF) is skipped.
// A truncated sequence at the end stops the scan: length - consumed bytes are left over for the
// next chunk. Strict loads also stop at an invalid sequence; lenient ones never stop.
LoadResult measure_utf8(const uint8_t* bytes, size_t length, unsigned flags);
// Decodes UTF-8 as measure_utf8 does into `units` (room for `chars` of measure_utf8, or for
// `length` units) of unit_size bytes each; stops with too_wide at a code point that does not fit.
LoadResult load_utf8(const uint8_t* bytes, size_t length, unsigned flags, void* units, int unit_size);

// The same two steps for UTF-16: a surrogate pair joins into one code point; an unpaired
// surrogate becomes U+FFFD. Nothing is left over and nothing is invalid.
LoadResult measure_utf16(const char16_t* text, size_t count, unsigned flags);
LoadResult load_utf16(const char16_t* text, size_t count, unsigned flags, void* units, int unit_size);

// Output of the encoders. `units` below `count` means units[units] is above U+10FFFF (or, for a
// bounded write, did not fit): nothing from it on was written.
struct EncodeResult {
    size_t written;  // bytes (UTF-8) or UTF-16 units
    size_t units;    // source units encoded
};

// Size of the UTF-8 form of count units of unit_size bytes; crlf counts a CR before each LF.
EncodeResult utf8_size(const void* units, size_t count, int unit_size, bool crlf);
// Writes the UTF-8 form into out, never more than room bytes and only whole characters.
EncodeResult write_utf8(const void* units, size_t count, int unit_size, uint8_t* out, size_t room, bool crlf);

// Size in UTF-16 units; each code point above U+FFFF takes a surrogate pair.
EncodeResult utf16_size(const void* units, size_t count, int unit_size, bool crlf);
// Writes the UTF-16 form into out, never more than room UTF-16 units and only whole characters.
EncodeResult write_utf16(const void* units, size_t count, int unit_size, char16_t* out, size_t room, bool crlf);

}  // namespace vyn::unicode
