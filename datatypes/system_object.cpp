// The nodes of `system` that start-up built, and reads of its settings. Nothing here builds: all
// reads give 0 or none until start-up hands its nodes over.
#include "datatypes/system_object.hpp"

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "datatypes/object.hpp"
#include "datatypes/word.hpp"

namespace vyn::system_object {
namespace {

Nodes nothing_built() {
    Nodes none{};
    none.prototype = none.port_spec = none.port = unset_cell();
    return none;
}

Nodes kept = nothing_built();
uint32_t state_symbol = 0;
uint32_t stack_trace_symbol = 0;

}  // namespace

void keep(const Nodes& built) {
    kept = built;
    state_symbol = symbol::make("state");
    stack_trace_symbol = symbol::make("stack-trace");
}

void shutdown() { kept = nothing_built(); }

bool ready() { return kept.catalogue != 0; }

NodeId system_context() { return kept.system; }
NodeId catalogue_context() { return kept.catalogue; }
NodeId category_context(int category) { return kept.categories[category]; }
const Cell& error_prototype() { return kept.prototype; }
const Cell& port_spec_prototype() { return kept.port_spec; }
const Cell& port_prototype() { return kept.port; }

Cell stack_trace_level() {
    const Cell state = object::vs_select(context::owner(kept.system), word::from_symbol(state_symbol));
    if (!state.is(TYPE_OBJECT)) return none_cell();
    return object::vs_select(state, word::from_symbol(stack_trace_symbol));
}

}  // namespace vyn::system_object
