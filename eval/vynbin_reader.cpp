// The VYNBIN record reader of both layouts. The stream is untrusted: every field is read through
// the bounded input, every count is checked against the bytes left before anything is made,
// type ids, symbol and word indexes and reference paths are checked before use, and nesting is
// bounded. A container is appended to its target before its contents are read, so references
// inside it (to itself included) find it; a value is kept rooted until it is appended.
#include <cmath>
#include <cstring>
#include <memory>

#include "core/actions_abi.hpp"
#include "core/context.hpp"
#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/image.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "eval/natives.hpp"
#include "eval/vynbin_internal.hpp"

namespace vyn::vynbin {

// ---- bounded input ----

void Input::fail_at(const uint8_t* at) const {
    const Cell position = integer_cell(int32_t(at - start) + int32_t(HEADER_SIZE) + 1);
    fire(err::vb_invalid_record, &position);
}

uint8_t Input::byte() {
    need(1);
    return *p++;
}

uint32_t Input::u32() {
    const uint8_t* b = bytes(4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t Input::varint() {
    uint32_t v = 0;
    for (int i = 0; i < 5; ++i) {
        uint8_t b = byte();
        if (i == 4 && (b & 0xF0)) fail_at(p - 1);
        v |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return v;
    }
    fail();
}

uint32_t SymbolsIn::symbol(uint32_t index, const Input& in) {
    if (!present || index >= count) in.fail();
    if (resolved.empty()) resolved.assign(count, 0);
    if (resolved[index]) return resolved[index];
    const uint8_t* o = offsets + 4 * size_t(index);
    uint32_t offset = uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16 | uint32_t(o[3]) << 24;
    if (offset >= size) in.fail();
    const void* nul = std::memchr(names + offset, 0, size - offset);
    if (!nul) in.fail();
    size_t length = size_t(static_cast<const uint8_t*>(nul) - (names + offset));
    resolved[index] = symbol::make(std::string_view(reinterpret_cast<const char*>(names + offset), length));
    return resolved[index];
}

namespace {

bool is_block_like(TypeId t) { return series::is_block_type(t); }
bool is_text(TypeId t) { return string::is_text(t); }
bool is_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_REFINEMENT; }
bool gives_spec(TypeId t) { return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP || t == TYPE_FUNCTION; }

Cell block_cell(NodeId node, TypeId type = TYPE_BLOCK, uint32_t head = 0) { return make_cell(type, head, node); }

// A record's header, whichever the layout.
struct Head {
    const uint8_t* at;  // the record's first byte
    TypeId type = TYPE_NONE_ID;
    bool flag = false;       // compact F
    uint32_t bits = 0;       // the standard header word
    bool new_line = false;
    bool reference = false;
    bool definition = false;
    enum Kind { typed, small_integer, logic_true, logic_false, reference_record } kind = typed;
    int32_t small = 0;
};

class Reader {
public:
    Reader(DecodeState& state, bool compact) : s_(state), in_(state.in), compact_(compact) {}

    void records(const uint8_t* records_end) {
        in_.end = records_end;
        while (true) {
            if (!compact_) skip_padding();
            if (in_.p >= in_.end) return;
            value(s_.root);
        }
    }

private:
    DecodeState& s_;
    Input& in_;
    bool compact_;
    int depth_ = 0;

    struct Deeper {
        Reader& r;
        explicit Deeper(Reader& reader) : r(reader) {
            if (++r.depth_ > MAX_READ_DEPTH || roots::nearly_full()) r.in_.fail();
        }
        ~Deeper() { --r.depth_; }
    };

    bool boot() const { return s_.mode == Mode::boot; }

    // ---- fields ----
    uint32_t count() { return compact_ ? in_.varint() : in_.u32(); }
    int32_t number() { return compact_ ? in_.zigzag() : int32_t(in_.u32()); }
    // A count of things of at least `unit` bytes each, which the input must be able to hold.
    uint32_t bounded_count(uint64_t unit) {
        const uint8_t* at = in_.p;
        uint32_t n = count();
        if (uint64_t(n) * unit > in_.left()) in_.fail_at(at);
        return n;
    }
    uint32_t symbol() { return s_.symbols.symbol(count(), in_); }
    double f64() {
        uint64_t first = in_.u32();
        uint64_t second = in_.u32();
        uint64_t u = compact_ ? (first | second << 32) : (second | first << 32);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    void skip_padding() {
        while (in_.left() >= 4 && std::memcmp(in_.p, "\0\0\0\0", 4) == 0) in_.p += 4;
    }
    void align4() {
        size_t offset = size_t(in_.p - in_.start);
        in_.need(align_up(offset, 4) - offset);
        in_.p = in_.start + align_up(offset, 4);
    }
    // A series head: the compact layout writes it only with F.
    uint32_t head_of(const Head& h) { return (!compact_ || h.flag) ? count() : 0; }

    Head header() {
        Head h;
        if (!compact_) skip_padding();
        h.at = in_.p;
        if (compact_) compact_header(h);
        else standard_header(h);
        return h;
    }
    void compact_header(Head& h) {
        uint8_t b = in_.byte();
        for (;; b = in_.byte()) {
            if (b == PREFIX_NEW_LINE) h.new_line = true;
            else if (b == PREFIX_REFERENCE) h.reference = true;
            else if (b == PREFIX_DEFINITION && boot()) h.definition = true;
            else break;
        }
        if (b >= 0x80) {
            if (h.reference || h.definition) in_.fail_at(in_.p - 1);
            if (b < 0xC0) h.kind = Head::small_integer, h.small = b - SMALL_INTEGER;
            else if (b == LOGIC_TRUE) h.kind = Head::logic_true;
            else if (b == LOGIC_FALSE) h.kind = Head::logic_false;
            else if (b == REFERENCE_RECORD) h.kind = Head::reference_record;
            else in_.fail_at(in_.p - 1);
            return;
        }
        h.flag = (b & TYPE_FLAG) != 0;
        uint32_t type = b & TYPE_ESCAPE;
        if (type == TYPE_ESCAPE) type = in_.varint();
        if (type == 0 || type >= TYPE_COUNT) in_.fail_at(h.at);
        h.type = TypeId(type);
        if (h.definition && !(h.type >= TYPE_WORD && h.type <= TYPE_ISSUE)) in_.fail_at(h.at);
    }
    void standard_header(Head& h) {
        h.bits = in_.u32();
        uint32_t type = h.bits & 0xFF;
        h.new_line = (h.bits & H_NEW_LINE) != 0;
        if (type == H_REFERENCE_TYPE) {
            h.kind = Head::reference_record;
            return;
        }
        if (type == 0 || type >= TYPE_COUNT) in_.fail_at(h.at);
        h.type = TypeId(type);
        h.reference = (h.bits & H_REFERENCE) != 0 && type != TYPE_OP && tracked(h.type);
        h.definition = boot() && is_word(h.type) && (h.bits & H_GLOBAL_WORD) != 0;
    }
    static bool tracked(TypeId t) {
        return is_block_like(t) || is_text(t) || is_word(t) || t == TYPE_MAP || t == TYPE_BINARY ||
               t == TYPE_VECTOR || t == TYPE_BITSET || t == TYPE_IMAGE || t == TYPE_OBJECT || t == TYPE_FUNCTION;
    }

    // ---- reference paths ----
    std::vector<uint32_t> path() {
        if (!compact_ && in_.u32() != PATH_MARK) in_.fail();
        const uint8_t* at = in_.p;
        uint32_t n = count();
        if (n == 0 || n > MAX_PATH || n > in_.left()) in_.fail_at(at);
        std::vector<uint32_t> p(n);
        for (uint32_t& i : p) i = count();
        return p;
    }
    // The value a path names, from the root's values of this decode.
    Cell walk(const std::vector<uint32_t>& p, const uint8_t* at) {
        Cell current = *s_.root;
        for (size_t k = 0; k < p.size(); ++k) {
            uint64_t index = uint64_t(p[k]) + (k == 0 ? s_.start_offset : 0);
            if (!step(current, index)) in_.fail_at(at);
        }
        return current;
    }
    static bool in_series(Cell& current, NodeId node, uint64_t index) {
        if (!node) return false;
        Series* s = memory::series_of(node);
        if (s->unit() != sizeof(Cell) || index >= s->length()) return false;
        current = s->cells()[index];
        return true;
    }
    static bool step(Cell& current, uint64_t index) {
        TypeId t = current.type();
        if (is_block_like(t) || t == TYPE_MAP) return in_series(current, current.s2, index);
        if (t == TYPE_OBJECT) return in_series(current, context::context_cell(current.s1).s2, index);
        if (t == TYPE_ERROR) return in_series(current, context::context_cell(current.s1).s2, index + error::FIELD_ARG1);
        if (is_word(t)) {
            if (!current.s1) return false;
            const Cell c = context::context_cell(current.s1);
            if (!c.has_flag(FLAG_CONTEXT_ON_STACK)) return in_series(current, c.s2, index);
            current = context::owner(current.s1);
            if (!current.is(TYPE_FUNCTION)) return false;
            t = TYPE_FUNCTION;
        }
        if (t == TYPE_NATIVE || t == TYPE_ACTION) return in_series(current, current.s2, index);
        if (t == TYPE_FUNCTION || t == TYPE_OP) {
            if (index == 0) {
                current = block_cell(current.s2);
                return true;
            }
            if (index != 1 || t == TYPE_OP) return false;
            current = function::extra_of(current)[function::EXTRA_BODY];
            return current.is(TYPE_BLOCK);
        }
        return false;
    }
    // The context a found value stands for: an object's, an error's, a function's (an op's
    // function included) or a bound word's; 0 for any other value.
    static NodeId context_of(const Cell& found) {
        TypeId t = found.type();
        if (t == TYPE_OP) return native::op_source(found) == TYPE_FUNCTION ? found.s1 : 0;
        if (t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_FUNCTION || is_word(t)) return found.s1;
        return 0;
    }
    // A referenced value made into the record's type: series take the record's head, and the
    // found value must be of the record's family.
    Cell adjust(const Head& h, const Cell& found, uint32_t head) {
        TypeId t = h.type, f = found.type();
        Cell v = found;
        if (is_block_like(t) && t != TYPE_HASH) {
            if (!is_block_like(f) && !gives_spec(f)) in_.fail_at(h.at);
            v = make_cell(t, head, found.s2);
        } else if (is_text(t)) {
            if (!is_text(f)) in_.fail_at(h.at);
            v = make_cell(t, head, found.s2);
        } else if (t == TYPE_BINARY || t == TYPE_HASH || t == TYPE_VECTOR || t == TYPE_IMAGE) {
            if (f != t) in_.fail_at(h.at);
            v.s1 = head;
        } else if (t == TYPE_MAP || t == TYPE_BITSET) {
            if (f != t) in_.fail_at(h.at);
        } else if (t == TYPE_OBJECT || t == TYPE_FUNCTION) {
            if (t == TYPE_FUNCTION && f == TYPE_OP && native::op_source(found) == TYPE_FUNCTION) {
                v.header = TYPE_FUNCTION;
            } else {
                NodeId ctx = context_of(found);
                if (!ctx) in_.fail_at(h.at);
                v = context::owner(ctx);
                if (!v.is(t)) in_.fail_at(h.at);
            }
        } else {
            in_.fail_at(h.at);
        }
        v.header = (v.header & ~FLAG_NEW_LINE) | (h.new_line ? FLAG_NEW_LINE : 0);
        return v;
    }

    // ---- records ----
    void append(Cell* target, Cell v, bool new_line) {
        if (new_line) v.set_flag(FLAG_NEW_LINE);
        block::vs_append(target, &v);
    }
    uint32_t length_of(const Cell* block) { return memory::series_of(block->s2)->length(); }

    void value(Cell* target) {
        Deeper deeper(*this);
        Head h = header();
        switch (h.kind) {
        case Head::small_integer: return append(target, integer_cell(h.small), h.new_line);
        case Head::logic_true: return append(target, logic_cell(true), h.new_line);
        case Head::logic_false: return append(target, logic_cell(false), h.new_line);
        case Head::reference_record: return append(target, walk(path(), h.at), h.new_line);
        case Head::typed: break;
        }
        if (h.definition) {
            if (target != s_.root) in_.fail_at(h.at);  // definitions stand among the root values only
            return definition(h, target);
        }
        if (h.reference) return reference(h, target);
        typed(h, target);
    }

    void reference(const Head& h, Cell* target) {
        if (is_word(h.type)) return word(h, target);
        if (!tracked(h.type)) in_.fail_at(h.at);
        uint32_t head = (is_block_like(h.type) || is_text(h.type) || h.type == TYPE_BINARY ||
                         h.type == TYPE_VECTOR || h.type == TYPE_IMAGE)
                            ? head_of(h)
                            : 0;
        Cell found = walk(path(), h.at);
        append(target, adjust(h, found, head), false);
    }

    void typed(const Head& h, Cell* target) {
        TypeId t = h.type;
        if (has_no_codec(t)) fire_no_codec(t);
        if (is_block_like(t)) return block_like(h, target);
        if (is_text(t) || t == TYPE_BINARY) return text(h, target);
        if (is_word(t)) return word(h, target);
        switch (t) {
        case TYPE_DATATYPE: {
            uint32_t id = count();
            if (id == 0 || id >= TYPE_COUNT || !datatype::registered(TypeId(id))) in_.fail_at(h.at);
            return append(target, datatype_cell(TypeId(id)), h.new_line);
        }
        case TYPE_UNSET:
        case TYPE_NONE: return append(target, make_cell(t), h.new_line);
        case TYPE_LOGIC:
            if (compact_) in_.fail_at(h.at);
            return append(target, logic_cell(in_.u32() != 0), h.new_line);
        case TYPE_INTEGER: return append(target, integer_cell(number()), h.new_line);
        case TYPE_CHAR: {
            uint32_t cp = count();
            if (cp > 0x10FFFF) in_.fail_at(h.at);
            return append(target, char_cell(cp), h.new_line);
        }
        case TYPE_FLOAT:
        case TYPE_TIME:
        case TYPE_PERCENT: return append(target, float_cell(decimal(h), t), h.new_line);
        case TYPE_PAIR: {
            int32_t x = number();
            int32_t y = number();
            return append(target, make_cell(TYPE_PAIR, 0, uint32_t(x), uint32_t(y)), h.new_line);
        }
        case TYPE_POINT2D:
        case TYPE_POINT3D: {
            Cell v = make_cell(t, in_.u32(), in_.u32());
            if (t == TYPE_POINT3D) v.s3 = in_.u32();
            return append(target, v, h.new_line);
        }
        case TYPE_DATE: return append(target, date(h), h.new_line);
        case TYPE_TYPESET: return append(target, typeset(h), h.new_line);
        case TYPE_TUPLE: return append(target, tuple(h), h.new_line);
        case TYPE_MONEY: {
            bool negative = compact_ ? h.flag : (h.bits & H_MONEY_NEGATIVE) != 0;
            const uint8_t* bytes = in_.bytes(12);
            return append(target, money::make_at(negative, bytes[0], bytes + 1), h.new_line);
        }
        case TYPE_ISSUE: {
            Cell v = make_cell(TYPE_ISSUE, 0, symbol(), word::NO_INDEX);
            return append(target, v, h.new_line);
        }
        case TYPE_MAP: return map(h, target);
        case TYPE_VECTOR: return vector(h, target);
        case TYPE_IMAGE: return image_record(h, target);
        case TYPE_BITSET: return bitset(h, target);
        case TYPE_CONTEXT:
            if (!boot()) in_.fail_at(h.at);
            return object_record(h, target, nullptr, true);
        case TYPE_OBJECT: return object_record(h, target, nullptr, false);
        case TYPE_FUNCTION: return function_record(h, target, nullptr);
        case TYPE_ERROR: return error_record(h, target);
        case TYPE_NATIVE:
        case TYPE_ACTION: return append(target, native_record(h), h.new_line);
        case TYPE_OP: return op_record(h, target);
        default: in_.fail_at(h.at);
        }
    }

    double decimal(const Head& h) {
        if (!compact_ || !h.flag) return f64();
        int32_t n = in_.zigzag();
        return h.type == TYPE_PERCENT ? double(n) / 100.0 : double(n);
    }
    Cell date(const Head& h) {
        uint32_t bits = in_.u32();
        bool timed = (bits & date::TIME_FLAG) != 0;
        if (compact_ && h.flag != timed) in_.fail_at(h.at);
        double seconds = (timed || !compact_) ? f64() : 0.0;
        int month = date::month_of(bits);
        int day = date::day_of(bits);
        if (month < 1 || month > 12 || day < 1 || day > date::days_in_month(date::year_of(bits), month))
            in_.fail_at(h.at);
        double local = seconds + date::zone_offset(date::zone_of(bits));
        if (timed && !(local >= 0.0 && local < 86400.0)) in_.fail_at(h.at);
        Cell v = make_cell(TYPE_DATE, bits);
        v.set_f64(timed ? seconds : 0.0);
        return v;
    }
    Cell typeset(const Head& h) {
        uint8_t bits[12] = {};
        uint32_t n = compact_ ? in_.byte() : 12;
        if (n > 12) in_.fail_at(h.at);
        std::memcpy(bits, in_.bytes(n), n);
        Cell v = make_cell(TYPE_TYPESET);
        std::memcpy(&v.s1, bits, 12);
        return v;
    }
    Cell tuple(const Head& h) {
        uint32_t n = compact_ ? (h.flag ? in_.byte() : 3) : (h.bits >> 8) & 0xFF;
        if (n < 1 || n > 12) in_.fail_at(h.at);
        const uint8_t* bytes = in_.bytes(compact_ ? n : 12);
        return tokenizer::make_tuple(bytes, int(n));
    }

    void block_like(const Head& h, Cell* target) {
        uint32_t head = head_of(h);
        uint32_t n = bounded_count(1);
        Rooted b;
        block::make_at(b.get(), n);
        b->set_type(h.type);
        b->s1 = head;
        if (h.type == TYPE_HASH) {
            b->set_type(TYPE_BLOCK);
            hash::index_at(b.get());
        }
        append(target, *b, h.new_line);
        Cell inner = make_cell(TYPE_BLOCK, 0, b->s2);
        Rooted contents(inner);
        for (uint32_t i = 0; i < n; ++i) value(contents.get());
        if (h.type == TYPE_HASH) hash::reindex_changed(*b, 0, 0);
    }
    void map(const Head& h, Cell* target) {
        uint32_t n = bounded_count(1);
        if (n % 2) in_.fail_at(h.at);
        Rooted m;
        map::make_at(m.get(), n / 2);
        append(target, *m, h.new_line);
        Rooted pairs;
        block::make_at(pairs.get(), n);
        for (uint32_t i = 0; i < n; ++i) value(pairs.get());
        map::extend(*m, *pairs, false);
    }
    void text(const Head& h, Cell* target) {
        uint32_t head = head_of(h);
        const uint8_t* at = in_.p;
        uint32_t n;
        int unit;
        if (h.type == TYPE_BINARY) {
            n = count();
            unit = 1;
        } else if (compact_) {
            uint32_t code = in_.varint();
            if ((code & 3) == 3) in_.fail_at(at);
            n = code >> 2;
            unit = 1 << (code & 3);
        } else {
            unit = int((h.bits >> 8) & 0xFF);
            if (unit != 1 && unit != 2 && unit != 4) in_.fail_at(h.at);
            n = in_.u32();
        }
        uint64_t size = uint64_t(n) * uint64_t(unit);
        if (size > in_.left()) in_.fail_at(at);
        const uint8_t* data = in_.bytes(size);
        if (unit == 4)
            for (uint32_t i = 0; i < n; ++i)
                if (string::get_char(data + 4 * size_t(i), 4) > 0x10FFFF) in_.fail_at(at);
        Rooted v;
        if (h.type == TYPE_BINARY) binary::make_at(v.get(), n);
        else string::make_at(v.get(), n, unit);
        Series* s = memory::series_of(v->s2);
        std::memcpy(s->head_ptr(), data, size);
        s->tail = s->head + uint32_t(size);
        v->set_type(h.type);
        v->s1 = head;
        if (!compact_) align4();
        append(target, *v, h.new_line);
    }
    void vector(const Head& h, Cell* target) {
        uint32_t head = head_of(h);
        const uint8_t* at = in_.p;
        TypeId element;
        int unit;
        uint32_t n;
        if (compact_) {
            uint8_t kind = in_.byte();
            element = TypeId(kind >> 2);
            unit = 1 << (kind & 3);
            n = in_.varint();
        } else {
            unit = int((h.bits >> 8) & 0xFF);
            n = in_.u32();
            uint32_t e = in_.u32();
            element = TypeId(e < TYPE_COUNT ? e : 0);
        }
        bool whole = (element == TYPE_INTEGER || element == TYPE_CHAR) && (unit == 1 || unit == 2 || unit == 4);
        bool fraction = (element == TYPE_FLOAT && (unit == 4 || unit == 8)) || (element == TYPE_PERCENT && unit == 8);
        if (!whole && !fraction) in_.fail_at(at);
        uint64_t size = uint64_t(n) * uint64_t(unit);
        if (size > in_.left()) in_.fail_at(at);
        const uint8_t* data = in_.bytes(size);
        Rooted v;
        vector::make_at(v.get(), n, element, unit);
        std::memcpy(memory::series_of(v->s2)->head_ptr(), data, size);
        v->s1 = head;
        if (!compact_) align4();
        append(target, *v, h.new_line);
    }
    void image_record(const Head& h, Cell* target) {
        uint32_t head = head_of(h);
        const uint8_t* at = in_.p;
        uint32_t width, height;
        if (compact_) {
            width = in_.varint();
            height = in_.varint();
        } else {
            uint32_t size = in_.u32();
            width = size & 0xFFFF;
            height = size >> 16;
        }
        if (width > 0xFFFF || height > 0xFFFF) in_.fail_at(at);
        uint64_t bytes = uint64_t(width) * height * 4;
        if (bytes > in_.left() || !image_os::fits(width, height) || head > uint64_t(width) * height) in_.fail_at(at);
        image_os::Pixels pixels{width, height, std::vector<uint32_t>(size_t(width) * height)};
        for (uint32_t& pixel : pixels.argb) pixel = in_.u32();
        Rooted v;
        image::make_at(v.get(), std::move(pixels));
        v->s1 = head;
        append(target, *v, h.new_line);
    }
    void bitset(const Head& h, Cell* target) {
        uint32_t n = bounded_count(1);
        const uint8_t* data = in_.bytes(n);
        bool complement = compact_ ? h.flag : (h.bits & H_COMPLEMENT) != 0;
        NodeId node = memory::alloc_bytes(n);
        Series* s = memory::series_of(node);
        std::memcpy(s->head_ptr(), data, n);
        s->tail = s->head + n;
        if (complement) memory::set_flags(node, SERIES_COMPLEMENT);
        if (!compact_) align4();
        append(target, make_cell(TYPE_BITSET, 0, node), h.new_line);
    }

    // ---- words ----
    // A word record after its header, appended to the target.
    void word(const Head& h, Cell* target) {
        uint32_t sym = symbol();
        if (boot()) return append(target, boot_word(h, sym), false);
        bool global = compact_ ? !h.flag && !h.reference : (h.bits & H_GLOBAL_WORD) != 0;
        if (!compact_ && global) in_.u32();  // the index a global word had: looked up again
        if (global) return append(target, global_word(h, sym), false);
        int32_t index = number();
        Rooted w(make_cell(h.type, 0, sym, uint32_t(-1)));
        if (h.new_line) w->set_flag(FLAG_NEW_LINE);
        if (h.reference) {
            NodeId ctx = context_of(walk(path(), h.at));
            if (!ctx) in_.fail_at(h.at);
            bind(*w, ctx, index, h.at);
            return append(target, *w, false);
        }
        // The owner record follows: its context is made, and the word bound and appended,
        // before the owner's values are read, since they may refer to it.
        Head owner = header();
        if (owner.kind != Head::typed || owner.reference || owner.definition ||
            (owner.type != TYPE_OBJECT && owner.type != TYPE_FUNCTION))
            in_.fail_at(owner.at);
        if (owner.type == TYPE_OBJECT) object_record(owner, target, w.get(), false, index);
        else function_record(owner, target, w.get(), index);
    }
    Cell global_word(const Head& h, uint32_t sym) {
        Cell w = context::add_global_word(sym, false, true);
        w.set_type(h.type);
        if (h.new_line) w.set_flag(FLAG_NEW_LINE);
        return w;
    }
    // Boot load: F (or a context reference other than -1) names the context of a root value.
    Cell boot_word(const Head& h, uint32_t sym) {
        int32_t reference = -1;
        int32_t index = -1;
        if (compact_ && h.flag) {
            reference = int32_t(in_.varint());
            index = in_.zigzag();
        } else if (!compact_) {
            reference = int32_t(in_.u32());
            index = int32_t(in_.u32());
        }
        if (reference < 0) return global_word(h, sym);
        Series* root = memory::series_of(s_.root->s2);
        uint64_t at = uint64_t(reference) + s_.start_offset;
        if (at >= root->length() || !root->cells()[at].is(TYPE_OBJECT)) in_.fail_at(h.at);
        Cell w = make_cell(h.type, 0, sym, uint32_t(-1));
        if (h.new_line) w.set_flag(FLAG_NEW_LINE);
        bind(w, root->cells()[at].s1, index, h.at);
        return w;
    }
    void bind(Cell& w, NodeId ctx, int32_t index, const uint8_t* at) {
        if (index == -1) index = context::find_word(ctx, w.s2, true);
        else if (index < 0 || uint32_t(index) >= context::word_count(ctx)) in_.fail_at(at);
        w.s1 = ctx;
        w.s3 = uint32_t(index);
    }
    // Definition: the word, then its value, which the word is set to; neither stays in the root.
    void definition(const Head& h, Cell* target) {
        Rooted holder;
        block::make_at(holder.get(), 1);
        word(h, holder.get());
        Rooted w(memory::series_of(holder->s2)->cells()[0]);
        if (!w->s1) in_.fail_at(h.at);
        uint32_t before = length_of(target);
        value(target);
        if (length_of(target) != before + 1) in_.fail_at(h.at);  // the value was a definition too
        Cell v = memory::series_of(target->s2)->cells()[before];
        v.clear_flag(FLAG_NEW_LINE);
        block::vs_clip(target, before);
        context::set_in(*w, v, w->s1, false);
    }

    // ---- contexts, objects, functions ----
    struct ContextHead {
        uint8_t flags;
        std::vector<uint32_t> symbols;
    };
    ContextHead context_head() {
        Head h = header();
        if (h.kind != Head::typed || h.type != TYPE_CONTEXT || h.reference || h.definition || h.new_line)
            in_.fail_at(h.at);
        return context_fields(h);
    }
    ContextHead context_fields(const Head& h) {
        ContextHead c;
        c.flags = compact_ ? in_.byte()
                           : uint8_t(((h.bits >> 26) & CONTEXT_KIND_MASK) | ((h.bits >> 28) & 7) << 2);
        uint32_t n = bounded_count(1);
        c.symbols.resize(n);
        for (uint32_t& sym : c.symbols) sym = symbol();
        return c;
    }
    NodeId make_context(const ContextHead& c, const uint8_t* at) {
        auto kind = context::Kind(c.flags & CONTEXT_KIND_MASK);
        bool on_stack = (c.flags & CONTEXT_ON_STACK) != 0;
        if (kind == context::Kind::global || (on_stack && kind != context::Kind::function)) in_.fail_at(at);
        Rooted holder(make_cell(TYPE_OBJECT, context::create(uint32_t(c.symbols.size()), on_stack,
                                                             (c.flags & CONTEXT_SELF) != 0, 0, kind)));
        for (uint32_t sym : c.symbols) context::add_word(holder->s1, make_cell(TYPE_WORD, 0, sym));
        if (context::word_count(holder->s1) != c.symbols.size()) in_.fail_at(at);
        return holder->s1;
    }
    // Pads a values block back to its word count with unset values, within its room.
    struct FieldsKept {
        NodeId node;
        uint32_t count;
        ~FieldsKept() {
            Series* s = memory::series_of(node);
            for (uint32_t i = s->length(); i < count; ++i) s->cells()[i] = unset_cell();
            s->tail = s->head + count * uint32_t(sizeof(Cell));
        }
    };
    // An object! record (or a standalone context! record of the boot image). With `word`, the
    // object is the owner record of that word, which is bound to it instead of the object
    // being appended.
    void object_record(const Head& h, Cell* target, Cell* word, bool standalone, int32_t index = -1) {
        uint32_t class_id = uint32_t(-1);
        ContextHead c;
        if (standalone) {
            c = context_fields(h);
        } else {
            class_id = uint32_t(number());
            bool on_set = compact_ ? h.flag : (h.bits & H_ON_SET) != 0;
            if (on_set) number(), number();  // rebuilt from the fields below
            if (!boot()) class_id = uint32_t(-1);
            c = context_head();
        }
        bool with_values = (c.flags & CONTEXT_VALUES) && !(c.flags & CONTEXT_ON_STACK);
        if (!standalone && (c.flags & CONTEXT_ON_STACK)) in_.fail_at(h.at);
        NodeId ctx = make_context(c, h.at);
        Rooted object(make_cell(TYPE_OBJECT, ctx, class_id, 0));
        context::owner(ctx) = *object;
        if (word) {
            bind(*word, ctx, index, h.at);
            append(target, *word, false);
        } else {
            append(target, *object, h.new_line);
        }
        if (!with_values) return;
        // The values are read in place, so references inside them find the fields before
        // them; however the reading ends, every field has a value again.
        uint32_t n = uint32_t(c.symbols.size());
        Cell values = make_cell(TYPE_BLOCK, 0, object::values_node(ctx));
        FieldsKept kept{values.s2, n};
        block::vs_clip(&values, 0);
        for (uint32_t i = 0; i < n; ++i) value(&values);
        if (!standalone && !boot()) {
            NodeId on_set = object::build_on_set(ctx);
            object->s3 = on_set;
            context::owner(ctx) = *object;
            if (!word) patch_last(target, *object);
        }
    }
    // Rewrites the last cell appended to a block (the object, once its on-set record exists).
    void patch_last(Cell* target, const Cell& v) {
        Series* s = memory::series_of(target->s2);
        if (s->length() == 0) return;
        Cell& last = s->cells()[s->length() - 1];
        if (last.is(v.type()) && last.s1 == v.s1) last.s3 = v.s3;
    }

    // A function record: the spec and body lengths, its context's words, the spec, the body.
    void function_record(const Head& h, Cell* target, Cell* word, int32_t index = -1) {
        bounded_count(1);  // the spec and body lengths: only sizes, the records count
        bounded_count(1);
        ContextHead c = context_head();
        Rooted spec(function_block(h));
        uint32_t flags = function::check_spec(*spec);
        NodeId ctx = context::make_from_spec(*spec, true, false, context::Kind::function);
        Rooted held(make_cell(TYPE_OBJECT, ctx));
        if (context::word_count(ctx) != c.symbols.size()) in_.fail_at(h.at);
        for (uint32_t i = 0; i < c.symbols.size(); ++i)
            if (symbol::resolve(memory::series_of(context::words(ctx))->cells()[i].s2) !=
                symbol::resolve(c.symbols[i]))
                in_.fail_at(h.at);
        Rooted body;
        block::make_at(body.get(), 1);
        function::push(*spec, body.get(), ctx, flags, function::Body::as_is);
        Rooted f(*stack::last());
        stack::pop(1);
        if (h.new_line) f->set_flag(FLAG_NEW_LINE);
        if (word) {
            bind(*word, ctx, index, h.at);
            append(target, *word, false);
        } else {
            append(target, *f, false);
        }
        Cell decoded = function_block(h, body.get());
        if (decoded.s2 != body->s2) function::extra_of(*f)[function::EXTRA_BODY] = decoded;
    }
    // The spec or body record of a function: a block! record, or a reference to a block. With
    // `into`, the values go into that block.
    Cell function_block(const Head& owner, Cell* into = nullptr) {
        Head h = header();
        if (h.kind != Head::typed || h.type != TYPE_BLOCK || h.definition) in_.fail_at(h.at);
        head_of(h);
        if (h.reference) {
            Cell found = walk(path(), h.at);
            if (!is_block_like(found.type()) && !gives_spec(found.type())) in_.fail_at(h.at);
            return make_cell(TYPE_BLOCK, 0, found.s2);
        }
        uint32_t n = bounded_count(1);
        Rooted b;
        if (into) *b = *into;
        else block::make_at(b.get(), n);
        for (uint32_t i = 0; i < n; ++i) value(b.get());
        (void)owner;
        return *b;
    }

    // A native! or action! record: its table slot and its spec. A script decode gives the value
    // the environment holds for that slot, whatever spec the stream says: a native trusts its
    // spec to have checked its arguments.
    Cell native_record(const Head& h) {
        uint32_t slot = count();
        bool valid = h.type == TYPE_ACTION ? slot >= 1 && slot <= uint32_t(ACTION_COUNT)
                                           : slot >= 1 && slot <= uint32_t(natives::count());
        if (!valid) in_.fail_at(h.at);
        Rooted spec;
        block::make_at(spec.get(), 1);
        value(spec.get());
        Cell s = memory::series_of(spec->s2)->cells()[0];
        if (!s.is(TYPE_BLOCK)) in_.fail_at(h.at);
        if (!boot()) {
            Cell known = known_native(h.type, slot);
            if (!known.is(h.type)) in_.fail_at(h.at);
            return known;
        }
        *spec = make_cell(TYPE_BLOCK, 0, s.s2);
        Cell* mark = stack::top;
        Cell made = *native::push(h.type, int32_t(slot), *spec);
        stack::top = mark;
        return made;
    }
    // The native! or action! of a table slot among the values of the global context, or none.
    static Cell known_native(TypeId type, uint32_t slot) {
        const Cell c = context::context_cell(context::global());
        Series* values = memory::series_of(c.s2);
        for (uint32_t i = 0; i < values->length(); ++i) {
            Cell v = values->cells()[i];
            if (v.is(type) && v.s1 == slot) {
                v.clear_flag(FLAG_NEW_LINE);
                return v;
            }
        }
        return none_cell();
    }
    void op_record(const Head& h, Cell* target) {
        Rooted source;
        block::make_at(source.get(), 1);
        value(source.get());
        Cell found = memory::series_of(source->s2)->cells()[0];
        if (!found.is(TYPE_NATIVE) && !found.is(TYPE_ACTION) && !found.is(TYPE_FUNCTION)) in_.fail_at(h.at);
        Rooted from(found);
        Rooted op;
        native::make_op(op.get(), from.get(), TYPE_OP);
        append(target, *op, h.new_line);
    }
    void error_record(const Head& h, Cell* target) {
        uint32_t code = count();
        uint32_t category = code / 100, id = code % 100;
        if (category >= uint32_t(catalog::category_count()) || id >= catalog::category(int(category)).ids.size())
            in_.fail_at(h.at);
        Rooted e(error::create(err::Code(code), nullptr, nullptr, nullptr));
        append(target, *e, h.new_line);
        Rooted field;
        block::make_at(field.get(), 1);
        for (uint32_t f = error::FIELD_ARG1; f <= error::FIELD_STACK; ++f) {
            block::vs_clip(field.get(), 0);
            value(field.get());
            *error::field(*e, error::Field(f)) = memory::series_of(field->s2)->cells()[0];
        }
    }
};

// The counts and the symbol table, whose places the layouts share; the records follow.
const uint8_t* read_counts(DecodeState& s, bool compact, bool with_symbols) {
    Input& in = s.in;
    auto field = [&] { return compact ? in.varint() : in.u32(); };
    field();  // the root count: the records say how many values there are
    const uint8_t* size_at = in.p;
    uint32_t records = field();
    if (with_symbols) {
        SymbolsIn& t = s.symbols;
        const uint8_t* at = in.p;
        t.present = true;
        t.count = field();
        t.size = field();
        if (uint64_t(t.count) * 4 > in.left()) in.fail_at(at);
        t.offsets = in.bytes(uint64_t(t.count) * 4);
        if (t.size > in.left()) in.fail_at(at);
        t.names = in.bytes(t.size);
        if (t.size > 0 && t.names[t.size - 1] != 0) in.fail_at(in.p - 1);
    }
    if (records > in.left()) in.fail_at(size_at);
    return in.p + records;
}

}  // namespace

void read_compact_body(DecodeState& s) {
    const uint8_t* end = read_counts(s, true, s.symbols.present);
    Reader(s, true).records(end);
}

void read_standard_body(DecodeState& s) {
    const uint8_t* end = read_counts(s, false, s.symbols.present);
    Reader(s, false).records(end);
}

}  // namespace vyn::vynbin
