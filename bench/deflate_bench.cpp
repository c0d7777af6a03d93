// The deflate compressor and inflater on a mixed corpus: the file VYN_DEFLATE_CORPUS names
// (bench/deflate-vs-zlib makes one and sets it), else a generated 20 MB mix of text, tables,
// noise and runs. Counters: bytes per second of input (or output) and the compressed size as a
// fraction of the corpus.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "eval/os/deflate.hpp"

using namespace vyn;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes generated_corpus() {
    static const char* words[] = {"value ", "block ", "the ", "compress ", "[", "] ", "func ", "either ", "\n    ",
                                  "return ", "0 ", "1 ", "none ", "context ", "system/", "words"};
    std::mt19937 rng(1);
    Bytes b;
    const size_t size = 20u << 20;
    while (b.size() < size) {
        switch (rng() % 4) {
        case 0:
        case 1:
            for (int i = 0; i < 2000; ++i) {
                std::string_view w = words[rng() % 16];
                b.insert(b.end(), w.begin(), w.end());
            }
            break;
        case 2:
            for (int i = 0; i < 1000; ++i) {
                std::string row = std::to_string(rng() % 100000) + "," + std::to_string(rng() % 1000) + "\n";
                b.insert(b.end(), row.begin(), row.end());
            }
            break;
        default:
            for (int i = 0; i < 4000; ++i) b.push_back(uint8_t(rng() % 7 ? rng() : 0));
        }
    }
    b.resize(size);
    return b;
}

const Bytes& corpus() {
    static const Bytes c = [] {
        if (const char* path = std::getenv("VYN_DEFLATE_CORPUS")) {
            std::ifstream f(path, std::ios::binary);
            return Bytes(std::istreambuf_iterator<char>(f), {});
        }
        return generated_corpus();
    }();
    return c;
}

Bytes compressed(const Bytes& in) {
    size_t size = in.size() + in.size() / 2048 + 32;
    Bytes out(size);
    deflate::zlib_wrap(out.data(), size, in.data(), in.size());
    out.resize(size);
    return out;
}

void BM_DeflateCompress(benchmark::State& state) {
    const Bytes& in = corpus();
    Bytes out(in.size() + in.size() / 2048 + 32);
    size_t size = 0;
    for (auto _ : state) {
        size = out.size();
        deflate::zlib_wrap(out.data(), size, in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
    state.counters["ratio"] = double(size) / double(in.size());
    state.counters["compressed"] = double(size);
}
BENCHMARK(BM_DeflateCompress)->Unit(benchmark::kMillisecond);

void BM_DeflateDecompress(benchmark::State& state) {
    const Bytes& in = corpus();
    const Bytes packed = compressed(in);
    Bytes out(in.size());
    for (auto _ : state) {
        size_t size = out.size();
        deflate::zlib_unwrap(out.data(), size, packed.data(), packed.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_DeflateDecompress)->Unit(benchmark::kMillisecond);

}  // namespace
