// block! find, select and sort. A type's compare handler may allocate (a word's text is made on
// first use), and a comparison function runs Vyn code: both may move the buffer. So a search
// reads each cell by value through the node, and a sort orders a copy of the cells and writes
// it back only once the sort has completed.
#include "datatypes/block_search.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

#include "core/context.hpp"
#include "core/eval_hooks.hpp"
#include "core/hashtable.hpp"
#include "core/raise.hpp"
#include "core/sort.hpp"
#include "core/stack.hpp"
#include "core/typeset.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/words.hpp"

namespace vyn::block {
namespace {

int64_t total_of(const Cell& b) { return memory::series_of(b.s2)->length(); }
int64_t head_of(const Cell& b) { return std::min<int64_t>(b.s1, total_of(b)); }
Cell cell_at(const Cell& b, int64_t i) { return memory::series_of(b.s2)->cells()[i]; }

[[noreturn]] void bad_refine_arg(const char* refinement, const Cell* value) {
    Cell word = datatype::word_arg(refinement);
    fire(err::invalid_refine_arg, &word, value);
}

// ---- find and select ----

// What a search looks for: values of a type, values of a typeset, one value, or a run of cells
// (the cells of a block value from its head).
struct Wanted {
    enum Kind { of_type, of_types, single, run } kind;
    Cell value;
    int64_t length;  // cells a match covers
    int op;
};

Wanted wanted_of(const Cell* value, const FindArgs& args) {
    int op = args.same ? CMP_SAME : args.case_sensitive ? CMP_STRICT_EQUAL : CMP_FIND;
    if (!args.only) {
        if (value->is(TYPE_DATATYPE)) return {Wanted::of_type, *value, 1, op};
        if (value->is(TYPE_TYPESET)) return {Wanted::of_types, *value, 1, op};
        if (series::is_block_type(value->type()) && vs_length(value) > 0)
            return {Wanted::run, *value, vs_length(value), op};
    }
    return {Wanted::single, *value, 1, op};
}

bool equal(const Cell& candidate, const Cell& value, int op) {
    return actions::compare_order(&candidate, &value, op) == 0;
}

bool matches_at(const Cell& b, int64_t at, const Wanted& w) {
    switch (w.kind) {
    case Wanted::of_type: return cell_at(b, at).type() == w.value.s1;
    case Wanted::of_types: return typeset::has(w.value, cell_at(b, at).type());
    case Wanted::single: return equal(cell_at(b, at), w.value, w.op);
    case Wanted::run: break;
    }
    if (at + w.length > total_of(b)) return false;
    for (int64_t i = 0; i < w.length; ++i)
        if (!equal(cell_at(b, at + i), cell_at(w.value, w.value.s1 + i), w.op)) return false;
    return true;
}

// The positions a search visits: from `first`, `step` cells at a time, while in [low, high].
// Every position lies a multiple of the record size away from the head, so that going
// backward over records still lands on their first cells.
struct Scan {
    int64_t first;
    int64_t low;
    int64_t high;
    int64_t step;

