// The `system` object and the error catalogue `system/catalog/errors`, built from the C++ table of
// core/catalog.hpp before anything can raise. Start-up objects carry fixed class ids: `system`
// 174, the category objects 186, 188 ... 204 in category order. The nodes kept here stay alive
// through a kept-value slot, whatever scripts later assign to `system`.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::system_object {

constexpr uint32_t SYSTEM_CLASS_ID = 174;
constexpr uint32_t FIRST_CATEGORY_CLASS_ID = 186;

// Builds the catalogue, the error prototype and the 19 slots of `system`, sets the global word
// `system` and installs the error raiser, which needs them. Needs the global context, the
// kept-value slots and the object! datatype.
void init();
// Forgets the objects built by init: `ready` is false again and errors need another init.
void shutdown();
bool ready();

NodeId system_context();
NodeId catalogue_context();
NodeId category_context(int category);
// `system/standard/error`, the prototype of every error!.
const Cell& error_prototype();
// `system/standard/port-spec` and `system/standard/port`, the prototypes port! copies.
const Cell& port_spec_prototype();
const Cell& port_prototype();
// `system/state/stack-trace` as the system object now holds it, or none.
Cell stack_trace_level();

}  // namespace vyn::system_object
