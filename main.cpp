// The program entry: the terminal host registers its natives and the environment comes from the
// embedded boot image; then everything runs on the runtime thread that `run_entry` starts.
#include "console/terminal.hpp"
#include "startup/boot.hpp"
#include "startup/boot_image.hpp"
#include "startup/startup.hpp"

int main(int argc, char** argv) {
    vyn::terminal::register_natives();
    vyn::boot::set_image(vyn::boot::embedded());
    return vyn::sys::run_entry(argc, argv, vyn::terminal::launch);
}
