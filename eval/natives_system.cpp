// Natives that reach the runtime's own services: the collector.
#include "core/collector.hpp"
#include "core/memory.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// A memory figure as an integer!, or a float! beyond the integer range.
Cell number_or_float(uint64_t value) {
    return value <= INT32_MAX ? integer_cell(int32_t(value)) : float_cell(double(value));
}

}  // namespace

namespace entry {

// recycle: /on and /off switch collections on allocation; without them one full cycle runs and
// the bytes still in use are returned.
void recycle(int32_t, const int32_t* refinements) {
    bool on = used(refinements, 0), off = used(refinements, 1);
    if (on || off) {
        collector::set_enabled(on);
        stack::set_result(unset_cell());
        return;
    }
    collector::collect();
    stack::set_result(number_or_float(memory::bytes_in_use()));
}

}  // namespace entry
}  // namespace vyn::natives
