// vector!: a series of same-typed numbers packed in a byte buffer whose unit is the element size:
// 1, 2 or 4 bytes for integer! and char!, 4 or 8 for float!, 8 for percent!. The cell is
// string!'s (head index in slot 1, node in slot 2) with the element type id in slot 3, so the
// series and string handlers navigate it unchanged. Integer elements of 8 and 16 bits read back
// sign-extended; char elements read back as stored, never as negative code points.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn {

// Registers vector! (type 35, parent string!).
void vector_init();

}  // namespace vyn

namespace vyn::vector {

inline TypeId element_of(const Cell* v) { return TypeId(v->s3); }
inline bool holds_floats(TypeId element) { return element == TYPE_FLOAT || element == TYPE_PERCENT; }

// Makes the cell a vector of `count` zero elements of `unit` bytes; a buffer beyond the largest
// series raises `no-memory`.
Cell* make_at(Cell* cell, uint32_t count, TypeId element, int unit);

// The element at `p` as a value of the element type.
Cell get_value(const uint8_t* p, int unit, TypeId element);
// Whether the value can be stored in an element: integer! and char! in integer and char vectors,
// float! and percent! in float and percent vectors.
bool accepts(TypeId element, const Cell& value);
// Stores a value that `accepts` allows, cut to the element size.
void set_value(uint8_t* p, int unit, const Cell& value);
// -1, 0 or 1: two elements of one element type, by number.
int compare_elements(const uint8_t* a, const uint8_t* b, int unit, TypeId element);

// A new block of the elements from the head, one value each, written into `out`.
Cell* to_block(const Cell* v, Cell* out);

}  // namespace vyn::vector
