// The sort action's block handler on a million random integers, through the booted runtime:
// each iteration sorts a fresh copy of the same block, unstable and stable. The copy is made
// outside the timing; the block's own handler compares through integer!'s compare action.
#include <benchmark/benchmark.h>

#include <random>

#include "console/terminal.hpp"
#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/block_search.hpp"
#include "datatypes/series.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

Cell random_integers(int32_t count) {
    Rooted b;
    block::make_at(b.get(), count);
    std::mt19937 random(42);
    for (int32_t i = 0; i < count; ++i) {
        Cell v = integer_cell(int32_t(random()));
        block::vs_append(b.get(), &v);
    }
    return *b;
}

void BM_BlockSortMillionIntegers(benchmark::State& state, bool stable) {
    runtime::shutdown();
    terminal::register_natives();
    runtime::init();
    Rooted input(random_integers(1'000'000));
    Rooted copy;
    SortArgs args{false, nullptr, nullptr, nullptr, false, false, stable};
    for (auto _ : state) {
        state.PauseTiming();
        series::copy_units(input.get(), 0, block::vs_length(input.get()), copy.get());
        state.ResumeTiming();
        block::sort(copy.get(), args);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(block::vs_length(input.get())));
}

}  // namespace

BENCHMARK_CAPTURE(BM_BlockSortMillionIntegers, quick_sort, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BlockSortMillionIntegers, merge_sort, true)->Unit(benchmark::kMillisecond);
