// Dynamic arrays: growable vectors of bytes, 32-bit integers or pointers kept in a plain series
// buffer addressed by its node, with no value cell. Items lie between head and tail; appending
// doubles the buffer when full, so every operation re-reads the buffer through the node. Item
// indexes are 1-based unless stated; an index outside the used items is fatal error 98.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::array {

// A pointer item is a full machine word (8 bytes on x86-64): make pointer arrays with this unit.
constexpr int POINTER_SIZE = int(sizeof(uintptr_t));

// A buffer of count × unit bytes (16 when count is 0) whose unit field is `unit` (1 to 31).
NodeId make(uint32_t count, int unit);
uint32_t length(NodeId node);  // in units of the buffer
void clear(NodeId node);
// The tail moves to just before the 1-based item `index` (1 empties the array).
void set_tail(NodeId node, uint32_t index);
NodeId copy(NodeId node);
uint32_t flags(NodeId node);

void append_byte(NodeId node, uint8_t byte);
uint8_t pick_byte(NodeId node, uint32_t index);
// `bytes` must not point into a series buffer: appending may move every buffer.
void append_bytes(NodeId node, const void* bytes, uint32_t length);

void append_int(NodeId node, int32_t value);
int32_t pick_int(NodeId node, uint32_t index);
void poke_int(NodeId node, uint32_t index, int32_t value);
// Inserts before the 0-based item `position` (0 ≤ position ≤ item count).
void insert_int(NodeId node, int32_t value, uint32_t position);
// Byte offset from the head of the first equal item, or -1.
int32_t find_int(NodeId node, int32_t value);

void append_pointer(NodeId node, uintptr_t pointer);
uintptr_t pick_pointer(NodeId node, uint32_t index);
int32_t find_pointer(NodeId node, uintptr_t pointer);
// Removes the first equal pointer; returns the byte offset it had, or -1 when absent.
int32_t remove_pointer(NodeId node, uintptr_t pointer);

// Removes `count` bytes at byte `offset` from the head; later bytes move down.
void remove_at(NodeId node, uint32_t offset, uint32_t count);

}  // namespace vyn::array
