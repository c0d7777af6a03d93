// Math natives: max and min, bit shifts, hex issues, trigonometry in degrees or radians, the
// logarithms, and the constructors of pairs, points and money. max and min work component by
// component on pairs, points and tuples and through the compare action on everything else, so
// on equal values max answers its first value and min its second.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "core/float_text.hpp"
#include "core/raise.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/money.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

using scalar::number_of;

// ---- max and min ----

bool is_number(const Cell& v) { return v.is(TYPE_INTEGER) || v.is(TYPE_FLOAT) || v.is(TYPE_PERCENT); }
bool is_nan_number(const Cell& v) { return (v.is(TYPE_FLOAT) || v.is(TYPE_PERCENT)) && std::isnan(v.f64()); }
bool is_compound(const Cell& v) {
    TypeId t = v.type();
    return t == TYPE_PAIR || t == TYPE_POINT2D || t == TYPE_POINT3D || t == TYPE_TUPLE;
}

int32_t extreme(int32_t a, int32_t b, bool max) { return max ? std::max(a, b) : std::min(a, b); }

// A NaN on the right is taken over; one on the left stays, as no comparison replaces it.
float extreme(float a, float b, bool max) {
    if (std::isnan(b)) return b;
    return (max ? b > a : b < a) ? b : a;
}

std::optional<Cell> point_extreme(const Cell& point, const Cell& other, bool max) {
    TypeId type = point.type();
    float with[3];
    if (scalar::is_plain_number(other)) {
        std::fill_n(with, 3, float(number_of(other)));
    } else if (type == TYPE_POINT2D && other.is(TYPE_PAIR)) {
        with[0] = float(pair::x(other));
        with[1] = float(pair::y(other));
    } else if (other.is(type)) {
        for (int i = 0; i < point::dimension(type); ++i) with[i] = point::coordinate(other, i);
    } else {
        return std::nullopt;
    }
    float c[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < point::dimension(type); ++i) c[i] = extreme(point::coordinate(point, i), with[i], max);
    return point::make(type, c[0], c[1], c[2]);
}

// A float that no integer holds turns the pair into a point2D! first.
std::optional<Cell> pair_extreme(const Cell& pair, const Cell& other, bool max) {
    int32_t with[2];
    if (other.is(TYPE_INTEGER)) {
        with[0] = with[1] = other.i32();
    } else if (other.is(TYPE_FLOAT)) {
        if (integer::float_out_of_range(other.f64())) return point_extreme(point::from_pair(pair), other, max);
        with[0] = with[1] = int32_t(other.f64());
    } else if (other.is(TYPE_PAIR)) {
        with[0] = pair::x(other);
        with[1] = pair::y(other);
    } else if (other.is(TYPE_POINT2D)) {
        return point_extreme(point::from_pair(pair), other, max);
    } else {
        return std::nullopt;
    }
    Cell result;
    return *pair::make_at(&result, extreme(pair::x(pair), with[0], max), extreme(pair::y(pair), with[1], max));
}

// A number is truncated toward zero and clamped to a byte; tuples must have the same length.
std::optional<Cell> tuple_extreme(const Cell& tuple, const Cell& other, bool max) {
    int length = tokenizer::tuple_length(tuple);
    uint8_t with[tokenizer::TUPLE_MAX];
    if (scalar::is_plain_number(other)) {
        double n = number_of(other);
        if (integer::float_out_of_range(n)) datatype::fire_with_type(err::type_limit, TYPE_INTEGER);
        std::fill_n(with, length, uint8_t(std::clamp(int32_t(n), 0, 255)));
    } else if (other.is(TYPE_TUPLE) && tokenizer::tuple_length(other) == length) {
        for (int i = 0; i < length; ++i) with[i] = tokenizer::tuple_byte(other, i);
    } else {
        return std::nullopt;
    }
    uint8_t bytes[tokenizer::TUPLE_MAX];
    for (int i = 0; i < length; ++i)
        bytes[i] = uint8_t(extreme(int32_t(tokenizer::tuple_byte(tuple, i)), int32_t(with[i]), max));
    return tokenizer::make_tuple(bytes, length);
}

std::optional<Cell> compound_extreme(const Cell& compound, const Cell& other, bool max) {
    switch (compound.type()) {
    case TYPE_PAIR: return pair_extreme(compound, other, max);
    case TYPE_POINT2D: case TYPE_POINT3D: return point_extreme(compound, other, max);
    case TYPE_TUPLE: return tuple_extreme(compound, other, max);
    default: return std::nullopt;
    }
}

Cell max_or_min(const Cell& value1, const Cell& value2, bool max) {
    if (is_nan_number(value1) && is_number(value2)) return value1;
    if (is_nan_number(value2) && is_number(value1)) return value2;
    const Cell* first = &value1;
    const Cell* second = &value2;
    if (scalar::is_plain_number(value1) && is_compound(value2)) std::swap(first, second);
    if (is_compound(*first))
        if (std::optional<Cell> result = compound_extreme(*first, *second, max)) return *result;
    bool lesser = actions::compare(&value1, &value2, CMP_LESSER);
    if (max) return lesser ? value2 : value1;
    return lesser ? value1 : value2;
}

// ---- Shift ----

int32_t shifted(int32_t data, int32_t bits, bool left, bool logical) {
    bits = std::max(bits, 0);
    if (left) return bits >= 32 ? 0 : int32_t(uint32_t(data) << bits);
    if (logical) return bits >= 32 ? 0 : int32_t(uint32_t(data) >> bits);
    if (bits >= 32) return data < 0 ? -1 : 0;
    return data >> bits;
}

