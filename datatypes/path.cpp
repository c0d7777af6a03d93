// Path family make, to, form and mold, and the registration of the four types. Form and mold
// walk the elements from the head with "/" between them, on one line whatever the elements'
// new-line flags; the buffer is read again for each element, since writing one may allocate.
#include "datatypes/path.hpp"

#include <string_view>

#include "core/cycles.hpp"
#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/series.hpp"

namespace vyn::path {
namespace {

bool is_size(TypeId t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }

// What each type's mold puts before and after the elements.
struct Marks {
    std::string_view before;
    std::string_view after;
};

Marks marks_of(TypeId type) {
    switch (type) {
    case TYPE_LIT_PATH: return {"'", ""};
    case TYPE_SET_PATH: return {"", ":"};
    case TYPE_GET_PATH: return {":", ""};
    default: return {"", ""};
    }
}

// Writes each element through `write` with "/" between, or the cycle marker when the path is
// inside itself; stops once a part budget is spent.
template <class Write>
int32_t write_elements(const Cell* p, Cell* out, const Cell* part, int32_t budget, bool mold, Write write) {
    if (const char* marker = cycles::detect(*p, mold)) return mold::emit(out, marker, budget);
    const Cell path = *p;
    cycles::Entry guard(path.s2);
    uint32_t head = path.s1;
    for (uint32_t i = head; i < memory::series_of(path.s2)->length(); ++i) {
        if (mold::exhausted(part, budget)) break;
        if (i > head) budget = mold::emit(out, "/", budget);
        Cell element = memory::series_of(path.s2)->cells()[i];
        element.clear_flag(FLAG_NEW_LINE);
        budget = write(&element, budget);
    }
    return budget;
}

Cell* holding_one(Cell* proto, const Cell& value, TypeId type) {
    block::vs_append(make_at(proto, 1), &value);
    proto->set_type(type);
    return proto;
}

}  // namespace

Cell* make_at(Cell* cell, int64_t size) {
    block::make_at(cell, size);
    cell->set_type(TYPE_PATH);
    return cell;
}

// A size is truncated toward zero and raised to one cell, as block! make does.
Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    Cell from = *spec;
    if (!is_size(from.type()) && !series::is_block_type(from.type())) {
        Cell wanted = datatype_cell(type);
        fire(err::bad_make_arg, &wanted, &from);
    }
    if (from.is(TYPE_PERCENT)) from.set_type(TYPE_FLOAT);
    return block::make(proto, &from, type);
}

Cell* to(Cell* proto, const Cell* spec, TypeId type) {
    Cell from = *spec;
    if (from.is(TYPE_MAP) || from.is(TYPE_OBJECT) || from.is(TYPE_TYPESET)) return holding_one(proto, from, type);
    return block::to(proto, &from, type);
}

int32_t form(const Cell* p, Cell* out, const Cell* part, int32_t budget) {
    return write_elements(p, out, part, budget, false, [&](const Cell* element, int32_t left) {
        return mold::form_value(element, out, part, left);
    });
}

int32_t mold(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    Marks marks = marks_of(p->type());
    MoldArgs inner{args.only, args.all, args.flat, 0};
    if (!marks.before.empty()) budget = mold::emit(out, marks.before, budget);
    budget = write_elements(p, out, part, budget, true, [&](const Cell* element, int32_t left) {
        return mold::mold_value(element, out, inner, part, left);
    });
    if (!marks.after.empty()) budget = mold::emit(out, marks.after, budget);
    return budget;
}

namespace {

const SlotHandler path_actions[] = {
    act<A_MAKE>(make),
    unsupported_at<A_RANDOM>(),
    act<A_TO>(to),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    unsupported_at<A_SORT>(),
};

}  // namespace

}  // namespace vyn::path

namespace vyn {

void path_init() {
    datatype::register_type(TYPE_PATH, TYPE_BLOCK, "path!", INHERIT, path::path_actions);
    // The children take every handler from path!: its mold reads their marks from the type id.
    datatype::register_type(TYPE_LIT_PATH, TYPE_PATH, "lit-path!", INHERIT);
    datatype::register_type(TYPE_SET_PATH, TYPE_PATH, "set-path!", INHERIT);
    datatype::register_type(TYPE_GET_PATH, TYPE_PATH, "get-path!", INHERIT);
}

}  // namespace vyn
