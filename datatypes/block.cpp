// block! routines and handlers. Every write that can grow a block goes through `splice`, which
// checks the size bound before it allocates; cells to insert are read after the growth, and a
// run taken from the destination block itself is copied out first since the gap moves it. Walks
// over nested values (mold, form, compare, deep copies) keep their node on the cycle stack,
// which also bounds their depth. A value to be stored is rooted until it is in place, since the
// caller may hand over a temporary. An owner told of a change runs Vyn code that may change
// both blocks, so positions and the source's extent are read again after `ownership::before`.
#include "datatypes/block.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/collector.hpp"
#include "core/cycles.hpp"
#include "core/memory_replicate.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block_search.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"

namespace vyn::block {
namespace {

using ownership::Change;

Cell holder_cell = unset_cell();

Series* buffer_of(const Cell* b) { return memory::series_of(b->s2); }
uint32_t total_of(const Cell* b) { return buffer_of(b)->used_bytes() / uint32_t(sizeof(Cell)); }
uint32_t head_of(const Cell* b) { return std::min(b->s1, total_of(b)); }

uint32_t repaired_head(Cell* b) {
    b->s1 = head_of(b);
    return b->s1;
}

void set_tail(Series* s, uint64_t cells) { s->tail = uint32_t(s->head + cells * sizeof(Cell)); }

// Makes room for `inserted` cells in place of `replaced` ones at cell `at`; returns the first
// cell of the new run.
Cell* splice(const Cell* b, uint32_t at, uint32_t replaced, uint64_t inserted) {
    uint64_t total = total_of(b);
    uint64_t new_total = total - replaced + inserted;
    if (inserted >= MAX_CELLS || new_total >= MAX_CELLS) fire(err::no_memory);
    Series* s = buffer_of(b);
    if (inserted > replaced) s = memory::ensure_room(b->s2, (inserted - replaced) * sizeof(Cell));
    Cell* run = s->cells() + at;
    std::memmove(run + inserted, run + replaced, (total - at - replaced) * sizeof(Cell));
    set_tail(s, new_total);
    return run;
}

// The cells an insertion copies: one value, or the cells of a block from its head. The value is
// rooted; the copies kept of the destination's own cells stay in the destination meanwhile.
class Source {
public:
    Source(const Cell* value, bool only, NodeId destination) : value_(*value) {
        if (only || !series::is_block_type(value_->type())) return;
        node_ = value_->s2;
        read_extent(destination);
    }
    // Reads the cells again, after Vyn code may have changed the value's block.
    void reread(NodeId destination) {
        if (node_) read_extent(destination);
    }
    bool is_block() const { return node_ != 0; }
    const Cell& value() { return *value_; }
    uint32_t count() const { return count_; }
    // Valid until the next allocation.
    const Cell* cells() {
        if (!kept_.empty()) return kept_.data();
        return node_ ? memory::series_of(node_)->cells() + start_ : value_.get();
    }

private:
    void read_extent(NodeId destination) {
        start_ = head_of(value_.get());
        count_ = total_of(value_.get()) - start_;
        kept_.clear();
        if (node_ == destination) {
            const Cell* from = buffer_of(value_.get())->cells() + start_;
            kept_.assign(from, from + count_);
        }
    }

