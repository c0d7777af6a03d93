// Output and text natives. `print` reduces a block into a stretch of one shared buffer that
// starts at the buffer's tail and is cut back however the call ends, so a print nested inside
// the reduction of another works above the outer one's stretch and no block is allocated.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/casefold.hpp"
#include "core/hooks.hpp"
#include "core/os/console_out.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/value_slots.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/binary_codecs.hpp"
#include "datatypes/block.hpp"
#include "datatypes/file.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_coding.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/natives.hpp"

namespace vyn::natives {
namespace {

int32_t buffer_slot = 0;  // the kept-value slot of the print buffer, 0 until the first print
bool last_new_line = true;

// The print buffer: a block in a kept-value slot, so that the collector keeps it.
Cell buffer() {
    if (const Cell* kept = buffer_slot ? value_slots::get(buffer_slot) : nullptr) return *kept;
    Rooted made;
    block::make_at(made.get(), 32);
    buffer_slot = value_slots::store(*made);
    return *made;
}

// Cuts the print buffer back to where a stretch began.
struct Stretch {
    uint32_t start = tail_of(buffer());
    ~Stretch() {
        Cell b = buffer();
        block::vs_clip(&b, start);
    }
};

void emit(const Cell& text, bool new_line) {
    if (hooks::value_hook_count() > 0) return hooks::run_print(&text, new_line);
    string::View v = string::view_of(&text);
    console::write(v.data, size_t(v.length) * size_t(v.unit), v.unit, new_line);
}

void output(bool new_line) {
    Stretch stretch;
    Rooted value(args()[0]);
    if (value->is(TYPE_BLOCK)) {
        Cell into = buffer();
        into.s1 = stretch.start;
        reduce_into(*value, into);
        *value = into;
    }
    if (value->is(TYPE_STRING)) {
        string::clamp_head(value.get());
    } else {
        Rooted text(string::make(64));
        mold::form_value(value.get(), text.get(), nullptr, INT32_MAX);
        *value = *text;
    }
    emit(*value, new_line);
    last_new_line = new_line;
    stack::set_result(unset_cell());
}

// The number of characters a /part limit covers from the string's head: a count, or a position
// in the same string; never past the tail.
uint32_t part_count(const Cell& s, const Cell* part) {
    uint32_t length = string::length(&s);
    if (!part) return length;
    if (part->is(TYPE_INTEGER)) return uint32_t(std::clamp<int64_t>(part->i32(), 0, length));
    if (part->is(TYPE_FLOAT) || part->is(TYPE_PERCENT)) {
        double n = part->f64();
        return std::isnan(n) ? 0 : uint32_t(std::clamp(n, 0.0, double(length)));
    }
    return uint32_t(std::clamp<int64_t>(series::part_distance(&s, part), 0, length));
}

void change_case(casefold::Case to, const int32_t* refinements) {
    Cell* value = args();
    if (value->is(TYPE_CHAR)) {
        value->s2 = casefold::change_char(value->s2, to);
        return stack::keep();
    }
    uint32_t head = string::clamp_head(value);
    uint32_t count = part_count(*value, refinement_arg(refinements, 0));
    for (uint32_t i = head; i < head + count; ++i) {
        uint32_t cp = string::abs_at(value, i);
        uint32_t changed = casefold::change_char(cp, to);
        if (changed != cp) string::poke_char(string::node_of(value), i, changed);
    }
    stack::keep();
}

template <typename Code>
void recode(Code code) {
    Rooted out(string::make(string::length(args())));
    code(args(), out.get());
    stack::set_result(*out);
}

// The base a /base refinement gives (64 without it); one the codecs do not know is refused.
int codec_base(const int32_t* refinements) {
    const Cell* base = refinement_arg(refinements, 0);
    if (!base) return 64;
    if (!binary::is_codec_base(base->i32())) fire(err::invalid_arg, base);
    return base->i32();
}

// A new string! of the reserved size; the encoder fills it from the bytes `read` gives once it is
// made, since making it may move the bytes.
template <typename Read>
Cell encoded(int base, uint64_t n, Read read) {
    uint64_t capacity = binary::encoded_capacity(base, n);
    if (capacity > SERIES_MAX_CAPACITY) fire(err::too_long);
    Rooted text(string::make(uint32_t(capacity)));
    Series* b = string::buffer_of(text.get());
    size_t written = binary::encode(base, read(), std::span<uint8_t>(b->head_ptr(), b->capacity - b->head));
    b->tail = b->head + uint32_t(written);
    return *text;
}

void set_marker(Cell& c, bool on) {
    if (on) c.set_flag(FLAG_NEW_LINE);
    else c.clear_flag(FLAG_NEW_LINE);
}

// From the position to the tail, every period-th cell gets the marker as `value` says and the
// cells between get the opposite.
void set_markers(const Cell& position, bool value, uint32_t period) {
    Cell* cells = memory::series_of(position.s2)->cells();
    for (uint32_t k = 0; position.s1 + k < tail_of(position); ++k)
        set_marker(cells[position.s1 + k], k % period == 0 ? value : !value);
}

}  // namespace

void init_print_buffer() {
    buffer_slot = 0;
    last_new_line = true;
}

Cell print_buffer() { return buffer(); }

bool last_output_ended_line() { return last_new_line; }

namespace entry {

void print(int32_t, const int32_t*) { output(true); }

void prin(int32_t, const int32_t*) { output(false); }

void uppercase(int32_t, const int32_t* refinements) { change_case(casefold::Case::upper, refinements); }

void lowercase(int32_t, const int32_t* refinements) { change_case(casefold::Case::lower, refinements); }

void dehex(int32_t, const int32_t*) { recode(url::dehex); }

void enhex(int32_t, const int32_t*) {
    bool strict = args()->is(TYPE_STRING);
    recode([strict](const Cell* text, Cell* out) { url::enhex(text, out, strict); });
}

void debase(int32_t, const int32_t* refinements) {
    int base = codec_base(refinements);
    string::View text = string::view_of(args());
    auto bytes = binary::decode(base, text.data, text.length, text.unit);
    stack::set_result(bytes ? string::binary_of(bytes->data(), bytes->size()) : none_cell());
}

void enbase(int32_t, const int32_t* refinements) {
    int base = codec_base(refinements);
    Cell* value = args();
    if (value->is(TYPE_BINARY)) {
        uint64_t n = binary::bytes_of(value).size();
        return stack::set_result(encoded(base, n, [value] { return binary::bytes_of(value); }));
    }
    std::string utf8 = string::to_utf8(value);
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size());
    stack::set_result(encoded(base, bytes.size(), [bytes] { return bytes; }));
}

void to_local_file(int32_t, const int32_t* refinements) {
    Rooted out(string::make(string::length(args())));
    file::path_to_local(args(), out.get(), used(refinements, 0));
    stack::set_result(*out);
}

void new_line(int32_t, const int32_t* refinements) {
    Cell* a = args();
    bool value = a[1].s1 != 0;
    const Cell* skip = refinement_arg(refinements, 1);
    if (used(refinements, 0) || skip) {
        if (!used(refinements, 0) && skip->i32() < 1) fire(err::out_of_range, skip);
        set_markers(a[0], value, used(refinements, 0) ? 1 : uint32_t(skip->i32()));
    } else if (a[0].s1 < tail_of(a[0])) {
        set_marker(memory::series_of(a[0].s2)->cells()[a[0].s1], value);
    }
    stack::keep();
}

void new_line_q(int32_t, const int32_t*) {
    const Cell& position = args()[0];
    bool marked = position.s1 < tail_of(position) && cell_at(position, position.s1).has_flag(FLAG_NEW_LINE);
    stack::set_result(logic_cell(marked));
}

}  // namespace entry
}  // namespace vyn::natives
