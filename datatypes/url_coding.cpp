// Percent coding works on the UTF-8 form of the text, taken once into a std::string, so the
// output string may grow (and move buffers) while the input is read.
#include "datatypes/url_coding.hpp"

#include <string>
#include <string_view>

#include "core/hex_digit.hpp"
#include "core/stack.hpp"
#include "core/utf8.hpp"
#include "datatypes/string.hpp"

namespace vyn::url {
namespace {

// The byte of a "%XX" at `at`, or -1.
int hex_pair(std::string_view text, size_t at) {
    if (at + 3 > text.size() || text[at] != '%') return -1;
    int high = hex_digit(text[at + 1]);
    int low = hex_digit(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The code point of an n-byte UTF-8 sequence; an invalid one raises invalid-utf8.
uint32_t decode_sequence(const uint8_t* bytes, int n) {
    Cell* mark = stack::top;
    Cell* decoded = string::from_utf8_binary(bytes, size_t(n));
    uint32_t cp = string::view_of(decoded).at(0);
    stack::top = mark;
    return cp;
}

}  // namespace

bool is_safe(uint8_t byte, bool strict) {
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) return true;
    std::string_view marks = strict ? "-._~" : "!#$&'()*+,-./:=?@_~";
    return byte != 0 && marks.find(char(byte)) != std::string_view::npos;
}

uint32_t enhex(const Cell* text, Cell* out, bool strict, int64_t limit) {
    std::string utf8 = string::to_utf8(text);
    uint32_t written = 0;
    for (char c : utf8) {
        if (limit >= 0 && written >= limit) break;
        auto byte = uint8_t(c);
        if (byte < 128 && is_safe(byte, strict)) {
            string::append_char(string::node_of(out), byte);
            ++written;
            continue;
        }
        string::append_char(string::node_of(out), '%');
        for (char digit : string::byte_to_hex(byte)) string::append_char(string::node_of(out), uint8_t(digit));
        written += 3;
    }
    return written;
}

void dehex(const Cell* text, Cell* out) {
    std::string utf8 = string::to_utf8(text);
    for (size_t i = 0; i < utf8.size();) {
        int byte = hex_pair(utf8, i);
        if (byte >= 0) {
            int n = unicode::utf8_seq_length(uint8_t(byte));
            if (n <= 1) {
                string::append_char(string::node_of(out), uint32_t(byte));
                i += 3;
                continue;
            }
            uint8_t sequence[4] = {uint8_t(byte)};
            int k = 1;
            for (; k < n && hex_pair(utf8, i + 3 * size_t(k)) >= 0; ++k)
                sequence[k] = uint8_t(hex_pair(utf8, i + 3 * size_t(k)));
            if (k == n) {
                string::append_char(string::node_of(out), decode_sequence(sequence, n));
                i += 3 * size_t(n);
                continue;
            }
        }
        auto* p = reinterpret_cast<const uint8_t*>(utf8.data()) + i;
        unicode::Decoded d = unicode::decode_utf8_char(p, reinterpret_cast<const uint8_t*>(utf8.data()) + utf8.size());
        string::append_char(string::node_of(out), d.status == unicode::Status::ok ? d.code_point : unicode::REPLACEMENT_CHAR);
        i += d.length;
    }
}

}  // namespace vyn::url
