// bitset! handlers and the spec walker they share: make, to, pick, find, poke, append, insert
// and remove all read a spec (numbers, chars, ranges, strings, binaries, blocks) through one walk.
// Bytes past the tail mean nothing: the tail only moves in `grow_to`, which fills the bytes it
// passes for the current complement flag, so a complement never has to touch them. The buffer
// head is always at 0, and every buffer address is re-read through the node after allocating.
#include "datatypes/bitset.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/cycles.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::bitset {
namespace {

using ownership::Change;

// The length in bits must stay an integer!: at most this many bytes, so this highest bit.
constexpr uint64_t MAX_BYTES = uint64_t(INT32_MAX) / 8;
constexpr int64_t MAX_BIT = int64_t(MAX_BYTES) * 8 - 1;

Series* buffer_of(NodeId node) { return memory::series_of(node); }
bool complemented(const Series* s) { return (s->flags & SERIES_COMPLEMENT) != 0; }
uint8_t fill_byte(bool complement) { return complement ? 0xFF : 0x00; }
int64_t stored_bits(const Series* s) { return int64_t(s->used_bytes()) * 8; }

Cell bitset_cell(NodeId node) { return make_cell(TYPE_BITSET, 0, node); }

// A new bitset of `bytes` bytes, each `byte`.
Cell make_filled(uint64_t bytes, uint8_t byte) {
    NodeId node = memory::alloc_bytes_filled(bytes, byte);
    buffer_of(node)->tail = uint32_t(bytes);
    return bitset_cell(node);
}

// A copy of the buffer with its flags and bytes; the copy has no owner.
NodeId copy_of(NodeId node) {
    NodeId copy = memory::copy_buffer(node);
    buffer_of(copy)->flags &= ~SERIES_OWNED;
    return copy;
}

// Moves the tail past bit n. The capacity at least doubles, so bit-by-bit growth stays linear.
void grow_to(NodeId node, int64_t n, const Cell& culprit) {
    if (n > MAX_BIT) fire(err::out_of_range, &culprit);
    uint64_t needed = uint64_t(n >> 3) + 1;
    Series* s = buffer_of(node);
    if (needed <= s->used_bytes()) return;
    if (needed > s->capacity) {
        uint64_t doubled = std::min<uint64_t>(uint64_t(s->capacity) * 2, SERIES_MAX_CAPACITY);
        s = memory::expand_copy(node, std::max(needed, doubled));
    }
    memory::fill(s->tail_ptr(), s->head_ptr() + needed, fill_byte(complemented(s)));
    s->tail = s->head + uint32_t(needed);
}

// The bits of byte `byte` that lie within low..high.
uint8_t byte_mask(int64_t byte, int64_t low, int64_t high) {
    int first = byte == low >> 3 ? int(low & 7) : 0;
    int last = byte == high >> 3 ? int(high & 7) : 7;
    return uint8_t((0xFFu >> first) & (0xFFu << (7 - last)));
}

// Calls `visit(byte, mask)` for each stored byte holding bits of low..high, while it says true.
template <class Visit>
bool each_byte(Series* s, int64_t low, int64_t high, Visit visit) {
    for (int64_t i = low >> 3; low <= high && i <= high >> 3; ++i)
        if (!visit(s->head_ptr()[i], byte_mask(i, low, high))) return false;
    return true;
}

bool all_members(NodeId node, int64_t low, int64_t high) {
    Series* s = buffer_of(node);
    if (high >= stored_bits(s)) {
        if (!complemented(s)) return false;
        high = stored_bits(s) - 1;
    }
    return each_byte(s, low, high, [](uint8_t byte, uint8_t mask) { return (byte & mask) == mask; });
}

// The last bit of low..high that a write must store. Past the tail every bit already has the
// complement flag's membership, so only a write against the flag moves the tail.
int64_t writable_high(NodeId node, int64_t high, bool set, const Cell& culprit) {
    Series* s = buffer_of(node);
    if (high < stored_bits(s)) return high;
    if (set == complemented(s)) return stored_bits(s) - 1;
    grow_to(node, high, culprit);
    return high;
}

void write_bits(NodeId node, int64_t low, int64_t high, bool set, const Cell& culprit) {
    high = writable_high(node, high, set, culprit);
    each_byte(buffer_of(node), low, high, [set](uint8_t& byte, uint8_t mask) {
        byte = set ? byte | mask : byte & uint8_t(~mask);
        return true;
    });
}

// ---- The spec walk ----

enum class Op { highest, set, test, clear };
enum class Mode { make, to, other };

struct Walk {
    Op op;
    Mode mode;
    NodeId bits;  // 0 while computing the highest bit
    int64_t highest = -1;
};

bool walk_value(Walk& w, const Cell& value);

[[noreturn]] void refuse(Mode mode, const Cell& value) {
    Cell type = datatype_cell(TYPE_BITSET);
    if (mode == Mode::make) fire(err::bad_make_arg, &type, &value);
    if (mode == Mode::to) fire(err::bad_to_arg, &type, &value);
    fire(err::invalid_arg, &value);
}

bool is_number(TypeId t) { return t == TYPE_CHAR || t == TYPE_INTEGER || t == TYPE_FLOAT; }

// A number's bit: floats truncate toward zero; a negative number or NaN gives -1.
int64_t bit_of(const Cell& number) {
    if (number.is(TYPE_CHAR)) return number.s2;
    if (number.is(TYPE_INTEGER)) return std::max(number.i32(), -1);
    double d = number.f64();
    if (std::isnan(d) || d < 0) return -1;
    return d < 0x1p62 ? int64_t(d) : int64_t(1) << 62;
}

bool note_highest(Walk& w, int64_t high, const Cell& culprit) {
    if (high > MAX_BIT) fire(err::out_of_range, &culprit);
    w.highest = std::max(w.highest, high);
    return true;
}

// The bits from the `from` number to the `to` number; false when testing finds a non-member.
// A negative start is never a member, and an error outside tests.
bool walk_span(Walk& w, const Cell& from, const Cell& to) {
    int64_t low = bit_of(from), high = bit_of(to);
    if (low < 0) {
        if (w.op == Op::test) return false;
        fire(err::out_of_range, &from);
    }
    if (w.op == Op::highest) return note_highest(w, high, to);
    if (w.op == Op::test) return all_members(w.bits, low, high);
    write_bits(w.bits, low, high, w.op == Op::set, to);
    return true;
}

uint32_t highest_code_point(const Cell& text) {
    string::View v = string::view_of(&text);
    uint32_t top = 0;
    for (uint32_t i = 0; i < v.length; ++i) top = std::max(top, v.at(i));
    return top;
}

// Each code point from the index is one bit. The highest goes first, so a write grows the
// bitset once; every code point is then walked, testing and clearing included.
bool walk_string(Walk& w, const Cell& text) {
    if (string::length(&text) == 0) return true;
    const Cell top = char_cell(highest_code_point(text));
    if (w.op != Op::test && !walk_span(w, top, top)) return false;
    if (w.op == Op::highest) return true;
    string::View v = string::view_of(&text);  // nothing allocates past this point
    for (uint32_t i = 0; i < v.length; ++i) {
        const Cell c = char_cell(v.at(i));
        if (!walk_span(w, c, c)) return false;
    }
    return true;
}

// A binary!'s bytes from its index are a ready bit array, bit n of it being bit n here.
bool walk_binary(Walk& w, const Cell& binary) {
    uint32_t start = std::min(binary.s1, series::vs_abs_length(&binary));
    int64_t high = int64_t(series::vs_abs_length(&binary) - start) * 8 - 1;
    if (high < 0) return true;
    if (w.op == Op::highest) return note_highest(w, high, binary);
    bool set = w.op == Op::set;
    high = writable_high(w.bits, high, set, binary);
    uint8_t* to = buffer_of(w.bits)->head_ptr();
    const uint8_t* from = series::unit_at(&binary, start);
    for (int64_t i = 0; i <= high >> 3; ++i) to[i] = set ? to[i] | from[i] : to[i] & uint8_t(~from[i]);
    return true;
}

bool range_sign(const Cell& block, uint32_t i) {
    if (i >= series::vs_abs_length(&block)) return false;
    const Cell& sign = *block::vs_abs_at(&block, i);
    return sign.is(TYPE_WORD) && word_names::is(sign, words::sym::minus);
}

// A char! or integer! followed by `-` and a number of its own type: the span between them.
bool walk_range(Walk& w, const Cell& block, uint32_t i) {
    const Cell from = *block::vs_abs_at(&block, i);
    if (i + 2 >= series::vs_abs_length(&block)) fire(err::past_end);
    const Cell to = *block::vs_abs_at(&block, i + 2);
    if (to.type() != from.type()) fire(err::invalid_arg, &to);
    if (bit_of(to) < bit_of(from)) fire(err::past_end);
    return walk_span(w, from, to);
}

bool walk_block(Walk& w, const Cell& block) {
    cycles::Entry inside(block.s2);
    for (uint32_t i = block.s1; i < series::vs_abs_length(&block);) {
        const Cell value = *block::vs_abs_at(&block, i);
        bool ranged = (value.is(TYPE_CHAR) || value.is(TYPE_INTEGER)) && range_sign(block, i + 1);
        if (!(ranged ? walk_range(w, block, i) : walk_value(w, value))) return false;
        i += ranged ? 3 : 1;
    }
    return true;
}

bool walk_value(Walk& w, const Cell& value) {
    if (is_number(value.type())) return walk_span(w, value, value);
    switch (value.type()) {
    case TYPE_STRING: return walk_string(w, value);
    case TYPE_BLOCK: return walk_block(w, value);
    case TYPE_BINARY:
        if (w.mode == Mode::make) return walk_binary(w, value);
        break;
    default: break;
    }
    refuse(w.mode, value);
}

bool contains(NodeId bits, const Cell& spec) {
    Walk w{Op::test, Mode::other, bits};
    return walk_value(w, spec);
}

void write_spec(NodeId bits, const Cell& spec, bool set, Mode mode) {
    Walk w{set ? Op::set : Op::clear, mode, bits};
    walk_value(w, spec);
}

// ---- Making ----

// A block opening with the word `not` asks for the complement: its index passes the word, and
// a binary! right after it becomes the whole spec.
bool take_not(Cell& spec) {
    if (!spec.is(TYPE_BLOCK) || spec.s1 >= series::vs_abs_length(&spec)) return false;
    const Cell first = *block::vs_abs_at(&spec, spec.s1);
    if (!first.is(TYPE_WORD) || !word_names::is(first, words::sym::not_)) return false;
    ++spec.s1;
    if (spec.s1 < series::vs_abs_length(&spec) && block::vs_abs_at(&spec, spec.s1)->is(TYPE_BINARY))
        spec = *block::vs_abs_at(&spec, spec.s1);
    return true;
}

// n bits, rounded up to whole bytes, all clear.
Cell sized(const Cell& size) {
    int64_t n = bit_of(size);
    if (n < 0 || n > int64_t(MAX_BYTES) * 8) fire(err::out_of_range, &size);
    return make_filled(uint64_t(n + 7) / 8, 0);
}

Cell from_binary(const Cell& binary, bool complement) {
    uint32_t start = std::min(binary.s1, series::vs_abs_length(&binary));
    uint32_t n = series::vs_abs_length(&binary) - start;
    if (n > MAX_BYTES) fire(err::out_of_range, &binary);
    Cell made = make_filled(n, 0);  // read the binary after this: it may have moved
    uint8_t* to = buffer_of(made.s2)->head_ptr();
    const uint8_t* from = series::unit_at(&binary, start);
    for (uint32_t i = 0; i < n; ++i) to[i] = complement ? uint8_t(~from[i]) : from[i];
    if (complement) memory::set_flags(made.s2, SERIES_COMPLEMENT);
    return made;
}

// Sized from the spec's highest bit, then its bits set; a complement starts full and clears them.
Cell from_spec(const Cell& spec, bool complement, Mode mode) {
    Walk first{Op::highest, mode, 0};
    walk_value(first, spec);
    Rooted made(make_filled(uint64_t(std::max<int64_t>(1, (first.highest + 8) / 8)), fill_byte(complement)));
    if (complement) memory::set_flags(made->s2, SERIES_COMPLEMENT);
    write_spec(made->s2, spec, !complement, mode);
    return *made;
}

Cell* make_from(Cell* out, const Cell* spec, Mode mode) {
    Rooted source(*spec);
    bool complement = take_not(*source);
    Rooted made;
    switch (source->type()) {
    case TYPE_INTEGER: case TYPE_FLOAT:
        if (mode == Mode::to) refuse(mode, *source);
        *made = sized(*source);
        break;
    case TYPE_BITSET: *made = bitset_cell(copy_of(source->s2)); break;
    case TYPE_BINARY: *made = from_binary(*source, complement); break;
    default: *made = from_spec(*source, complement, mode);
    }
    *out = *made;
    return out;
}

// ---- Handlers ----

Cell* bitset_make(Cell* proto, const Cell* spec, TypeId) { return make_from(proto, spec, Mode::make); }
Cell* bitset_to(Cell* proto, const Cell* spec, TypeId) { return make_from(proto, spec, Mode::to); }

// Under a part limit the digits stop once it is used up, and nothing closes the text.
int32_t bitset_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    const NodeId node = value->s2;
    const bool complement = complemented(buffer_of(node));
    budget = mold::emit(out, complement ? "make bitset! [not #{" : "make bitset! #{", budget);
    for (uint32_t i = 0; i < buffer_of(node)->used_bytes(); ++i) {  // emitting may move the bytes
        if (mold::exhausted(part, budget)) return budget;
        uint8_t byte = buffer_of(node)->head_ptr()[i];
        budget = mold::emit(out, string::byte_to_hex(complement ? uint8_t(~byte) : byte), budget);
    }
    return mold::emit(out, complement ? "}]" : "}", budget);
}

