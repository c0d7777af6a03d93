// The interpreter's hot paths on small scripts: a counting loop of plain integer operators, a
// recursive function (calls, either, operators on call results) and calls through a path with a
// refinement. Each script is loaded once and evaluated per iteration.
#include <benchmark/benchmark.h>

#include <string_view>

#include "console/terminal.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

// Other benchmarks of the binary start parts of the runtime by hand: each script boots its own.
void boot() {
    runtime::set_stack_bounds_of_current_thread();
    runtime::shutdown();
    terminal::register_natives();
    runtime::init();
}

void run_script(benchmark::State& state, std::string_view source) {
    boot();
    Rooted code;
    lexer::scan(code.get(), reinterpret_cast<const uint8_t*>(source.data()), source.size(), lexer::ScanOptions{});
    for (auto _ : state) {
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        interp::eval(*code, true);
        benchmark::DoNotOptimize(*stack::base);
    }
    stack::reset_all();
}

void BM_CountingLoop(benchmark::State& state) {
    run_script(state, "i: 0 s: 0 while [i < 100000] [s: s + i i: i + 1]");
}
BENCHMARK(BM_CountingLoop)->Unit(benchmark::kMillisecond);

void BM_RecursiveCalls(benchmark::State& state) {
    run_script(state, "fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]] fib 20");
}
BENCHMARK(BM_RecursiveCalls)->Unit(benchmark::kMillisecond);

void BM_RefinementCalls(benchmark::State& state) {
    run_script(state,
               "f: func [a /opt b] [either opt [a + b] [a]] i: 0 s: 0 "
               "while [i < 100000] [s: s + f/opt i 1 i: i + 1]");
}
BENCHMARK(BM_RefinementCalls)->Unit(benchmark::kMillisecond);

}  // namespace
