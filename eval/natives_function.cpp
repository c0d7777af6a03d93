// Function-making natives. All four end in the function! constructor with the body as it is, not
// copied: the function runs the very block it was given, so changing that block afterwards
// changes the function. Only the spec may be copied, when a native has to add to it.
#include <algorithm>

#include "core/rooted.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/words.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

void make_function(const Cell& spec, const Cell& body) {
    Rooted s(spec);
    Rooted b(body);
    s->s1 = std::min(s->s1, tail_of(*s));
    b->s1 = std::min(b->s1, tail_of(*b));
    uint32_t flags = function::check_spec(*s);
    function::push(*s, b.get(), 0, flags, function::Body::as_is);
    stack::set_result(*stack::last());
}

// A shallow copy of a block from its head, which a native may add to.
Cell spec_copy(const Cell& block) {
    Cell* mark = stack::top;
    Cell copy = *block::clone(&block, false, false);
    stack::top = mark;
    return copy;
}

}  // namespace

namespace entry {

void func(int32_t, const int32_t*) { make_function(args()[0], args()[1]); }

void function(int32_t, const int32_t*) {
    Cell* a = args();
    Rooted spec(spec_copy(a[0]));
    function::collect_locals(*spec, a[1]);
    make_function(*spec, a[1]);
}

void does(int32_t, const int32_t*) {
    Rooted spec(none_cell());
    block::make_at(spec.get(), 0);
    make_function(*spec, args()[0]);
}

void has(int32_t, const int32_t*) {
    Cell* a = args();
    Rooted spec(spec_copy(a[0]));
    block::vs_insert(spec.get(), &words::ref::local, false, true);
    make_function(*spec, a[1]);
}

}  // namespace entry
}  // namespace vyn::natives
