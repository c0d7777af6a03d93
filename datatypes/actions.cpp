// Action entries: each turns the refinement indexes into the typed arguments of its slot and
// calls the handler of the first argument's type. Only form, mold, the insertion actions, copy,
// the predicates and the length queries do more than pass their arguments on.
#include "datatypes/actions.hpp"

#include <charconv>

#include "core/raise.hpp"
#include "core/stack.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/error.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"

namespace vyn::actions {
namespace {

using stack::base;

Cell* arg(int i) { return base + i; }
bool flag(const int32_t* r, int i) { return r[i] >= 0; }
const Cell* ref_arg(const int32_t* r, int i) { return r[i] < 0 ? nullptr : base + r[i]; }

void set_result(const Cell* out) {
    if (out && out != base) *base = *out;
}

void set_logic(bool value) { *base = logic_cell(value); }

void set_length(int32_t n) { *base = n < 0 ? none_cell() : integer_cell(n); }

// A /part limit, or no limit when absent.
int32_t part_limit(const Cell* part) {
    if (!part) return INT32_MAX;
    if (part->is(TYPE_INTEGER)) return part->i32();
    fire(err::invalid_part, part);
}

void truncate_text(Cell* s, int32_t chars) {
    Series* b = string::buffer_of(s);
    uint32_t limit = b->head + uint32_t(chars) * uint32_t(b->unit());
    if (b->tail > limit) b->tail = limit;
}

// Form and mold write into a new string that lives on the stack while the handler runs.
template <typename Write>
void text_entry(const Cell* part, Write write) {
    int32_t limit = part_limit(part);
    if (limit < 1) {
        *base = string::make(0);
        return;
    }
    Cell* out = stack::push(string::make(64));
    write(out, limit);
    if (part) truncate_text(out, limit);
    *base = *out;
    stack::top = base + 1;
}

// The /part argument of insert, append and change as a count of values: an integer, or a
// position in the inserted series itself.
Cell part_count(const Cell* value, const Cell* part) {
    if (!part) return integer_cell(-1);
    if (!series::is_series_type(value->type())) fire(err::invalid_part, part);
    if (part->is(TYPE_INTEGER)) return *part;
    if (part->type() != value->type() || part->s2 != value->s2) {
        const Cell refinement = datatype::word_arg("part");
        fire(err::invalid_refine_arg, &refinement, part);
    }
    uint32_t tail = memory::series_of(value->s2)->length();
    uint32_t from = value->s1 < tail ? value->s1 : tail;
    uint32_t to = part->s1 < tail ? part->s1 : tail;
    return integer_cell(int32_t(to) - int32_t(from));
}

template <int Slot>
void insertion_entry(const int32_t* r) {
    const Cell* dup = ref_arg(r, 2);
    if (dup && dup->is(TYPE_INTEGER) && dup->i32() < 1) return;  // nothing to insert
    Cell count = part_count(arg(1), ref_arg(r, 0));
    const Cell* part = ref_arg(r, 0) ? &count : nullptr;
    set_result(handler_of<Slot>(arg(0))(arg(0), arg(1), part, flag(r, 1), dup));
}

// The /part of change counts the items replaced in the changed series, not in the value, so any
// value may replace them: an integer, or a position in the changed series itself.
void change_entry(const int32_t* r) {
    const Cell* dup = ref_arg(r, 2);
    if (dup && dup->is(TYPE_INTEGER) && dup->i32() < 1) return;  // nothing to write
    const Cell* part = ref_arg(r, 0);
    Cell count = part ? integer_cell(int32_t(series::part_distance(arg(0), part))) : none_cell();
    set_result(handler_of<A_CHANGE>(arg(0))(arg(0), arg(1), part ? &count : nullptr, flag(r, 1), dup));
}

template <int Slot>
void unary_entry(const int32_t*) {
    set_result(handler_of<Slot>(arg(0))(arg(0)));
}

template <int Slot>
void binary_entry(const int32_t*) {
    set_result(handler_of<Slot>(arg(0))(arg(0), arg(1)));
}

template <int Slot>
void predicate_entry(const int32_t*) {
    set_logic(handler_of<Slot>(arg(0))(arg(0)));
}

template <int Slot>
void length_entry(const int32_t*) {
    set_length(handler_of<Slot>(arg(0))(arg(0)));
}

template <int Slot>
void at_entry(const int32_t*) {
    set_result(handler_of<Slot>(arg(0))(arg(0), arg(1)));
}

void make_entry(const int32_t*) {
    set_result(handler_of<A_MAKE>(arg(0))(arg(0), arg(1), dispatch_type(arg(0), A_MAKE)));
}

void to_entry(const int32_t*) {
    set_result(handler_of<A_TO>(arg(0))(arg(0), arg(1), dispatch_type(arg(0), A_TO)));
}

void random_entry(const int32_t* r) {
    set_result(handler_of<A_RANDOM>(arg(0))(arg(0), flag(r, 0), flag(r, 1), flag(r, 2)));
}

void reflect_entry(const int32_t*) { set_result(handler_of<A_REFLECT>(arg(0))(arg(0), arg(1))); }

// The most common form, an integer's, is written straight into a string of its own: its longest
// text fits the smallest buffer, and digits copied there from elsewhere would be read back at once.
Cell formed_integer(int32_t value) {
    constexpr uint32_t longest = 11;  // -2147483648
    Cell out = string::make(longest);
    Series* b = string::buffer_of(&out);
    char* at = reinterpret_cast<char*>(b->tail_ptr());
    b->tail += uint32_t(std::to_chars(at, at + longest, value).ptr - at);
    return out;
}

void form_entry(const int32_t* r) {
    Cell value = *arg(0);
    if (value.is(TYPE_INTEGER) && !ref_arg(r, 0)) {
        *base = formed_integer(value.i32());
        return;
    }
    text_entry(ref_arg(r, 0), [&](Cell* out, int32_t limit) {
        handler_of<A_FORM>(&value)(&value, out, nullptr, limit);
    });
}

void mold_entry(const int32_t* r) {
    Cell value = *arg(0);
    MoldArgs args{flag(r, 0), flag(r, 1), flag(r, 2), 0};
    text_entry(ref_arg(r, 3), [&](Cell* out, int32_t limit) {
        handler_of<A_MOLD>(&value)(&value, out, args, nullptr, limit);
    });
}

void round_entry(const int32_t* r) {
    RoundArgs args{ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)};
    set_result(handler_of<A_ROUND>(arg(0))(arg(0), args));
}

void copy_entry(const int32_t* r) {
    const Cell* types = ref_arg(r, 2);
    if (types && !types->is(TYPE_DATATYPE) && !types->is(TYPE_TYPESET)) {
        Cell type = datatype_cell(types->type());
        fire(err::expect_arg, &type);
    }
    set_result(handler_of<A_COPY>(arg(0))(arg(0), ref_arg(r, 0), flag(r, 1), types));
}

FindArgs find_args(const int32_t* r, bool with_find_only_refinements) {
    FindArgs a{ref_arg(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4), ref_arg(r, 5),
               ref_arg(r, 6), flag(r, 7), flag(r, 8), false, false};
    if (with_find_only_refinements) {
        a.tail = flag(r, 9);
        a.match = flag(r, 10);
    }
    return a;
}

void find_entry(const int32_t* r) {
    set_result(handler_of<A_FIND>(arg(0))(arg(0), arg(1), find_args(r, true)));
}

void select_entry(const int32_t* r) {
    set_result(handler_of<A_SELECT>(arg(0))(arg(0), arg(1), find_args(r, false)));
}

void move_entry(const int32_t* r) {
    set_result(handler_of<A_MOVE>(arg(0))(arg(0), arg(1), ref_arg(r, 0)));
}

void pick_entry(const int32_t*) {
    set_result(handler_of<A_PICK>(arg(0))(arg(0), index_arg(arg(1)), arg(1)));
}

void poke_entry(const int32_t*) {
    set_result(handler_of<A_POKE>(arg(0))(arg(0), index_arg(arg(1)), arg(1), arg(2)));
}

void put_entry(const int32_t* r) {
    set_result(handler_of<A_PUT>(arg(0))(arg(0), arg(1), arg(2), flag(r, 0)));
}

void remove_entry(const int32_t* r) {
    set_result(handler_of<A_REMOVE>(arg(0))(arg(0), ref_arg(r, 0), ref_arg(r, 1)));
}

void reverse_entry(const int32_t* r) {
    set_result(handler_of<A_REVERSE>(arg(0))(arg(0), ref_arg(r, 0), ref_arg(r, 1)));
}

void sort_entry(const int32_t* r) {
    SortArgs a{flag(r, 0), ref_arg(r, 1), ref_arg(r, 2), ref_arg(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)};
    set_result(handler_of<A_SORT>(arg(0))(arg(0), a));
}

void swap_entry(const int32_t*) { set_result(handler_of<A_SWAP>(arg(0))(arg(0), arg(1))); }

void take_entry(const int32_t* r) {
    set_result(handler_of<A_TAKE>(arg(0))(arg(0), ref_arg(r, 0), flag(r, 1), flag(r, 2)));
}

void trim_entry(const int32_t* r) {
    set_result(handler_of<A_TRIM>(arg(0))(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                          flag(r, 4), ref_arg(r, 5)));
}

void modify_entry(const int32_t* r) {
    set_result(handler_of<A_MODIFY>(arg(0))(arg(0), arg(1), arg(2), flag(r, 0)));
}

void open_entry(const int32_t* r) {
    set_result(handler_of<A_OPEN>(arg(0))(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                          ref_arg(r, 4)));
}

void read_entry(const int32_t* r) {
    set_result(handler_of<A_READ>(arg(0))(arg(0), ref_arg(r, 0), ref_arg(r, 1), flag(r, 2),
                                          flag(r, 3), flag(r, 4), ref_arg(r, 5)));
}

void write_entry(const int32_t* r) {
    set_result(handler_of<A_WRITE>(arg(0))(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2),
                                           flag(r, 3), ref_arg(r, 4), ref_arg(r, 5), ref_arg(r, 6),
                                           ref_arg(r, 7)));
}

