// libFuzzer target of the VYNBIN reader: every input is decoded as a script would decode it,
// and what decodes is written again in both layouts and read back. Invariants checked: nothing
// but an error escapes a decode, no read or write leaves the input or the runtime's buffers (the
// sanitizer), and a value the reader made always writes and reads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "console/terminal.hpp"
#include "core/collector.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "eval/vynbin.hpp"
#include "startup/startup.hpp"
#include "tests/fuzz/fuzz_support.hpp"

using namespace vyn;

using fuzz::require;

namespace {

// Decodes into a new block under a catching frame; false when the decode raised an error.
bool decode(const std::vector<uint8_t>& bytes, Cell* out) {
    return fuzz::under_try([&] {
        block::make_at(out, 1);
        vynbin::decode(bytes, out, vynbin::Mode::script, none_cell());
    });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    runtime::set_stack_bounds_of_current_thread();
    terminal::register_natives();
    runtime::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rooted value;
    if (!decode(std::vector<uint8_t>(data, data + size), value.get())) return 0;
    for (bool compact : {true, false}) {
        std::vector<uint8_t> again;
        stack::mark(stack::FRAME_TRY, 0);
        try {
            again = vynbin::encode_bytes(*value, compact);
        } catch (const Unwind& exit) {
            require(exit.code == EXIT_ERROR);  // deeper than the writer goes: a stack overflow
            stack::reset_all();
            continue;
        }
        stack::reset_all();
        Rooted back;
        require(decode(again, back.get()));
    }
    collector::collect();
    return 0;
}
