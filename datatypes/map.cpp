// map! handlers and the routines the natives use on maps. The table stores the cell index of each
// key in the entry block; the value is the next cell, dead when its header is 0. Every new key
// goes through one path (check, normalise, append the pair, put the key into the table), whether
// it comes from make, put, a path, extend or the map literal's loader, so no key ever shares the
// caller's buffer; nor does a key given out (give_out_key). Handlers get rooted argument cells;
// buffers are re-read after each allocation.
#include "datatypes/map.hpp"

#include <algorithm>

#include "core/cycles.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/type_registry.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::map {
namespace {

using hashtable::Mode;

Series* entries_of(const Cell& m) { return memory::series_of(m.s2); }
uint32_t cells_of(const Cell& m) { return entries_of(m)->length(); }
Cell* cell_at(const Cell& m, uint32_t i) { return entries_of(m)->cells() + i; }
bool is_live(const Cell& m, uint32_t key_index) { return cell_at(m, key_index + 1)->header != 0; }
Cell entries_block(const Cell& m) { return make_cell(TYPE_BLOCK, 0, m.s2, 0); }

bool is_word_key(TypeId t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }

bool is_copied_key(TypeId t) {
    return series::is_string_type(t) || t == TYPE_BINARY;
}

Mode mode_for(bool case_sensitive) { return case_sensitive ? Mode::strict : Mode::equal; }

// Turns a stored key, in place, into the key as the map gives it out: a set-word key as a word,
// text and bytes as a copy, since the table keeps each key's hash and an edit through a shared
// buffer would lose the entry. `key` must be rooted: the copy allocates.
void give_out_key(Cell* key) {
    if (key->is(TYPE_SET_WORD)) key->set_type(TYPE_WORD);
    key->header &= ~FLAG_NEW_LINE;
    if (is_copied_key(key->type())) series::copy(key, nullptr, false, nullptr);
}

void check_key(const Cell& key, const Cell& where) {
    if (is_key_type(key.type())) return;
    Cell path = where;
    Cell type = datatype_cell(key.type());
    fire(err::invalid_path, &path, &type);
}

// The stored form of a new key, in place; text and bytes are copied from their head.
void normalise_key(Cell* key) {
    key->header &= ~FLAG_NEW_LINE;
    if (is_word_key(key->type())) key->set_type(TYPE_SET_WORD);
    else if (is_copied_key(key->type())) series::copy(key, nullptr, false, nullptr);
}

// The loader builds a literal's table over its own cells: only the keys need their stored form.
void prepare_loaded_pair(Cell* key, Cell* value) {
    normalise_key(key);
    value->header &= ~FLAG_NEW_LINE;
}

// The key cell's index, or -1.
int32_t find_entry(const Cell& m, const Cell& key, Mode mode) {
    return hashtable::get(m.s3, key, hashtable::Query{mode});
}

// The key cell's index when the entry is live, or -1.
int32_t find_live(const Cell& m, const Cell& key, Mode mode) {
    int32_t i = find_entry(m, key, mode);
    return i >= 0 && is_live(m, uint32_t(i)) ? i : -1;
}

Cell* set_none(Cell* c) {
    *c = none_cell();
    return c;
}

// Makes room in the entry block for `pairs` more entries.
void reserve_pairs(const Cell& m, uint32_t pairs) {
    memory::ensure_room(m.s2, uint64_t(pairs) * 2 * sizeof(Cell));
}

uint32_t pair_count_of(const Cell& block) {
    uint32_t length = block::vs_length(&block);
    if (length % 2 != 0) fire(err::invalid_arg, &block);
    return length / 2;
}

// Sets every pair of a block, from its head; `where` names the map for key errors.
void set_pairs(const Cell& m, const Cell& block, Mode mode, const Cell& where) {
    Rooted source(block);
    uint32_t first = std::min(source->s1, memory::series_of(source->s2)->length());
    uint32_t pairs = pair_count_of(*source);
    reserve_pairs(m, pairs);
    for (uint32_t i = 0; i < pairs; ++i) {
        const Cell* pair = memory::series_of(source->s2)->cells() + first + 2 * i;
        Cell key = pair[0];
        Cell value = pair[1];
        value.header &= ~FLAG_NEW_LINE;
        set_value(m, key, value, mode, where);
    }
}

// ---- walks

// Calls `visit(key, value)` for each live entry, in insertion order; stops when it answers false.
template <class Visit>
void each_live(const Cell& m, Visit visit) {
    for (uint32_t i = 0; i + 1 < cells_of(m); i += 2) {
        if (!is_live(m, i)) continue;
        Cell key = *cell_at(m, i);
        Cell value = *cell_at(m, i + 1);
        if (!visit(key, value)) return;
    }
}

// Entries one per line, one level deeper than the map when bracketed; with `flat` separated by
// spaces.
int32_t write_entries(const Cell& m, Cell* out, const MoldArgs& args, bool bracketed, const Cell* part,
                      int32_t budget) {
    cycles::Entry guard(m.s2);
    MoldArgs inner{false, args.all, args.flat, args.indent + (bracketed ? 1 : 0)};
    bool first = true;
    each_live(m, [&](Cell key, Cell value) {
        if (mold::exhausted(part, budget)) return false;
        if (args.flat) {
            if (!first) budget = mold::emit(out, " ", budget);
        } else if (bracketed || !first) {
            budget = mold::emit_line_break(out, inner.indent, budget);
        }
        first = false;
        budget = mold::mold_value(&key, out, inner, part, budget);
        budget = mold::emit(out, " ", budget);
        budget = mold::mold_value(&value, out, inner, part, budget);
        return true;
    });
    if (bracketed && !args.flat && !first) budget = mold::emit_line_break(out, args.indent, budget);
    return budget;
}

// ---- reflection

enum class Field { words, values, body };

Field field_of(const Cell& word) {
    if (word_names::field_word(word.type())) {
        if (word_names::is(word, words::sym::words)) return Field::words;
        if (word_names::is(word, words::sym::values)) return Field::values;
        if (word_names::is(word, words::sym::body)) return Field::body;
    }
    fire(err::not_done);
}

void append_cell(Cell* block, Cell c) { block::vs_append(block, &c); }

// A new block of the live keys, values or pairs; each pair of a body starts a new line.
void reflect_into(const Cell& m, Field field, Cell* result) {
    Rooted map(m);
    uint32_t room = uint32_t(count(*map)) * (field == Field::body ? 2 : 1);
    block::make_at(result, room);
    for (uint32_t i = 0; i + 1 < cells_of(*map); i += 2) {
        if (!is_live(*map, i)) continue;
        if (field != Field::values) {
            Rooted key(*cell_at(*map, i));
            give_out_key(key.get());
            if (field == Field::body) key->set_flag(FLAG_NEW_LINE);
            append_cell(result, *key);
        }
        if (field != Field::words) append_cell(result, *cell_at(*map, i + 1));
    }
}

// ---- comparison

// Whether every live entry of `a` is in `b` with an equal value.
bool entries_found_in(const Cell& a, const Cell& b, bool strict) {
    bool all = true;
    each_live(a, [&](Cell key, Cell value) {
        int32_t i = find_live(b, key, mode_for(strict));
        Cell other = i < 0 ? unset_cell() : *cell_at(b, uint32_t(i) + 1);
        all = i >= 0 && actions::compare(&value, &other, strict ? CMP_STRICT_EQUAL : CMP_EQUAL);
        return all;
    });
    return all;
}

int compare_maps(const Cell& a, const Cell& b, int op) {
    bool same = a.s2 == b.s2 && a.s1 == b.s1;
    switch (op) {
    case CMP_SAME: return same ? 0 : -1;
    case CMP_SORT:
    case CMP_SORT_CASE: return a.s2 < b.s2 ? -1 : a.s2 > b.s2 ? 1 : 0;
    case CMP_EQUAL:
    case CMP_NOT_EQUAL:
    case CMP_STRICT_EQUAL:
    case CMP_FIND:
        if (same) return 0;
        if (count(a) != count(b)) return 1;
        return entries_found_in(a, b, op == CMP_STRICT_EQUAL) ? 0 : 1;
    default: return -2;
    }
}

// ---- handlers

Cell* map_make(Cell* proto, const Cell* spec, TypeId) {
    Rooted from(*spec);
    if (from->is(TYPE_INTEGER) || from->is(TYPE_FLOAT)) {
        int32_t size = float_::to_integer_checked(*from);
        if (size < 0) fire(err::out_of_range, from.get());
        return make_at(proto, uint32_t(size));
    }
    if (from->is(TYPE_MAP)) {
        *proto = *from;
        return datatype::handler<A_COPY>(TYPE_MAP)(proto, nullptr, false, nullptr);
    }
    if (!from->is(TYPE_BLOCK) && !from->is(TYPE_PAREN) && !from->is(TYPE_HASH)) {
        datatype::fire_bad_to_arg(TYPE_MAP, from.get());
    }
    make_at(proto, pair_count_of(*from));
    set_pairs(*proto, *from, Mode::strict, *proto);
    return proto;
}

Cell* map_to(Cell* proto, const Cell* spec, TypeId type) {
    if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
        datatype::fire_bad_to_arg(TYPE_MAP, spec);
    }
    return map_make(proto, spec, type);
}

