// String units over series buffers: loading decoded text with widening, and conversion out
// through the per-value cache. Text is measured before anything is allocated, so a load sizes
// its target once; when that takes an allocation the input is copied first, because the
// allocation may move the buffer the input lies in.
#include "core/unicode.hpp"

#include <algorithm>
#include <vector>

#include "core/raise.hpp"

namespace vyn::unicode {

namespace {

void put_unit(uint8_t* p, int unit, char32_t cp) {
    switch (unit) {
    case 1: *p = uint8_t(cp); break;
    case 2:
        p[0] = uint8_t(cp);
        p[1] = uint8_t(cp >> 8);
        break;
    default: std::memcpy(p, &cp, 4);
    }
}

[[noreturn]] void fire_invalid_utf8(const uint8_t* at, size_t left) {
    uint8_t bytes[4];
    size_t n = std::min<size_t>(left, 4);
    std::memcpy(bytes, at, n);  // the binary below may move the buffer `at` points into
    NodeId node = memory::alloc_bytes(n);
    Series* s = memory::series_of(node);
    std::memcpy(s->data(), bytes, n);
    s->tail = uint32_t(n);
    Cell binary = make_cell(TYPE_BINARY, 0, node, 0);
    fire(err::invalid_utf8, &binary);
}

uint32_t units_to_take(const Text& text, int64_t part) {
    return part < 0 || uint64_t(part) > text.count ? text.count : uint32_t(part);
}

bool needs_allocation(NodeId target, size_t chars, int unit) {
    if (!target) return true;
    const Series* s = memory::series_of(target);
    return s->unit() < unit || s->room_bytes() < chars * uint64_t(unit);
}

NodeId make_room(NodeId target, size_t chars, int unit) {
    if (!target) return memory::alloc_series(std::max<size_t>(chars, 1), unit, 0);
    int final_unit = widen(target, unit)->unit();
    memory::ensure_room(target, chars * uint64_t(final_unit));
    return target;
}

// Decodes n input codes (chars characters of at least `unit` bytes once decoded) at the tail of
// the target.
template <class Code, class Decode>
NodeId decode_into(NodeId target, const Code* input, size_t n, size_t chars, int unit, Decode decode) {
    std::vector<Code> stable;
    if (needs_allocation(target, chars, unit)) {
        stable.assign(input, input + n);
        input = stable.data();
        target = make_room(target, chars, unit);
    }
    Series* s = memory::series_of(target);
    LoadResult r = decode(input, n, s->tail_ptr(), s->unit());
    s->tail += uint32_t(r.chars * uint64_t(s->unit()));
    return target;
}

}  // namespace

Text text_of(const Cell& string) {
    Series* s = memory::series_of(string.s2);
    int unit = s->unit();
    uint32_t length = s->length();
    uint32_t head = std::min(string.s1, length);
    return {s->head_ptr() + size_t(head) * unit, length - head, unit};
}

Series* widen(NodeId node, int unit) {
    Series* s = memory::series_of(node);
    int from = s->unit();
    if (unit <= from) return s;
    uint64_t count = s->length();
    uint64_t first = s->head / uint32_t(from);
    if ((first + count + 1) * uint64_t(unit) > s->capacity) {
        s = memory::expand_copy(node, align_up((count + 1) * uint64_t(unit), 16));
        first = 0;
    }
    const uint8_t* src = s->data() + first * from;
    uint8_t* dst = s->data() + first * unit;
    // Last to first: a wider unit never lands on a narrower one not yet read.
    for (uint64_t i = count; i-- > 0;) put_unit(dst + i * unit, unit, unit_at(src + i * from, from));
    s->head = uint32_t(first * unit);
    s->tail = uint32_t((first + count) * unit);
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | uint32_t(unit);
    return s;
}

NodeId load_utf8(const uint8_t* bytes, size_t length, NodeId target, unsigned flags, size_t* remaining) {
    LoadResult m = measure_utf8(bytes, length, flags);
    if (m.status == Status::invalid || (m.status == Status::truncated && !remaining))
        fire_invalid_utf8(bytes + m.consumed, length - m.consumed);
    if (remaining) *remaining = length - m.consumed;
    auto decode = [flags](const uint8_t* in, size_t n, void* out, int unit) {
        return load_utf8(in, n, flags, out, unit);
    };
    return decode_into(target, bytes, m.consumed, m.chars, m.unit_size, decode);
}

NodeId load_utf16(const char16_t* units, size_t count, NodeId target, unsigned flags) {
    LoadResult m = measure_utf16(units, count, flags);
    if (target) {
        Series* s = memory::series_of(target);
        s->tail = s->head;
    }
    auto decode = [flags](const char16_t* in, size_t n, void* out, int unit) {
        return load_utf16(in, n, flags, out, unit);
    };
    target = decode_into(target, units, count, m.chars, m.unit_size, decode);
    memory::set_flags(target, SERIES_FROM_UTF16);
    return target;
}

uint8_t* utf8_cache(Cell& string, size_t bytes) {
    NodeId cache = string.s3;
    if (!cache) {
        cache = memory::alloc_bytes(bytes);
        string.s3 = cache;
    } else if (memory::series_of(cache)->capacity < bytes) {
        memory::expand(cache, align_up(bytes, 16));
    }
    return memory::series_of(cache)->data();
}

const char* to_utf8_text(Cell& string, int64_t part, bool crlf, size_t* length) {
    Text text = text_of(string);
    uint32_t n = units_to_take(text, part);
    // Each unit takes at most unit + 1 bytes (4 at most), a CR included.
    size_t room = size_t(std::min(text.unit + 1, 4)) * n;
    uint8_t* out = utf8_cache(string, room + 1);
    text = text_of(string);
    EncodeResult r = write_utf8(text.units, n, text.unit, out, room, crlf);
    if (r.units < n) {
        Cell bad = char_cell(text.at(uint32_t(r.units)));
        fire(err::invalid_char, &bad);
    }
    out[r.written] = 0;
    if (length) *length = r.written;
    return reinterpret_cast<const char*>(out);
}

size_t write_utf8(const Cell& string, uint8_t* out, size_t room, int64_t part, bool terminate) {
    if (terminate && room == 0) return 0;
    Text text = text_of(string);
    EncodeResult r = write_utf8(text.units, units_to_take(text, part), text.unit, out, room - terminate, false);
    if (terminate) out[r.written] = 0;
    return r.written;
}

const char16_t* to_utf16(Cell& string, int64_t part, bool crlf, size_t* length) {
    Text text = text_of(string);
    uint32_t n = units_to_take(text, part);
    EncodeResult size = utf16_size(text.units, n, text.unit, crlf);
    if (size.units < n) return nullptr;
    auto* out = reinterpret_cast<char16_t*>(utf8_cache(string, (size.written + 1) * 2));
    text = text_of(string);
    EncodeResult r = write_utf16(text.units, n, text.unit, out, size.written, crlf);
    out[r.written] = 0;
    if (length) *length = r.written;
    return out;
}

}  // namespace vyn::unicode
