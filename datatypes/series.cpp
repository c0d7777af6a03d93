// series! handlers. Positions are computed in 64 bits and clamped to the series, so no index can
// wrap; unit offsets are head index << log2(unit). Modifying handlers read what they need from
// the argument cells before the first allocation and re-read the buffer through the node after.
// An owner told of a change runs Vyn code that may change the series itself, so positions
// computed before `ownership::before` are computed again when it told someone.
#include "datatypes/hash.hpp"
#include "datatypes/series.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/hashtable.hpp"
#include "core/murmur3.hpp"
#include "core/raise.hpp"
#include "core/random.hpp"
#include "core/rooted.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/string.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::series {

using ownership::Change;

namespace {

int shift_of(const Series* b) { return std::countr_zero(unsigned(b->unit())); }

uint64_t bytes_of(const Series* b, uint64_t units) { return units << shift_of(b); }

// The head index, with a head beyond the tail set to the tail and a negative one read as 0.
uint32_t repaired_head(Cell* s) {
    uint32_t total = vs_abs_length(s);
    int32_t h = head_index(s);
    if (h < 0) return 0;
    if (uint32_t(h) > total) s->s1 = total;
    return s->s1;
}

bool same_series(const Cell* a, const Cell* b) { return a->type() == b->type() && a->s2 == b->s2; }

// The unit an index of pick or poke refers to, or -1 outside the series.
int64_t indexed_position(Cell* s, int32_t index) {
    int64_t h = repaired_head(s);
    int64_t p = index > 0 ? h + index - 1 : h + index;
    if (index == 0 || p < 0 || p >= int64_t(vs_abs_length(s))) return -1;
    return p;
}

// The position poke writes; out of range raises.
int64_t poke_position(Cell* s, int32_t index) {
    int64_t p = indexed_position(s, index);
    if (p < 0) {
        Cell bad = integer_cell(index);
        fire(err::out_of_range, &bad);
    }
    return p;
}

void store_unit(Cell* s, uint32_t p, const Cell& v) {
    TypeId t = s->type();
    if (is_block_type(t)) {
        *reinterpret_cast<Cell*>(unit_at(s, p)) = v;
    } else if (t == TYPE_BINARY) {
        if (!v.is(TYPE_INTEGER) && !v.is(TYPE_CHAR)) fire(err::invalid_arg, &v);
        *unit_at(s, p) = uint8_t(v.s2);
    } else if (t == TYPE_VECTOR) {
        if (v.type() != vector::element_of(s)) fire(err::invalid_arg, &v);
        vector::set_value(unit_at(s, p), buffer_of(s)->unit(), v);
    } else {
        if (!v.is(TYPE_CHAR)) fire(err::invalid_arg, &v);
        int need = string::unit_for_store(v.s2);
        if (need > buffer_of(s)->unit()) string::widen_buffer(s->s2, need);
        string::put_char(unit_at(s, p), buffer_of(s)->unit(), v.s2);
    }
}

Cell* set_none(Cell* s) {
    *s = none_cell();
    return s;
}

[[noreturn]] void bad_refinement(const char* refinement, const Cell* value) {
    Cell bad = *value;
    Cell word = datatype::word_arg(refinement);
    fire(err::invalid_refine_arg, &word, &bad);
}

// Record-wise reversal of `count` units from unit `start`, `width` units per record.
void reverse_records(const Cell* s, uint32_t start, uint32_t count, uint32_t width) {
    Series* b = buffer_of(s);
    uint64_t record = bytes_of(b, width);
    uint8_t* low = unit_at(s, start);
    uint8_t* high = low + bytes_of(b, count) - record;
    for (; low < high; low += record, high -= record) std::swap_ranges(low, low + record, high);
}

// Moving a run inside one series: forward it lands after the unit at the target (at the end
// for the tail), backward before it.
void move_within(const Cell* s, uint32_t from, uint32_t count, uint32_t target) {
    uint8_t* run = unit_at(s, from);
    uint8_t* run_end = unit_at(s, from + count);
    if (target < from) std::rotate(unit_at(s, target), run, run_end);
    else std::rotate(run, run_end, unit_at(s, target == vs_abs_length(s) ? target : target + 1));
}

// Opens a gap of `count` units at the target's head, fills it from the source, then closes the
// source's gap.
void move_between(const Cell* source, uint32_t from, uint32_t count, Cell* target) {
    uint32_t at = repaired_head(target);
    Series* t = memory::ensure_room(target->s2, bytes_of(buffer_of(source), count));
    uint64_t run = bytes_of(t, count);
    uint8_t* gap = unit_at(target, at);
    std::memmove(gap + run, gap, size_t(t->tail_ptr() - gap));
    t->tail += uint32_t(run);
    std::memcpy(gap, unit_at(source, from), run);
    remove_units(source, from, count);
}

// A hash! target indexes what it received.
void move_into(const Cell* source, uint32_t from, uint32_t count, Cell* target) {
    uint32_t target_total = vs_abs_length(target);
    move_between(source, from, count, target);
    if (target->is(TYPE_HASH)) hash::reindex_changed(*target, repaired_head(target), target_total);
}

bool convertible_units(TypeId a, TypeId b) { return is_string_type(a) && is_string_type(b); }

// Units of one size hold the same kind of element, except where a vector is involved: its bytes
// only mean something in a vector of its own element type.
bool same_elements(const Cell& a, const Cell& b) {
    if (!a.is(TYPE_VECTOR) && !b.is(TYPE_VECTOR)) return true;
    return a.type() == b.type() && a.s3 == b.s3;
}

}  // namespace

