// The parse dialect: a recursive matcher of rule blocks over a string, binary or block input.
// Each rule block entered takes a frame of three cells on the shared rule stack (the block, the
// input at entry, the iteration record of the keyword governing it), so nesting depth is bounded
// by the stack limit, and every deeper step by a check of the native stack; runs started from a
// paren use the stacks above the outer run's. Both engine stacks are collector roots: every rule
// block and input series entered stays alive while it is matched. A failed rule always leaves
// the input position where it found it.
#include <string>
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// Either stack reaching this many cells ends the run with `parse-stack`.
constexpr size_t STACK_LIMIT = 10001;
constexpr size_t FRAME_CELLS = 3;

// The kind of a frame's iteration record.
enum Kind : int32_t {
    KIND_SEQUENCE = 0,  // a rule block that no keyword governs
    KIND_REPEAT = -1,
    KIND_TO = -2,
    KIND_THRU = -3,
    KIND_COPY = -4,
    KIND_SET = -5,
    KIND_NOT = -6,
    KIND_INTO = -7,
    KIND_REMOVE = -9,
    KIND_WHILE = -11,
    KIND_COLLECT = -12,
    KIND_KEEP = -13,
    KIND_KEEP_PAREN = -14,
    KIND_AHEAD = -16,
    KIND_CHANGE = -17,
    KIND_CHANGE_ONLY = -18,
    KIND_CASE = -19,
};

// Word matching codes of the compare action: 11 ignores case, 10 respects it.
constexpr int WORD_MATCH = 11;
constexpr int WORD_MATCH_CASE = 10;

// Frames: rule block, input at entry, iteration record. The capacity is the limit, which a frame
// checks before it is pushed, so a push is three stores.
struct {
    Cell cells[STACK_LIMIT];
    size_t size = 0;
} rule_stack;
std::vector<Cell> input_stack;  // inputs entered through into, collect targets, run results

void mark_stacks() {
    collector::mark_cells(rule_stack.cells, rule_stack.cells + rule_stack.size);
    collector::mark_cells(input_stack.data(), input_stack.data() + input_stack.size());
}

enum class Keyword : uint8_t {
    none_, any, break_, copy, end, fail, into, opt, not_, quote, case_, reject, set, skip, some,
    thru, to, none, bar, if_, remove, while_, insert, only, collect, keep, pick, ahead, after, change,
};

// Keywords by symbol id, case variants included, so a lookup is one bounds check and one load.
// Ids are never reused and an alias never changes: the table is rebuilt only when the runtime
// starts again, and extended over the symbols made since.
class KeywordTable {
public:
    // Before a run: the lookups of the run then find every symbol that exists.
    void refresh() {
        if (generation_ != memory::generation) rebuild();
        extend();
    }

    Keyword of(const Cell& word) {
        uint32_t id = word.s2;
        if (id >= table_.size()) extend();  // a symbol made by a paren during the run
        return table_[id];
    }

private:
    void rebuild() {
        using namespace words::sym;
        const std::pair<uint32_t, Keyword> entries[] = {
            {any, Keyword::any}, {break_, Keyword::break_}, {copy, Keyword::copy}, {end, Keyword::end},
            {fail, Keyword::fail}, {into, Keyword::into}, {opt, Keyword::opt}, {not_, Keyword::not_},
            {quote, Keyword::quote}, {case_, Keyword::case_}, {reject, Keyword::reject}, {set, Keyword::set},
            {skip, Keyword::skip}, {some, Keyword::some}, {thru, Keyword::thru}, {to, Keyword::to},
            {none, Keyword::none}, {bar, Keyword::bar}, {if_, Keyword::if_}, {remove, Keyword::remove},
            {while_, Keyword::while_}, {insert, Keyword::insert}, {only, Keyword::only},
            {collect, Keyword::collect}, {keep, Keyword::keep}, {pick, Keyword::pick},
            {ahead, Keyword::ahead}, {after, Keyword::after},
            {symbol::resolve(words::change.s2), Keyword::change},
        };
        table_.assign(symbol::count() + 1, Keyword::none_);
        for (const auto& [id, keyword] : entries) table_[symbol::resolve(id)] = keyword;
        for (uint32_t id = 1; id < table_.size(); ++id) table_[id] = table_[symbol::resolve(id)];
        generation_ = memory::generation;
    }

    // A case variant takes the keyword of its canonical spelling, an older symbol already listed.
    void extend() {
        for (uint32_t id = uint32_t(table_.size()); id <= symbol::count(); ++id) {
            uint32_t canonical = symbol::resolve(id);
            table_.push_back(canonical < id ? table_[canonical] : Keyword::none_);
        }
    }

    std::vector<Keyword> table_;
    uint32_t generation_ = 0;
};

KeywordTable keywords;

// The keyword a rule cell names, none_ for any other cell.
Keyword keyword_of(const Cell& c) { return c.is(TYPE_WORD) ? keywords.of(c) : Keyword::none_; }

bool is_keyword(const Cell& c, Keyword k) { return keyword_of(c) == k; }

// How a rule ended. break and reject end the rule block they stand in, and the repetition that
// governs it, with success and failure.
enum class Status : uint8_t { failed, matched, broken, rejected };

bool succeeded(Status s) { return s == Status::matched || s == Status::broken; }

struct Outcome {
    uint32_t next;  // the rule index after the rule
    Status status;
};

// What governs a rule block entered, recorded in its frame: the keyword's kind and its bounds.
struct Iteration {
    int32_t min;
    int32_t max;  // -1: unbounded
    Kind kind;

    Cell record() const { return make_cell(TYPE_TRIPLE, uint32_t(min), uint32_t(max), uint32_t(kind)); }
};

constexpr Iteration SEQUENCE{1, 1, KIND_SEQUENCE};

// A block holds cells: its tail needs no division by a unit read from the buffer.
uint32_t block_tail(const Cell& block) {
    return memory::series_of(block.s2)->used_bytes() / uint32_t(sizeof(Cell));
}

enum class InputKind : uint8_t { text, bytes, cells };

InputKind input_kind(TypeId type) {
    if (series::is_block_type(type)) return InputKind::cells;
    return type == TYPE_BINARY ? InputKind::bytes : InputKind::text;
}

