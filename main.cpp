// The program entry: everything runs on the runtime thread that `run_entry` starts.
#include "core/runtime.hpp"
#include "library/terminal.hpp"

int main(int argc, char** argv) { return vyn::sys::run_entry(argc, argv, vyn::terminal::launch); }
