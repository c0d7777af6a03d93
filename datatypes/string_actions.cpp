// string! action handlers, inherited by file!, url!, tag!, email! and ref!, and the table that
// registers them. Each handler writes its result into its first cell and returns it. A modifying
// handler builds what it adds at the tail first and then moves it into place, so a value that
// shares the series' buffer is read before the change and a raised error is undone by cutting
// the tail back. Owners are told before anything is read from the buffer, since their handler
// runs Vyn code that may change the series; positions are read again after it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/sort.hpp"
#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/vector.hpp"

namespace vyn::string {

using ownership::Change;

namespace {

FunctionCaller caller = nullptr;

bool is_block_like(TypeId type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

[[noreturn]] void bad_refine_arg(const char* refinement, const Cell* value) {
    Cell word = datatype::word_arg(refinement);
    fire(err::invalid_refine_arg, &word, value);
}

// The handler of an action for a type, or `not-done` while that type has none registered.
template <int Slot>
typename ActionSignature<Slot>::Fn handler_of(TypeId type) {
    auto handler = datatype::handler<Slot>(type);
    if (!handler) fire(err::not_done);
    return handler;
}

int32_t form_value(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    return handler_of<A_FORM>(value->type())(value, out, part, budget);
}

// A /part argument as a count of characters from the head: an integer!, or a position in the
// same series (the distance between the two heads).
int64_t part_count(const Cell* series, const Cell* part) {
    if (part->is(TYPE_INTEGER)) return part->i32();
    if (part->type() == series->type() && part->s2 == series->s2)
        return int64_t(part->s1) - int64_t(std::min(series->s1, abs_length(series)));
    bad_refine_arg("part", part);
}

int32_t count_arg(const Cell* series, const Cell* part) {
    if (!part) return -1;
    int64_t n = part_count(series, part);
    return int32_t(std::clamp<int64_t>(n, 0, INT32_MAX));
}

// A part count as told to an owner: 1 without a part.
int32_t told_part(int32_t part) { return part < 0 ? 1 : part; }

// What change tells before it writes: the part, or the value's elements times dup, at most the
// rest of the series.
int32_t change_count(Cell* series, const Cell* value, int32_t part, int32_t dup) {
    int64_t count = part;
    if (part < 0) {
        Cell probe = *value;
        int64_t elements = series::is_block_type(probe.type()) ? series::vs_length(&probe) : 1;
        count = elements * std::max(dup, 0);
    }
    return int32_t(std::min<int64_t>(count, length(series)));
}

int32_t dup_arg(const Cell* dup) {
    if (!dup) return 1;
    if (!dup->is(TYPE_INTEGER)) fire(err::invalid_arg, dup);
    return dup->i32();
}

// A new text of the series' type holding `count` characters from absolute index `start`.
Cell copy_range(const Cell* s, uint32_t start, uint32_t count) {
    int unit = buffer_of(s)->unit();
    Cell copy = make(count, unit);
    Series* to = buffer_of(&copy);
    const uint8_t* from = buffer_of(s)->head_ptr() + size_t(start) * size_t(unit);
    std::memcpy(to->data(), from, size_t(count) * size_t(unit));
    to->tail = to->head + count * uint32_t(unit);
    copy.set_type(s->type());
    if (s->is(TYPE_VECTOR)) copy.s3 = s->s3;  // the element type
    return copy;
}

// ---- Adding values: append, insert and change build the added text at the tail. ----

// How /part limits the text a value adds: a character budget, or (append of a block without
// /only) a count of block elements.
struct Limit {
    int32_t part;  // -1: no limit
    bool counts_elements;
};

// Forms `value` at the tail within what is left of the character budget; returns the new budget.
int32_t form_within(Cell* series, const Cell* value, int32_t budget) {
    uint32_t before = abs_length(series);
    Cell part = integer_cell(budget);
    form_value(value, series, budget >= 0 ? &part : nullptr, budget);
    uint32_t added = abs_length(series) - before;
    if (budget < 0) return budget;
    if (added > uint32_t(budget)) truncate(node_of(series), before + uint32_t(budget));
    return budget - int32_t(std::min(added, uint32_t(budget)));
}

void add_block(Cell* series, const Cell* block, Limit limit) {
    NodeId node = block->s2;
    int32_t budget = limit.counts_elements ? -1 : limit.part;
    for (uint32_t i = block->s1;; ++i) {
        Series* cells = memory::series_of(node);  // forming may move it
        if (i >= cells->length()) return;
        if (limit.counts_elements && limit.part >= 0 && i - block->s1 >= uint32_t(limit.part)) return;
        if (budget == 0) return;
        Cell element = cells->cells()[i];
        budget = form_within(series, &element, budget);
    }
}

void add_tag(Cell* series, const Cell* tag, int32_t budget) {
    if (budget != 0) {
        append_char(node_of(series), '<');
        if (budget > 0) --budget;
    }
    uint32_t n = length(tag);
    append_string(series, tag, budget);
    if (budget > 0) budget -= int32_t(std::min(n, uint32_t(budget)));
    if (budget != 0) append_char(node_of(series), '>');
}

void add_value(Cell* series, const Cell* value, Limit limit) {
    TypeId type = value->type();
    if (type == TYPE_CHAR) append_char(node_of(series), value->s2);
    else if (type == TYPE_TAG) add_tag(series, value, limit.part);
    else if (is_text(type)) append_string(series, value, limit.part);
    else if (is_block_like(type)) add_block(series, value, limit);
    else form_within(series, value, limit.part);
}

// Repeats the `once` characters that end the text `times` more times.
void repeat_tail(NodeId node, uint32_t before, uint32_t once, int32_t times) {
    int unit = memory::series_of(node)->unit();
    uint64_t total = (uint64_t(before) + uint64_t(once) * (uint64_t(times) + 1)) * uint64_t(unit);
    if (total > SERIES_MAX_CAPACITY) fire(err::no_memory);
    Series* b = memory::ensure_room(node, uint64_t(once) * uint64_t(times) * uint64_t(unit));
    size_t run = size_t(once) * size_t(unit);
    const uint8_t* from = b->head_ptr() + size_t(before) * size_t(unit);
    for (int32_t i = 0; i < times; ++i) {
        std::memcpy(b->tail_ptr(), from, run);
        b->tail += uint32_t(run);
    }
}

// Appends what the value adds, dup times, at the tail and returns the characters added. On an
// error the text is cut back to what it was.
uint32_t add_at_tail(Cell* series, const Cell* value, Limit limit, int32_t dup) {
    NodeId node = node_of(series);
    uint32_t before = abs_length(series);
    if (dup < 1) return 0;
    try {
        add_value(series, value, limit);
        uint32_t once = abs_length(series) - before;
        if (dup > 1 && once > 0) repeat_tail(node, before, once, dup - 1);
    } catch (...) {
        truncate(node, before);
        throw;
    }
    return abs_length(series) - before;
}

// Moves the `added` characters at the tail to the absolute index `at`.
void rotate_into_place(NodeId node, uint32_t at, uint32_t added) {
    Series* b = memory::series_of(node);
    int unit = b->unit();
    uint32_t old_tail = b->length() - added;
    swap_adjacent_runs(b->head_ptr() + size_t(at) * size_t(unit), (old_tail - at) * uint32_t(unit),
                       added * uint32_t(unit));
}

}  // namespace

void set_function_caller(FunctionCaller function_caller) { caller = function_caller; }

Cell* append(Cell* series, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    int32_t count = count_arg(series, part);
    ownership::before(*series, Change::append, value, int32_t(abs_length(series)), told_part(count));
    uint32_t start = abs_length(series);
    add_at_tail(series, value, Limit{count, !only}, dup_arg(dup));
    ownership::after(*series, Change::append, value, int32_t(start), told_part(count));
    series->s1 = 0;
    return series;
}

Cell* insert(Cell* series, const Cell* value, const Cell* part, bool, const Cell* dup) {
    int32_t count = count_arg(series, part);
    ownership::before(*series, Change::insert, value, int32_t(clamp_head(series)), told_part(count));
    uint32_t head = clamp_head(series);
    uint32_t added = add_at_tail(series, value, Limit{count, false}, dup_arg(dup));
    rotate_into_place(node_of(series), head, added);
    ownership::after(*series, Change::insert, value, int32_t(head), told_part(count));
    series->s1 = head + added;
    return series;
}

Cell* change(Cell* series, const Cell* value, const Cell* part, bool, const Cell* dup) {
    int32_t replace = count_arg(series, part);
    int32_t dups = dup_arg(dup);
    ownership::before(*series, Change::change, value, int32_t(clamp_head(series)),
                      change_count(series, value, replace, dups));
    uint32_t head = clamp_head(series);
    uint32_t rest = length(series);
    uint32_t written = add_at_tail(series, value, Limit{-1, false}, dups);
    uint32_t replaced = std::min(replace >= 0 ? uint32_t(replace) : written, rest);
    rotate_into_place(node_of(series), head, written);
    remove_part(node_of(series), head + written, replaced);
    ownership::after(*series, Change::change, value, int32_t(head), int32_t(written));
    series->s1 = head + written;
    return series;
}

// ---- Molding ----

namespace {

constexpr std::array<char, 95> make_escape_table() {
    std::array<char, 95> table{};
    for (int c = 0; c < 32; ++c) table[size_t(c)] = char('@' + c);
    table[9] = '-';
    table[10] = '/';
    table['"'] = '"';
    table['^'] = '^';
    return table;
}

// The character written after a caret when a string is molded (0: none).
constexpr auto ESCAPES = make_escape_table();

// Index of the first "{" that no later "}" closes, or `end` when every one is closed. Matching
// from the right pairs each "{" with the nearest unclaimed "}" after it.
uint32_t first_unclosed_brace(const Cell* s, uint32_t start, uint32_t end) {
    uint32_t first = end;
    uint32_t pending_closes = 0;
    for (uint32_t i = end; i-- > start;) {
        uint32_t c = abs_at(s, i);
        if (c == '}') ++pending_closes;
        else if (c == '{') {
            if (pending_closes) --pending_closes;
            else first = i;
        }
    }
    return first;
}

void mold_braced(const Cell* s, Cell* out, uint32_t start, uint32_t end, bool all) {
    NodeId node = node_of(out);
    uint32_t unclosed = first_unclosed_brace(s, start, end);
    uint32_t depth = 0;
    append_char(node, '{');
    for (uint32_t i = start; i < end; ++i) {
        uint32_t c = abs_at(s, i);
        bool plain = c == '"' || (c == '{' && i < unclosed) || (c == '}' && depth > 0);
        if (c == '{' && plain) ++depth;
        if (c == '}' && plain) --depth;
        if (plain) append_char(node, c);
        else if (c == '{' || c == '}') {
            append_char(node, '^');
            append_char(node, c);
        } else if (c == '^') concatenate_literal(out, "^^");
        else append_escaped_char(out, c, all);
    }
    append_char(node, '}');
}

void mold_quoted(const Cell* s, Cell* out, uint32_t start, uint32_t end, bool all) {
    append_char(node_of(out), '"');
    for (uint32_t i = start; i < end; ++i) append_escaped_char(out, abs_at(s, i), all);
    append_char(node_of(out), '"');
}

// Braces for text with a double quote, three line feeds or more, or 50 characters from the head.
bool needs_braces(const Cell* s, uint32_t start, uint32_t end) {
    if (length(s) >= 50) return true;
    uint32_t line_feeds = 0;
    for (uint32_t i = start; i < end; ++i) {
        uint32_t c = abs_at(s, i);
        if (c == '"') return true;
        if (c == '\n' && ++line_feeds >= 3) return true;
    }
    return false;
}

}  // namespace

void append_escaped_char(Cell* out, uint32_t cp, bool all) {
    if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127)) {
        concatenate_literal(out, "^(");
        concatenate_literal(out, to_hex(cp, true));
        concatenate_literal(out, ")");
    } else if (cp < ESCAPES.size() && ESCAPES[cp]) {
        const char escaped[2] = {'^', ESCAPES[cp]};
        concatenate_literal(out, std::string_view(escaped, 2));
    } else if (cp == 127) {
        concatenate_literal(out, "^~");
    } else {
        append_char(node_of(out), cp);
    }
}

