// Raising errors. Every raise site names its error by catalogue code (category × 100 + id) and
// passes up to three argument values; the raiser builds the error! value and unwinds to the
// nearest catching place. The raiser is installed by the evaluator at start-up.
#pragma once

#include "core/catalog.hpp"
#include "core/cell.hpp"

namespace vyn {

[[noreturn]] void fire(err::Code code, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr,
                       const Cell* arg3 = nullptr);

using ErrorRaiser = void (*)(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3);
void set_error_raiser(ErrorRaiser raiser);
// Whether the evaluator's raiser is installed: before that, a fault of the runtime's own data is
// an integrity failure of start-up, not an error a caller can take.
bool errors_ready();

// The code of the last error raised while no raiser was installed (start-up and unit tests).
err::Code last_raw_error();

}  // namespace vyn
