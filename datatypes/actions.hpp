// The actions table and typed dispatch. An action's entry reads its arguments from the argument
// stack (the first at `base`, which is also the result cell) and its refinements as indexes of
// their first argument cell from `base` (-1 when absent), then calls the handler of the first
// argument's type. Workers are the typed calls the rest of the runtime uses directly.
#pragma once

#include <cstdint>

#include "core/actions_abi.hpp"
#include "core/type_registry.hpp"

namespace vyn::actions {

using Entry = void (*)(const int32_t* refinements);

// The entry of action slot N is table[N - 1]; slot 8 is empty.
extern const Entry table[ACTION_COUNT];

// The type an action dispatches on: a datatype! first argument of make, to and reflect stands
// for the type it names.
inline TypeId dispatch_type(const Cell* v, int slot) {
    if (v->type() == TYPE_DATATYPE && (slot == A_MAKE || slot == A_TO || slot == A_REFLECT))
        return TypeId(v->s1);
    return v->type();
}

// Raises `expect-arg` for an action the value's type does not support.
[[noreturn]] void unsupported(const Cell* value);

template <int Slot>
typename ActionSignature<Slot>::Fn handler_of(const Cell* v) {
    auto fn = datatype::handler<Slot>(dispatch_type(v, Slot));
    if (!fn) unsupported(v);
    return fn;
}

// Comparison with an operator code (0 equal?, 1 not-equal?, 2 strict-equal?, 3 lesser?,
// 4 lesser-or-equal?, 5 greater?, 6 greater-or-equal?, 7 and 8 sort orders, 9 same?, 10-12
// further equalities). Incomparable values are unequal, and an error for ordering codes.
bool compare(const Cell* a, const Cell* b, int op);
// Three-way order for sorting and hashing: -1, 0, 1, or -2 when incomparable.
int compare_order(const Cell* a, const Cell* b, int op);

// The index argument of pick and poke: true 1, false 2, integers and chars their value, else 0.
int32_t index_arg(const Cell* v);

int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget);
int32_t mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget);

}  // namespace vyn::actions