int32_t bitset_form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    return bitset_mold(value, out, MoldArgs{}, part, budget);
}

// Runs a change between the owner's two notifications; the second only when the first was made.
template <class Body>
void tell_owner_around(const Cell& bits, Change action, const Cell* value, Body change) {
    bool told = ownership::before(bits, action, value, -1, -1);
    change();
    if (told) ownership::after(bits, action, value, -1, -1);
}

Cell* bitset_pick(Cell* bits, int32_t, const Cell* spec) {
    *bits = logic_cell(contains(bits->s2, *spec));
    return bits;
}

// none, false, 0 and 0.0 remove the spec's members; any other value adds them.
bool removes(const Cell& value) {
    switch (value.type()) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return value.s1 == 0;
    case TYPE_INTEGER: return value.i32() == 0;
    case TYPE_FLOAT: return value.f64() == 0.0;
    default: return false;
    }
}

Cell* bitset_poke(Cell* bits, int32_t, const Cell* spec, const Cell* value) {
    tell_owner_around(*bits, Change::poke, value,
                      [&] { write_spec(bits->s2, *spec, !removes(*value), Mode::other); });
    *bits = *value;
    return bits;
}

Cell* bitset_eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep&) {
    if (!element->is(TYPE_INTEGER) && !element->is(TYPE_CHAR)) {
        Cell type = datatype_cell(element->type());
        fire(err::invalid_type, &type);
    }
    return value ? bitset_poke(parent, 0, element, value) : bitset_pick(parent, 0, element);
}