bool is_block_type(TypeId type) {
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH:
        return true;
    default:
        return false;
    }
}

bool is_string_type(TypeId type) {
    switch (type) {
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF:
        return true;
    default:
        return false;
    }
}

Cell element_at(const Cell* s, uint32_t index) {
    const uint8_t* at = unit_at(s, index);
    int unit = buffer_of(s)->unit();
    TypeId t = s->type();
    if (is_block_type(t) || t == TYPE_MAP) return *reinterpret_cast<const Cell*>(at);
    if (t == TYPE_VECTOR) return vector::get_value(at, unit, vector::element_of(s));
    if (t == TYPE_BINARY) return integer_cell(*at);
    return char_cell(string::get_char(at, unit));
}

bool is_series_type(TypeId type) {
    return is_block_type(type) || is_string_type(type) || type == TYPE_BINARY || type == TYPE_VECTOR ||
           type == TYPE_IMAGE;
}

bool vs_tail_q(const Cell* s) { return head_index(s) >= int64_t(vs_abs_length(s)); }

uint32_t vs_abs_length(const Cell* s) {
    const Series* b = buffer_of(s);
    return b->used_bytes() >> shift_of(b);
}

bool vs_skip(Cell* s, int32_t n) {
    int64_t total = vs_abs_length(s);
    int64_t moved = int64_t(head_index(s)) + n;
    if (moved >= 0 && moved <= total) s->s1 = uint32_t(moved);
    return head_index(s) >= total;
}

uint32_t vs_length(Cell* s, bool from_start) {
    uint32_t total = vs_abs_length(s);
    if (from_start) return total;
    int32_t h = head_index(s);
    if (h < 0) return total;
    if (uint32_t(h) >= total) {
        s->s1 = total;
        return 0;
    }
    return total - uint32_t(h);
}

int32_t get_position(const Cell* s, const Cell* index, bool at) {
    if (!index->is(TYPE_INTEGER)) fire(err::invalid_arg, index);
    int64_t total = vs_abs_length(s);
    int64_t h = std::clamp<int64_t>(head_index(s), 0, total);
    int64_t i = index->i32();
    int64_t p = at && i >= 1 ? h + i - 1 : h + i;
    return int32_t(std::clamp<int64_t>(p, 0, total));
}

uint8_t* unit_at(const Cell* s, uint32_t index) {
    Series* b = buffer_of(s);
    return b->head_ptr() + bytes_of(b, index);
}

int64_t part_distance(const Cell* s, const Cell* part) {
    if (part->is(TYPE_INTEGER)) return part->i32();
    if (!same_series(s, part)) bad_refinement("part", part);
    int64_t total = vs_abs_length(s);
    return std::min<int64_t>(head_index(part), total) - std::min<int64_t>(head_index(s), total);
}

void remove_units(const Cell* s, uint32_t start, uint32_t count) {
    Series* b = buffer_of(s);
    uint8_t* gap = unit_at(s, start);
    uint8_t* rest = std::min(gap + bytes_of(b, count), b->tail_ptr());
    std::memmove(gap, rest, size_t(b->tail_ptr() - rest));
    b->tail -= uint32_t(rest - gap);
}

