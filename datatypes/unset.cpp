// unset! handlers. An unset value forms as nothing and molds as "unset"; it equals only another
// unset under the equality and sorting codes, and has no order.
#include "datatypes/unset.hpp"

#include "core/datatype.hpp"
#include "datatypes/datatype.hpp"
#include "eval/stack.hpp"

namespace vyn::unset {

Cell* push_last() {
    *stack::base = unset_cell();
    return stack::base;
}

Cell* push() { return stack::push(unset_cell()); }

namespace {

Cell* unset_make(Cell* proto, const Cell*, TypeId) {
    *proto = unset_cell();
    return proto;
}

int32_t unset_form(const Cell*, Cell*, const Cell*, int32_t budget) { return budget; }

int32_t unset_mold(const Cell*, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    return datatype::append_text(out, args.all ? "#(unset)" : "unset", budget);
}

const Handler unset_actions[] = {
    act<A_MAKE>(unset_make),                          // make
    UNSUPPORTED,                                      // random
    UNSUPPORTED,                                      // reflect
    act<A_TO>(unset_make),                            // to
    act<A_FORM>(unset_form),                          // form
    act<A_MOLD>(unset_mold),                          // mold
    UNSUPPORTED,                                      // eval-path
    UNSUPPORTED,                                      // set-path
    act<A_COMPARE>(datatype::compare_without_order),  // compare
    UNSUPPORTED,                                      // absolute
    UNSUPPORTED,                                      // add
    UNSUPPORTED,                                      // divide
    UNSUPPORTED,                                      // multiply
    UNSUPPORTED,                                      // negate
    UNSUPPORTED,                                      // power
    UNSUPPORTED,                                      // remainder
    UNSUPPORTED,                                      // round
    UNSUPPORTED,                                      // subtract
    UNSUPPORTED,                                      // even?
    UNSUPPORTED,                                      // odd?
    UNSUPPORTED,                                      // and~
    UNSUPPORTED,                                      // complement
    UNSUPPORTED,                                      // or~
    UNSUPPORTED,                                      // xor~
    UNSUPPORTED,                                      // append
    UNSUPPORTED,                                      // at
    UNSUPPORTED,                                      // back
    UNSUPPORTED,                                      // change
    UNSUPPORTED,                                      // clear
    UNSUPPORTED,                                      // copy
    UNSUPPORTED,                                      // find
    UNSUPPORTED,                                      // head
    UNSUPPORTED,                                      // head?
    UNSUPPORTED,                                      // index?
    UNSUPPORTED,                                      // insert
    UNSUPPORTED,                                      // length?
    UNSUPPORTED,                                      // move
    UNSUPPORTED,                                      // next
    UNSUPPORTED,                                      // pick
    UNSUPPORTED,                                      // poke
    UNSUPPORTED,                                      // put
    UNSUPPORTED,                                      // remove
    UNSUPPORTED,                                      // reverse
    UNSUPPORTED,                                      // select
    UNSUPPORTED,                                      // sort
    UNSUPPORTED,                                      // skip
    UNSUPPORTED,                                      // swap
    UNSUPPORTED,                                      // tail
    UNSUPPORTED,                                      // tail?
    UNSUPPORTED,                                      // take
    UNSUPPORTED,                                      // trim
    UNSUPPORTED,                                      // create
    UNSUPPORTED,                                      // close
    UNSUPPORTED,                                      // delete
    UNSUPPORTED,                                      // modify
    UNSUPPORTED,                                      // open
    UNSUPPORTED,                                      // open?
    UNSUPPORTED,                                      // query
    UNSUPPORTED,                                      // read
    UNSUPPORTED,                                      // rename
    UNSUPPORTED,                                      // update
    UNSUPPORTED,                                      // write
};

}  // namespace
}  // namespace vyn::unset

namespace vyn {

void unset_init() { datatype::register_type(TYPE_UNSET, TYPE_NONE_ID, "unset!", unset::unset_actions); }

}  // namespace vyn
