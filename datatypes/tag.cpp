// tag! handlers: the text form between its brackets; everything else comes from string!. Under a
// part limit the brackets are charged to the budget like the text between them.
#include "datatypes/tag.hpp"

#include "core/type_registry.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"

namespace vyn::tag {
namespace {

int32_t tag_form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    budget = mold::emit(out, "<", budget);
    budget = string::form(value, out, part, budget);
    return mold::emit(out, ">", budget);
}

int32_t tag_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return tag_form(value, out, part, budget);
}

const SlotHandler tag_actions[] = {
    act<A_FORM>(tag_form),
    act<A_MOLD>(tag_mold),
};

}  // namespace
}  // namespace vyn::tag

namespace vyn {

void tag_init() { register_text_type(TYPE_TAG, "tag!", tag::tag_actions); }

}  // namespace vyn