Cell* copy_units(const Cell* s, uint32_t start, uint32_t count, Cell* out) {
    Cell source = *s;
    int unit = buffer_of(&source)->unit();
    NodeId node = memory::alloc_series(count ? count : 1, unit, 0);
    Series* fresh = memory::series_of(node);
    const Series* from = buffer_of(&source);
    constexpr uint32_t not_inherited = SERIES_OWNED | SERIES_LOCATION | SERIES_MIDDLE | SERIES_MARK;
    fresh->flags = (from->flags & ~not_inherited) | (fresh->flags & SERIES_LOCATION);
    uint64_t bytes = bytes_of(from, count);
    std::memcpy(fresh->data(), unit_at(&source, start), bytes);
    fresh->tail = uint32_t(bytes);
    uint32_t extra = source.is(TYPE_VECTOR) ? source.s3 : 0;
    *out = make_cell(source.type(), 0, node, extra);
    return out;
}

Cell* copy_part_units(const Cell* s, uint32_t start, uint32_t count, Cell* out) {
    uint32_t new_line = s->header & FLAG_NEW_LINE;
    copy_units(s, start, count, out);
    out->set_flag(new_line);
    return out;
}

Cell* search(ActionSlot slot, Cell* s, const Cell* value, const FindArgs& args) {
    auto handler = reinterpret_cast<action::Find>(datatype::raw_handler(s->type(), slot));
    if (!handler) fire(err::not_done);
    return handler(s, value, args);
}

TakePlan plan_take(Cell* s, const Cell* part, bool last) {
    uint32_t length = vs_length(s);
    if (length == 0) return {0, 0, true};
    uint32_t h = repaired_head(s);
    int64_t n = 1;
    if (part && part->is(TYPE_INTEGER)) n = part->i32();
    else if (part) {
        int64_t distance = part_distance(s, part);
        n = distance < 0 ? 0 : last ? length - distance : distance;
    }
    if (n == 0) return {h, 0, false};  // nothing asked for: nothing taken
    if (n < 0) {
        if (last) return {h, 0, false};
        uint32_t count = uint32_t(std::min<int64_t>(-n, h));
        return {h - count, count, false};
    }
    uint32_t count = uint32_t(std::min<int64_t>(n, length));
    return {last ? h + length - count : h, count, false};
}

Cell* at(Cell* s, const Cell* index) {
    s->s1 = uint32_t(get_position(s, index, true));
    return s;
}

Cell* skip(Cell* s, const Cell* offset) {
    s->s1 = uint32_t(get_position(s, offset, false));
    return s;
}

Cell* head(Cell* s) {
    s->s1 = 0;
    return s;
}

Cell* tail(Cell* s) {
    s->s1 = vs_abs_length(s);
    return s;
}

bool head_q(const Cell* s) { return head_index(s) == 0; }

bool tail_q(const Cell* s) { return vs_tail_q(s); }

int32_t index_q(const Cell* s) { return head_index(s) + 1; }

int32_t length_q(const Cell* s) {
    Cell probe = *s;
    return int32_t(vs_length(&probe));
}

Cell* next(Cell* s) {
    vs_skip(s, 1);
    return s;
}

Cell* back(Cell* s) {
    uint32_t h = repaired_head(s);
    if (h > 0) s->s1 = h - 1;
    return s;
}

Cell* pick(Cell* s, int32_t index, const Cell*) {
    int64_t p = indexed_position(s, index);
    if (p < 0) return set_none(s);
    *s = element_at(s, uint32_t(p));
    return s;
}

Cell* poke(Cell* s, int32_t index, const Cell*, const Cell* value) {
    Cell v = *value;
    int64_t p = poke_position(s, index);
    if (ownership::before(*s, Change::poke, &v, int32_t(p), 1)) p = poke_position(s, index);
    store_unit(s, uint32_t(p), v);
    ownership::after(*s, Change::poke, &v, int32_t(p), 1);
    *s = v;
    return s;
}

Cell* clear(Cell* s) {
    uint32_t length = vs_length(s);
    if (length == 0) return s;
    ownership::before(*s, Change::clear, nullptr, int32_t(repaired_head(s)), int32_t(length));
    Series* b = buffer_of(s);
    b->tail = uint32_t(unit_at(s, repaired_head(s)) - b->data());
    ownership::after(*s, Change::clear, nullptr, int32_t(repaired_head(s)), 0);
    return s;
}

Cell* remove(Cell* s, const Cell* part, const Cell* key) {
    int64_t count = part ? part_distance(s, part) : 1;
    if (count < 1) return s;
    Cell result = *s;
    if (key) {
        FindArgs args{};
        args.case_sensitive = true;
        result = *search(A_FIND, &result, key, args);
        if (result.is(TYPE_NONE)) return set_none(s);
        ++count;
    }
    uint32_t start = repaired_head(&result);
    if (start < vs_abs_length(s)) {
        int32_t removed = int32_t(std::min<int64_t>(count, vs_abs_length(s) - start));
        if (ownership::before(*s, Change::remove, nullptr, int32_t(start), removed))
            start = std::min(start, vs_abs_length(s));
        removed = int32_t(std::min<int64_t>(removed, vs_abs_length(s) - start));
        remove_units(s, start, uint32_t(removed));
        ownership::after(*s, Change::remove, nullptr, int32_t(start), removed);
    }
    *s = result;
    return s;
}