    Rooted value_;
    NodeId node_ = 0;
    uint32_t start_ = 0;
    uint32_t count_ = 1;
    std::vector<Cell> kept_;
};

// Writes `part` source cells `dup` times over `replaced` cells at `at`; returns the cells written.
uint64_t write_run(const Cell* b, uint32_t at, uint32_t replaced, Source& source, uint32_t part,
                   uint32_t dup) {
    uint64_t inserted = uint64_t(part) * dup;
    Cell* run = splice(b, at, replaced, inserted);
    if (inserted == 0) return 0;
    std::memcpy(run, source.cells(), part * sizeof(Cell));
    memory::replicate(reinterpret_cast<uint8_t*>(run), int(part * sizeof(Cell)), dup);
    return inserted;
}

int64_t dup_count(const Cell* dup) { return dup ? dup->i32() : 1; }

// A cell count as told to an owner, which takes 32-bit counts.
int32_t told_count(uint64_t cells) { return int32_t(std::min<uint64_t>(cells, INT32_MAX)); }

// How many of the value's cells a part argument selects: a count, or a position in the value.
int64_t part_of_value(Source& source, const Cell* part) {
    if (!part) return -1;
    if (!source.is_block() && !part->is(TYPE_INTEGER)) fire(err::invalid_part, part);
    return series::part_distance(&source.value(), part);
}

Cell* insert_value(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup, bool append) {
    Source source(value, only, b->s2);
    int64_t dups = dup_count(dup);
    if (source.count() == 0 || dups < 1) return b;
    int64_t count = part_of_value(source, part);
    if (count < 0 || count > source.count()) count = source.count();
    Change action = append ? Change::append : Change::insert;
    if (ownership::before(*b, action, value, int32_t(head_of(b)), told_count(uint64_t(count) * dups))) {
        source.reread(b->s2);
        count = std::min<int64_t>(count, source.count());
    }
    uint32_t h = repaired_head(b);
    uint32_t at = append ? total_of(b) : h;
    uint64_t inserted = write_run(b, at, 0, source, uint32_t(count), uint32_t(dups));
    ownership::after(*b, action, value, int32_t(h), told_count(inserted));
    b->s1 = append ? 0 : uint32_t(std::min<uint64_t>(at + inserted, total_of(b)));
    return b;
}

void copy_value(Cell* v, bool deep, const Cell* types) {
    auto handler = datatype::handler<A_COPY>(v->type());
    if (!handler) fire(err::not_done);
    Cell* copied = handler(v, nullptr, deep, types);
    if (copied != v) *v = *copied;
}

// Replaces cell i (from the buffer's first cell) by its copy, which keeps the cell's new-line
// flag. The copy is built on the argument stack, so it stays reachable while it is made.
void replace_with_copy(NodeId node, uint32_t i, bool deep, const Cell* types) {
    Cell* slot = stack::push(memory::series_of(node)->cells()[i]);
    uint32_t new_line = slot->header & FLAG_NEW_LINE;
    copy_value(slot, deep, types);
    slot->header = (slot->header & ~FLAG_NEW_LINE) | new_line;
    memory::series_of(node)->cells()[i] = *slot;
    stack::pop(1);
}

void copy_nested_series(const Cell* b) {
    for (uint32_t i = 0; i < total_of(b); ++i)
        if (series::is_series_type(buffer_of(b)->cells()[i].type())) replace_with_copy(b->s2, i, true, nullptr);
}

[[noreturn]] void no_cycle() {
    cycles::reset();
    fire(err::no_cycle);
}

bool in_types(const Cell& types, TypeId type) {
    if (types.is(TYPE_DATATYPE)) return types.s1 == type;
    uint8_t bits[12];
    std::memcpy(bits, &types.s1, sizeof bits);
    return (bits[type >> 3] & (0x80 >> (type & 7))) != 0;
}

bool copyable(TypeId type) {
    return series::is_series_type(type) || type == TYPE_MAP || type == TYPE_BITSET || type == TYPE_OBJECT ||
           type == TYPE_ERROR;
}

bool clonable(TypeId type, bool all_lists) {
    if (type == TYPE_BLOCK) return true;
    return all_lists && series::is_block_type(type) && type != TYPE_HASH;
}

Cell* shallow_copy(const Cell* b, Cell* out) {
    uint32_t h = head_of(b);
    return series::copy_units(b, h, total_of(b) - h, out);
}

bool is_word_type(TypeId t) {
    return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD ||
           t == TYPE_REFINEMENT || t == TYPE_ISSUE;
}

bool is_number_type(TypeId t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }

bool comparable(TypeId a, TypeId b) {
    return a == b || (is_word_type(a) && is_word_type(b)) || (is_number_type(a) && is_number_type(b));
}

bool is_equality(int op) { return op == 0 || op == 1 || op == 2 || op == 10 || op == 11 || op == 12; }

constexpr int OP_SAME = 9;
constexpr int OP_FIND_EQUAL = 12;

// The three-way compare of two values through the first one's type; -2 when not comparable.
int compare_values(const Cell* a, const Cell* b, int op) {
    auto handler = datatype::handler<A_COMPARE>(a->type());
    if (!handler) fire(err::not_done);
    return handler(a, b, op);
}

int compare_cells(const Cell& x, const Cell& y, int op) {
    if (!comparable(x.type(), y.type())) return x.type() < y.type() ? -1 : x.type() > y.type() ? 1 : 0;
    int order = compare_values(&x, &y, op);
    return order == -2 ? -1 : order;
}

int compare_each(const Cell* a, const Cell* b, int op) {
    bool same_position = a->s2 == b->s2 && a->s1 == b->s1;
    if (op == OP_SAME) return same_position ? 0 : -1;
    if (same_position) return 0;
    if (cycles::find(a->s2)) return cycles::find(b->s2) ? 0 : -1;
    uint32_t la = vs_length(a);
    uint32_t lb = vs_length(b);
    if (la != lb && is_equality(op)) return 1;
    int order = 0;
    if (la && lb) {
        cycles::Entry first(a->s2);
        cycles::Entry second(b->s2);
        for (uint32_t i = 0; i < std::min(la, lb) && order == 0; ++i)
            order = compare_cells(*vs_abs_at(a, a->s1 + i), *vs_abs_at(b, b->s1 + i), op);
    }
    if (order) return order;
    return la < lb ? -1 : la > lb ? 1 : 0;
}

bool is_path_pair(TypeId a, TypeId b) {
    return (a == TYPE_PATH && b == TYPE_LIT_PATH) || (a == TYPE_LIT_PATH && b == TYPE_PATH);
}

bool is_any_word(TypeId t) {
    return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}

int64_t requested_size(const Cell& spec) {
    if (spec.is(TYPE_INTEGER)) return spec.i32();
    double d = spec.f64();
    if (std::isnan(d) || d <= -2147483649.0 || d >= 2147483648.0) fire(err::out_of_range, &spec);
    return int64_t(d);
}

// Appends a new cell to the parent (or fills the holder) with `make`; the parent's cell holds
// unset! while the new block is allocated.
template <class Maker>
Cell* make_into(Cell* parent, Maker make) {
    if (!parent) return make(&holder_cell);
    uint32_t index = total_of(parent);
    memory::alloc_tail_cell(parent->s2);
    Cell fresh;
    make(&fresh);
    Cell* slot = vs_abs_at(parent, index);
    *slot = fresh;
    return slot;
}

}  // namespace

uint32_t vs_length(const Cell* b) { return total_of(b) - head_of(b); }

Cell* vs_head(Cell* b) { return buffer_of(b)->cells() + repaired_head(b); }

Cell* vs_tail(const Cell* b) { return buffer_of(b)->cell_tail(); }

bool vs_tail_q(const Cell* b) { return b->s1 >= total_of(b); }

Cell* vs_abs_at(const Cell* b, uint32_t index) { return buffer_of(b)->cells() + index; }

bool vs_next(Cell* b) { return series::vs_skip(b, 1); }

void vs_clear(Cell* b) { set_tail(buffer_of(b), repaired_head(b)); }

void vs_clip(Cell* b, uint32_t index) { set_tail(buffer_of(b), std::min(index, total_of(b))); }

void vs_remove_last(Cell* b) {
    uint32_t total = total_of(b);
    if (total == 0) return;
    set_tail(buffer_of(b), total - 1);
    repaired_head(b);
}

Cell* vs_append(Cell* b, const Cell* value) {
    Rooted v(*value);
    Cell* slot = memory::alloc_tail_cell(b->s2);
    *slot = *v;
    return slot;
}

void vs_append_in_room(Cell* b, const Cell& value) {
    Series* cells = memory::series_of(b->s2);
    *cells->cell_tail() = value;
    cells->tail += sizeof(Cell);
}

void vs_append_block(Cell* b, const Cell* other) {
    Source source(other, false, b->s2);
    write_run(b, total_of(b), 0, source, source.count(), 1);
}

void vs_insert(Cell* b, const Cell* value, bool advance, bool at_start) {
    Source source(value, true, b->s2);
    uint32_t h = repaired_head(b);
    write_run(b, at_start ? 0 : h, 0, source, 1, 1);
    if (advance) b->s1 = h + 1;
}

void insert_block(Cell* b, const Cell* other) {
    Source source(other, false, b->s2);
    uint32_t h = repaired_head(b);
    b->s1 = h + uint32_t(write_run(b, h, 0, source, source.count(), 1));
}

void insert_from_stack() { vs_insert(stack::base - 1, stack::base, true, false); }

void append_from_stack() { vs_append(stack::top - 2, stack::top - 1); }

void append_next_from_stack() { vs_append(stack::base, stack::base + 1); }

Cell vs_select(const Cell* b, const Cell* value) {
    Cell wanted = *value;
    for (uint32_t i = head_of(b); i < total_of(b); ++i) {
        Cell candidate = *vs_abs_at(b, i);
        if (compare_values(&candidate, &wanted, OP_FIND_EQUAL) == 0)
            return i + 1 < total_of(b) ? *vs_abs_at(b, i + 1) : none_cell();
    }
    return none_cell();
}

bool remove_value(Cell* b, const Cell* value, bool from_start) {
    Cell wanted = *value;
    uint32_t h = repaired_head(b);
    for (uint32_t i = from_start ? 0 : h; i < total_of(b); ++i) {
        Cell candidate = *vs_abs_at(b, i);
        if (compare_values(&candidate, &wanted, OP_FIND_EQUAL) != 0) continue;
        series::remove_units(b, i, 1);
        return i <= h;
    }
    return false;
}

// Without case, words would match through their symbols' canonical aliases; symbols have no
// aliases yet, so both ways compare symbol ids.
Cell select_word(const Cell* b, const Cell* word, bool case_sensitive) {
    auto key = [case_sensitive](uint32_t symbol) { return case_sensitive ? symbol : symbol::resolve(symbol); };
    const uint32_t wanted = key(word->s2);
    uint32_t total = total_of(b);
    for (uint32_t i = head_of(b); i < total; ++i) {
        const Cell* c = vs_abs_at(b, i);
        if (is_any_word(c->type()) && key(c->s2) == wanted) return i + 1 < total ? c[1] : none_cell();
    }
    return none_cell();
}

Cell* make_at(Cell* cell, int64_t size) {
    *cell = unset_cell();
    NodeId node = memory::alloc_cells(uint64_t(std::max<int64_t>(size, 1)));
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}

Cell* make_fixed_at(Cell* cell, int64_t size, bool oversize) {
    *cell = unset_cell();
    uint64_t room = uint64_t(std::max<int64_t>(size, 1));
    NodeId node = oversize ? memory::alloc_fixed_series(room, sizeof(Cell), 0) : memory::alloc_unset_cells(room);
    if (!oversize) set_tail(memory::series_of(node), uint64_t(std::max<int64_t>(size, 0)));
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}

Cell* make_in(Cell* parent, int64_t size) {
    return make_into(parent, [size](Cell* c) { return make_at(c, size); });
}

Cell* make_fixed_in(Cell* parent, int64_t size) {
    return make_into(parent, [size](Cell* c) { return make_fixed_at(c, size, false); });
}

Cell* holder() { return &holder_cell; }

Cell* push(const Cell* b) { return stack::push(*b); }

Cell* push_only(int64_t size) { return make_at(stack::push(unset_cell()), size); }

Cell* clone(const Cell* b, bool deep, bool all_lists) {
    Rooted source(*b);  // its node is also the cycle guard's: no other block may take it over
    Cell* copy = stack::push(unset_cell());
    shallow_copy(source.get(), copy);
    if (!deep) return copy;
    cycles::Entry guard(source->s2);
    for (uint32_t i = 0; i < total_of(copy); ++i) {
        Cell nested = buffer_of(copy)->cells()[i];
        if (!clonable(nested.type(), all_lists)) continue;
        if (cycles::find(nested.s2)) no_cycle();
        Cell* cloned = clone(&nested, true, all_lists);
        cloned->header = nested.header;
        buffer_of(copy)->cells()[i] = *cloned;
        stack::pop(1);
    }
    return copy;
}

void copy_cells_of_types(Cell* b, uint32_t from, uint32_t to, uint32_t step, bool deep, const Cell* types) {
    Cell kinds = *types;
    for (uint32_t i = from; i < to && i < total_of(b); i += std::max(step, 1u)) {
        TypeId t = vs_abs_at(b, i)->type();
        if (in_types(kinds, t) && copyable(t)) replace_with_copy(b->s2, i, deep, deep ? &kinds : nullptr);
    }
}

int32_t form(const Cell* b, Cell* out, const Cell* part, int32_t budget) {
    if (const char* marker = cycles::detect(*b, false)) return mold::emit(out, marker, budget);
    cycles::Entry guard(b->s2);
    for (uint32_t i = head_of(b); i < total_of(b); ++i) {
        if (mold::exhausted(part, budget)) break;
        Cell v = *vs_abs_at(b, i);
        budget = mold::form_value(&v, out, part, budget);
        if (i + 1 == total_of(b)) break;
        uint32_t last = mold::last_char(out);
        if (last != '\n' && last != '\r' && last != '\t') budget = mold::emit(out, " ", budget);
    }
    return budget;
}

int32_t mold(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return mold_between(b, out, args, part, budget, "[", "]");
}

int32_t mold_between(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget,
                     std::string_view open, std::string_view close) {
    if (const char* marker = cycles::detect(*b, true)) return mold::emit(out, marker, budget);
    if (!args.only) budget = mold::emit(out, open, budget);
    budget = mold_each(b, out, args, part, budget);
    if (!args.only) budget = mold::emit(out, close, budget);
    return budget;
}

// A block whose first value starts a new line is "opened": its values go one indent level
// deeper and its closing delimiter comes on a line of its own.
int32_t mold_each(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    cycles::Entry guard(b->s2);
    MoldArgs inner{false, args.all, args.flat, args.indent};
    bool opened = false;
    uint32_t h = head_of(b);
    for (uint32_t i = h; i < total_of(b); ++i) {
        if (mold::exhausted(part, budget)) break;
        Cell v = *vs_abs_at(b, i);
        bool first = i == h;
        if (!args.flat && v.has_flag(FLAG_NEW_LINE)) {
            if (!args.only && first) {
                opened = true;
                ++inner.indent;
            }
            if (!(args.only && first)) budget = mold::emit(out, "\n", budget);
            budget = mold::emit_indent(out, inner.indent, budget);
        } else if (!first) {
            budget = mold::emit(out, " ", budget);
        }
        budget = mold::mold_value(&v, out, inner, part, budget);
    }
    if (opened) budget = mold::emit_line_break(out, inner.indent - 1, budget);
    return budget;
}

// The body of an object! or map!, as its own reflect builds it.
void body_of(Cell* from, Cell* proto) {
    const Cell field = make_cell(TYPE_WORD, 0, words::sym::body, uint32_t(-1));
    *proto = *datatype::handler<A_REFLECT>(from->type())(from, &field);
}

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    Cell from = *spec;
    if (from.is(TYPE_INTEGER) || from.is(TYPE_FLOAT)) make_at(proto, requested_size(from));
    else if (series::is_block_type(from.type())) shallow_copy(&from, proto);
    else if (from.is(TYPE_VECTOR)) vector::to_block(&from, proto);
    else if (from.is(TYPE_OBJECT) || from.is(TYPE_MAP)) body_of(&from, proto);
    else {
        Cell wanted = datatype_cell(type);
        fire(err::bad_make_arg, &wanted, &from);
    }
    proto->header = type;
    return proto;
}

