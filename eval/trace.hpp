// Evaluation tracing: `do/trace` hands each step of the evaluation to a callback function.
// The interpreter tests `on` (one load) before it builds any event, so code that is not traced
// pays nothing more; the callback itself always runs untraced.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/rooted.hpp"

namespace vyn::trace {

enum Event : uint32_t {
    INIT = 0x0001,
    END = 0x0002,
    PROLOG = 0x0004,
    EPILOG = 0x0008,
    ENTER = 0x0010,
    EXIT = 0x0020,
    OPEN = 0x0040,
    RETURN = 0x0080,
    FETCH = 0x0100,
    PUSH = 0x0200,
    SET = 0x0400,
    CALL = 0x0800,
    ERROR = 0x1000,
    THROW = 0x2000,
    CATCH = 0x4000,
    EXPR = 0x8000,
};
// Every event, and a bit that names none.
constexpr uint32_t DEFAULT_MASK = 0x1FFFF;

// Whether events are reported now: off outside `do/trace`, inside a function that is never traced
// and while the callback runs.
extern bool on;
// Whether a traced evaluation is in progress (its callback may be off for the moment).
extern bool started;

// Whether the code running now is part of a traced evaluation that reports its events (inside
// the environment's functions too, which report nothing), not the callback.
bool active();

// Switches the reports of the traced evaluation in progress off or on again; nothing outside one.
void set_reporting(bool wanted);

// Starts untraced, with the collector and the error raiser hooked in.
void init();

// The events a callback asks for: the words of the block that starts its spec or body, else all.
uint32_t mask_of(const Cell& callback);

// Reports one event to the callback when it asks for it. `code` is the block or path being
// evaluated and `position` an index in it (both may be absent); `value` and `ref` may be nullptr.
void fire(Event event, const Cell* code, uint32_t position, const Cell* value, const Cell* ref);

inline void event(Event e, const Cell* code, uint32_t position, const Cell* value, const Cell* ref = nullptr) {
    if (on) [[unlikely]] fire(e, code, position, value, ref);
}

// A traced evaluation: made with its callback and code (reporting `init`), ended by `end`
// (reporting `end`, the evaluation's value being the current result). Tracing state nests: an
// inner traced evaluation gives the outer one back when it goes, however it ends.
class Session {
public:
    Session(const Cell& callback, const Cell& code);
    ~Session();
    void end(const Cell& code);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    void restore();
    // The outer evaluation's tracing state.
    Rooted callback_;
    uint32_t mask_, arguments_, locals_from_;
    bool on_, started_, reporting_;
};

// A function's body runs with tracing forced on (flag 0x400) or off (flag 0x200) while a traced
// evaluation is in progress; the state before comes back when it ends, however it ends.
class FunctionScope {
public:
    explicit FunctionScope(uint32_t function_header) : saved_(on) {
        if (started) [[unlikely]] adjust(function_header);
    }
    ~FunctionScope() { on = saved_; }
    FunctionScope(const FunctionScope&) = delete;
    FunctionScope& operator=(const FunctionScope&) = delete;

private:
    static void adjust(uint32_t function_header);
    bool saved_;
};

// The error raiser reports `error` through this before the error unwinds.
void report_error(const Cell& error);

}  // namespace vyn::trace
