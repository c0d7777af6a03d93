// The interpreter's loop and calls. Every value held across an evaluation step is either on the
// argument stack or in a Rooted cell, and block cells are re-read by index after each step,
// since any step can allocate and move buffers. Operators on plain numbers and plain stores
// through set-words skip their frames: they can neither fail nor run code that would see them.
#include "eval/interp.hpp"

#include <algorithm>
#include <utility>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/eval_hooks.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block_search.hpp"
#include "datatypes/float.hpp"
#include "datatypes/native.hpp"
#include "datatypes/routine_table.hpp"
#include "datatypes/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/words.hpp"
#include "eval/interp_internal.hpp"
#include "eval/native_entries.hpp"
#include "eval/natives.hpp"
#include "eval/number_ops.hpp"
#include "eval/plan.hpp"
#include "eval/trace.hpp"

namespace vyn::interp {

Cell current_code;

void missing_argument(const Cell& name, const Cell& entry) {
    Cell word = name;
    Cell arg = make_cell(TYPE_WORD, 0, entry.s3, uint32_t(-1));
    fire(err::no_arg, &word, &arg);
}

void wrong_argument_type(const Cell& name, const Cell& entry, const Cell& value) {
    Cell word = name;
    Cell type = datatype_cell(value.type());
    Cell arg = make_cell(TYPE_WORD, 0, entry.s3, uint32_t(-1));
    fire(err::expect_arg, &word, &type, &arg);
}

namespace {

// ---- Argument lists ----

Cell argument_entry(const Cell& spec, uint32_t i, uint32_t n, typeset::ArgClass cls, uint32_t symbol) {
    Cell ts = typeset::default_types();
    if (i + 1 < n) {
        Cell next = value_at(spec, i + 1);
        if (next.is(TYPE_BLOCK) && next.s1 < length_of(next)) ts = typeset::from_spec(next);
    }
    typeset::set_arg_class(ts, cls);
    ts.s3 = symbol;  // type ids stay below 64: the third slot names the argument
    return ts;
}

Cell make_arg_list(const Cell& callable) {
    bool native = callable.is(TYPE_NATIVE) || callable.is(TYPE_ACTION);
    Cell spec = make_cell(TYPE_BLOCK, 0, callable.s2);
    Rooted list(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(8)));
    uint32_t n = length_of(spec);
    uint32_t refinements = 0;
    int32_t locals = -1;
    for (uint32_t i = 0; i < n; ++i) {
        Cell v = value_at(spec, i);
        Cell entry;
        switch (v.type()) {
        case TYPE_WORD:
        case TYPE_GET_WORD:
        case TYPE_LIT_WORD:
            if (locals >= 0) {
                if (v.is(TYPE_WORD)) ++locals;
                continue;
            }
            entry = argument_entry(spec, i, n,
                                   v.is(TYPE_WORD) ? typeset::ARG_EVALUATED
                                   : v.is(TYPE_GET_WORD) ? typeset::ARG_LITERAL : typeset::ARG_QUOTED,
                                   v.s2);
            break;
        case TYPE_REFINEMENT:
            if (locals >= 0) continue;
            if (symbol::resolve(v.s2) == symbol::resolve(words::ref::local.s2)) {
                locals = 1;
                continue;
            }
            entry = v;
            if (native) entry.s3 = ++refinements;
            break;
        case TYPE_SET_WORD:
            if (symbol::resolve(v.s2) != symbol::resolve(words::sym::return_)) fire(err::bad_func_def, &v);
            if (locals >= 0) goto done;
            entry = argument_entry(spec, i, n, typeset::ARG_RETURN, v.s2);
            break;
        default:
            continue;
        }
        *memory::alloc_tail_cell(list->s2) = entry;
    }
done:
    if (!native && locals > 0) *memory::alloc_tail_cell(list->s2) = integer_cell(locals);
    if (native && refinements > 0) *memory::alloc_tail_cell(list->s2) = integer_cell(int32_t(refinements));
    return *list;
}

// ---- Arguments ----

struct Call {
    Call(const Cell* callable_cell, const Cell* name_word, bool infix_call, bool literal_arguments)
        : callable(callable_cell), name(name_word), infix(infix_call), literal(literal_arguments) {}