bool is_textual(TypeId type) { return string::is_text(type); }

// Pushes a frame of the rule stack for a scope; pops it when the scope ends.
class Frame {
public:
    template <typename Engine>
    Frame(Engine& engine, const Cell& rules);
    ~Frame() { rule_stack.size = at_; }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

private:
    size_t at_;
};

// A falsy answer of the trace callback ends the run with the match state of that moment.
struct Stopped {
    bool matched;
};

// A run of the rules over the input. The engine for a run with a trace callback is compiled
// apart, so a run without one pays nothing for the trace events.
template <bool Traced>
class Engine {
public:
    Engine(const Cell& input, int64_t limit, bool case_sensitive, const Cell* tracer)
        : input_(input), kind_(input_kind(input.type())), limit_(limit), case_(case_sensitive),
          tracer_(tracer), rule_base_(rule_stack.size), input_base_(input_stack.size()) {
        if (rule_base_ == 0 && input_base_ == 0) collector::add_root(mark_stacks);
        keywords.refresh();
        input_stack.push_back(none_cell());  // the run's collected result
    }
    ~Engine() {
        rule_stack.size = rule_base_;
        input_stack.resize(input_base_);
    }

    // The result of the native: the top-level collect's block, else whether the rules matched
    // up to the tail or the limit.
    Cell run(const Cell& rules) {
        Rooted top(rules);
        Status status = match_block(*top);
        bool done = succeeded(status) && position() >= end();
        event(words::end, done, *top, top->s1);
        Cell result = input_stack[input_base_];
        return result.is(TYPE_NONE) ? logic_cell(done) : result;
    }

    const Cell& input() const { return input_; }
    uint32_t position() const { return input_.s1; }

private:
    friend class Frame;

    // ---- Input ----

    uint32_t tail() const { return memory::series_of(input_.s2)->length(); }
    uint32_t end() const {
        uint32_t t = tail();
        return limit_ >= 0 && limit_ < t ? uint32_t(limit_) : t;
    }
    void move_to(uint32_t pos) { input_.s1 = pos; }
    uint32_t clamped(uint32_t pos) const { return std::min(pos, tail()); }
    InputKind kind() const { return kind_; }
    // Matching goes on in another series (into) or back in the outer one.
    void enter(const Cell& input, int64_t limit) {
        input_ = input;
        kind_ = input_kind(input.type());
        limit_ = limit;
    }
    // The element at an index as a value: a char! of text, an integer! byte, a block's cell;
    // none past the tail, where a paren may have cut the input.
    Cell element_at(uint32_t i) const {
        if (i >= tail()) return none_cell();
        Series* b = memory::series_of(input_.s2);
        switch (kind()) {
        case InputKind::cells: return b->cells()[i];
        case InputKind::bytes: return integer_cell(b->head_ptr()[i]);
        case InputKind::text: return char_cell(string::get_char(b->head_ptr() + size_t(i) * b->unit(), b->unit()));
        }
        return none_cell();
    }
    uint32_t char_at(const Series* b, uint32_t i) const {
        return string::get_char(const_cast<Series*>(b)->head_ptr() + size_t(i) * b->unit(), b->unit());
    }
    int compare_op() const { return case_ ? CMP_STRICT_EQUAL : CMP_EQUAL; }

    // ---- Rules ----

    static uint32_t rules_tail(const Cell& rules) { return block_tail(rules); }
    Cell rule_at(const Cell& rules, uint32_t i, const Cell& after) const {
        if (i >= rules_tail(rules)) fire(err::parse_end, &after);
        return cell_at(rules, i);
    }

    // A rule block from its position: alternatives separated by |, each a sequence of rules.
    Status match_block(const Cell& rules) {
        Frame frame(*this, rules);
        event(words::push, true, rules, rules.s1);
        uint32_t entry = position();
        Status status = Status::matched;
        for (uint32_t i = rules.s1; i < rules_tail(rules);) {
            const Cell rule = cell_at(rules, i);
            const Keyword k = keyword_of(rule);
            if (k == Keyword::bar) break;
            Outcome o = match_rule(rules, i, rule, k);
            if (k == Keyword::break_ || k == Keyword::reject) {
                status = o.status;  // ends this block and the repetition governing it
                break;
            }
            if (succeeded(o.status)) {  // a sub-block that a break ended has matched
                i = o.next;
                continue;
            }
            uint32_t bar = next_bar(rules, o.next);
            move_to(clamped(entry));
            if (bar == NO_BAR) {
                status = Status::failed;
                break;
            }
            i = bar + 1;
        }
        if (!succeeded(status)) move_to(clamped(entry));
        event(words::pop, succeeded(status), rules, rules.s1);
        return status;
    }

    // The index of the next | at or after `from`, or NO_BAR.
    static constexpr uint32_t NO_BAR = UINT32_MAX;
    static uint32_t next_bar(const Cell& rules, uint32_t from) {
        for (uint32_t i = from; i < rules_tail(rules); ++i)
            if (is_keyword(cell_at(rules, i), Keyword::bar)) return i;
        return NO_BAR;
    }

    // The rule at j under a keyword: a rule block entered for it records the iteration in its
    // frame.
    Outcome governed(const Cell& rules, uint32_t j, Iteration how) {
        if (runtime::native_stack_exhausted()) fire(err::parse_stack);  // a long chain of keywords
        governing_ = how.record();
        Outcome o = match_rule(rules, j);
        governing_ = SEQUENCE.record();
        return o;
    }

    // One rule at index i with what governs it; a failure leaves the input where it was. A
    // rule that a paren cut from its block since it was first reached fails.
    Outcome match_rule(const Cell& rules, uint32_t i) {
        if (i >= rules_tail(rules)) return {i, Status::failed};
        const Cell rule = cell_at(rules, i);
        return match_rule(rules, i, rule, keyword_of(rule));
    }