int32_t mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    uint32_t start = std::min(value->s1, abs_length(value));
    uint32_t n = length(value);
    if (part) n = budget < 0 ? 0 : std::min(n, uint32_t(budget));
    uint32_t end = start + n;
    if (needs_braces(value, start, end)) mold_braced(value, out, start, end, args.all);
    else mold_quoted(value, out, start, end, args.all);
    return budget - int32_t(n) - 2;
}

int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    uint32_t n = length(value);
    append_string(out, value, part ? std::max(budget, 0) : -1);
    return budget - int32_t(n);
}

// ---- make, to, compare ----

namespace {

// A float! size truncated toward zero; NaN or a value outside the integer range is refused.
int64_t size_of_float(const Cell* spec) {
    double d = spec->f64();
    if (!(d > -2147483649.0 && d < 2147483648.0)) fire(err::out_of_range, spec);
    return int64_t(std::trunc(d));
}

// Decodes the bytes of a binary! from its head (copied first: decoding allocates).
Cell decode_binary(const Cell* spec) {
    View v = view_of(spec);
    std::vector<uint8_t> bytes(v.data, v.data + v.length);
    Cell* decoded = from_utf8_binary(bytes.data(), bytes.size());
    Cell result = *decoded;
    stack::pop(1);
    return result;
}

}  // namespace

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
        int64_t size = spec->is(TYPE_INTEGER) ? spec->i32() : size_of_float(spec);
        if (size < 0) fire(err::out_of_range, spec);
        make_at(proto, uint32_t(size))->set_type(type);
        return proto;
    }
    if (type == TYPE_BINARY) {
        Cell binary = datatype_cell(TYPE_BINARY);
        if (spec->is(TYPE_MONEY)) fire(err::bad_make_arg, &binary, spec);
        return handler_of<A_TO>(TYPE_BINARY)(proto, spec, type);
    }
    return to(proto, spec, type);
}

