// Evaluation hooks: how the floors below the interpreter evaluate a spec block, call a handler
// function and learn the code being evaluated (for an error's `near`). The interpreter installs
// them when it starts; until then nothing is evaluated and the current code is none.
#pragma once

#include <cstdint>

#include "core/cell.hpp"

namespace vyn::eval_hooks {

struct Hooks {
    // Evaluates a whole block; with keep_result its value goes to the caller's result cell.
    void (*eval)(const Cell& block, bool keep_result);
    // Runs a function! whose arguments are already in place from the current base.
    void (*eval_function)(const Cell& function, uint32_t owner_context);
    // The block being evaluated, its head at the current expression.
    const Cell* current_code;
};

void install(const Hooks& hooks);
void uninstall();

void eval(const Cell& block, bool keep_result);
void eval_function(const Cell& function, uint32_t owner_context);
Cell current_code();

}  // namespace vyn::eval_hooks
