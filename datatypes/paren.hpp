// paren!: a block that the interpreter evaluates where it meets it. As data it is a block in
// every respect but its type id and its delimiters, so it overrides mold alone.
#pragma once

namespace vyn {

// Registers paren! (type 6, parent block!); block_init must have run.
void paren_init();

}  // namespace vyn
