// Typeset bits: a typeset! cell holds 96 bits in its three slots, read as 12 bytes; type id t is
// bit 0x80 >> (t & 7) of byte t >> 3. Function argument lists keep the argument class in header
// bits 20-21 of their typeset cells.
#pragma once

#include <cstring>

#include "core/cell.hpp"

namespace vyn::typeset {

inline const uint8_t* bytes(const Cell& ts) { return reinterpret_cast<const uint8_t*>(&ts.s1); }
inline uint8_t* bytes(Cell& ts) { return reinterpret_cast<uint8_t*>(&ts.s1); }

inline bool has(const Cell& ts, uint32_t type) {
    return (bytes(ts)[type >> 3] & (0x80u >> (type & 7))) != 0;
}
inline void add(Cell& ts, uint32_t type) { bytes(ts)[type >> 3] |= uint8_t(0x80u >> (type & 7)); }
inline void add_all(Cell& ts, const Cell& other) {
    for (int i = 0; i < 12; ++i) bytes(ts)[i] |= bytes(other)[i];
}

inline Cell empty() { return make_cell(TYPE_TYPESET); }

// Every datatype but unset!.
inline Cell default_types() {
    Cell ts = empty();
    for (uint32_t t = 1; t < TYPE_COUNT; ++t)
        if (t != TYPE_UNSET && t != TYPE_SYMBOL && t != TYPE_CONTEXT && t != TYPE_SERIES) add(ts, t);
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
