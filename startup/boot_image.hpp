// The boot image the build writes (tools/make_boot_image.cpp) and the executable compiles in; only
// the programs that link the generated source (vyn, the tests, the benchmarks) may name it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vyn::boot {

extern const uint8_t embedded_image[];
extern const size_t embedded_image_size;

inline std::span<const uint8_t> embedded() { return {embedded_image, embedded_image_size}; }

}  // namespace vyn::boot
