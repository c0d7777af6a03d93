#include <benchmark/benchmark.h>

#include "core/cell.hpp"

static void BM_CellCopy(benchmark::State& state) {
    vyn::Cell a = vyn::integer_cell(1), b{};
    for (auto _ : state) {
        b = a;
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_CellCopy);
