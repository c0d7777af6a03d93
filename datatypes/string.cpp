// Character-level routines of the text types: unit widening, writing and removing characters,
// concatenation, the shared comparison and the loading of outside text. Appending widens unit 1 as
// soon as a character above 127 arrives; storing in place keeps unit 1 up to 255. Sizes are
// computed in 64 bits and refused with `no-memory` beyond the largest buffer.
#include "datatypes/string.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "core/fatal.hpp"
#include "core/os/console_out.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/utf8.hpp"

namespace vyn::string {

bool is_text(TypeId type) {
    switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        return true;
    default:
        return false;
    }
}

Cell* make_at(Cell* cell, uint32_t size, int unit) {
    *cell = unset_cell();
    NodeId node = memory::alloc_codepoints(size, unit);
    Series* b = memory::series_of(node);
    b->flags = (b->flags & ~SERIES_UNIT_MASK) | uint32_t(unit);
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
    return get_char(b->head_ptr() + size_t(index) * size_t(b->unit()), b->unit());
}

uint32_t clamp_head(Cell* s) {
    uint32_t total = abs_length(s);
    if (s->s1 > total) s->s1 = total;
    return s->s1;
}

bool at_tail(const Cell* s) { return s->s1 >= abs_length(s); }

View view_of(const Cell* s) {
    Series* b = buffer_of(s);
    int unit = b->unit();
    uint32_t total = b->length();
    uint32_t head = std::min(s->s1, total);
    return View{b->head_ptr() + size_t(head) * size_t(unit), unit, total - head};
}

int32_t find_char(const Cell* s, uint32_t cp) {
    View v = view_of(s);
    for (uint32_t i = 0; i < v.length; ++i)
        if (v.at(i) == cp) return int32_t(i);
    return -1;
}

bool find_char_step(const Cell* s, uint32_t cp, uint32_t step, bool case_sensitive) {
    View v = view_of(s);
    uint32_t wanted = folded(cp, !case_sensitive);
    for (uint32_t i = 0; i < v.length; i += std::max(step, 1u))
        if (folded(v.at(i), !case_sensitive) == wanted) return true;
    return false;
}

