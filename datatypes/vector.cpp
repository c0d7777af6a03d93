// vector! handlers: construction, text, comparison, element-wise arithmetic and insertion; the
// rest of the row is string!'s. Elements are read and written only through the helpers at the
// top, which know the unit and the element type. A handler that writes values checks every one
// before the buffer changes, so a refused value leaves the vector as it was; buffers are re-read
// through their node after each allocation.
#include "datatypes/vector.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/memory.hpp"
#include "datatypes/ownership.hpp"
#include "core/rooted.hpp"
#include "datatypes/words.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word_names.hpp"

namespace vyn::vector {

using ownership::Change;

namespace {

int32_t read_int(const uint8_t* p, int unit, TypeId element) {
    bool chars = element == TYPE_CHAR;
    if (unit == 1) return chars ? int32_t(*p) : int32_t(int8_t(*p));
    if (unit == 2) {
        uint16_t h;
        std::memcpy(&h, p, 2);
        return chars ? int32_t(h) : int32_t(int16_t(h));
    }
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

double read_double(const uint8_t* p, int unit) {
    if (unit == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return double(f);
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

// The low bytes of the value: elements narrower than 32 bits keep what fits.
void write_int(uint8_t* p, int unit, int32_t v) { std::memcpy(p, &v, size_t(unit)); }

// A double beyond the float range becomes an infinity rather than an undefined conversion.
float to_float32(double d) {
    if (std::isfinite(d) && std::fabs(d) > double(FLT_MAX)) return d > 0 ? HUGE_VALF : -HUGE_VALF;
    return float(d);
}

void write_double(uint8_t* p, int unit, double d) {
    if (unit == 4) {
        float f = to_float32(d);
        std::memcpy(p, &f, 4);
    } else {
        std::memcpy(p, &d, 8);
    }
}

Series* buffer_of(const Cell* v) { return memory::series_of(v->s2); }
int unit_of(const Cell* v) { return buffer_of(v)->unit(); }
uint8_t* element_address(const Cell* v, uint32_t index) { return series::unit_at(v, index); }

// Elements from the head to the tail; a head left beyond the tail counts as the tail.
uint32_t rest_length(const Cell* v) {
    Cell probe = *v;
    return series::vs_length(&probe);
}
uint32_t clamped_head(const Cell* v) { return std::min(v->s1, series::vs_abs_length(v)); }

// ---- Element types and sizes ----

bool allowed_bits(TypeId element, int32_t bits) {
    switch (element) {
    case TYPE_INTEGER: case TYPE_CHAR: return bits == 8 || bits == 16 || bits == 32;
    case TYPE_FLOAT: return bits == 32 || bits == 64;
    case TYPE_PERCENT: return bits == 64;
    default: return false;
    }
}

int default_unit(TypeId element) { return holds_floats(element) ? 8 : 4; }

bool is_element_type(TypeId type) {
    return type == TYPE_INTEGER || type == TYPE_CHAR || type == TYPE_FLOAT || type == TYPE_PERCENT;
}

// The element type a spec word names, or TYPE_NONE_ID.
TypeId named_element(const Cell& word) {
    if (!word.is(TYPE_WORD)) return TYPE_NONE_ID;
    if (word_names::is(word, words::sym::integer_type)) return TYPE_INTEGER;
    if (word_names::is(word, words::sym::char_type)) return TYPE_CHAR;
    if (word_names::is(word, words::sym::float_type)) return TYPE_FLOAT;
    if (word_names::is(word, words::sym::percent_type)) return TYPE_PERCENT;
    return TYPE_NONE_ID;
}

}  // namespace

Cell* make_at(Cell* cell, uint32_t count, TypeId element, int unit) {
    uint64_t bytes = uint64_t(count) * uint64_t(unit);
    if (bytes > SERIES_MAX_CAPACITY) fire(err::no_memory);
    *cell = unset_cell();  // nothing half made is seen by a collection
    NodeId node = memory::alloc_series(count ? count : 1, unit, 0);
    Series* b = memory::series_of(node);
    std::memset(b->data(), 0, bytes);
    b->tail = b->head + uint32_t(bytes);
    *cell = make_cell(TYPE_VECTOR, 0, node, element);
    return cell;
}

Cell get_value(const uint8_t* p, int unit, TypeId element) {
    if (holds_floats(element)) return float_cell(read_double(p, unit), element);
    return make_cell(element, 0, uint32_t(read_int(p, unit, element)));
}

bool accepts(TypeId element, const Cell& value) {
    if (holds_floats(element)) return value.is(TYPE_FLOAT) || value.is(TYPE_PERCENT);
    return value.is(TYPE_INTEGER) || value.is(TYPE_CHAR);
}

void set_value(uint8_t* p, int unit, const Cell& value) {
    if (value.is(TYPE_FLOAT) || value.is(TYPE_PERCENT)) write_double(p, unit, value.f64());
    else write_int(p, unit, value.i32());
}

int compare_elements(const uint8_t* a, const uint8_t* b, int unit, TypeId element) {
    if (holds_floats(element)) {
        double x = read_double(a, unit);
        double y = read_double(b, unit);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    int32_t x = read_int(a, unit, element);
    int32_t y = read_int(b, unit, element);
    return x < y ? -1 : x > y ? 1 : 0;
}

Cell* to_block(const Cell* v, Cell* out) {
    Cell source = *v;
    uint32_t n = rest_length(&source);
    Rooted block;
    block::make_at(block.get(), n);
    uint32_t head = clamped_head(&source);
    for (uint32_t i = 0; i < n; ++i) {
        Cell value = get_value(element_address(&source, head + i), unit_of(&source), element_of(&source));
        block::vs_append(block.get(), &value);
    }
    *out = *block;
    return out;
}

namespace {

// ---- Writing values: make, append, insert and change ----

[[noreturn]] void refuse_value(const Cell& value) { datatype::fire_with_type(err::invalid_type, value.type()); }

bool is_list(TypeId type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

// What a write takes: the values of a list from its head (at most `limit` of them), or one
// value, `times` over. An owner told of the write runs code that may change the list, so the
// source is taken again after it was told.
struct Source {
    Cell value;
    uint32_t count;
    uint32_t times;

    Cell at(uint32_t k) const { return is_list(value.type()) ? *block::vs_abs_at(&value, value.s1 + k) : value; }
    uint64_t total() const { return uint64_t(count) * times; }
};

// The values a write takes, each checked against the element type before anything changes.
Source source_of(const Cell* v, const Cell* value, int32_t limit, int32_t times) {
    Source s{*value, 1, uint32_t(std::max(times, 0))};
    if (is_list(value->type())) {
        s.count = block::vs_length(value);
        if (limit >= 0) s.count = std::min(s.count, uint32_t(limit));
    }
    for (uint32_t k = 0; k < s.count; ++k) {
        Cell item = s.at(k);
        if (!accepts(element_of(v), item)) refuse_value(item);
    }
    return s;
}

// Writes the source's values at element `at` in place of `replaced` elements, moving the rest;
// gives the index after the last value written.
uint32_t write_values(Cell* v, uint32_t at, uint32_t replaced, const Source& s) {
    int unit = unit_of(v);
    uint32_t length = series::vs_abs_length(v);
    uint64_t total = s.total();
    uint64_t new_length = uint64_t(length) - replaced + total;
    if (new_length * uint64_t(unit) > SERIES_MAX_CAPACITY) fire(err::no_memory);
    if (total > replaced) memory::ensure_room(v->s2, (total - replaced) * uint64_t(unit));
    Series* b = buffer_of(v);
    uint8_t* gap = element_address(v, at);
    std::memmove(gap + total * uint64_t(unit), gap + uint64_t(replaced) * uint64_t(unit),
                 size_t(length - at - replaced) * size_t(unit));
    b->tail = b->head + uint32_t(new_length * uint64_t(unit));
    uint8_t* p = gap;
    for (uint32_t r = 0; r < s.times; ++r)
        for (uint32_t k = 0; k < s.count; ++k, p += unit) set_value(p, unit, s.at(k));
    return at + uint32_t(total);
}

int32_t dup_count(const Cell* dup) {
    if (!dup) return 1;
    if (!dup->is(TYPE_INTEGER)) fire(err::invalid_arg, dup);
    return dup->i32();
}

int32_t told(uint64_t count) { return int32_t(std::min<uint64_t>(count, INT32_MAX)); }

// The source of an append or insert at `index`, taken again when the owner was told of it.
Source told_source(Cell* v, const Cell* value, const Cell* part, const Cell* dup, Change change, uint32_t index) {
    int32_t limit = part ? part->i32() : -1;
    Source s = source_of(v, value, limit, dup_count(dup));
    if (ownership::before(*v, change, value, int32_t(index), told(s.total())))
        s = source_of(v, value, limit, dup_count(dup));
    return s;
}

Cell* append(Cell* v, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Source s = told_source(v, value, part, dup, Change::append, series::vs_abs_length(v));
    uint32_t start = series::vs_abs_length(v);
    write_values(v, start, 0, s);
    ownership::after(*v, Change::append, value, int32_t(start), told(s.total()));
    v->s1 = 0;
    return v;
}

Cell* insert(Cell* v, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Source s = told_source(v, value, part, dup, Change::insert, clamped_head(v));
    uint32_t head = clamped_head(v);
    v->s1 = write_values(v, head, 0, s);
    ownership::after(*v, Change::insert, value, int32_t(head), told(s.total()));
    return v;
}

// A part names how many elements are replaced; without one, as many as are written.
Cell* change(Cell* v, const Cell* value, const Cell* part, bool, const Cell* dup) {
    Source s = source_of(v, value, -1, dup_count(dup));
    auto replaced = [&] {
        uint64_t wanted = part ? uint64_t(std::max(part->i32(), 0)) : s.total();
        return uint32_t(std::min<uint64_t>(wanted, rest_length(v)));
    };
    if (ownership::before(*v, Change::change, value, int32_t(clamped_head(v)), int32_t(replaced())))
        s = source_of(v, value, -1, dup_count(dup));
    uint32_t head = clamped_head(v);
    v->s1 = write_values(v, head, replaced(), s);
    ownership::after(*v, Change::change, value, int32_t(head), told(s.total()));
    return v;
}

// ---- make ----

[[noreturn]] void bad_make_arg(const Cell* spec) {
    Cell type = datatype_cell(TYPE_VECTOR);
    fire(err::bad_make_arg, &type, spec);
}

int32_t count_of(const Cell* spec) {
    int32_t n = spec->is(TYPE_INTEGER) ? spec->i32() : scalar::truncated(spec->f64(), spec);
    if (n < 0) fire(err::out_of_range, spec);
    return n;
}

// A vector of the values, stored as the element type at its unit.
Cell* make_filled(Cell* proto, const Cell& values, TypeId element, int unit) {
    Rooted list(values);
    make_at(proto, 0, element, unit);
    write_values(proto, 0, 0, source_of(proto, list.get(), -1, 1));
    return proto;
}

// [type bits count], [type bits [values]], or either without the bits.
Cell* make_typed(Cell* proto, const Cell* spec, TypeId element) {
    uint32_t n = block::vs_length(spec);
    uint32_t head = spec->s1;
    if (n < 2) bad_make_arg(spec);
    Cell item = *block::vs_abs_at(spec, head + 1);
    uint32_t next = 1;
    int unit = default_unit(element);
    if (item.is(TYPE_INTEGER)) {
        if (!allowed_bits(element, item.i32())) bad_make_arg(spec);
        unit = item.i32() / 8;
        if (++next >= n) bad_make_arg(spec);
        item = *block::vs_abs_at(spec, head + next);
    }
    if (item.is(TYPE_INTEGER)) return make_at(proto, uint32_t(count_of(&item)), element, unit);
    if (item.is(TYPE_BLOCK)) return make_filled(proto, item, element, unit);
    fire(err::invalid_spec_field, &item);
}

// [values]: the first value's type, at its default size, for all of them.
Cell* make_from_values(Cell* proto, const Cell* spec) {
    TypeId element = block::vs_abs_at(spec, spec->s1)->type();
    uint32_t n = block::vs_length(spec);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* value = block::vs_abs_at(spec, spec->s1 + i);
        if (!value->is(element)) refuse_value(*value);
    }
    return make_filled(proto, *spec, element, default_unit(element));
}

Cell* make(Cell* proto, const Cell* spec, TypeId) {
    if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT))
        return make_at(proto, uint32_t(count_of(spec)), TYPE_INTEGER, 4);
    if (!spec->is(TYPE_BLOCK)) bad_make_arg(spec);
    if (block::vs_length(spec) == 0) return make_at(proto, 0, TYPE_INTEGER, 4);
    Cell first = *block::vs_abs_at(spec, spec->s1);
    if (first.is(TYPE_WORD)) {
        TypeId element = named_element(first);
        if (element == TYPE_NONE_ID) bad_make_arg(spec);
        return make_typed(proto, spec, element);
    }
    if (is_element_type(first.type())) return make_from_values(proto, spec);
    bad_make_arg(spec);
}

// ---- form and mold ----

void write_element(Cell* out, const Cell& value, int unit, bool mold) {
    switch (value.type()) {
    case TYPE_CHAR:
        if (!mold) {
            string::append_char(out->s2, value.s2);
            return;
        }
        string::concatenate_literal(out, "#\"");
        string::append_escaped_char(out, value.s2, false);
        string::concatenate_literal(out, "\"");
        return;
    case TYPE_INTEGER:
        string::concatenate_literal(out, integer::form_signed(value.i32()).text());
        return;
    case TYPE_PERCENT:
        float_::form_text(value.f64() * 100.0,
                            unit == 4 ? float_text::TextKind::percent32 : float_text::TextKind::percent, out, 0);
        return;
    default:
        float_::form_text(value.f64(), unit == 4 ? float_text::TextKind::float32 : float_text::TextKind::float_form,
                            out, 0);
        return;
    }
}

// The elements from the head, a space apart; returns the budget left.
int32_t write_elements(const Cell* v, Cell* out, bool mold, const Cell* part, int32_t budget) {
    Cell source = *v;
    uint32_t n = rest_length(&source);
    uint32_t head = clamped_head(&source);
    for (uint32_t i = 0; i < n && !mold::exhausted(part, budget); ++i) {
        uint32_t before = string::abs_length(out);
        if (i > 0) string::concatenate_literal(out, " ");
        int unit = unit_of(&source);
        write_element(out, get_value(element_address(&source, head + i), unit, element_of(&source)), unit, mold);
        budget -= int32_t(string::abs_length(out) - before);
    }
    return budget;
}

int32_t form(const Cell* v, Cell* out, const Cell* part, int32_t budget) {
    return write_elements(v, out, false, part, budget);
}

// The element type and size are shown only when they are not the type's default.
int32_t mold(const Cell* v, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (args.only) return write_elements(v, out, true, part, budget);
    TypeId element = element_of(v);
    int unit = unit_of(v);
    bool shown = unit != default_unit(element);
    budget = mold::emit(out, "make vector! [", budget);
    if (shown) {
        budget = mold::emit(out, datatype::name_of(element), budget);
        budget = mold::emit(out, " ", budget);
        budget = mold::emit(out, integer::form_signed(unit * 8).text(), budget);
        budget = mold::emit(out, " [", budget);
    }
    budget = write_elements(v, out, true, part, budget);
    return mold::emit(out, shown ? "]]" : "]", budget);
}

// ---- compare ----

bool is_equality(int op) { return op <= CMP_STRICT_EQUAL || op == CMP_FIND; }

int compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_VECTOR)) return -2;
    if (element_of(a) != element_of(b)) fire(err::not_same_type);
    bool same = a->s2 == b->s2 && clamped_head(a) == clamped_head(b);
    if (op == CMP_SAME) return same ? 0 : 1;
    if (same) return 0;
    uint32_t la = rest_length(a);
    uint32_t lb = rest_length(b);
    if (la != lb && is_equality(op)) return 1;
    uint32_t n = std::min(la, lb);
    TypeId element = element_of(a);
    for (uint32_t i = 0; i < n; ++i) {
        Cell x = get_value(element_address(a, clamped_head(a) + i), unit_of(a), element);
        Cell y = get_value(element_address(b, clamped_head(b) + i), unit_of(b), element);
        if (holds_floats(element)) {
            if (x.f64() != y.f64()) return x.f64() < y.f64() ? -1 : 1;
        } else if (x.i32() != y.i32()) {
            return x.i32() < y.i32() ? -1 : 1;
        }
    }
    return la < lb ? -1 : la > lb ? 1 : 0;  // the shorter orders first
}

// ---- Element-wise arithmetic ----

using integer::Op;

bool is_bitwise(Op op) { return op == Op::or_ || op == Op::and_ || op == Op::xor_; }

// One operand of an element: a number as the integer or the double the vector's kind needs.
struct Number {
    int32_t i;
    double d;
};

Number scalar_number(const Cell* scalar, TypeId element) {
    if (!is_element_type(scalar->type())) datatype::fire_with_type(err::invalid_type, scalar->type());
    bool floating = scalar->is(TYPE_FLOAT) || scalar->is(TYPE_PERCENT);
    if (holds_floats(element)) return {0, floating ? scalar->f64() : double(scalar->i32())};
    return {floating ? scalar::truncated(scalar->f64(), scalar) : scalar->i32(), 0.0};
}

Number element_number(const Cell* v, uint32_t index) {
    Cell value = get_value(element_address(v, index), unit_of(v), element_of(v));
    return {holds_floats(element_of(v)) ? 0 : value.i32(), holds_floats(element_of(v)) ? value.f64() : 0.0};
}

// Integer overflow wraps here: the result is cut to the element size anyway.
void store_result(uint8_t* p, int unit, TypeId element, Number a, Number b, Op op) {
    if (holds_floats(element)) write_double(p, unit, float_::do_op(a.d, b.d, float_::MathOp(int(op))));
    else write_int(p, unit, integer::checked_op(a.i, b.i, op, nullptr));
}

void check_operation(TypeId element, Op op) {
    if (holds_floats(element) && is_bitwise(op)) datatype::fire_with_type(err::invalid_type, element);
}

bool leaves_unchanged(Number scalar, TypeId element, Op op) {
    if (!holds_floats(element)) return false;
    if (op == Op::add || op == Op::subtract) return scalar.d == 0.0;
    return (op == Op::multiply || op == Op::divide) && scalar.d == 1.0;
}

// Every element from the head combined with the scalar, in place; the scalar is the left operand
// when `scalar_first`.
void combine_in_place(Cell* v, Number scalar, Op op, bool scalar_first) {
    TypeId element = element_of(v);
    if (!scalar_first && leaves_unchanged(scalar, element, op)) return;
    int unit = unit_of(v);
    uint32_t head = clamped_head(v);
    uint32_t end = series::vs_abs_length(v);
    for (uint32_t i = head; i < end; ++i) {
        Number e = element_number(v, i);
        store_result(element_address(v, i), unit, element, scalar_first ? scalar : e, scalar_first ? e : scalar, op);
    }
}

// A new vector of the shorter length and the wider unit; the operands stay as they are.
void combine_vectors(Cell* left, const Cell* right, Op op) {
    if (element_of(left) != element_of(right)) fire(err::not_same_type);
    TypeId element = element_of(left);
    uint32_t n = std::min(rest_length(left), rest_length(right));
    int unit = std::max(unit_of(left), unit_of(right));
    Rooted a(*left);
    Rooted b(*right);
    Rooted result;
    make_at(result.get(), n, element, unit);
    uint32_t ha = clamped_head(a.get());
    uint32_t hb = clamped_head(b.get());
    for (uint32_t i = 0; i < n; ++i)
        store_result(element_address(result.get(), i), unit, element, element_number(a.get(), ha + i),
                     element_number(b.get(), hb + i), op);
    *left = *result;
}

template <Op Operation>
Cell* do_math(Cell* left, const Cell* right) {
    if (left->is(TYPE_VECTOR) && right->is(TYPE_VECTOR)) {
        check_operation(element_of(left), Operation);
        combine_vectors(left, right, Operation);
        return left;
    }
    if (left->is(TYPE_VECTOR)) {
        check_operation(element_of(left), Operation);
        combine_in_place(left, scalar_number(right, element_of(left)), Operation, false);
        return left;
    }
    // A number on the left: the results go to a copy of the vector.
    check_operation(element_of(right), Operation);
    Number scalar = scalar_number(left, element_of(right));
    Cell copy = *right;
    series::copy_units(&copy, clamped_head(&copy), rest_length(&copy), left);
    combine_in_place(left, scalar, Operation, true);
    return left;
}

const SlotHandler vector_actions[] = {
    act<A_MAKE>(make),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_COMPARE>(compare),
    act<A_ADD>(do_math<Op::add>),
    act<A_DIVIDE>(do_math<Op::divide>),
    act<A_MULTIPLY>(do_math<Op::multiply>),
    act<A_REMAINDER>(do_math<Op::remainder>),
    act<A_SUBTRACT>(do_math<Op::subtract>),
    act<A_AND_T>(do_math<Op::and_>),
    act<A_OR_T>(do_math<Op::or_>),
    act<A_XOR_T>(do_math<Op::xor_>),
    act<A_APPEND>(append),
    act<A_INSERT>(insert),
    act<A_CHANGE>(change),
    inherited_at<A_RANDOM>(),
    inherited_at<A_REFLECT>(),
    inherited_at<A_EVAL_PATH>(),
    inherited_at<A_AT>(),
    inherited_at<A_BACK>(),
    inherited_at<A_CLEAR>(),
    inherited_at<A_COPY>(),
    inherited_at<A_FIND>(),
    inherited_at<A_HEAD>(),
    inherited_at<A_HEAD_Q>(),
    inherited_at<A_INDEX_Q>(),
    inherited_at<A_LENGTH_Q>(),
    inherited_at<A_MOVE>(),
    inherited_at<A_NEXT>(),
    inherited_at<A_PICK>(),
    inherited_at<A_POKE>(),
    inherited_at<A_REMOVE>(),
    inherited_at<A_REVERSE>(),
    inherited_at<A_SELECT>(),
    inherited_at<A_SORT>(),
    inherited_at<A_SKIP>(),
    inherited_at<A_TAIL>(),
    inherited_at<A_TAIL_Q>(),
    inherited_at<A_TAKE>(),
    inherited_at<A_MODIFY>(),
};

}  // namespace
}  // namespace vyn::vector

namespace vyn {

void vector_init() {
    datatype::register_type(TYPE_VECTOR, TYPE_STRING, "vector!", UNSUPPORTED, vector::vector_actions);
}

}  // namespace vyn
