// tuple!: 3 to 12 bytes in slots 1-3 of the cell, first byte first, the length in header bits
// 19-22 (written 255.128.0). Bytes past the length are always zero and the length is never
// below 3; arithmetic saturates every byte to 0..255.
#pragma once

namespace vyn {

void tuple_init();

}  // namespace vyn
