// The runtime record and the native stack check: what every floor may read about the running
// runtime. Starting and stopping it belongs to startup/startup.hpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/rooted.hpp"

namespace vyn::runtime {

struct Record {
    std::vector<std::string> args;  // the command line, UTF-8, program path first
    bool collector_enabled = false;
};

extern Record record;

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

// Whether a recursive call must stop before it runs: the native stack or the shadow stack of
// rooted cells is nearly full, whichever deep data or code reaches first.
inline bool recursion_exhausted() { return native_stack_exhausted() || roots::nearly_full(); }

}  // namespace vyn::runtime
