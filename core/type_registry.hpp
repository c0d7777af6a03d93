// The datatype registry: per type id, its name and its row of 62 action handlers. A type
// registers once at start-up, after its parent: a slot marked INHERIT takes the parent's handler
// as the parent's row holds it at that moment, so later changes to the parent do not reach it.
#pragma once

#include <cstddef>
#include <span>

#include "core/actions_abi.hpp"

namespace vyn::datatype {

void init();

// Registers a type from its positional row; a row that does not hold exactly 62 entries is a
// build fault reported by the integrity message, which ends the process.
void register_type(TypeId id, TypeId parent, const char* name, const Handler* actions, size_t count);

// Registers a type from the slots it names, every other slot taking `rest` (UNSUPPORTED or
// INHERIT). A slot named twice or out of range is a build fault that ends the process.
void register_type(TypeId id, TypeId parent, const char* name, Handler rest,
                   std::span<const SlotHandler> named = {});

bool supports(TypeId type, int slot);
Handler::Generic raw_handler(TypeId type, int slot);

template <int Slot>
typename ActionSignature<Slot>::Fn handler(TypeId type) {
    return reinterpret_cast<typename ActionSignature<Slot>::Fn>(raw_handler(type, Slot));
}

// "integer!" and its length without the "!"; a type not registered yet has its name too.
const char* name_of(TypeId type);
int name_length(TypeId type);
TypeId highest_registered();
bool registered(TypeId type);

}  // namespace vyn::datatype