Cell* map_reflect(Cell* m, const Cell* field) {
    reflect_into(*m, field_of(*field), m);
    return m;
}

int32_t map_mold(const Cell* m, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (const char* marker = cycles::detect(*m, true)) return mold::emit(out, marker, budget);
    if (args.only) return write_entries(*m, out, args, false, part, budget);
    budget = mold::emit(out, "#[", budget);
    budget = write_entries(*m, out, args, true, part, budget);
    return mold::emit(out, "]", budget);
}

int32_t map_form(const Cell* m, Cell* out, const Cell* part, int32_t budget) {
    if (const char* marker = cycles::detect(*m, false)) return mold::emit(out, marker, budget);
    return write_entries(*m, out, MoldArgs{true, false, false, 0}, false, part, budget);
}

Cell* map_eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    Mode mode = mode_for(step.case_sensitive);
    if (!value) {
        *parent = get_value(*parent, *element, mode);
        return parent;
    }
    Rooted stored(*value);
    set_value(*parent, *element, *stored, mode, step.path ? *step.path : *parent);
    *parent = *stored;
    return parent;
}

int map_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_MAP)) return -2;
    return compare_maps(*a, *b, op);
}

Cell* map_clear(Cell* m) {
    hashtable::clear(m->s3);
    Series* s = entries_of(*m);
    s->tail = s->head;
    return m;
}

