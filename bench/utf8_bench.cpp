// Throughput of the text kernels: UTF-8 measuring and loading for ASCII, Latin-1 and mixed CJK
// text, UTF-8 encoding, and MurmurHash3 over bytes and over code points.
// Inputs are built once per benchmark; the reported rate is input bytes per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/murmur3.hpp"
#include "core/utf8.hpp"

namespace {

using namespace vyn;

constexpr size_t TEXT_BYTES = 64 * 1024;

// Repeats a sample up to about TEXT_BYTES.
std::string repeat(std::string_view sample) {
    std::string s;
    while (s.size() < TEXT_BYTES) s += sample;
    return s;
}

std::string sample_text(int kind) {
    switch (kind) {
    case 0: return repeat("The quick brown fox jumps over the lazy dog. 0123456789\n");
    case 1: return repeat("Gr\xC3\xBC\xC3\x9F""e aus K\xC3\xB6ln, \xC3\xA0 bient\xC3\xB4t! ");
    default: return repeat("Vyn \xE8\xAF\xAD\xE8\xA8\x80 \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 text, \xED\x95\x9C\xEA\xB8\x80. ");
    }
}

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void BM_MeasureUtf8(benchmark::State& state) {
    const std::string text = sample_text(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(unicode::measure_utf8(bytes_of(text), text.size(), unicode::LOAD_FOLD_CR));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_MeasureUtf8)->ArgName("ascii_latin1_cjk")->DenseRange(0, 2);

void BM_LoadUtf8(benchmark::State& state) {
    const std::string text = sample_text(int(state.range(0)));
    const auto m = unicode::measure_utf8(bytes_of(text), text.size(), unicode::LOAD_FOLD_CR);
    std::vector<uint8_t> units(m.chars * m.unit_size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(unicode::load_utf8(bytes_of(text), text.size(), unicode::LOAD_FOLD_CR, units.data(), m.unit_size));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_LoadUtf8)->ArgName("ascii_latin1_cjk")->DenseRange(0, 2);

void BM_WriteUtf8(benchmark::State& state) {
    const std::string text = sample_text(int(state.range(0)));
    const auto m = unicode::measure_utf8(bytes_of(text), text.size(), unicode::LOAD_STRICT);
    std::vector<uint8_t> units(m.chars * m.unit_size), out(text.size());
    unicode::load_utf8(bytes_of(text), text.size(), unicode::LOAD_STRICT, units.data(), m.unit_size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(unicode::write_utf8(units.data(), m.chars, m.unit_size, out.data(), out.size(), false));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_WriteUtf8)->ArgName("ascii_latin1_cjk")->DenseRange(0, 2);

void BM_Murmur3Bytes(benchmark::State& state) {
    const std::string text(size_t(state.range(0)), 'x');
    for (auto _ : state) benchmark::DoNotOptimize(hashtable::murmur3(text.data(), text.size(), 0x9747B28C));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Murmur3Bytes)->Arg(8)->Arg(64)->Arg(TEXT_BYTES);

uint32_t ascii_upper(uint32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// A 16-character key in UCS-2, with and without case folding: the hash of a typical string key.
void BM_HashCodePoints(benchmark::State& state) {
    const std::u16string key = u"Vyn-string-key-1";
    const hashtable::CaseFold fold = state.range(0) ? ascii_upper : nullptr;
    for (auto _ : state) benchmark::DoNotOptimize(hashtable::hash_code_points(key.data(), key.size(), 2, 7, fold));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(key.size() * 2));
}
BENCHMARK(BM_HashCodePoints)->ArgName("fold")->Arg(0)->Arg(1);

}  // namespace
