// unset! handlers. An unset value forms as nothing and molds as "unset"; it equals only another
// unset under the equality and sorting codes, and has no order.
#include "datatypes/unset.hpp"

#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"

namespace vyn::unset {

Cell* push_last() {
    *stack::base = unset_cell();
    return stack::base;
}

Cell* push() { return stack::push(unset_cell()); }

namespace {

Cell* unset_make(Cell* proto, const Cell*, TypeId) {
    *proto = unset_cell();
    return proto;
}

int32_t unset_form(const Cell*, Cell*, const Cell*, int32_t budget) { return budget; }

int32_t unset_mold(const Cell*, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    return datatype::append_text(out, args.all ? "#(unset)" : "unset", budget);
}

const SlotHandler unset_actions[] = {
    act<A_MAKE>(unset_make),
    act<A_TO>(unset_make),
    act<A_FORM>(unset_form),
    act<A_MOLD>(unset_mold),
    act<A_COMPARE>(datatype::compare_without_order),
};

}  // namespace
}  // namespace vyn::unset

namespace vyn {

void unset_init() {
    datatype::register_type(TYPE_UNSET, TYPE_NONE_ID, "unset!", UNSUPPORTED, unset::unset_actions);
}

}  // namespace vyn
