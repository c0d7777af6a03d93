// The program entry: the terminal host registers its natives, then everything runs on the
// runtime thread that `run_entry` starts.
#include "console/terminal.hpp"
#include "startup/startup.hpp"

int main(int argc, char** argv) {
    vyn::terminal::register_natives();
    return vyn::sys::run_entry(argc, argv, vyn::terminal::launch);
}
