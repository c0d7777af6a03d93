// The VYNBIN record writer of both layouts. Series, maps, bitsets, vectors, objects and
// functions are written once: the first meeting saves the value's path (its position in each
// enclosing container, from the root) under its series or context node, and every later one
// writes that path instead, so shared and cyclic data keep their shape. Nothing here allocates
// series, so the nodes and buffers read stay in place for the whole encode.
#include <cmath>
#include <cstring>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/image.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word.hpp"
#include "eval/vynbin_internal.hpp"

namespace vyn::vynbin {

bool has_no_codec(TypeId type) {
    return type == TYPE_ROUTINE || type == TYPE_TRIPLE || type == TYPE_HANDLE || type == TYPE_PORT ||
           type == TYPE_EVENT;
}

void fire_no_codec(TypeId type) {
    const Cell datatype = datatype_cell(type);
    fire(err::no_codec, &datatype);
}

uint32_t SymbolsOut::index(uint32_t symbol) {
    auto [it, added] = index_of.try_emplace(symbol, count());
    if (!added) return it->second;
    offsets.push_back(uint32_t(names.size()));
    names += symbol::name(symbol);
    names += '\0';
    if (pad_names) names.resize(align_up(names.size(), 8), '\0');
    return it->second;
}

namespace {

bool is_block_like(TypeId t) { return series::is_block_type(t); }

// Short float forms of the compact layout: the value must come back exactly, and -0.0 must not
// lose its sign.
bool short_float(double d, int32_t& n) {
    if (!(d >= -2147483000.0 && d <= 2147483000.0)) return false;
    n = int32_t(d);
    return double(n) == d && !(n == 0 && std::signbit(d));
}

bool short_percent(double d, int32_t& n) {
    if (!(d >= -21474836.0 && d <= 21474836.0)) return false;
    n = int32_t(std::round(d * 100.0));
    return double(n) / 100.0 == d && !(n == 0 && std::signbit(d));
}

// The units of a text or bytes series from its first one, and their size.
struct Units {
    const uint8_t* data;
    uint32_t count;
    int unit;
};
Units units_of(const Cell& v) {
    Series* s = memory::series_of(v.s2);
    return {s->head_ptr(), s->length(), s->unit()};
}

}  // namespace

struct RecordWriter::Impl {
    Impl(bool compact_layout, SymbolsOut& table, std::vector<uint8_t>& records, bool boot_image)
        : compact(compact_layout), symbols(table), out(records), image(boot_image) {}

    bool compact;
    SymbolsOut& symbols;
    std::vector<uint8_t>& out;
    uint32_t position = 0;
    std::vector<uint32_t> stack;  // the positions of the enclosing containers
    std::unordered_map<NodeId, std::vector<uint32_t>> paths;
    bool image;  // a boot image: every word is written as a word of the global context

    // ---- fields ----
    void byte(uint8_t b) { out.push_back(b); }
    void raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void u32(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        raw(b, 4);
    }
    void varint(uint32_t v) {
        while (v >= 0x80) {
            byte(uint8_t(v | 0x80));
            v >>= 7;
        }
        byte(uint8_t(v));
    }
    void zigzag(int32_t v) { varint((uint32_t(v) << 1) ^ uint32_t(v >> 31)); }
    void pad(size_t multiple) { out.resize(align_up(out.size(), multiple), 0); }
    // A count or unsigned field, and a signed one, in the layout's form.
    void count(uint32_t v) { compact ? varint(v) : u32(v); }
    void number(int32_t v) { compact ? zigzag(v) : u32(uint32_t(v)); }
    void symbol_index(uint32_t symbol) { count(symbols.index(symbol)); }
    void f64(double d) {
        uint64_t u;
        std::memcpy(&u, &d, 8);
        if (compact) {
            u32(uint32_t(u));
            u32(uint32_t(u >> 32));
        } else {
            u32(uint32_t(u >> 32));
            u32(uint32_t(u));
        }
    }

