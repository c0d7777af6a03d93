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
void append_piece(const Cell* pieces, const Cell* input, uint32_t start, uint32_t count) {
    Cell piece;
    series::copy_units(input, start, count, &piece);
    piece.set_flag(input->header & FLAG_NEW_LINE);
    Series* cells = memory::series_of(pieces->s2);
    *cells->cell_tail() = piece;
    cells->tail += sizeof(Cell);
}

// How many times the byte occurs in [at, end).
uint32_t count_byte(const uint8_t* at, const uint8_t* end, uint8_t byte) {
    uint32_t count = 0;
    for (; at < end; ++at, ++count) {
        at = static_cast<const uint8_t*>(std::memchr(at, byte, size_t(end - at)));
        if (!at) break;
    }
    return count;
}

// One-byte text cut at a byte that alone matches the delimiter: the pieces are counted first, so
// the block is made once at its final size.
void split_at_byte(const Cell* input, uint8_t byte, Cell* pieces) {
    Series* text = memory::series_of(input->s2);
    const uint32_t end = text->length();
    block::make_at(pieces, 1 + count_byte(text->head_ptr() + input->s1, text->head_ptr() + end, byte));
    for (uint32_t pos = input->s1;;) {
        const uint8_t* head = memory::series_of(input->s2)->head_ptr();  // a piece's allocation may move it
        const void* hit = std::memchr(head + pos, byte, end - pos);
        const uint32_t found = hit ? uint32_t(static_cast<const uint8_t*>(hit) - head) : end;
        append_piece(pieces, input, pos, found - pos);
        if (!hit) return;
        pos = found + 1;
    }
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