    const Cell* callable;  // on the argument stack or rooted
    const Cell* name;      // the calling word, or nullptr
    NodeId list = 0;       // the argument list, kept alive by the callable
    bool native = false;
    bool infix;
    bool literal;  // every argument is the value in the code as it is (apply, calls from C++)
    int32_t refinements[MAX_REFINEMENTS];  // natives: one entry per refinement, filled per call
};


Cell call_word(const Call& call) {
    if (call.name) return *call.name;
    Cell w = make_cell(TYPE_WORD, 0, stack::anon_symbol, uint32_t(-1));
    return w;
}

inline void check_type(const Call& call, const Cell& entry, const Cell& value) {
    if (!typeset::has(entry, value.type())) wrong_argument_type(call_word(call), entry, value);
}

// The argument classes other than an evaluated one, and arguments missing at the end.
uint32_t fetch_unevaluated(const Call& call, const Cell& entry, typeset::ArgClass cls, const Cell& code,
                           uint32_t pos, uint32_t end) {
    if (pos >= end) {
        if (cls == typeset::ARG_QUOTED && typeset::has(entry, TYPE_UNSET)) {
            stack::push(unset_cell());
            return pos;
        }
        missing_argument(call_word(call), entry);
    }
    Cell v = value_at(code, pos);
    trace::event(trace::FETCH, &code, pos, &v);
    if (cls == typeset::ARG_QUOTED) {
        if (v.is(TYPE_PAREN)) {
            stack::mark(FRAME_NATIVE_KIND, stack::anon_symbol);
            eval(v, true);
            stack::unwind();
            return pos + 1;
        }
        if (v.is(TYPE_GET_WORD)) {
            stack::push(*context::get(v));
            return pos + 1;
        }
        if (v.is(TYPE_GET_PATH)) return eval_expression(code, pos, end, true, true, false);
    }
    stack::push(v);
    return pos + 1;
}

// An argument that is one value standing alone: a value that is its own result, or a word holding
// one, with no word after it that could be an operator. Pushed without an expression step;
// false, having done nothing, for any other argument.
bool push_lone_value(const Cell& code, uint32_t pos, uint32_t end) {
    const Cell* cells = cells_of(code);
    if (pos + 1 < end && cells[pos + 1].is(TYPE_WORD)) return false;
    const Cell* value = &cells[pos];
    if (value->is(TYPE_WORD)) {
        value = context::bound_value(*value);
        if (!value || callable(value->type()) || value->is(TYPE_UNSET) || value->is(TYPE_OP)) return false;
    } else if (needs_step(value->type())) {
        return false;
    }
    stack::push(*value);
    return true;
}

bool eval_plain(const Cell& code, uint32_t pos, uint32_t end, Cell& result, uint32_t& next);

// An argument that needs no frame: a lone value, or (unless the call is infix, whose arguments
// take no operators) a plain number expression. Pushed, with the position after it in `next`.
bool push_frameless_argument(const Call& call, const Cell& code, uint32_t pos, uint32_t end, uint32_t& next) {
    if (trace::on) return false;
    if (push_lone_value(code, pos, end)) {
        next = pos + 1;
        return true;
    }
    Cell value;
    if (call.infix || !eval_plain(code, pos, end, value, next)) return false;
    stack::push(value);
    return true;
}

uint32_t fetch_argument(const Call& call, const Cell& entry, const Cell& code, uint32_t pos, uint32_t end) {
    typeset::ArgClass cls = call.literal ? typeset::ARG_LITERAL : typeset::arg_class(entry);
    if (cls == typeset::ARG_EVALUATED && pos < end) {
        uint32_t next;
        if (push_frameless_argument(call, code, pos, end, next)) return next;
        return eval_expression(code, pos, end, call.infix, true, false);
    }
    return fetch_unevaluated(call, entry, cls, code, pos, end);
}

// Fetches the arguments of the list entries from i up to the next entry that is not one into
// the frame; returns the position. A list never changes once made, so its length is read once;
// its buffer is found again for each entry, since each argument may allocate and move it.
uint32_t fetch_arguments(const Call& call, uint32_t& i, const Cell& code, uint32_t pos, uint32_t end) {
    for (uint32_t count = list_length(call.list); i < count; ++i) {
        Cell entry = list_entry(call.list, i);
        if (!entry.is(TYPE_TYPESET)) break;
        if (typeset::arg_class(entry) == typeset::ARG_RETURN) continue;
        pos = fetch_argument(call, entry, code, pos, end);
        check_type(call, entry, stack::top[-1]);
    }
    return pos;
}

}  // namespace