Cell* to(Cell* proto, const Cell* spec, TypeId type) {
    Cell from = *spec;
    if (series::is_block_type(from.type())) shallow_copy(&from, proto);
    else if (from.is(TYPE_VECTOR)) vector::to_block(&from, proto);
    else if (from.is(TYPE_OBJECT) || from.is(TYPE_MAP)) body_of(&from, proto);
    else if (from.is(TYPE_STRING)) *proto = word::load_values(from);
    else if (from.is(TYPE_TYPESET)) typeset::to_block(from, make_at(proto, typeset::count(from)));
    else vs_append(make_at(proto, 1), &from);
    proto->header = type;
    return proto;
}

int compare(const Cell* a, const Cell* b, int op) {
    bool paths = (op == 10 || op == 11) && is_path_pair(a->type(), b->type());
    return a->type() == b->type() || paths ? compare_each(a, b, op) : -2;
}

Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    Cell key = *element;
    if (key.is(TYPE_INTEGER))
        return value ? series::poke(parent, key.i32(), &key, value) : series::pick(parent, key.i32(), &key);
    FindArgs args{};
    args.case_sensitive = step.case_sensitive;
    if (!value) {
        if (key.is(TYPE_WORD) && !parent->is(TYPE_HASH)) {
            *parent = select_word(parent, &key, step.case_sensitive);
            return parent;
        }
        args.only = true;
        Cell* selected = series::search(A_SELECT, parent, &key, args);
        if (selected != parent) *parent = *selected;
        return parent;
    }
    Cell found = *series::search(A_FIND, parent, &key, args);
    if (found.is(TYPE_NONE)) fire(err::bad_path_set, &key);
    *parent = *series::poke(&found, 2, nullptr, value);
    return parent;
}

