// Times the evaluation of one Vyn script for the language benchmarks: boots the runtime, loads
// the file and prints the milliseconds its evaluation took. Not part of the product.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "console/terminal.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/unwind.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "startup/startup.hpp"

int main(int argc, char** argv) {
    using namespace vyn;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s script.vyn\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string source = text.str();

    runtime::set_stack_bounds_of_current_thread();
    terminal::register_natives();
    runtime::init();
    Rooted code;
    lexer::scan(code.get(), reinterpret_cast<const uint8_t*>(source.data()), source.size(), lexer::ScanOptions{});
    stack::mark(stack::FRAME_TRY, 0);
    auto start = std::chrono::steady_clock::now();
    try {
        interp::eval(*code, true);
    } catch (const Unwind& exit) {
        std::fprintf(stderr, "the script ended with exit code %x\n", exit.code);
        return 1;
    }
    auto elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::printf("%.1f\n", elapsed.count());
    return 0;
}
