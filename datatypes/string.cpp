// Character-level routines of the text types. Appending widens unit 1 as soon as a character
// above 127 arrives; storing in place keeps unit 1 up to 255.
#include "datatypes/string.hpp"

#include "core/utf8.hpp"

namespace vyn::string {

Cell* make_at(Cell* cell, uint32_t size, int unit) {
    NodeId node = memory::alloc_codepoints(size, unit);
    memory::series_of(node)->flags = (memory::series_of(node)->flags & ~SERIES_UNIT_MASK) | uint32_t(unit);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

Cell make(uint32_t size, int unit) {
    Cell c;
    make_at(&c, size, unit);
    return c;
}

uint32_t abs_length(const Cell* s) { return buffer_of(s)->length(); }

uint32_t length(const Cell* s) {
    uint32_t total = abs_length(s);
    return s->s1 < total ? total - s->s1 : 0;
}

uint32_t abs_at(const Cell* s, uint32_t index) {
    Series* b = buffer_of(s);
    return get_char(b->head_ptr() + index * uint32_t(b->unit()), b->unit());
}

Series* widen_buffer(NodeId node, int new_unit) {
    Series* b = memory::series_of(node);
    int old_unit = b->unit();
    if (new_unit <= old_unit) return b;
    uint32_t count = b->length();
    uint64_t room = uint64_t(b->capacity) / uint64_t(old_unit);
    auto [fresh, old] = memory::rebuffer(node, room > count ? room : count + 1, new_unit);
    const uint8_t* from = old->head_ptr();
    uint8_t* to = fresh->data();
    for (uint32_t i = 0; i < count; ++i)
        put_char(to + i * uint32_t(new_unit), new_unit, get_char(from + i * uint32_t(old_unit), old_unit));
    fresh->head = 0;
    fresh->tail = count * uint32_t(new_unit);
    memory::release_abandoned(old);
    return fresh;
}

Series* append_char(NodeId node, uint32_t cp) {
    Series* b = memory::series_of(node);
    int need = unit_for_append(cp);
    if (need > b->unit()) b = widen_buffer(node, need);
    int unit = b->unit();
    uint8_t* at = memory::alloc_tail_bytes(node, uint32_t(unit));
    put_char(at, unit, cp);
    return memory::series_of(node);
}

void concatenate_literal(Cell* s, std::string_view text) {
    NodeId node = node_of(s);
    Series* b = memory::ensure_room(node, uint64_t(text.size()) * uint32_t(buffer_of(s)->unit()));
    int unit = b->unit();
    uint8_t* at = b->tail_ptr();
    if (unit == 1) std::memcpy(at, text.data(), text.size());
    else
        for (size_t i = 0; i < text.size(); ++i) put_char(at + i * size_t(unit), unit, uint8_t(text[i]));
    b->tail += uint32_t(text.size()) * uint32_t(unit);
}

void append_utf8(Cell* s, std::string_view utf8) {
    auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
    const uint8_t* end = p + utf8.size();
    NodeId node = node_of(s);
    while (p < end) {
        if (*p < 0x80) {
            const uint8_t* run = p;
            while (p < end && *p < 0x80) ++p;
            concatenate_literal(s, std::string_view(reinterpret_cast<const char*>(run), size_t(p - run)));
            continue;
        }
        unicode::Decoded d = unicode::decode_utf8_char(p, end);
        if (d.status != unicode::Status::ok) {
            append_char(node, unicode::REPLACEMENT_CHAR);
            p += d.length ? d.length : 1;
            continue;
        }
        append_char(node, d.code_point);
        p += d.length;
    }
}

void append_string(Cell* target, const Cell* source) {
    uint32_t n = length(source);
    for (uint32_t i = 0; i < n; ++i) append_char(node_of(target), abs_at(source, source->s1 + i));
}

std::string to_utf8(const Cell* s) {
    std::string out;
    uint32_t n = length(s);
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t bytes[4];
        int len = unicode::encode_utf8(abs_at(s, s->s1 + i), bytes);
        out.append(reinterpret_cast<char*>(bytes), size_t(len));
    }
    return out;
}

std::string to_hex(uint32_t value, bool short_form) {
    static const char digits[] = "0123456789ABCDEF";
    auto v = int32_t(value);
    int32_t rest_mark = v < 0 ? -1 : 0;
    std::string reversed;
    do {
        reversed.push_back(digits[v & 15]);
        v >>= 4;  // arithmetic: a negative value ends at -1
    } while (v != rest_mark);
    if (short_form) {
        if (value == 0) return "00";
    } else {
        while (reversed.size() < 8) reversed.push_back(rest_mark ? 'F' : '0');
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace vyn::string