int order(Series* a, Series* b) {
    if (a->used_bytes() != b->used_bytes()) return a->used_bytes() < b->used_bytes() ? -1 : 1;
    if (complemented(a) != complemented(b)) return complemented(a) ? 1 : -1;
    for (uint32_t i = a->used_bytes(); i-- > 0;) {
        uint8_t x = a->head_ptr()[i], y = b->head_ptr()[i];
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int bitset_compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_BITSET)) return -2;
    if (op == CMP_SAME) return a->s2 == b->s2 ? 0 : 1;
    return order(buffer_of(a->s2), buffer_of(b->s2));
}

Cell* bitset_complement(Cell* bits) {
    NodeId copy = copy_of(bits->s2);
    Series* s = buffer_of(copy);
    for (uint8_t* p = s->head_ptr(); p < s->tail_ptr(); ++p) *p = uint8_t(~*p);
    s->flags ^= SERIES_COMPLEMENT;
    *bits = bitset_cell(copy);
    return bits;
}

Cell* bitset_and(Cell* left, const Cell* right) { return bitset::combine(left, right, typeset::SET_AND); }
Cell* bitset_or(Cell* left, const Cell* right) { return bitset::combine(left, right, typeset::SET_OR); }
Cell* bitset_xor(Cell* left, const Cell* right) { return bitset::combine(left, right, typeset::SET_XOR); }