Cell* to(Cell* proto, const Cell* spec, TypeId type) {
    TypeId from = spec->type();
    if (from == TYPE_NONE) {
        datatype::fire_bad_to_arg(TYPE_STRING, spec);
    }
    if (is_text(from)) *proto = copy_range(spec, std::min(spec->s1, abs_length(spec)), length(spec));
    else if (from == TYPE_BINARY) *proto = decode_binary(spec);
    else {
        make_at(proto, 16);  // the spec stays in its own cell, which keeps it reachable
        if (is_block_like(from)) add_block(proto, spec, Limit{-1, false});
        else if (from == TYPE_REFINEMENT && type != TYPE_STRING)
            handler_of<A_MOLD>(from)(spec, proto, MoldArgs{false, false, false, 0}, nullptr, 0);
        else form_value(spec, proto, nullptr, 0);
    }
    proto->set_type(type);
    return proto;
}

int compare(const Cell* a, const Cell* b, int op) {
    if (a->type() != b->type() && !(is_text(b->type()) && (op == OP_EQUAL || op == OP_NOT_EQUAL))) return -2;
    return equal(a, b, op, false);
}

// ---- find, select and eval-path ----

namespace {

// What find looks for: a member of a bitset, or a run of characters compared folded when the
// search folds case. A single element (char!, or an integer! in a binary!) is a run of one that
// is not text: /tail passes a whole record after it. A run's characters are read where they lie
// (a formed value's text stays on the stack until the search ends), only its first one folded
// ahead, as that is the one tested at every position.
struct Needle {
    const Cell* bitset;
    View run;        // no data for a single element
    uint32_t first;  // folded
    bool text;