void rename_entry(const int32_t*) { set_result(handler_of<A_RENAME>(arg(0))(arg(0), arg(1))); }

// Path access and comparison are internal: they have no entry of their own.
void no_entry(const int32_t*) { fire(err::not_done); }

}  // namespace

const Entry table[ACTION_COUNT] = {
    make_entry,                       // make
    random_entry,                     // random
    reflect_entry,                    // reflect
    to_entry,                         // to
    form_entry,                       // form
    mold_entry,                       // mold
    no_entry,                         // eval-path
    no_entry,                         // set-path
    no_entry,                         // compare
    unary_entry<A_ABSOLUTE>,          // absolute
    binary_entry<A_ADD>,              // add
    binary_entry<A_DIVIDE>,           // divide
    binary_entry<A_MULTIPLY>,         // multiply
    unary_entry<A_NEGATE>,            // negate
    binary_entry<A_POWER>,            // power
    binary_entry<A_REMAINDER>,        // remainder
    round_entry,                      // round
    binary_entry<A_SUBTRACT>,         // subtract
    predicate_entry<A_EVEN_Q>,        // even?
    predicate_entry<A_ODD_Q>,         // odd?
    binary_entry<A_AND_T>,            // and~
    unary_entry<A_COMPLEMENT>,        // complement
    binary_entry<A_OR_T>,             // or~
    binary_entry<A_XOR_T>,            // xor~
    insertion_entry<A_APPEND>,        // append
    at_entry<A_AT>,                   // at
    unary_entry<A_BACK>,              // back
    change_entry,                     // change
    unary_entry<A_CLEAR>,             // clear
    copy_entry,                       // copy
    find_entry,                       // find
    unary_entry<A_HEAD>,              // head
    predicate_entry<A_HEAD_Q>,        // head?
    length_entry<A_INDEX_Q>,          // index?
    insertion_entry<A_INSERT>,        // insert
    length_entry<A_LENGTH_Q>,         // length?
    move_entry,                       // move
    unary_entry<A_NEXT>,              // next
    pick_entry,                       // pick
    poke_entry,                       // poke
    put_entry,                        // put
    remove_entry,                     // remove
    reverse_entry,                    // reverse
    select_entry,                     // select
    sort_entry,                       // sort
    at_entry<A_SKIP>,                 // skip
    swap_entry,                       // swap
    unary_entry<A_TAIL>,              // tail
    predicate_entry<A_TAIL_Q>,        // tail?
    take_entry,                       // take
    trim_entry,                       // trim
    unary_entry<A_CREATE>,            // create
    unary_entry<A_CLOSE>,             // close
    unary_entry<A_DELETE>,            // delete
    modify_entry,                     // modify
    open_entry,                       // open
    predicate_entry<A_OPEN_Q>,        // open?
    unary_entry<A_QUERY>,             // query
    read_entry,                       // read
    rename_entry,                     // rename
    unary_entry<A_UPDATE>,            // update
    write_entry,                      // write
};