// Finds a refinement of the list by symbol; gives its list index and its slot in the frame.
bool find_refinement(NodeId list, uint32_t symbol, uint32_t& index, uint32_t& slot) {
    uint32_t n = list_length(list);
    uint32_t s = 0;
    uint32_t canonical = symbol::resolve(symbol);
    for (uint32_t i = 0; i < n; ++i) {
        Cell e = list_entry(list, i);
        if (e.is(TYPE_TYPESET) && typeset::arg_class(e) == typeset::ARG_RETURN) continue;
        if (e.is(TYPE_REFINEMENT) && (e.s2 == symbol || symbol::resolve(e.s2) == canonical)) {
            index = i;
            slot = s;
            return true;
        }
        if (e.is(TYPE_INTEGER)) break;
        ++s;
    }
    return false;
}

namespace {

// Pushes false for each refinement and none for each of its arguments, then the locals: /local
// false and the others none (function frames).
void push_local_slots(NodeId list, uint32_t i) {
    each_local_slot(list, i, [](const Cell& slot) { stack::push(slot); });
}

// `path` is the calling path, named by the error for a refinement used twice.
uint32_t use_refinement(Call& call, const Cell* path, const Cell& selector, const Cell& code, uint32_t pos,
                        uint32_t end) {
    Cell r = selector;
    bool off = false;
    if (r.is(TYPE_GET_WORD)) {
        Cell v = *context::get(r);
        off = v.is(TYPE_NONE) || (v.is(TYPE_LOGIC) && !v.s1);
    } else if (!r.is(TYPE_WORD) && !r.is(TYPE_REFINEMENT)) {
        fire(err::bad_refine, &r);
    }
    // A refinement switched off is still one the callee must have.
    uint32_t index = 0, slot = 0;
    if (!find_refinement(call.list, r.s2, index, slot)) {
        Cell word = call_word(call);
        Cell ref = make_cell(TYPE_REFINEMENT, 0, r.s2, uint32_t(-1));
        fire(err::no_refine, &word, &ref);
    }
    if (off) return pos;
    Cell entry = list_entry(call.list, index);
    uint32_t next = index + 1;
    if (call.native) {
        int32_t& at = call.refinements[entry.s3 - 1];
        if (at != -1) fire(err::dup_refine, path);
        at = int32_t(stack::top - stack::base);
        return fetch_arguments(call, next, code, pos, end);
    }
    Cell* flag = stack::base + slot;
    if (flag->is(TYPE_LOGIC) && flag->s1) fire(err::dup_refine, path);
    *flag = logic_cell(true);
    // The arguments are fetched above the frame's slots, where the collector sees them and the
    // slots filled so far, then moved into their own slots.
    Cell* fetched = stack::top;
    pos = fetch_arguments(call, next, code, pos, end);
    std::copy(fetched, stack::top, flag + 1);
    stack::top = fetched;
    return pos;
}

// The index of the first argument entry: an infix call's left operand, already in place.
uint32_t first_argument(NodeId list) {
    uint32_t i = 0;
    while (!list_entry(list, i).is(TYPE_TYPESET) || typeset::arg_class(list_entry(list, i)) == typeset::ARG_RETURN) ++i;
    return i;
}

uint32_t eval_arguments(Call& call, const Cell& code, uint32_t pos, uint32_t end, const Cell* path,
                        uint32_t path_index) {
    uint32_t i = 0;
    if (call.infix) {
        i = first_argument(call.list);
        check_type(call, list_entry(call.list, i), *stack::base);
        ++i;
    }
    pos = fetch_arguments(call, i, code, pos, end);
    if (!call.native) push_local_slots(call.list, i);
    if (path) {
        uint32_t n = length_of(*path);
        for (uint32_t k = path_index; k < n; ++k) pos = use_refinement(call, path, value_at(*path, k), code, pos, end);
    }
    trace::event(trace::CALL, &code, pos, call.callable, path ? path : call.name);
    return pos;
}

// ---- Paths ----

enum PathForm { PATH_CALL, PATH_GET, PATH_SET };

Cell selector_of(const Cell& element) {
    if (element.is(TYPE_GET_WORD)) return *context::get(element);
    if (element.is(TYPE_PAREN)) {
        stack::mark(FRAME_NATIVE_KIND, stack::anon_symbol);
        eval(element, true);
        Cell r = *stack::base;
        stack::unwind_reset();
        return r;
    }
    return element;
}

// Values kept whole in their cell: a path set on one changes the walk's copy only.
bool held_in_cell(TypeId type) {
    switch (type) {
    case TYPE_PAIR: case TYPE_TUPLE: case TYPE_POINT2D: case TYPE_POINT3D: case TYPE_TIME: case TYPE_DATE:
    case TYPE_TRIPLE: return true;
    default: return false;
    }
}

// Puts a changed in-cell value back where the walk took it from: the head word, or the element
// `selector` of `holder` (set through the holder's own path access, so its owner hears of it).
void store_back(const Cell* path, const Cell& head, Cell* holder, const Cell* selector, const Cell* changed,
                int32_t position) {
    if (position == 1) {
        context::set(head, *changed);
        return;
    }
    PathStep step{path, holder, nullptr, position - 1, false, true, true};
    datatype::handler<A_EVAL_PATH>(holder->type())(holder, selector, changed, step);
}

uint32_t eval_path(const Cell& code, uint32_t pos, uint32_t end, const Cell& path_value, PathForm form,
                   bool push, const Cell* value) {
    Rooted path(path_value);
    uint32_t n = length_of(*path);
    if (path->s1 >= n) fire(err::empty_path, path.get());
    Cell head = value_at(*path, path->s1);
    if (!head.is(TYPE_WORD)) fire(err::word_first, path.get());
    trace::event(trace::ENTER, path.get(), path->s1, nullptr);
    trace::event(trace::FETCH, path.get(), path->s1, &head);
    Rooted current(*context::get(head));
    if (current->is(TYPE_UNSET)) fire(err::unset_path, path.get(), &head);
    if (callable(current->type())) {
        if (form == PATH_SET) fire(err::invalid_path_set, path.get());
        if (form == PATH_GET) fire(err::invalid_path_get, path.get());
        return eval_call(*current, code, pos, end, push, &head, false, path.get(), path->s1 + 1);
    }
    Rooted parent(none_cell());
    Rooted selector;
    Rooted holder(none_cell());
    Rooted previous(none_cell());
    for (uint32_t i = path->s1 + 1; i < n; ++i) {
        Cell element = value_at(*path, i);
        trace::event(trace::FETCH, path.get(), i, &element);
        *selector = selector_of(element);
        if (selector->is(TYPE_UNSET)) fire(err::invalid_path, path.get(), &element);
        auto handler = datatype::handler<A_EVAL_PATH>(current->type());
        if (!handler) {
            Cell type = datatype_cell(current->type());
            fire(err::bad_path_type, path.get(), &type, &element);
        }
        bool last = i + 1 == n;
        PathStep step{path.get(), parent.get(), nullptr, int32_t(i - path->s1), false, last,
                      form == PATH_SET && last};
        *holder = *parent;
        *parent = *current;
        Cell* result = handler(current.get(), selector.get(), form == PATH_SET && last ? value : nullptr, step);
        *current = *result;
        trace::event(trace::PUSH, path.get(), i, current.get());
        // An in-cell value answers a set with its changed self.
        if (step.notify && held_in_cell(parent->type()) && current->is(parent->type()))
            store_back(path.get(), head, holder.get(), previous.get(), current.get(), step.position);
        *previous = *selector;
        if (form == PATH_CALL && callable(current->type()))
            return eval_call(*current, code, pos, end, push, &element, false, path.get(), i + 1);
    }
    give(form == PATH_SET ? *value : *current, push);
    trace::event(trace::EXIT, path.get(), path->s1, form == PATH_SET ? value : current.get());
    return pos;
}

}  // namespace

