// The routines of the text codecs: the JSON string unescaper, which rewrites a string in place
// with what its backslash escapes stand for, and the JSON fast paths (eval/json.hpp).
#include <cstdint>
#include <optional>
#include <vector>

#include "core/hex_digit.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "datatypes/string.hpp"
#include "eval/json.hpp"
#include "eval/native_support.hpp"
#include "eval/routines.hpp"

namespace vyn::routines {
namespace {

using natives::args;
using routine_table::Binding;
using routine_table::Definition;

using json::HIGH_SURROGATE_FIRST;
using json::LOW_SURROGATE_FIRST;
using json::SURROGATE_END;

// The code point of four hex digits at `at`, or nothing when they are not all there.
std::optional<uint32_t> hex4(const std::vector<uint32_t>& text, size_t at) {
    if (at + 4 > text.size()) return std::nullopt;
    uint32_t cp = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = hex_digit(text[i]);
        if (digit < 0) return std::nullopt;
        cp = cp << 4 | uint32_t(digit);
    }
    return cp;
}

uint32_t simple_escape(uint32_t c) {
    switch (c) {
        case 'b': return 0x08;
        case 'f': return 0x0C;
        case 'n': return 0x0A;
        case 'r': return 0x0D;
        case 't': return 0x09;
        case '"':
        case '\\':
        case '/': return c;
        default: return '\\';  // the character after it is dropped; the grammar lets none through
    }
}

// The characters `text` stands for, or nothing when a \u escape is cut short or a high surrogate
// lacks its low half.
std::optional<std::vector<uint32_t>> unescaped(const std::vector<uint32_t>& text) {
    std::vector<uint32_t> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        uint32_t selector = text[++i];
        if (selector != 'u') {
            out.push_back(simple_escape(selector));
            continue;
        }
        auto cp = hex4(text, i + 1);
        if (!cp) return std::nullopt;
        i += 4;
        if (*cp >= HIGH_SURROGATE_FIRST && *cp < LOW_SURROGATE_FIRST) {
            if (i + 6 >= text.size() || text[i + 1] != '\\' || text[i + 2] != 'u') return std::nullopt;
            auto low = hex4(text, i + 3);
            if (!low || *low < LOW_SURROGATE_FIRST || *low >= SURROGATE_END) return std::nullopt;
            cp = 0x10000 + (*cp - HIGH_SURROGATE_FIRST) * 1024 + (*low - LOW_SURROGATE_FIRST);
            i += 6;
        }
        out.push_back(*cp);
    }
    return out;
}

void json_unescape(int32_t) {
    Cell* str = args();
    const uint32_t head = string::clamp_head(str);
    const string::View view = string::view_of(str);
    std::vector<uint32_t> text(view.length);
    for (uint32_t i = 0; i < view.length; ++i) text[i] = view.at(i);
    auto result = unescaped(text);
    if (!result) {
        Rooted original(string::make(uint32_t(text.size()), 4));
        for (uint32_t cp : text) string::append_char(string::node_of(original.get()), cp);
        fire(err::invalid_data, original.get());
    }
    const NodeId node = string::node_of(str);
    string::truncate(node, head);
    for (uint32_t cp : *result) string::append_char(node, cp);
    stack::set_result(*str);
}

const Definition codec_routines[] = {
    {"json-unescape", json_unescape, Binding::none},
    {"json-read", json::read, Binding::none},
    {"json-write", json::write, Binding::none},
};

}  // namespace

void init_codecs() { routine_table::register_list(codec_routines); }

}  // namespace vyn::routines