void unsupported(const Cell* value) {
    Cell action = error::call_word();
    Cell type = datatype_cell(value->type());
    Cell argument = error::call_argument(0);
    fire(err::expect_arg, &action, &type, &argument);
}

int compare_order(const Cell* a, const Cell* b, int op) {
    if (a->is(TYPE_LOGIC) && b->is(TYPE_LOGIC)) return int(a->s1) - int(b->s1);
    auto fn = datatype::handler<A_COMPARE>(a->type());
    return fn ? fn(a, b, op) : -2;
}

bool compare(const Cell* a, const Cell* b, int op) {
    auto fn = datatype::handler<A_COMPARE>(a->type());
    int r = fn ? fn(a, b, op) : -2;
    bool equality = op <= 2 || op >= 9;
    if (r == -2 && !equality) fire(err::invalid_compare, a, b);
    switch (op) {
    case 1: return r != 0;
    case 3: return r < 0;
    case 4: return r <= 0;
    case 5: return r > 0;
    case 6: return r >= 0;
    default: return r == 0;
    }
}

int32_t index_arg(const Cell* v) {
    switch (v->type()) {
    case TYPE_LOGIC: return v->s1 ? 1 : 2;
    case TYPE_INTEGER:
    case TYPE_CHAR: return v->i32();
    default: return 0;
    }
}

int32_t form(const Cell* value, Cell* out, const Cell* part, int32_t budget) {
    return handler_of<A_FORM>(value)(value, out, part, budget);
}

int32_t mold(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return handler_of<A_MOLD>(value)(value, out, args, part, budget);
}

}  // namespace vyn::actions
