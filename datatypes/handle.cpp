// handle! handlers: the value as eight hexadecimal digits and "h", molded with /all inside
// "#[handle! ...]" with the name of its kind, and ordered by the value as a signed number.
#include "datatypes/handle.hpp"

#include "core/type_registry.hpp"
#include "core/externals.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/string.hpp"
#include "core/stack.hpp"

namespace vyn::handle {

Cell* make_at(Cell* cell, uint32_t value, int kind) {
    *cell = make_cell(TYPE_HANDLE, uint32_t(kind), value, uint32_t(-1));
    return cell;
}

Cell* box(uint32_t value, int kind) { return make_at(stack::base, value, kind); }

Cell* make_in(Cell* block, uint32_t value, int kind) {
    Cell h;
    make_at(&h, value, kind);
    return block::vs_append(block, &h);
}

Cell* push(uint32_t value, int kind) { return make_at(stack::push(unset_cell()), value, kind); }

Cell* push_null() { return push(0, 0); }

namespace {

int32_t form(const Cell* h, Cell* out, const Cell*, int32_t budget) {
    budget = datatype::append_text(out, string::to_hex(value_of(*h), false), budget);
    return datatype::append_text(out, "h", budget);
}

int32_t mold(const Cell* h, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (!args.all) return datatype::append_text(out, "handle!", budget);
    budget = datatype::append_text(out, "#[handle! ", budget);
    budget = form(h, out, part, budget);
    const char* kind = kind_of(*h) > 0 ? externals::kind_name(kind_of(*h)) : nullptr;
    if (kind) {
        budget = datatype::append_text(out, " ", budget);
        budget = datatype::append_text(out, kind, budget);
    }
    return datatype::append_text(out, "]", budget);
}

int compare(const Cell* a, const Cell* b, int) {
    if (!b->is(TYPE_HANDLE)) return -2;
    auto x = int32_t(value_of(*a));
    auto y = int32_t(value_of(*b));
    return (x > y) - (x < y);
}

const SlotHandler handle_actions[] = {
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_COMPARE>(compare),
};

}  // namespace
}  // namespace vyn::handle

namespace vyn {

void handle_init() {
    datatype::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!", UNSUPPORTED, handle::handle_actions);
}

}  // namespace vyn
