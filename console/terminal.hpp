// The console engine on a text terminal: with no display, the console reads lines from standard
// input and writes to standard output. Natives here extend the natives table after the
// evaluator's own slots, registered by the host before start-up; the environment's Vyn sources
// bind them by slot.
#pragma once

#include "eval/natives.hpp"

namespace vyn::terminal {

// Slots 112 on: read-stdin, the console's init.
constexpr int NATIVE_COUNT = 2;
extern const natives::Native natives_list[NATIVE_COUNT];
// Before start-up: adds natives_list to the natives every start-up appends.
void register_natives();

struct Size {
    int columns;
    int rows;
};
// The terminal's size; 80x25 when standard output is not a terminal.
Size size_of_output();

// After start-up: tells the console engine it runs without a display and how wide its output
// is, then enters `system/console/launch`.
void launch();

}  // namespace vyn::terminal
