// Cells held by C++ code across an allocation must be visible to the collector. A Rooted cell
// registers itself on a shadow stack for its lifetime (strictly nested, as C++ scopes are);
// the collector marks every registered cell.
#pragma once

#include <cstdint>

#include "core/cell.hpp"
#include "core/fatal.hpp"

namespace vyn {

namespace roots {
constexpr int SHADOW_CAPACITY = 1 << 17;  // a few per call frame at the deepest recursion
extern Cell* shadow[SHADOW_CAPACITY];
extern int depth;

// Recursive code checks this before it roots one more level and raises an error instead: the
// room left over serves the error's creation and its report.
constexpr int SHADOW_RESERVE = 4096;
inline bool nearly_full() { return depth > SHADOW_CAPACITY - SHADOW_RESERVE; }
}  // namespace roots

class Rooted {
public:
    explicit Rooted(const Cell& value) : cell_(value) {
        VYN_REQUIRE(roots::depth < roots::SHADOW_CAPACITY);
        roots::shadow[roots::depth++] = &cell_;
    }
    Rooted() : Rooted(unset_cell()) {}
    ~Rooted() { --roots::depth; }
    Rooted(const Rooted&) = delete;
    Rooted& operator=(const Rooted&) = delete;

    Cell& operator*() { return cell_; }
    Cell* operator->() { return &cell_; }
    Cell* get() { return &cell_; }

private:
    Cell cell_;
};

}  // namespace vyn