bool starts_with_text(const Cell* s, std::string_view text) {
    View v = view_of(s);
    if (v.length < text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (v.at(uint32_t(i)) != uint8_t(text[i])) return false;
    return true;
}

bool head_in_bitset(const Cell* s, const Cell* bitset) {
    return !at_tail(s) && in_bitset(bitset, abs_at(s, s->s1));
}

bool angle_enclosed(const Cell* s, const Cell* other) {
    View v = view_of(s);
    uint32_t close = length(other) + 1;
    return v.length > close && v.at(0) == '<' && v.at(close) == '>';
}

bool match_head(const Cell* s, const Cell* value, int op) {
    if (value->is(TYPE_CHAR)) {
        if (at_tail(s)) return false;
        bool fold_case = op != OP_STRICT_EQUAL;
        return folded(abs_at(s, s->s1), fold_case) == folded(value->s2, fold_case);
    }
    if (value->is(TYPE_TAG)) {
        if (!angle_enclosed(s, value)) return false;
        Cell inside = *s;
        inside.s1 = s->s1 + 1;
        return equal(&inside, value, op, true) == 0;
    }
    return is_text(value->type()) && equal(s, value, op, true) == 0;
}

void reset(Cell* s) {
    Series* b = buffer_of(s);
    b->flags = (b->flags & ~SERIES_UNIT_MASK) | 1u;
    b->tail = b->head;
    s->s1 = 0;
}

void truncate(NodeId node, uint32_t n) {
    Series* b = memory::series_of(node);
    uint64_t bytes = uint64_t(n) * uint64_t(b->unit());
    if (b->head + bytes <= b->capacity && b->head + bytes < b->tail) b->tail = b->head + uint32_t(bytes);
}

void copy_units(uint8_t* to, int to_unit, const uint8_t* from, int from_unit, uint32_t n) {
    if (to_unit == from_unit) {
        std::memmove(to, from, size_t(n) * size_t(to_unit));
        return;
    }
    for (size_t i = 0; i < n; ++i)
        put_char(to + i * size_t(to_unit), to_unit, get_char(from + i * size_t(from_unit), from_unit));
}

Series* widen_buffer(NodeId node, int new_unit) {
    Series* b = memory::series_of(node);
    int old_unit = b->unit();
    if (new_unit <= old_unit) return b;
    uint32_t count = b->length();
    uint64_t room = uint64_t(b->capacity) / uint64_t(old_unit);
    auto [fresh, old] = memory::rebuffer(node, room > count ? room : count + 1, new_unit);
    copy_units(fresh->data(), new_unit, old->head_ptr(), old_unit, count);
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

namespace {

[[noreturn]] void no_memory() { fire(err::no_memory); }

// Room for `count` characters from the buffer's first one, in bytes of `unit`; refused when the
// buffer could not hold them.
uint64_t bytes_for(uint64_t count, int unit) {
    uint64_t bytes = count * uint64_t(unit);
    if (bytes > SERIES_MAX_CAPACITY) no_memory();
    return bytes;
}

// Widens to `unit` and makes room for `extra` more characters after the tail.
Series* prepare(NodeId node, int unit, uint64_t extra) {
    Series* b = widen_buffer(node, unit);
    uint64_t bytes = bytes_for(uint64_t(b->length()) + extra, b->unit());
    return memory::ensure_room(node, bytes - b->used_bytes());
}

}  // namespace

Series* poke_char(NodeId node, uint32_t index, uint32_t cp) {
    Series* b = memory::series_of(node);
    uint32_t len = b->length();
    b = prepare(node, std::max(unit_for_store(cp), b->unit()), index >= len ? uint64_t(index) - len + 1 : 0);
    int unit = b->unit();
    uint8_t* at = b->head_ptr() + size_t(index) * size_t(unit);
    if (index >= len) {
        memory::fill(b->tail_ptr(), at, 0);  // a gap left before the character reads as NULs
        b->tail = b->head + (index + 1) * uint32_t(unit);
    }
    put_char(at, unit, cp);
    return b;
}

Series* insert_char(NodeId node, uint32_t index, uint32_t cp) {
    Series* b = memory::series_of(node);
    b = prepare(node, std::max(unit_for_store(cp), b->unit()), 1);
    int unit = b->unit();
    uint32_t len = b->length();
    if (index > len) index = len;
    uint8_t* at = b->head_ptr() + size_t(index) * size_t(unit);
    std::memmove(at + unit, at, size_t(len - index) * size_t(unit));
    put_char(at, unit, cp);
    b->tail += uint32_t(unit);
    return b;
}

void remove_part(NodeId node, uint32_t index, uint32_t n) {
    Series* b = memory::series_of(node);
    uint32_t len = b->length();
    if (index >= len || n == 0) return;
    n = std::min(n, len - index);
    int unit = b->unit();
    uint8_t* at = b->head_ptr() + size_t(index) * size_t(unit);
    std::memmove(at, at + size_t(n) * size_t(unit), size_t(len - index - n) * size_t(unit));
    b->tail -= n * uint32_t(unit);
}

void remove_char(NodeId node, uint32_t index) { remove_part(node, index, 1); }

void move_chars(Cell* s, const Cell* target, uint32_t n) {
    uint32_t from = clamp_head(s);
    n = std::min(n, length(s));
    uint32_t to = target->s1;
    for (uint32_t i = 0; i < n; ++i) insert_char(node_of(target), to + i, abs_at(s, from + i));
    remove_part(node_of(s), from, n);
}

void swap_adjacent_runs(uint8_t* first, uint32_t first_size, uint32_t second_size) {
    std::rotate(first, first + first_size, first + first_size + second_size);
}

Series* concatenate(Cell* target, const Cell* source, int32_t part, uint32_t offset, Mode mode) {
    NodeId node = node_of(target);
    uint32_t n = length(source);
    if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
    if (n == 0) return memory::series_of(node);

    // A source in the target's buffer would move or change under the write: take it as it is now.
    std::vector<uint8_t> shared;
    int source_unit = buffer_of(source)->unit();
    if (node_of(source) == node) {
        View v = view_of(source);
        shared.assign(v.data, v.data + size_t(n) * size_t(source_unit));
    }

    uint32_t len = abs_length(target);
    uint32_t at = mode == Mode::append ? len : std::min(clamp_head(target) + offset, len);
    uint64_t extra = mode == Mode::overwrite ? (at + uint64_t(n) > len ? at + uint64_t(n) - len : 0) : n;
    Series* b = prepare(node, std::max(source_unit, buffer_of(target)->unit()), extra);
    int unit = b->unit();
    uint8_t* dest = b->head_ptr() + size_t(at) * size_t(unit);
    if (mode == Mode::insert)
        std::memmove(dest + size_t(n) * size_t(unit), dest, size_t(len - at) * size_t(unit));
    const uint8_t* from = shared.empty() ? view_of(source).data : shared.data();
    copy_units(dest, unit, from, source_unit, n);
    uint32_t new_length = std::max(mode == Mode::overwrite ? len : len + n, at + n);
    b->tail = b->head + new_length * uint32_t(unit);
    return b;
}

void concatenate_literal(Cell* s, std::string_view text) {
    NodeId node = node_of(s);
    int unit = buffer_of(s)->unit();
    Series* b = memory::ensure_room(node, bytes_for(text.size(), unit));
    copy_units(b->tail_ptr(), unit, reinterpret_cast<const uint8_t*>(text.data()), 1, uint32_t(text.size()));
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
        bool ok = d.status == unicode::Status::ok;
        append_char(node, ok ? d.code_point : unicode::REPLACEMENT_CHAR);
        p += d.length ? d.length : 1;
    }
}

Cell from_utf8(std::string_view utf8) {
    Rooted text(make(uint32_t(utf8.size())));
    append_utf8(text.get(), utf8);
    return *text;
}

namespace {

bool is_equality(int op) {
    return op == OP_EQUAL || op == OP_NOT_EQUAL || op == OP_STRICT_EQUAL || op == OP_FIND;
}

int sign_of(int64_t d) { return (d > 0) - (d < 0); }

}  // namespace

int equal(const Cell* a, const Cell* b, int op, bool match) {
    bool same = node_of(a) == node_of(b) && a->s1 == b->s1;
    if (op == OP_SAME) return same ? 0 : -1;
    if (same && is_equality(op)) return 0;

    View va = view_of(a);
    View vb = view_of(b);
    uint32_t n = vb.length;
    if (match) {
        if (vb.length == 0) return op == OP_FIND ? 1 : 0;
        if (vb.length > va.length) return 1;
    } else if (va.length != vb.length) {
        if (is_equality(op) || vb.length == 0) return 1;
        n = std::min(n, va.length);
    } else if (va.length == 0) {
        return 0;
    }
    if (va.length == 0) return -1;

    bool fold_case = op != OP_STRICT_EQUAL && op != OP_CASE_SORT;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t ca = folded(va.at(i), fold_case);
        uint32_t cb = folded(vb.at(i), fold_case);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return match ? 0 : sign_of(int64_t(va.length) - int64_t(vb.length));
}

Cell binary_of(const uint8_t* bytes, size_t n) {
    NodeId node = memory::alloc_bytes(n);
    Series* b = memory::series_of(node);
    if (n) std::memcpy(b->data(), bytes, n);  // an empty vector's bytes may be null
    b->tail = b->head + uint32_t(n);
    return make_cell(TYPE_BINARY, 0, node, 0);
}

namespace {

[[noreturn]] void invalid_utf8(const uint8_t* bytes, size_t n) {
    Cell arg = binary_of(bytes, n);
    fire(err::invalid_utf8, &arg);
}

// Makes the cell a string! of the measured characters and fills it through `fill`, which only
// writes into the buffer it is given (nothing allocates once the buffer exists).
template <typename Fill>
Cell* load_units(Cell* cell, const unicode::LoadResult& measured, Fill fill) {
    make_at(cell, uint32_t(measured.chars), measured.unit_size);
    Series* b = buffer_of(cell);
    unicode::LoadResult loaded = fill(b->data(), measured.unit_size);
    b->tail = b->head + uint32_t(loaded.chars) * uint32_t(measured.unit_size);
    return cell;
}

Cell* load_measured_utf8(Cell* cell, const uint8_t* bytes, const unicode::LoadResult& m) {
    return load_units(cell, m, [&](void* units, int unit) {
        return unicode::load_utf8(bytes, m.consumed, unicode::LOAD_STRICT, units, unit);
    });
}

Cell* load_utf8(Cell* cell, const uint8_t* bytes, size_t length) {
    unicode::LoadResult m = unicode::measure_utf8(bytes, length, unicode::LOAD_STRICT);
    if (m.status == unicode::Status::invalid)
        invalid_utf8(bytes + m.consumed, std::min<size_t>(4, length - m.consumed));
    return load_measured_utf8(cell, bytes, m);
}

Cell* load_utf16(Cell* cell, const char16_t* text, size_t count) {
    unicode::LoadResult m = unicode::measure_utf16(text, count, unicode::LOAD_STRICT);
    return load_units(cell, m, [&](void* units, int unit) {
        return unicode::load_utf16(text, count, unicode::LOAD_STRICT, units, unit);
    });
}

[[noreturn]] void unsupported_encoding(int encoding) {
    if (errors_ready()) {
        const Cell given = integer_cell(encoding);
        fire(err::invalid_arg, &given);
    }
    console::print_cstring("*** Loading Error: input encoding unsupported\n");
    sys::integrity_failure();
}

}  // namespace

Cell* load(const void* text, size_t length, Cell* cell, int encoding) {
    if (encoding != ENCODING_UTF8 && encoding != ENCODING_UTF16LE) unsupported_encoding(encoding);
    if (!cell) cell = stack::push(unset_cell());
    *cell = unset_cell();
    if (encoding == ENCODING_UTF8) return load_utf8(cell, static_cast<const uint8_t*>(text), length);
    return load_utf16(cell, static_cast<const char16_t*>(text), length);
}

Cell* load_in(const void* text, size_t length, NodeId block, int encoding) {
    memory::alloc_tail_cell(block);  // reserved first, so the loaded text is never unreachable
    Cell loaded;
    load(text, length, &loaded, encoding);
    Cell* slot = memory::series_of(block)->cell_tail() - 1;
    *slot = loaded;
    return slot;
}

Cell* load_push(const void* text, size_t length, int encoding) {
    return load(text, length, nullptr, encoding);
}

Cell* from_utf8_binary(const uint8_t* bytes, size_t length) {
    unicode::LoadResult m = unicode::measure_utf8(bytes, length, unicode::LOAD_STRICT);
    if (m.consumed < length) invalid_utf8(bytes + m.consumed, length - m.consumed);
    return load_measured_utf8(stack::push(unset_cell()), bytes, m);
}

std::string to_utf8(const Cell* s) {
    View v = view_of(s);
    std::string out;
    out.reserve(v.length);
    for (uint32_t i = 0; i < v.length; ++i) {
        uint8_t bytes[4];
        int len = unicode::encode_utf8(v.at(i), bytes);
        out.append(reinterpret_cast<char*>(bytes), size_t(len));
    }
    return out;
}

namespace {

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

constexpr auto make_byte_hex_table() {
    std::array<char, 512> table{};
    for (int i = 0; i < 256; ++i) {
        table[size_t(i) * 2] = HEX_DIGITS[i >> 4];
        table[size_t(i) * 2 + 1] = HEX_DIGITS[i & 15];
    }
    return table;
}

constexpr auto BYTE_HEX = make_byte_hex_table();

}  // namespace

std::string_view byte_to_hex(uint8_t byte) { return {BYTE_HEX.data() + size_t(byte) * 2, 2}; }

std::string to_hex(uint32_t value, bool short_form) {
    auto v = int32_t(value);
    int32_t rest_mark = v < 0 ? -1 : 0;
    std::string reversed;
    do {
        reversed.push_back(HEX_DIGITS[v & 15]);
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
