// UTF-8 and UTF-16 conversion kernels. UTF-8 is decoded by a table-driven automaton whose
// transitions admit exactly the well-formed sequences, so validity needs no checks after the fact.
// A reject happens at the first byte that cannot continue a sequence; that byte is not taken with
// the broken prefix but read again as the start of the next sequence.
#include "core/utf8.hpp"

#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace vyn::unicode {

namespace {

// Byte classes: which lead byte a byte is, or which range of continuation bytes it lies in.
enum ByteClass : uint8_t {
    ASCII = 0,
    CONT_80_8F = 1,
    LEAD_2 = 2,     // C2-DF
    LEAD_3 = 3,     // E1-EC, EE-EF
    LEAD_ED = 4,    // second byte 80-9F only: no surrogates
    LEAD_F4 = 5,    // second byte 80-8F only: nothing above U+10FFFF
    LEAD_4 = 6,     // F1-F3
    CONT_A0_BF = 7,
    NEVER = 8,      // C0-C1 (overlong), F5-FF (above U+10FFFF)
    CONT_90_9F = 9,
    LEAD_E0 = 10,   // second byte A0-BF only: no overlongs
    LEAD_F0 = 11,   // second byte 90-BF only: no overlongs
    CLASS_COUNT = 12,
};

// States are offsets into the transition table, one row of CLASS_COUNT entries each.
enum State : uint8_t {
    ACCEPT = 0,
    REJECT = 12,
    NEED_1 = 24,
    NEED_2 = 36,
    AFTER_E0 = 48,
    AFTER_ED = 60,
    AFTER_F0 = 72,
    NEED_3 = 84,
    AFTER_F4 = 96,
    STATE_END = 108,
};

constexpr std::array<uint8_t, 256> make_byte_classes() {
    std::array<uint8_t, 256> c{};
    auto fill = [&c](int first, int last, ByteClass cls) {
        for (int b = first; b <= last; ++b) c[b] = cls;
    };
    fill(0x00, 0x7F, ASCII);
    fill(0x80, 0x8F, CONT_80_8F);
    fill(0x90, 0x9F, CONT_90_9F);
    fill(0xA0, 0xBF, CONT_A0_BF);
    fill(0xC0, 0xC1, NEVER);
    fill(0xC2, 0xDF, LEAD_2);
    fill(0xE0, 0xE0, LEAD_E0);
    fill(0xE1, 0xEC, LEAD_3);
    fill(0xED, 0xED, LEAD_ED);
    fill(0xEE, 0xEF, LEAD_3);
    fill(0xF0, 0xF0, LEAD_F0);
    fill(0xF1, 0xF3, LEAD_4);
    fill(0xF4, 0xF4, LEAD_F4);
    fill(0xF5, 0xFF, NEVER);
    return c;
}

constexpr std::array<uint8_t, STATE_END> make_transitions() {
    std::array<uint8_t, STATE_END> t{};
    t.fill(REJECT);
    auto on = [&t](int from, std::initializer_list<ByteClass> classes, State to) {
        for (int c : classes) t[from + c] = to;
    };
    const std::initializer_list<ByteClass> any_cont = {CONT_80_8F, CONT_90_9F, CONT_A0_BF};
    on(ACCEPT, {ASCII}, ACCEPT);
    on(ACCEPT, {LEAD_2}, NEED_1);
    on(ACCEPT, {LEAD_3}, NEED_2);
    on(ACCEPT, {LEAD_E0}, AFTER_E0);
    on(ACCEPT, {LEAD_ED}, AFTER_ED);
    on(ACCEPT, {LEAD_4}, NEED_3);
    on(ACCEPT, {LEAD_F0}, AFTER_F0);
    on(ACCEPT, {LEAD_F4}, AFTER_F4);
    on(NEED_1, any_cont, ACCEPT);
    on(NEED_2, any_cont, NEED_1);
    on(NEED_3, any_cont, NEED_2);
    on(AFTER_E0, {CONT_A0_BF}, NEED_1);
    on(AFTER_ED, {CONT_80_8F, CONT_90_9F}, NEED_1);
    on(AFTER_F0, {CONT_90_9F, CONT_A0_BF}, NEED_2);
    on(AFTER_F4, {CONT_80_8F}, NEED_2);
    return t;
}

constexpr std::array<uint8_t, 256> BYTE_CLASS = make_byte_classes();
constexpr std::array<uint8_t, STATE_END> TRANSITION = make_transitions();

constexpr bool is_surrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }
constexpr bool is_high_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