namespace {

// Applies a number operator to `left` and the plain number `operand`; false, changing nothing,
// when the operator or the operands are not such.
[[gnu::always_inline]] inline bool apply_plain_operator(const Cell& op, Cell& left, const Cell& operand) {
    if (!is_plain_number(left)) return false;
    NumberOp kind = number_op_of(native::op_source(op), op.s1);
    Cell right;
    if (kind.kind == NumberOp::none || !plain_number(operand, right)) return false;
    apply_number_op(kind, left, right);
    return true;
}

// Applies the number operators that follow a plain number in `value` to plain right operands,
// from `pos`; returns the position of the first value that is not such an operator and operand.
[[gnu::always_inline]] inline uint32_t fold_plain_operators(const Cell* cells, uint32_t pos, uint32_t end, Cell& value) {
    for (; pos + 1 < end; pos += 2) {
        const Cell* op = cells[pos].is(TYPE_WORD) ? operator_value(cells[pos]) : nullptr;
        if (!op || !apply_plain_operator(*op, value, cells[pos + 1])) break;
    }
    return pos;
}

// An expression of plain numbers joined by number operators (`i + 1`, `n < 2`) needs no frame
// and cannot fail: its value, and the position after it. False, having changed nothing, for
// any other expression.
[[gnu::always_inline]] inline bool eval_plain(const Cell& code, uint32_t pos, uint32_t end, Cell& result, uint32_t& next) {
    const Cell* cells = cells_of(code);
    if (!plain_number(cells[pos], result)) return false;
    next = fold_plain_operators(cells, pos + 1, end, result);
    return next >= end || !cells[next].is(TYPE_WORD) || !operator_value(cells[next]);
}

// ---- Expressions ----

}  // namespace

