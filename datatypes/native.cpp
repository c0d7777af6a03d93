// native!, action! and op! handlers. Two built-ins are the same exactly when they use the same
// table slot; an op! also compares the type it was made from, since native and action slots are
// numbered alike. An op! made from a function keeps a copy of it in the function's extra block.
#include "datatypes/native.hpp"

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/function.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::native {
namespace {

using memory::series_of;

bool is_function_source(TypeId t) { return t == TYPE_FUNCTION || t == TYPE_ROUTINE; }

bool can_make_op(TypeId t) { return t == TYPE_NATIVE || t == TYPE_ACTION || is_function_source(t); }

int32_t last_slot(TypeId type) { return type == TYPE_NATIVE ? NATIVE_SLOTS : ACTION_COUNT; }

// A refinement ends an operator spec: /local and /extern may follow the two arguments.
bool ends_operator_spec(const Cell& refinement, int count) {
    return count == 2 && (word_names::is(refinement, words::local.s2) || word_names::is(refinement, words::ref::extern_.s2));
}

Cell spec_of(const Cell& value) { return make_cell(TYPE_BLOCK, 0, value.s2, 0); }

int32_t mold_spec(const Cell& value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    const Cell spec = spec_of(value);
    return block::mold(&spec, out, MoldArgs{false, args.all, args.flat, args.indent}, part, budget);
}

int32_t form_native(const Cell*, Cell* out, const Cell*, int32_t budget) { return mold::emit(out, "?native?", budget); }
int32_t form_action(const Cell*, Cell* out, const Cell*, int32_t budget) { return mold::emit(out, "?action?", budget); }
int32_t form_op(const Cell*, Cell* out, const Cell*, int32_t budget) { return mold::emit(out, "?op?", budget); }

int32_t mold_built_in(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    budget = mold::emit(out, value->is(TYPE_NATIVE) ? "make native! [" : "make action! [", budget);
    budget = mold_spec(*value, out, args, part, budget);
    return mold::emit(out, "]", budget);
}

int32_t mold_op(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    const Cell op = *value;
    bool function_source = op_source(op) == TYPE_FUNCTION;
    budget = mold::emit(out, "make op! ", budget);
    budget = mold::emit(out, function_source ? "func " : "[", budget);
    Cell* base = stack::base;
    Cell* top = stack::top;
    stack::mark(stack::FRAME_NATIVE, stack::anon_symbol);
    budget = mold_spec(op, out, args, part, budget);
    stack::unwind();
    stack::base = base;
    stack::top = top;
    if (!function_source) return mold::emit(out, "]", budget);
    const Cell body = function::extra_of(op)[function::EXTRA_BODY];
    return mold::mold_value(&body, out, MoldArgs{false, args.all, args.flat, args.indent}, part, budget);
}

int order(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

}  // namespace

Cell* push(TypeId type, int32_t slot, const Cell& spec) {
    const Cell s = spec;
    Cell* mark = stack::top;
    NodeId extra = memory::alloc_unset_cells(2);
    series_of(extra)->tail = 2 * sizeof(Cell);
    stack::push(make_cell(TYPE_BLOCK, 0, extra, 0));
    NodeId arguments = context::make_from_spec(s, true, false, context::Kind::function);
    series_of(extra)->cells()[0] = context::context_cell(arguments);
    stack::top = mark;
    return stack::push(make_cell(type, uint32_t(slot), s.s2, extra));
}

bool valid_op_spec(NodeId spec) {
    Series* s = series_of(spec);
    int count = 0;
    bool plain_seen = false;
    for (const Cell* c = s->cells(); c < s->cell_tail(); ++c) {
        switch (c->type()) {
        case TYPE_WORD:
            ++count;
            plain_seen = true;
            break;
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
            if (!plain_seen) return false;
            ++count;
            break;
        case TYPE_SET_WORD: return count == 2;
        case TYPE_REFINEMENT: return ends_operator_spec(*c, count);
        default: break;
        }
    }
    return count == 2;
}

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    const Cell prototype = *proto;
    const Cell s = *spec;
    bool well_formed = s.is(TYPE_BLOCK) && block::vs_length(&s) == 2;
    const Cell* items = well_formed ? block::vs_abs_at(&s, s.s1) : nullptr;
    well_formed = well_formed && items[0].is(TYPE_BLOCK) && items[1].is(TYPE_INTEGER) &&
                  items[1].i32() >= 1 && items[1].i32() <= last_slot(type);
    if (!well_formed) fire(err::bad_make_arg, &prototype, &s);
    const Cell function_spec = items[0];
    int32_t slot = items[1].i32();
    Cell* mark = stack::top;
    *proto = *push(type, slot, function_spec);
    stack::top = mark;
    return proto;
}

Cell* make_op(Cell* proto, const Cell* source, TypeId) {
    const Cell from = *source;
    if (!can_make_op(from.type())) {
        Cell type = datatype_cell(from.type());
        fire(err::invalid_type, &type);
    }
    if (!valid_op_spec(from.s2)) fire(err::bad_op_spec);
    Cell op = from;
    op.header = TYPE_OP | uint32_t(from.type()) << OP_SOURCE_SHIFT;
    if (is_function_source(from.type())) function::extra_of(from)[function::EXTRA_OP] = from;
    *proto = op;
    return proto;
}

Cell* reflect(Cell* value, const Cell* field) {
    const Cell v = *value;
    const Cell name = *field;
    if (word_names::is(name, words::sym::spec)) *value = spec_of(v);
    else if (!word_names::is(name, words::sym::body)) fire(err::not_done);
    else if (v.is(TYPE_OP) && is_function_source(op_source(v))) *value = function::extra_of(v)[function::EXTRA_BODY];
    else *value = integer_cell(int32_t(v.s1));
    return value;
}

int compare(const Cell* a, const Cell* b, int op) {
    if (a->type() != b->type() || !datatype::equality_or_sort_op(op)) return -2;
    if (a->is(TYPE_OP) && op_source(*a) != op_source(*b)) return order(op_source(*a), op_source(*b));
    return order(int32_t(a->s1), int32_t(b->s1));
}

namespace {

const SlotHandler native_actions[] = {
    act<A_MAKE>(make),
    act<A_REFLECT>(reflect),
    act<A_FORM>(form_native),
    act<A_MOLD>(mold_built_in),
    act<A_COMPARE>(compare),
};

const SlotHandler action_actions[] = {
    act<A_MAKE>(make),
    inherited_at<A_REFLECT>(),
    act<A_FORM>(form_action),
    act<A_MOLD>(mold_built_in),
    act<A_COMPARE>(compare),
};

const SlotHandler op_actions[] = {
    act<A_MAKE>(make_op),
    inherited_at<A_REFLECT>(),
    act<A_FORM>(form_op),
    act<A_MOLD>(mold_op),
    act<A_COMPARE>(compare),
};

}  // namespace
}  // namespace vyn::native

namespace vyn {

void native_init() {
    datatype::register_type(TYPE_NATIVE, TYPE_NONE_ID, "native!", UNSUPPORTED, native::native_actions);
}

void action_init() {
    datatype::register_type(TYPE_ACTION, TYPE_NATIVE, "action!", UNSUPPORTED, native::action_actions);
}

void op_init() { datatype::register_type(TYPE_OP, TYPE_NATIVE, "op!", UNSUPPORTED, native::op_actions); }

}  // namespace vyn
