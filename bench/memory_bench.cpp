// Memory manager throughput: small allocations, appends at the tail of cell and byte buffers,
// and expand_copy. Each benchmark starts from a fresh memory and resets it outside the timing.
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "core/memory.hpp"
#include "startup/startup.hpp"

using namespace vyn;

// Nothing an earlier benchmark started (a collector, its roots) may run against this memory.
static void fresh_memory() {
    if (!runtime::start_steps({"memory"})) std::abort();
}

static void BM_AllocSmallSeries(benchmark::State& state) {
    fresh_memory();
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(memory::alloc_cells(4));
        if (++n == 100000) {  // stay within frames of a bounded size
            state.PauseTiming();
            memory::init();
            n = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AllocSmallSeries);

static void BM_AppendCells(benchmark::State& state) {
    fresh_memory();
    for (auto _ : state) {
        NodeId node = memory::alloc_cells(1);
        for (int i = 0; i < 1000; ++i) *memory::alloc_tail_cell(node) = integer_cell(i);
        benchmark::DoNotOptimize(memory::series_of(node));
        state.PauseTiming();
        memory::init();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_AppendCells);

static void BM_AppendBytes(benchmark::State& state) {
    fresh_memory();
    for (auto _ : state) {
        NodeId node = memory::alloc_bytes(0);
        for (int i = 0; i < 10000; ++i) *memory::alloc_tail_bytes(node, 1) = uint8_t(i);
        benchmark::DoNotOptimize(memory::series_of(node));
        state.PauseTiming();
        memory::init();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_AppendBytes);

static void BM_ExpandCopy(benchmark::State& state) {
    fresh_memory();
    for (auto _ : state) {
        NodeId node = memory::alloc_bytes(state.range(0));
        memory::expand_copy(node, 0);
        state.PauseTiming();
        memory::init();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExpandCopy)->Arg(1024)->Arg(1 << 20);
