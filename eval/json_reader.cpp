// The fast JSON reader behind load-json: one pass over the text that builds blocks, maps,
// strings and numbers as the parse rules of json-parser do. It gives up (none) on any text the
// rules would refuse or decide otherwise (invalid text, a high surrogate without its low half,
// nesting deeper than it goes), and load-json then runs the rules, which give the error with its
// position. Whether a key becomes a word is asked of json-parser's own key-of, once per key text.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/hex_digit.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/string.hpp"
#include "eval/json.hpp"
#include "eval/native_support.hpp"

namespace vyn::json {
namespace {

// The text is left to the parse rules.
struct GiveUp {};

// Deeper nesting goes to the parse rules, which refuse what overflows them.
constexpr int MAX_DEPTH = 400;
// A container's first room, as the rules make it.
constexpr int64_t FIRST_ROOM = 8;

bool is_digit(uint32_t c) { return c - '0' < 10u; }

void append(Cell* block, const Cell& value) { block::vs_append(block, &value); }

// A float as the lexer reads one.
Cell float_of(std::string_view text) {
    if (!tokenizer::float_syntax_ok(text)) throw GiveUp{};
    tokenizer::FloatScan f = tokenizer::read_float(text, 0);
    if (f.error) throw GiveUp{};
    return float_cell(f.value);
}

// An integer as the lexer reads one: up to 10 digits within 32 bits, else a float.
Cell integer_or_float(std::string_view text) {
    const bool negative = text[0] == '-';
    const std::string_view digits = text.substr(negative ? 1 : 0);
    if (digits.size() <= 10) {
        int64_t value = 0;
        for (char c : digits) value = value * 10 + (c - '0');
        if (value <= int64_t(INT32_MAX) + (negative ? 1 : 0)) {
            return integer_cell(int32_t(negative ? -value : value));
        }
    }
    return float_of(text);
}

template <typename Unit>
class Reader {
public:
    Reader(const std::vector<Unit>& text, const Cell& key_of)
        : p_(text.data()), end_(text.data() + text.size()), key_of_(key_of) {}

    // The one value of the whole text, appended to `out`.
    void read_document(Cell* out) {
        skip_blanks();
        read_value(out);
        skip_blanks();
        if (p_ != end_) throw GiveUp{};
    }

private:
    const Unit* p_;
    const Unit* end_;
    Rooted key_of_;
    int depth_ = 0;
    std::u32string chars_;
    std::string number_;
    // What each key text became: a word, or none when it stays a string.
    std::unordered_map<std::u32string, Cell> keys_;

    uint32_t peek() const { return p_ < end_ ? uint32_t(*p_) : 0xFFFFFFFF; }

    void expect(uint32_t c) {
        if (peek() != c) throw GiveUp{};
        ++p_;
    }

    void skip_blanks() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) ++p_;
    }

    bool skip_literal(std::string_view word) {
        if (size_t(end_ - p_) < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (uint32_t(p_[i]) != uint8_t(word[i])) return false;
        }
        p_ += word.size();
        return true;
    }

    void read_value(Cell* into) {
        switch (peek()) {
        case '{': return read_object(into);
        case '[': return read_array(into);
        case '"': return read_string_value(into);
        case 't':
            if (!skip_literal("true")) throw GiveUp{};
            return append(into, logic_cell(true));
        case 'f':
            if (!skip_literal("false")) throw GiveUp{};
            return append(into, logic_cell(false));
        case 'n':
            if (!skip_literal("null")) throw GiveUp{};
            return append(into, none_cell());
        default: return append(into, read_number());
        }
    }

    void enter() {
        if (++depth_ > MAX_DEPTH || roots::nearly_full()) throw GiveUp{};
    }

    // Members up to the closing character, `read_member` reading each one into `items`.
    template <typename ReadMember>
    void read_members(Cell* items, uint32_t close, ReadMember read_member) {
        ++p_;
        skip_blanks();
        if (peek() == close) {
            ++p_;
            return;
        }
        for (;;) {
            read_member(items);
            skip_blanks();
            if (peek() == close) break;
            expect(',');
            skip_blanks();
        }
        ++p_;
    }

    void read_array(Cell* into) {
        enter();
        Rooted items;
        block::make_at(items.get(), FIRST_ROOM);
        read_members(items.get(), ']', [this](Cell* items) { read_value(items); });
        append(into, *items);
        --depth_;
    }

    void read_object(Cell* into) {
        enter();
        Rooted pairs;
        block::make_at(pairs.get(), FIRST_ROOM);
        read_members(pairs.get(), '}', [this](Cell* pairs) {
            read_key(pairs);
            skip_blanks();
            expect(':');
            skip_blanks();
            read_value(pairs);
        });
        Rooted map;
        datatype::handler<A_MAKE>(TYPE_MAP)(map.get(), pairs.get(), TYPE_MAP);
        append(into, *map);
        --depth_;
    }

    void read_string_value(Cell* into) {
        read_chars();
        append(into, string_of(chars_));
    }