Cell* append(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return insert_value(b, value, part, only, dup, true);
}

Cell* insert(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return insert_value(b, value, part, only, dup, false);
}

Cell* change(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    Source source(value, only, b->s2);
    int64_t dups = dup_count(dup);
    if (dups < 1) return b;
    uint32_t h = repaired_head(b);
    int64_t length = total_of(b) - h;
    int64_t inserted = int64_t(source.count()) * dups;
    int64_t replaced = part ? series::part_distance(b, part) : inserted;
    replaced = std::clamp<int64_t>(replaced, 0, length);
    if (ownership::before(*b, Change::change, value, int32_t(h), told_count(uint64_t(replaced)))) {
        source.reread(b->s2);
        h = repaired_head(b);
        inserted = int64_t(source.count()) * dups;
        replaced = std::min<int64_t>(replaced, total_of(b) - h);
    }
    write_run(b, h, uint32_t(replaced), source, source.count(), uint32_t(dups));
    ownership::after(*b, Change::change, value, int32_t(h), told_count(uint64_t(inserted)));
    b->s1 = uint32_t(std::min<int64_t>(h + inserted, total_of(b)));
    return b;
}

Cell* copy(Cell* b, const Cell* part, bool deep, const Cell* types) {
    // The source leaves `b`; it stays rooted, as the cycle guard names its node.
    Rooted original(*b);
    NodeId source = original->s2;
    series::copy(b, part, false, nullptr);
    if (!deep && !types) return b;
    if (b->is(TYPE_HASH)) b->set_type(TYPE_BLOCK);  // hash! rebuilds its own table afterwards
    std::optional<cycles::Entry> guard;
    if (deep) {
        if (cycles::find(source)) no_cycle();
        guard.emplace(source);
    }
    if (types) copy_cells_of_types(b, 0, total_of(b), 1, deep, types);
    else copy_nested_series(b);
    return b;
}

