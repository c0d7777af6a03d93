// libFuzzer target of the JSON and CSV readers: every input, decoded as UTF-8, is read by
// load-json and load-csv. Invariants checked: nothing but an error escapes either reader, what
// load-json reads writes as JSON that load-json reads again (to-json may refuse a value with no
// JSON text, such as an infinite number), and rows that load-csv reads write as CSV that reads
// back to the same rows.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "console/terminal.hpp"
#include "core/collector.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "startup/startup.hpp"
#include "tests/fuzz/fuzz_support.hpp"

using namespace vyn;

using fuzz::require;

namespace {

// Each checker gives true when its invariant holds; errors the readers raise or return pass.
constexpr std::string_view checkers = R"vyn(
    fuzz-json: func [text /local value json] [
        if error? value: try [load-json text] [return true]
        if error? json: try [to-json :value] [return true]
        not error? try [load-json json]
    ]
    fuzz-csv: func [text /local rows] [
        if error? rows: try [load-csv text] [return true]
        rows == load-csv to-csv rows
    ]
)vyn";

Cell scan(std::string_view text) {
    Cell code;
    lexer::scan(&code, reinterpret_cast<const uint8_t*>(text.data()), text.size(), lexer::ScanOptions{});
    return code;
}

// Evaluates the code under a catching frame; false when an error escaped it.
bool evaluate(const Cell& code, Cell* result) {
    return fuzz::under_try([&] {
        interp::eval(code, true);
        *result = *stack::base;
    });
}

void check(std::string_view checker, const Cell& text) {
    Rooted code(scan(checker));
    block::vs_append(code.get(), &text);
    Rooted result;
    require(evaluate(*code, result.get()));
    require(result.get()->type() == TYPE_LOGIC && result.get()->s1 != 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    runtime::set_stack_bounds_of_current_thread();
    terminal::register_natives();
    runtime::init();
    Rooted code(scan(checkers));
    Rooted unused;
    require(evaluate(*code, unused.get()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rooted text(string::from_utf8(std::string_view(reinterpret_cast<const char*>(data), size)));
    check("fuzz-json", *text);
    check("fuzz-csv", *text);
    collector::collect();
    return 0;
}
