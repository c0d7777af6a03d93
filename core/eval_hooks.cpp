// Evaluation hooks: the installed interpreter entry points, called through one table. Evaluating
// before the interpreter installed them is a fault of start-up, not of the code evaluated.
#include "core/eval_hooks.hpp"

#include "core/fatal.hpp"

namespace vyn::eval_hooks {
namespace {

Hooks installed{};

}  // namespace

void install(const Hooks& hooks) { installed = hooks; }
void uninstall() { installed = Hooks{}; }

void eval(const Cell& block, bool keep_result) {
    VYN_REQUIRE(installed.eval);
    installed.eval(block, keep_result);
}

void eval_function(const Cell& function, uint32_t owner_context) {
    VYN_REQUIRE(installed.eval_function);
    installed.eval_function(function, owner_context);
}

Cell current_code() { return installed.current_code ? *installed.current_code : none_cell(); }

}  // namespace vyn::eval_hooks
