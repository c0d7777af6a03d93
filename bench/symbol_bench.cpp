// Symbol interning and word lookup: finding names already interned (the lexer's common case),
// adding fresh names to a new table (growth included), a context table lookup by symbol, and
// reading a value through a bound word.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "startup/startup.hpp"

namespace {

using namespace vyn;

std::vector<std::string> word_names(size_t count) {
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) names.push_back("word-" + std::to_string(i * 7919));
    return names;
}

void start_runtime() {
    if (!runtime::start_steps({"memory", "symbols", "global-context"})) std::abort();
}

void BM_InternExisting(benchmark::State& state) {
    start_runtime();
    const std::vector<std::string> names = word_names(size_t(state.range(0)));
    for (const std::string& n : names) symbol::make(n);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(symbol::make(names[i]));
        if (++i == names.size()) i = 0;
    }
}
BENCHMARK(BM_InternExisting)->Arg(1000)->Arg(20000);

void BM_InternNew(benchmark::State& state) {
    const std::vector<std::string> names = word_names(size_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        start_runtime();
        state.ResumeTiming();
        for (const std::string& n : names) benchmark::DoNotOptimize(symbol::make(n));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_InternNew)->Arg(3000)->Arg(20000);

void BM_ContextFindWord(benchmark::State& state) {
    start_runtime();
    const std::vector<std::string> names = word_names(size_t(state.range(0)));
    std::vector<uint32_t> ids;
    for (const std::string& n : names) ids.push_back(context::add_global(symbol::make(n)).s2);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(context::find_word(context::global(), ids[i], true));
        if (++i == ids.size()) i = 0;
    }
}
BENCHMARK(BM_ContextFindWord)->Arg(1000)->Arg(20000);

void BM_GetBoundWord(benchmark::State& state) {
    start_runtime();
    const Cell word = context::add_global(symbol::make("counter"));
    context::set(word, integer_cell(1));
    for (auto _ : state) benchmark::DoNotOptimize(context::get(word));
}
BENCHMARK(BM_GetBoundWord);

}  // namespace
