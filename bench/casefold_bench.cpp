// Upper-casing a mixed text one code point at a time: ASCII, Latin-1, Greek and Cyrillic,
// CJK and Adlam (above the BMP), the mix a case-insensitive hash or search walks over.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/casefold.hpp"

namespace {

std::vector<uint32_t> mixed_text() {
    const std::vector<uint32_t> sample = {
        'H', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ',', ' ', 0xE9, 't', 0xE9, ' ', 0xDF, 0xFF,
        ' ', 0x3B1, 0x3B2, 0x3B3, ' ', 0x43F, 0x440, 0x438, ' ', 0x4E16, 0x754C, ' ', 0x1E922, 0x1E923, '.',
    };
    std::vector<uint32_t> text;
    while (text.size() < 4096) text.insert(text.end(), sample.begin(), sample.end());
    return text;
}

void BM_UpperCharMixedText(benchmark::State& state) {
    const std::vector<uint32_t> text = mixed_text();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (uint32_t cp : text) sum += vyn::casefold::upper_char(cp);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_UpperCharMixedText);

}  // namespace