    // The record header: the compact layout's prefixes and header byte (F is `flag`), or the
    // standard layout's header word (its type-specific bits are `bits`).
    void header(TypeId t, const Cell& v, bool reference, bool flag, uint32_t bits = 0) {
        bool new_line = v.has_flag(FLAG_NEW_LINE);
        if (compact) {
            if (new_line) byte(PREFIX_NEW_LINE);
            if (reference) byte(PREFIX_REFERENCE);
            byte(uint8_t(t | (flag ? TYPE_FLAG : 0)));
        } else {
            u32(t | bits | (new_line ? H_NEW_LINE : 0) | (reference ? H_REFERENCE : 0));
        }
    }
    void path(const std::vector<uint32_t>& p) {
        if (!compact) u32(PATH_MARK);
        count(uint32_t(p.size()));
        for (uint32_t i : p) count(i);
    }

    // ---- positions and identity ----
    // The path saved for the key, or nullptr at its first meeting, which saves the path of the
    // value at the current position.
    const std::vector<uint32_t>* seen(NodeId key) {
        auto found = paths.find(key);
        if (found != paths.end()) return &found->second;
        std::vector<uint32_t> p = stack;
        p.push_back(position);
        paths.emplace(key, std::move(p));
        return nullptr;
    }
    // Inside a container the positions count from 0; they are restored when it ends.
    struct Nest {
        Impl& w;
        uint32_t saved;
        explicit Nest(Impl& writer) : w(writer), saved(writer.position) {
            if (w.stack.size() >= MAX_DEPTH) fire(err::stack_overflow);
            w.stack.push_back(saved);
            w.position = 0;
        }
        ~Nest() {
            w.stack.pop_back();
            w.position = saved;
        }
    };

    void value(const Cell& v) {
        record(v);
        ++position;
    }
    void record(const Cell& v);

    void logic(const Cell& v) {
        if (compact) {
            if (v.has_flag(FLAG_NEW_LINE)) byte(PREFIX_NEW_LINE);
            byte(v.s1 ? LOGIC_TRUE : LOGIC_FALSE);
            return;
        }
        header(TYPE_LOGIC, v, false, false);
        u32(v.s1 ? 1 : 0);
    }
    void integer(const Cell& v) {
        int32_t n = v.i32();
        if (compact && n >= 0 && n <= 63) {
            if (v.has_flag(FLAG_NEW_LINE)) byte(PREFIX_NEW_LINE);
            byte(uint8_t(SMALL_INTEGER + n));
            return;
        }
        header(TYPE_INTEGER, v, false, false);
        number(n);
    }
    void decimal(const Cell& v) {
        double d = v.f64();
        int32_t n = 0;
        if (!compact) {
            pad(8);
            header(v.type(), v, false, false);
            f64(d);
            return;
        }
        bool short_form = v.is(TYPE_PERCENT) ? short_percent(d, n) : short_float(d, n);
        header(v.type(), v, false, short_form);
        if (short_form) zigzag(n);
        else f64(d);
    }
    void date(const Cell& v) {
        bool timed = (v.s1 & date::TIME_FLAG) != 0;
        header(TYPE_DATE, v, false, timed);
        u32(v.s1);
        if (timed || !compact) f64(v.f64());
    }
    void typeset(const Cell& v) {
        header(TYPE_TYPESET, v, false, false);
        uint8_t bits[12];
        std::memcpy(bits, &v.s1, 12);
        if (!compact) return raw(bits, 12);
        uint8_t n = 12;
        while (n > 0 && bits[n - 1] == 0) --n;
        byte(n);
        raw(bits, n);
    }
    void tuple(const Cell& v) {
        int n = tokenizer::tuple_length(v);
        uint8_t bytes[12];
        std::memcpy(bytes, &v.s1, 12);
        if (!compact) {
            header(TYPE_TUPLE, v, false, false, uint32_t(n) << 8);
            return raw(bytes, 12);
        }
        header(TYPE_TUPLE, v, false, n != 3);
        if (n != 3) byte(uint8_t(n));
        raw(bytes, size_t(n));
    }
    void money(const Cell& v) {
        bool negative = v.has_flag(money::FLAG_NEGATIVE);
        header(TYPE_MONEY, v, false, negative, negative ? H_MONEY_NEGATIVE : 0);
        raw(&v.s1, 12);
    }

    // Series: the head index, then (unless a reference) the whole series from its first unit.
    void series_head(uint32_t head) {
        if (!compact || head != 0) count(head);
    }
    void block_like(const Cell& v) {
        uint32_t head = v.s1;
        const std::vector<uint32_t>* p = seen(v.s2);
        header(v.type(), v, p != nullptr, head != 0);
        series_head(head);
        if (p) return path(*p);
        Series* s = memory::series_of(v.s2);
        uint32_t n = s->length();
        count(n);
        Nest nest(*this);
        for (uint32_t i = 0; i < n; ++i) value(memory::series_of(v.s2)->cells()[i]);
    }
    void map(const Cell& v) {
        const std::vector<uint32_t>* p = seen(v.s2);
        header(TYPE_MAP, v, p != nullptr, false);
        if (p) return path(*p);
        Series* s = memory::series_of(v.s2);
        uint32_t live = 0;
        for (uint32_t i = 0; i + 1 < s->length(); i += 2)
            if (s->cells()[i + 1].header != 0) live += 2;
        count(live);
        Nest nest(*this);
        for (uint32_t i = 0; i + 1 < s->length(); i += 2) {
            const Cell* entry = memory::series_of(v.s2)->cells() + i;
            if (entry[1].header == 0) continue;
            value(entry[0]);
            value(entry[1]);
        }
    }
    void text(const Cell& v) {
        Units u = units_of(v);
        uint32_t head = v.s1;
        const std::vector<uint32_t>* p = seen(v.s2);
        bool bytes = v.is(TYPE_BINARY);
        header(v.type(), v, p != nullptr, head != 0, uint32_t(u.unit) << 8);
        series_head(head);
        if (p) return path(*p);
        int code = u.unit == 1 ? 0 : u.unit == 2 ? 1 : 2;
        if (compact) varint(bytes ? u.count : u.count * 4 + uint32_t(code));
        else u32(u.count);
        raw(u.data, size_t(u.count) * size_t(u.unit));
        if (!compact) pad(4);
    }
    void vector(const Cell& v) {
        Units u = units_of(v);
        uint32_t head = v.s1;
        const std::vector<uint32_t>* p = seen(v.s2);
        header(TYPE_VECTOR, v, p != nullptr, head != 0, uint32_t(u.unit) << 8);
        series_head(head);
        if (p) return path(*p);
        int code = u.unit == 1 ? 0 : u.unit == 2 ? 1 : u.unit == 4 ? 2 : 3;
        if (compact) {
            byte(uint8_t(v.s3 * 4 + uint32_t(code)));
            varint(u.count);
        } else {
            u32(u.count);
            u32(v.s3);
        }
        raw(u.data, size_t(u.count) * size_t(u.unit));
        if (!compact) pad(4);
    }
    // Pixels as the four-byte ARGB words, little-endian; the standard layout packs the size.
    void image_record(const Cell& v) {
        uint32_t head = v.s1;
        const std::vector<uint32_t>* p = seen(v.s2);
        header(TYPE_IMAGE, v, p != nullptr, head != 0);
        series_head(head);
        if (p) return path(*p);
        if (compact) {
            varint(image::width_of(v));
            varint(image::height_of(v));
        } else {
            u32(v.s3);
        }
        for (uint32_t pixel : image::pixels_of(v).argb) u32(pixel);
    }
    void bitset(const Cell& v) {
        Series* s = memory::series_of(v.s2);
        bool complement = (s->flags & SERIES_COMPLEMENT) != 0;
        const std::vector<uint32_t>* p = seen(v.s2);
        header(TYPE_BITSET, v, p != nullptr, complement, complement ? H_COMPLEMENT : 0);
        if (p) return path(*p);
        count(s->used_bytes());
        raw(s->head_ptr(), s->used_bytes());
        if (!compact) pad(4);
    }

