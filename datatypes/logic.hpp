// logic!: true and false (type 4, slot 1 = 0 or 1), and the truth test of conditionals: none and
// false are false, every other value (unset included) is true unless a check for unset is asked.
#pragma once

#include "core/cell.hpp"

namespace vyn::logic {

inline bool get(const Cell* value) { return value->s1 != 0; }

// With `check`, an unset value raises `no-value` naming `arg`.
bool true_q(const Cell* value, bool check = false, const Cell* arg = nullptr);

// Truth of the current call's result cell; unset there raises `no-return`.
bool top_true_q();
// Whether the result cell, or the last pushed cell, is none or false.
bool top_false_q();
bool last_false_q();

// Sets the current call's result cell, or pushes a new cell, to a logic value.
Cell* box(bool value);
Cell* push(bool value);

}  // namespace vyn::logic

namespace vyn {

void logic_init();

}  // namespace vyn
