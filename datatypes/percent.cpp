// percent! actions: its own form and mold, the rest inherited from float!. The cell holds the
// fraction; the text shows the hundredfold value with 13 significant digits and a "%".
#include "datatypes/percent.hpp"

#include "core/datatype.hpp"
#include "datatypes/float.hpp"

namespace vyn::percent {
namespace {

int32_t percent_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return floating::form_text(value->f64() * 100.0, float_text::TextKind::percent, out, budget);
}

int32_t percent_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return percent_form(value, out, part, budget);
}

const Handler percent_actions[] = {
    INHERIT,                        // make
    INHERIT,                        // random
    UNSUPPORTED,                    // reflect
    INHERIT,                        // to
    act<A_FORM>(percent_form),      // form
    act<A_MOLD>(percent_mold),      // mold
    UNSUPPORTED,                    // eval-path
    UNSUPPORTED,                    // set-path
    INHERIT,                        // compare
    INHERIT,                        // absolute
    INHERIT,                        // add
    INHERIT,                        // divide
    INHERIT,                        // multiply
    INHERIT,                        // negate
    INHERIT,                        // power
    INHERIT,                        // remainder
    INHERIT,                        // round
    INHERIT,                        // subtract
    INHERIT,                        // even?
    INHERIT,                        // odd?
    UNSUPPORTED,                    // and~
    UNSUPPORTED,                    // complement
    UNSUPPORTED,                    // or~
    UNSUPPORTED,                    // xor~
    UNSUPPORTED,                    // append
    UNSUPPORTED,                    // at
    UNSUPPORTED,                    // back
    UNSUPPORTED,                    // change
    UNSUPPORTED,                    // clear
    UNSUPPORTED,                    // copy
    UNSUPPORTED,                    // find
    UNSUPPORTED,                    // head
    UNSUPPORTED,                    // head?
    UNSUPPORTED,                    // index?
    UNSUPPORTED,                    // insert
    UNSUPPORTED,                    // length?
    UNSUPPORTED,                    // move
    UNSUPPORTED,                    // next
    UNSUPPORTED,                    // pick
    UNSUPPORTED,                    // poke
    UNSUPPORTED,                    // put
    UNSUPPORTED,                    // remove
    UNSUPPORTED,                    // reverse
    UNSUPPORTED,                    // select
    UNSUPPORTED,                    // sort
    UNSUPPORTED,                    // skip
    UNSUPPORTED,                    // swap
    UNSUPPORTED,                    // tail
    UNSUPPORTED,                    // tail?
    UNSUPPORTED,                    // take
    UNSUPPORTED,                    // trim
    UNSUPPORTED,                    // create
    UNSUPPORTED,                    // close
    UNSUPPORTED,                    // delete
    UNSUPPORTED,                    // modify
    UNSUPPORTED,                    // open
    UNSUPPORTED,                    // open?
    UNSUPPORTED,                    // query
    UNSUPPORTED,                    // read
    UNSUPPORTED,                    // rename
    UNSUPPORTED,                    // update
    UNSUPPORTED,                    // write
};

}  // namespace

Cell* make_at(Cell* cell, double fraction) {
    *cell = float_cell(fraction, TYPE_PERCENT);
    return cell;
}

}  // namespace vyn::percent

namespace vyn {

void percent_init() {
    datatype::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", percent::percent_actions);
}

}  // namespace vyn
