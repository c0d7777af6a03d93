// tuple! handlers. Each works on the bytes unpacked into a small array and packs them back
// through the one constructor the lexer also uses, which zeroes the bytes past the length and
// pads the length to 3; so no handler has to keep those rules itself.
#include "datatypes/tuple.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"

namespace vyn::tuple {
namespace {

using integer::Op;
using tokenizer::TUPLE_MAX;

struct Bytes {
    uint8_t b[TUPLE_MAX] = {};
    int length = 0;
};

Bytes bytes_of(const Cell& tuple) {
    Bytes v;
    v.length = tokenizer::tuple_length(tuple);
    for (int i = 0; i < v.length; ++i) v.b[i] = tokenizer::tuple_byte(tuple, i);
    return v;
}

Cell* store(Cell* cell, const Bytes& v) {
    *cell = tokenizer::make_tuple(v.b, v.length);
    return cell;
}

uint8_t saturated(int64_t value) { return uint8_t(std::clamp<int64_t>(value, 0, 255)); }

// ---- Conversion ----

// One byte per value: integer! and char! as they are, float! truncated; each within 0..255.
Bytes from_values(const Cell* spec) {
    Cell block = *spec;
    uint32_t count = block::vs_length(&block);
    if (count > uint32_t(TUPLE_MAX)) datatype::fire_bad_to_arg(TYPE_TUPLE, spec);
    const Cell* values = block::vs_head(&block);
    Bytes v;
    v.length = int(count);
    for (uint32_t i = 0; i < count; ++i) {
        TypeId type = values[i].type();
        if (type != TYPE_INTEGER && type != TYPE_CHAR && type != TYPE_FLOAT) datatype::fire_bad_to_arg(TYPE_TUPLE, spec);
        double n = scalar::number_of(values[i]);
        if (!(n > -1.0 && n < 256.0)) datatype::fire_bad_to_arg(TYPE_TUPLE, spec);
        v.b[i] = uint8_t(n);
    }
    return v;
}

// Three hex digits give three bytes of a digit each (F00 is 255.0.0); six or eight give one
// byte per two digits.
Bytes from_issue(const Cell* issue) {
    std::string_view digits = symbol::name(issue->s2);
    std::size_t n = digits.size();
    if (n != 3 && n != 6 && n != 8) fire(err::invalid_data, issue);
    std::size_t width = n == 3 ? 1 : 2;
    Bytes v;
    v.length = int(n / width);
    for (int i = 0; i < v.length; ++i) {
        const char* first = digits.data() + std::size_t(i) * width;
        unsigned byte = 0;
        auto [end, error] = std::from_chars(first, first + width, byte, 16);
        if (error != std::errc() || end != first + width) fire(err::invalid_data, issue);
        v.b[i] = uint8_t(width == 1 ? byte * 17 : byte);
    }
    return v;
}

Bytes from_binary(const Cell* binary) {
    Series* buffer = memory::series_of(binary->s2);
    uint32_t length = buffer->length();
    uint32_t head = std::min(binary->s1, length);
    Bytes v;
    v.length = int(std::min<uint32_t>(length - head, TUPLE_MAX));
    std::copy_n(buffer->head_ptr() + head, v.length, v.b);
    return v;
}

Cell* tuple_to(Cell* proto, const Cell* spec, TypeId) {
    TypeId type = spec->type();
    if (type == TYPE_TUPLE) *proto = *spec;
    else if (type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH) store(proto, from_values(spec));
    else if (type == TYPE_ISSUE) store(proto, from_issue(spec));
    else if (type == TYPE_BINARY) store(proto, from_binary(spec));
    else if (series::is_string_type(type)) *proto = scalar::loaded_as(spec, TYPE_TUPLE);
    else datatype::fire_bad_to_arg(TYPE_TUPLE, spec);
    return proto;
}

// ---- Random ----

Cell* tuple_random(Cell* tuple, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(tuple->s1 ^ tuple->s2 ^ tuple->s3));
        *tuple = unset_cell();
        return tuple;
    }
    Bytes v = bytes_of(*tuple);
    for (int i = 0; i < v.length; ++i) v.b[i] = uint8_t(random::int_in_range(v.b[i] + 1, secure) - 1);
    return store(tuple, v);
}

