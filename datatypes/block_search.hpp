// block! search and sort: the find and select handlers shared by every block type (select, put,
// path access and removal by key all search through find), the sort handler, and the two
// comparison callbacks it hands to the record sorters. Positions are cell indexes from the
// buffer's first cell; a head beyond the tail counts as the tail.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn::block {

// The sort callback's flags word: bit 0 reverses the order; bit 1 compares whole records, of
// (flags >> 2) cells; without bit 1, (flags >> 2) is the offset of the one compared cell.
constexpr uint32_t SORT_REVERSE = 1;
constexpr uint32_t SORT_ALL = 2;
constexpr uint32_t SORT_FIELD_SHIFT = 2;

// The series at the match (after it with tail), or none!.
Cell* find(Cell* b, const Cell* value, const FindArgs& args);
// The value after the match (after the whole run for a sequence of cells), or none!.
Cell* select(Cell* b, const Cell* value, const FindArgs& args);
// Sorts the block in place and leaves it as the result.
Cell* sort(Cell* b, const SortArgs& args);

// Calls a sort's comparison function with two arguments under a frame named <compare-callback>,
// its other words none, and gives its answer; the stack is left as it was found.
Cell call_function(const Cell& function, const Cell& first, const Cell& second);

// What `sort_call` works with: the comparison function, and for whole records the two blocks
// that carry them to it (both null otherwise). The cells stay in place while the sort runs.
struct CompareCall {
    const Cell* function;
    Cell* records[2];
};

// Record orders for the sorters. `sort_compare` takes the operator code (an int) as its context
// and compares through the values' types, falling back to type ids for values that cannot be
// compared; `sort_call` takes a CompareCall and asks the function.
int sort_compare(const void* a, const void* b, void* op, uint32_t flags);
int sort_call(const void* a, const void* b, void* call, uint32_t flags);

}  // namespace vyn::block
