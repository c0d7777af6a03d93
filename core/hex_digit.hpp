// The value of a hexadecimal digit, read the same way by the lexer, the number and URL decoders
// and the JSON codec.
#pragma once

#include <cstdint>

namespace vyn {

// 0 to 15 for a digit of either case, -1 for any other character.
inline int hex_digit(uint32_t c) {
    if (c - '0' < 10u) return int(c - '0');
    if ((c | 0x20) - 'a' < 6u) return int((c | 0x20) - 'a' + 10);
    return -1;
}

}  // namespace vyn