uint32_t check_infix(const Cell& code, uint32_t next, uint32_t end, bool push, Cell* start_top) {
    while (next < end) {
        Cell word = value_at(code, next);
        if (!word.is(TYPE_WORD)) break;
        const Cell* value = operator_value(word);
        if (!value) break;
        trace::event(trace::FETCH, &code, next, &word);
        Cell left = *start_top;
        if (!trace::on && next + 1 < end && apply_plain_operator(*value, left, value_at(code, next + 1))) {
            stack::top = start_top;
            give(left, push);
            next += 2;
            continue;
        }
        Cell fn = *value;
        fn.header = (fn.header >> 16) & 0xFF;
        stack::top = start_top;
        next = eval_call(fn, code, next + 1, end, push, &word, true);
    }
    return next;
}

namespace {

uint32_t eval_set_word(const Cell& code, const Cell& word, uint32_t next, uint32_t end, bool push) {
    if (next >= end) fire(err::need_value, &word);
    Cell value;
    uint32_t after;
    Cell* slot = trace::on ? nullptr : context::plain_store_slot(word);
    if (slot && eval_plain(code, next, end, value, after)) {
        *slot = value;
        give(value, push);
        return after;
    }
    check_native_stack();
    stack::mark(FRAME_NATIVE_KIND, word.s2, word.s1);
    uint32_t at = next - 1;
    trace::event(trace::PUSH, &code, at, stack::push(word));
    next = eval_expression(code, next, end, false, true, false);
    value = *stack::last();
    if (value.is(TYPE_UNSET)) fire(err::need_value, &word);
    context::set(word, value);
    stack::set_result(value);
    trace::event(trace::SET, &code, at, &value, &word);
    pop_frame(push);
    return next;
}

uint32_t eval_set_path(const Cell& code, const Cell& path, uint32_t next, uint32_t end, bool push) {
    if (next >= end) fire(err::need_value, &path);
    check_native_stack();
    stack::mark(FRAME_NATIVE_KIND, words::set_path.s2);
    uint32_t at = next - 1;
    trace::event(trace::PUSH, &code, at, stack::push(path));
    next = eval_expression(code, next, end, false, true, false);
    Rooted value(*stack::last());
    eval_path(code, next, end, path, PATH_SET, false, value.get());
    trace::event(trace::SET, &code, at, value.get(), &path);
    pop_frame(push);
    return next;
}

}  // namespace

void mark_roots() { collector::mark_cell(current_code); }

void init() {
    current_code = none_cell();
    collector::add_root(mark_roots);
    eval_hooks::install({eval, eval_function, &current_code});
    string::set_function_caller([](const Cell* function, const Cell* a, const Cell* b) {
        return block::call_function(*function, *a, *b);
    });
    stack::body_symbol = words::frame_body.s2;
    stack::anon_symbol = words::frame_anon.s2;
    init_number_ops();
    plan::init();
    trace::init();
}

