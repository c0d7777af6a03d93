// paren! registration and mold. Every other action is block!'s: a paren! value has a block's
// layout (head index, series node), so the same buffer reads alike through either type.
#include "datatypes/paren.hpp"

#include "core/datatype.hpp"
#include "datatypes/block.hpp"

namespace vyn::paren {
namespace {

int32_t mold(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return block::mold_between(p, out, args, part, budget, "(", ")");
}

const Handler paren_actions[] = {
    INHERIT,                 // make
    INHERIT,                 // random
    INHERIT,                 // reflect
    INHERIT,                 // to
    INHERIT,                 // form
    act<A_MOLD>(mold),       // mold
    INHERIT,                 // eval-path
    INHERIT,                 // set-path
    INHERIT,                 // compare
    INHERIT,                 // absolute
    INHERIT,                 // add
    INHERIT,                 // divide
    INHERIT,                 // multiply
    INHERIT,                 // negate
    INHERIT,                 // power
    INHERIT,                 // remainder
    INHERIT,                 // round
    INHERIT,                 // subtract
    INHERIT,                 // even?
    INHERIT,                 // odd?
    INHERIT,                 // and~
    INHERIT,                 // complement
    INHERIT,                 // or~
    INHERIT,                 // xor~
    INHERIT,                 // append
    INHERIT,                 // at
    INHERIT,                 // back
    INHERIT,                 // change
    INHERIT,                 // clear
    INHERIT,                 // copy
    INHERIT,                 // find
    INHERIT,                 // head
    INHERIT,                 // head?
    INHERIT,                 // index?
    INHERIT,                 // insert
    INHERIT,                 // length?
    INHERIT,                 // move
    INHERIT,                 // next
    INHERIT,                 // pick
    INHERIT,                 // poke
    INHERIT,                 // put
    INHERIT,                 // remove
    INHERIT,                 // reverse
    INHERIT,                 // select
    INHERIT,                 // sort
    INHERIT,                 // skip
    INHERIT,                 // swap
    INHERIT,                 // tail
    INHERIT,                 // tail?
    INHERIT,                 // take
    INHERIT,                 // trim
    INHERIT,                 // create
    INHERIT,                 // close
    INHERIT,                 // delete
    INHERIT,                 // modify
    INHERIT,                 // open
    INHERIT,                 // open?
    INHERIT,                 // query
    INHERIT,                 // read
    INHERIT,                 // rename
    INHERIT,                 // update
    INHERIT,                 // write
};

}  // namespace

void init() { datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", paren_actions); }

}  // namespace vyn::paren