bool starts_with_bom(const uint8_t* bytes, size_t length) {
    return length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

// True when any byte of w equals b.
constexpr bool word_has_byte(uint64_t w, uint8_t b) {
    constexpr uint64_t ones = 0x0101010101010101ull;
    uint64_t x = w ^ (ones * b);
    return ((x - ones) & ~x & (ones * 0x80)) != 0;
}

// Length of the run of ASCII bytes at p, stopping before a CR when CRs are folded.
size_t ascii_run(const uint8_t* p, const uint8_t* end, bool stop_at_cr) {
    const uint8_t* q = p;
    while (end - q >= 8) {
        uint64_t w;
        std::memcpy(&w, q, 8);
        if ((w & 0x8080808080808080ull) || (stop_at_cr && word_has_byte(w, '\r'))) break;
        q += 8;
    }
    while (q < end && *q < 0x80 && !(stop_at_cr && *q == '\r')) ++q;
    return q - p;
}

const uint8_t* next_utf8_char(const uint8_t* p, const uint8_t* end) {
    return *p < 0x80 ? p + 1 : p + decode_utf8_char(p, end).length;
}

// Line-end folding shared by both decoders: CR LF keeps only the LF, a lone CR becomes LF.
struct CrFolder {
    bool on;
    bool saw_cr = false;

    // False when the code point is to be dropped.
    bool apply(char32_t& cp, bool lf_follows) {
        if (!on || cp != '\r') return true;
        saw_cr = true;
        cp = '\n';
        return !lf_follows;
    }
};

// Where decoded code points go: counted only, or stored in units of a given width.
struct CountSink {
    size_t chars = 0;
    char32_t widest = 0;  // OR of every code point: its unit size is the widest one's

    void put_ascii(const uint8_t*, size_t n) { chars += n; }
    bool put(char32_t cp) {
        widest |= cp;
        ++chars;
        return true;
    }
};

template <class Unit>
struct UnitSink {
    Unit* out;
    size_t chars = 0;
    char32_t widest = 0;

    void put_ascii(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) out[chars + i] = p[i];
        chars += n;
    }
    bool put(char32_t cp) {
        if constexpr (sizeof(Unit) < 4) {
            if (cp >> (8 * sizeof(Unit)) != 0) return false;
        }
        widest |= cp;
        out[chars++] = static_cast<Unit>(cp);
        return true;
    }
};

template <class Sink>
LoadResult finish(const Sink& sink, size_t consumed, Status status, const CrFolder& cr) {
    return {sink.chars, consumed, unit_size_for(sink.widest), status, cr.saw_cr};
}

template <class Sink>
LoadResult scan_utf8(const uint8_t* bytes, size_t length, unsigned flags, Sink& sink) {
    const uint8_t* const end = bytes + length;
    const uint8_t* p = bytes + (starts_with_bom(bytes, length) ? 3 : 0);
    CrFolder cr{(flags & LOAD_FOLD_CR) != 0};
    Status status = Status::ok;
    while (p < end) {
        if (*p < 0x80) {
            if (size_t run = ascii_run(p, end, cr.on)) {
                sink.put_ascii(p, run);
                p += run;
                continue;
            }
        }
        Decoded d = decode_utf8_strict(p, end);
        if (d.status != Status::ok) {
            if (!(flags & LOAD_LENIENT)) {
                status = d.status;
                break;
            }
            d.code_point = REPLACEMENT_CHAR;
        }
        if (cr.apply(d.code_point, p + 1 < end && p[1] == '\n') && !sink.put(d.code_point)) {
            status = Status::too_wide;
            break;
        }
        p += d.length;
    }
    return finish(sink, p - bytes, status, cr);
}