namespace {

// A block of one plain number expression (`[n]`, `[i < 10]`) has a value no frame could see.
// Such an expression is an operand and pairs of operator and operand: an odd count of values.
[[gnu::always_inline]] inline bool eval_plain_block(const Cell& block, uint32_t length, Cell& value) {
    if (trace::on || block.s1 >= length || (length - block.s1) % 2 == 0) return false;
    // A block of one value, the commonest (`[n]`), is answered here.
    if (length - block.s1 == 1) return plain_number(cells_of(block)[block.s1], value);
    uint32_t after;
    return eval_plain(block, block.s1, length, value, after) && after >= length;
}

// The interpreter's block loop, for a block without a ready analysis. Kept out of the block
// entry, which runs for every block, so that the entry saves fewer registers.
[[gnu::noinline]] void walk_block(Cell& code, uint32_t length) {
    uint32_t pos = code.s1;
    if (pos >= length) stack::set_result(unset_cell());
    for (uint32_t end = length; pos < end;) {
        current_code.s1 = code.s1 = pos;
        const uint32_t start = pos;
        pos = eval_expression(code, pos, end, false, false, false);
        trace::event(trace::EXPR, &code, start, stack::base);
        end = length_of(code);
        if (pos < end) stack::reset();
    }
}

// A traced block is walked, every step reporting its events, between `enter` and `exit`.
[[gnu::noinline]] void traced_walk(Cell& code, uint32_t length) {
    const Cell block = code;  // held meanwhile by the current code
    trace::fire(trace::ENTER, &block, block.s1, nullptr, nullptr);
    walk_block(code, length);
    trace::event(trace::EXIT, &block, block.s1, stack::base);
}

// Evaluates a block in the current frame, whose argument cells are free (top at base): each
// expression's value goes to the result cell.
[[gnu::always_inline]] inline void eval_in_frame(const Cell& block, uint32_t length) {
    with_current_code(block, [&](Cell& code) {
        if (trace::on) [[unlikely]] return traced_walk(code, length);
        if (!plan::run(code, length)) walk_block(code, length);
    });
}

}  // namespace

// Its own frame keeps the result apart from the caller's cells, unless the caller's frame holds
// nothing yet and takes the result where the paren's frame would put it.
void eval_paren(const Cell& paren, bool push) {
    if (push || stack::top != stack::base) {
        eval(paren, !push);
    } else {
        check_native_stack();
        eval_in_frame(paren, length_of(paren));
    }
}

bool plain_block_value(const Cell& block, uint32_t length, Cell& value) {
    return eval_plain_block(block, length, value);
}

void eval(const Cell& block, bool keep_result) {
    Cell plain;
    uint32_t length = length_of(block);
    if (eval_plain_block(block, length, plain)) {
        if (keep_result) stack::set_result(plain);
        else stack::push(plain);
        return;
    }
    check_native_stack();
    stack::mark(FRAME_EVAL_KIND, stack::body_symbol);
    eval_in_frame(block, length);
    if (keep_result) stack::unwind_last();
    else stack::unwind();
}

void eval_as_result(const Cell& block) {
    Cell plain;
    uint32_t length = length_of(block);
    if (eval_plain_block(block, length, plain)) {
        stack::set_result(plain);
        return;
    }
    check_native_stack();
    const Cell code = block;  // `block` may lie in the cells given up
    stack::reset();
    eval_in_frame(code, length);
}

namespace {

// A word's value that is not called: unset! and op! raise; a number takes the operators after it.
uint32_t give_word_value(const Cell& code, const Cell& word, Cell value, uint32_t next, uint32_t end, bool no_infix,
                         bool push) {
    if (value.is(TYPE_UNSET)) fire(err::no_value, &word);
    if (value.is(TYPE_OP)) fire(err::no_op_arg, &word);
    if (!no_infix && !trace::on && is_plain_number(value)) next = fold_plain_operators(cells_of(code), next, end, value);
    give(value, push);
    trace::event(trace::PUSH, &code, next - 1, &value);
    return next;
}

[[gnu::noinline]] uint32_t eval_step(const Cell& code, Cell v, uint32_t next, uint32_t end, bool push, bool literal) {
    switch (v.type()) {
    case TYPE_PAREN: eval_paren(v, push); return next;
    case TYPE_SET_WORD: return eval_set_word(code, v, next, end, push);
    case TYPE_LIT_WORD: v.set_type(TYPE_WORD); break;
    case TYPE_GET_WORD: v = *context::get(v); break;
    case TYPE_ISSUE: {
        uint32_t s = symbol::resolve(v.s2);
        if ((s == symbol::resolve(words::sym::system) || s == symbol::resolve(words::sym::system_global)) &&
            next < end && value_at(code, next).is(TYPE_BLOCK))
            fire(err::vyn_system);
        break;
    }
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
        if (!literal) return eval_call(v, code, next, end, push, nullptr, false);
        break;
    case TYPE_OP: fire(err::not_done);
    case TYPE_PATH: return eval_path(code, next, end, v, PATH_CALL, push, nullptr);
    case TYPE_LIT_PATH: v.set_type(TYPE_PATH); break;
    case TYPE_SET_PATH: return eval_set_path(code, v, next, end, push);
    case TYPE_GET_PATH: return eval_path(code, next, end, v, PATH_GET, push, nullptr);
    default: break;
    }
    give(v, push);
    trace::event(trace::PUSH, &code, next - 1, &v);
    return next;
}

}  // namespace

