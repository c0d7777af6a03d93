// The routines of the system object's own fields: the collector's state in system/state/GC and
// the runtime float switches that system/options/float's on-change* keeps in step with its
// fields; and the switch of a traced evaluation's reports that `trace` sets. Registered in the
// routine table under their names, like the boot routines.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/collector.hpp"
#include "core/stack.hpp"
#include "datatypes/float.hpp"
#include "eval/native_support.hpp"
#include "eval/routines.hpp"
#include "eval/trace.hpp"

namespace vyn::routines {
namespace {

using routine_table::Binding;
using routine_table::Definition;

void collector_active_q(int32_t) { stack::set_result(logic_cell(collector::enabled())); }

// Every cycle sweeps the node table and the series frames together, so both counters are the
// one count of cycles, held at the largest integer! once it outgrows it.
void collector_cycles(int32_t) {
    const uint64_t cycles = collector::figures().cycles;
    stack::set_result(integer_cell(int32_t(std::min<uint64_t>(cycles, std::numeric_limits<int32_t>::max()))));
}

void store_switch(bool& flag) {
    flag = natives::args()->s1 != 0;
    stack::set_result(unset_cell());
}

void set_float_pretty(int32_t) { store_switch(float_::pretty); }
void set_float_full(int32_t) { store_switch(float_::full); }

void set_tracing(int32_t) {
    trace::set_reporting(natives::args()->s1 != 0);
    stack::set_result(unset_cell());
}

const Definition system_routines[] = {
    {"collector-active?", collector_active_q, Binding::none},
    {"series-cycles", collector_cycles, Binding::none},
    {"nodes-cycles", collector_cycles, Binding::none},
    {"set-float-pretty", set_float_pretty, Binding::none},
    {"set-float-full", set_float_full, Binding::none},
    {"set-tracing", set_tracing, Binding::none},
};

}  // namespace

void init_system() { routine_table::register_list(system_routines); }

}  // namespace vyn::routines