// One code point of UTF-16 at text[0] (count > 0); its length in units is 1 or 2.
std::pair<char32_t, size_t> decode_utf16_char(const char16_t* text, size_t count) {
    char32_t u = text[0];
    if (!is_surrogate(u)) return {u, 1};
    if (is_high_surrogate(u) && count > 1 && is_low_surrogate(text[1]))
        return {0x10000 + ((u - 0xD800) << 10) + (text[1] - 0xDC00), 2};
    return {REPLACEMENT_CHAR, 1};
}

template <class Sink>
LoadResult scan_utf16(const char16_t* text, size_t count, unsigned flags, Sink& sink) {
    CrFolder cr{(flags & LOAD_FOLD_CR) != 0};
    size_t i = 0;
    while (i < count) {
        auto [cp, length] = decode_utf16_char(text + i, count - i);
        if (cr.apply(cp, i + 1 < count && text[i + 1] == '\n') && !sink.put(cp))
            return finish(sink, i, Status::too_wide, cr);
        i += length;
    }
    return finish(sink, i, Status::ok, cr);
}

template <class Scan>
LoadResult scan_into_units(void* units, int unit_size, Scan scan) {
    switch (unit_size) {
    case 1: {
        UnitSink<uint8_t> sink{static_cast<uint8_t*>(units)};
        return scan(sink);
    }
    case 2: {
        UnitSink<uint16_t> sink{static_cast<uint16_t*>(units)};
        return scan(sink);
    }
    default: {
        UnitSink<uint32_t> sink{static_cast<uint32_t*>(units)};
        return scan(sink);
    }
    }
}

int utf16_length(char32_t cp) { return cp > 0xFFFF ? 2 : 1; }

int encode_utf16(char32_t cp, char16_t* out) {
    if (cp <= 0xFFFF) {
        out[0] = static_cast<char16_t>(is_surrogate(cp) ? REPLACEMENT_CHAR : cp);
        return 1;
    }
    out[0] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return 2;
}

// Where encoded text goes: a size count, or a bounded buffer taking whole characters only.
// put() takes one code point, preceded by a CR when cr_before is set.
template <auto length_of>
struct SizeCounter {
    size_t written = 0;
    bool put(char32_t cp, bool cr_before) {
        written += size_t(length_of(cp)) + cr_before;
        return true;
    }
};

template <class Code, auto length_of, auto encode>
struct BoundedWriter {
    Code* out;
    size_t room;
    size_t written = 0;
    bool put(char32_t cp, bool cr_before) {
        if (cp < 0x80 && !cr_before && written < room) {
            out[written++] = static_cast<Code>(cp);
            return true;
        }
        if (room - written < size_t(length_of(cp)) + cr_before) return false;
        if (cr_before) out[written++] = '\r';
        written += encode(cp, out + written);
        return true;
    }
};

template <class Unit, class Out>
EncodeResult encode_run(const Unit* units, size_t count, bool crlf, Out& out) {
    size_t i = 0;
    for (; i < count; ++i) {
        char32_t cp = units[i];
        if (cp > MAX_CODE_POINT || !out.put(cp, crlf && cp == '\n')) break;
    }
    return {out.written, i};
}

template <class Out>
EncodeResult encode_units(const void* units, size_t count, int unit_size, bool crlf, Out&& out) {
    switch (unit_size) {
    case 1: return encode_run(static_cast<const uint8_t*>(units), count, crlf, out);
    case 2: return encode_run(static_cast<const uint16_t*>(units), count, crlf, out);
    default: return encode_run(static_cast<const uint32_t*>(units), count, crlf, out);
    }
}

}  // namespace