    uint32_t length() const { return bitset ? 1 : run.length; }
};

struct Found {
    int64_t position;  // -1: not found
    uint32_t length;
    bool text = false;  // a run of text, which /tail passes whole
};

constexpr Found NOT_FOUND{-1, 0};

bool is_text_needle(TypeId type) { return (is_text(type) && type != TYPE_TAG) || type == TYPE_BINARY; }

Needle text_needle(const Cell* value, bool fold_case) {
    View v = view_of(value);
    return Needle{nullptr, v, v.length ? folded(v.at(0), fold_case) : 0, true};
}

Needle element_needle(uint32_t element) { return Needle{nullptr, View{nullptr, 1, 1}, element, false}; }

// A value that is neither an element nor text is searched for as its formed text, which it
// leaves on the stack for the caller to drop.
Needle needle_of(const Cell* series, const Cell* value, bool fold_case) {
    TypeId type = value->type();
    bool bytes = series->is(TYPE_BINARY);
    if (type == TYPE_CHAR) return element_needle(folded(value->s2, fold_case));
    if (type == TYPE_BITSET) return Needle{value, View{}, 0, false};
    if (type == TYPE_INTEGER && bytes) return element_needle(value->s2);
    if (type == TYPE_BINARY && !bytes) fire(err::invalid_arg, value);
    if (is_text_needle(type)) return text_needle(value, fold_case);
    Cell* formed = stack::push(unset_cell());  // reachable while it grows
    make_at(formed, 16);
    form_value(value, formed, nullptr, 0);
    return text_needle(formed, fold_case);
}

// The search range [start, end) of absolute indexes, where it begins and which way it goes.
struct Walk {
    int64_t start;
    int64_t end;
    int64_t from;
    int64_t step;  // negative going backward
};

bool walk_of(const Cell* series, const FindArgs& args, Walk& walk) {
    int64_t head = std::min(series->s1, abs_length(series));
    int64_t available = args.reverse ? head : int64_t(abs_length(series)) - head;
    int64_t span = available;
    if (args.part) {
        span = part_count(series, args.part);
        if (span <= 0) return false;
        span = std::min(span, available);
    }
    int64_t step = 1;
    if (args.skip) {
        if (!args.skip->is(TYPE_INTEGER)) bad_refine_arg("skip", args.skip);
        step = args.skip->i32();
        if (step < 1) fire(err::out_of_range, args.skip);
    }
    if (args.reverse) {
        if (head == 0 || args.match) return false;
        walk = Walk{head - span, head, head - 1, -step};
    } else if (args.last) {
        walk = Walk{head, head + span, head + span - 1, -step};
    } else {
        walk = Walk{head, head + span, head, step};
    }
    return span > 0;
}

template <int Unit>
bool rest_matches(const uint8_t* at, const Needle& needle, bool fold_case) {
    for (uint32_t k = 1; k < needle.run.length; ++k)
        if (folded(get_char(at + k * Unit, Unit), fold_case) != folded(needle.run.at(k), fold_case)) return false;
    return true;
}

// The candidates' first positions, tested by `matches`; going backward the walk's positions are
// the last characters of candidates.
template <int Unit, typename Matches>
Found scan_with(const uint8_t* hay, int64_t reach, const Walk& walk, bool match, Matches matches) {
    for (int64_t first = walk.step < 0 ? walk.from - reach + 1 : walk.from;
         first >= walk.start && first + reach <= walk.end; first += walk.step) {
        if (matches(hay + size_t(first) * Unit)) return Found{first, uint32_t(reach)};
        if (match) break;
    }
    return NOT_FOUND;
}

// Forward over one-byte text, candidates whose first byte memchr finds.
template <typename Matches>
Found scan_bytes(const uint8_t* hay, int64_t reach, const Walk& walk, uint8_t first, Matches matches) {
    for (int64_t at = walk.from, last = walk.end - reach; at <= last; ++at) {
        const void* hit = std::memchr(hay + at, first, size_t(last - at + 1));
        if (!hit) break;
        at = static_cast<const uint8_t*>(hit) - hay;
        if (matches(hay + at)) return Found{at, uint32_t(reach)};
    }
    return NOT_FOUND;
}

// Whether a one-byte character folds to `first` only when it is `first`: any byte when case is
// kept, else one that is not a letter (no character from 0x80 to 0xFF upper-cases into ASCII).
bool only_itself(uint32_t first, bool fold_case) {
    if (!fold_case) return first < 0x100;
    return first < 0x80 && first - 'A' >= 26u;
}

template <int Unit>
Found scan(const uint8_t* hay, const Needle& needle, const Walk& walk, bool fold_case, bool match) {
    if (needle.bitset)
        return scan_with<Unit>(hay, 1, walk, match, [&](const uint8_t* at) {
            return in_bitset(needle.bitset, get_char(at, Unit));
        });
    auto matches = [&](const uint8_t* at) {
        return folded(get_char(at, Unit), fold_case) == needle.first && rest_matches<Unit>(at, needle, fold_case);
    };
    if (Unit == 1 && walk.step == 1 && !match && only_itself(needle.first, fold_case))
        return scan_bytes(hay, needle.run.length, walk, uint8_t(needle.first), matches);
    return scan_with<Unit>(hay, needle.run.length, walk, match, matches);
}

Found search(const Cell* series, const Needle& needle, const Walk& walk, bool fold_case, bool match) {
    Series* b = buffer_of(series);
    switch (b->unit()) {
    case 1: return scan<1>(b->head_ptr(), needle, walk, fold_case, match);
    case 2: return scan<2>(b->head_ptr(), needle, walk, fold_case, match);
    default: return scan<4>(b->head_ptr(), needle, walk, fold_case, match);
    }
}

// A vector! holds numbers: the value is one element, an integer or char matching an integer or
// char element and a float or percent a float or percent element, by number.
bool element_matches(const Cell& element, const Cell* value) {
    bool floats = element.is(TYPE_FLOAT) || element.is(TYPE_PERCENT);
    if (value->is(TYPE_INTEGER) || value->is(TYPE_CHAR)) return !floats && element.s2 == value->s2;
    if (value->is(TYPE_FLOAT) || value->is(TYPE_PERCENT)) return floats && element.f64() == value->f64();
    return false;
}

Found search_elements(const Cell* series, const Cell* value, const Walk& walk, bool match) {
    for (int64_t at = walk.from; at >= walk.start && at < walk.end; at += walk.step) {
        if (element_matches(series::element_at(series, uint32_t(at)), value)) return Found{at, 1};
        if (match) break;
    }
    return NOT_FOUND;
}

// The value's first match along the walk, as a bitset, an element or a run of text; the text
// formed for a value of another type is dropped after.
Found search_for(const Cell* series, const Cell* value, const Walk& walk, bool fold_case, bool match) {
    Cell* mark = stack::top;
    Needle needle = needle_of(series, value, fold_case);
    Found found = needle.length() == 0 ? NOT_FOUND : search(series, needle, walk, fold_case, match);
    stack::top = mark;
    found.text = needle.text;
    return found;
}

// Where the value is, or NOT_FOUND; refinements as find takes them.
Found locate(const Cell* series, const Cell* value, const FindArgs& args) {
    if (abs_length(series) == 0 || (!args.reverse && at_tail(series))) return NOT_FOUND;
    if (args.any || args.with) fire(err::not_done);
    Walk walk;
    if (!walk_of(series, args, walk)) return NOT_FOUND;
    if (series->is(TYPE_VECTOR)) {
        Found found = search_elements(series, value, walk, args.match);
        if (found.position >= 0 && args.tail)
            found.position = std::min<int64_t>(found.position + std::abs(walk.step), abs_length(series));
        return found;
    }
    bool fold_case = is_text(series->type()) && !args.case_sensitive && !args.same;
    Found found = search_for(series, value, walk, fold_case, args.match);
    if (found.position >= 0 && args.tail) {
        int64_t past = found.position + (found.text ? found.length : std::abs(walk.step));
        found.position = std::min<int64_t>(past, abs_length(series));
    }
    return found;
}

}  // namespace

