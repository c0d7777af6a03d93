// libFuzzer target of the lexer: every input is loaded, scanned, prescanned and traced with the
// two callbacks the console relies on (one skips errors, one steps over the offending character).
// Invariants checked: nothing but a syntax error escapes, the traced scans always end, a text
// that loads scans without error, and each scan leaves the scan stack empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/rooted.hpp"
#include "core/unwind.hpp"
#include "datatypes/string.hpp"
#include "eval/lexer.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// What each input loads is garbage once it is checked: the collector runs from the start.
void fresh_runtime() {
    require(runtime::start_steps({"memory", "externals", "type-registry", "datatype!", "unset!", "none!", "logic!",
                                  "series!", "block!", "string!", "integer!", "stack", "symbols", "global-context",
                                  "value-slots", "collector"}));
}

bool skip_errors(void*, lexer::TraceEvent& e) { return e.event != lexer::EVENT_ERROR; }

bool step_over_errors(void*, lexer::TraceEvent& e) {
    if (e.event == lexer::EVENT_ERROR) ++e.index;
    return false;
}

// Loads the text; true when it held no syntax error.
bool loads(const uint8_t* data, size_t size, const lexer::Tracer* tracer) {
    lexer::ScanOptions options;
    options.tracer = tracer;
    Cell result;
    try {
        lexer::scan(&result, data, size, options);
    } catch (const Unwind& exit) {
        require(exit.code == EXIT_ERROR && tracer == nullptr);
        require(lexer::working_cells().empty());
        return false;
    }
    require(lexer::working_cells().empty());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fresh_runtime();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool valid = loads(data, size, nullptr);
    lexer::ScanOptions scan;
    scan.mode = lexer::Mode::scan;
    scan.output = false;
    Cell unused;
    TypeId scanned = lexer::scan(&unused, data, size, scan).type;
    if (valid) require(scanned != TYPE_ERROR);
    scan.mode = lexer::Mode::prescan;
    lexer::scan(&unused, data, size, scan);

    lexer::Tracer trapper{lexer::EVENT_ALL, skip_errors, nullptr};
    require(loads(data, size, &trapper));
    lexer::Tracer highlighter{lexer::EVENT_SCAN | lexer::EVENT_ERROR, step_over_errors, nullptr};
    require(loads(data, size, &highlighter));

    Rooted text(string::make(uint32_t(size)));
    string::append_utf8(text.get(), std::string_view(reinterpret_cast<const char*>(data), size));
    lexer::ScanOptions characters;
    characters.tracer = &trapper;
    lexer::scan_string(&unused, text.get(), -1, characters);
    return 0;
}