    // The rule as read at i, with the keyword it names (none_ for any other cell).
    Outcome match_rule(const Cell& rules, uint32_t i, const Cell& rule, Keyword k) {
        uint32_t entry = position();
        event(words::fetch, true, rules, i);
        // A block, the commonest rule that is not a keyword, skips the dispatch's call.
        Outcome o = k != Keyword::none_   ? keyword(rules, i, rule, k)
                    : rule.is(TYPE_BLOCK) ? Outcome{i + 1, match_block(rule)}
                                          : dispatch(rules, i, rule);
        if (!succeeded(o.status)) move_to(clamped(entry));
        event(words::match, succeeded(o.status), rules, i);
        return o;
    }

    // A rule that is not a keyword.
    Outcome dispatch(const Cell& rules, uint32_t i, const Cell& rule) {
        switch (rule.type()) {
        case TYPE_WORD: {
            Cell value = word::get(rule);
            if (value.is(TYPE_INTEGER)) return counted(rules, i, value);
            return {i + 1, match_value(value)};
        }
        case TYPE_INTEGER: return counted(rules, i, rule);
        case TYPE_SET_WORD: {
            set_word(rule, position_value(position()));
            return {i + 1, Status::matched};
        }
        case TYPE_GET_WORD: {
            Cell held = word::get(rule);
            if (held.type() != input_.type() || held.s2 != input_.s2) fire(err::parse_invalid_ref, &rule);
            move_to(clamped(held.s1));
            return {i + 1, Status::matched};
        }
        case TYPE_PAREN:
            evaluate(rule);
            event(words::paren, true, rules, i);
            return {i + 1, Status::matched};
        case TYPE_PATH:
        case TYPE_SET_PATH:
        case TYPE_GET_PATH: fire(err::parse_rule, &rule);
        default: return {i + 1, match_value(rule)};
        }
    }

    // ---- Values ----

    // A rule value at the current position: a block is entered, other values are matched.
    Status match_value(const Cell& value) {
        if (value.is(TYPE_BLOCK)) return match_block(value);
        if (value.is(TYPE_NONE)) return Status::matched;
        uint32_t pos = position();
        uint32_t length = 0;
        if (!match_here(value, pos, length)) return Status::failed;
        move_to(pos + length);
        return Status::matched;
    }

    // Whether a value matches at `pos`; `length` gets the elements it covers.
    bool match_here(const Cell& value, uint32_t pos, uint32_t& length) {
        switch (kind()) {
        case InputKind::cells: return match_cell(value, pos, length);
        case InputKind::text: return match_text(value, pos, length);
        case InputKind::bytes: return match_bytes(value, pos, length);
        }
        return false;
    }

    bool match_cell(const Cell& value, uint32_t pos, uint32_t& length) {
        if (pos >= end()) return false;
        length = 1;
        Cell element = element_at(pos);
        switch (value.type()) {
        case TYPE_DATATYPE: return element.type() == TypeId(value.s1);
        case TYPE_TYPESET: return typeset::has(value, element.type());
        case TYPE_LIT_WORD:
        case TYPE_LIT_PATH: return actions::compare(&element, &value, case_ ? WORD_MATCH_CASE : WORD_MATCH);
        default: return actions::compare(&element, &value, compare_op());
        }
    }

    bool match_text(const Cell& value, uint32_t pos, uint32_t& length) {
        uint32_t stop = end();
        Series* b = memory::series_of(input_.s2);
        switch (value.type()) {
        case TYPE_CHAR:
            length = 1;
            return pos < stop && string::folded(char_at(b, pos), !case_) == string::folded(value.s2, !case_);
        case TYPE_BITSET: length = 1; return pos < stop && string::in_bitset(&value, char_at(b, pos));
        case TYPE_DATATYPE:
        case TYPE_TYPESET: fire(err::parse_unsupported);
        default: break;
        }
        if (!is_textual(value.type())) fire(err::parse_rule, &value);
        string::View text = string::view_of(&value);
        bool tag = value.is(TYPE_TAG);
        length = text.length + (tag ? 2 : 0);
        if (uint64_t(pos) + length > stop) return false;
        if (tag && (char_at(b, pos) != '<' || char_at(b, pos + length - 1) != '>')) return false;
        uint32_t from = pos + (tag ? 1 : 0);
        for (uint32_t k = 0; k < text.length; ++k)
            if (string::folded(char_at(b, from + k), !case_) != string::folded(text.at(k), !case_)) return false;
        return true;
    }

    bool match_bytes(const Cell& value, uint32_t pos, uint32_t& length) {
        uint32_t stop = end();
        const uint8_t* bytes = memory::series_of(input_.s2)->head_ptr();
        switch (value.type()) {
        case TYPE_CHAR: length = 1; return pos < stop && bytes[pos] == value.s2;
        case TYPE_BITSET: length = 1; return pos < stop && string::in_bitset(&value, bytes[pos]);
        case TYPE_DATATYPE:
        case TYPE_TYPESET: return match_token(value, pos, length);
        case TYPE_BINARY: {
            Series* rule = memory::series_of(value.s2);
            uint32_t from = std::min<uint32_t>(value.s1, rule->length());
            length = rule->length() - from;
            return uint64_t(pos) + length <= stop && std::memcmp(bytes + pos, rule->head_ptr() + from, length) == 0;
        }
        default: break;
        }
        if (!is_textual(value.type())) fire(err::parse_rule, &value);
        std::string text = string::to_utf8(&value);
        if (value.is(TYPE_TAG)) text = "<" + text + ">";
        length = uint32_t(text.size());
        bytes = memory::series_of(input_.s2)->head_ptr();
        return uint64_t(pos) + length <= stop && std::memcmp(bytes + pos, text.data(), length) == 0;
    }