Cell* reverse(Cell* s, const Cell* part, const Cell* skip) {
    uint32_t length = vs_length(s);
    if (length == 0) return s;
    int64_t count = length;
    if (part) {
        count = part_distance(s, part);
        if (count < 1) return s;
        count = std::min<int64_t>(count, length);
    }
    int64_t width = 1;
    if (skip) {
        if (!skip->is(TYPE_INTEGER)) bad_refinement("skip", skip);
        width = skip->i32();
        if (width == count) return s;
        if (width < 1) fire(err::out_of_range, skip);
        if (count < width || count % width != 0) bad_refinement("skip", skip);
    }
    if (ownership::before(*s, Change::reverse, nullptr, int32_t(repaired_head(s)), int32_t(count))) {
        count = std::min<int64_t>(count, vs_length(s));
        count -= count % width;
    }
    reverse_records(s, repaired_head(s), uint32_t(count), uint32_t(width));
    ownership::after(*s, Change::reverse, nullptr, int32_t(repaired_head(s)), int32_t(count));
    return s;
}

Cell* take(Cell* s, const Cell* part, bool, bool last) {
    TakePlan plan = plan_take(s, part, last);
    if (!plan.none && ownership::before(*s, Change::take, nullptr, int32_t(plan.start), int32_t(plan.count)))
        plan = plan_take(s, part, last);
    if (plan.none) return set_none(s);
    Cell source = *s;
    copy_units(s, plan.start, plan.count, s);
    remove_units(&source, plan.start, plan.count);
    ownership::after(source, Change::take, nullptr, int32_t(plan.start), int32_t(plan.count));
    return s;
}

Cell* copy(Cell* s, const Cell* part, bool, const Cell*) {
    int64_t total = vs_abs_length(s);
    int64_t h = std::clamp<int64_t>(head_index(s), 0, total);
    int64_t start = h;
    int64_t count = total - h;
    if (part && part->is(TYPE_PAIR)) {
        int64_t x = int32_t(part->s2);
        int64_t y = int32_t(part->s3);
        start = std::max<int64_t>(x < 0 ? h + x : h + x - 1, 0);
        count = y < x ? 0 : y - x;
    } else if (part) {
        count = part_distance(s, part);
    }
    if (count < 0) {
        count = -count;
        start -= count;
        if (start < 0) {
            start = 0;
            count = h;
        }
    }
    start = std::min(start, total);
    count = std::min(count, total - start);
    return copy_part_units(s, uint32_t(start), uint32_t(count), s);
}

namespace {

// What a move does: nothing (giving the target or the source back), or move `count` units from
// `from`, inside one series or between two.
struct MovePlan {
    enum Outcome { give_target, give_source, move } outcome;
    uint32_t from = 0;
    uint32_t count = 0;
};

MovePlan plan_move(Cell* origin, Cell* destination, const Cell* part) {
    uint32_t length = vs_length(origin);
    int64_t count = part ? part_distance(origin, part) : 1;
    if (length == 0 || count < 1) return {MovePlan::give_target};
    count = std::min<int64_t>(count, length);
    uint32_t from = repaired_head(origin);
    if (origin->s2 == destination->s2) {
        uint32_t total = vs_abs_length(origin);
        uint32_t to = std::min<uint32_t>(repaired_head(destination), total);
        bool inside_run = to > from && to < from + count;
        if (to == from || inside_run) return {MovePlan::give_target};
        if (to > from && to < total && total - to < count) return {MovePlan::give_source};
    } else if (buffer_of(origin)->unit() != buffer_of(destination)->unit() || !same_elements(*origin, *destination)) {
        if (convertible_units(origin->type(), destination->type())) fire(err::not_done);
        Cell a = datatype_cell(origin->type());
        Cell b = datatype_cell(destination->type());
        fire(err::move_bad, &a, &b);
    }
    return {MovePlan::move, from, uint32_t(count)};
}

}  // namespace

