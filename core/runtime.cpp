// The runtime record and the bounds of the runtime thread's native stack. The limit stays 0, so
// nothing is refused, until the thread that runs the runtime sets it.
#include "core/runtime.hpp"

#include <pthread.h>

namespace vyn::runtime {

Record record;

uintptr_t stack_limit = 0;

namespace {

// Calls are refused when less than this much native stack is left.
constexpr uintptr_t STACK_MARGIN = 256 * 1024;

}  // namespace

// The lowest address of the calling thread's stack, or 0 when the system does not tell.
uintptr_t stack_low_of_current_thread() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    return reinterpret_cast<uintptr_t>(low);
}

void set_stack_bounds_of_current_thread() {
    uintptr_t low = stack_low_of_current_thread();
    if (low) stack_limit = low + STACK_MARGIN;
}

}  // namespace vyn::runtime
