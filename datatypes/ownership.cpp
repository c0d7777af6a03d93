// Ownership binding, unbinding and the change check. Walks into blocks and objects keep their
// node on the cycle stack, so self-containing data ends; an entry is deleted before its contents
// are unbound, which ends unbinding cycles too. Entry cells are copied out before anything that
// can allocate, since the table's buffers move with every growth.
#include "datatypes/ownership.hpp"

#include <initializer_list>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/cycles.hpp"
#include "core/hashtable.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/words.hpp"

namespace vyn::ownership {
namespace {

using memory::series_of;

constexpr uint32_t INITIAL_ENTRIES = 1000;
enum EntryCell { ENTRY_VALUE = 0, ENTRY_OWNER = 1, ENTRY_WORD = 2, ENTRY_CELLS = 3 };

// In the order of Change.
const Cell* const action_words[CHANGE_COUNT] = {
    &words::append, &words::insert, &words::change, &words::clear, &words::poke, &words::put, &words::remove,
    &words::reverse, &words::sort, &words::swap, &words::take, &words::trim, &words::move, &words::random,
};
const Cell* const past_words[CHANGE_COUNT] = {
    &words::appended, &words::inserted, &words::changed, &words::cleared, &words::poked, &words::put_ed,
    &words::removed, &words::reversed, &words::sorted, &words::swaped, &words::taken, &words::trimmed,
    &words::moved, &words::randomized,
};

NodeId table_node = 0;

// The table is weak: marking keeps its structure and entry block, not the series it lists, and
// the sweep drops the entries of series or owners that died.
void mark_table() {
    const hashtable::Record r = hashtable::record(table_node);
    for (NodeId node : {table_node, r.flags, r.buckets, r.block}) collector::mark_buffer(node);
}

void sweep_table() { hashtable::sweep(table_node); }

bool owned(NodeId node) { return (series_of(node)->flags & SERIES_OWNED) != 0; }
void set_owned(NodeId node, bool on) {
    if (on) series_of(node)->flags |= SERIES_OWNED;
    else series_of(node)->flags &= ~SERIES_OWNED;
}

bool owns_itself(NodeId context) {
    return context::context_cell(context).has_flag(object::FLAG_CONTEXT_OWNER);
}

NodeId key_of(const Cell& value) {
    if (value.is(TYPE_OBJECT)) return value.s1;
    return is_ownable(value.type()) ? value.s2 : 0;
}

void record(const Cell& value, const Cell& owner, const Cell& word) {
    Cell* entry = hashtable::put_key(table_node, value.s2);
    entry[ENTRY_VALUE] = value;
    entry[ENTRY_OWNER] = owner;
    entry[ENTRY_WORD] = word;
}

// Cell i of a block's buffer, counted from its first cell; re-read after every allocation.
Cell cell_at(const Cell& block, uint32_t i) { return series_of(block.s2)->cells()[i]; }
uint32_t length_of(const Cell& block) { return series_of(block.s2)->length(); }

void bind_cells(const Cell& block, const Cell& owner, const Cell& word) {
    if (cycles::find(block.s2)) return;
    cycles::Entry guard(block.s2);
    for (uint32_t i = block.s1; i < length_of(block); ++i) bind(cell_at(block, i), owner, word);
}

void bind_fields(const Cell& object, const Cell& owner) {
    NodeId context = object.s1;
    if (owns_itself(context) || cycles::find(context)) return;
    cycles::Entry guard(context);
    for (uint32_t i = 0; i < context::word_count(context); ++i) {
        const Cell value = *object::value_at(context, i);
        if (value.is(TYPE_OBJECT) && value.s1 == owner.s1) continue;
        bind(value, owner, object::get_field(context, i));
    }
}

void unbind_fields(const Cell& object) {
    NodeId context = object.s1;
    if (owns_itself(context) || cycles::find(context)) return;
    cycles::Entry guard(context);
    for (uint32_t i = 0; i < context::word_count(context); ++i) unbind(*object::value_at(context, i));
}

}  // namespace

void init() {
    table_node = hashtable::make_node_table(INITIAL_ENTRIES, ENTRY_CELLS, hashtable::Kind::ownership);
    collector::add_root(mark_table);
    collector::add_sweeper(sweep_table);
}

void shutdown() {
    collector::remove_root(mark_table);
    collector::remove_sweeper(sweep_table);
    table_node = 0;
}

NodeId table() { return table_node; }

const Cell& action_word(Change action) { return *action_words[int(action)]; }
const Cell& past_word(Change action) { return *past_words[int(action)]; }

void set_owner(const Cell& value, const Cell& owner, const Cell& word) {
    const Cell o = owner;
    bind(value, o, word);
    if (o.is(TYPE_OBJECT)) context::context_cell(o.s1).set_flag(object::FLAG_CONTEXT_OWNER);
}

void bind(const Cell& value, const Cell& owner, const Cell& word) {
    const Cell v = value;
    const Cell o = owner;
    const Cell w = word;
    if (v.is(TYPE_OBJECT)) return bind_fields(v, o);
    if (!is_ownable(v.type())) return;
    if (!owned(v.s2) || !hashtable::get_key(table_node, v.s2)) {
        set_owned(v.s2, true);
        record(v, o, w);
    }
    if (series::is_block_type(v.type())) bind_cells(v, o, w);
}

void unbind(const Cell& value) {
    const Cell v = value;
    if (v.is(TYPE_OBJECT)) return unbind_fields(v);
    if (!is_ownable(v.type())) return;
    set_owned(v.s2, false);
    Cell* entry = hashtable::get_key(table_node, v.s2);
    if (!entry) return;
    for (int i = 0; i < ENTRY_CELLS; ++i) entry[i].header = TYPE_UNSET;
    hashtable::remove_key(table_node, v.s2);
    if (!series::is_block_type(v.type())) return;
    for (uint32_t i = v.s1; i < length_of(v); ++i) unbind(cell_at(v, i));
}

void unbind_range(const Cell& block, uint32_t index, uint32_t count) {
    const Cell b = block;
    for (uint32_t i = index; i < index + count && i < length_of(b); ++i) unbind(cell_at(b, i));
}

const Cell* owner_of(NodeId node) {
    const Cell* entry = hashtable::get_key(table_node, node);
    return entry ? entry + ENTRY_OWNER : nullptr;
}

bool check(const Cell& series, const Cell& action, const Cell* new_value, int32_t index, int32_t count) {
    NodeId key = key_of(series);
    const Cell* entry = key ? hashtable::get_key(table_node, key) : nullptr;
    if (!entry || !entry[ENTRY_OWNER].s3) return false;
    const Cell owner = entry[ENTRY_OWNER];
    const Cell word = entry[ENTRY_WORD];
    const Cell target = series;
    const Cell told = action;
    const Cell fresh = new_value ? *new_value : none_cell();
    object::fire_on_deep_change(owner, word, target, told, new_value ? &fresh : nullptr, index, count);
    return true;
}

}  // namespace vyn::ownership
