// Collection at every allocation for the unit tests of collection-safe modules. In the stress
// build a fixture that calls `collect_at_every_allocation` at the end of its set-up runs each
// test with the collector installed and enabled, so every allocation frees what is not rooted
// and moves every buffer; other builds only get the same fresh roots. The fixture must have begun
// with runtime::shutdown, so that modules it does not start hold no roots into a gone memory, and
// its tests keep what they hold across allocations with `kept`, the argument stack or Rooted cells.
#pragma once

#include <deque>

#include "core/cell.hpp"
#include "core/collector.hpp"
#include "core/memory.hpp"
#include "core/stack.hpp"
#include "core/value_slots.hpp"

namespace vyn::testing_gc {

// True when this build collects at every allocation once a fixture asks for it.
#ifdef VYN_GC_STRESS
constexpr bool STRESS_BUILD = true;
#else
constexpr bool STRESS_BUILD = false;
#endif

// Values a test keeps to its end; a deque, so the cells never move.
inline std::deque<Cell>& kept_values() {
    static std::deque<Cell> values;
    return values;
}

inline void mark_kept_values() {
    for (const Cell& value : kept_values()) collector::mark_cell(value);
}

// Keeps a value alive for the rest of the test; the cell returned never moves.
inline Cell& kept(const Cell& value) { return kept_values().emplace_back(value); }

// The argument stack and the kept-value slots are roots every collection reads.
inline void collect_at_every_allocation() {
    stack::init();
    value_slots::init();
    kept_values().clear();
    collector::add_root(mark_kept_values);
    if (!STRESS_BUILD) return;
    collector::init();
    collector::set_enabled(true);
}

inline void stop_collecting() {
    collector::set_enabled(false);
    memory::set_collect_hook(nullptr);
    collector::remove_root(mark_kept_values);
    kept_values().clear();
}

}  // namespace vyn::testing_gc
