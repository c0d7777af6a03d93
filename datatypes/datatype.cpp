// datatype! handlers: a datatype forms as its name without the final "!" and molds as the full
// name. Two datatypes are equal exactly when they denote the same type id; they have no order.
#include "datatypes/datatype.hpp"

#include <string>

#include "core/raise.hpp"
#include "core/type_registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"

namespace vyn::datatype {

int32_t append_text(Cell* out, std::string_view text, int32_t budget) {
    string::concatenate_literal(out, text);
    return budget - int32_t(text.size());
}

bool equality_or_sort_op(int op) {
    switch (op) {
    case CMP_EQUAL: case CMP_NOT_EQUAL: case CMP_STRICT_EQUAL: case CMP_SORT: case CMP_SORT_CASE:
    case CMP_SAME: case CMP_FIND:
        return true;
    default:
        return false;
    }
}

int compare_without_order(const Cell* a, const Cell* b, int op) {
    return b->type() == a->type() && equality_or_sort_op(op) ? 0 : -2;
}

Cell word_arg(const char* name) { return word::load(name); }

void fire_expect_arg(const char* action, const Cell* value, const char* argument) {
    Cell action_word = word_arg(action);
    Cell type = datatype_cell(value->type());
    Cell argument_word = word_arg(argument);
    fire(err::expect_arg, &action_word, &type, &argument_word);
}

void fire_with_type(err::Code code, TypeId type) {
    Cell datatype = datatype_cell(type);
    fire(code, &datatype);
}

void fire_bad_to_arg(TypeId target, const Cell* spec) {
    Cell datatype = datatype_cell(target);
    fire(err::bad_to_arg, &datatype, spec);
}

void fire_not_related(const char* action, TypeId type) {
    Cell word = word_arg(action);
    Cell datatype = datatype_cell(type);
    fire(err::not_related, &word, &datatype);
}

namespace {

TypeId denoted(const Cell* value) { return TypeId(value->s1); }

int32_t datatype_form(const Cell* value, Cell* out, const Cell*, int32_t budget) {
    TypeId type = denoted(value);
    return append_text(out, std::string_view(name_of(type), size_t(name_length(type))), budget);
}

int32_t datatype_mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell*, int32_t budget) {
    std::string_view name = name_of(denoted(value));
    if (!args.all) return append_text(out, name, budget);
    return append_text(out, "#(" + std::string(name) + ")", budget);
}

int datatype_compare(const Cell* a, const Cell* b, int op) {
    switch (op) {
    case CMP_EQUAL: case CMP_NOT_EQUAL: case CMP_STRICT_EQUAL: case CMP_SAME: case CMP_FIND:
        return b->is(TYPE_DATATYPE) && denoted(a) == denoted(b) ? 0 : 1;
    default:
        return -2;
    }
}

const SlotHandler datatype_actions[] = {
    act<A_FORM>(datatype_form),
    act<A_MOLD>(datatype_mold),
    act<A_COMPARE>(datatype_compare),
};

}  // namespace
}  // namespace vyn::datatype

namespace vyn {

void datatype_init() {
    datatype::register_type(TYPE_DATATYPE, TYPE_NONE_ID, "datatype!", UNSUPPORTED,
                            datatype::datatype_actions);
}

}  // namespace vyn