Cell* bitset_insert(Cell* bits, const Cell* spec, const Cell*, bool, const Cell*) {
    tell_owner_around(*bits, Change::insert, spec, [&] { write_spec(bits->s2, *spec, true, Mode::other); });
    return bits;
}

Cell* bitset_clear(Cell* bits) {
    tell_owner_around(*bits, Change::clear, nullptr, [&] {
        Series* s = buffer_of(bits->s2);
        memory::fill(s->head_ptr(), s->tail_ptr(), fill_byte(complemented(s)));
    });
    return bits;
}

Cell* bitset_copy(Cell* bits, const Cell*, bool, const Cell*) {
    *bits = bitset_cell(copy_of(bits->s2));
    return bits;
}

Cell* bitset_find(Cell* bits, const Cell* spec, const FindArgs&) {
    *bits = contains(bits->s2, *spec) ? logic_cell(true) : none_cell();
    return bits;
}

int32_t bitset_length(const Cell* bits) { return int32_t(stored_bits(buffer_of(bits->s2))); }

Cell* bitset_remove(Cell* bits, const Cell*, const Cell* key) {
    if (!key) fire(err::missing_arg);
    tell_owner_around(*bits, Change::remove, key, [&] { write_spec(bits->s2, *key, false, Mode::other); });
    return bits;
}

