// native!, action! and op!: built-in functions. A native! or action! cell holds its 1-based slot
// in the natives or actions table in slot 1, the spec node in slot 2 and the node of a two-cell
// extra block in slot 3 (a copy of the context! cell made from the spec, then the interpreter's
// argument-list cache, unset until it makes one). An op! keeps the slots of the value it was
// made from and that value's type in header bits 16-23.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn {

void native_init();  // type 21
void action_init();  // type 22, parent native!
void op_init();      // type 23, parent native!

}  // namespace vyn

namespace vyn::native {

// Slots of the natives table: the evaluator's natives, then those the hosts register.
constexpr int NATIVE_SLOTS = 120;

constexpr uint32_t OP_SOURCE_SHIFT = 16;
inline TypeId op_source(const Cell& op) { return TypeId((op.header >> OP_SOURCE_SHIFT) & 0xFF); }

// Pushes a native! (or action!) for a table slot with the spec block it is called by.
Cell* push(TypeId type, int32_t slot, const Cell& spec);
// Whether a spec describes a binary operator: two arguments, the left one evaluated.
bool valid_op_spec(NodeId spec);

Cell* make(Cell* proto, const Cell* spec, TypeId type);
Cell* make_op(Cell* proto, const Cell* source, TypeId type);
Cell* reflect(Cell* value, const Cell* field);
int compare(const Cell* a, const Cell* b, int op);

}  // namespace vyn::native
