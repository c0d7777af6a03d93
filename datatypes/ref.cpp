// ref! handlers: the molded form with its "@"; form and the other text actions come from string!.
#include "datatypes/ref.hpp"

#include "core/type_registry.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"

namespace vyn::ref {
namespace {

int32_t ref_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return string::form(value, out, part, mold::emit(out, "@", budget));
}

const SlotHandler ref_actions[] = {
    act<A_MOLD>(ref_mold),
    unsupported_at<A_EVAL_PATH>(),
    unsupported_at<A_APPEND>(),
    unsupported_at<A_PUT>(),
};

}  // namespace
}  // namespace vyn::ref

namespace vyn {

void ref_init() { register_text_type(TYPE_REF, "ref!", ref::ref_actions); }

}  // namespace vyn