uint32_t eval_expression(const Cell& code, uint32_t pos, uint32_t end, bool no_infix, bool push, bool literal) {
    Cell* start_top = stack::top;
    const Cell v = value_at(code, pos);
    uint32_t next = pos + 1;
    trace::event(trace::FETCH, &code, pos, &v);
    // Calls are made from here rather than from helpers: each recursion level costs native stack.
    Cell value = v;
    if (v.is(TYPE_WORD)) {
        value = *context::get(v);
        if (callable(value.type())) next = eval_call(value, code, next, end, push, &v, false);
        else next = give_word_value(code, v, value, next, end, no_infix, push);
    } else if (needs_step(v.type())) {
        next = eval_step(code, v, next, end, push, literal);
    } else {
        if (!no_infix && !trace::on && is_plain_number(value)) next = fold_plain_operators(cells_of(code), next, end, value);
        give(value, push);
        trace::event(trace::PUSH, &code, pos, &value);
    }
    // Only a word can name an operator.
    if (!no_infix && next < end && value_at(code, next).is(TYPE_WORD)) next = check_infix(code, next, end, push, start_top);
    return next;
}

uint32_t eval_next(const Cell& code, uint32_t pos, uint32_t end, bool push) {
    stack::mark(FRAME_NATIVE_KIND, stack::body_symbol);
    const uint32_t start = pos;
    // An expression that may run to the block's tail can go through the block's analysis.
    bool analysed = !trace::on && end == length_of(code) && plan::next_expression(code, start, pos);
    if (!analysed) pos = eval_expression(code, pos, end, false, true, false);
    trace::event(trace::EXPR, &code, start, stack::top - 1);
    pop_frame(push);
    return pos;
}

Cell get_path(const Cell& path) {
    eval_path(path, 0, 0, path, PATH_GET, true, nullptr);
    Cell value = *stack::last();
    stack::pop(1);
    return value;
}

void set_path(const Cell& path, const Cell& value) {
    Rooted kept(value);
    eval_path(path, 0, 0, path, PATH_SET, true, kept.get());
    stack::pop(1);
}

Cell arg_list(const Cell& callable) {
    const Cell c = callable;  // making the list may move the cell `callable` lies in
    uint32_t slot = c.is(TYPE_NATIVE) || c.is(TYPE_ACTION) ? uint32_t(NATIVE_ARGS) : uint32_t(EXTRA_ARGS);
    Cell cached = extra_of(c)[slot];
    if (cached.is(TYPE_BLOCK)) return cached;
    Cell list = make_arg_list(c);
    extra_of(c)[slot] = list;
    return list;
}

// The callable's argument list node; the list is made on the first call.
NodeId arg_list_of(const Cell& fn) {
    uint32_t slot = fn.is(TYPE_NATIVE) || fn.is(TYPE_ACTION) ? uint32_t(NATIVE_ARGS) : uint32_t(EXTRA_ARGS);
    Cell cached = extra_of(fn)[slot];
    return cached.is(TYPE_BLOCK) ? cached.s2 : arg_list(fn).s2;
}

// Runs a native or action whose arguments are in place; number operators need no entry.
void run_native(const Cell& fn, const int32_t* refinements) {
    Cell* args = stack::base;
    NumberOp op = number_op_of(fn.type(), fn.s1);
    if (op.kind != NumberOp::none && is_plain_number(args[0]) && is_plain_number(args[1])) {
        apply_number_op(op, args[0], args[1]);
        return;
    }
    if (fn.is(TYPE_ACTION)) {
        actions::table[fn.s1 - 1](refinements);
        return;
    }
    natives::Native entry = natives::table[fn.s1 - 1];
    if (!entry) fire(err::not_done);  // a slot no native fills
    entry(0, refinements);
}

