// Start-up of the whole runtime with its environment: from the embedded boot image (decoded,
// then its blocks evaluated) against from the embedded source text (lexed, then evaluated).
#include <benchmark/benchmark.h>

#include "console/terminal.hpp"
#include "startup/boot.hpp"
#include "startup/boot_image.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

void start_up(benchmark::State& state, std::span<const uint8_t> image) {
    runtime::set_stack_bounds_of_current_thread();
    terminal::register_natives();
    boot::set_image(image);
    for (auto _ : state) {
        runtime::shutdown();
        runtime::init();
    }
    boot::set_image({});
    runtime::shutdown();
}

void BM_StartUpFromImage(benchmark::State& state) { start_up(state, boot::embedded()); }
void BM_StartUpFromSource(benchmark::State& state) { start_up(state, {}); }

}  // namespace

BENCHMARK(BM_StartUpFromImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartUpFromSource)->Unit(benchmark::kMillisecond);