    // Contexts: the kind, self and stack flags, the words, and the values of a heap context.
    void context_record(NodeId ctx, bool with_values) {
        const Cell c = context::context_cell(ctx);
        uint8_t flags = uint8_t((c.header >> context::KIND_SHIFT) & CONTEXT_KIND_MASK);
        bool on_stack = c.has_flag(FLAG_CONTEXT_ON_STACK);
        if (on_stack) flags |= CONTEXT_ON_STACK;
        if (c.has_flag(FLAG_CONTEXT_SELF)) flags |= CONTEXT_SELF;
        with_values = with_values && !on_stack && c.s2 != 0;
        if (with_values) flags |= CONTEXT_VALUES;
        if (compact) {
            byte(TYPE_CONTEXT);
            byte(flags);
        } else {
            u32(TYPE_CONTEXT | uint32_t(flags & CONTEXT_KIND_MASK) << 26 | uint32_t((flags >> 2) & 7) << 28);
        }
        uint32_t n = context::word_count(ctx);
        count(n);
        for (uint32_t i = 0; i < n; ++i) symbol_index(memory::series_of(context::words(ctx))->cells()[i].s2);
        if (!with_values) return;
        for (uint32_t i = 0; i < n; ++i) {
            Series* values = memory::series_of(object::values_node(ctx));
            value(i < values->length() ? values->cells()[i] : unset_cell());
        }
    }
    void object_content(const Cell& v) {
        NodeId on_set = object::on_set_of(v);
        header(TYPE_OBJECT, v, false, on_set != 0, on_set ? H_ON_SET : 0);
        number(int32_t(object::class_of(v)));
        if (on_set) {
            const Cell* record = memory::series_of(on_set)->cells();
            number(int32_t(record[0].s2));
            number(int32_t(record[1].s2));
        }
        Nest nest(*this);
        context_record(object::context_of(v), true);
    }
    void object(const Cell& v) {
        if (const std::vector<uint32_t>* p = seen(object::context_of(v))) {
            header(TYPE_OBJECT, v, true, false);
            return path(*p);
        }
        object_content(v);
    }
    void function_content(const Cell& v) {
        header(TYPE_FUNCTION, v, false, false);
        const Cell spec = function::spec_block(v);
        const Cell body = function::extra_of(v)[function::EXTRA_BODY];
        count(memory::series_of(spec.s2)->length());
        count(body.is(TYPE_BLOCK) ? memory::series_of(body.s2)->length() : 0);
        Nest nest(*this);
        context_record(v.s1, false);
        position = 0;
        record(spec);
        position = 1;
        if (body.is(TYPE_BLOCK)) return record(make_cell(TYPE_BLOCK, 0, body.s2));
        // A function without a body block is written with an empty one.
        header(TYPE_BLOCK, none_cell(), false, false);
        if (!compact) u32(0);
        count(0);
    }
    void function(const Cell& v) {
        if (const std::vector<uint32_t>* p = seen(v.s1)) {
            header(TYPE_FUNCTION, v, true, false);
            return path(*p);
        }
        function_content(v);
    }
    void native(const Cell& v) {
        header(v.type(), v, false, false);
        count(v.s1);
        record(make_cell(TYPE_BLOCK, 0, v.s2));  // the spec takes the native's own position
    }
    void op(const Cell& v) {
        TypeId source_type = native::op_source(v);
        header(TYPE_OP, v, false, false, uint32_t(source_type) << native::OP_SOURCE_SHIFT);
        Cell source = v;
        source.header = source_type;
        record(source);
    }
    void error(const Cell& v) {
        header(TYPE_ERROR, v, false, false);
        count(uint32_t(error::field(v, error::FIELD_CODE)->i32()));
        Nest nest(*this);
        for (uint32_t f = error::FIELD_ARG1; f <= error::FIELD_STACK; ++f)
            value(*error::field(v, error::Field(f)));
    }

