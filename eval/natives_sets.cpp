// Set operation natives: one dispatcher checks that the operands go together and hands the work
// to the set engine of the first operand's type, which writes its result into the first
// argument cell (the native's result cell).
#include "core/raise.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/block_sets.hpp"
#include "datatypes/date.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/typeset.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

bool is_list(TypeId t) { return t == TYPE_BLOCK || t == TYPE_HASH; }

// A block goes with a hash! either way round, and a typeset with a datatype (the set of that
// one type); every other operand pair must share its type.
void check_operands(const Cell& set1, const Cell& set2) {
    if (is_list(set1.type()) ? is_list(set2.type()) : set1.type() == set2.type()) return;
    if (set1.is(TYPE_TYPESET) && set2.is(TYPE_DATATYPE)) return;
    Cell expected = datatype_cell(set2.type());
    Cell found = datatype_cell(set1.type());
    fire(err::expect_val, &expected, &found);
}

void set_operation(string::SetOp op, const int32_t* refinements) {
    Cell* a = args();
    bool unique = op == string::SET_UNIQUE;
    bool case_sensitive = used(refinements, 0);
    const Cell* skip = refinement_arg(refinements, 1);
    if (!unique) check_operands(a[0], a[1]);
    switch (a[0].type()) {
    case TYPE_BLOCK: case TYPE_HASH: block::do_set_op(&a[0], &a[1], case_sensitive, skip, op); break;
    case TYPE_STRING: string::do_set_op(&a[0], &a[1], case_sensitive, skip, op); break;
    case TYPE_TYPESET:
        if (unique) fire_expect_arg(a[0], "set");
        typeset::combine(&a[0], &a[1], typeset::SetOp(op));
        break;
    case TYPE_BITSET: bitset::combine(&a[0], &a[1], typeset::SetOp(op)); break;
    case TYPE_DATE:
        if (op == string::SET_DIFFERENCE) {
            date::difference(&a[0], &a[1]);
            break;
        }
        [[fallthrough]];
    default: fire_expect_arg(a[0], unique ? "set" : "set1");
    }
    stack::keep();
}

}  // namespace

namespace entry {

void union_(int32_t, const int32_t* refinements) { set_operation(string::SET_UNION, refinements); }
void intersect(int32_t, const int32_t* refinements) { set_operation(string::SET_INTERSECT, refinements); }
void unique(int32_t, const int32_t* refinements) { set_operation(string::SET_UNIQUE, refinements); }
void difference(int32_t, const int32_t* refinements) { set_operation(string::SET_DIFFERENCE, refinements); }
void exclude(int32_t, const int32_t* refinements) { set_operation(string::SET_EXCLUDE, refinements); }

}  // namespace entry
}  // namespace vyn::natives
