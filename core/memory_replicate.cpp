// Each copy takes the filled part as its source and never overlaps it; the last copy takes only
// what is still missing.
#include "core/memory_replicate.hpp"

#include <cstring>

namespace vyn::memory {

uint8_t* replicate(uint8_t* buffer, int unit, uint32_t count) {
    uint64_t total = uint64_t(unit) * count;
    if (total == 0) return buffer;
    uint64_t filled = uint64_t(unit);
    for (; filled * 2 <= total; filled *= 2) std::memcpy(buffer + filled, buffer, filled);
    std::memcpy(buffer + filled, buffer, total - filled);
    return buffer + total;
}

}  // namespace vyn::memory