Cell* take(Cell* b, const Cell* part, bool deep, bool last) {
    if (part) {
        series::take(b, part, deep, last);
        if (deep && !b->is(TYPE_NONE)) copy_nested_series(b);
        return b;
    }
    series::TakePlan plan = series::plan_take(b, nullptr, last);
    if (!plan.none && ownership::before(*b, Change::take, nullptr, int32_t(plan.start), 1))
        plan = series::plan_take(b, nullptr, last);
    if (plan.none) {
        *b = none_cell();
        return b;
    }
    Cell taken = *vs_abs_at(b, plan.start);
    series::remove_units(b, plan.start, 1);
    ownership::after(*b, Change::take, nullptr, int32_t(plan.start), 1);
    *b = taken;
    if (deep && series::is_series_type(taken.type())) copy_value(b, true, nullptr);
    return b;
}

namespace {

// The key's position found from the head, or none.
Cell find_key(const Cell* b, const Cell* key, bool case_sensitive) {
    FindArgs args{};
    args.case_sensitive = case_sensitive;
    Cell found = *b;
    return *series::search(A_FIND, &found, key, args);
}

}  // namespace

Cell* put(Cell* b, const Cell* key, const Cell* value, bool case_sensitive) {
    Rooted k(*key);
    Rooted v(*value);
    Cell found = find_key(b, k.get(), case_sensitive);
    int32_t told_at = int32_t(found.is(TYPE_NONE) ? total_of(b) : found.s1);
    if (ownership::before(*b, Change::put, v.get(), told_at, 1)) found = find_key(b, k.get(), case_sensitive);
    if (found.is(TYPE_NONE)) {
        vs_append(b, k.get());
        vs_append(b, v.get());
    } else {
        uint32_t at = found.s1 + 1;
        if (at == total_of(b)) vs_append(b, v.get());
        else if (Cell old = *vs_abs_at(b, at); compare_values(&old, v.get(), OP_FIND_EQUAL) != 0)
            *vs_abs_at(b, at) = *v;
        ownership::after(*b, Change::put, v.get(), int32_t(at), 1);
    }
    *b = *v;
    return b;
}

