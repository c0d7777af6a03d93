// The lexer: Vyn source text (UTF-8) to values. A table-driven state machine finds each token;
// blocks, parens, maps and paths are built on a scan stack of cells and copied into a series
// when they close. Scans nest (a trace callback may scan again); each continues above its
// parent's stack top. Invariant: every value built during a scan sits on the scan stack, a root
// of the collector (registered by the first scan), until it is copied into its series.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/cell.hpp"

namespace vyn::lexer {

// load builds values; scan checks every token and reports the first value's type; prescan only
// follows the structure (strings, blocks, parens, paths) and reports the first token's type.
enum class Mode : uint8_t { load, scan, prescan };

// Trace events, as bits of a callback's event mask.
enum Event : uint32_t {
    EVENT_PRESCAN = 1,
    EVENT_SCAN = 2,
    EVENT_LOAD = 4,
    EVENT_OPEN = 8,
    EVENT_CLOSE = 16,
    EVENT_ERROR = 32,
    EVENT_ALL = 63,
};

struct TraceEvent {
    Event event;
    // The input position handed to the callback (origin-based, in bytes, or in characters for
    // string input). A callback that changes it moves the lexer's cursor there.
    uint32_t index;
    // The token's datatype. TYPE_NONE_ID for the kinds that are named by a word of the exit
    // states instead (end, the open and close tokens, path, construct, comment, comma).
    TypeId type;
    int kind;  // token kind: final state - 65 (1 end ... 36 ref); a prescan names a typeless one as -kind
    int32_t line;
    Cell token;  // load: the value; otherwise a pair! of the token's 1-based start and end
};

struct Tracer {
    uint32_t events = EVENT_ALL;
    // true lets the lexer go on; false skips the event's action.
    bool (*callback)(void* context, TraceEvent& event) = nullptr;
    void* context = nullptr;
};

struct ScanOptions {
    Mode mode = Mode::load;
    bool one_value = false;     // stop after the first complete value (a whole block is one)
    bool output = true;         // write the result cell (load mode)
    bool block_always = false;  // in one-value mode, a block of the value instead of the value
    const Tracer* tracer = nullptr;
    const Cell* into = nullptr;  // a block! the values are appended to instead of a new block
    uint32_t origin = 0;         // the input index of the first byte, for trace positions
};

struct ScanResult {
    TypeId type;        // of the last value handled: 0 for none, error! for a refused text
    uint32_t consumed;  // bytes (characters for string input)
};

// Scans length bytes. The bytes must not move while scanning: never a series buffer. The
// result cell must not be inside a series either. Syntax errors are raised in load mode.
ScanResult scan(Cell* result, const uint8_t* input, size_t length, const ScanOptions& options);
// Scans a string! from its head: `length` characters, or -1 for all of them.
ScanResult scan_string(Cell* result, const Cell* string, int32_t length, const ScanOptions& options);

// The type of the first value of a text: none (TYPE_NONE_ID) for an empty text, error! for one
// that is not valid (mode scan or prescan).
TypeId scan_type(std::string_view text, Mode mode);

// The refinements of the transcode native.
struct Transcode {
    bool next = false;
    bool one = false;
    bool prescan = false;
    bool scan = false;
    const Cell* part = nullptr;  // integer! count, or a position in a series of the source's type
    const Cell* into = nullptr;  // block!
    const Tracer* trace = nullptr;
};

// transcode on a binary! or string! source: a block of the values (or the /into block), the
// value itself (/one), [value rest] (/next), or the type for /scan and /prescan.
Cell transcode(const Cell* source, const Transcode& refinements);

// The scan stack cells of every running scan, as the collector marks them. Markers of open series
// carry the type id 0 and hold no references.
std::span<const Cell> working_cells();

}  // namespace vyn::lexer

namespace vyn::load {

// The first value the text loads as, written into `target`: unset for a text of no values, none
// when the lexer stopped before the end. Syntax errors are raised.
Cell* from_string(const Cell& string, Cell* target);

}  // namespace vyn::load
