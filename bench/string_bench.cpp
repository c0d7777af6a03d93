// Text appends and searches on strings of each unit size (1, 2 and 4 bytes per character).
#include <benchmark/benchmark.h>
#include <cstdlib>

#include "core/stack.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

// A character that needs the given unit, so texts built from it keep that unit.
uint32_t letter_of_unit(int unit) { return unit == 1 ? 'q' : unit == 2 ? 0x3A9 : 0x1F600; }

Cell text_of_unit(int unit, uint32_t count, uint32_t cp) {
    Cell s = string::make(count, unit);
    for (uint32_t i = 0; i < count; ++i) string::append_char(string::node_of(&s), cp);
    return s;
}

void start_runtime() {
    if (!runtime::start_steps({"memory", "stack"})) std::abort();
}

void BM_StringAppend(benchmark::State& state) {
    start_runtime();
    int unit = int(state.range(0));
    Cell piece = text_of_unit(unit, 16, letter_of_unit(unit));
    for (auto _ : state) {
        Cell s = string::make(0, unit);
        for (int i = 0; i < 1000; ++i) string::append(&s, &piece, nullptr, false, nullptr);
        benchmark::DoNotOptimize(string::buffer_of(&s));
        state.PauseTiming();
        memory::init();
        piece = text_of_unit(unit, 16, letter_of_unit(unit));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 16);
}
BENCHMARK(BM_StringAppend)->Arg(1)->Arg(2)->Arg(4);

// A 64K-character text whose only match of an 8-character needle is at its end; the second
// argument chooses /case (1) or case folding (0).
void BM_StringFind(benchmark::State& state) {
    start_runtime();
    int unit = int(state.range(0));
    FindArgs args{};
    args.case_sensitive = state.range(1) != 0;
    Cell hay = text_of_unit(unit, 65536, letter_of_unit(unit));
    Cell needle = text_of_unit(unit, 7, letter_of_unit(unit));
    string::append_char(string::node_of(&needle), 'z');
    string::append_char(string::node_of(&hay), 'z');
    for (auto _ : state) {
        Cell position = hay;
        string::find(&position, &needle, args);
        benchmark::DoNotOptimize(position.s1);
    }
    state.SetItemsProcessed(state.iterations() * 65536);
}
BENCHMARK(BM_StringFind)->ArgsProduct({{1, 2, 4}, {0, 1}});

}  // namespace
