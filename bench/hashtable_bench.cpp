// Hashtable put and get: a hash! index over integer and string cells (a tenth of them repeated,
// so duplicate chains are exercised), and a node-keyed table. Puts refill a cleared table of the
// final size, so the figures are placement costs without growth.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "startup/startup.hpp"

namespace {

using namespace vyn;

// A block of count cells: integers, or strings made of the same numbers.
Cell key_block(int64_t count, bool strings) {
    NodeId block = memory::alloc_cells(uint64_t(count));
    for (int64_t i = 0; i < count; ++i) {
        int32_t key = int32_t(i % (count - count / 10));
        Cell c = integer_cell(key);
        if (strings) {
            const std::string text = "key-" + std::to_string(key);
            const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
            c = unicode::string_cell(unicode::load_utf8(bytes, text.size(), 0, unicode::LOAD_STRICT));
        }
        *memory::alloc_tail_cell(block) = c;
    }
    return make_cell(TYPE_BLOCK, 0, block, 0);
}

NodeId indexed_block(benchmark::State& state, Cell& block) {
    if (!runtime::start_steps({"memory", "symbols"})) std::abort();
    block = key_block(state.range(0), state.range(1) != 0);
    return hashtable::make(uint32_t(state.range(0)), hashtable::Kind::hash_index, &block);
}

void BM_HashIndexPut(benchmark::State& state) {
    Cell block;
    NodeId table = indexed_block(state, block);
    for (auto _ : state) {
        hashtable::clear(table);
        hashtable::put_all(table, 0, 1);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_HashIndexPut)->ArgNames({"cells", "strings"})->Args({10000, 0})->Args({10000, 1});

void BM_HashIndexGet(benchmark::State& state) {
    Cell block;
    NodeId table = indexed_block(state, block);
    const Cell* cells = memory::series_of(block.s2)->cells();
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(hashtable::get(table, cells[i]));
        if (++i == state.range(0)) i = 0;
    }
}
BENCHMARK(BM_HashIndexGet)->ArgNames({"cells", "strings"})->Args({10000, 0})->Args({10000, 1});

void BM_NodeKeyPutGet(benchmark::State& state) {
    if (!runtime::start_steps({"memory"})) std::abort();
    NodeId table = hashtable::make_node_table(uint32_t(state.range(0)), 1);
    for (auto _ : state) {
        hashtable::clear(table);
        const NodeId last = NodeId(state.range(0));
        for (NodeId key = 1; key <= last; ++key) hashtable::put_key(table, key);
        for (NodeId key = 1; key <= last; ++key) benchmark::DoNotOptimize(hashtable::get_key(table, key));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_NodeKeyPutGet)->Arg(10000);

}  // namespace
