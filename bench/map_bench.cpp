// map! insertion and lookup through the put path and the key index: integer keys, and string
// keys that insertion copies. The runtime is built once; each insertion iteration makes a new
// map, and lookups run against a map filled before the timing starts.
#include <benchmark/benchmark.h>

#include <string>

#include "console/terminal.hpp"
#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/map.hpp"
#include "datatypes/string.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

using hashtable::Mode;

// A fresh runtime per benchmark: an earlier one may have reset memory under another.
void boot() {
    runtime::shutdown();
    terminal::register_natives();
    runtime::init();
}

// A block of the texts "key0", "key1" ...
Cell string_keys(int32_t count) {
    Rooted keys;
    block::make_at(keys.get(), count);
    for (int32_t i = 0; i < count; ++i) {
        std::string text = "key" + std::to_string(i);
        string::load_in(text.data(), text.size(), keys->s2, string::ENCODING_UTF8);
    }
    return *keys;
}

Cell key_at(const Cell& keys, int32_t i) { return *block::vs_abs_at(&keys, uint32_t(i)); }

template <class Key>
void fill(const Cell& m, int32_t count, Key key) {
    for (int32_t i = 0; i < count; ++i) map::set_value(m, key(i), integer_cell(i), Mode::equal, m);
}

void BM_MapPutIntegers(benchmark::State& state) {
    boot();
    auto count = int32_t(state.range(0));
    for (auto _ : state) {
        Rooted m;
        map::make_at(m.get(), 0);
        fill(*m, count, integer_cell);
        benchmark::DoNotOptimize(map::count(*m));
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MapPutIntegers)->Arg(100000);

void BM_MapSelectIntegers(benchmark::State& state) {
    boot();
    auto count = int32_t(state.range(0));
    Rooted m;
    map::make_at(m.get(), 0);
    fill(*m, count, integer_cell);
    for (auto _ : state)
        for (int32_t i = 0; i < count; ++i) benchmark::DoNotOptimize(map::get_value(*m, integer_cell(i), Mode::equal));
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MapSelectIntegers)->Arg(100000);

void BM_MapPutStrings(benchmark::State& state) {
    boot();
    auto count = int32_t(state.range(0));
    Rooted keys(string_keys(count));
    for (auto _ : state) {
        Rooted m;
        map::make_at(m.get(), 0);
        fill(*m, count, [&](int32_t i) { return key_at(*keys, i); });
        benchmark::DoNotOptimize(map::count(*m));
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MapPutStrings)->Arg(100000);

void BM_MapSelectStrings(benchmark::State& state) {
    boot();
    auto count = int32_t(state.range(0));
    Rooted keys(string_keys(count));
    Rooted m;
    map::make_at(m.get(), 0);
    fill(*m, count, [&](int32_t i) { return key_at(*keys, i); });
    for (auto _ : state)
        for (int32_t i = 0; i < count; ++i)
            benchmark::DoNotOptimize(map::get_value(*m, key_at(*keys, i), Mode::equal));
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_MapSelectStrings)->Arg(100000);

}  // namespace
