// Typeset bits: a typeset! cell holds 96 bits in its three slots, read as 12 bytes; type id t is
// bit 0x80 >> (t & 7) of byte t >> 3. On a little-endian machine byte b is bits 8 * (b % 4) up of
// slot b / 4, which lets every helper here work on slots and be usable in constant expressions.
// Function argument lists keep the argument class in header bits 20-21 of their typeset cells.
#pragma once

#include <bit>
#include <initializer_list>

#include "core/cell.hpp"

namespace vyn::typeset {

static_assert(std::endian::native == std::endian::little, "typeset bytes are read from the slots");

constexpr uint32_t BITS = 96;

// Flipping the low three bits of a type id turns "bit 0x80 >> (t & 7) of byte t >> 3" into plain
// bit t ^ 7 of the slots read as one little-endian number: slot t >> 5, bit (t ^ 7) & 31 in it.
constexpr uint32_t Cell::*slot(uint32_t type) {
    uint32_t index = type >> 5;
    return index == 0 ? &Cell::s1 : index == 1 ? &Cell::s2 : &Cell::s3;
}
constexpr uint32_t mask(uint32_t type) { return 1u << ((type ^ 7) & 31); }

// Called for every argument of every call: reads the slot by value, not through a member pointer.
constexpr bool has(const Cell& ts, uint32_t type) {
    if (type >= BITS) return false;
    uint32_t index = type >> 5;
    uint32_t bits = index == 0 ? ts.s1 : index == 1 ? ts.s2 : ts.s3;
    return (bits >> ((type ^ 7) & 31)) & 1;
}
constexpr void add(Cell& ts, uint32_t type) { ts.*slot(type) |= mask(type); }
constexpr void add_all(Cell& ts, const Cell& other) {
    ts.s1 |= other.s1;
    ts.s2 |= other.s2;
    ts.s3 |= other.s3;
}

constexpr Cell empty() { return Cell{TYPE_TYPESET, 0, 0, 0}; }

constexpr Cell of(std::initializer_list<uint32_t> types) {
    Cell ts = empty();
    for (uint32_t t : types) add(ts, t);
    return ts;
}
constexpr Cell unite(std::initializer_list<Cell> sets) {
    Cell ts = empty();
    for (const Cell& s : sets) add_all(ts, s);
    return ts;
}

// Every bit but unset!'s: what an argument declared without types accepts.
constexpr Cell default_types() {
    Cell ts{TYPE_TYPESET, ~0u, ~0u, ~0u};
    ts.*slot(TYPE_UNSET) &= ~mask(TYPE_UNSET);
    return ts;
}

constexpr uint32_t CLASS_SHIFT = 20;
constexpr uint32_t CLASS_MASK = 3u << CLASS_SHIFT;
enum ArgClass : uint32_t { ARG_EVALUATED = 0, ARG_LITERAL = 1, ARG_QUOTED = 2, ARG_RETURN = 3 };

inline ArgClass arg_class(const Cell& ts) { return ArgClass((ts.header & CLASS_MASK) >> CLASS_SHIFT); }
inline void set_arg_class(Cell& ts, ArgClass c) {
    ts.header = (ts.header & ~CLASS_MASK) | (uint32_t(c) << CLASS_SHIFT);
}

}  // namespace vyn::typeset