    // Words: those of the global context (or of a context nobody owns) carry only their symbol;
    // any other names its context's owner, written at the context's first meeting.
    void word(const Cell& v) {
        NodeId ctx = v.s1;
        Cell owner = ctx && ctx != context::global() ? context::owner(ctx) : none_cell();
        bool owned = !image && (owner.is(TYPE_OBJECT) || owner.is(TYPE_FUNCTION));
        if (!owned) {
            header(v.type(), v, false, false, H_GLOBAL_WORD);
            symbol_index(v.s2);
            if (!compact) u32(v.s3);
            return;
        }
        const std::vector<uint32_t>* p = seen(ctx);
        header(v.type(), v, p != nullptr, true);
        symbol_index(v.s2);
        number(int32_t(v.s3));
        if (p) return path(*p);
        if (owner.is(TYPE_OBJECT)) object_content(owner);
        else function_content(owner);
    }
    void issue(const Cell& v) {
        header(TYPE_ISSUE, v, false, false);
        symbol_index(v.s2);
    }
};

void RecordWriter::Impl::record(const Cell& v) {
    TypeId t = v.type();
    if (has_no_codec(t)) fire_no_codec(t);
    if (is_block_like(t)) return block_like(v);
    if (series::is_string_type(t) || t == TYPE_BINARY) return text(v);
    if (word::any_word(t)) return t == TYPE_ISSUE ? issue(v) : word(v);
    switch (t) {
    case TYPE_DATATYPE:
        header(t, v, false, false);
        return count(v.s1);
    case TYPE_UNSET:
    case TYPE_NONE: return header(t, v, false, false);
    case TYPE_LOGIC: return logic(v);
    case TYPE_INTEGER: return integer(v);
    case TYPE_CHAR:
        header(t, v, false, false);
        return count(v.s2);
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: return decimal(v);
    case TYPE_PAIR:
        header(t, v, false, false);
        number(int32_t(v.s2));
        return number(int32_t(v.s3));
    case TYPE_POINT2D:
    case TYPE_POINT3D:
        header(t, v, false, false);
        u32(v.s1);
        u32(v.s2);
        if (t == TYPE_POINT3D) u32(v.s3);
        return;
    case TYPE_DATE: return date(v);
    case TYPE_TYPESET: return typeset(v);
    case TYPE_TUPLE: return tuple(v);
    case TYPE_MONEY: return money(v);
    case TYPE_MAP: return map(v);
    case TYPE_VECTOR: return vector(v);
    case TYPE_IMAGE: return image_record(v);
    case TYPE_BITSET: return bitset(v);
    case TYPE_OBJECT: return object(v);
    case TYPE_FUNCTION: return function(v);
    case TYPE_NATIVE:
    case TYPE_ACTION: return native(v);
    case TYPE_OP: return op(v);
    case TYPE_ERROR: return error(v);
    // A value the layouts do not carry: writing nothing for it would shift every later record
    // of its container.
    default: fire_no_codec(t);
    }
}

RecordWriter::RecordWriter(bool compact, SymbolsOut& symbols, std::vector<uint8_t>& out, bool image)
    : impl_(new Impl(compact, symbols, out, image)) {}

RecordWriter::~RecordWriter() { delete impl_; }

void RecordWriter::value(const Cell& v) { impl_->value(v); }

void RecordWriter::definition(const Cell& word, const Cell& v) {
    impl_->byte(PREFIX_DEFINITION);
    impl_->record(word);
    impl_->record(v);
}

}  // namespace vyn::vynbin