uint32_t next_match(const Cell* s, uint32_t from, const Cell* value) {
    const uint32_t total = abs_length(s);
    if (from >= total) return total;
    Found found = search_for(s, value, Walk{from, total, from, 1}, is_text(s->type()), false);
    return found.position < 0 ? total : uint32_t(found.position);
}

int lone_byte_match(const Cell* s, const Cell* value) {
    if (buffer_of(s)->unit() != 1) return -1;
    uint32_t cp = value->s2;
    if (!value->is(TYPE_CHAR)) {
        if (!is_text_needle(value->type()) || value->is(TYPE_BINARY)) return -1;
        const View text = view_of(value);
        if (text.length != 1) return -1;
        cp = text.at(0);
    }
    const bool fold_case = is_text(s->type());
    const uint32_t first = folded(cp, fold_case);
    return only_itself(first, fold_case) ? int(first) : -1;
}

Cell* find(Cell* series, const Cell* value, const FindArgs& args) {
    Found found = locate(series, value, args);
    if (found.position < 0) *series = none_cell();
    else series->s1 = uint32_t(found.position);
    return series;
}

Cell* select(Cell* series, const Cell* value, const FindArgs& args) {
    FindArgs plain = args;
    plain.tail = false;
    plain.match = false;
    Found found = locate(series, value, plain);
    int64_t after = found.position + found.length;
    if (found.position < 0 || after >= abs_length(series)) *series = none_cell();
    else *series = series::element_at(series, uint32_t(after));
    return series;
}

// Setting after a key writes the character right after the whole key, the one reading gives.
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    if (element->is(TYPE_INTEGER)) {
        if (value) return handler_of<A_POKE>(parent->type())(parent, element->i32(), element, value);
        return handler_of<A_PICK>(parent->type())(parent, element->i32(), element);
    }
    if (element->is(TYPE_WORD)) fire(err::invalid_path, step.path, element);
    if (!value) return select(parent, element, FindArgs{});
    Found found = locate(parent, element, FindArgs{});
    if (found.position < 0) fire(err::bad_path_set, step.path, element);
    Cell key = *parent;
    key.s1 = uint32_t(found.position);
    Cell after_key = integer_cell(int32_t(found.length) + 1);
    handler_of<A_POKE>(key.type())(&key, after_key.i32(), &after_key, value);
    *parent = *value;
    return parent;
}

// ---- sort ----

