// The scanner core: the token loop over the state table, the scan stack with its series markers,
// paths, braced strings, point literals, trace events, syntax errors and the transcode entry.
// Invariant: the scan stack only grows by push and only shrinks back to a marker or to a scan's
// base; cells are addressed by index because the stack's storage moves when it grows.
#include "eval/lexer.hpp"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/utf8.hpp"
#include "datatypes/block.hpp"
#include "datatypes/map.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/string.hpp"
#include "eval/lexer_internal.hpp"

namespace vyn::lexer {
namespace {

// Open series are marker cells: type id 0 (so the collector skips them), the series type and a
// comma count in slot 1, the previous marker's index in slot 2 (NO_MARKER for none), and the
// byte offset of the opening character in slot 3.
std::vector<Cell> scan_stack;
Lexer* running = nullptr;

constexpr uint32_t MARKER_TYPE_MASK = 0xFF;
constexpr uint32_t MARKER_COMMA_SHIFT = 8;
constexpr size_t EXCERPT_MAX = 30;

void stack_push(const Cell& cell) {
    try {
        scan_stack.push_back(cell);
    } catch (const std::bad_alloc&) {
        fire(err::no_memory);
    }
}

uint32_t stack_top() { return uint32_t(scan_stack.size()); }

// Keeps allocation from collecting for the guard's lifetime.
class PausedCollector {
public:
    PausedCollector() : was_enabled_(collector::enabled()) { collector::set_enabled(false); }
    ~PausedCollector() { collector::set_enabled(was_enabled_); }
    PausedCollector(const PausedCollector&) = delete;
    PausedCollector& operator=(const PausedCollector&) = delete;

private:
    bool was_enabled_;
};

void mark_working_cells() { collector::mark_cells(scan_stack.data(), scan_stack.data() + scan_stack.size()); }

TypeId marker_type(uint32_t marker) { return TypeId(scan_stack[marker].s1 & MARKER_TYPE_MASK); }

bool is_path_type(TypeId t) {
    return t == TYPE_PATH || t == TYPE_LIT_PATH || t == TYPE_GET_PATH || t == TYPE_SET_PATH;
}

bool is_line_break(const uint8_t* p, const uint8_t* end) {
    return *p == '\n' || (*p == '\r' && (p + 1 == end || p[1] != '\n'));
}

bool is_path_delimiter(uint8_t byte) {
    switch (class_of(byte)) {
    case C_BLANK:
    case C_LF:
    case C_LBRACKET:
    case C_RBRACKET:
    case C_LPAREN:
    case C_RPAREN:
    case C_LBRACE:
    case C_DQUOTE:
    case C_COLON:
    case C_LESS:
    case C_SEMICOLON:
    case C_OTHER:
    case C_BAD:
    case C_END: return true;
    default: return false;
    }
}

// After a path's `/`: not the input's end, nor a `:` that starts no get-word.
bool element_follows(const uint8_t* p, const uint8_t* end) {
    if (p == end) return false;
    if (*p != ':') return true;
    return p + 1 < end && transitions[S_PATH_GET_WORD][class_of(p[1])] != T_ERROR;
}

// Tokens whose final byte is the one that ended the state machine's run.
bool takes_its_delimiter(uint8_t final_state, uint8_t prev_state) {
    switch (final_state) {
    case T_BLOCK_OPEN:
    case T_BLOCK_CLOSE:
    case T_PAREN_OPEN:
    case T_PAREN_CLOSE:
    case T_BRACE_OPEN:
    case T_BRACE_CLOSE:
    case T_MAP_OPEN:
    case T_PATH:
    case T_CONSTRUCT:
    case T_COMMA:
    case T_STRING:
    case T_CHAR:
    case T_BINARY:
    case T_POINT:
    case T_TAG:
    case T_PERCENT: return true;
    case T_FILE: return prev_state == S_QUOTED_FILE;
    default: return false;
    }
}

// Characters allowed between `(` and the comma of a point literal.
bool is_point_char(uint8_t c) {
    if (c >= '0' && c <= '9') return true;
    switch (c) {
    case '\t':
    case ' ':
    case '#':
    case '+':
    case '-':
    case '.':
    case 'A':
    case 'E':
    case 'F':
    case 'I':
    case 'N':
    case 'a':
    case 'e':
    case 'f':
    case 'i':
    case 'n': return true;
    default: return false;
    }
}

Cell make_series(TypeId type, const Cell* cells, uint32_t count) {
    NodeId node = memory::alloc_cells(count ? count : 1);
    Series* s = memory::series_of(node);
    if (count) std::memcpy(s->data(), cells, size_t(count) * sizeof(Cell));
    s->head = 0;
    s->tail = count * uint32_t(sizeof(Cell));
    return make_cell(type, 0, node, 0);
}



}  // namespace

std::span<const Cell> working_cells() { return scan_stack; }

Lexer::Lexer(const uint8_t* in, size_t length, const ScanOptions& options, bool chars)
    : parent(running),
      base(stack_top()),
      input(in),
      end(in + length),
      cursor(in),
      mode(options.mode),
      one_value(options.one_value),
      tracer(options.tracer && options.tracer->callback ? options.tracer : nullptr),
      char_positions(chars),
      origin(options.origin),
      counted_at(in) {
    if (!parent) collector::add_root(mark_working_cells);
    running = this;
}

Lexer::~Lexer() {
    scan_stack.resize(base);
    running = parent;
}

void Lexer::push_value(Cell value) {
    if (breaks > 0) value.set_flag(FLAG_NEW_LINE);
    else value.clear_flag(FLAG_NEW_LINE);
    stack_push(value);
}

// A word that starts with Unicode blanks is scanned again from the first other character.
void Lexer::read_token() {
    uint8_t start_state = entry;
    do run_states(start_state);
    while ((final_state == T_WORD || final_state == T_PATH) && (flags & FLAG_NON_ASCII) && split_at_unicode_blanks());
}

// The state machine's run over one token: leading blanks, then bytes until a final state. The
// byte that led to the final state is not consumed.
void Lexer::run_states(uint8_t state) {
    const uint8_t* p = cursor;
    uint32_t token_flags = 0;
    const uint8_t* first = p;
    uint8_t next;
    for (;;) {
        uint32_t entry_bits = p < end ? char_classes[*p] : uint32_t(C_END);
        uint8_t cls = uint8_t(entry_bits & CLASS_MASK);
        next = transitions[state][cls];
        if (next >= FINAL_FIRST || p == end) {
            stop_class = cls;
            break;
        }
        token_flags |= entry_bits;
        if (cls <= C_LF && is_line_break(p, end)) {
            ++line;
            if (next == S_START) ++breaks;
        }
        if (next == S_START) first = p + 1;
        state = next;
        ++p;
    }
    entry = brace_depth > 0 ? S_BRACED : S_START;
    token_start = first;
    cursor = p;
    prev_state = state;
    final_state = next;
    flags = token_flags & ~CLASS_MASK;
    token_type = state_types[next == T_ERROR ? state : next];
    finish_token();
}

void Lexer::finish_token() {
    if (final_state == T_RAW_STRING || (final_state == T_ERROR && prev_state == S_RAW_CLOSE)) find_raw_string_end();
    if (cursor < end && takes_its_delimiter(final_state, prev_state)) {
        if (is_line_break(cursor, end)) ++line;
        ++cursor;
    }
    if (final_state == T_POINT) token_start = point_start;
    token_end = cursor;
}

// Raw strings: n `%` open, and the first `}` followed by n `%` closes. The state machine stops
// at the first `}%...` run; a shorter run than n is content, so the end is searched from there.
void Lexer::find_raw_string_end() {
    const uint8_t* brace = token_start;
    while (*brace == '%') ++brace;
    size_t opening = size_t(brace - token_start);
    const uint8_t* run = cursor;
    while (run > brace && run[-1] == '%') --run;
    if (size_t(cursor - run) >= opening) return;  // the run ends the string (too long a run is refused later)
    final_state = T_RAW_STRING;
    token_type = TYPE_STRING;
    for (const uint8_t* p = brace + 1; p < end; ++p) {
        if (*p != '}') continue;
        size_t n = 0;
        while (n < opening && p + 1 + n < end && p[1 + n] == '%') ++n;
        if (n == opening) {
            cursor = p + 1 + n;
            return;
        }
    }
    final_state = T_ERROR;
    cursor = end;
}

// Unicode blanks have word bytes, yet separate words like spaces. Leading ones are skipped (true:
// the token must be scanned again after them); a word is cut at the first one inside it.
bool Lexer::split_at_unicode_blanks() {
    bool leading = true;
    for (const uint8_t* p = token_start; p < token_end;) {
        unicode::Decoded d{*p, 1, unicode::Status::ok};
        if (*p >= 0x80) d = unicode::decode_utf8_char(p, token_end);
        if (d.status != unicode::Status::ok) invalid(TYPE_WORD);
        bool blank = is_unicode_blank(d.code_point);
        if (leading && !blank) {
            if (p != token_start) {
                cursor = p;
                return true;
            }
            leading = false;
        } else if (!leading && blank) {
            cursor = token_end = p;
            final_state = T_WORD;
            token_type = TYPE_WORD;
            return false;
        }
        p += d.length;
    }
    if (leading) cursor = token_end;  // blanks only: go on with the next token
    return leading;
}

[[noreturn]] void Lexer::refuse_token() {
    if (prev_state == S_CONSTRUCT) malconstruct();
    if (stop_class == C_BAD) bad_char();
    invalid(token_type);
}

// Every token is announced to a trace (prescan or scan event) before its scanner runs. A refused
// announcement skips the token in prescan mode and skips the loading of a value otherwise; the
// structure (blocks, parens, paths, braced strings) is always followed.
void Lexer::handle_token() {
    switch (final_state) {
    case T_END: at_end(); return;
    case T_ERROR: refuse_token();
    case T_BRACE_OPEN: brace_open(); return;
    case T_BRACE_CLOSE: brace_close(); return;
    case T_CONSTRUCT: handle_value(TYPE_NONE_ID); return;
    default: break;
    }
    if (final_state >= T_STRING) {
        handle_value(token_type);
        return;
    }
    Event announce = mode == Mode::prescan ? EVENT_PRESCAN : EVENT_SCAN;
    if (!send(announce, TYPE_NONE_ID, mode == Mode::prescan ? token_start : token_end) && mode == Mode::prescan) return;
    switch (final_state) {
    case T_BLOCK_OPEN: open_series(TYPE_BLOCK); return;
    case T_MAP_OPEN: open_series(TYPE_MAP); return;
    case T_PAREN_OPEN: open_paren(); return;
    case T_BLOCK_CLOSE: close_series(TYPE_BLOCK); return;
    case T_PAREN_CLOSE: close_series(TYPE_PAREN); return;
    case T_PATH: open_path(); return;
    case T_COMMA: comma(); return;
    default: return;  // a comment
    }
}

// A value: announced, then loaded (or checked), then the load event, whose refusal drops it.
void Lexer::handle_value(TypeId announced) {
    if (!send(mode == Mode::prescan ? EVENT_PRESCAN : EVENT_SCAN, announced, token_end)) return;
    // Prescan checks strings and construction syntax only; other values go by their token.
    if (mode == Mode::prescan && final_state > T_STRING) {
        completed = token_type;
        return;
    }
    TypeId type = load_token();
    if (loading() && wants(EVENT_LOAD)) {
        Cell value = scan_stack.back();
        if (!send(EVENT_LOAD, type, token_end, &value)) {
            scan_stack.pop_back();
            return;
        }
    }
    completed = type;
}

TypeId Lexer::load_token() {
    switch (final_state) {
    case T_CONSTRUCT: return load_construct(*this);
    case T_BRACE_CLOSE: {
        TypeId type = load_string_text(*this, brace_start + 1, token_end - 1, brace_flags);
        if (loading() && (brace_flags & FLAG_BRACE_AFTER_LINE)) scan_stack.back().set_flag(FLAG_NEW_LINE);
        return type;
    }
    default: return load_value(*this);
    }
}

void Lexer::open_series(TypeId type) {
    Cell marker = make_cell(TYPE_NONE_ID, type, innermost, uint32_t(token_start - input));
    if (breaks > 0) marker.set_flag(FLAG_NEW_LINE);
    innermost = stack_top();
    stack_push(marker);
    send(EVENT_OPEN, TYPE_NONE_ID, token_start);
}

// Copies the cells above the innermost marker into a series that replaces the marker.
void Lexer::build_innermost() {
    uint32_t marker = innermost;
    Cell header = scan_stack[marker];
    TypeId type = TypeId(header.s1 & MARKER_TYPE_MASK);
    uint32_t count = stack_top() - marker - 1;
    if (type == TYPE_MAP && loading()) check_map(marker + 1, count);
    innermost = header.s2;
    if (!loading()) {
        scan_stack.resize(marker);
        completed = type;
        return;
    }
    Cell series = make_series(type == TYPE_MAP ? TYPE_BLOCK : type, scan_stack.data() + marker + 1, count);
    series.header |= header.header & FLAG_NEW_LINE;
    scan_stack.resize(marker);
    stack_push(series);
    if (type == TYPE_MAP) {
        // hashtable::make leaves each array it has made unreachable while it makes the next one.
        PausedCollector paused;
        NodeId index = hashtable::make(count / 2, hashtable::Kind::map_index, &scan_stack.back());
        Cell& map = scan_stack.back();
        map.set_type(TYPE_MAP);
        map.s3 = index;
    }
    completed = type;
}

// A map literal holds key/value pairs whose keys have a key type.
void Lexer::check_map(uint32_t first, uint32_t count) {
    if (count % 2 != 0) invalid(TYPE_MAP);
    for (uint32_t i = first; i < first + count; i += 2)
        if (!map::is_key_type(scan_stack[i].type())) invalid(TYPE_MAP);
}

void Lexer::discard_innermost() {
    uint32_t marker = innermost;
    innermost = scan_stack[marker].s2;
    scan_stack.resize(marker);
}

void Lexer::close_series(TypeId closer) {
    TypeId open = innermost == NO_MARKER ? TYPE_NONE_ID : marker_type(innermost);
    if (!send(EVENT_CLOSE, open ? open : closer, token_end)) {
        if (open) discard_innermost();
        return;
    }
    bool matches = closer == TYPE_BLOCK ? (open == TYPE_BLOCK || open == TYPE_MAP) : open == TYPE_PAREN;
    if (!matches) missing(open, closer == TYPE_BLOCK ? ']' : ')');
    build_innermost();
}

// A `(` followed by at least 3 bytes of number text up to a comma starts a point literal.
bool Lexer::point_literal_follows() const {
    if (end - cursor < 3) return false;
    for (const uint8_t* p = cursor; p < end; ++p) {
        if (*p == ',') return true;
        if (!is_point_char(*p)) return false;
    }
    return true;
}

void Lexer::open_paren() {
    if (point_literal_follows()) {
        point_start = token_start;
        entry = S_POINT;
        return;
    }
    open_series(TYPE_PAREN);
}

void Lexer::comma() {
    TypeId open = innermost == NO_MARKER ? TYPE_NONE_ID : marker_type(innermost);
    if (open != TYPE_PAREN && open != TYPE_POINT2D) invalid(TYPE_POINT2D);
    Cell& marker = scan_stack[innermost];
    uint32_t commas = (marker.s1 >> MARKER_COMMA_SHIFT) + 1;
    marker.s1 = TYPE_POINT2D | (commas << MARKER_COMMA_SHIFT);
}

void Lexer::brace_open() {
    if (brace_depth == 0) {
        brace_start = token_end - 1;
        brace_flags = breaks > 0 ? FLAG_BRACE_AFTER_LINE : 0;
        send(EVENT_OPEN, TYPE_NONE_ID, brace_start);
    } else brace_flags |= flags;
    ++brace_depth;
    entry = S_BRACED;
}

void Lexer::brace_close() {
    brace_flags |= flags;
    if (--brace_depth > 0) {
        entry = S_BRACED;
        return;
    }
    entry = S_START;
    token_start = brace_start;
    if (send(EVENT_CLOSE, TYPE_STRING, token_end)) handle_value(TYPE_STRING);
}

void Lexer::open_path() {
    if (!element_follows(cursor, end)) invalid_path();
    std::string_view head = token();
    head.remove_suffix(1);
    TypeId type = TYPE_PATH;
    if (head.front() == '\'') type = TYPE_LIT_PATH;
    else if (head.front() == ':') type = TYPE_GET_PATH;
    if (type != TYPE_PATH) head.remove_prefix(1);
    open_series(type);
    load_path_head(*this, head);
    entry = S_PATH_ELEMENT;
}

// After each element: a delimiter closes the path, `:` closes it as a set-path!, `/` goes on.
void Lexer::continue_path() {
    for (;;) {
        uint8_t byte = cursor < end ? *cursor : 0;
        if (byte == '/') {
            if (!element_follows(++cursor, end)) invalid_path();
            entry = S_PATH_ELEMENT;
            return;
        }
        if (byte == ':') {
            if (cursor + 1 < end && cursor[1] == '/') invalid_path();
            scan_stack[innermost].s1 = TYPE_SET_PATH;
            ++cursor;
        } else if (!is_path_delimiter(byte)) invalid_path();
        build_innermost();
        if (innermost == NO_MARKER || !is_path_type(marker_type(innermost))) return;
    }
}

void Lexer::at_end() {
    cursor = end;
    if (innermost != NO_MARKER) missing(marker_type(innermost), 0);
}

// After a refused error that the trace asked to skip: close a path the token was in, drop the
// series a missing error was about, and go on after the token.
void Lexer::recover() {
    completed = TYPE_NONE_ID;
    if (cursor == token_start && cursor < end) ++cursor;  // an empty token: step over its byte
    brace_depth = 0;
    entry = S_START;
    if (innermost == NO_MARKER) return;
    TypeId open = marker_type(innermost);
    if (is_path_type(open)) build_innermost();
    else if (final_state == T_END || final_state == T_BLOCK_CLOSE || final_state == T_PAREN_CLOSE)
        discard_innermost();
}

// Trace events. Positions are the input's own units; a callback may move the cursor.
bool Lexer::send(Event event, TypeId type, const uint8_t* position, const Cell* value) {
    if (!wants(event)) return true;
    TraceEvent e;
    e.event = event;
    e.index = index_at(position);
    e.type = type;
    e.kind = kind_of(final_state);
    e.line = line;
    e.token = value ? *value
                    : make_cell(TYPE_PAIR, 0, index_at(token_start) + 1, index_at(token_end) + 1);
    uint32_t before = e.index;
    bool go_on = tracer->callback(tracer->context, e);
    if (e.index != before) cursor = at_index(e.index);
    return go_on;
}

uint32_t Lexer::index_at(const uint8_t* p) {
    if (!char_positions) return origin + uint32_t(p - input);
    // Counted from the last position asked for, which is near: a token's start lies just before
    // its end, so loading stays linear in the input.
    if (p < counted_at) counted_chars -= uint32_t(unicode::count_utf8_chars(p, counted_at));
    else counted_chars += uint32_t(unicode::count_utf8_chars(counted_at, p));
    counted_at = p;
    return origin + counted_chars;
}

const uint8_t* Lexer::at_index(uint32_t index) {
    uint32_t offset = index > origin ? index - origin : 0;
    if (!char_positions) return offset < uint32_t(end - input) ? input + offset : end;
    return unicode::skip_utf8_chars(input, end, offset);
}

// Errors. The arguments are built on the scan stack, where they stay reachable until raised.
void Lexer::fail(err::Code code, TypeId type, uint32_t missing_char) {
    if (!send(EVENT_ERROR, type, token_end)) throw SkipToken{};
    if (!loading()) throw Refused{};
    const uint8_t* from = brace_depth > 0 ? brace_start : token_start;
    const uint8_t* to = from;
    while (to < end && size_t(to - from) < EXCERPT_MAX && *to != '\n' && *to != '\r') ++to;
    if (to < end && size_t(to - from) == EXCERPT_MAX)
        while (to > from && (*to & 0xC0) == 0x80) --to;
    uint32_t args = stack_top();
    stack_push(string::from_utf8("(line " + std::to_string(line) + ")"));
    if (code == err::syntax_invalid) stack_push(datatype_cell(type));
    if (code == err::missing) stack_push(char_cell(missing_char));
    stack_push(string::from_utf8(std::string_view(reinterpret_cast<const char*>(from), size_t(to - from))));
    const Cell* a = scan_stack.data() + args;
    if (stack_top() - args == 3) fire(code, a, a + 1, a + 2);
    fire(code, a, a + 1);
}

void Lexer::invalid(TypeId type) {
    if (innermost != NO_MARKER && is_path_type(marker_type(innermost))) bad_char();
    TypeId named = type ? type : innermost != NO_MARKER ? marker_type(innermost) : TYPE_ERROR;
    fail(err::syntax_invalid, named);
}

void Lexer::invalid_path() { fail(err::syntax_invalid, TYPE_PATH); }
void Lexer::bad_char() { fail(err::bad_char, TYPE_ERROR); }
void Lexer::malconstruct() { fail(err::malconstruct, TYPE_ERROR); }

// The closing character an open series waits for; when the offending character is that very
// character (a close without any opener), the opening one is named instead.
void Lexer::missing(TypeId open, uint8_t offending) {
    uint8_t expected;
    if (open == TYPE_BLOCK || open == TYPE_MAP) expected = ']';
    else if (open) expected = ')';
    else expected = offending;
    if (expected == offending) expected = offending == ']' ? '[' : '(';
    fail(err::missing, open ? open : TYPE_ERROR, expected);
}

bool Lexer::in_path() const { return innermost != NO_MARKER && is_path_type(marker_type(innermost)); }

ScanResult Lexer::run() {
    ScanResult r{TYPE_NONE_ID, 0};
    try {
        for (;;) {
            completed = TYPE_NONE_ID;
            try {
                read_token();
                handle_token();
                // Every token read inside a path but its opening is an element (or a skipped one).
                if (in_path() && final_state != T_PATH && final_state != T_PAREN_OPEN) continue_path();
                if (final_state == T_END && innermost == NO_MARKER) break;
            } catch (const SkipToken&) {
                recover();
            }
            // Line breaks before a comment, or before the `(` of a point, count for what follows.
            if (final_state != T_COMMENT && entry != S_POINT) breaks = 0;
            if (!completed) continue;
            last_type = completed;
            if (innermost == NO_MARKER && brace_depth == 0 && (one_value || !loading())) break;
        }
        r.type = last_type;
    } catch (const Refused&) {
        r.type = TYPE_ERROR;
    }
    r.consumed = index_at(cursor) - origin;
    return r;
}

// The values left on this scan's part of the stack: the first one alone, a new block of all of
// them, or all of them appended to the destination block.
void Lexer::output(Cell* result, const ScanOptions& options) const {
    const Cell* values = scan_stack.data() + base;
    uint32_t count = stack_top() - base;
    if (options.one_value && !options.block_always) {
        *result = count ? values[0] : none_cell();
        return;
    }
    if (!options.into) {
        *result = make_series(TYPE_BLOCK, values, count);
        return;
    }
    NodeId node = options.into->s2;
    Series* s = memory::ensure_room(node, uint64_t(count) * sizeof(Cell));
    if (count) std::memcpy(s->tail_ptr(), values, size_t(count) * sizeof(Cell));
    s->tail += count * uint32_t(sizeof(Cell));
    *result = *options.into;
}

namespace {

ScanResult scan_utf8(Cell* result, const uint8_t* input, size_t length, const ScanOptions& options,
                     bool char_positions) {
    Lexer lx(input, length, options, char_positions);
    ScanResult r = lx.run();
    if (options.output && options.mode == Mode::load) lx.output(result, options);
    return r;
}

}  // namespace

ScanResult scan(Cell* result, const uint8_t* input, size_t length, const ScanOptions& options) {
    return scan_utf8(result, input, length, options, false);
}

// String input is scanned as its UTF-8 form, in a buffer of this scan's own (a nested scan takes
// another), and trace positions and the consumed count are in characters.
ScanResult scan_string(Cell* result, const Cell* text, int32_t length, const ScanOptions& options) {
    Series* b = string::buffer_of(text);
    uint32_t total = b->length();
    uint32_t head = text->s1 < total ? text->s1 : total;
    uint32_t count = length < 0 || uint32_t(length) > total - head ? total - head : uint32_t(length);
    int unit = b->unit();
    const uint8_t* units = b->head_ptr() + size_t(head) * size_t(unit);
    unicode::EncodeResult size = unicode::utf8_size(units, count, unit, false);
    std::string utf8(size.written, '\0');
    unicode::write_utf8(units, count, unit, reinterpret_cast<uint8_t*>(utf8.data()), utf8.size(), false);
    ScanOptions at_head = options;
    at_head.origin = head;
    return scan_utf8(result, reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), at_head, true);
}

