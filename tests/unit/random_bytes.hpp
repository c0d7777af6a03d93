// Bytes with no structure to exploit, the same for the same seed: inputs that compressors can
// only store, for the tests of the deflate coder and the runtime compressor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vyn::testing_support {

inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

}  // namespace vyn::testing_support