Cell* move(Cell* origin, const Cell* target, const Cell* part) {
    Cell destination = *target;
    if (!is_series_type(destination.type())) {
        Cell action = datatype::word_arg("move");
        Cell type = datatype_cell(destination.type());
        Cell argument = datatype::word_arg("target");
        fire(err::expect_arg, &action, &type, &argument);
    }
    MovePlan plan = plan_move(origin, &destination, part);
    if (plan.outcome == MovePlan::move &&
        ownership::before(*origin, Change::move, &destination, int32_t(plan.from), int32_t(plan.count)))
        plan = plan_move(origin, &destination, part);
    if (plan.outcome == MovePlan::give_source) return origin;
    if (plan.outcome == MovePlan::move) {
        if (origin->s2 == destination.s2)
            move_within(origin, plan.from, plan.count, std::min(repaired_head(&destination), vs_abs_length(origin)));
        else
            move_into(origin, plan.from, plan.count, &destination);
        ownership::after(*origin, Change::move, &destination, int32_t(plan.from), int32_t(plan.count));
    }
    *origin = destination;
    return origin;
}

namespace {

// Equal bytes from the head give the generator the same seed.
void seed_from(Cell* s) {
    uint32_t length = vs_length(s);
    uint64_t bytes = bytes_of(buffer_of(s), length);
    random::seed(int32_t(hashtable::murmur3(unit_at(s, repaired_head(s)), size_t(bytes), hashtable::seed())));
}

// Each position from the head swaps with a uniform pick among itself and the units after it.
void shuffle_units(const Cell* s, uint32_t start, uint32_t length, bool secure) {
    uint64_t unit = bytes_of(buffer_of(s), 1);
    uint8_t* at = unit_at(s, start);
    for (uint32_t remaining = length; remaining > 0; --remaining, at += unit) {
        uint64_t j = uint64_t(random::int_in_range(int32_t(remaining), secure)) - 1;
        std::swap_ranges(at, at + unit, at + j * unit);
    }
}

void give_owner(const Cell& s, const Cell& spec) {
    const auto* items = reinterpret_cast<const Cell*>(unit_at(&spec, head_index(&spec)));
    Rooted owner(items[0]);
    Rooted word(items[1]);
    ownership::set_owner(s, *owner, *word);
}

}  // namespace

Cell* random(Cell* s, bool seed, bool secure, bool only) {
    if (seed) {
        seed_from(s);
        *s = unset_cell();
        return s;
    }
    uint32_t length = vs_length(s);
    if (only) {
        if (length == 0) return set_none(s);
        uint32_t p = repaired_head(s) + uint32_t(random::int_in_range(int32_t(length), secure)) - 1;
        *s = element_at(s, p);
        return s;
    }
    if (ownership::before(*s, Change::random, nullptr, int32_t(repaired_head(s)), int32_t(length)))
        length = vs_length(s);
    shuffle_units(s, repaired_head(s), length, secure);
    ownership::after(*s, Change::random, nullptr, int32_t(repaired_head(s)), int32_t(length));
    return s;
}

Cell* reflect(Cell* s, const Cell* field) {
    if (!word_names::is(*field, words::sym::owned)) fire(err::not_done);
    const Cell* owner = ownership::owner_of(s->s2);
    *s = owner ? *owner : none_cell();
    return s;
}

Cell* modify(Cell* s, const Cell* field, const Cell* value, bool) {
    const Cell v = *value;
    if (word_names::is(*field, words::sym::owned)) {
        Cell spec = v;
        if (v.is(TYPE_NONE)) ownership::unbind(*s);
        else if (v.is(TYPE_BLOCK) && vs_length(&spec) >= 2) give_owner(*s, v);
    }
    *s = v;
    return s;
}

namespace {

const SlotHandler series_actions[] = {
    act<A_RANDOM>(random),
    act<A_REFLECT>(reflect),
    act<A_AT>(at),
    act<A_BACK>(back),
    act<A_CLEAR>(clear),
    act<A_COPY>(copy),
    act<A_HEAD>(head),
    act<A_HEAD_Q>(head_q),
    act<A_INDEX_Q>(index_q),
    act<A_LENGTH_Q>(length_q),
    act<A_MOVE>(move),
    act<A_NEXT>(next),
    act<A_PICK>(pick),
    act<A_POKE>(poke),
    act<A_REMOVE>(remove),
    act<A_REVERSE>(reverse),
    act<A_SKIP>(skip),
    act<A_TAIL>(tail),
    act<A_TAIL_Q>(tail_q),
    act<A_TAKE>(take),
    act<A_MODIFY>(modify),
};

}  // namespace

}  // namespace vyn::series

namespace vyn {

void series_init() {
    datatype::register_type(TYPE_SERIES, TYPE_NONE_ID, "series!", UNSUPPORTED, series::series_actions);
}

}  // namespace vyn
