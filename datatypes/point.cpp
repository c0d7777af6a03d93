// point2D! and point3D! handlers: one set serves both, each reading the dimension from the
// cell's type. Coordinates are read into doubles, worked on, and narrowed to binary32 only when
// stored, so every operation rounds once.
#include "datatypes/point.hpp"

#include <bit>
#include <cmath>
#include <utility>

#include "core/hashtable.hpp"
#include "core/murmur3.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/scalar_support.hpp"

namespace vyn::point {
namespace {

using float_::MathOp;
using scalar::number_of;

constexpr uint32_t Cell::*coordinate_slots[] = {&Cell::s1, &Cell::s2, &Cell::s3};

void set_coordinate(Cell& point, int i, float value) { point.*coordinate_slots[i] = std::bit_cast<uint32_t>(value); }

struct Coordinates {
    double c[3] = {0.0, 0.0, 0.0};
};

int dimension_of(const Cell& point) { return dimension(point.type()); }

Coordinates coordinates_of(const Cell& point) {
    Coordinates v;
    for (int i = 0; i < dimension_of(point); ++i) v.c[i] = coordinate(point, i);
    return v;
}

Coordinates broadcast(double value) { return {{value, value, value}}; }

Coordinates pair_coordinates(const Cell& pair) { return {{double(pair::x(pair)), double(pair::y(pair)), 0.0}}; }

Cell* store(Cell* cell, TypeId type, const Coordinates& v) {
    *cell = make_cell(type);
    for (int i = 0; i < dimension(type); ++i) set_coordinate(*cell, i, float(v.c[i]));
    return cell;
}

// ---- Conversion ----

// The first values of a block, one per coordinate, each an integer! or float!.
Coordinates block_coordinates(const Cell* spec, TypeId type) {
    Cell block = *spec;
    int count = dimension(type);
    if (block::vs_length(&block) < uint32_t(count)) scalar::fire_malconstruct(type, spec);
    const Cell* values = block::vs_head(&block);
    Coordinates v;
    for (int i = 0; i < count; ++i) {
        if (!scalar::is_plain_number(values[i])) scalar::fire_malconstruct(type, spec);
        v.c[i] = number_of(values[i]);
    }
    return v;
}

Coordinates converted(const Cell* spec, TypeId type) {
    switch (spec->type()) {
    case TYPE_INTEGER: case TYPE_FLOAT: return broadcast(number_of(*spec));
    case TYPE_PAIR: return pair_coordinates(*spec);
    case TYPE_POINT2D: return coordinates_of(*spec);
    case TYPE_POINT3D:
        if (type == TYPE_POINT3D) return coordinates_of(*spec);
        break;
    case TYPE_BLOCK: return block_coordinates(spec, type);
    case TYPE_STRING: return coordinates_of(scalar::loaded_as(spec, type));
    default: break;
    }
    datatype::fire_bad_to_arg(type, spec);
}

Cell* point_make(Cell* proto, const Cell* spec, TypeId type) { return store(proto, type, converted(spec, type)); }

// ---- Random ----

// Each non-zero coordinate becomes a random float below it, as float! draws one.
Cell* point_random(Cell* point, bool seed, bool secure, bool only) {
    int count = dimension_of(*point);
    if (seed) {
        random::seed(int32_t(hashtable::murmur3(&point->s1, sizeof(float) * size_t(count), hashtable::seed())));
        *point = unset_cell();
        return point;
    }
    auto draw = datatype::handler<A_RANDOM>(TYPE_FLOAT);
    for (int i = 0; i < count; ++i) {
        Cell value = float_cell(coordinate(*point, i));
        if (value.f64() != 0.0) set_coordinate(*point, i, float(draw(&value, false, secure, only)->f64()));
    }
    return point;
}

// ---- Text ----

int32_t point_form(const Cell* point, Cell* out, const Cell*, int32_t budget) {
    budget = mold::emit(out, "(", budget);
    for (int i = 0; i < dimension_of(*point); ++i) {
        if (i > 0) budget = mold::emit(out, ", ", budget);
        budget = float_::form_text(coordinate(*point, i), float_text::TextKind::coordinate, out, budget);
    }
    return mold::emit(out, ")", budget);
}

int32_t point_mold(const Cell* point, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return point_form(point, out, part, budget);
}

// ---- Paths ----

Cell* point_eval_path(Cell* point, const Cell* element, const Cell* value, const PathStep& step) {
    int i = scalar::path_coordinate(element, dimension_of(*point), step);
    if (!value) {
        *point = float_cell(coordinate(*point, i));
        return point;
    }
    if (!scalar::is_plain_number(*value)) datatype::fire_with_type(err::invalid_type, value->type());
    set_coordinate(*point, i, float(number_of(*value)));
    return point;
}

Cell* point_pick(Cell* point, int32_t, const Cell* index) {
    int i = scalar::picked_coordinate(index, point->type(), dimension_of(*point));
    *point = float_cell(coordinate(*point, i));
    return point;
}

// ---- Arithmetic ----

Coordinates right_operand(const Cell& left, const Cell* right) {
    TypeId type = right->type();
    if (type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT) return broadcast(number_of(*right));
    if (type == TYPE_PAIR && left.is(TYPE_POINT2D)) return pair_coordinates(*right);
    if (type == left.type()) return coordinates_of(*right);
    datatype::fire_with_type(err::invalid_type, type);
}

template <MathOp Op>
Cell* point_math(Cell* left, const Cell* right) {
    return point::do_math(left, right, Op);
}

template <typename Change>
Cell* each_coordinate(Cell* point, Change change) {
    for (int i = 0; i < dimension_of(*point); ++i) set_coordinate(*point, i, change(coordinate(*point, i)));
    return point;
}

Cell* point_absolute(Cell* point) {
    return each_coordinate(point, [](float c) { return std::fabs(c); });
}

// 0.0 minus each coordinate, so that no coordinate becomes -0.0.
Cell* point_negate(Cell* point) {
    return each_coordinate(point, [](float c) { return 0.0f - c; });
}

// Swaps the first and the last coordinate.
Cell* point_reverse(Cell* point, const Cell*, const Cell*) {
    uint32_t Cell::*last = coordinate_slots[dimension_of(*point) - 1];
    std::swap(point->s1, point->*last);
    return point;
}

// ---- Comparison ----

bool all_coordinates(const Cell* a, const Cell* b, bool (*same)(float, float)) {
    for (int i = 0; i < dimension_of(*a); ++i)
        if (!same(coordinate(*a, i), coordinate(*b, i))) return false;
    return true;
}

bool identical_bits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }
bool exactly_equal(float a, float b) { return a == b; }

int sign_of_difference(float a, float b) {
    double d = double(a) - double(b);
    return (d > 0.0) - (d < 0.0);
}

// The first coordinate that is not almost equal decides; the last one decides otherwise.
int order(const Cell* a, const Cell* b) {
    int last = dimension_of(*a) - 1;
    int i = 0;
    while (i < last && float_::almost_equal32(coordinate(*a, i), coordinate(*b, i))) ++i;
    return sign_of_difference(coordinate(*a, i), coordinate(*b, i));
}

// ---- Rounding ----

// The scale of coordinate i: a coordinate-holding scale gives its matching coordinate (zero,
// which rounds nothing, past its last one); any other scale serves every coordinate. Integers
// become floats so that no rounded coordinate has to fit an integer!.
Cell coordinate_scale(const Cell& to, int i) {
    switch (to.type()) {
    case TYPE_PAIR: return float_cell(i < 2 ? pair_coordinates(to).c[i] : 0.0);
    case TYPE_POINT2D: case TYPE_POINT3D: return float_cell(i < dimension_of(to) ? coordinate(to, i) : 0.0);
    case TYPE_INTEGER: return float_cell(to.i32());
    default: return to;
    }
}

Cell* point_round(Cell* point, const RoundArgs& args) {
    if (args.to && args.to->is(TYPE_MONEY)) datatype::fire_not_related("round", TYPE_MONEY);
    for (int i = 0; i < dimension_of(*point); ++i) {
        Cell scale = args.to ? coordinate_scale(*args.to, i) : none_cell();
        RoundArgs how = args;
        how.to = args.to ? &scale : nullptr;
        Cell value = float_cell(coordinate(*point, i));
        set_coordinate(*point, i, float(number_of(*float_::round(&value, how))));
    }
    return point;
}

const SlotHandler point_actions[] = {
    act<A_MAKE>(point_make),
    act<A_RANDOM>(point_random),
    act<A_TO>(point_make),
    act<A_FORM>(point_form),
    act<A_MOLD>(point_mold),
    act<A_EVAL_PATH>(point_eval_path),
    act<A_COMPARE>(compare),
    act<A_ABSOLUTE>(point_absolute),
    act<A_ADD>(point_math<MathOp::add>),
    act<A_DIVIDE>(point_math<MathOp::divide>),
    act<A_MULTIPLY>(point_math<MathOp::multiply>),
    act<A_NEGATE>(point_negate),
    act<A_REMAINDER>(point_math<MathOp::remainder>),
    act<A_ROUND>(point_round),
    act<A_SUBTRACT>(point_math<MathOp::subtract>),
    act<A_PICK>(point_pick),
    act<A_REVERSE>(point_reverse),
};

}  // namespace

