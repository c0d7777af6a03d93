// The routines of the text functions: `split`'s pieces cut in one pass. The pieces are the ones a
// parse of `copy s to dlm` and `num skip` collects: the delimiter is found as parse's `to` finds
// it and each piece is copied as parse copies input.
#include <algorithm>
#include <cstdint>

#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "eval/native_support.hpp"
#include "eval/routines.hpp"

namespace vyn::routines {
namespace {

using natives::args;
using routine_table::Binding;
using routine_table::Definition;

// `count` characters of the input from `start`, a series of the input's type.
Cell copy_part(const Cell& input, uint32_t start, uint32_t count) {
    Cell* mark = stack::top;
    Cell* slot = stack::push(input);
    slot->s1 = start;
    Cell part = integer_cell(int32_t(count));
    Cell copy = *actions::handler_of<A_COPY>(slot)(slot, &part, false, nullptr);
    stack::top = mark;
    return copy;
}

// series [any-string!] dlm [string! char! bitset!]: none for an empty delimiter, which would cut
// empty pieces forever (`split` raises its error then).
void split_text(int32_t) {
    Cell* a = args();
    Rooted input(a[0]);
    const Cell dlm = a[1];  // held by the argument frame
    const uint32_t skip = dlm.is(TYPE_STRING) ? string::length(&dlm) : 1;
    if (skip == 0) return stack::set_result(none_cell());
    input->s1 = std::min(input->s1, memory::series_of(input->s2)->length());
    Rooted pieces;
    block::make_at(pieces.get(), 8);
    for (uint32_t pos = input->s1;;) {
        const uint32_t end = memory::series_of(input->s2)->length();
        const uint32_t found = string::next_match(input.get(), pos, &dlm);
        Rooted piece(copy_part(*input, pos, found - pos));
        block::vs_append(pieces.get(), piece.get());
        if (found == end) break;
        pos = found + skip;
    }
    stack::set_result(*pieces);
}

const Definition text_routines[] = {
    {"split-text", split_text, Binding::none},
};

}  // namespace

void init_text() { routine_table::register_list(text_routines); }

}  // namespace vyn::routines
