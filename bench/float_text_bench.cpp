// Float text conversion against the C library: formatting a million random doubles (shortest
// digits against "%.17g") and reading their texts back (from_text against strtod).
// The sample is fixed by its seed, so runs compare like with like.
#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/float_text.hpp"

namespace {

constexpr int sample_size = 1'000'000;

const std::vector<double>& sample_doubles() {
    static const std::vector<double> doubles = [] {
        std::vector<double> out;
        std::mt19937_64 random(42);
        while (out.size() < sample_size) {
            double value = std::bit_cast<double>(random());
            if (std::isfinite(value)) out.push_back(value);
        }
        return out;
    }();
    return doubles;
}

const std::vector<std::string>& sample_texts() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        char text[vyn::float_text::text_capacity];
        for (double value : sample_doubles())
            out.emplace_back(text, vyn::float_text::format(value, 0, true, text));
        return out;
    }();
    return texts;
}

void BM_FloatFormat(benchmark::State& state) {
    char text[vyn::float_text::text_capacity];
    for (auto _ : state)
        for (double value : sample_doubles()) benchmark::DoNotOptimize(vyn::float_text::format(value, 0, true, text));
    state.SetItemsProcessed(state.iterations() * sample_size);
}
BENCHMARK(BM_FloatFormat)->Unit(benchmark::kMillisecond);

void BM_Snprintf17g(benchmark::State& state) {
    char text[32];
    for (auto _ : state)
        for (double value : sample_doubles()) benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.17g", value));
    state.SetItemsProcessed(state.iterations() * sample_size);
}
BENCHMARK(BM_Snprintf17g)->Unit(benchmark::kMillisecond);

void BM_FloatFromText(benchmark::State& state) {
    for (auto _ : state)
        for (const std::string& text : sample_texts())
            benchmark::DoNotOptimize(vyn::float_text::from_text(text, 0).value);
    state.SetItemsProcessed(state.iterations() * sample_size);
}
BENCHMARK(BM_FloatFromText)->Unit(benchmark::kMillisecond);

void BM_Strtod(benchmark::State& state) {
    for (auto _ : state)
        for (const std::string& text : sample_texts()) benchmark::DoNotOptimize(std::strtod(text.c_str(), nullptr));
    state.SetItemsProcessed(state.iterations() * sample_size);
}
BENCHMARK(BM_Strtod)->Unit(benchmark::kMillisecond);

}  // namespace