float coordinate(const Cell& point, int i) { return std::bit_cast<float>(point.*coordinate_slots[i]); }

Cell from_pair(const Cell& pair) {
    Cell point;
    store(&point, TYPE_POINT2D, pair_coordinates(pair));
    return point;
}

Cell make(TypeId type, double x, double y, double z) {
    Cell point;
    store(&point, type, {{x, y, z}});
    return point;
}

Cell* do_math(Cell* left, const Cell* right, MathOp op) {
    Coordinates r = right_operand(*left, right);
    Coordinates v = coordinates_of(*left);
    for (int i = 0; i < dimension_of(*left); ++i) v.c[i] = float_::do_op(v.c[i], r.c[i], op);
    return store(left, left->type(), v);
}

// A pair on the right of a point2D! compares as the point2D! of its coordinates.
int compare(const Cell* a, const Cell* b, int op) {
    Cell right = a->is(TYPE_POINT2D) && b->is(TYPE_PAIR) ? from_pair(*b) : *b;
    if (!right.is(a->type())) return -2;
    switch (op) {
    case CMP_SAME: return all_coordinates(a, &right, identical_bits) ? 0 : 1;
    case CMP_STRICT_EQUAL: case CMP_FIND: return all_coordinates(a, &right, exactly_equal) ? 0 : 1;
    case CMP_LESSER: case CMP_LESSER_OR_EQUAL: case CMP_GREATER: case CMP_GREATER_OR_EQUAL:
    case CMP_SORT: case CMP_SORT_CASE:
        return order(a, &right);
    default: return all_coordinates(a, &right, float_::almost_equal32) ? 0 : 1;
    }
}

}  // namespace vyn::point

namespace vyn {

void point2d_init() {
    datatype::register_type(TYPE_POINT2D, TYPE_NONE_ID, "point2D!", UNSUPPORTED, point::point_actions);
}
void point3d_init() {
    datatype::register_type(TYPE_POINT3D, TYPE_NONE_ID, "point3D!", UNSUPPORTED, point::point_actions);
}

}  // namespace vyn