// ---- Text ----

int32_t tuple_form(const Cell* tuple, Cell* out, const Cell*, int32_t budget) {
    Bytes v = bytes_of(*tuple);
    for (int i = 0; i < v.length; ++i) {
        if (i > 0) budget = mold::emit(out, ".", budget);
        budget = datatype::append_text(out, integer::form_signed(v.b[i]).text(), budget);
    }
    return budget;
}

int32_t tuple_mold(const Cell* tuple, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return tuple_form(tuple, out, part, budget);
}

// ---- Paths ----

// The 0-based byte of a 1-based index within the length; out-of-range otherwise.
int byte_index(const Cell& tuple, const Cell* index) {
    int32_t n = index->is(TYPE_INTEGER) || index->is(TYPE_CHAR) ? index->i32() : 0;
    if (n < 1 || n > tokenizer::tuple_length(tuple)) fire(err::out_of_range, index);
    return n - 1;
}

Cell* tuple_pick(Cell* tuple, int32_t, const Cell* index) {
    *tuple = integer_cell(tokenizer::tuple_byte(*tuple, byte_index(*tuple, index)));
    return tuple;
}

// An integer stores the byte, saturated; none cuts the tuple before that byte.
Cell* tuple_eval_path(Cell* tuple, const Cell* element, const Cell* value, const PathStep&) {
    if (!element->is(TYPE_INTEGER)) datatype::fire_with_type(err::invalid_type, element->type());
    if (!value) return tuple_pick(tuple, 0, element);
    int i = byte_index(*tuple, element);
    Bytes v = bytes_of(*tuple);
    if (value->is(TYPE_INTEGER)) v.b[i] = saturated(value->i32());
    else if (value->is(TYPE_NONE)) v.length = i;
    else datatype::fire_with_type(err::invalid_type, value->type());
    return store(tuple, v);
}

// ---- Arithmetic ----

bool is_bitwise(Op op) { return op >= Op::or_; }

int64_t byte_op(int64_t byte, int64_t n, Op op) {
    if ((op == Op::divide || op == Op::remainder) && n == 0) fire(err::zero_divide);
    switch (op) {
    case Op::add: return byte + n;
    case Op::subtract: return byte - n;
    case Op::multiply: return byte * n;
    case Op::divide: return byte / n;
    case Op::remainder: return byte % n;
    case Op::or_: return byte | n;
    case Op::and_: return byte & n;
    case Op::xor_: return byte ^ n;
    }
    return 0;
}

uint8_t float_byte_op(uint8_t byte, double f, Op op) {
    double r = float_::do_op(byte, f, float_::MathOp(int(op)));
    return std::isnan(r) ? 0 : uint8_t(std::clamp(std::trunc(r), 0.0, 255.0));
}

Cell* integer_math(Cell* tuple, int64_t n, Op op) {
    Bytes v = bytes_of(*tuple);
    for (int i = 0; i < v.length; ++i) v.b[i] = saturated(byte_op(v.b[i], n, op));
    return store(tuple, v);
}

Cell* float_math(Cell* tuple, const Cell& operand, Op op) {
    double f = operand.f64();
    if (is_bitwise(op)) return integer_math(tuple, scalar::truncated(f, &operand), op);
    Bytes v = bytes_of(*tuple);
    for (int i = 0; i < v.length; ++i) v.b[i] = float_byte_op(v.b[i], f, op);
    return store(tuple, v);
}

// Byte by byte over the longer length; a missing byte counts as zero.
Cell* tuple_by_tuple(Cell* tuple, const Cell& operand, Op op) {
    Bytes v = bytes_of(*tuple);
    Bytes w = bytes_of(operand);
    v.length = std::max(v.length, w.length);
    for (int i = 0; i < v.length; ++i) v.b[i] = saturated(byte_op(v.b[i], w.b[i], op));
    return store(tuple, v);
}

