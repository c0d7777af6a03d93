// Until the evaluator installs its raiser, an error unwinds with its code alone: only start-up
// code and unit tests of the lowest layers raise before that.
#include "core/raise.hpp"

#include "core/unwind.hpp"

namespace vyn {
namespace {

err::Code raw_error_code = err::Code(0);

void raise_raw(err::Code code, const Cell*, const Cell*, const Cell*) {
    raw_error_code = code;
    throw Unwind{EXIT_ERROR};
}

ErrorRaiser error_raiser = raise_raw;

}  // namespace

void fire(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    error_raiser(code, arg1, arg2, arg3);
    throw Unwind{EXIT_ERROR};  // a raiser always unwinds; this keeps the contract visible
}

void set_error_raiser(ErrorRaiser raiser) { error_raiser = raiser ? raiser : raise_raw; }

bool errors_ready() { return error_raiser != raise_raw; }

err::Code last_raw_error() { return raw_error_code; }

}  // namespace vyn