// The entry block is copied as a block (deeply with /deep, which also guards against cycles);
// the table is copied onto the new block.
Cell* map_copy(Cell* m, const Cell*, bool deep, const Cell* types) {
    Rooted source(*m);
    *m = entries_block(*source);
    block::copy(m, nullptr, deep, types);
    NodeId table = hashtable::copy(source->s3, m->s2);
    *m = make_cell(TYPE_MAP, 0, m->s2, table);
    return m;
}

Mode find_mode(const FindArgs& args) {
    if (args.same) return Mode::same;
    return mode_for(args.case_sensitive);
}

Cell* map_find(Cell* m, const Cell* value, const FindArgs& args) {
    int32_t i = find_live(*m, *value, find_mode(args));
    if (i < 0) return set_none(m);
    *m = *cell_at(*m, uint32_t(i));
    give_out_key(m);
    return m;
}

Cell* map_select(Cell* m, const Cell* value, const FindArgs& args) {
    *m = get_value(*m, *value, find_mode(args));
    return m;
}

int32_t map_length(const Cell* m) { return count(*m); }

Cell* map_put(Cell* m, const Cell* key, const Cell* value, bool case_sensitive) {
    Rooted stored(*value);
    set_value(*m, *key, *stored, mode_for(case_sensitive), *m);
    *m = *stored;
    return m;
}

Cell* map_remove(Cell* m, const Cell*, const Cell* key) {
    if (!key) fire(err::missing_arg);
    int32_t i = find_live(*m, *key, Mode::strict);
    if (i >= 0) hashtable::remove(m->s3, uint32_t(i));
    return m;
}

