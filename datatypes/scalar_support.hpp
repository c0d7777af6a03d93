// What pair!, tuple!, point2D! and point3D! share: values that keep several numbers inside the
// cell itself. A path set on one of them changes a copy; the path walk stores the changed value
// back where it came from, so no handler here ever needs to know its owner.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/catalog.hpp"

namespace vyn::scalar {

[[noreturn]] void fire_malconstruct(TypeId target, const Cell* spec);

// The value a text loads as, when it is one of the wanted type; bad-to-arg otherwise.
Cell loaded_as(const Cell* text, TypeId wanted);
// Reading a text as one value belongs to the lexer, which start-up installs here: the first
// value into `target`, unset for no values, none when the lexer stopped early. Until one is
// installed no text loads as a value.
using ValueReader = Cell* (*)(const Cell& text, Cell* target);
void set_value_reader(ValueReader reader);

// integer! or float!: the numbers a block spec may hold.
bool is_plain_number(const Cell& value);
// The value of an integer!, char! or float-like cell as a double.
double number_of(const Cell& value);

// A double truncated toward zero into 32 bits: an infinite or NaN value raises `invalid-arg`
// naming `source`, one outside the range `type-limit`.
int32_t truncated(double value, const Cell* source);

// The coordinate a path element or pick index names among `count`: 0-based, -1 for none. The
// integers 1 to count and the words x, y, z name them.
int coordinate_index(const Cell* element, int count);
// The coordinate of a path element; `invalid-path` for an element that names none.
int path_coordinate(const Cell* element, int count, const PathStep& step);
// The coordinate of a pick index into a value of the type; `cannot-use` for a word that names
// none, `out-of-range` for anything else.
int picked_coordinate(const Cell* index, TypeId type, int count);

}  // namespace vyn::scalar
