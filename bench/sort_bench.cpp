// Record sorters on a million integer cells (16-byte records keyed by a random 32-bit integer),
// the shape block sort hands them. Each iteration sorts a fresh copy of the same input.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/cell.hpp"
#include "core/sort.hpp"

namespace {

using Sorter = void (*)(void*, size_t, size_t, void*, uint32_t, vyn::sort::Compare);

std::vector<vyn::Cell> random_integer_cells(size_t count) {
    std::mt19937 random(42);
    std::vector<vyn::Cell> cells;
    cells.reserve(count);
    for (size_t i = 0; i < count; ++i) cells.push_back(vyn::integer_cell(int32_t(random())));
    return cells;
}

int compare_integer_cells(const void* a, const void* b, void*, uint32_t) {
    const int32_t x = static_cast<const vyn::Cell*>(a)->i32();
    const int32_t y = static_cast<const vyn::Cell*>(b)->i32();
    return (x > y) - (x < y);
}

void BM_SortMillionIntegers(benchmark::State& state, Sorter sorter) {
    const std::vector<vyn::Cell> input = random_integer_cells(1'000'000);
    std::vector<vyn::Cell> cells;
    for (auto _ : state) {
        state.PauseTiming();
        cells = input;
        state.ResumeTiming();
        sorter(cells.data(), cells.size(), sizeof(vyn::Cell), nullptr, 0, compare_integer_cells);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(input.size()));
}

}  // namespace

BENCHMARK_CAPTURE(BM_SortMillionIntegers, merge_sort, vyn::sort::merge_sort)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SortMillionIntegers, quick_sort, vyn::sort::quick_sort)->Unit(benchmark::kMillisecond);