TypeId scan_type(std::string_view text, Mode mode) {
    ScanOptions options;
    options.mode = mode;
    options.output = false;
    Cell unused;
    return scan(&unused, reinterpret_cast<const uint8_t*>(text.data()), text.size(), options).type;
}

}  // namespace vyn::lexer

namespace vyn::lexer {
namespace {

constexpr uint8_t UTF8_BOM[3] = {0xEF, 0xBB, 0xBF};

// The amount /part asks for: a count, or a position in a series of the source's own type.
uint32_t part_length(const Cell* part, const Cell& source, uint32_t available) {
    int64_t wanted;
    if (part->is(TYPE_INTEGER)) wanted = part->i32();
    else {
        if (part->type() != source.type()) fire(err::not_same_type);
        wanted = int64_t(part->s1) - int64_t(source.s1);
    }
    if (wanted < 0) return 0;
    return wanted > available ? available : uint32_t(wanted);
}

Cell datatype_or_none(TypeId type) { return type ? datatype_cell(type) : none_cell(); }

}  // namespace

Cell transcode(const Cell* source, const Transcode& refinements) {
    Cell src = *source;
    bool binary = src.is(TYPE_BINARY);
    uint32_t total = memory::series_of(src.s2)->length();
    if (src.s1 > total) src.s1 = total;
    uint32_t count = total - src.s1;
    if (refinements.part) count = part_length(refinements.part, src, count);
    const uint8_t* bytes = memory::series_of(src.s2)->head_ptr() + src.s1;
    if (binary && count >= 3 && std::memcmp(bytes, UTF8_BOM, 3) == 0) {
        src.s1 += 3;
        count -= 3;
    }

    ScanOptions options;
    options.mode = refinements.prescan ? Mode::prescan : refinements.scan ? Mode::scan : Mode::load;
    options.one_value = refinements.one || refinements.next;
    options.tracer = refinements.trace;
    options.into = refinements.into;
    options.origin = src.s1;
    Rooted value(none_cell());
    ScanResult r;
    if (binary) {
        // The bytes are copied: loading allocates, and an allocation may move the source.
        const uint8_t* from = memory::series_of(src.s2)->head_ptr() + src.s1;
        std::vector<uint8_t> copy(from, from + count);
        r = scan(value.get(), copy.data(), copy.size(), options);
    } else r = scan_string(value.get(), &src, int32_t(count), options);
    if (options.mode != Mode::load) *value = count == 0 ? none_cell() : datatype_or_none(r.type);
    if (!refinements.next) return *value;

    Cell rest = src;
    rest.s1 += r.consumed;
    Cell pair[2] = {*value, rest};
    return make_series(TYPE_BLOCK, pair, 2);
}

}  // namespace vyn::lexer

namespace vyn::load {

// A text the lexer stopped early in gives none written into the target, never a shared cell
// that the caller could then overwrite.
Cell* from_string(const Cell& string, Cell* target) {
    const Cell text = string;
    Rooted values;
    lexer::ScanResult scanned = lexer::scan_string(values.get(), &text, -1, lexer::ScanOptions{});
    if (scanned.consumed < string::length(&text)) *target = none_cell();
    else if (block::vs_tail_q(values.get())) *target = unset_cell();
    else *target = *block::vs_head(values.get());
    return target;
}

}  // namespace vyn::load
