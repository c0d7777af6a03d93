// The runtime record and the runtime's start-up and shutdown. `runtime::init` runs the modules'
// initialisations in one fixed order, listed as a table in runtime.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vyn::runtime {

struct Record {
    std::vector<std::string> args;  // the command line, UTF-8, program path first
    bool collector_enabled = false;
};

extern Record record;

struct InitStep {
    const char* name;
    void (*run)();
};

// The start-up steps in their order (for tests and reports).
const InitStep* init_steps(int* count);

void init();
// Undoes what init registered: collection off, no root markers, sweepers, hooks or error raiser,
// no node ids of the old memory kept as roots, datatype handlers cleared, memory released.
// Afterwards `init`, or a start-up of a few modules by hand (tests, benchmarks), begins from
// nothing, whatever ran before.
void shutdown();

// The native stack of the runtime thread: calls check it before they run out.
uintptr_t stack_low_of_current_thread();
void set_stack_bounds_of_current_thread();
// The lowest native stack address a call may start from (0 while no bounds are known). Read on
// every call, so the check is inline.
extern uintptr_t stack_limit;
// The stack pointer is read directly: asking for the frame address would make every caller set
// up a frame pointer.
inline bool native_stack_exhausted() {
#if defined(__x86_64__)
    uintptr_t sp;
    asm("mov %%rsp, %0" : "=r"(sp));
#else
    uintptr_t sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#endif
    return sp < stack_limit;
}

}  // namespace vyn::runtime

namespace vyn::sys {

// The program entry: starts the runtime thread with its large stack, which starts the runtime
// and then runs `run_session`, and returns the status.
int run_entry(int argc, char** argv, void (*run_session)());

}  // namespace vyn::sys