    void read_key(Cell* pairs) {
        if (peek() != '"') throw GiveUp{};
        read_chars();
        auto known = keys_.find(chars_);
        Cell key = known == keys_.end() ? keys_.emplace(chars_, key_word_of(chars_)).first->second : known->second;
        append(pairs, key.is(TYPE_NONE) ? string_of(chars_) : key);
    }

    // What key-of makes of the text: a word, or none for a text that stays a string.
    Cell key_word_of(std::u32string_view text) {
        Rooted arguments;
        block::make_at(arguments.get(), 1);
        append(arguments.get(), string_of(text));
        natives::call_with(*key_of_, *arguments, nullptr);
        const Cell key = *stack::base;
        return key.is(TYPE_STRING) ? none_cell() : key;
    }

    // The characters of the string at the cursor (its quotes read), escapes decoded.
    void read_chars() {
        chars_.clear();
        ++p_;
        for (;;) {
            if (p_ == end_) throw GiveUp{};
            const uint32_t c = uint32_t(*p_++);
            if (c == '"') return;
            if (c < 0x20) throw GiveUp{};
            if (c != '\\') {
                chars_.push_back(char32_t(c));
                continue;
            }
            chars_.push_back(char32_t(read_escape()));
        }
    }

    uint32_t read_escape() {
        if (p_ == end_) throw GiveUp{};
        switch (uint32_t(*p_++)) {
        case '"': return '"';
        case '\\': return '\\';
        case '/': return '/';
        case 'b': return 0x08;
        case 'f': return 0x0C;
        case 'n': return 0x0A;
        case 'r': return 0x0D;
        case 't': return 0x09;
        case 'u': break;
        default: throw GiveUp{};
        }
        const uint32_t cp = read_hex4();
        if (cp < HIGH_SURROGATE_FIRST || cp >= LOW_SURROGATE_FIRST) return cp;
        if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u') throw GiveUp{};
        p_ += 2;
        const uint32_t low = read_hex4();
        if (low < LOW_SURROGATE_FIRST || low >= SURROGATE_END) throw GiveUp{};
        return 0x10000 + (cp - HIGH_SURROGATE_FIRST) * 1024 + (low - LOW_SURROGATE_FIRST);
    }

    uint32_t read_hex4() {
        if (end_ - p_ < 4) throw GiveUp{};
        uint32_t cp = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hex_digit(uint32_t(*p_++));
            if (digit < 0) throw GiveUp{};
            cp = cp << 4 | uint32_t(digit);
        }
        return cp;
    }

    void take_digits() {
        const Unit* first = p_;
        while (p_ < end_ && is_digit(*p_)) number_.push_back(char(*p_++));
        if (p_ == first) throw GiveUp{};
    }

    // A number: an optional minus, an integer part without leading zeros, then an optional
    // fraction and exponent; integers read as the lexer reads them.
    Cell read_number() {
        number_.clear();
        if (peek() == '-') number_.push_back(char(*p_++));
        if (peek() == '0') number_.push_back(char(*p_++));
        else take_digits();
        bool whole = true;
        if (peek() == '.') {
            number_.push_back(char(*p_++));
            take_digits();
            whole = false;
        }
        if ((peek() | 0x20) == 'e') {
            number_.push_back(char(*p_++));
            if (peek() == '+' || peek() == '-') number_.push_back(char(*p_++));
            take_digits();
            whole = false;
        }
        return whole ? integer_or_float(number_) : float_of(number_);
    }
};

template <typename Unit>
std::vector<Unit> units_of(const string::View& view) {
    std::vector<Unit> text(view.length);
    for (uint32_t i = 0; i < view.length; ++i) text[i] = Unit(view.at(i));
    return text;
}

template <typename Unit>
bool read_text(const string::View& view, const Cell& key_of, Cell* out) {
    const std::vector<Unit> text = units_of<Unit>(view);
    try {
        Reader<Unit>(text, key_of).read_document(out);
        return true;
    } catch (const GiveUp&) {
        return false;
    }
}

}  // namespace

Cell string_of(std::u32string_view text) {
    uint32_t widest = 0;
    for (char32_t cp : text) widest = std::max(widest, uint32_t(cp));
    const int unit = string::unit_for_append(widest);
    Cell s = string::make(uint32_t(text.size()), unit);
    Series* b = string::buffer_of(&s);
    uint8_t* p = b->tail_ptr();
    for (char32_t cp : text) {
        string::put_char(p, unit, uint32_t(cp));
        p += unit;
    }
    b->tail += uint32_t(text.size()) * uint32_t(unit);
    return s;
}

void read(int32_t) {
    Rooted text(natives::args()[0]);
    Rooted key_of(natives::args()[1]);
    Rooted out;
    block::make_at(out.get(), 1);
    const string::View view = string::view_of(text.get());
    bool done = view.unit == 1   ? read_text<uint8_t>(view, *key_of, out.get())
                : view.unit == 2 ? read_text<uint16_t>(view, *key_of, out.get())
                                 : read_text<uint32_t>(view, *key_of, out.get());
    stack::set_result(done ? *out : none_cell());
}

}  // namespace vyn::json
