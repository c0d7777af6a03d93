// Pattern filling: repeats the first unit of a buffer across it by doubling copies, which fills
// n units with log2(n) copies. The caller guarantees the buffer holds count × unit bytes.
#pragma once

#include <cstdint>

namespace vyn::memory {

// Fills `count` units from the first one; returns the address one past the filled area.
uint8_t* replicate(uint8_t* buffer, int unit, uint32_t count);

}  // namespace vyn::memory
