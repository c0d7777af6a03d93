// Output hooks: printed output can be redirected without changing the printers. Value hooks get
// each value `print` writes; raw-text hooks get each piece of text the low-level printers write.
// Hooks are never removed and run in registration order.
#pragma once

#include <cstdint>

namespace vyn {
struct Cell;
}

namespace vyn::hooks {

using ValueHook = void (*)(const Cell* value, bool new_line);
// length is in bytes, or -1 for NUL-terminated text.
using TextHook = void (*)(const char* text, int32_t length, bool new_line);

void init();
// Adds each hook that is not null to its list.
void register_hooks(ValueHook value_hook, TextHook text_hook);
void run_print(const Cell* value, bool new_line);
void run_low_print(const char* text, int32_t length, bool new_line);

int value_hook_count();
int value_hook_capacity();
int text_hook_count();

}  // namespace vyn::hooks
