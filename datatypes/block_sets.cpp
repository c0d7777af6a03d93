// Block set operations. While one runs, every series it reads and the result it builds are held
// as hash! cells in rooted cells: a hash! cell keeps both its block and its table reachable, so
// the temporary tables survive the allocations of the result. Indexes are cell indexes from the
// buffer's first cell, as the tables store them.
#include "datatypes/block_sets.hpp"

#include <algorithm>

#include "core/hashtable.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/series.hpp"

namespace vyn::block {
namespace {

using string::SetOp;

uint32_t total_of(const Cell& b) { return memory::series_of(b.s2)->length(); }
Cell cell_at(const Cell& b, uint32_t i) { return memory::series_of(b.s2)->cells()[i]; }

// The series as a hash! over its cells from its head: a hash! as it is, a block with a new table.
Cell indexed(const Cell& series) {
    Cell s = series;
    s.s1 = std::min(s.s1, total_of(s));
    if (s.is(TYPE_HASH)) return s;
    NodeId table = hashtable::make(std::max(total_of(s), 1u), hashtable::Kind::hash_index, &s);
    return make_cell(TYPE_HASH, s.s1, s.s2, table);
}

struct Rules {
    uint32_t step;
    hashtable::Mode mode;
};

// Whether one of the cells of `keys` that lie a multiple of `step` cells from its head equals
// the value. Nested blocks are compared by content.
bool contains(const Cell& keys, const Cell& value, hashtable::Mode mode, uint32_t step) {
    if (!series::is_block_type(value.type())) {
        hashtable::Query query{mode, int32_t(keys.s1), int32_t(step)};
        return hashtable::get(keys.s3, value, query) >= 0;
    }
    int op = mode == hashtable::Mode::strict ? CMP_STRICT_EQUAL : CMP_FIND;
    for (uint32_t i = keys.s1; i < total_of(keys); i += step) {
        Cell c = cell_at(keys, i);
        if (c.type() == value.type() && actions::compare(&c, &value, op)) return true;
    }
    return false;
}

bool wanted(SetOp op, const Cell& other, const Cell& key, const Rules& rules) {
    switch (op) {
    case string::SET_INTERSECT: return contains(other, key, rules.mode, rules.step);
    case string::SET_EXCLUDE: case string::SET_DIFFERENCE: return !contains(other, key, rules.mode, rules.step);
    default: return true;
    }
}

// Appends each record of `from` whose key is wanted and not yet in the result. The result's
// table indexes the keys alone, so a record's other cells never pass for keys.
void collect_records(Cell& result, const Cell& from, const Cell& other, SetOp op, const Rules& rules) {
    for (uint32_t i = from.s1; i < total_of(from); i += rules.step) {
        Cell key = cell_at(from, i);
        if (!wanted(op, other, key, rules) || contains(result, key, rules.mode, 1)) continue;
        uint32_t index = total_of(result);
        uint32_t end = std::min(i + rules.step, total_of(from));
        for (uint32_t k = i; k < end; ++k) {
            Cell c = cell_at(from, k);
            vs_append(&result, &c);
        }
        hashtable::put(result.s3, index);
    }
}

uint32_t step_of(const Cell* skip) {
    if (!skip) return 1;
    if (!skip->is(TYPE_INTEGER) || skip->i32() < 1) {
        Cell word = datatype::word_arg("skip");
        fire(err::invalid_refine_arg, &word, skip);
    }
    return uint32_t(skip->i32());
}

}  // namespace

Cell* do_set_op(Cell* first, const Cell* second, bool case_sensitive, const Cell* skip, SetOp op) {
    Rules rules{step_of(skip), case_sensitive ? hashtable::Mode::strict : hashtable::Mode::equal};
    bool unique = op == string::SET_UNIQUE;
    bool to_hash = first->is(TYPE_HASH) || (!unique && second->is(TYPE_HASH));
    Rooted a(indexed(*first));
    Rooted b(unique ? *a : indexed(*second));
    uint32_t room = total_of(*a) - a->s1 + (unique ? 0 : total_of(*b) - b->s1);
    Rooted result(none_cell());
    make_at(result.get(), room);
    result->s3 = hashtable::make(std::max(room, 1u), hashtable::Kind::hash_index, result.get());
    result->set_type(TYPE_HASH);
    collect_records(*result, *a, *b, op, rules);
    if (op == string::SET_UNION || op == string::SET_DIFFERENCE) collect_records(*result, *b, *a, op, rules);
    if (to_hash) hashtable::rebuild(result->s3, std::max(total_of(*result), 1u));  // a hash! indexes every value
    TypeId type = to_hash ? TYPE_HASH : first->type();
    *first = *result;
    first->set_type(type);
    if (!to_hash) first->s3 = 0;
    return first;
}

}  // namespace vyn::block
