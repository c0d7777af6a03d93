// The routines of the text functions: `split`'s pieces cut in one pass. The pieces are the ones a
// parse of `copy s to dlm` and `num skip` collects: the delimiter is found as parse's `to` finds
// it and each piece is copied as parse copies input.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "datatypes/block.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "eval/native_support.hpp"
#include "eval/routines.hpp"

namespace vyn::routines {
namespace {

using natives::args;
using routine_table::Binding;
using routine_table::Definition;

// Appends `count` characters of the input from absolute index `start` as copy/part gives them:
// the input's type and buffer flags, and its new-line mark. The block has room for the cell, so
// nothing allocates between the copy and its store.
void append_piece(Cell* pieces, const Cell* input, uint32_t start, uint32_t count) {
    Cell piece;
    block::vs_append_in_room(pieces, *series::copy_part_units(input, start, count, &piece));
}

// Where a byte occurs in one-byte text from its head: every occurrence counted, the first ones
// kept, the text's length with them.
struct Cuts {
    static constexpr uint32_t KEPT = 32;
    uint32_t count = 0;
    uint32_t at[KEPT];
    uint32_t length;
};

Cuts find_cuts(const Cell* input, uint8_t byte) {
    Cuts cuts;
    Series* text = memory::series_of(input->s2);
    const uint8_t* head = text->head_ptr();
    const uint8_t* end = head + text->length();
    for (const uint8_t* at = head + input->s1; at < end; ++at, ++cuts.count) {
        at = static_cast<const uint8_t*>(std::memchr(at, byte, size_t(end - at)));
        if (!at) break;
        if (cuts.count < Cuts::KEPT) cuts.at[cuts.count] = uint32_t(at - head);
    }
    cuts.length = uint32_t(end - head);
    return cuts;
}

// The absolute index of the byte's next occurrence from `from` (there is one), found again past
// the kept ones: the pieces' allocations may have moved the text.
uint32_t next_byte(const Cell* input, uint32_t from, uint32_t length, uint8_t byte) {
    const uint8_t* head = memory::series_of(input->s2)->head_ptr();
    return uint32_t(static_cast<const uint8_t*>(std::memchr(head + from, byte, length - from)) - head);
}

// One-byte text cut at a byte that alone matches the delimiter, the block made at its final size.
void split_at_byte(const Cell* input, uint8_t byte, Cell* pieces) {
    const Cuts cuts = find_cuts(input, byte);
    block::make_at(pieces, cuts.count + 1);
    uint32_t pos = input->s1;
    for (uint32_t i = 0; i < cuts.count; ++i) {
        const uint32_t found = i < Cuts::KEPT ? cuts.at[i] : next_byte(input, pos, cuts.length, byte);
        append_piece(pieces, input, pos, found - pos);
        pos = found + 1;
    }
    append_piece(pieces, input, pos, cuts.length - pos);
}

// Any other delimiter is found as find without refinements finds it.
void split_at_matches(const Cell* input, const Cell* dlm, uint32_t skip, Cell* pieces) {
    block::make_at(pieces, 8);
    const uint32_t end = memory::series_of(input->s2)->length();
    for (uint32_t pos = input->s1;;) {
        const uint32_t found = string::next_match(input, pos, dlm);
        memory::ensure_room(pieces->s2, sizeof(Cell));
        append_piece(pieces, input, pos, found - pos);
        if (found == end) return;
        pos = found + skip;
    }
}

// An empty delimiter would cut empty pieces forever: split's error, raised by the library's
// cause-error as split raises it.
void refuse_delimiter(const Cell& dlm) {
    Rooted culprit;
    block::make_at(culprit.get(), 1);
    block::vs_append(culprit.get(), &dlm);
    natives::call_global("cause-error", {word::load("script"), word::load("invalid-arg"), *culprit});
}

// series [any-string!] dlm [string! char! bitset!]
void split_text(int32_t) {
    Cell* a = args();
    Rooted input(a[0]);
    const Cell dlm = a[1];  // held by the argument frame
    const uint32_t skip = dlm.is(TYPE_STRING) ? string::length(&dlm) : 1;
    if (skip == 0) return refuse_delimiter(dlm);
    string::clamp_head(input.get());
    Rooted pieces;
    const int byte = string::lone_byte_match(input.get(), &dlm);
    if (byte >= 0) split_at_byte(input.get(), uint8_t(byte), pieces.get());
    else split_at_matches(input.get(), &dlm, skip, pieces.get());
    stack::set_result(*pieces);
}

const Definition text_routines[] = {
    {"split-text", split_text, Binding::none},
};

}  // namespace

void init_text() { routine_table::register_list(text_routines); }

}  // namespace vyn::routines
