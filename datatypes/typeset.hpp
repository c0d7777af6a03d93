// typeset!: a set of datatypes held in the cell itself (the bit layout is in core/typeset.hpp).
// Only ids from 1 to the highest registered one name a datatype; the other bits travel with the
// value but are never listed. Also the typesets that start-up gives their global words.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/typeset.hpp"

namespace vyn {

// Registers typeset! (no parent).
void typeset_init();

}  // namespace vyn

namespace vyn::typeset {

// Adds a datatype!, a typeset!, or the one of them a word! holds; anything else raises
// `invalid-arg`.
void add_type(Cell& ts, const Cell& value);
// The types of a block's values from its head (make typeset! [integer! number!]).
Cell from_block(const Cell& block);
// The types of a function spec's type block: as from_block, but a word holding a word stands for
// word!, nested blocks are passed by, and any other value raises `invalid-type-spec`.
Cell from_spec(const Cell& block);
// Appends the datatype! of each member to the block, in type id order.
void to_block(const Cell& ts, Cell* block);
// The members from id 1 to the highest registered id.
uint32_t count(const Cell& ts);

// Slot-wise operations, by the codes of the bitwise actions and the set natives.
enum SetOp : int {
    SET_OR = 5, SET_AND = 6, SET_XOR = 7,
    SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11, SET_DIFFERENCE = 12,
};
// The second value is a typeset! or a datatype! (its one type); anything else raises `invalid-arg`.
Cell* combine(Cell* first, const Cell* second, SetOp op);
// One word of such a combination, also used by bitset!; unique keeps the first operand.
template <class Bits>
constexpr Bits combined_bits(SetOp op, Bits a, Bits b) {
    switch (op) {
    case SET_OR: case SET_UNION: return Bits(a | b);
    case SET_AND: case SET_INTERSECT: return Bits(a & b);
    case SET_XOR: case SET_DIFFERENCE: return Bits(a ^ b);
    case SET_EXCLUDE: return Bits(a & ~b);
    default: return a;
    }
}

namespace named {
inline constexpr Cell internal = of({TYPE_UNSET});
inline constexpr Cell external = of({TYPE_EVENT});
inline constexpr Cell number = of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT});
inline constexpr Cell planar = of({TYPE_PAIR, TYPE_POINT2D});
inline constexpr Cell any_point = of({TYPE_POINT2D, TYPE_POINT3D});
inline constexpr Cell scalar = unite(
    {number, any_point, of({TYPE_MONEY, TYPE_CHAR, TYPE_PAIR, TYPE_TUPLE, TYPE_TIME, TYPE_DATE})});
inline constexpr Cell any_word = of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD});
inline constexpr Cell all_word = unite({any_word, of({TYPE_REFINEMENT, TYPE_ISSUE})});
inline constexpr Cell any_list = of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH});
inline constexpr Cell any_path = of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH});
inline constexpr Cell any_block = unite({any_path, any_list});
inline constexpr Cell any_function = of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE});
inline constexpr Cell any_object = of({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT});
inline constexpr Cell any_string = of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
inline constexpr Cell series = unite({any_block, any_string, of({TYPE_BINARY, TYPE_IMAGE, TYPE_VECTOR})});
inline constexpr Cell immediate = unite(
    {scalar, all_word, of({TYPE_NONE, TYPE_LOGIC, TYPE_DATATYPE, TYPE_TYPESET, TYPE_HANDLE, TYPE_DATE})});
inline constexpr Cell default_ = unite(
    {series, immediate, any_object, external, any_function, of({TYPE_MAP, TYPE_BITSET})});
inline constexpr Cell any_type = unite({default_, internal});
}  // namespace named

// The global words start-up sets to these typesets, in the order it sets them.
struct NamedTypeset {
    std::string_view word;
    Cell types;
};
inline constexpr NamedTypeset NAMED[] = {
    {"internal!", named::internal},   {"external!", named::external},
    {"number!", named::number},       {"planar!", named::planar},
    {"any-point!", named::any_point}, {"scalar!", named::scalar},
    {"any-word!", named::any_word},   {"all-word!", named::all_word},
    {"any-list!", named::any_list},   {"any-path!", named::any_path},
    {"any-block!", named::any_block}, {"any-function!", named::any_function},
    {"any-object!", named::any_object}, {"any-string!", named::any_string},
    {"series!", named::series},       {"immediate!", named::immediate},
    {"default!", named::default_},    {"any-type!", named::any_type},
};

}  // namespace vyn::typeset
