// triple! handlers: form and mold write "make triple! [a b c]" with all three integers, zeros
// included, so the text always shows the whole value.
#include "datatypes/triple.hpp"

#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/mold.hpp"

namespace vyn::triple {
namespace {

int32_t triple_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    const uint32_t slots[3] = {value->s1, value->s2, value->s3};
    budget = mold::emit(out, "make triple! [", budget);
    for (int i = 0; i < 3; ++i) {
        if (i > 0) budget = mold::emit(out, " ", budget);
        budget = datatype::append_text(out, integer::form_signed(int32_t(slots[i])).text(), budget);
    }
    return mold::emit(out, "]", budget);
}

int32_t triple_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return triple_form(value, out, part, budget);
}

const SlotHandler triple_actions[] = {
    act<A_FORM>(triple_form),
    act<A_MOLD>(triple_mold),
};

}  // namespace

Cell* make_at(Cell* cell, int32_t first, int32_t second, int32_t third) {
    *cell = make_cell(TYPE_TRIPLE, uint32_t(first), uint32_t(second), uint32_t(third));
    return cell;
}

}  // namespace vyn::triple

namespace vyn {

void triple_init() {
    datatype::register_type(TYPE_TRIPLE, TYPE_NONE_ID, "triple!", UNSUPPORTED, triple::triple_actions);
}

}  // namespace vyn
