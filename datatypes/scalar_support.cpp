// Errors, conversions and coordinate selection shared by the types that hold their numbers in
// the cell. Nothing here allocates except loading a text, whose argument the caller keeps rooted.
#include "datatypes/scalar_support.hpp"

#include <cmath>

#include "core/raise.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::scalar {

void fire_malconstruct(TypeId target, const Cell* spec) {
    Cell datatype = datatype_cell(target);
    fire(err::malconstruct, &datatype, spec);
}

namespace {

ValueReader value_reader = nullptr;

}  // namespace

void set_value_reader(ValueReader reader) { value_reader = reader; }

Cell loaded_as(const Cell* text, TypeId wanted) {
    Cell value = unset_cell();
    if (value_reader) value_reader(*text, &value);
    if (!value.is(wanted)) datatype::fire_bad_to_arg(wanted, text);
    return value;
}

bool is_plain_number(const Cell& value) { return value.is(TYPE_INTEGER) || value.is(TYPE_FLOAT); }

double number_of(const Cell& value) {
    if (value.is(TYPE_INTEGER)) return value.i32();
    if (value.is(TYPE_CHAR)) return value.s2;
    return value.f64();
}

int32_t truncated(double value, const Cell* source) {
    if (!std::isfinite(value)) fire(err::invalid_arg, source);
    if (!(value > -2147483649.0 && value < 2147483648.0)) datatype::fire_with_type(err::type_limit, TYPE_INTEGER);
    return int32_t(value);
}

int coordinate_index(const Cell* element, int count) {
    if (element->is(TYPE_INTEGER)) {
        int32_t n = element->i32();
        return n >= 1 && n <= count ? n - 1 : -1;
    }
    if (!word_names::field_word(element->type())) return -1;
    const uint32_t names[] = {words::sym::x, words::sym::y, words::sym::z};
    for (int i = 0; i < count; ++i)
        if (word_names::is(*element, names[i])) return i;
    return -1;
}

int path_coordinate(const Cell* element, int count, const PathStep& step) {
    int index = coordinate_index(element, count);
    if (index < 0) {
        Cell path = step.path ? *step.path : none_cell();
        fire(err::invalid_path, &path, element);
    }
    return index;
}

int picked_coordinate(const Cell* index, TypeId type, int count) {
    int coordinate = coordinate_index(index, count);
    if (coordinate >= 0) return coordinate;
    if (!word_names::field_word(index->type())) fire(err::out_of_range, index);
    Cell datatype = datatype_cell(type);
    fire(err::cannot_use, &words::pick, &datatype);
}

}  // namespace vyn::scalar
