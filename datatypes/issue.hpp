// issue!: a word-shaped value written with a leading "#". It carries a symbol but is never a
// variable: its context is the global one, its index always -1, and binding passes it by.
#pragma once

#include <string_view>

#include "core/cell.hpp"

namespace vyn {

// Registers issue! with parent word!; word_init must have run.
void issue_init();

}  // namespace vyn

namespace vyn::issue {

// The issue of a name, interned as it is.
Cell load(std::string_view name);

}  // namespace vyn::issue
