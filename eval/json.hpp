// The fast paths of the JSON codec, as routines: each gives none when it leaves the work to the
// codec's Vyn code (json-parser's rules, json-encoder), which then decides as it always did.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/cell.hpp"

namespace vyn::json {
constexpr uint32_t HIGH_SURROGATE_FIRST = 0xD800;
constexpr uint32_t LOW_SURROGATE_FIRST = 0xDC00;
constexpr uint32_t SURROGATE_END = 0xE000;

// json-read: the value of a JSON text (argument 1) in a new block, or none; key-of (argument 2)
// tells which key texts become words.
void read(int32_t second);
// json-write: the JSON text of a value (argument 1), indented by a string (argument 2) or
// compact for none, non-ASCII characters escaped when argument 3 is true; or none.
void write(int32_t second);
// A new string! of code points, in the narrowest unit appending would give them.
Cell string_of(std::u32string_view text);
}  // namespace vyn::json
