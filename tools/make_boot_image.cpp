// The first stage of the build: the runtime, started without its environment and without the
// collector (a short run that frees nothing), turns the embedded Vyn sources into the boot image
// and writes it as a C++ source that the executable compiles in. Usage: vyn-boot-image OUT.cpp
#include <cstdio>
#include <string>
#include <vector>

#include "console/terminal.hpp"
#include "startup/boot.hpp"
#include "startup/startup.hpp"

using namespace vyn;

namespace {

std::string image_source(const std::vector<uint8_t>& image) {
    std::string text =
        "// Generated at build time by vyn-boot-image from the Vyn sources; do not edit.\n"
        "#include \"startup/boot_image.hpp\"\n"
        "namespace vyn::boot {\n"
        "alignas(16) const uint8_t embedded_image[] = {";
    char hex[8];
    for (size_t i = 0; i < image.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%s0x%02X,", i % 20 ? "" : "\n", image[i]);
        text += hex;
    }
    text += "\n};\nconst size_t embedded_image_size = sizeof embedded_image;\n}  // namespace vyn::boot\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vyn-boot-image OUT.cpp\n");
        return 2;
    }
    runtime::set_stack_bounds_of_current_thread();
    terminal::register_natives();
    runtime::init_before("collector");
    boot::ImageContents contents;
    const std::string text = image_source(boot::make_image(&contents));
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
