// Value cells: every language value is a 16-byte cell of a header word and three 32-bit slots.
// The header's low byte is the type id, the bits above it are flags owned by the type. A cell
// never holds a machine pointer: series and contexts are reached through 32-bit node ids.
#pragma once

#include <cstdint>
#include <cstring>

namespace vyn {

enum TypeId : uint8_t {
    TYPE_NONE_ID = 0,  // no type: the empty slot of tables
    TYPE_DATATYPE = 1,
    TYPE_UNSET,
    TYPE_NONE,
    TYPE_LOGIC,
    TYPE_BLOCK,
    TYPE_PAREN,
    TYPE_STRING,
    TYPE_FILE,
    TYPE_URL,
    TYPE_CHAR,
    TYPE_INTEGER,
    TYPE_FLOAT,
    TYPE_SYMBOL,
    TYPE_CONTEXT,
    TYPE_WORD,
    TYPE_SET_WORD,
    TYPE_LIT_WORD,
    TYPE_GET_WORD,
    TYPE_REFINEMENT,
    TYPE_ISSUE,
    TYPE_NATIVE,
    TYPE_ACTION,
    TYPE_OP,
    TYPE_FUNCTION,
    TYPE_PATH,
    TYPE_LIT_PATH,
    TYPE_SET_PATH,
    TYPE_GET_PATH,
    TYPE_ROUTINE,
    TYPE_BITSET,
    TYPE_TRIPLE,
    TYPE_OBJECT,
    TYPE_TYPESET,
    TYPE_ERROR,
    TYPE_VECTOR,
    TYPE_HASH,
    TYPE_PAIR,
    TYPE_PERCENT,
    TYPE_TUPLE,
    TYPE_MAP,
    TYPE_BINARY,
    TYPE_SERIES,
    TYPE_TIME,
    TYPE_TAG,
    TYPE_EMAIL,
    TYPE_HANDLE,
    TYPE_DATE,
    TYPE_PORT,
    TYPE_MONEY,
    TYPE_REF,
    TYPE_POINT2D,
    TYPE_POINT3D,
    TYPE_IMAGE,
    TYPE_EVENT,
    TYPE_COUNT  // one past the highest type id
};

// Room in the per-type tables: type ids 0-56.
constexpr int TYPE_TABLE_SIZE = 57;

// Header flags shared across types.
constexpr uint32_t FLAG_NEW_LINE = 0x40000000;       // a new line precedes the value in its block
constexpr uint32_t FLAG_WORD_ASSIGNED = 0x2000;      // object word list: the word was assigned
constexpr uint32_t FLAG_CONTEXT_ON_STACK = 0x400000; // context! values live on the argument stack
constexpr uint32_t FLAG_CONTEXT_SELF = 0x1000000;    // context! has a self word

using NodeId = uint32_t;  // 0 is "no node"

struct Cell {
    uint32_t header;
    uint32_t s1;
    uint32_t s2;
    uint32_t s3;

    TypeId type() const { return TypeId(header & 0xFF); }
    uint32_t flags() const { return header & ~0xFFu; }
    bool is(TypeId t) const { return type() == t; }
    // Replaces the type, keeping the flags.
    void set_type(TypeId t) { header = (header & ~0xFFu) | t; }
    void set_flag(uint32_t f) { header |= f; }
    void clear_flag(uint32_t f) { header &= ~f; }
    bool has_flag(uint32_t f) const { return (header & f) != 0; }

    // A float, 64-bit integer or pointer-sized quantity takes slots 2 and 3 (low word first).
    uint64_t u64() const { return uint64_t(s2) | (uint64_t(s3) << 32); }
    void set_u64(uint64_t v) {
        s2 = uint32_t(v);
        s3 = uint32_t(v >> 32);
    }
    double f64() const {
        uint64_t u = u64();
        double d;
        std::memcpy(&d, &u, sizeof d);
        return d;
    }
    void set_f64(double d) {
        uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        set_u64(u);
    }
    int32_t i32() const { return int32_t(s2); }
};
static_assert(sizeof(Cell) == 16, "a value cell is 16 bytes");

inline Cell make_cell(TypeId t, uint32_t s1 = 0, uint32_t s2 = 0, uint32_t s3 = 0) {
    return Cell{t, s1, s2, s3};
}
inline Cell unset_cell() { return make_cell(TYPE_UNSET); }
inline Cell none_cell() { return make_cell(TYPE_NONE); }
inline Cell logic_cell(bool b) { return make_cell(TYPE_LOGIC, b ? 1 : 0); }
inline Cell integer_cell(int32_t v) { return make_cell(TYPE_INTEGER, 0, uint32_t(v)); }
inline Cell char_cell(uint32_t cp) { return make_cell(TYPE_CHAR, 0, cp); }
inline Cell datatype_cell(TypeId t) { return make_cell(TYPE_DATATYPE, t); }
inline Cell float_cell(double d, TypeId t = TYPE_FLOAT) {
    Cell c = make_cell(t);
    c.set_f64(d);
    return c;
}

// Rounds up to a multiple of a power-of-two alignment.
constexpr uint64_t align_up(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

}  // namespace vyn
