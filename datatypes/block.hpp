// block!: the series of value cells (16-byte units), the shape of both code and data. Besides its
// action handlers this module holds the block routines the whole runtime builds with (readers,
// writers, makers, clone) and block molding. A cell's new-line flag travels with every copy of
// the cell; a head index beyond the tail is repaired to the tail by readers and writers.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/actions_abi.hpp"
#include "core/memory.hpp"

namespace vyn::block {

// A single append, insert or change never makes a block of this many cells or more.
constexpr uint64_t MAX_CELLS = uint64_t(1) << 27;

// Readers. Cell addresses are valid until the next allocation.
uint32_t vs_length(const Cell* b);
Cell* vs_head(Cell* b);
Cell* vs_tail(const Cell* b);
bool vs_tail_q(const Cell* b);
Cell* vs_abs_at(const Cell* b, uint32_t index);  // counted from the buffer's first cell
bool vs_next(Cell* b);

// Writers.
void vs_clear(Cell* b);
void vs_clip(Cell* b, uint32_t index);
void vs_remove_last(Cell* b);
Cell* vs_append(Cell* b, const Cell* value);
// Appends to a block that already has room for the cell (memory::ensure_room): nothing
// allocates, so a value made after the room needs no rooting on its way in.
void vs_append_in_room(Cell* b, const Cell& value);
void vs_append_block(Cell* b, const Cell* other);
void vs_insert(Cell* b, const Cell* value, bool advance, bool at_start);
void insert_block(Cell* b, const Cell* other);
// Stack forms: the value at the frame base into the block just below it (head moving past);
// the stack top onto the block below it; the cell after the frame base onto the block there.
void insert_from_stack();
void append_from_stack();
void append_next_from_stack();
// The value after the first cell equal to `value`, or none!.
Cell vs_select(const Cell* b, const Cell* value);
// Removes the first equal cell from the head (or from the first cell); true when one was
// removed at or before the head index.
bool remove_value(Cell* b, const Cell* value, bool from_start);
// The value after the first word of any word type naming the same symbol, or none!.
Cell select_word(const Cell* b, const Cell* word, bool case_sensitive);

// Makers. A size below 1 makes room for one cell; the target holds unset! while allocating.
Cell* make_at(Cell* cell, int64_t size);
// With oversize, an empty block whose buffer never moves; else a block of `size` unset! cells.
Cell* make_fixed_at(Cell* cell, int64_t size, bool oversize);
// As above into a new cell appended to the parent block, or into the holder cell for null.
Cell* make_in(Cell* parent, int64_t size);
Cell* make_fixed_in(Cell* parent, int64_t size);
// The cell that keeps a parentless new block; block!'s registration adds mark_holder to the
// collector's root markers.
Cell* holder();
void mark_holder();
Cell* push(const Cell* b);
Cell* push_only(int64_t size);
// Pushes a copy of the cells from the head. Deep copies nested block! values, and with
// all_lists the paren and path values too; each copy keeps the header of the cell it replaces.
Cell* clone(const Cell* b, bool deep, bool all_lists);
// Replaces each cell in from..to (step cells apart) whose type is in `types` and that holds a
// series, map, bitset, object or error by its copy.
void copy_cells_of_types(Cell* b, uint32_t from, uint32_t to, uint32_t step, bool deep, const Cell* types);

// Text.
int32_t form(const Cell* b, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
// The cells without delimiters; shared by paren! and the path types.
int32_t mold_each(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);
// The cells between two delimiters (none with only), or the cycle marker of a block inside itself.
int32_t mold_between(const Cell* b, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget,
                     std::string_view open, std::string_view close);

// Action handlers.
Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* to(Cell* proto, const Cell* spec, TypeId type);
int compare(const Cell* a, const Cell* b, int op);
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step);
Cell* append(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* insert(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* change(Cell* b, const Cell* value, const Cell* part, bool only, const Cell* dup);
Cell* copy(Cell* b, const Cell* part, bool deep, const Cell* types);
Cell* take(Cell* b, const Cell* part, bool deep, bool last);
Cell* put(Cell* b, const Cell* key, const Cell* value, bool case_sensitive);
Cell* swap(Cell* b, const Cell* other);
Cell* trim(Cell* b, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with);

}  // namespace vyn::block

namespace vyn {

// Registers block! (type 5, parent series!); series_init must have run.
void block_init();

}  // namespace vyn