namespace {

struct SortSpec {
    int unit;
    bool fold_case;
    bool all;           // compare whole records
    uint32_t record;    // characters per record
    uint32_t offset;    // the compared character of a record
    bool reverse;
    const Cell* function;
    TypeId type;        // of the texts handed to the function
    TypeId element;     // of a vector's elements, which compare by number
};

int order_of_chars(const uint8_t* a, const uint8_t* b, const SortSpec& spec) {
    uint32_t count = spec.all ? spec.record : 1;
    size_t skip = spec.all ? 0 : spec.offset;
    for (size_t i = skip; i < skip + count; ++i) {
        size_t at = i * size_t(spec.unit);
        if (spec.type == TYPE_VECTOR) {
            int order = vector::compare_elements(a + at, b + at, spec.unit, spec.element);
            if (order) return order;
            continue;
        }
        uint32_t ca = folded(get_char(a + at, spec.unit), spec.fold_case);
        uint32_t cb = folded(get_char(b + at, spec.unit), spec.fold_case);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

// The order a comparison function answered for its first argument against its second.
int order_of_answer(const Cell& answer) {
    switch (answer.type()) {
    case TYPE_LOGIC: return answer.s1 ? -1 : 1;
    case TYPE_INTEGER: return (answer.i32() > 0) - (answer.i32() < 0);
    case TYPE_FLOAT: return (answer.f64() > 0.0) - (answer.f64() < 0.0);  // NaN: equal
    case TYPE_NONE: return 1;
    default: return -1;
    }
}

Cell record_argument(const uint8_t* record, const SortSpec& spec) {
    if (!spec.all) {
        const uint8_t* at = record + size_t(spec.offset) * size_t(spec.unit);
        if (spec.type == TYPE_VECTOR) return vector::get_value(at, spec.unit, spec.element);
        return char_cell(get_char(at, spec.unit));
    }
    Cell text = make(spec.record, spec.unit);
    Series* b = buffer_of(&text);
    std::memcpy(b->data(), record, size_t(spec.record) * size_t(spec.unit));
    b->tail = b->head + spec.record * uint32_t(spec.unit);
    text.set_type(spec.type);
    text.s3 = spec.element;
    return text;
}

int order_by_function(const uint8_t* a, const uint8_t* b, const SortSpec& spec) {
    Cell* first = stack::push(record_argument(a, spec));
    Cell* second = stack::push(record_argument(b, spec));
    Cell answer = caller(spec.function, first, second);
    stack::pop(2);
    return order_of_answer(answer);
}

int compare_records(const void* a, const void* b, void* context, uint32_t) {
    const auto& spec = *static_cast<const SortSpec*>(context);
    auto* ra = static_cast<const uint8_t*>(a);
    auto* rb = static_cast<const uint8_t*>(b);
    int order = spec.function ? order_by_function(ra, rb, spec) : order_of_chars(ra, rb, spec);
    return spec.reverse ? -order : order;
}

void run_sort(uint8_t* base, uint32_t count, const SortSpec& spec, bool stable) {
    size_t width = size_t(spec.record) * size_t(spec.unit);
    void* context = const_cast<SortSpec*>(&spec);
    try {
        if (stable) sort::merge_sort(base, count, width, context, 0, compare_records);
        else sort::quick_sort(base, count, width, context, 0, compare_records);
    } catch (const sort::TooLong&) {
        fire(err::too_long);
    }
}

// A comparison function runs code that can allocate and move the buffer, or change the text:
// its records are sorted in a copy, written back only when the sort completes.
void sort_range(NodeId node, uint32_t start, uint32_t chars, const SortSpec& spec, bool stable) {
    Series* b = memory::series_of(node);
    uint8_t* base = b->head_ptr() + size_t(start) * size_t(spec.unit);
    size_t bytes = size_t(chars) * size_t(spec.unit);
    if (!spec.function) {
        run_sort(base, chars / spec.record, spec, stable);
        return;
    }
    if (!caller) fire(err::not_done);
    std::vector<uint8_t> records(base, base + bytes);
    run_sort(records.data(), chars / spec.record, spec, stable);
    b = memory::series_of(node);
    if (b->unit() == spec.unit && uint64_t(start) * uint64_t(spec.unit) + bytes <= b->used_bytes())
        std::memcpy(b->head_ptr() + size_t(start) * size_t(spec.unit), records.data(), bytes);
}

uint32_t record_size(const SortArgs& args, uint32_t chars) {
    if (!args.skip) {
        if (args.all) fire(err::bad_refines);
        return 1;
    }
    const Cell* skip = args.skip;
    int64_t n = skip->is(TYPE_INTEGER) ? skip->i32() : 0;
    if (n < 1 || n > chars || chars % n) bad_refine_arg("skip", skip);
    return uint32_t(n);
}

void apply_compare(const SortArgs& args, SortSpec& spec) {
    const Cell* compare = args.compare;
    if (!compare) return;
    if (compare->is(TYPE_FUNCTION)) {
        spec.function = compare;
        return;
    }
    if (!compare->is(TYPE_INTEGER)) bad_refine_arg("compare", compare);
    if (!args.skip || args.all) fire(err::bad_refines);
    if (compare->i32() < 1 || uint32_t(compare->i32()) > spec.record) fire(err::out_of_range, compare);
    spec.offset = uint32_t(compare->i32()) - 1;
}

}  // namespace

Cell* sort(Cell* series, const SortArgs& args) {
    int64_t head = clamp_head(series);
    int64_t chars = length(series);
    if (args.part) {
        int64_t n = part_count(series, args.part);
        if (head + n < 0) {
            series->s1 = 0;
            return series;
        }
        if (n < 0) head += n;
        chars = std::min(std::abs(n), int64_t(abs_length(series)) - head);
    }
    if (chars == 0) return series;
    TypeId element = series->is(TYPE_VECTOR) ? vector::element_of(series) : TYPE_NONE_ID;
    SortSpec spec{buffer_of(series)->unit(), is_text(series->type()) && !args.case_sensitive, args.all, 1, 0,
                  args.reverse, nullptr, series->type(), element};
    spec.record = record_size(args, uint32_t(chars));
    apply_compare(args, spec);
    series->s1 = uint32_t(head);
    if (ownership::before(*series, Change::sort, nullptr, int32_t(head), int32_t(chars))) {
        spec.unit = buffer_of(series)->unit();
        head = std::min<int64_t>(head, abs_length(series));
        chars = std::min<int64_t>(chars, abs_length(series) - head);
        chars -= chars % spec.record;
    }
    sort_range(node_of(series), uint32_t(head), uint32_t(chars), spec, args.stable);
    ownership::after(*series, Change::sort, nullptr, int32_t(head), int32_t(chars));
    return series;
}

// ---- swap, take ----

namespace {

void store_char(const Cell* series, uint32_t index, uint32_t cp) {
    if (series->is(TYPE_BINARY)) buffer_of(series)->head_ptr()[index] = uint8_t(cp);
    else poke_char(node_of(series), index, cp);
}

}  // namespace

Cell* swap(Cell* series, const Cell* other) {
    if (!is_text(other->type()) && !other->is(TYPE_BINARY)) fire(err::invalid_arg, other);
    if (at_tail(series) || at_tail(other)) return series;
    bool told_first = ownership::before(*series, Change::swap, other, int32_t(series->s1), 1);
    bool told_second = ownership::before(*other, Change::swap, series, int32_t(other->s1), 1);
    if ((told_first || told_second) && (at_tail(series) || at_tail(other))) return series;
    uint32_t mine = abs_at(series, series->s1);
    uint32_t theirs = abs_at(other, other->s1);
    store_char(series, series->s1, theirs);
    store_char(other, other->s1, mine);
    ownership::after(*series, Change::swap, other, int32_t(series->s1), 1);
    ownership::after(*other, Change::swap, series, int32_t(other->s1), 1);
    return series;
}

namespace {

// The characters take removes, or none at the tail.
struct TakeRange {
    uint32_t start;
    uint32_t count;
    bool none;
};

TakeRange take_range(Cell* series, const Cell* part, bool last) {
    int64_t head = clamp_head(series);
    int64_t rest = length(series);
    if (rest == 0) return {0, 0, true};
    int64_t n = 1;
    if (part && part->is(TYPE_INTEGER)) n = part->i32();
    else if (part) {
        int64_t distance = part_count(series, part);
        n = distance < 0 ? 0 : last ? rest - distance : distance;
    }
    int64_t count = n < 0 ? (last ? 0 : std::min(-n, head)) : std::min(n, rest);
    int64_t start = n < 0 ? head - count : last ? head + rest - count : head;
    return {uint32_t(start), uint32_t(count), false};
}

}  // namespace

Cell* take(Cell* series, const Cell* part, bool, bool last) {
    TakeRange range = take_range(series, part, last);
    if (!range.none && ownership::before(*series, Change::take, nullptr, int32_t(range.start), int32_t(range.count)))
        range = take_range(series, part, last);
    if (range.none) {
        *series = none_cell();
        return series;
    }
    Rooted taken(copy_range(series, range.start, range.count));  // the owner's handler may collect
    remove_part(node_of(series), range.start, range.count);
    ownership::after(*series, Change::take, nullptr, int32_t(range.start), int32_t(range.count));
    *series = part ? *taken : series::element_at(taken.get(), 0);
    return series;
}

// ---- trim ----

bool is_whitespace(uint32_t cp) {
    if (cp >= 1 && cp <= 32) return true;
    if (cp >= 0x2000 && cp <= 0x200A) return true;
    switch (cp) {
    case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
        return true;
    default:
        return false;
    }
}

namespace {

bool is_blank(uint32_t cp) { return cp == ' ' || cp == '\t' || (cp > 127 && is_whitespace(cp)); }

// Rewrites the text from the head in place: characters are read at `read` and kept at `write`,
// which never passes it, so nothing is overwritten before it is read.
struct Compactor {
    NodeId node;
    uint32_t write;

    uint32_t at(uint32_t i) const {
        Series* b = memory::series_of(node);
        return get_char(b->head_ptr() + size_t(i) * size_t(b->unit()), b->unit());
    }
    void keep(uint32_t cp) {
        Series* b = memory::series_of(node);
        put_char(b->head_ptr() + size_t(write++) * size_t(b->unit()), b->unit(), cp);
    }
    void keep_run(uint32_t from, uint32_t to) {
        for (uint32_t i = from; i < to; ++i) keep(at(i));
    }
    void finish() {
        Series* b = memory::series_of(node);
        b->tail = b->head + write * uint32_t(b->unit());
    }
};

std::vector<uint32_t> trim_set(const Cell* with) {
    if (!with) return {'\t', '\n', '\r', ' '};
    if (with->is(TYPE_CHAR) || with->is(TYPE_INTEGER)) return {with->s2};
    if (!is_text(with->type()) && !with->is(TYPE_BINARY)) fire(err::invalid_arg, with);
    View v = view_of(with);
    std::vector<uint32_t> set(v.length);
    for (uint32_t i = 0; i < v.length; ++i) set[i] = v.at(i);
    return set;
}

void trim_all(Cell* series, const Cell* with) {
    std::vector<uint32_t> set = trim_set(with);
    uint32_t head = clamp_head(series);
    uint32_t end = abs_length(series);
    Compactor text{node_of(series), head};
    for (uint32_t i = head; i < end; ++i) {
        uint32_t c = text.at(i);
        if (std::find(set.begin(), set.end(), c) == set.end()) text.keep(c);
    }
    text.finish();
}

void trim_lines(Cell* series) {
    uint32_t head = clamp_head(series);
    uint32_t end = abs_length(series);
    Compactor text{node_of(series), head};
    bool space_due = false;
    for (uint32_t i = head; i < end; ++i) {
        uint32_t c = text.at(i);
        if (is_whitespace(c)) {
            space_due = text.write > head;
            continue;
        }
        if (space_due) text.keep(' ');
        space_due = false;
        text.keep(c);
    }
    text.finish();
}

// Inside the text: blanks after a line feed and a run of blanks before one are dropped.
void trim_inner_blanks(Compactor& text, uint32_t from, uint32_t to) {
    uint32_t run = from;  // start of the pending run of blanks
    bool after_line_feed = false;
    for (uint32_t i = from; i < to; ++i) {
        uint32_t c = text.at(i);
        if (is_blank(c)) continue;
        if (c != '\n' && !after_line_feed) text.keep_run(run, i);
        text.keep(c);
        after_line_feed = c == '\n';
        run = i + 1;
    }
}

// Leading blanks go unless only /tail is given, trailing ones unless only /head is; with
// neither, the blanks around line feeds go too and a dropped final line feed comes back.
void trim_ends(Cell* series, bool head_given, bool tail_given) {
    uint32_t head = clamp_head(series);
    uint32_t end = abs_length(series);
    Compactor text{node_of(series), head};
    uint32_t first = head;
    uint32_t last = end;
    if (head_given || !tail_given)
        while (first < end && is_whitespace(text.at(first))) ++first;
    if (tail_given || !head_given)
        while (last > first && is_whitespace(text.at(last - 1))) --last;
    bool dropped_line_feed = false;
    for (uint32_t i = last; i < end; ++i) dropped_line_feed |= text.at(i) == '\n';
    if (head_given || tail_given) text.keep_run(first, last);
    else trim_inner_blanks(text, first, last);
    if (dropped_line_feed && !tail_given) text.keep('\n');
    text.finish();
}

}  // namespace

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    if (auto_ && !all && !with) fire(err::not_done);
    ownership::before(*series, Change::trim, nullptr, int32_t(clamp_head(series)), int32_t(length(series)));
    if (all || with) trim_all(series, with);
    else if (lines) trim_lines(series);
    else trim_ends(series, head, tail);
    ownership::after(*series, Change::trim, nullptr, int32_t(clamp_head(series)), int32_t(length(series)));
    return series;
}

// ---- set operations ----

namespace {

bool wanted(SetOp op, const Cell* other, uint32_t cp, uint32_t step, bool case_sensitive) {
    switch (op) {
    case SET_INTERSECT: return find_char_step(other, cp, step, case_sensitive);
    case SET_EXCLUDE: case SET_DIFFERENCE: return !find_char_step(other, cp, step, case_sensitive);
    default: return true;
    }
}

// Appends each record of `from` whose first character is wanted and not yet in the result.
void collect_records(Cell* result, const Cell* from, const Cell* other, SetOp op, uint32_t step,
                     bool case_sensitive) {
    uint32_t start = std::min(from->s1, abs_length(from));
    for (uint32_t i = start; i < abs_length(from); i += step) {
        uint32_t cp = abs_at(from, i);
        if (!wanted(op, other, cp, step, case_sensitive)) continue;
        if (find_char_step(result, cp, step, case_sensitive)) continue;
        uint32_t end = std::min(i + step, abs_length(from));
        for (uint32_t k = i; k < end; ++k) append_char(node_of(result), abs_at(from, k));
    }
}

}  // namespace

Cell* do_set_op(Cell* first, const Cell* second, bool case_sensitive, const Cell* skip, SetOp op) {
    uint32_t step = 1;
    if (skip) {
        if (!skip->is(TYPE_INTEGER) || skip->i32() < 1) bad_refine_arg("skip", skip);
        step = uint32_t(skip->i32());
    }
    Cell* result = stack::push(make(length(first)));
    collect_records(result, first, second, op, step, case_sensitive);
    if (op == SET_UNION || op == SET_DIFFERENCE)
        collect_records(result, second, first, op, step, case_sensitive);
    TypeId type = first->type();
    *first = *result;
    first->set_type(type);
    stack::pop(1);
    return first;
}

}  // namespace vyn::string

