// none! handlers. none forms and molds as "none", equals only none, and answers the series
// actions that make sense on "nothing" (clear, find, remove, select, take) with none; its
// length is none too.
#include "datatypes/none.hpp"

#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"

namespace vyn::none {

Cell* push_last() {
    *stack::base = none_cell();
    return stack::base;
}

Cell* push() { return stack::push(none_cell()); }

namespace {

Cell* none_make(Cell* proto, const Cell*, TypeId) {
    *proto = none_cell();
    return proto;
}

int32_t none_form(const Cell*, Cell* out, const Cell*, int32_t budget) {
    return datatype::append_text(out, "none", budget);
}

int32_t none_mold(const Cell*, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    return datatype::append_text(out, args.all ? "#(none)" : "none", budget);
}

// The series actions that answer none whatever their other arguments.
template <typename... Ignored>
Cell* stays_none(Cell* value, Ignored...) {
    *value = none_cell();
    return value;
}

// The actions layer turns -1 into none.
int32_t none_length(const Cell*) { return -1; }

const SlotHandler none_actions[] = {
    act<A_MAKE>(none_make),
    act<A_TO>(none_make),
    act<A_FORM>(none_form),
    act<A_MOLD>(none_mold),
    act<A_COMPARE>(datatype::compare_without_order),
    act<A_CLEAR>(stays_none<>),
    act<A_FIND>(stays_none<const Cell*, const FindArgs&>),
    act<A_LENGTH_Q>(none_length),
    act<A_REMOVE>(stays_none<const Cell*, const Cell*>),
    act<A_SELECT>(stays_none<const Cell*, const FindArgs&>),
    act<A_TAKE>(stays_none<const Cell*, bool, bool>),
};

}  // namespace
}  // namespace vyn::none

namespace vyn {

void none_init() {
    datatype::register_type(TYPE_NONE, TYPE_NONE_ID, "none!", UNSUPPORTED, none::none_actions);
}

}  // namespace vyn