const SlotHandler map_actions[] = {
    act<A_MAKE>(map_make),
    act<A_REFLECT>(map_reflect),
    act<A_TO>(map_to),
    act<A_FORM>(map_form),
    act<A_MOLD>(map_mold),
    act<A_EVAL_PATH>(map_eval_path),
    act<A_COMPARE>(map_compare),
    act<A_CLEAR>(map_clear),
    act<A_COPY>(map_copy),
    act<A_FIND>(map_find),
    act<A_LENGTH_Q>(map_length),
    act<A_PUT>(map_put),
    act<A_REMOVE>(map_remove),
    act<A_SELECT>(map_select),
};

}  // namespace

bool is_key_type(TypeId type) {
    switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_CHAR: case TYPE_INTEGER:
    case TYPE_FLOAT: case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TUPLE:
    case TYPE_BINARY: case TYPE_TIME: case TYPE_TAG: case TYPE_EMAIL: case TYPE_DATE:
    case TYPE_MONEY: case TYPE_REF: case TYPE_POINT2D: case TYPE_POINT3D:
        return true;
    default:
        return false;
    }
}

Cell* make_at(Cell* cell, uint32_t pairs) {
    block::make_at(cell, int64_t(std::max(pairs, 1u)) * 2);
    NodeId table = hashtable::make(pairs, hashtable::Kind::map_index, cell);
    cell->set_type(TYPE_MAP);
    cell->s3 = table;
    return cell;
}

int32_t count(const Cell& m) { return hashtable::record(m.s3).live_count; }

Cell get_value(const Cell& m, const Cell& key, Mode mode) {
    int32_t i = find_live(m, key, mode);
    return i < 0 ? none_cell() : *cell_at(m, uint32_t(i) + 1);
}

void set_value(const Cell& m, const Cell& key, const Cell& value, Mode mode, const Cell& where) {
    Rooted map(m);
    Rooted stored(value);
    hashtable::Lookup found = hashtable::find(map->s3, key, mode);
    int32_t i = found.index;
    if (i < 0) {
        check_key(key, where);
        Rooted k(key);
        normalise_key(k.get());
        Cell entries = entries_block(*map);
        i = int32_t(cells_of(*map));
        block::vs_append(&entries, k.get());
        Cell placeholder = unset_cell();
        block::vs_append(&entries, &placeholder);
        hashtable::put_missed(map->s3, uint32_t(i), found);
    } else if (!is_live(*map, uint32_t(i))) {
        ++hashtable::record(map->s3).live_count;
    }
    *cell_at(*map, uint32_t(i) + 1) = *stored;
}

void extend(const Cell& m, const Cell& spec, bool case_sensitive) {
    Mode mode = mode_for(case_sensitive);
    if (!spec.is(TYPE_MAP)) return set_pairs(m, spec, mode, m);
    each_live(spec, [&](Cell key, Cell value) {
        set_value(m, key, value, mode, m);
        return true;
    });
}

bool foreach_assign(const Cell& m, const Cell& words, uint32_t& position) {
    Rooted key(none_cell());
    Rooted value(none_cell());
    bool found = false;
    for (; position + 1 < cells_of(m) && !found; position += 2) {
        if (!is_live(m, position)) continue;
        *key = *cell_at(m, position);
        *value = *cell_at(m, position + 1);
        found = true;
    }
    if (found) give_out_key(key.get());
    for (uint32_t w = 0; w < 2; ++w) {
        Cell word = *block::vs_abs_at(&words, words.s1 + w);
        if (!word_names::field_word(word.type())) fire(err::invalid_arg, &word);
        word::set(word, w == 0 ? *key : *value, true);
    }
    return found;
}

}  // namespace vyn::map

namespace vyn {

void map_init() {
    datatype::register_type(TYPE_MAP, TYPE_NONE_ID, "map!", UNSUPPORTED, map::map_actions);
    hashtable::set_map_key_preparer(map::prepare_loaded_pair);
}

}  // namespace vyn
