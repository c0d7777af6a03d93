// Natives register in slot order; the table index of a native is its slot minus one, which the
// native! values made at start-up rely on.
#include "eval/natives.hpp"

#include "core/fatal.hpp"

namespace vyn::natives {

Native table[TABLE_SIZE];

namespace {
int filled = 0;
}

int count() { return filled; }

void init() {
    for (Native& n : table) n = nullptr;
    filled = 0;
}

void fill(const Native* list, int n) {
    VYN_REQUIRE(filled + n <= TABLE_SIZE);
    for (int i = 0; i < n; ++i) table[filled++] = list[i];
}

}  // namespace vyn::natives
