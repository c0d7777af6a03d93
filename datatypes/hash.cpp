// hash! handlers. Each modifying action runs block!'s handler and then re-indexes the cells it
// may have touched: a handler that changes the length touches everything from its first changed
// cell to the tail, one that keeps it touches a known span. Those cells' old entries leave the
// table (found through the cell-to-bucket array, so their new contents do not matter) before the
// new cells are put. Argument cells are rooted; the originals are kept in Rooted cells because a
// handler overwrites its first argument with its result.
#include "datatypes/hash.hpp"

#include <algorithm>

#include "core/hashtable.hpp"
#include "core/rooted.hpp"
#include "core/type_registry.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/series.hpp"

namespace vyn::hash {
namespace {

uint32_t total_of(const Cell& h) { return memory::series_of(h.s2)->length(); }
uint32_t head_of(const Cell& h) { return std::min(h.s1, total_of(h)); }

// block!'s handler as block! holds it now.
template <int Slot>
typename ActionSignature<Slot>::Fn block_handler(const Cell* h) {
    auto fn = datatype::handler<Slot>(TYPE_BLOCK);
    if (!fn) actions::unsupported(h);
    return fn;
}

// The cells [from, old_end) leave the table and the cells [from, new_end) are put into it.
void reindex(const Cell& h, uint32_t from, uint32_t old_end, uint32_t new_end) {
    NodeId table = h.s3;
    if (from == 0 && new_end == total_of(h)) return hashtable::rebuild(table, std::max(new_end, 1u));
    for (uint32_t i = from; i < old_end; ++i) hashtable::remove(table, i);
    for (uint32_t i = from; i < new_end; ++i)
        if (hashtable::put(table, i).rebuilt) return;
}

// Where a change starts and, when the length stays, how many cells it spans (0: to the tail).
struct Touched {
    uint32_t from;
    uint32_t span = 0;
};

// Runs block!'s handler for the slot and re-indexes what it touched.
template <int Slot, class... Args>
Cell* changed(Cell* h, Touched touched, Args... args) {
    Rooted original(*h);
    uint32_t old_total = total_of(*h);
    Cell* result = block_handler<Slot>(h)(h, args...);
    if (result != h) *h = *result;
    reindex_changed(*original, touched.from, old_total, touched.span);
    return h;
}

Touched from_head(const Cell* h) { return {head_of(*h)}; }

// The cell that poke and an integer path step write (out of range: the block handler raises).
Touched poked(const Cell* h, int32_t index) {
    int64_t p = index > 0 ? int64_t(head_of(*h)) + index - 1 : int64_t(head_of(*h)) + index;
    return {uint32_t(std::clamp<int64_t>(p, 0, total_of(*h))), 1};
}

// ---- construction and text

Cell* hash_copy(Cell* h, const Cell* part, bool deep, const Cell* types) {
    Rooted source(*h);
    bool whole = !part && !deep && !types && h->s1 == 0;
    block::copy(h, part, deep, types);
    if (!whole) return index_at(h);
    NodeId table = hashtable::copy(source->s3, h->s2);
    h->s3 = table;
    return h;
}

Cell* hash_make(Cell* proto, const Cell* spec, TypeId) {
    Rooted from(*spec);
    if (from->is(TYPE_HASH)) {
        *proto = *from;
        return hash_copy(proto, nullptr, false, nullptr);
    }
    bool direct = from->is(TYPE_INTEGER) || from->is(TYPE_FLOAT) || series::is_block_type(from->type());
    if (direct) block::make(proto, from.get(), TYPE_BLOCK);
    else block::to(proto, from.get(), TYPE_BLOCK);
    return index_at(proto);
}

Cell* hash_to(Cell* proto, const Cell* spec, TypeId) {
    Rooted from(*spec);
    if (from->is(TYPE_HASH)) {
        *proto = *from;
        return hash_copy(proto, nullptr, false, nullptr);
    }
    block::to(proto, from.get(), TYPE_BLOCK);
    return index_at(proto);
}

int32_t hash_mold(const Cell* h, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (!args.only) budget = mold::emit(out, "make hash! ", budget);
    return block::mold(h, out, args, part, budget);
}

// ---- changes

Cell* hash_eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    auto path = block_handler<A_EVAL_PATH>(parent);
    if (!value) return path(parent, element, value, step);
    Touched touched = element->is(TYPE_INTEGER) ? poked(parent, element->i32()) : from_head(parent);
    return changed<A_EVAL_PATH>(parent, touched, element, value, step);
}

Cell* hash_append(Cell* h, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return changed<A_APPEND>(h, Touched{total_of(*h)}, value, part, only, dup);
}

Cell* hash_insert(Cell* h, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return changed<A_INSERT>(h, from_head(h), value, part, only, dup);
}

Cell* hash_change(Cell* h, const Cell* value, const Cell* part, bool only, const Cell* dup) {
    return changed<A_CHANGE>(h, from_head(h), value, part, only, dup);
}

Cell* hash_clear(Cell* h) { return changed<A_CLEAR>(h, from_head(h)); }

Cell* hash_poke(Cell* h, int32_t index, const Cell* index_value, const Cell* value) {
    return changed<A_POKE>(h, poked(h, index), index, index_value, value);
}

Cell* hash_put(Cell* h, const Cell* key, const Cell* value, bool case_sensitive) {
    return changed<A_PUT>(h, from_head(h), key, value, case_sensitive);
}

Cell* hash_remove(Cell* h, const Cell* part, const Cell* key) {
    return changed<A_REMOVE>(h, from_head(h), part, key);
}

Cell* hash_reverse(Cell* h, const Cell* part, const Cell* skip) {
    return changed<A_REVERSE>(h, from_head(h), part, skip);
}

Cell* hash_sort(Cell* h, const SortArgs& args) { return changed<A_SORT>(h, from_head(h), args); }

Cell* hash_trim(Cell* h, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with) {
    return changed<A_TRIM>(h, from_head(h), head, tail, auto_, lines, all, with);
}

// Swapping within one hash re-indexes both cells together: every touched cell must leave the
// table before any is put, as the table compares new cells with the first of each equal run.
Cell* hash_swap(Cell* h, const Cell* other) {
    uint32_t a = head_of(*h);
    uint32_t b = other->s2 == h->s2 ? head_of(*other) : a;
    return changed<A_SWAP>(h, Touched{std::min(a, b), std::max(a, b) - std::min(a, b) + 1}, other);
}

// A part taken out becomes a hash! of its own.
Cell* hash_take(Cell* h, const Cell* part, bool deep, bool last) {
    changed<A_TAKE>(h, from_head(h), part, deep, last);
    return h->is(TYPE_HASH) && h->s3 == 0 ? index_at(h) : h;
}

// Inside one hash the run lands before or after the origin.
Cell* hash_move(Cell* origin, const Cell* target, const Cell* part) {
    bool same = target->s2 == origin->s2;
    uint32_t from = same ? std::min(head_of(*origin), head_of(*target)) : head_of(*origin);
    return changed<A_MOVE>(origin, Touched{from}, target, part);
}

const SlotHandler hash_actions[] = {
    act<A_MAKE>(hash_make),
    unsupported_at<A_RANDOM>(),
    act<A_TO>(hash_to),
    act<A_MOLD>(hash_mold),
    act<A_EVAL_PATH>(hash_eval_path),
    act<A_APPEND>(hash_append),
    act<A_CHANGE>(hash_change),
    act<A_CLEAR>(hash_clear),
    act<A_COPY>(hash_copy),
    act<A_INSERT>(hash_insert),
    act<A_MOVE>(hash_move),
    act<A_POKE>(hash_poke),
    act<A_PUT>(hash_put),
    act<A_REMOVE>(hash_remove),
    act<A_REVERSE>(hash_reverse),
    act<A_SORT>(hash_sort),
    act<A_SWAP>(hash_swap),
    act<A_TAKE>(hash_take),
    act<A_TRIM>(hash_trim),
};

}  // namespace

void reindex_changed(const Cell& h, uint32_t from, uint32_t old_total, uint32_t span) {
    uint32_t total = total_of(h);
    if (total == old_total && span) {
        uint32_t end = std::min(from + span, total);
        return reindex(h, from, end, end);
    }
    reindex(h, from, old_total, total);
}

Cell* index_at(Cell* value) {
    Cell over = *value;
    over.s1 = 0;
    NodeId table = hashtable::make(std::max(total_of(over), 1u), hashtable::Kind::hash_index, &over);
    value->s3 = table;
    value->set_type(TYPE_HASH);
    return value;
}

}  // namespace vyn::hash

namespace vyn {

void hash_init() { datatype::register_type(TYPE_HASH, TYPE_BLOCK, "hash!", INHERIT, hash::hash_actions); }

}  // namespace vyn
