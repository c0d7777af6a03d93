// What the fuzz targets share: a failed invariant aborts (libFuzzer reports it), and code runs
// under a catching frame on a fresh argument stack.
#pragma once

#include <cstdlib>

#include "core/stack.hpp"
#include "core/unwind.hpp"

namespace vyn::fuzz {

inline void require(bool condition) {
    if (!condition) std::abort();
}

// Runs `body` under a catching frame; false when it raised an error (any other exit aborts).
template <class Body>
bool under_try(Body body) {
    stack::reset_all();
    stack::mark(stack::FRAME_TRY, 0);
    try {
        body();
    } catch (const Unwind& exit) {
        require(exit.code == EXIT_ERROR);
        stack::reset_all();
        return false;
    }
    stack::reset_all();
    return true;
}

}  // namespace vyn::fuzz
