// handle!: an operating-system resource held as a value. The cell holds the kind in slot 1 (0 for
// a plain or null handle, else a kind of the externals registry), the value in slot 2 (an
// externals-registry index or a small integer, never a machine pointer) and -1 in slot 3. Only
// form, mold and compare exist; every other action is refused.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn {

// Registers handle! (type 46, parent integer!).
void handle_init();

}  // namespace vyn

namespace vyn::handle {

inline uint32_t value_of(const Cell& h) { return h.s2; }
inline int kind_of(const Cell& h) { return int(h.s1); }

Cell* make_at(Cell* cell, uint32_t value, int kind);
// Into the current call's result cell, appended to a block, or pushed on the argument stack.
Cell* box(uint32_t value, int kind);
Cell* make_in(Cell* block, uint32_t value, int kind);
Cell* push(uint32_t value, int kind);
Cell* push_null();

}  // namespace vyn::handle