    bool covers(int64_t at) const { return at >= low && at <= high; }
};

int64_t record_size_of(const Cell* skip) {
    if (!skip) return 1;
    if (!skip->is(TYPE_INTEGER)) bad_refine_arg("skip", skip);
    if (skip->i32() < 1) fire(err::out_of_range, skip);
    return skip->i32();
}

// Forward the search runs over the part from the head; with last over the same cells from their
// end; with reverse over the part just before the head, nearest first.
std::optional<Scan> scan_of(const Cell& b, const FindArgs& args, int64_t record, int64_t length) {
    int64_t head = head_of(b);
    int64_t span = args.reverse ? head : total_of(b) - head;
    if (args.part) {
        int64_t count = series::part_distance(&b, args.part);
        if (count < 1) return std::nullopt;
        span = std::min(span, count);
    }
    if (args.reverse) {
        int64_t records_back = (length + record - 1) / record;
        return Scan{head - records_back * record, head - span, head - 1, -record};
    }
    if (args.last) {
        if (span < length) return std::nullopt;
        return Scan{head + (span - length) / record * record, head, head + span - 1, -record};
    }
    return Scan{head, head, head + span - 1, record};
}

bool searches_table(const Cell& b, const Wanted& w, const FindArgs& args) {
    if (!b.is(TYPE_HASH) || b.s3 == 0 || args.match) return false;
    if (w.kind == Wanted::of_type || w.kind == Wanted::of_types || w.kind == Wanted::run) return false;
    if (w.value.is(TYPE_OBJECT) && !args.same) return false;
    return !series::is_block_type(w.value.type()) || (args.same && args.only);
}

hashtable::Mode table_mode(int op) {
    if (op == CMP_SAME) return hashtable::Mode::same;
    return op == CMP_STRICT_EQUAL ? hashtable::Mode::strict : hashtable::Mode::equal;
}

int64_t table_search(const Cell& b, const Wanted& w, const FindArgs& args, const Scan& scan) {
    hashtable::Query query{table_mode(w.op), int32_t(head_of(b)), int32_t(std::abs(scan.step)), args.last,
                           args.reverse};
    int64_t at = hashtable::get(b.s3, w.value, query);
    return at >= 0 && scan.covers(at) ? at : -1;
}

int64_t linear_search(const Cell& b, const Wanted& w, const FindArgs& args, const Scan& scan) {
    for (int64_t at = scan.first; scan.covers(at); at += scan.step) {
        if (matches_at(b, at, w)) return at;
        if (args.match) break;
    }
    return -1;
}

// A planned search: what is wanted, where, and the record size.
struct Search {
    Wanted wanted;
    std::optional<Scan> scan;
    int64_t record;
};

// The checks run in this order: an empty series finds nothing before its arguments are looked at.
std::optional<Search> plan_search(const Cell& b, const Cell* value, const FindArgs& args) {
    if (total_of(b) == 0 || (!args.reverse && head_of(b) >= total_of(b))) return std::nullopt;
    Search s{wanted_of(value, args), std::nullopt, record_size_of(args.skip)};
    s.scan = scan_of(b, args, s.record, s.wanted.length);
    if (!s.scan) return std::nullopt;
    return s;
}

// The position of the match, or -1.
int64_t locate(const Cell& b, const Search& s, const FindArgs& args) {
    if (searches_table(b, s.wanted, args)) return table_search(b, s.wanted, args, *s.scan);
    return linear_search(b, s.wanted, args, *s.scan);
}

}  // namespace

// With tail the result passes the matched run, or the matched record, whichever way the search
// went, so that block! and hash! give the same position.
Cell* find(Cell* b, const Cell* value, const FindArgs& args) {
    std::optional<Search> s = plan_search(*b, value, args);
    int64_t at = s ? locate(*b, *s, args) : -1;
    if (at < 0) {
        *b = none_cell();
        return b;
    }
    if (args.tail) at += s->wanted.kind == Wanted::run ? s->wanted.length : s->record;
    b->s1 = uint32_t(std::min(at, total_of(*b)));
    return b;
}

Cell* select(Cell* b, const Cell* value, const FindArgs& args) {
    FindArgs plain = args;
    plain.tail = false;
    plain.match = false;
    std::optional<Search> s = plan_search(*b, value, plain);
    int64_t at = s ? locate(*b, *s, plain) : -1;
    int64_t after = at + (s ? s->wanted.length : 1);
    *b = at < 0 || after >= total_of(*b) ? none_cell() : cell_at(*b, after);
    return b;
}

// ---- sort callbacks ----

namespace {

// Integers, the commonest keys, are ordered here before the general route through their type.
int order_of_cells(const Cell& x, const Cell& y, int op) {
    if (x.is(TYPE_INTEGER) && y.is(TYPE_INTEGER)) return (x.i32() > y.i32()) - (x.i32() < y.i32());
    int order = actions::compare_order(&x, &y, op);
    return order == -2 ? int(x.type()) - int(y.type()) : order;
}

}  // namespace

int sort_compare(const void* a, const void* b, void* op, uint32_t flags) {
    const auto* x = static_cast<const Cell*>(a);
    const auto* y = static_cast<const Cell*>(b);
    if (flags & SORT_REVERSE) std::swap(x, y);
    uint32_t field = flags >> SORT_FIELD_SHIFT;
    uint32_t first = flags & SORT_ALL ? 0 : field;
    uint32_t count = flags & SORT_ALL ? field : 1;
    for (uint32_t i = first; i < first + count; ++i) {
        if (int order = order_of_cells(x[i], y[i], *static_cast<const int*>(op))) return order;
    }
    return 0;
}

namespace {

// The order a comparison function's answer gives to the record it received second.
int order_of_answer(const Cell& answer) {
    switch (answer.type()) {
    case TYPE_LOGIC: return answer.s1 ? 1 : -1;
    case TYPE_INTEGER: return (answer.i32() > 0) - (answer.i32() < 0);
    case TYPE_FLOAT: return (answer.f64() > 0.0) - (answer.f64() < 0.0);
    case TYPE_NONE: return -1;
    default: return 1;
    }
}

}  // namespace

Cell call_function(const Cell& function, const Cell& first, const Cell& second) {
    Cell* saved_base = stack::base;
    Cell* saved_top = stack::top;
    NodeId locals = function.s1;
    stack::mark(stack::FRAME_FUNCTION, words::frame_compare_callback.s2, 0, locals,
                context::context_cell(locals).s2);
    stack::push(first);
    stack::push(second);
    for (uint32_t i = 2; i < context::word_count(locals); ++i) stack::push(none_cell());
    eval_hooks::eval_function(function, 0);
    Cell answer = *stack::base;
    stack::unwind_discard();
    stack::base = saved_base;
    stack::top = saved_top;
    return answer;
}

namespace {

// Fills a carrier block with a record's cells and gives the block.
Cell carry(Cell* carrier, const Cell* record, uint32_t cells) {
    Series* s = memory::series_of(carrier->s2);
    s->tail = s->head;
    s = memory::ensure_room(carrier->s2, uint64_t(cells) * sizeof(Cell));
    std::copy_n(record, cells, s->cells());
    s->tail = s->head + cells * uint32_t(sizeof(Cell));
    carrier->s1 = 0;
    return *carrier;
}

}  // namespace

// The function gets the second record first, so that a "lesser" test answering false for equal
// records keeps them in their order.
int sort_call(const void* a, const void* b, void* call, uint32_t flags) {
    const auto& c = *static_cast<const CompareCall*>(call);
    const auto* first = static_cast<const Cell*>(b);
    const auto* second = static_cast<const Cell*>(a);
    if (flags & SORT_REVERSE) std::swap(first, second);
    uint32_t field = flags >> SORT_FIELD_SHIFT;
    if (!(flags & SORT_ALL)) return order_of_answer(call_function(*c.function, first[field], second[field]));
    Cell one = carry(c.records[0], first, field);
    Cell two = carry(c.records[1], second, field);
    return order_of_answer(call_function(*c.function, one, two));
}

// ---- sort ----

namespace {

// The cells a sort covers: `length` cells from `head`, in records of `record` cells.
struct SortRange {
    int64_t head;
    int64_t length;
    uint32_t record;
};

// A negative part sorts the cells before the head, and the result starts there.
SortRange range_of(const Cell& b, const Cell* part) {
    int64_t head = head_of(b);
    int64_t length = total_of(b) - head;
    if (!part) return {head, length, 1};
    int64_t count = series::part_distance(&b, part);
    if (count >= 0) return {head, std::min(count, length), 1};
    int64_t start = std::max<int64_t>(head + count, 0);
    return {start, head - start, 1};
}

uint32_t record_of(const SortArgs& args, int64_t length) {
    if (!args.skip) {
        if (args.all) fire(err::bad_refines);
        return 1;
    }
    int64_t n = args.skip->is(TYPE_INTEGER) ? args.skip->i32() : 0;
    if (n < 1 || n > length || length % n != 0) bad_refine_arg("skip", args.skip);
    return uint32_t(n);
}

// The callback's flags word. A compare argument that is not a function names the compared cell
// of each record, which needs records and excludes whole-record comparison.
uint32_t flags_of(const SortArgs& args, uint32_t record) {
    uint32_t flags = args.reverse ? SORT_REVERSE : 0;
    const Cell* compare = args.compare;
    if (compare && !compare->is(TYPE_FUNCTION)) {
        if (!compare->is(TYPE_INTEGER)) bad_refine_arg("compare", compare);
        if (!args.skip || args.all) fire(err::bad_refines);
        if (compare->i32() < 1 || uint32_t(compare->i32()) > record) fire(err::out_of_range, compare);
        return flags | uint32_t(compare->i32() - 1) << SORT_FIELD_SHIFT;
    }
    if (args.all) flags |= SORT_ALL | record << SORT_FIELD_SHIFT;
    return flags;
}

void run_sorter(Cell* base, int64_t records, uint32_t record, void* context, uint32_t flags,
                sort::Compare compare, bool stable) {
    size_t width = size_t(record) * sizeof(Cell);
    try {
        if (stable) sort::merge_sort(base, size_t(records), width, context, flags, compare);
        else sort::quick_sort(base, size_t(records), width, context, flags, compare);
    } catch (const sort::TooLong&) {
        fire(err::too_long);
    } catch (const std::bad_alloc&) {
        fire(err::no_memory);
    }
}

Cell* push_carrier(uint32_t cells) { return make_at(stack::push(none_cell()), cells); }

// Comparing may allocate and move the buffer (a symbol's text made on first use, or a function's
// code), so the cells are ordered in a copy; they go back once the sort has completed, if the
// block still holds the range. A function may also change the block: meanwhile a copy block
// keeps the values alive.
void sort_range(const Cell& b, const SortRange& r, uint32_t flags, const SortArgs& args) {
    const Cell* first = memory::series_of(b.s2)->cells() + r.head;
    std::vector<Cell> cells(first, first + r.length);
    int64_t records = r.length / r.record;
    Cell* saved_top = stack::top;
    if (args.compare && args.compare->is(TYPE_FUNCTION)) {
        series::copy_units(&b, uint32_t(r.head), uint32_t(r.length), stack::push(none_cell()));
        CompareCall call{args.compare, {nullptr, nullptr}};
        if (args.all) {
            call.records[0] = push_carrier(r.record);
            call.records[1] = push_carrier(r.record);
        }
        run_sorter(cells.data(), records, r.record, &call, flags, sort_call, args.stable);
    } else {
        int op = args.case_sensitive ? CMP_SORT_CASE : CMP_SORT;
        run_sorter(cells.data(), records, r.record, &op, flags, sort_compare, args.stable);
    }
    if (r.head + r.length <= total_of(b))
        std::copy(cells.begin(), cells.end(), memory::series_of(b.s2)->cells() + r.head);
    stack::top = saved_top;
}

}  // namespace

Cell* sort(Cell* b, const SortArgs& args) {
    SortRange r = range_of(*b, args.part);
    b->s1 = uint32_t(r.head);
    if (r.length == 0) return b;
    r.record = record_of(args, r.length);
    uint32_t flags = flags_of(args, r.record);
    if (ownership::before(*b, ownership::Change::sort, nullptr, int32_t(r.head), int32_t(r.length))) {
        r.head = std::min(r.head, total_of(*b));
        r.length = std::min(r.length, total_of(*b) - r.head);
        r.length -= r.length % r.record;
    }
    sort_range(*b, r, flags, args);
    ownership::after(*b, ownership::Change::sort, nullptr, int32_t(r.head), int32_t(r.length));
    return b;
}

}  // namespace vyn::block