const SlotHandler bitset_actions[] = {
    act<A_MAKE>(bitset_make),
    act<A_REFLECT>(series::reflect),
    act<A_TO>(bitset_to),
    act<A_FORM>(bitset_form),
    act<A_MOLD>(bitset_mold),
    act<A_EVAL_PATH>(bitset_eval_path),
    act<A_COMPARE>(bitset_compare),
    act<A_NEGATE>(bitset_complement),
    act<A_AND_T>(bitset_and),
    act<A_COMPLEMENT>(bitset_complement),
    act<A_OR_T>(bitset_or),
    act<A_XOR_T>(bitset_xor),
    act<A_APPEND>(bitset_insert),
    act<A_CLEAR>(bitset_clear),
    act<A_COPY>(bitset_copy),
    act<A_FIND>(bitset_find),
    act<A_INSERT>(bitset_insert),
    act<A_LENGTH_Q>(bitset_length),
    act<A_PICK>(bitset_pick),
    act<A_POKE>(bitset_poke),
    act<A_REMOVE>(bitset_remove),
    act<A_MODIFY>(series::modify),
};

// The stored byte i, or what the complement flag says past the tail.
uint8_t byte_or_fill(Series* s, uint32_t i) {
    return i < s->used_bytes() ? s->data()[s->head + i] : fill_byte(complemented(s));
}

}  // namespace

// Every byte and the flag combine alike, a missing byte standing for the flag's fill, so the
// result holds for the bits past both tails too. and~ stops at the common length when the
// shorter operand's fill is 0, since the rest then holds no member.
Cell* combine(Cell* first, const Cell* second, typeset::SetOp op) {
    if (!second->is(TYPE_BITSET)) {
        Cell type = datatype_cell(second->type());
        fire(err::invalid_type, &type);
    }
    if (op == typeset::SET_UNIQUE) return first;
    Series* a = buffer_of(first->s2);
    Series* b = buffer_of(second->s2);
    const Series* shorter = a->used_bytes() < b->used_bytes() ? a : b;
    bool cut = op == typeset::SET_AND && !complemented(shorter);
    uint32_t length = cut ? shorter->used_bytes() : std::max(a->used_bytes(), b->used_bytes());
    Cell result = make_filled(length, 0);
    a = buffer_of(first->s2);  // the allocation may have moved both
    b = buffer_of(second->s2);
    uint8_t* to = buffer_of(result.s2)->head_ptr();
    for (uint32_t i = 0; i < length; ++i) to[i] = typeset::combined_bits(op, byte_or_fill(a, i), byte_or_fill(b, i));
    if (typeset::combined_bits(op, fill_byte(complemented(a)), fill_byte(complemented(b))))
        memory::set_flags(result.s2, SERIES_COMPLEMENT);
    *first = result;
    return first;
}

}  // namespace vyn::bitset

namespace vyn {

void bitset_init() {
    datatype::register_type(TYPE_BITSET, TYPE_NONE_ID, "bitset!", UNSUPPORTED, bitset::bitset_actions);
}

}  // namespace vyn
