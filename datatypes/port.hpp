// port!: an object whose series and I/O actions are carried out by its actor, the object of
// functions its scheme provides, or a handle! naming a native actor table. A port's first three
// fields are spec, scheme and actor; its cell is an object cell of class 2. An actor function
// gets the port, the action's arguments, then for each refinement in the action's spec order a
// logic! and, for one that takes a value, that value or none: the frame a function with the
// action's spec and the port as first argument would get.
#pragma once

#include <array>
#include <cstdint>

#include "core/actions_abi.hpp"

namespace vyn {

// Registers port! (type 48, parent object!).
void port_init();

}  // namespace vyn

namespace vyn::port {

constexpr uint32_t CLASS_ID = 2;
enum Field : uint32_t { FIELD_SPEC = 0, FIELD_SCHEME = 1, FIELD_ACTOR = 2 };

// A native actor table: a handler for each action from append to write, or null where the actor
// has none. A handle! of kind 0 whose value is the index `add_native_actor` gave serves as an
// actor through it.
constexpr int NATIVE_ACTOR_SLOTS = ACTION_COUNT - A_APPEND + 1;
using NativeActor = std::array<Handler::Generic, NATIVE_ACTOR_SLOTS>;
uint32_t add_native_actor(const NativeActor& table);

}  // namespace vyn::port
