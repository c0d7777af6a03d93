// libFuzzer target of the image decoders. The first byte picks the container whose signature is
// put before the rest, so every decoder sees mostly well-formed starts. Invariants checked: a
// decoder never reads or writes out of bounds (the sanitizer sees it), a decoded image has as
// many pixels as its size says and stays within the size limits, and what decodes encodes
// again losslessly through PNG and BMP.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "datatypes/os/image_codecs.hpp"

using namespace vyn;

namespace {

// Keeps a fuzzed header from asking for gigabytes.
constexpr uint64_t FUZZ_MAX_PIXELS = uint64_t(1) << 20;

const std::string signatures[] = {"\x89PNG\r\n\x1A\n", "\xFF\xD8\xFF", "BM", "GIF89a", std::string("II*\0", 4),
                                  std::string("MM\0*", 4), ""};

void require(bool condition) {
    if (!condition) std::abort();
}

void require_lossless(const image_os::Pixels& pixels, image_os::Format format) {
    std::string file;
    require(image_os::encode(pixels, format, &file));
    image_os::Pixels back;
    auto bytes = reinterpret_cast<const uint8_t*>(file.data());
    require(image_os::decode({bytes, file.size()}, &back) == image_os::Decoded::ok);
    require(back.width == pixels.width && back.height == pixels.height && back.argb == pixels.argb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string input = signatures[data[0] % std::size(signatures)];
    input.append(reinterpret_cast<const char*>(data + 1), size - 1);
    image_os::Pixels pixels;
    auto bytes = reinterpret_cast<const uint8_t*>(input.data());
    if (image_os::decode({bytes, input.size()}, &pixels, FUZZ_MAX_PIXELS) != image_os::Decoded::ok) return 0;
    require(pixels.width > 0 && pixels.height > 0 && image_os::fits(pixels.width, pixels.height, FUZZ_MAX_PIXELS));
    require(pixels.argb.size() == size_t(pixels.width) * pixels.height);
    require_lossless(pixels, image_os::Format::png);
    require_lossless(pixels, image_os::Format::bmp);
    return 0;
}
