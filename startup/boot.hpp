// Building the environment at start-up: the global words the runtime gives values itself
// (datatypes, none, true, false, the typeset words, `null-handle` and `make`, which the
// environment's own definitions need first), then the environment: the boot image the executable
// embeds, decoded into a root block whose blocks are evaluated in path order, or, without an
// image, the embedded Vyn sources loaded with the lexer and evaluated in the same order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vyn::boot {

void init_globals();
void load_environment();

// The image `load_environment` decodes; an empty one (the first-stage tool, tests that boot
// from the sources) leaves it to the source text. The bytes must outlive every start-up.
void set_image(std::span<const uint8_t> image);

// The first stage of the build: the environment's sources as one VYNBIN stream (compact layout).
// The datatype words and the scripts that only define actions and natives become definitions;
// every other script becomes one block. Needs a runtime up to its global words, without its
// environment.
struct ImageContents {
    int datatypes = 0;
    int actions = 0;
    int natives = 0;
    int scripts = 0;
};
std::vector<uint8_t> make_image(ImageContents* contents);

}  // namespace vyn::boot
