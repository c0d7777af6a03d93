// percent! actions: its own form and mold, the rest inherited from float!. The cell holds the
// fraction; the text shows the hundredfold value with 13 significant digits and a "%".
#include "datatypes/percent.hpp"

#include "core/type_registry.hpp"
#include "datatypes/float.hpp"

namespace vyn::percent {
namespace {

int32_t percent_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    return float_::form_text(value->f64() * 100.0, float_text::TextKind::percent, out, budget);
}

int32_t percent_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return percent_form(value, out, part, budget);
}

const SlotHandler percent_actions[] = {
    act<A_FORM>(percent_form),
    act<A_MOLD>(percent_mold),
};

}  // namespace

Cell* make_at(Cell* cell, double fraction) {
    *cell = float_cell(fraction, TYPE_PERCENT);
    return cell;
}

}  // namespace vyn::percent

namespace vyn {

void percent_init() {
    datatype::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", INHERIT, percent::percent_actions);
}

}  // namespace vyn
