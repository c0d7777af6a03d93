// The `system` object and the error catalogue `system/catalog/errors` as the runtime reads them:
// the nodes start-up built (startup/system_build.cpp) before anything can raise. Start-up objects
// carry fixed class ids: `system` 174, the category objects 186, 188 ... 204 in category order.
// The nodes kept here stay alive through a kept-value slot, whatever scripts later assign to
// `system`.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::system_object {

constexpr uint32_t SYSTEM_CLASS_ID = 174;
constexpr uint32_t FIRST_CATEGORY_CLASS_ID = 186;
constexpr int CATEGORIES = 10;

// What start-up built, kept from then on.
struct Nodes {
    NodeId system;
    NodeId catalogue;
    NodeId categories[CATEGORIES];
    Cell prototype;
    Cell port_spec;
    Cell port;
};
void keep(const Nodes& built);
// Forgets the objects start-up built: `ready` is false again and errors need another start-up.
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