Decoded decode_utf8_char(const uint8_t* p, const uint8_t* end) {
    uint8_t cls = BYTE_CLASS[p[0]];
    char32_t cp = (0xFFu >> cls) & p[0];
    uint8_t state = TRANSITION[ACCEPT + cls];
    uint8_t n = 1;
    while (state != ACCEPT && state != REJECT) {
        if (p + n == end) return {0, n, Status::truncated};
        state = TRANSITION[state + BYTE_CLASS[p[n]]];
        if (state == REJECT) break;
        cp = (cp << 6) | (p[n] & 0x3F);
        ++n;
    }
    if (state == REJECT) return {0, n, Status::invalid};
    return {cp, n, Status::ok};
}

Decoded decode_utf8_strict(const uint8_t* p, const uint8_t* end) {
    Decoded d = decode_utf8_char(p, end);
    if (d.status == Status::ok && d.code_point == 0xFFFE) d.status = Status::invalid;
    return d;
}

size_t count_utf8_chars(const uint8_t* start, const uint8_t* end) {
    size_t n = 0;
    for (const uint8_t* p = start; p < end; p = next_utf8_char(p, end)) ++n;
    return n;
}

const uint8_t* skip_utf8_chars(const uint8_t* p, const uint8_t* end, size_t n) {
    for (; n > 0 && p < end; --n) p = next_utf8_char(p, end);
    return p;
}

int utf8_seq_length(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return lead < 0xF5 ? 4 : 0;
}

int utf8_length(char32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    return cp <= MAX_CODE_POINT ? 4 : 0;
}

int encode_utf8(char32_t cp, uint8_t* out) {
    if (is_surrogate(cp)) cp = REPLACEMENT_CHAR;
    int n = utf8_length(cp);
    static constexpr uint8_t lead_marks[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (int i = n - 1; i > 0; --i) {
        out[i] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    if (n > 0) out[0] = static_cast<uint8_t>(lead_marks[n] | cp);
    return n;
}

LoadResult measure_utf8(const uint8_t* bytes, size_t length, unsigned flags) {
    CountSink sink;
    return scan_utf8(bytes, length, flags, sink);
}

LoadResult load_utf8(const uint8_t* bytes, size_t length, unsigned flags, void* units, int unit_size) {
    return scan_into_units(units, unit_size, [&](auto& sink) { return scan_utf8(bytes, length, flags, sink); });
}

LoadResult measure_utf16(const char16_t* text, size_t count, unsigned flags) {
    CountSink sink;
    return scan_utf16(text, count, flags, sink);
}

LoadResult load_utf16(const char16_t* text, size_t count, unsigned flags, void* units, int unit_size) {
    return scan_into_units(units, unit_size, [&](auto& sink) { return scan_utf16(text, count, flags, sink); });
}

EncodeResult utf8_size(const void* units, size_t count, int unit_size, bool crlf) {
    return encode_units(units, count, unit_size, crlf, SizeCounter<utf8_length>{});
}

EncodeResult write_utf8(const void* units, size_t count, int unit_size, uint8_t* out, size_t room, bool crlf) {
    return encode_units(units, count, unit_size, crlf, BoundedWriter<uint8_t, utf8_length, encode_utf8>{out, room});
}

EncodeResult utf16_size(const void* units, size_t count, int unit_size, bool crlf) {
    return encode_units(units, count, unit_size, crlf, SizeCounter<utf16_length>{});
}

EncodeResult write_utf16(const void* units, size_t count, int unit_size, char16_t* out, size_t room, bool crlf) {
    return encode_units(units, count, unit_size, crlf, BoundedWriter<char16_t, utf16_length, encode_utf16>{out, room});
}

}  // namespace vyn::unicode
