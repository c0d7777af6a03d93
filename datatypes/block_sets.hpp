// The set operations of the block types: union, intersect, unique, exclude and difference over
// records of one or more cells, the first cell of each record its key. Keys are found through
// hashtables (the hash! table itself, or a temporary one over a block); nested blocks, whose
// equality goes by content, are compared one by one instead.
#pragma once

#include "core/cell.hpp"
#include "datatypes/string.hpp"

namespace vyn::block {

// The result replaces `first`, at head 0: a hash! (keeping its table) when either operand is one
// (for unique the first only), else a block of first's type. `second` is ignored for unique. A
// skip below 1 raises invalid-refine-arg.
Cell* do_set_op(Cell* first, const Cell* second, bool case_sensitive, const Cell* skip, string::SetOp op);

}  // namespace vyn::block
