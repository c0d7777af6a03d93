// The runtime's start-up and shutdown. `runtime::init` runs the modules' initialisations in one
// fixed order, listed as a table in startup.cpp; this is the one place that knows every module.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>

#include "core/runtime.hpp"

namespace vyn::runtime {

struct InitStep {
    const char* name;
    void (*run)();
};

// The start-up steps in their order (for tests and reports).
const InitStep* init_steps(int* count);

void init();
// The steps before the named one, on a runtime that has not started (the boot image's build
// stops before the collector).
void init_before(std::string_view name);
// A partial start-up for tests and benchmarks: a shutdown, then the named steps, in the table's
// order whatever order they are named in (a datatype's step is its name, "integer!"). False
// when a name is no step or is named twice.
[[nodiscard]] bool start_steps(std::span<const std::string_view> names);
[[nodiscard]] bool start_steps(std::initializer_list<std::string_view> names);
// Undoes what init registered: collection off, no root markers, sweepers, hooks or error raiser,
// no node ids of the old memory kept as roots, datatype handlers cleared, memory released.
// Afterwards `init`, or a start-up of a few modules by hand (tests, benchmarks), begins from
// nothing, whatever ran before.
void shutdown();

}  // namespace vyn::runtime

namespace vyn::sys {

// The program entry: starts the runtime thread with its large stack, which starts the runtime
// and then runs `run_session`, and returns the status.
int run_entry(int argc, char** argv, void (*run_session)());

}  // namespace vyn::sys
