// The collector: a full cycle over a live heap of a million small blocks and strings, and the
// allocation rate of a loop whose strings die at once, with collections started by allocation.
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/externals.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/value_slots.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

void start_runtime() {
    const bool started =
        runtime::start_steps({"memory", "externals", "stack", "symbols", "global-context", "value-slots"});
    if (!started) std::abort();
    collector::init();
}

Cell short_text() {
    static const char word[] = "short-lived";
    return unicode::string_cell(unicode::load_utf8(reinterpret_cast<const uint8_t*>(word), sizeof word - 1, 0, 0));
}

}  // namespace

static void BM_FullCollectionOfAMillionSeries(benchmark::State& state) {
    constexpr uint32_t PAIRS = 500000;
    start_runtime();
    Rooted all(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(2 * PAIRS), 0));
    for (uint32_t i = 0; i < PAIRS; ++i) {
        Cell small = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(2), 0);
        *memory::alloc_tail_cell(small.s2) = integer_cell(int32_t(i));
        *memory::alloc_tail_cell(all->s2) = small;
        Cell text = short_text();
        *memory::alloc_tail_cell(all->s2) = text;
    }
    for (auto _ : state) collector::collect();
    state.SetItemsProcessed(state.iterations() * 2 * PAIRS);
}
BENCHMARK(BM_FullCollectionOfAMillionSeries)->Unit(benchmark::kMillisecond);

static void BM_ShortLivedStrings(benchmark::State& state) {
    start_runtime();
    collector::set_enabled(true);
    for (auto _ : state) benchmark::DoNotOptimize(short_text());
    state.SetItemsProcessed(state.iterations());
    state.counters["cycles"] = double(collector::figures().cycles);
}
BENCHMARK(BM_ShortLivedStrings);