    // A datatype on binary input: the next token, as the lexer reads it, must be of that type.
    // The lexer reads a copy (series buffers may move): a window that doubles while the token
    // may run past it, so a run over many tokens does not copy the rest of the input each time.
    bool match_token(const Cell& type, uint32_t pos, uint32_t& length) {
        uint32_t stop = end();
        if (pos >= stop) return false;
        size_t rest = stop - pos;
        lexer::ScanOptions options;
        options.mode = lexer::Mode::scan;
        options.one_value = true;
        options.output = false;
        Rooted found;
        lexer::ScanResult r{};
        for (size_t window = std::min<size_t>(rest, 256);; window = std::min(rest, window * 2)) {
            const uint8_t* bytes = memory::series_of(input_.s2)->head_ptr() + pos;
            std::string text(reinterpret_cast<const char*>(bytes), window);
            r = lexer::scan(found.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), options);
            bool unread = r.type == TYPE_NONE_ID || r.type == TYPE_ERROR || r.consumed >= window;
            if (window == rest || !unread) break;
        }
        if (r.type == TYPE_NONE_ID || r.type == TYPE_ERROR) return false;
        length = r.consumed;
        return type.is(TYPE_DATATYPE) ? r.type == TypeId(type.s1) : typeset::has(type, r.type);
    }

    // ---- Keywords ----

    // The handlers of the keywords that take more than a few lines stay out of line
    // ([[gnu::noinline]]): this switch is then a jump, and the common rules do not pay for the
    // registers and stack the rare ones need.
    Outcome keyword(const Cell& rules, uint32_t i, const Cell& word, Keyword k) {
        switch (k) {
        case Keyword::skip: return {i + 1, step(position() < end())};
        case Keyword::end: return {i + 1, position() >= end() ? Status::matched : Status::failed};
        case Keyword::none: return {i + 1, Status::matched};
        case Keyword::fail: return {i + 1, Status::failed};
        case Keyword::break_: return {i + 1, Status::broken};
        case Keyword::reject: return {i + 1, Status::rejected};
        case Keyword::any: return repeat(rules, i + 1, word, {0, -1, KIND_REPEAT});
        case Keyword::some: return repeat(rules, i + 1, word, {1, -1, KIND_REPEAT});
        case Keyword::opt: return repeat(rules, i + 1, word, {0, 1, KIND_REPEAT});
        case Keyword::while_: return repeat(rules, i + 1, word, {0, -1, KIND_WHILE});
        case Keyword::to: return to_thru(rules, i + 1, word, false);
        case Keyword::thru: return to_thru(rules, i + 1, word, true);
        case Keyword::copy:
        case Keyword::set: return set_copy(rules, i, word, k == Keyword::copy);
        case Keyword::not_: return look_ahead(rules, i + 1, word, true);
        case Keyword::ahead: return look_ahead(rules, i + 1, word, false);
        case Keyword::quote: return quote(rules, i + 1, word);
        case Keyword::if_: return if_(rules, i + 1, word);
        case Keyword::into: return into(rules, i + 1, word);
        case Keyword::remove: return remove(rules, i + 1, word);
        case Keyword::insert: return insert(rules, i + 1, word);
        case Keyword::change: return change(rules, i + 1, word);
        case Keyword::collect: return collect(rules, i + 1, word);
        case Keyword::keep: return keep(rules, i + 1, word);
        case Keyword::case_: return case_rule(rules, i + 1, word);
        default: fire(err::parse_rule, &word);
        }
    }

    Status step(bool possible) {
        if (!possible) return Status::failed;
        move_to(position() + 1);
        return Status::matched;
    }

    // The rule a keyword governs must follow it.
    void need_rule(const Cell& rules, uint32_t i, const Cell& keyword) const { rule_at(rules, i, keyword); }

    // N, or N M, then the rule they govern.
    Outcome counted(const Cell& rules, uint32_t i, const Cell& first) {
        int32_t min = first.i32();
        int32_t max = min;
        uint32_t j = i + 1;
        if (j < rules_tail(rules)) {
            Cell second = count_at(rules, j);
            if (second.is(TYPE_INTEGER)) {
                max = second.i32();
                ++j;
            }
        }
        if (min < 0) fire(err::out_of_range, &first);
        if (max < 0) {
            Cell bad = integer_cell(max);
            fire(err::out_of_range, &bad);
        }
        Cell at = cell_at(rules, i);
        if (max < min || j >= rules_tail(rules)) fire(err::parse_rule, &at);
        return repeat(rules, j, at, {min, max, KIND_REPEAT});
    }

    // An integer! at index j, or the one a word there holds; none otherwise.
    Cell count_at(const Cell& rules, uint32_t j) const {
        Cell c = cell_at(rules, j);
        if (c.is(TYPE_INTEGER)) return c;
        if (c.is(TYPE_WORD) && keywords.of(c) == Keyword::none_) {
            Cell v = word::get_any(c);
            if (v.is(TYPE_INTEGER)) return v;
        }
        return none_cell();
    }

    // Repetition of the rule at j between min and max (-1: unbounded) times. A pass that moves
    // nothing and shortens nothing ends it (the same pass would repeat forever), except for while.
    Outcome repeat(const Cell& rules, uint32_t j, const Cell& keyword, Iteration how) {
        need_rule(rules, j, keyword);
        if (how.max == 0) return {rule_end(rules, j), Status::matched};
        if (how.kind == KIND_REPEAT) {
            Outcome fast;
            if (repeat_fast(rules, j, how.min, how.max, fast)) return fast;
        }
        uint32_t entry = position();
        int32_t count = 0;
        uint32_t next = j;
        while (how.max < 0 || count < how.max) {
            uint32_t start = position();
            uint32_t length = tail();
            Outcome o = governed(rules, j, how);
            next = o.next;
            event(words::iterate, succeeded(o.status), rules, j);
            if (o.status == Status::failed) break;
            if (o.status == Status::broken) return {next, Status::matched};
            if (o.status == Status::rejected) {
                move_to(clamped(entry));
                return {next, Status::failed};
            }
            ++count;
            if (how.kind != KIND_WHILE && position() == start && tail() >= length) {
                count = std::max(count, how.min);
                break;
            }
        }
        if (count < how.min) return {next, Status::failed};
        return {next, Status::matched};
    }

    // Repetitions of one char!, bitset! or text over text or bytes, counted in a tight loop.
    bool repeat_fast(const Cell& rules, uint32_t j, int32_t min, int32_t max, Outcome& out) {
        if (kind() == InputKind::cells) return false;
        Cell value = cell_at(rules, j);
        if (value.is(TYPE_WORD)) {
            if (keywords.of(value) != Keyword::none_) return false;
            value = word::get_any(value);
        }
        bool element = value.is(TYPE_CHAR) || value.is(TYPE_BITSET);
        if (!element && !is_textual(value.type())) return false;
        if (!element && string::length(&value) == 0) return false;
        uint32_t pos = position();
        int32_t count = 0;
        if (element) {
            count = element_run(value, pos, max);
            pos += uint32_t(count);
        } else {
            uint32_t length = 0;
            while ((max < 0 || count < max) && match_here(value, pos, length)) {
                pos += length;
                ++count;
            }
        }
        out = {j + 1, count >= min ? Status::matched : Status::failed};
        if (count >= min) move_to(pos);
        return true;
    }

    // How many elements from `pos`, at most `max` (-1: no limit), one char! or bitset! matches
    // as match_text and match_bytes match it, read straight from the buffer.
    int32_t element_run(const Cell& value, uint32_t pos, int32_t max) const {
        uint64_t stop = end();
        if (max >= 0) stop = std::min<uint64_t>(stop, uint64_t(pos) + uint32_t(max));
        if (value.is(TYPE_BITSET)) {
            const string::Bits bits = string::bits_of(&value);
            return run_while(pos, stop, [bits](uint32_t c) { return bits.has(c); });
        }
        if (kind() == InputKind::bytes)
            return run_while(pos, stop, [byte = value.s2](uint32_t c) { return c == byte; });
        const bool fold = !case_;
        const uint32_t wanted = string::folded(value.s2, fold);
        return run_while(pos, stop, [fold, wanted](uint32_t c) { return string::folded(c, fold) == wanted; });
    }

    // How many elements from `pos` before `stop` pass the test. The buffer's unit is read once:
    // nothing changes the buffer while they are counted.
    template <typename Test>
    int32_t run_while(uint32_t pos, uint64_t stop, Test test) const {
        Series* b = memory::series_of(input_.s2);
        switch (b->unit()) {
        case 1: return count_while<1>(b->head_ptr(), pos, stop, test);
        case 2: return count_while<2>(b->head_ptr(), pos, stop, test);
        default: return count_while<4>(b->head_ptr(), pos, stop, test);
        }
    }

    template <int Unit, typename Test>
    static int32_t count_while(const uint8_t* head, uint32_t pos, uint64_t stop, Test test) {
        uint32_t p = pos;
        while (p < stop && test(string::get_char(head + size_t(p) * Unit, Unit))) ++p;
        return int32_t(p - pos);
    }

    // The index after the rule at j, without matching it.
    uint32_t rule_end(const Cell& rules, uint32_t j) const {
        if (runtime::native_stack_exhausted()) fire(err::parse_stack);
        Cell c = rule_at(rules, j, cell_at(rules, j - 1));
        if (count_at(rules, j).is(TYPE_INTEGER)) {
            uint32_t k = j + 1;
            if (k < rules_tail(rules) && count_at(rules, k).is(TYPE_INTEGER)) ++k;
            return rule_end(rules, k);
        }
        if (!c.is(TYPE_WORD)) return j + 1;
        switch (keywords.of(c)) {
        case Keyword::any: case Keyword::some: case Keyword::opt: case Keyword::while_:
        case Keyword::to: case Keyword::thru: case Keyword::not_: case Keyword::ahead:
        case Keyword::into: return rule_end(rules, j + 1);
        case Keyword::quote: case Keyword::if_: return j + 2;
        case Keyword::copy: case Keyword::set: case Keyword::case_: return rule_end(rules, j + 2);
        case Keyword::remove: return removal_word(rules, j + 1) ? j + 2 : rule_end(rules, j + 1);
        case Keyword::insert: return j + (only_at(rules, j + 1) ? 3 : 2);
        case Keyword::change: {
            uint32_t k = j + (only_at(rules, j + 1) ? 2 : 1);
            return (removal_word(rules, k) ? k + 1 : rule_end(rules, k)) + 1;
        }
        case Keyword::collect: return rule_end(rules, j + (collect_option(rules, j + 1) ? 3 : 1));
        case Keyword::keep: {
            uint32_t k = j + (is_keyword_at(rules, j + 1, Keyword::pick) ? 2 : 1);
            return k < rules_tail(rules) && cell_at(rules, k).is(TYPE_PAREN) ? k + 1 : rule_end(rules, k);
        }
        default: return j + 1;
        }
    }

    static bool is_keyword_at(const Cell& rules, uint32_t j, Keyword k) {
        return j < rules_tail(rules) && is_keyword(cell_at(rules, j), k);
    }
    static bool only_at(const Cell& rules, uint32_t j) { return is_keyword_at(rules, j, Keyword::only); }
    static bool collect_option(const Cell& rules, uint32_t j) {
        return is_keyword_at(rules, j, Keyword::set) || is_keyword_at(rules, j, Keyword::into) ||
               is_keyword_at(rules, j, Keyword::after);
    }

    // A word at j holding a position in the input series: remove and change act up to it.
    bool removal_word(const Cell& rules, uint32_t j) const {
        if (j >= rules_tail(rules)) return false;
        Cell c = cell_at(rules, j);
        if (!c.is(TYPE_WORD) || keywords.of(c) != Keyword::none_) return false;
        Cell v = word::get_any(c);
        return v.type() == input_.type() && v.s2 == input_.s2;
    }

    // to and thru: the first place from here where the rule matches.
    [[gnu::noinline]] Outcome to_thru(const Cell& rules, uint32_t j, const Cell& keyword, bool thru) {
        Cell target = rule_at(rules, j, keyword);
        if (is_keyword(target, Keyword::end)) {
            move_to(end());
            return {j + 1, Status::matched};
        }
        Cell value = target;
        if (value.is(TYPE_WORD) && keywords.of(value) == Keyword::none_) value = word::get(value);
        if (is_literal(value)) return {j + 1, search(value, thru)};
        uint32_t next = j + 1;
        for (uint32_t p = position(); p <= end(); ++p) {
            move_to(p);
            Outcome o = governed(rules, j, {1, 1, thru ? KIND_THRU : KIND_TO});
            next = o.next;
            if (succeeded(o.status)) {
                if (!thru) move_to(p);
                return {next, Status::matched};
            }
        }
        return {next, Status::failed};
    }

    // Values that to and thru search for directly.
    bool is_literal(const Cell& value) const {
        if (kind() == InputKind::cells) {
            TypeId t = value.type();
            return t != TYPE_DATATYPE && t != TYPE_TYPESET && t != TYPE_INTEGER && t != TYPE_NONE &&
                   !word::any_word(t) && !series::is_block_type(t);
        }
        return value.is(TYPE_CHAR) || value.is(TYPE_BITSET) || is_textual(value.type()) || value.is(TYPE_BINARY);
    }

    Status search(const Cell& value, bool thru) {
        uint32_t length = 0;
        for (uint32_t p = position(), stop = end(); p < stop; ++p) {
            if (!match_here(value, p, length)) continue;
            move_to(thru ? p + length : p);
            return Status::matched;
        }
        return Status::failed;
    }

    // set word rule / copy word rule.
    [[gnu::noinline]] Outcome set_copy(const Cell& rules, uint32_t i, const Cell& keyword, bool copy) {
        Cell target = rule_at(rules, i + 1, keyword);
        if (!target.is(TYPE_WORD)) fire(err::parse_rule, &keyword);
        need_rule(rules, i + 2, keyword);
        uint32_t start = position();
        Outcome o = governed(rules, i + 2, {1, 1, copy ? KIND_COPY : KIND_SET});
        if (!succeeded(o.status)) return o;
        uint32_t count = position() - std::min(start, position());
        Rooted word(target);
        Rooted value(copy ? copy_range(start, count) : count > 0 ? element_at(start) : none_cell());
        set_word(*word, *value);
        return o;
    }

    // not inverts the match; ahead keeps it. Neither consumes input.
    [[gnu::noinline]] Outcome look_ahead(const Cell& rules, uint32_t j, const Cell& keyword, bool invert) {
        need_rule(rules, j, keyword);
        uint32_t start = position();
        Outcome o = governed(rules, j, {1, 1, invert ? KIND_NOT : KIND_AHEAD});
        move_to(clamped(start));
        return {o.next, succeeded(o.status) != invert ? Status::matched : Status::failed};
    }

    [[gnu::noinline]] Outcome quote(const Cell& rules, uint32_t j, const Cell& keyword) {
        Cell value = rule_at(rules, j, keyword);
        uint32_t length = 0;
        if (!match_here(value, position(), length)) return {j + 1, Status::failed};
        move_to(position() + length);
        return {j + 1, Status::matched};
    }

    [[gnu::noinline]] Outcome if_(const Cell& rules, uint32_t j, const Cell& keyword) {
        if (j >= rules_tail(rules) || !cell_at(rules, j).is(TYPE_PAREN)) fire(err::parse_end, &keyword);
        Cell value = evaluate(cell_at(rules, j));
        event(words::paren, true, rules, j);
        return {j + 1, truthy(value) ? Status::matched : Status::failed};
    }

    // into: the current element is a series whose elements the rule must match to its tail.
    [[gnu::noinline]] Outcome into(const Cell& rules, uint32_t j, const Cell& keyword) {
        need_rule(rules, j, keyword);
        if (kind() != InputKind::cells) fire(err::parse_block, &input_);
        uint32_t pos = position();
        Cell element = pos < end() ? element_at(pos) : none_cell();
        TypeId t = element.type();
        bool enterable = series::is_series_type(t) && t != TYPE_IMAGE && t != TYPE_VECTOR;
        if (!enterable) return {rule_end(rules, j), Status::failed};
        Cell outer = input_;
        int64_t outer_limit = limit_;
        input_stack.push_back(element);
        enter(element, -1);
        move_to(clamped(position()));
        Outcome o = governed(rules, j, {1, 1, KIND_INTO});
        bool whole = succeeded(o.status) && position() >= end();
        enter(outer, outer_limit);
        input_stack.pop_back();
        if (!whole) return {o.next, Status::failed};
        move_to(pos + 1);
        return {o.next, Status::matched};
    }

    // ---- Modification ----

    // remove rule, or remove word (between the word's position and here).
    [[gnu::noinline]] Outcome remove(const Cell& rules, uint32_t j, const Cell& keyword) {
        need_rule(rules, j, keyword);
        if (removal_word(rules, j)) {
            cut(word::get(cell_at(rules, j)).s1, position());
            return {j + 1, Status::matched};
        }
        uint32_t start = position();
        Outcome o = governed(rules, j, {1, 1, KIND_REMOVE});
        if (succeeded(o.status)) cut(start, position());
        return o;
    }

    // insert [only] value: the value goes in at the current position, which moves past it.
    [[gnu::noinline]] Outcome insert(const Cell& rules, uint32_t j, const Cell& keyword) {
        bool only = only_at(rules, j);
        uint32_t k = j + (only ? 1 : 0);
        Rooted value(operand(rule_at(rules, k, keyword)));
        move_to(put(clamped(position()), *value, only));
        return {k + 1, Status::matched};
    }

    // change [only] rule value, or change [only] word value (between the word's position and here).
    [[gnu::noinline]] Outcome change(const Cell& rules, uint32_t j, const Cell& keyword) {
        bool only = only_at(rules, j);
        uint32_t k = j + (only ? 1 : 0);
        need_rule(rules, k, keyword);
        uint32_t start = position();
        uint32_t next;
        if (removal_word(rules, k)) {
            start = word::get(cell_at(rules, k)).s1;
            next = k + 1;
        } else {
            Outcome o = governed(rules, k, {1, 1, only ? KIND_CHANGE_ONLY : KIND_CHANGE});
            if (!succeeded(o.status)) return {o.next + 1, Status::failed};
            next = o.next;
        }
        Rooted value(operand(rule_at(rules, next, keyword)));
        cut(start, position());
        move_to(put(position(), *value, only));
        return {next + 1, Status::matched};
    }

    // The value a modification uses: a paren's result, a word's value, or the cell itself.
    Cell operand(const Cell& c) {
        if (c.is(TYPE_PAREN)) return evaluate(c);
        if (c.is(TYPE_WORD)) return word::get(c);
        return c;
    }

    // Removes the elements between two positions, in either order; the position goes to the first.
    void cut(uint32_t a, uint32_t b) {
        uint32_t from = clamped(std::min(a, b));
        uint32_t count = clamped(std::max(a, b)) - from;
        move_to(from);
        if (count == 0) return;
        Cell* mark = stack::top;
        Cell* slot = stack::push(input_);
        Cell part = integer_cell(int32_t(count));
        actions::handler_of<A_REMOVE>(slot)(slot, &part, nullptr);
        stack::top = mark;
        if (limit_ > int64_t(from)) limit_ = std::max<int64_t>(from, limit_ - count);
    }

    // Inserts a value at `at`; returns the position after it.
    uint32_t put(uint32_t at, const Cell& value, bool only) {
        uint32_t before = tail();
        Cell* mark = stack::top;
        Cell* slot = stack::push(input_);
        slot->s1 = at;
        Cell* after = actions::handler_of<A_INSERT>(slot)(slot, &value, nullptr, only, nullptr);
        uint32_t next = after->s1;
        stack::top = mark;
        if (limit_ >= int64_t(at)) limit_ += tail() - before;
        return next;
    }

    // ---- Collecting ----

    // collect [set word | into word | after word] rule.
    [[gnu::noinline]] Outcome collect(const Cell& rules, uint32_t j, const Cell& keyword) {
        need_rule(rules, j, keyword);
        Cell option = cell_at(rules, j);
        Keyword how = collect_option(rules, j) ? keywords.of(option) : Keyword::none_;
        uint32_t k = j;
        Cell target_word = none_cell();
        if (how != Keyword::none_) {
            target_word = rule_at(rules, j + 1, option);
            if (!target_word.is(TYPE_WORD)) fire(err::parse_rule, &option);
            k = j + 2;
            need_rule(rules, k, keyword);
        }
        Rooted held(target_word);
        Cell target = how == Keyword::into || how == Keyword::after ? collect_series(*held) : new_block();
        size_t slot = input_stack.size();
        input_stack.push_back(target);
        targets_.push_back(slot);
        Outcome o = governed(rules, k, {1, 1, KIND_COLLECT});
        targets_.pop_back();
        Rooted result(input_stack[slot]);
        input_stack.pop_back();
        if (!succeeded(o.status)) return o;
        if (how == Keyword::after) {
            set_word(*held, *result);  // past what was kept
            return o;
        }
        result->s1 = target.s1;
        if (how == Keyword::set) set_word(*held, *result);
        else if (how == Keyword::none_) deliver(*result);
        return o;
    }

    // The series a collect into or after writes to: of the input's kind, not the input itself.
    Cell collect_series(const Cell& word) const {
        Cell s = word::get(word);
        TypeId t = s.type();
        bool compatible = series::is_block_type(t) ? kind() == InputKind::cells
                          : t == TYPE_BINARY       ? kind() == InputKind::bytes
                                                   : is_textual(t) && kind() == InputKind::text;
        if (!compatible) fire(err::parse_into_type);
        if (s.s2 == input_.s2) fire(err::parse_into_bad);
        return s;
    }

    static Cell new_block() {
        Cell b;
        block::make_at(&b, 8);
        return b;
    }

    // A plain collect's block goes to the enclosing collect, or becomes the run's result.
    void deliver(const Cell& block) {
        if (targets_.empty()) input_stack[input_base_] = block;
        else keep_value(block, false);
    }

    // A block at its tail that no object owns: a kept value is one cell appended, no owner to
    // tell and nothing to move. The usual collect target.
    static bool appends_plainly(const Cell& target) {
        return target.is(TYPE_BLOCK) && target.s1 >= block_tail(target) && !ownership::may_be_owned(target);
    }

    // Puts a value at the innermost collect target's position, which moves past it.
    void keep_value(const Cell& value, bool spread) {
        if (targets_.empty()) fire(err::parse_keep);
        size_t at = targets_.back();
        Rooted held(value);
        Cell* mark = stack::top;
        Cell* slot = stack::push(input_stack[at]);
        if (!spread && appends_plainly(*slot)) {
            block::vs_append(slot, held.get());
            input_stack[at].s1 = memory::series_of(slot->s2)->length();
        } else if (series::vs_tail_q(slot)) {  // cheaper than an insertion
            actions::handler_of<A_APPEND>(slot)(slot, held.get(), nullptr, !spread, nullptr);
            input_stack[at].s1 = memory::series_of(slot->s2)->length();
        } else {
            input_stack[at].s1 = actions::handler_of<A_INSERT>(slot)(slot, held.get(), nullptr, !spread, nullptr)->s1;
        }
        stack::top = mark;
    }

    // keep [pick] rule, or keep [pick] (paren).
    [[gnu::noinline]] Outcome keep(const Cell& rules, uint32_t j, const Cell& keyword) {
        if (targets_.empty()) fire(err::parse_keep);
        Cell rule = rule_at(rules, j, keyword);
        bool pick = is_keyword(rule, Keyword::pick);
        uint32_t k = j + (pick ? 1 : 0);
        if (pick) rule = rule_at(rules, k, keyword);
        if (rule.is(TYPE_PAREN)) {
            Cell value = evaluate(rule);
            event(words::paren, true, rules, k);
            keep_value(value, pick && value.is(TYPE_BLOCK));
            return {k + 1, Status::matched};
        }
        uint32_t start = position();
        Outcome o = governed(rules, k, {1, 1, KIND_KEEP});
        if (!succeeded(o.status)) return o;
        uint32_t count = position() - std::min(start, position());
        if (count == 1) {
            keep_value(element_at(start), false);
        } else if (pick) {
            for (uint32_t e = 0; e < count; ++e) keep_value(element_at(start + e), false);
        } else if (count > 1) {
            keep_copy(start, count);
        }
        return o;
    }

    // Keeps the copy of `count` elements from `start`. A plain block target gets its room first,
    // so the fresh copy is stored before anything else can allocate and needs no rooting.
    void keep_copy(uint32_t start, uint32_t count) {
        size_t at = targets_.back();
        if (!appends_plainly(input_stack[at])) return keep_value(copy_range(start, count), false);
        memory::ensure_room(input_stack[at].s2, sizeof(Cell));
        block::vs_append_in_room(&input_stack[at], copy_range(start, count));
        input_stack[at].s1 = block_tail(input_stack[at]);
    }

    // case word rule: the word's value sets case sensitivity for the rule.
    [[gnu::noinline]] Outcome case_rule(const Cell& rules, uint32_t j, const Cell& keyword) {
        Cell word = rule_at(rules, j, keyword);
        if (!word.is(TYPE_WORD)) fire(err::parse_rule, &keyword);
        need_rule(rules, j + 1, keyword);
        bool saved = case_;
        case_ = truthy(word::get(word));
        Outcome o = governed(rules, j + 1, {1, 1, KIND_CASE});
        case_ = saved;
        return o;
    }

    // ---- Helpers ----

    Cell position_value(uint32_t pos) const {
        Cell p = input_;
        p.s1 = pos;
        return p;
    }

    // The elements as copy/part gives them. Text and binary copy their units directly, as their
    // copy action does; a block's copy has its own action (hash!, paren!, path! types).
    Cell copy_range(uint32_t start, uint32_t count) {
        if (kind() != InputKind::cells) {
            uint32_t total = tail();
            uint32_t from = std::min(start, total);
            Cell copy;
            return *series::copy_part_units(&input_, from, std::min(count, total - from), &copy);
        }
        Cell* mark = stack::top;
        Cell* slot = stack::push(position_value(start));
        Cell part = integer_cell(int32_t(count));
        Cell copy = *actions::handler_of<A_COPY>(slot)(slot, &part, false, nullptr);
        stack::top = mark;
        return copy;
    }

    // A paren's value, evaluated in a frame of its own above the native's cells.
    static Cell evaluate(const Cell& paren) {
        Cell* below = stack::top;
        Cell* frame = stack::mark(stack::FRAME_EVAL, stack::body_symbol);
        interp::eval(paren, true);
        Cell value = frame[0];
        stack::unwind_reset();
        stack::top = below;
        return value;
    }

    // ---- Tracing ----

    void event(const Cell& name, bool matched, const Cell& rules, uint32_t at) {
        if constexpr (Traced) call_tracer(name, matched, rules, at);
    }

    void call_tracer(const Cell& name, bool matched, const Cell& rules, uint32_t at) {
        Rooted arguments;
        block::make_at(arguments.get(), 5);
        Rooted frames;
        block::make_at(frames.get(), int64_t(rule_stack.size - rule_base_));
        for (size_t f = rule_base_; f < rule_stack.size; ++f)
            block::vs_append(frames.get(), &rule_stack.cells[f]);
        Cell rule = rules;
        rule.s1 = at;
        const Cell values[5] = {name, logic_cell(matched), rule, position_value(clamped(position())), *frames};
        for (const Cell& v : values) block::vs_append(arguments.get(), &v);
        Cell* const below = stack::top;
        Cell* frame = stack::mark(stack::FRAME_NATIVE, words::frame_parse_callback.s2);
        call_with(*tracer_, *arguments, &words::frame_parse_callback);
        bool go_on = truthy(frame[0]);
        stack::unwind_reset();
        stack::top = below;
        if (!go_on) throw Stopped{matched};
    }

    Cell input_;      // the input series, its index the current position
    InputKind kind_;  // of input_
    int64_t limit_;   // the /part end index, or -1 for the tail
    bool case_;
    const Cell* tracer_;
    size_t rule_base_;
    size_t input_base_;
    std::vector<size_t> targets_;  // collect targets: their places on the input stack
    Cell governing_ = SEQUENCE.record();  // for the next rule block entered
};

