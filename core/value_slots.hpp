// Kept-value slots: a cell block whose cells keep language values alive for the collector while
// an OS object refers to them by a small handle (the 1-based slot index, 0 never valid). A side
// table off the collected heap links the free slots and marks the kept ones, so no kept value can
// pass for a free slot: a second release, or a handle never handed out, changes nothing.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::value_slots {

constexpr int32_t INITIAL_CAPACITY = 100;

void init();  // after the memory manager
// Forgets the slots block and releases the side table; `store` needs another init.
void shutdown();
// Keeps a copy of the value; the capacity doubles when every slot is taken.
int32_t store(Cell value);
// The kept cell, or nullptr when the handle keeps nothing. Valid until the next allocation.
Cell* get(int32_t handle);
void release(int32_t handle);
int32_t capacity();
// The slots block, a root of the collector. Free slots hold unset!.
NodeId node();

}  // namespace vyn::value_slots