template <Op op>
Cell* tuple_math(Cell* tuple, const Cell* right) {
    const Cell operand = *right;
    switch (operand.type()) {
    case TYPE_INTEGER: return integer_math(tuple, operand.i32(), op);
    case TYPE_FLOAT: case TYPE_PERCENT: return float_math(tuple, operand, op);
    case TYPE_TUPLE: return tuple_by_tuple(tuple, operand, op);
    default: datatype::fire_with_type(err::invalid_type, operand.type());
    }
}

Cell* tuple_complement(Cell* tuple) {
    Bytes v = bytes_of(*tuple);
    for (int i = 0; i < v.length; ++i) v.b[i] = uint8_t(~v.b[i]);
    return store(tuple, v);
}

// ---- Series-like actions ----

int32_t tuple_length(const Cell* tuple) { return tokenizer::tuple_length(*tuple); }

[[noreturn]] void fire_refinement(const char* name, const Cell* value) {
    Cell word = datatype::word_arg(name);
    fire(err::invalid_refine_arg, &word, value);
}

// How many bytes from the first one a reverse covers.
int reversed_range(int length, const Cell* part) {
    if (!part) return length;
    if (!part->is(TYPE_INTEGER)) fire_refinement("part", part);
    if (part->i32() < 0) fire(err::out_of_range, part);
    return std::min(length, part->i32());
}

// The size of the records a reverse keeps whole; the range must hold a whole number of them.
int record_size(int range, const Cell* skip) {
    if (!skip) return 1;
    if (!skip->is(TYPE_INTEGER)) fire_refinement("skip", skip);
    int32_t size = skip->i32();
    if (size < 1) fire(err::out_of_range, skip);
    if (range < size || range % size != 0) fire_refinement("skip", skip);
    return size;
}

Cell* tuple_reverse(Cell* tuple, const Cell* part, const Cell* skip) {
    Bytes v = bytes_of(*tuple);
    int range = reversed_range(v.length, part);
    int size = record_size(range, skip);
    for (int low = 0, high = range - size; low < high; low += size, high -= size)
        std::swap_ranges(v.b + low, v.b + low + size, v.b + high);
    return store(tuple, v);
}

// ---- Comparison ----

// Byte by byte up to the longer length (the bytes past a length are zero): 1.2.3 = 1.2.3.0.
int tuple_compare(const Cell* a, const Cell* b, int) {
    if (!b->is(TYPE_TUPLE)) return -2;
    int length = std::max(tokenizer::tuple_length(*a), tokenizer::tuple_length(*b));
    for (int i = 0; i < length; ++i) {
        int x = tokenizer::tuple_byte(*a, i);
        int y = tokenizer::tuple_byte(*b, i);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

const SlotHandler tuple_actions[] = {
    act<A_MAKE>(tuple_to),
    act<A_RANDOM>(tuple_random),
    act<A_TO>(tuple_to),
    act<A_FORM>(tuple_form),
    act<A_MOLD>(tuple_mold),
    act<A_EVAL_PATH>(tuple_eval_path),
    act<A_COMPARE>(tuple_compare),
    act<A_ADD>(tuple_math<Op::add>),
    act<A_DIVIDE>(tuple_math<Op::divide>),
    act<A_MULTIPLY>(tuple_math<Op::multiply>),
    act<A_REMAINDER>(tuple_math<Op::remainder>),
    act<A_SUBTRACT>(tuple_math<Op::subtract>),
    act<A_AND_T>(tuple_math<Op::and_>),
    act<A_COMPLEMENT>(tuple_complement),
    act<A_OR_T>(tuple_math<Op::or_>),
    act<A_XOR_T>(tuple_math<Op::xor_>),
    act<A_LENGTH_Q>(tuple_length),
    act<A_PICK>(tuple_pick),
    act<A_REVERSE>(tuple_reverse),
};

}  // namespace
}  // namespace vyn::tuple

namespace vyn {

void tuple_init() {
    datatype::register_type(TYPE_TUPLE, TYPE_NONE_ID, "tuple!", UNSUPPORTED, tuple::tuple_actions);
}

}  // namespace vyn