Cell* swap(Cell* b, const Cell* other) {
    if (!series::is_block_type(other->type())) fire(err::invalid_arg, other);
    Cell second = *other;
    if (vs_tail_q(b) || vs_tail_q(&second)) return b;
    bool told_first = ownership::before(*b, Change::swap, &second, int32_t(head_of(b)), 1);
    bool told_second = ownership::before(second, Change::swap, b, int32_t(head_of(&second)), 1);
    if ((told_first || told_second) && (vs_tail_q(b) || vs_tail_q(&second))) return b;
    std::swap(*vs_head(b), *vs_head(&second));
    if (second.is(TYPE_HASH) && second.s2 != b->s2)  // within one hash!, its own handler does it
        hash::reindex_changed(second, head_of(&second), total_of(&second), 1);
    ownership::after(*b, Change::swap, &second, int32_t(head_of(b)), 1);
    ownership::after(second, Change::swap, b, int32_t(head_of(&second)), 1);
    return b;
}

// The refinements only apply to text.
Cell* trim(Cell* b, bool, bool, bool, bool, bool, const Cell*) {
    ownership::before(*b, Change::trim, nullptr, int32_t(head_of(b)), int32_t(total_of(b) - head_of(b)));
    Series* s = buffer_of(b);
    Cell* kept = s->cells() + repaired_head(b);
    for (Cell* c = kept; c < s->cell_tail(); ++c)
        if (!c->is(TYPE_NONE)) *kept++ = *c;
    s->tail = uint32_t(reinterpret_cast<uint8_t*>(kept) - s->data());
    ownership::after(*b, Change::trim, nullptr, int32_t(head_of(b)), int32_t(total_of(b) - head_of(b)));
    return b;
}

namespace {

const SlotHandler block_actions[] = {
    act<A_MAKE>(make),
    act<A_TO>(to),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_EVAL_PATH>(eval_path),
    act<A_COMPARE>(compare),
    act<A_APPEND>(append),
    act<A_CHANGE>(change),
    act<A_COPY>(copy),
    act<A_FIND>(find),
    act<A_INSERT>(insert),
    act<A_PUT>(put),
    act<A_SELECT>(select),
    act<A_SORT>(sort),
    act<A_SWAP>(swap),
    act<A_TAKE>(take),
    act<A_TRIM>(trim),
};

}  // namespace

void mark_holder() { collector::mark_cell(holder_cell); }

}  // namespace vyn::block

namespace vyn {

void block_init() {
    datatype::register_type(TYPE_BLOCK, TYPE_SERIES, "block!", INHERIT, block::block_actions);
    collector::add_root(block::mark_holder);
}

}  // namespace vyn