namespace vyn {
namespace {

const SlotHandler string_actions[] = {
    act<A_MAKE>(string::make),
    act<A_TO>(string::to),
    act<A_FORM>(string::form),
    act<A_MOLD>(string::mold),
    act<A_EVAL_PATH>(string::eval_path),
    act<A_COMPARE>(string::compare),
    act<A_APPEND>(string::append),
    act<A_CHANGE>(string::change),
    act<A_FIND>(string::find),
    act<A_INSERT>(string::insert),
    act<A_SELECT>(string::select),
    act<A_SORT>(string::sort),
    act<A_SWAP>(string::swap),
    act<A_TAKE>(string::take),
    act<A_TRIM>(string::trim),
};

}  // namespace

void string_init() {
    datatype::register_type(TYPE_STRING, TYPE_SERIES, "string!", INHERIT, string_actions);
}

void register_text_type(TypeId id, const char* name, std::span<const SlotHandler> own) {
    static constexpr SlotHandler without[] = {
        unsupported_at<A_RANDOM>(),    unsupported_at<A_SET_PATH>(),   unsupported_at<A_ABSOLUTE>(),
        unsupported_at<A_ADD>(),       unsupported_at<A_DIVIDE>(),     unsupported_at<A_MULTIPLY>(),
        unsupported_at<A_NEGATE>(),    unsupported_at<A_POWER>(),      unsupported_at<A_REMAINDER>(),
        unsupported_at<A_ROUND>(),     unsupported_at<A_SUBTRACT>(),   unsupported_at<A_EVEN_Q>(),
        unsupported_at<A_ODD_Q>(),     unsupported_at<A_AND_T>(),      unsupported_at<A_COMPLEMENT>(),
        unsupported_at<A_OR_T>(),      unsupported_at<A_XOR_T>(),      unsupported_at<A_SORT>(),
        unsupported_at<A_TRIM>(),      unsupported_at<A_CREATE>(),     unsupported_at<A_CLOSE>(),
        unsupported_at<A_DELETE>(),    unsupported_at<A_OPEN>(),       unsupported_at<A_OPEN_Q>(),
        unsupported_at<A_QUERY>(),     unsupported_at<A_READ>(),       unsupported_at<A_RENAME>(),
        unsupported_at<A_UPDATE>(),    unsupported_at<A_WRITE>(),
    };
    std::vector<SlotHandler> row(std::begin(without), std::end(without));
    row.insert(row.end(), own.begin(), own.end());
    datatype::register_type(id, TYPE_STRING, name, INHERIT, row);
}

}  // namespace vyn