void run_routine(const Cell& routine) {
    const Cell* extra = extra_of(routine);
    int32_t second = extra[EXTRA_SECOND].i32();
    routine_table::at(extra[EXTRA_CODE].i32()).entry(second);
}

namespace {

// Runs a call of `fn`, which stays held (on the argument stack or rooted) until it returns; the
// result is left as pop_frame(push) leaves it.
inline uint32_t run_call(const Cell& fn, const Cell& code, uint32_t pos, uint32_t end, bool push, const Cell* name,
                         bool infix, const Cell* path, uint32_t path_index, bool literal) {
    Call call(&fn, name, infix, literal);
    uint32_t symbol = name ? name->s2 : stack::anon_symbol;
    NodeId word_context = name ? name->s1 : 0;
    switch (fn.type()) {
    case TYPE_FUNCTION:
        stack::mark(FRAME_FUNCTION_KIND, symbol, word_context, fn.s1, context::context_cell(fn.s1).s2);
        break;
    case TYPE_NATIVE:
    case TYPE_ACTION:
        call.native = true;
        stack::mark(FRAME_NATIVE_KIND, symbol, word_context);
        std::fill_n(call.refinements, MAX_REFINEMENTS, -1);  // an entry may read more than its spec lists
        break;
    case TYPE_ROUTINE: stack::mark(FRAME_NATIVE_KIND, symbol, word_context); break;
    default: fire(err::not_done);
    }
    // The left operand, already in place, is the first argument: in the frame before making the
    // argument list can collect.
    if (infix) ++stack::top;
    call.list = arg_list_of(fn);
    pos = eval_arguments(call, code, pos, end, path, path_index);
    if (call.native) run_native(fn, call.refinements);
    else if (fn.is(TYPE_ROUTINE)) run_routine(fn);
    else eval_function(fn, 0);
    pop_frame(push);
    return pos;
}

}  // namespace

namespace {

uint32_t make_call(const Cell& callable_value, const Cell& code, uint32_t pos, uint32_t end, bool push,
                   const Cell* name, bool infix, const Cell* path, uint32_t path_index, bool literal) {
    if (infix) {
        // The left operand is where the holder would be: the op is rooted instead.
        Rooted op(callable_value);
        return run_call(*op, code, pos, end, push, name, true, path, path_index, literal);
    }
    // The holder under the frame keeps the callable alive; in push mode it takes the result.
    Cell* holder = stack::push(callable_value);
    pos = run_call(*holder, code, pos, end, push, name, false, path, path_index, literal);
    if (push) {
        *holder = *stack::last();
        stack::top = holder + 1;
    }
    return pos;
}

// A call between its `open` and `return` events.
[[gnu::noinline]] uint32_t traced_call(const Cell& callable_value, const Cell& code, uint32_t pos, uint32_t end,
                                       bool push, const Cell* name, bool infix, const Cell* path,
                                       uint32_t path_index, bool literal) {
    Rooted fn(callable_value);
    Rooted held_code(code);
    trace::fire(trace::OPEN, held_code.get(), pos - 1, name ? name : fn.get(), nullptr);
    pos = make_call(*fn, *held_code, pos, end, push, name, infix, path, path_index, literal);
    trace::event(trace::RETURN, held_code.get(), pos, push ? stack::top - 1 : stack::base, path ? path : name);
    return pos;
}

}  // namespace

uint32_t eval_call(const Cell& callable_value, const Cell& code, uint32_t pos, uint32_t end, bool push,
                   const Cell* name, bool infix, const Cell* path, uint32_t path_index, bool literal) {
    check_native_stack();
    if (trace::on) [[unlikely]] return traced_call(callable_value, code, pos, end, push, name, infix, path, path_index, literal);
    return make_call(callable_value, code, pos, end, push, name, infix, path, path_index, literal);
}

void trace_body(trace::Event event, const stack::Frame* frame, const Cell& function, const Cell& body,
                const Cell* result) {
    Rooted fn(function);
    Rooted code(body);
    Cell name = make_cell(TYPE_WORD, frame->word_context, frame->symbol, uint32_t(-1));
    trace::fire(event, code.get(), code->s1, event == trace::PROLOG ? fn.get() : result, &name);
}

void eval_function(const Cell& function, uint32_t) {
    run_function_frame(function, [](const Cell& body) { eval(body, true); });
}

}  // namespace vyn::interp
