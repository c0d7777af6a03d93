// Non-local exits: an error, break, continue, return, exit or throw first unwinds the frames to
// the one that receives it and leaves the value it carries on the argument stack, then leaves
// the C++ code as an Unwind exception that the nearest catching place with a high enough marker
// takes. An exit that finds no receiver becomes the error of its kind.
#pragma once

#include "core/cell.hpp"
#include "core/unwind.hpp"

namespace vyn::exits {

[[noreturn]] void throw_error(const Cell& error);
[[noreturn]] void throw_break(bool has_value, bool is_continue);
[[noreturn]] void throw_return(bool has_value);
// The thrown value is the cell at the argument base, its name the cell after it.
[[noreturn]] void throw_value(uint32_t code);

// Passes on an exit taken by a place that does not handle it.
[[noreturn]] inline void rethrow(const Unwind& exit) { throw exit; }

// Reports an error that nothing catches and ends the process with status -2; installed by the
// error! datatype, which knows how to form it.
using UncaughtReporter = void (*)(const Cell& error);
void set_uncaught_reporter(UncaughtReporter reporter);
// Hears of each error about to unwind, while its frames are still live (evaluation tracing).
using ErrorObserver = void (*)(const Cell& error);
void set_error_observer(ErrorObserver observer);

}  // namespace vyn::exits
