// Token loaders: each checks a finished token's text and, when loading, pushes its value onto
// the scan stack. Strings are decoded straight into a buffer sized from the token (one character
// per byte at most) in the unit the token's flags call for, so a token allocates only its value.
// Invariant: nothing allocates between sizing a string buffer and setting its tail.
#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "core/context.hpp"
#include "core/hex_digit.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/utf8.hpp"
#include "datatypes/money.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/string.hpp"
#include "eval/lexer_internal.hpp"

namespace vyn::lexer {
namespace {

using Bytes = const uint8_t*;

enum class Decode { ok, malformed, unstorable };

bool equal_ignoring_case(std::string_view text, std::string_view name) {
    if (text.size() != name.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char a = text[i], b = name[i];
        if (a >= 'A' && a <= 'Z') a = char(a + 32);
        if (b >= 'A' && b <= 'Z') b = char(b + 32);
        if (a != b) return false;
    }
    return true;
}

std::string_view text_of(Bytes begin, Bytes end) {
    return {reinterpret_cast<const char*>(begin), size_t(end - begin)};
}

struct NamedEscape {
    std::string_view name;
    char32_t code;
};
constexpr NamedEscape named_escapes[] = {{"null", 0},  {"back", 8}, {"tab", 9},  {"line", 10},
                                         {"page", 12}, {"esc", 27}, {"del", 127}};

// `^(...)` after the caret and the parenthesis: 1 to 6 hexadecimal digits, or a name.
Decode read_paren_escape(Bytes& p, Bytes end, char32_t& cp) {
    Bytes digits = p;
    char32_t value = 0;
    while (p < end && p - digits < 7 && hex_digit(*p) >= 0) value = value * 16 + char32_t(hex_digit(*p++));
    if (p > digits && p - digits <= 6 && p < end && *p == ')') {
        ++p;
        cp = value;
        if (value > unicode::MAX_CODE_POINT || (value >= 0xD800 && value <= 0xDFFF)) return Decode::unstorable;
        return Decode::ok;
    }
    Bytes close = digits;
    while (close < end && *close != ')') ++close;
    if (close == end) return Decode::malformed;
    for (const NamedEscape& e : named_escapes) {
        if (equal_ignoring_case(text_of(digits, close), e.name)) {
            p = close + 1;
            cp = e.code;
            return Decode::ok;
        }
    }
    return Decode::malformed;
}

char32_t single_escape(char32_t c) {
    switch (c) {
    case '-': return '\t';
    case '/': return '\n';
    case '~': return 127;
    case '"':
    case '^':
    case '{':
    case '}': return c;
    default: break;
    }
    if (c >= 'a' && c <= 'z') return c - 96;
    if (c >= '@' && c <= '_') return c - 64;
    return c;
}

Decode read_char(Bytes& p, Bytes end, char32_t& cp) {
    if (*p < 0x80) {
        cp = *p++;
        return Decode::ok;
    }
    unicode::Decoded d = unicode::decode_utf8_char(p, end);
    if (d.status != unicode::Status::ok) return Decode::malformed;
    cp = d.code_point;
    p += d.length;
    return Decode::ok;
}

// One character of text: a UTF-8 sequence, or with escapes on, a caret escape.
Decode read_text_char(Bytes& p, Bytes end, bool escapes, char32_t& cp) {
    if (!escapes || *p != '^') return read_char(p, end, cp);
    if (++p == end) return Decode::malformed;
    if (*p == '(') return read_paren_escape(++p, end, cp);
    Decode d = read_char(p, end, cp);
    cp = single_escape(cp);
    return d;
}

template <class Put>
Decode decode_text(Bytes p, Bytes end, bool escapes, Put put) {
    while (p < end) {
        char32_t cp;
        Decode d = read_text_char(p, end, escapes, cp);
        if (d != Decode::ok) return d;
        put(cp);
    }
    return Decode::ok;
}

// The unit from the token's lead bytes, widened for `^(...)` escapes of more than 2 or 4 digits.
int unit_for_text(Bytes p, Bytes end, uint32_t flags) {
    int unit = unit_of_flags(flags);
    if (!(flags & FLAG_CARET) || unit == 4) return unit;
    for (; p + 1 < end; ++p) {
        if (p[0] != '^' || p[1] != '(') continue;
        Bytes digits = p + 2;
        Bytes q = digits;
        while (q < end && hex_digit(*q) >= 0) ++q;
        if (q - digits > 4) return 4;
        if (q - digits > 2) unit = 2;
    }
    return unit;
}

bool is_ascii(Bytes p, Bytes end) {
    uint8_t any = 0;
    for (; p < end; ++p) any |= *p;
    return any < 0x80;
}

// Decodes text into a new string of the given type, or only checks it when not loading.
TypeId load_text(Lexer& lx, Bytes begin, Bytes end, uint32_t flags, TypeId type, bool escapes) {
    Decode status;
    if (!lx.loading()) {
        status = decode_text(begin, end, escapes, [](char32_t) {});
    } else {
        int unit = escapes ? unit_for_text(begin, end, flags) : unit_of_flags(flags);
        uint32_t room = uint32_t(end - begin);
        Cell s = string::make(room, unit);
        Series* b = string::buffer_of(&s);
        uint8_t* out = b->head_ptr();
        if (unit == 1 && !(escapes && (flags & FLAG_CARET)) && is_ascii(begin, end)) {
            status = Decode::ok;
            std::memcpy(out, begin, room);
            out += room;
        } else {
            status = decode_text(begin, end, escapes, [&out, unit](char32_t cp) {
                string::put_char(out, unit, cp);
                out += unit;
            });
        }
        b->tail = b->head + uint32_t(out - b->head_ptr());
        s.set_type(type);
        if (status == Decode::ok) lx.push_value(s);
    }
    if (status == Decode::unstorable) lx.bad_char();
    if (status == Decode::malformed) lx.invalid(type);
    return type;
}

// The lead bytes of decoded text, as the class table would flag them.
uint32_t flags_of_bytes(std::string_view bytes) {
    uint32_t flags = 0;
    for (char c : bytes) flags |= char_classes[uint8_t(c)] & FLAG_NON_ASCII;
    return flags;
}

// File and URL text: %XX sequences of two hexadecimal digits are decoded to bytes first.
TypeId load_dehexed(Lexer& lx, Bytes begin, Bytes end, TypeId type) {
    if (!std::memchr(begin, '%', size_t(end - begin))) return load_text(lx, begin, end, lx.flags, type, false);
    thread_local std::string bytes;
    bytes.clear();
    for (Bytes p = begin; p < end; ++p) {
        if (*p == '%' && end - p > 2 && hex_digit(p[1]) >= 0 && hex_digit(p[2]) >= 0) {
            bytes.push_back(char(hex_digit(p[1]) * 16 + hex_digit(p[2])));
            p += 2;
        } else bytes.push_back(char(*p));
    }
    auto* decoded = reinterpret_cast<Bytes>(bytes.data());
    return load_text(lx, decoded, decoded + bytes.size(), flags_of_bytes(bytes), type, false);
}

// Words. A name is checked as UTF-8 before it is interned.
bool valid_name(std::string_view name) {
    auto* p = reinterpret_cast<Bytes>(name.data());
    Bytes end = p + name.size();
    while (p < end) {
        char32_t cp;
        if (read_char(p, end, cp) != Decode::ok) return false;
    }
    return true;
}

TypeId load_word_named(Lexer& lx, TypeId type, std::string_view name) {
    if (name.empty() || !valid_name(name)) lx.invalid(type);
    if (lx.loading()) lx.push_value(make_word(type, name));
    return type;
}

TypeId load_word(Lexer& lx) {
    std::string_view t = lx.token();
    bool set = t.size() > 1 && t.back() == ':';
    if (t.front() == '\'') {
        if (set) lx.invalid(TYPE_LIT_WORD);
        return load_word_named(lx, TYPE_LIT_WORD, t.substr(1));
    }
    if (t.front() == ':') {
        if (set) lx.invalid(TYPE_WORD);
        return load_word_named(lx, TYPE_GET_WORD, t.substr(1));
    }
    if (set) return load_word_named(lx, TYPE_SET_WORD, t.substr(0, t.size() - 1));
    return load_word_named(lx, TYPE_WORD, t);
}

// Integers: more than 10 digits, or a value beyond 32 bits, load as a float instead.
struct Digits {
    int64_t value;
    int count;
    bool negative;
    bool doubled_separator;
};

Digits read_digits(std::string_view t) {
    Digits d{0, 0, false, false};
    size_t i = 0;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        d.negative = t[0] == '-';
        i = 1;
    }
    for (; i < t.size(); ++i) {
        if (t[i] == '\'') {
            if (i + 1 < t.size() && t[i + 1] == '\'') d.doubled_separator = true;
            continue;
        }
        if (t[i] < '0' || t[i] > '9') {
            d.count = -1;
            return d;
        }
        if (++d.count <= 10) d.value = d.value * 10 + (t[i] - '0');
    }
    return d;
}

bool fits_integer(const Digits& d) {
    return d.count <= 10 && (d.negative ? d.value <= int64_t(INT32_MAX) + 1 : d.value <= INT32_MAX);
}

TypeId load_float_text(Lexer& lx, std::string_view text, TypeId type, int exponent_adjust) {
    if (!tokenizer::float_syntax_ok(text)) lx.invalid(type);
    tokenizer::FloatScan f = tokenizer::read_float(text, exponent_adjust);
    if (f.error) lx.invalid(type);
    if (lx.loading()) lx.push_value(float_cell(f.value, type));
    return type;
}

TypeId load_integer(Lexer& lx) {
    std::string_view t = lx.token();
    Digits d = read_digits(t);
    if (d.count <= 0 || d.doubled_separator) lx.invalid(TYPE_INTEGER);
    if (!fits_integer(d)) return load_float_text(lx, t, TYPE_FLOAT, 0);
    if (lx.loading()) lx.push_value(integer_cell(int32_t(d.negative ? -d.value : d.value)));
    return TYPE_INTEGER;
}

TypeId load_hex(Lexer& lx) {
    std::string_view t = lx.token();
    t.remove_suffix(1);
    if (t.size() == 1 && (t[0] < '0' || t[0] > '9')) lx.invalid(TYPE_WORD);
    if (t.size() < 2 || t.size() > 8) lx.invalid(TYPE_INTEGER);
    uint32_t value = 0;
    for (char c : t) {
        int v = hex_digit(uint8_t(c));
        if (v < 0) lx.invalid(TYPE_INTEGER);
        value = value * 16 + uint32_t(v);
    }
    if (lx.loading()) lx.push_value(integer_cell(int32_t(value)));
    return TYPE_INTEGER;
}

TypeId load_percent(Lexer& lx) {
    std::string_view t = lx.token();
    t.remove_suffix(1);
    return load_float_text(lx, t, TYPE_PERCENT, -2);
}

// `1.#INF`, `-1.#INF` and `1.#NaN`, in any case.
TypeId load_special_float(Lexer& lx) {
    std::string_view t = lx.token();
    bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    if (t.size() != 6 || t.substr(0, 3) != "1.#") lx.invalid(TYPE_FLOAT);
    double value;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    if (equal_ignoring_case(t.substr(3), "nan")) value = std::numeric_limits<double>::quiet_NaN();
    else if (equal_ignoring_case(t.substr(3), "inf")) value = negative ? -infinity : infinity;
    else lx.invalid(TYPE_FLOAT);
    if (lx.loading()) lx.push_value(float_cell(value));
    return TYPE_FLOAT;
}

TypeId load_tuple(Lexer& lx) {
    Cell t;
    if (tokenizer::scan_tuple(tokenizer::Text::bytes(lx.token()), &t) != tokenizer::SCAN_OK) lx.invalid(TYPE_TUPLE);
    if (lx.loading()) lx.push_value(t);
    return TYPE_TUPLE;
}

int32_t pair_part(Lexer& lx, std::string_view part) {
    Digits d = read_digits(part);
    if (d.count <= 0 || d.doubled_separator || !fits_integer(d)) lx.invalid(TYPE_PAIR);
    return int32_t(d.negative ? -d.value : d.value);
}

TypeId load_pair(Lexer& lx) {
    std::string_view t = lx.token();
    size_t x = t.find_first_of("xX");
    if (t.find('.') != std::string_view::npos || x == std::string_view::npos) lx.invalid(TYPE_PAIR);
    int32_t a = pair_part(lx, t.substr(0, x));
    int32_t b = pair_part(lx, t.substr(x + 1));
    if (lx.loading()) lx.push_value(make_cell(TYPE_PAIR, 0, uint32_t(a), uint32_t(b)));
    return TYPE_PAIR;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Points: `(x, y)` or `(x, y, z)`, blanks around the numbers, each stored as a 32-bit float.
TypeId load_point(Lexer& lx) {
    std::string_view t = lx.token();
    t = t.substr(1, t.size() - 2);
    size_t commas = size_t(std::count(t.begin(), t.end(), ','));
    TypeId type = commas == 2 ? TYPE_POINT3D : TYPE_POINT2D;
    if (commas < 1 || commas > 2) lx.invalid(type);
    float coords[3];
    int count = 0;
    for (size_t comma = 0; comma != std::string_view::npos; t.remove_prefix(comma + 1)) {
        comma = t.find(',');
        std::string_view part = trim_blanks(t.substr(0, comma));
        if (!tokenizer::float_syntax_ok(part)) lx.invalid(type);
        tokenizer::FloatScan f = tokenizer::read_float(part, 0);
        if (f.error) lx.invalid(type);
        coords[count++] = float(f.value);
        if (comma == std::string_view::npos) break;
    }
    if (lx.loading()) {
        uint32_t slots[3] = {0, 0, 0};
        std::memcpy(slots, coords, sizeof(float) * size_t(count));
        lx.push_value(make_cell(type, slots[0], slots[1], slots[2]));
    }
    return type;
}

TypeId load_char(Lexer& lx) {
    Bytes p = lx.token_start + 2;
    Bytes end = lx.token_end - 1;
    char32_t cp = 0;
    if (p == end) lx.invalid(TYPE_CHAR);
    Decode d = read_text_char(p, end, true, cp);
    if (d != Decode::ok || p != end) lx.invalid(TYPE_CHAR);
    if (lx.loading()) lx.push_value(char_cell(cp));
    return TYPE_CHAR;
}

TypeId load_file(Lexer& lx) {
    Bytes begin = lx.token_start + 1;
    if (*begin == '"') return load_text(lx, begin + 1, lx.token_end - 1, lx.flags, TYPE_FILE, true);
    return load_dehexed(lx, begin, lx.token_end, TYPE_FILE);
}

TypeId load_url(Lexer& lx) {
    uint8_t first = *lx.token_start;
    if (first == ':') lx.invalid(TYPE_GET_WORD);
    if (first == '\'') lx.invalid(TYPE_LIT_WORD);
    return load_dehexed(lx, lx.token_start, lx.token_end, TYPE_URL);
}

TypeId load_tag(Lexer& lx) {
    if (*lx.token_start != '<') lx.invalid(TYPE_TAG);
    return load_text(lx, lx.token_start + 1, lx.token_end - 1, lx.flags, TYPE_TAG, false);
}

// `%{...}%` with n `%` on each side; the core found the closing `}` followed by n `%`.
TypeId load_raw_string(Lexer& lx) {
    Bytes brace = lx.token_start;
    while (*brace == '%') ++brace;
    size_t opening = size_t(brace - lx.token_start);
    Bytes close = lx.token_end;
    while (close > brace && close[-1] == '%') --close;
    if (size_t(lx.token_end - close) > opening) lx.invalid(TYPE_STRING);
    return load_text(lx, brace + 1, close - 1, lx.flags, TYPE_STRING, false);
}

// Binary text: base 16 (`#{...}` or `16#{...}`), 2 or 64; blanks, line ends and `;` comments
// between the digits are skipped.
template <class Put>
bool decode_binary(int base, Bytes p, Bytes end, Put put) {
    int bits_per_digit = base == 16 ? 4 : base == 2 ? 1 : 6;
    uint32_t acc = 0;
    int bits = 0;
    int padding = 0;
    for (; p < end; ++p) {
        uint8_t c = *p;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == ';') {
            while (p + 1 < end && p[1] != '\n') ++p;
            continue;
        }
        int v;
        if (base == 64 && c == '=') {
            ++padding;
            continue;
        }
        if (base == 16) v = hex_digit(c);
        else if (base == 2) v = c == '0' ? 0 : c == '1' ? 1 : -1;
        else if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else v = c == '+' ? 62 : c == '/' ? 63 : -1;
        if (v < 0 || padding) return false;
        acc = (acc << bits_per_digit) | uint32_t(v);
        bits += bits_per_digit;
        if (bits >= 8) {
            bits -= 8;
            put(uint8_t(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    // Whole bytes only; base 64 may end with the 2 or 4 spare bits of a padded group.
    if (base == 64) return acc == 0 && (bits == 0 || bits == 2 || bits == 4) && padding <= 2;
    return bits == 0;
}

TypeId load_binary(Lexer& lx) {
    std::string_view t = lx.token();
    size_t hash = t.find('#');
    int base = 16;
    if (hash > 0) {
        std::string_view prefix = t.substr(0, hash);
        base = prefix == "16" ? 16 : prefix == "2" ? 2 : prefix == "64" ? 64 : 0;
        if (!base) lx.invalid(TYPE_BINARY);
    }
    Bytes begin = lx.token_start + hash + 2;
    Bytes end = lx.token_end - 1;
    bool ok;
    if (!lx.loading()) ok = decode_binary(base, begin, end, [](uint8_t) {});
    else {
        NodeId node = memory::alloc_bytes(uint64_t(end - begin) / (base == 2 ? 8 : 1) + 1);
        Series* b = memory::series_of(node);
        uint8_t* out = b->head_ptr();
        ok = decode_binary(base, begin, end, [&out](uint8_t byte) { *out++ = byte; });
        b->tail = b->head + uint32_t(out - b->head_ptr());
        if (ok) lx.push_value(make_cell(TYPE_BINARY, 0, node, 0));
    }
    if (!ok) lx.invalid(TYPE_BINARY);
    return TYPE_BINARY;
}

}  // namespace

TypeId load_string_text(Lexer& lx, const uint8_t* begin, const uint8_t* end, uint32_t flags) {
    return load_text(lx, begin, end, flags, TYPE_STRING, true);
}

// Words are bound to the global context (added there when missing); an issue keeps the global
// context with no index, and a refinement, never looked up, has no context.
Cell make_word(TypeId type, std::string_view name) {
    uint32_t symbol = symbol::make(name);
    if (type == TYPE_REFINEMENT) return make_cell(TYPE_REFINEMENT, 0, symbol, uint32_t(-1));
    if (type == TYPE_ISSUE) return make_cell(TYPE_ISSUE, context::global(), symbol, uint32_t(-1));
    Cell word = context::add_global_word(symbol, true, true);
    word.set_type(type);
    return word;
}

void load_path_head(Lexer& lx, std::string_view name) { load_word_named(lx, TYPE_WORD, name); }

// `#(name)`: the construction names, then the names of the registered datatypes.
TypeId load_construct(Lexer& lx) {
    std::string_view name = lx.token();
    name = name.substr(2, name.size() - 3);
    Cell value;
    if (equal_ignoring_case(name, "true")) value = logic_cell(true);
    else if (equal_ignoring_case(name, "false")) value = logic_cell(false);
    else if (equal_ignoring_case(name, "none")) value = none_cell();
    else if (equal_ignoring_case(name, "unset")) value = unset_cell();
    else {
        value = none_cell();
        for (int t = 1; t < TYPE_TABLE_SIZE && value.is(TYPE_NONE); ++t)
            if (datatype::registered(TypeId(t)) && equal_ignoring_case(name, datatype::name_of(TypeId(t))))
                value = datatype_cell(TypeId(t));
        if (value.is(TYPE_NONE)) lx.malconstruct();
    }
    if (lx.loading()) lx.push_value(value);
    return value.type();
}

TypeId load_money(Lexer& lx) {
    std::optional<Cell> money = money::scan(lx.token(), money::Syntax::literal);
    if (!money) lx.invalid(TYPE_MONEY);
    if (lx.loading()) lx.push_value(*money);
    return TYPE_MONEY;
}

TypeId load_value(Lexer& lx) {
    switch (lx.final_state) {
    case T_STRING: return load_text(lx, lx.token_start + 1, lx.token_end - 1, lx.flags, TYPE_STRING, true);
    case T_WORD: return load_word(lx);
    case T_ISSUE: return load_word_named(lx, TYPE_ISSUE, lx.token().substr(1));
    case T_REFINEMENT: return load_word_named(lx, TYPE_REFINEMENT, lx.token().substr(1));
    case T_INTEGER: return load_integer(lx);
    case T_HEX: return load_hex(lx);
    case T_FLOAT: return load_float_text(lx, lx.token(), TYPE_FLOAT, 0);
    case T_PERCENT: return load_percent(lx);
    case T_FLOAT_SPECIAL: return load_special_float(lx);
    case T_TUPLE: return load_tuple(lx);
    case T_PAIR: return load_pair(lx);
    case T_POINT: return load_point(lx);
    case T_CHAR: return load_char(lx);
    case T_FILE: return load_file(lx);
    case T_URL: return load_url(lx);
    case T_EMAIL: return load_text(lx, lx.token_start, lx.token_end, lx.flags, TYPE_EMAIL, false);
    case T_TAG: return load_tag(lx);
    case T_REF: return load_text(lx, lx.token_start + 1, lx.token_end, lx.flags, TYPE_REF, false);
    case T_RAW_STRING: return load_raw_string(lx);
    case T_BINARY: return load_binary(lx);
    case T_TIME: return load_time(lx);
    case T_MONEY: return load_money(lx);
    case T_DATE: return load_date(lx);
    default:
        lx.invalid(lx.token_type);
    }
}

}  // namespace vyn::lexer