// ---- Trigonometry and logarithms ----

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = PI / 2.0;
constexpr double LN_2 = 0.6931471805599453;
constexpr double E = 2.718281828459045;
constexpr double EPSILON = 2.220446049250313e-16;

void set_float(double value) { stack::set_result(float_cell(value)); }

// The angle in radians: as given with /radians, else folded from degrees for the function.
double angle_in_radians(const int32_t* refinements, math::AngleMode mode) {
    double angle = number_of(args()[0]);
    return used(refinements, 0) ? angle : math::normalize_angle(angle, mode);
}

double flushed_to_zero(double value) { return std::fabs(value) < EPSILON ? 0.0 : value; }

double to_degrees_unless_radians(double radians, const int32_t* refinements) {
    return used(refinements, 0) ? radians : radians * 180.0 / PI;
}

template <double (*Function)(double)>
void inverse_trig(const int32_t* refinements) {
    set_float(to_degrees_unless_radians(Function(number_of(args()[0])), refinements));
}

template <double (*Function)(double)>
void of_number() {
    set_float(Function(number_of(args()[0])));
}

double log2_of(double value) { return std::log(value) / LN_2; }
double log10_of(double value) { return std::log10(value); }
double ln_of(double value) { return std::log(value); }
double exp_of(double value) { return std::pow(E, value); }
double sqrt_of(double value) { return std::sqrt(value); }
double arcsine_of(double value) { return std::asin(value); }
double arccosine_of(double value) { return std::acos(value); }
double arctangent_of(double value) { return std::atan(value); }

}  // namespace

namespace entry {

void max(int32_t, const int32_t*) { stack::set_result(max_or_min(args()[0], args()[1], true)); }
void min(int32_t, const int32_t*) { stack::set_result(max_or_min(args()[0], args()[1], false)); }

void shift(int32_t, const int32_t* refinements) {
    const Cell* a = args();
    stack::set_result(integer_cell(shifted(a[0].i32(), a[1].i32(), used(refinements, 0), used(refinements, 1))));
}

void to_hex(int32_t, const int32_t* refinements) {
    std::string digits = string::to_hex(uint32_t(args()[0].i32()), false);
    if (const Cell* size = refinement_arg(refinements, 0)) {
        int32_t length = size->i32();
        if (length <= 0) fire(err::invalid_arg, size);
        if (length < int32_t(digits.size())) digits.erase(0, digits.size() - size_t(length));
    }
    stack::set_result(issue::load(digits));
}

void sine(int32_t, const int32_t* refinements) {
    set_float(flushed_to_zero(std::sin(angle_in_radians(refinements, math::AngleMode::sine))));
}

void cosine(int32_t, const int32_t* refinements) {
    set_float(flushed_to_zero(std::cos(angle_in_radians(refinements, math::AngleMode::cosine))));
}

void tangent(int32_t, const int32_t* refinements) {
    double angle = angle_in_radians(refinements, math::AngleMode::tangent);
    if (angle == HALF_PI) return set_float(INFINITY);
    if (angle == -HALF_PI) return set_float(-INFINITY);
    set_float(std::tan(angle));
}

void arcsine(int32_t, const int32_t* refinements) { inverse_trig<arcsine_of>(refinements); }
void arccosine(int32_t, const int32_t* refinements) { inverse_trig<arccosine_of>(refinements); }
void arctangent(int32_t, const int32_t* refinements) { inverse_trig<arctangent_of>(refinements); }

void arctangent2(int32_t, const int32_t* refinements) {
    double radians = std::atan2(number_of(args()[0]), number_of(args()[1]));
    set_float(used(refinements, 0) ? radians : radians * (180.0 / PI));
}

void log_2(int32_t, const int32_t*) { of_number<log2_of>(); }
void log_10(int32_t, const int32_t*) { of_number<log10_of>(); }
void log_e(int32_t, const int32_t*) { of_number<ln_of>(); }
void exp(int32_t, const int32_t*) { of_number<exp_of>(); }
void square_root(int32_t, const int32_t*) { of_number<sqrt_of>(); }

void as_pair(int32_t, const int32_t*) {
    const Cell* a = args();
    int32_t x = a[0].is(TYPE_INTEGER) ? a[0].i32() : scalar::truncated(a[0].f64(), &a[0]);
    int32_t y = a[1].is(TYPE_INTEGER) ? a[1].i32() : scalar::truncated(a[1].f64(), &a[1]);
    Cell pair;
    stack::set_result(*pair::make_at(&pair, x, y));
}

void as_point2d(int32_t, const int32_t*) {
    const Cell* a = args();
    stack::set_result(point::make(TYPE_POINT2D, number_of(a[0]), number_of(a[1])));
}

void as_point3d(int32_t, const int32_t*) {
    const Cell* a = args();
    stack::set_result(point::make(TYPE_POINT3D, number_of(a[0]), number_of(a[1]), number_of(a[2])));
}

void as_money(int32_t, const int32_t*) {
    const Cell* a = args();
    int currency = money::currency_index(a[0]);
    if (currency < 0) fire(err::bad_denom, &a[0]);
    money::Amount amount = money::from_number(&a[1]);
    amount.currency = uint8_t(currency);
    stack::set_result(money::pack(amount));
}

}  // namespace entry
}  // namespace vyn::natives
