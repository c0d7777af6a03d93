// hash!: a block whose slot 3 holds a hashtable indexing every cell of its buffer, so searches
// need not scan. It runs block!'s handlers and keeps the index current around each one that
// changes cells. Invariant: between actions the table indexes exactly the buffer's cells, each
// under its index counted from the buffer's first cell.
#pragma once

#include "core/cell.hpp"

namespace vyn::hash {

// Turns a block-type value into a hash! over its whole buffer, with a new table.
Cell* index_at(Cell* value);

// After a change to the hash's cells from cell `from`, which had `old_total` cells before: the
// cells to the tail are indexed again, or only `span` cells when the length stayed the same.
// For changes made by another value's handler (the second series of swap and move).
void reindex_changed(const Cell& h, uint32_t from, uint32_t old_total, uint32_t span = 0);

}  // namespace vyn::hash

namespace vyn {

// Registers hash! (type 36, parent block!); block! must be registered.
void hash_init();

}  // namespace vyn
