// Lexer throughput in MB/s: loading a generated 5 MB source of mixed tokens (words, set-words,
// paths, numbers, strings, nested blocks, comments), and a source of words only, which measures
// symbol interning and binding. Memory is reset between iterations, outside the timing. A traced
// transcode of deeply nested text (as the console's delimiter check runs it) must stay linear.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/rooted.hpp"
#include "datatypes/string.hpp"
#include "eval/lexer.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

constexpr size_t SOURCE_BYTES = 5 * 1024 * 1024;

// Undoes whatever an earlier benchmark started, then starts only what loading needs.
void fresh_runtime() {
    if (!runtime::start_steps({"memory", "type-registry", "series!", "block!", "string!", "symbols", "global-context"}))
        std::abort();
}

// A script-like text: lines of mixed tokens, each of a dozen shapes, with names from a set of a
// few hundred so that most words are found rather than added.
std::string mixed_source() {
    static const char* const lines[] = {
        "set-value: func [name [word!] /local count] [\n",
        "    count: length? items/:name ; how many there are\n",
        "    print [\"Total:\" count * 12'345 + 1.5e3 50%]\n",
        "    data: #{DEADBEEF00} file: %dir/file.txt site: http://example.com/a\n",
        "    either count > 0 [append out {braced ^{text^} here}] [none]\n",
        "    pos: 10x20 colour: 255.128.0 char: #\"a\" ref: /local issue: #tag\n",
        "]\n",
    };
    std::string text;
    for (int n = 0; text.size() < SOURCE_BYTES; ++n) {
        for (const char* line : lines) text += line;
        text += "item-" + std::to_string(n % 300) + ": 'word-" + std::to_string(n % 250) + "\n";
    }
    return text;
}

std::string words_source() {
    std::string text;
    for (int n = 0; text.size() < SOURCE_BYTES; ++n) text += "word-" + std::to_string(n % 500) + (n % 12 ? " " : "\n");
    return text;
}

void load_throughput(benchmark::State& state, const std::string& text) {
    fresh_runtime();
    for (auto _ : state) {
        Cell result;
        lexer::scan(&result, reinterpret_cast<const uint8_t*>(text.data()), text.size(), {});
        benchmark::DoNotOptimize(result);
        state.PauseTiming();
        fresh_runtime();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_LoadMixedSource(benchmark::State& state) { load_throughput(state, mixed_source()); }
BENCHMARK(BM_LoadMixedSource)->Unit(benchmark::kMillisecond);

void BM_LoadWords(benchmark::State& state) { load_throughput(state, words_source()); }
BENCHMARK(BM_LoadWords)->Unit(benchmark::kMillisecond);

// A string of `depth` opening brackets, then as many closing ones: every event's position is
// asked for in characters, and each token's start lies just behind the position counted last.
void BM_TraceDeepNesting(benchmark::State& state) {
    fresh_runtime();
    const auto depth = size_t(state.range(0));
    const std::string text = std::string(depth, '[') + std::string(depth, ']');
    lexer::Tracer tracer{lexer::EVENT_ALL, [](void*, lexer::TraceEvent&) { return true; }, nullptr};
    for (auto _ : state) {
        Rooted source(string::from_utf8(text));
        benchmark::DoNotOptimize(lexer::transcode(source.get(), {.trace = &tracer}));
        state.PauseTiming();
        fresh_runtime();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TraceDeepNesting)->RangeMultiplier(4)->Range(1 << 12, 1 << 16)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace
