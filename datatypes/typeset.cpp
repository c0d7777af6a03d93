// typeset! handlers: made from blocks of datatypes, listed by datatype name in type id order,
// equal when all 96 bits are, ordered by member count, combined slot by slot. Handlers copy their
// argument cells first: appending to the output may move a block the value lies in.
#include "datatypes/typeset.hpp"

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/word.hpp"

namespace vyn::typeset {
namespace {

// What a spec word holding a word stands for.
constexpr TypeId WORD_VALUE_TYPE = TYPE_WORD;

bool member(const Cell& ts, uint32_t type) { return has(ts, type) && datatype::registered(TypeId(type)); }

// Adds a typeset! or a datatype!; false for any other value.
bool add_member(Cell& ts, const Cell& value) {
    if (value.is(TYPE_TYPESET)) add_all(ts, value);
    else if (value.is(TYPE_DATATYPE)) add(ts, value.s1);
    else return false;
    return true;
}

Cell value_of(const Cell& value) { return value.is(TYPE_WORD) ? word::get_any(value) : value; }

// Calls `each` with a copy of every cell of the block from its head.
template <class Each>
void for_each_value(const Cell& block, Each each) {
    const Cell b = block;
    for (uint32_t i = b.s1; i < memory::series_of(b.s2)->length(); ++i) each(memory::series_of(b.s2)->cells()[i]);
}

}  // namespace

void add_type(Cell& ts, const Cell& value) {
    const Cell v = value;
    if (!add_member(ts, value_of(v))) fire(err::invalid_arg, &v);
}

Cell from_block(const Cell& block) {
    Cell ts = empty();
    for_each_value(block, [&](const Cell value) { add_type(ts, value); });
    return ts;
}

Cell from_spec(const Cell& block) {
    Cell ts = empty();
    for_each_value(block, [&](const Cell value) {
        if (value.is(TYPE_BLOCK)) return;
        Cell named = value_of(value);
        if (value.is(TYPE_WORD) && named.is(TYPE_WORD)) named = datatype_cell(WORD_VALUE_TYPE);
        if (!add_member(ts, named)) fire(err::invalid_type_spec, &value);
    });
    return ts;
}

void to_block(const Cell& ts, Cell* block) {
    const Cell types = ts;
    for (uint32_t t = 1; t <= datatype::highest_registered(); ++t) {
        if (!member(types, t)) continue;
        const Cell type = datatype_cell(TypeId(t));
        block::vs_append(block, &type);
    }
}

uint32_t count(const Cell& ts) {
    uint32_t n = 0;
    for (uint32_t t = 1; t <= datatype::highest_registered(); ++t) n += member(ts, t) ? 1 : 0;
    return n;
}

Cell* combine(Cell* first, const Cell* second, SetOp op) {
    Cell other = *second;
    if (other.is(TYPE_DATATYPE)) other = of({other.s1});
    else if (!other.is(TYPE_TYPESET)) fire(err::invalid_arg, &other);
    first->s1 = combined_bits(op, first->s1, other.s1);
    first->s2 = combined_bits(op, first->s2, other.s2);
    first->s3 = combined_bits(op, first->s3, other.s3);
    return first;
}

namespace {

Cell* typeset_make(Cell* proto, const Cell* spec, TypeId) {
    const Cell from = *spec;
    if (from.is(TYPE_TYPESET)) {
        *proto = from;
    } else if (from.is(TYPE_BLOCK)) {
        *proto = from_block(from);
    } else {
        datatype::fire_bad_to_arg(TYPE_TYPESET, &from);
    }
    return proto;
}

// The member names separated by spaces; with a part limit, no further name once it is overrun.
int32_t append_names(const Cell& ts, Cell* out, const Cell* part, int32_t budget) {
    bool first = true;
    for (uint32_t t = 1; t <= datatype::highest_registered(); ++t) {
        if (!member(ts, t)) continue;
        if (part && budget < 0) break;
        if (!first) budget = datatype::append_text(out, " ", budget);
        budget = datatype::append_text(out, datatype::name_of(TypeId(t)), budget);
        first = false;
    }
    return budget;
}

int32_t typeset_form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    const Cell ts = *value;
    return append_names(ts, out, part, budget);
}

int32_t typeset_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    const Cell ts = *value;
    budget = datatype::append_text(out, "make typeset! [", budget);
    budget = append_names(ts, out, part, budget);
    return datatype::append_text(out, "]", budget);
}

int typeset_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_TYPESET)) return -2;
    switch (op) {
    case CMP_EQUAL: case CMP_NOT_EQUAL: case CMP_STRICT_EQUAL: case CMP_SAME: case CMP_FIND:
        return a->s1 == b->s1 && a->s2 == b->s2 && a->s3 == b->s3 ? 0 : 1;
    case CMP_SORT: case CMP_SORT_CASE: {
        uint32_t x = count(*a), y = count(*b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
        return -2;
    }
}

Cell* typeset_and(Cell* left, const Cell* right) { return combine(left, right, SET_AND); }
Cell* typeset_or(Cell* left, const Cell* right) { return combine(left, right, SET_OR); }
Cell* typeset_xor(Cell* left, const Cell* right) { return combine(left, right, SET_XOR); }

Cell* typeset_complement(Cell* value) {
    value->s1 = ~value->s1;
    value->s2 = ~value->s2;
    value->s3 = ~value->s3;
    return value;
}

Cell* typeset_find(Cell* series, const Cell* value, const FindArgs&) {
    const Cell type = *value;
    if (!type.is(TYPE_DATATYPE)) fire(err::invalid_arg, &type);
    *series = logic_cell(has(*series, type.s1));
    return series;
}

const SlotHandler typeset_actions[] = {
    act<A_MAKE>(typeset_make),
    act<A_TO>(typeset_make),
    act<A_FORM>(typeset_form),
    act<A_MOLD>(typeset_mold),
    act<A_COMPARE>(typeset_compare),
    act<A_AND_T>(typeset_and),
    act<A_COMPLEMENT>(typeset_complement),
    act<A_OR_T>(typeset_or),
    act<A_XOR_T>(typeset_xor),
    act<A_FIND>(typeset_find),
};

}  // namespace
}  // namespace vyn::typeset

namespace vyn {

void typeset_init() {
    datatype::register_type(TYPE_TYPESET, TYPE_NONE_ID, "typeset!", UNSUPPORTED, typeset::typeset_actions);
}

}  // namespace vyn
