// The fast JSON writer behind to-json: writes blocks, maps, strings, numbers, logic and none the
// way json-encoder does, into a buffer of code points that becomes one string at the end. It
// gives up (none) on everything else: other datatypes, map keys other than words and strings, a
// float with no JSON text, a container met again inside itself, nesting deeper than it goes.
// to-json then runs json-encoder, which writes the value or raises its error. Nothing is
// allocated while it walks, so the buffers it reads stay where they are.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/float_text.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/utf8.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "eval/json.hpp"
#include "eval/native_support.hpp"

namespace vyn::json {
namespace {

// The value is left to json-encoder.
struct GiveUp {};

// Deeper nesting goes to json-encoder, which refuses what overflows it.
constexpr int MAX_DEPTH = 400;

constexpr uint32_t SUPPLEMENTARY_FIRST = 0x10000;

class Writer {
public:
    Writer(const Cell* indent, bool ascii) : pretty_(indent != nullptr), ascii_(ascii) {
        if (!indent) return;
        const string::View view = string::view_of(indent);
        for (uint32_t i = 0; i < view.length; ++i) indent_.push_back(char32_t(view.at(i)));
    }

    void write_value(const Cell& value, int level) {
        switch (value.type()) {
        case TYPE_NONE: return append_ascii("null");
        case TYPE_LOGIC: return append_ascii(value.s1 ? "true" : "false");
        case TYPE_INTEGER: return append_ascii(integer::form_signed(value.i32()).text());
        case TYPE_FLOAT:
        case TYPE_PERCENT: return write_number(value.f64());
        case TYPE_STRING: return write_string(string::view_of(&value));
        case TYPE_BLOCK: return write_block(value, level);
        case TYPE_MAP: return write_map(value, level);
        default: throw GiveUp{};
        }
    }

    std::u32string& text() { return out_; }

private:
    std::u32string out_;
    std::u32string indent_;
    bool pretty_;
    bool ascii_;
    // The containers being written, by node: one met again may be a cycle.
    std::vector<NodeId> open_;

    void append_ascii(std::string_view text) { out_.append(text.begin(), text.end()); }

    void write_number(double value) {
        char text[float_text::text_capacity];
        const std::string_view form(text, float_::to_text(value, float_text::TextKind::float_form, text));
        if (form.find('#') != std::string_view::npos) throw GiveUp{};
        append_ascii(form);
    }

    bool is_plain(uint32_t c) const {
        if (c < 0x20 || c == '"' || c == '\\') return false;
        return !ascii_ || c < 0x80;
    }

    void write_code_unit(uint32_t unit) {
        append_ascii("\\u");
        append_ascii(string::to_hex(unit, false).substr(4));
    }

    void write_escaped(uint32_t c) {
        switch (c) {
        case '"': return append_ascii("\\\"");
        case '\\': return append_ascii("\\\\");
        case 0x08: return append_ascii("\\b");
        case 0x0C: return append_ascii("\\f");
        case 0x0A: return append_ascii("\\n");
        case 0x0D: return append_ascii("\\r");
        case 0x09: return append_ascii("\\t");
        default: break;
        }
        if (c < SUPPLEMENTARY_FIRST) return write_code_unit(c);
        c -= SUPPLEMENTARY_FIRST;
        write_code_unit(HIGH_SURROGATE_FIRST + (c >> 10));
        write_code_unit(LOW_SURROGATE_FIRST + (c & 1023));
    }

    void write_char(uint32_t c) {
        if (is_plain(c)) out_.push_back(char32_t(c));
        else write_escaped(c);
    }

    void write_string(const string::View& view) {
        out_.push_back('"');
        for (uint32_t i = 0; i < view.length; ++i) write_char(view.at(i));
        out_.push_back('"');
    }

    // A word's spelling is read from its UTF-8 name: the symbol's string! may not be made yet,
    // and making it would allocate.
    void write_spelling(uint32_t symbol) {
        const std::string_view name = symbol::name(symbol);
        const auto* p = reinterpret_cast<const uint8_t*>(name.data());
        const uint8_t* end = p + name.size();
        out_.push_back('"');
        while (p < end) {
            const unicode::Decoded d = unicode::decode_utf8_char(p, end);
            if (d.status != unicode::Status::ok) throw GiveUp{};
            write_char(uint32_t(d.code_point));
            p += d.length;
        }
        out_.push_back('"');
    }

    void new_line(int level) {
        if (!pretty_) return;
        out_.push_back('\n');
        for (int i = 0; i < level; ++i) out_ += indent_;
    }

    // The members between brackets, each on its own line when pretty; `count` members, the
    // i-th written by write_member.
    template <typename WriteMember>
    void write_members(NodeId node, uint32_t count, std::string_view brackets, int level, WriteMember write_member) {
        for (NodeId o : open_) {
            if (o == node) throw GiveUp{};
        }
        if (open_.size() >= MAX_DEPTH) throw GiveUp{};
        if (count == 0) return append_ascii(brackets);
        open_.push_back(node);
        out_.push_back(char32_t(brackets[0]));
        for (uint32_t i = 0; i < count; ++i) {
            if (i > 0) out_.push_back(',');
            new_line(level + 1);
            write_member(i);
        }
        new_line(level);
        out_.push_back(char32_t(brackets[1]));
        open_.pop_back();
    }

    void write_block(const Cell& block, int level) {
        Series* cells = memory::series_of(block.s2);
        const uint32_t tail = cells->length();
        const uint32_t head = std::min(block.s1, tail);
        write_members(block.s2, tail - head, "[]", level, [&](uint32_t i) {
            write_value(cells->cells()[head + i], level + 1);
        });
    }

    void write_key(const Cell& key) {
        if (key.is(TYPE_STRING)) return write_string(string::view_of(&key));
        if (!key.is(TYPE_SET_WORD) && !key.is(TYPE_WORD)) throw GiveUp{};
        write_spelling(key.s2);
    }

    // Live entries only: a removed entry keeps its place with a value header of 0.
    void write_map(const Cell& map, int level) {
        Series* entries = memory::series_of(map.s2);
        std::vector<uint32_t> live;
        for (uint32_t i = 0; i + 1 < entries->length(); i += 2) {
            if (entries->cells()[i + 1].header != 0) live.push_back(i);
        }
        write_members(map.s2, uint32_t(live.size()), "{}", level, [&](uint32_t i) {
            write_key(entries->cells()[live[i]]);
            append_ascii(pretty_ ? ": " : ":");
            write_value(entries->cells()[live[i] + 1], level + 1);
        });
    }
};

}  // namespace

void write(int32_t) {
    const Cell* a = natives::args();
    const Cell* indent = a[1].is(TYPE_NONE) ? nullptr : &a[1];
    const bool ascii = natives::truthy(a[2]);
    std::u32string text;
    try {
        Writer writer(indent, ascii);
        writer.write_value(a[0], 0);
        text.swap(writer.text());
    } catch (const GiveUp&) {
        stack::set_result(none_cell());
        return;
    }
    stack::set_result(string_of(text));
}

}  // namespace vyn::json