template <typename Engine>
Frame::Frame(Engine& engine, const Cell& rules) : at_(rule_stack.size) {
    bool full = at_ + FRAME_CELLS >= STACK_LIMIT || input_stack.size() >= STACK_LIMIT;
    if (full || runtime::native_stack_exhausted()) fire(err::parse_stack);
    Cell* frame = rule_stack.cells + at_;
    const Cell& input = engine.input();
    for (const Cell* f = rule_stack.cells + engine.rule_base_; f < frame; f += FRAME_CELLS) {
        bool same_rule = f[0].s2 == rules.s2 && f[0].s1 == rules.s1;
        if (same_rule && f[1].s2 == input.s2 && f[1].s1 == input.s1) {
            Cell looping = rules;
            fire(err::parse_infinite, &looping);
        }
    }
    frame[0] = rules;
    frame[1] = input;
    frame[2] = engine.governing_;
    rule_stack.size = at_ + FRAME_CELLS;
    engine.governing_ = SEQUENCE.record();
}

// The /part refinement as an end index.
int64_t part_limit(const Cell& input, const Cell& part) {
    Cell length = part;
    if (length.is(TYPE_FLOAT) || length.is(TYPE_PERCENT))
        length = integer_cell(float_::to_integer_checked(float_cell(length.f64())));
    return int64_t(input.s1) + series::part_distance(&input, &length);
}

Cell traced_run(const Cell& input, int64_t limit, bool case_sensitive, const Cell& tracer,
                const Cell& rules) {
    Engine<true> engine(input, limit, case_sensitive, &tracer);
    try {
        return engine.run(rules);
    } catch (const Stopped& stop) {
        return logic_cell(stop.matched);
    }
}

}  // namespace

namespace entry {

void parse(int32_t, const int32_t* refinements) {
    Cell* a = args();
    bool case_sensitive = used(refinements, 0);
    const Cell* part = refinement_arg(refinements, 1);
    const Cell* tracer = refinement_arg(refinements, 2);
    int64_t limit = part ? part_limit(a[0], *part) : -1;
    if (part && limit - int64_t(a[0].s1) < 1) {  // no rule runs
        stack::set_result(logic_cell(series::vs_tail_q(&a[0])));
        return;
    }
    Cell input = a[0];
    input.s1 = std::min<uint32_t>(input.s1, memory::series_of(input.s2)->length());
    stack::set_result(tracer ? traced_run(input, limit, case_sensitive, *tracer, a[1])
                             : Engine<false>(input, limit, case_sensitive, nullptr).run(a[1]));
}

}  // namespace entry
}  // namespace vyn::natives
