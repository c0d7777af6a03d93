// Block building and copying: appending single values (the tail fast path), appending a block
// through the append action, and a deep copy of a tree of nested blocks. Memory is reset
// between iterations, outside the timing, so frames stay bounded.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "datatypes/block.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

// Undoes whatever an earlier benchmark started, then starts only what block building needs.
void fresh_runtime() {
    if (!runtime::start_steps({"memory", "type-registry", "series!", "block!", "stack"})) std::abort();
}

Cell integers(int32_t count) {
    Cell b;
    block::make_at(&b, 1);
    for (int32_t i = 0; i < count; ++i) {
        Cell v = integer_cell(i);
        block::vs_append(&b, &v);
    }
    return b;
}

// `width` integers and `width` nested blocks per level, `depth` levels.
Cell tree(int depth, int32_t width) {
    Cell b = integers(width);
    if (depth == 0) return b;
    for (int32_t i = 0; i < width; ++i) {
        Cell child = tree(depth - 1, width);
        block::vs_append(&b, &child);
    }
    return b;
}

void BM_AppendValues(benchmark::State& state) {
    fresh_runtime();
    for (auto _ : state) {
        benchmark::DoNotOptimize(integers(int32_t(state.range(0))));
        state.PauseTiming();
        fresh_runtime();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendValues)->Arg(1000)->Arg(100000);

void BM_AppendBlockWithDup(benchmark::State& state) {
    fresh_runtime();
    Cell source = integers(16);
    Cell dup = integer_cell(int32_t(state.range(0)));
    for (auto _ : state) {
        Cell target;
        block::make_at(&target, 1);
        block::append(&target, &source, nullptr, false, &dup);
        benchmark::DoNotOptimize(target);
        state.PauseTiming();
        fresh_runtime();
        source = integers(16);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 16);
}
BENCHMARK(BM_AppendBlockWithDup)->Arg(1000);

void BM_DeepCopy(benchmark::State& state) {
    fresh_runtime();
    Cell source = tree(4, 6);  // 1555 blocks
    for (auto _ : state) {
        Cell copy = source;
        block::copy(&copy, nullptr, true, nullptr);
        benchmark::DoNotOptimize(copy);
        state.PauseTiming();
        fresh_runtime();
        source = tree(4, 6);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeepCopy);

}  // namespace
