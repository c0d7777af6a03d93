// The interpreter's loop and calls. Every value held across an evaluation step is either on the
// argument stack or in a Rooted cell, and block cells are re-read by index after each step,
// since any step can allocate and move buffers.
#include "eval/interp.hpp"

#include <algorithm>

#include "core/context.hpp"
#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "core/words.hpp"
#include "datatypes/typeset.hpp"
#include "eval/actions.hpp"
#include "eval/natives.hpp"
#include "eval/stack.hpp"

namespace vyn::interp {

Cell current_code;

namespace {

constexpr int MAX_REFINEMENTS = 32;
constexpr uint32_t FRAME_EVAL_KIND = stack::FRAME_EVAL | stack::FRAME_INTERPRETED;
constexpr uint32_t FRAME_NATIVE_KIND = stack::FRAME_NATIVE | stack::FRAME_INTERPRETED;
constexpr uint32_t FRAME_FUNCTION_KIND = stack::FRAME_FUNCTION | stack::FRAME_INTERPRETED;

Series* block_of(const Cell& b) { return memory::series_of(b.s2); }
Cell value_at(const Cell& code, uint32_t i) { return block_of(code)->cells()[i]; }
uint32_t length_of(const Cell& code) { return block_of(code)->length(); }
Cell* extra_of(const Cell& callable) { return memory::series_of(callable.s3)->cells(); }

void give(const Cell& v, bool push) {
    if (push) stack::push(v);
    else stack::set_result(v);
}

void pop_frame(bool push) {
    if (push) stack::unwind();
    else stack::unwind_last();
}

bool callable(TypeId t) {
    return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// Restores `current_code` however the evaluation ends.
struct CodeGuard {
    Rooted saved{current_code};
    ~CodeGuard() { current_code = *saved; }
};

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
    const Cell* callable;  // on the argument stack or rooted
    const Cell* name;      // the calling word, or nullptr
    int32_t refinements[MAX_REFINEMENTS];
    bool native;
    bool infix;
    bool literal;  // every argument is the value in the code as it is (apply, calls from C++)
};

Cell call_word(const Call& call) {
    if (call.name) return *call.name;
    Cell w = make_cell(TYPE_WORD, 0, stack::anon_symbol, uint32_t(-1));
    return w;
}

[[noreturn]] void missing_argument(const Call& call, const Cell& entry) {
    Cell word = call_word(call);
    Cell arg = make_cell(TYPE_WORD, 0, entry.s3, uint32_t(-1));
    fire(err::no_arg, &word, &arg);
}

void check_type(const Call& call, const Cell& entry, const Cell& value) {
    if (typeset::has(entry, value.type())) return;
    Cell word = call_word(call);
    Cell type = datatype_cell(value.type());
    Cell arg = make_cell(TYPE_WORD, 0, entry.s3, uint32_t(-1));
    fire(err::expect_arg, &word, &type, &arg);
}

uint32_t fetch_argument(const Call& call, const Cell& entry, const Cell& code, uint32_t pos, uint32_t end) {
    typeset::ArgClass cls = call.literal ? typeset::ARG_LITERAL : typeset::arg_class(entry);
    if (pos >= end) {
        if (cls == typeset::ARG_QUOTED && typeset::has(entry, TYPE_UNSET)) {
            stack::push(unset_cell());
            return pos;
        }
        missing_argument(call, entry);
    }
    if (cls == typeset::ARG_EVALUATED) return eval_expression(code, pos, end, call.infix, true, false);
    Cell v = value_at(code, pos);
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

// Fetches the arguments of one list entry range [i, stop) into the frame; returns the position.
uint32_t fetch_arguments(const Call& call, const Cell& list, uint32_t& i, const Cell& code,
                         uint32_t pos, uint32_t end) {
    uint32_t n = length_of(list);
    for (; i < n; ++i) {
        Cell entry = value_at(list, i);
        if (!entry.is(TYPE_TYPESET)) break;
        if (typeset::arg_class(entry) == typeset::ARG_RETURN) continue;
        pos = fetch_argument(call, entry, code, pos, end);
        check_type(call, entry, *stack::last());
    }
    return pos;
}

// Finds a refinement of the list by symbol; gives its list index and its slot in the frame.
bool find_refinement(const Cell& list, uint32_t symbol, uint32_t& index, uint32_t& slot) {
    uint32_t n = length_of(list);
    uint32_t s = 0;
    uint32_t canonical = symbol::resolve(symbol);
    for (uint32_t i = 0; i < n; ++i) {
        Cell e = value_at(list, i);
        if (e.is(TYPE_TYPESET) && typeset::arg_class(e) == typeset::ARG_RETURN) continue;
        if (e.is(TYPE_REFINEMENT) && symbol::resolve(e.s2) == canonical) {
            index = i;
            slot = s;
            return true;
        }
        if (e.is(TYPE_INTEGER)) break;
        ++s;
    }
    return false;
}

// Pushes false for each refinement and none for each of its arguments (function frames).
void push_refinement_slots(const Cell& list, uint32_t i) {
    uint32_t n = length_of(list);
    for (; i < n; ++i) {
        Cell e = value_at(list, i);
        if (e.is(TYPE_REFINEMENT)) stack::push(logic_cell(false));
        else if (e.is(TYPE_TYPESET) && typeset::arg_class(e) != typeset::ARG_RETURN) stack::push(none_cell());
    }
}

uint32_t use_refinement(Call& call, const Cell& list, const Cell& selector, const Cell& code,
                        uint32_t pos, uint32_t end) {
    Cell r = selector;
    if (r.is(TYPE_GET_WORD)) {
        Cell v = *context::get(r);
        if (v.is(TYPE_NONE) || (v.is(TYPE_LOGIC) && !v.s1)) return pos;
    } else if (!r.is(TYPE_WORD) && !r.is(TYPE_REFINEMENT)) {
        fire(err::bad_refine, &r);
    }
    uint32_t index = 0, slot = 0;
    if (!find_refinement(list, r.s2, index, slot)) {
        Cell word = call_word(call);
        Cell ref = make_cell(TYPE_REFINEMENT, 0, r.s2, uint32_t(-1));
        fire(err::no_refine, &word, &ref);
    }
    Cell entry = value_at(list, index);
    uint32_t next = index + 1;
    if (call.native) {
        int32_t& at = call.refinements[entry.s3 - 1];
        if (at != -1) fire(err::dup_refine, call.callable);
        at = int32_t(stack::top - stack::base);
        return fetch_arguments(call, list, next, code, pos, end);
    }
    Cell* flag = stack::base + slot;
    if (flag->is(TYPE_LOGIC) && flag->s1) fire(err::dup_refine, call.callable);
    *flag = logic_cell(true);
    // The arguments are fetched above the frame's slots, where the collector sees them and the
    // slots filled so far, then moved into their own slots.
    Cell* fetched = stack::top;
    pos = fetch_arguments(call, list, next, code, pos, end);
    std::copy(fetched, stack::top, flag + 1);
    stack::top = fetched;
    return pos;
}

uint32_t eval_arguments(Call& call, const Cell& code, uint32_t pos, uint32_t end, const Cell* path,
                        uint32_t path_index) {
    if (call.infix) ++stack::top;  // the left operand is already in place
    Rooted list(arg_list(*call.callable));
    for (int32_t& r : call.refinements) r = -1;
    uint32_t i = 0;
    if (call.infix) {
        while (!value_at(*list, i).is(TYPE_TYPESET) ||
               typeset::arg_class(value_at(*list, i)) == typeset::ARG_RETURN)
            ++i;
        check_type(call, value_at(*list, i), *stack::base);
        ++i;
    }
    pos = fetch_arguments(call, *list, i, code, pos, end);
    if (!call.native) {
        push_refinement_slots(*list, i);
        Cell last = length_of(*list) ? value_at(*list, length_of(*list) - 1) : unset_cell();
        if (last.is(TYPE_INTEGER)) {  // locals: /local is false, the others none
            stack::push(logic_cell(false));
            for (int32_t k = 1; k < last.i32(); ++k) stack::push(none_cell());
        }
    }
    if (path) {
        uint32_t n = length_of(*path);
        for (uint32_t k = path_index; k < n; ++k)
            pos = use_refinement(call, *list, value_at(*path, k), code, pos, end);
    }
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
        // An in-cell value answers a set with its changed self.
        if (step.notify && held_in_cell(parent->type()) && current->is(parent->type()))
            store_back(path.get(), head, holder.get(), previous.get(), current.get(), step.position);
        *previous = *selector;
        if (form == PATH_CALL && callable(current->type()))
            return eval_call(*current, code, pos, end, push, &element, false, path.get(), i + 1);
    }
    give(form == PATH_SET ? *value : *current, push);
    return pos;
}

// ---- Expressions ----

uint32_t check_infix(const Cell& code, uint32_t next, uint32_t end, bool push, Cell* start_top) {
    while (next < end) {
        Cell word = value_at(code, next);
        if (!word.is(TYPE_WORD)) break;
        const Cell* value = context::value_or_null(word);
        if (!value || !value->is(TYPE_OP)) break;
        Cell fn = *value;
        fn.header = (fn.header >> 16) & 0xFF;
        stack::top = start_top;
        next = eval_call(fn, code, next + 1, end, push, &word, true);
    }
    return next;
}

uint32_t eval_set_word(const Cell& code, const Cell& word, uint32_t next, uint32_t end, bool push) {
    if (next >= end) fire(err::need_value, &word);
    stack::mark(FRAME_NATIVE_KIND, word.s2, word.s1);
    stack::push(word);
    next = eval_expression(code, next, end, false, true, false);
    Cell value = *stack::last();
    if (value.is(TYPE_UNSET)) fire(err::need_value, &word);
    context::set(word, value);
    stack::set_result(value);
    pop_frame(push);
    return next;
}

uint32_t eval_set_path(const Cell& code, const Cell& path, uint32_t next, uint32_t end, bool push) {
    if (next >= end) fire(err::need_value, &path);
    stack::mark(FRAME_NATIVE_KIND, words::set_path.s2);
    stack::push(path);
    next = eval_expression(code, next, end, false, true, false);
    Rooted value(*stack::last());
    eval_path(code, next, end, path, PATH_SET, false, value.get());
    pop_frame(push);
    return next;
}

}  // namespace

void init() {
    current_code = none_cell();
    stack::body_symbol = words::frame_body.s2;
    stack::anon_symbol = words::frame_anon.s2;
}

void eval(const Cell& block, bool keep_result) {
    CodeGuard guard;
    Rooted code(block);
    stack::mark(FRAME_EVAL_KIND, stack::body_symbol);
    uint32_t pos = block.s1;
    if (pos >= length_of(*code)) {
        stack::set_result(unset_cell());
    } else {
        current_code = *code;
        for (;;) {
            uint32_t end = length_of(*code);
            if (pos >= end) break;
            current_code.s1 = pos;
            pos = eval_expression(*code, pos, end, false, false, false);
            if (pos < length_of(*code)) stack::reset();
        }
    }
    if (keep_result) stack::unwind_last();
    else stack::unwind();
}

uint32_t eval_expression(const Cell& code, uint32_t pos, uint32_t end, bool no_infix, bool push, bool literal) {
    if (runtime::native_stack_exhausted()) fire(err::stack_overflow);
    Cell* start_top = stack::top;
    Cell v = value_at(code, pos);
    uint32_t next = pos + 1;
    switch (v.type()) {
    case TYPE_PAREN:
        stack::mark(FRAME_NATIVE_KIND, stack::body_symbol);
        eval(v, true);
        pop_frame(push);
        break;
    case TYPE_WORD: {
        Cell value = *context::get(v);
        switch (value.type()) {
        case TYPE_UNSET: fire(err::no_value, &v);
        case TYPE_NATIVE:
        case TYPE_ACTION:
        case TYPE_FUNCTION:
        case TYPE_ROUTINE: next = eval_call(value, code, next, end, push, &v, false); break;
        case TYPE_OP: fire(err::no_op_arg, &v);
        default: give(value, push);
        }
        break;
    }
    case TYPE_SET_WORD: next = eval_set_word(code, v, next, end, push); break;
    case TYPE_LIT_WORD:
        v.set_type(TYPE_WORD);
        give(v, push);
        break;
    case TYPE_GET_WORD: give(*context::get(v), push); break;
    case TYPE_ISSUE: {
        uint32_t s = symbol::resolve(v.s2);
        if ((s == symbol::resolve(words::sym::system) || s == symbol::resolve(words::sym::system_global)) &&
            next < end && value_at(code, next).is(TYPE_BLOCK))
            fire(err::vyn_system);
        give(v, push);
        break;
    }
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
        if (literal) give(v, push);
        else next = eval_call(v, code, next, end, push, nullptr, false);
        break;
    case TYPE_OP: fire(err::not_done);
    case TYPE_PATH: next = eval_path(code, next, end, v, PATH_CALL, push, nullptr); break;
    case TYPE_LIT_PATH:
        v.set_type(TYPE_PATH);
        give(v, push);
        break;
    case TYPE_SET_PATH: next = eval_set_path(code, v, next, end, push); break;
    case TYPE_GET_PATH: next = eval_path(code, next, end, v, PATH_GET, push, nullptr); break;
    default: give(v, push);
    }
    if (!no_infix) next = check_infix(code, next, end, push, start_top);
    return next;
}

uint32_t eval_next(const Cell& code, uint32_t pos, uint32_t end, bool push) {
    stack::mark(FRAME_NATIVE_KIND, stack::body_symbol);
    pos = eval_expression(code, pos, end, false, true, false);
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

uint32_t eval_call(const Cell& callable_value, const Cell& code, uint32_t pos, uint32_t end, bool push,
                   const Cell* name, bool infix, const Cell* path, uint32_t path_index, bool literal) {
    Cell* holder = infix ? nullptr : stack::push(callable_value);
    Rooted fn(callable_value);
    Call call{fn.get(), name, {}, false, infix, literal};
    uint32_t symbol = name ? name->s2 : stack::anon_symbol;
    NodeId word_context = name ? name->s1 : 0;
    switch (fn->type()) {
    case TYPE_FUNCTION: {
        NodeId ctx = fn->s1;
        stack::mark(FRAME_FUNCTION_KIND, symbol, word_context, ctx, context::context_cell(ctx).s2);
        pos = eval_arguments(call, code, pos, end, path, path_index);
        eval_function(*fn, 0);
        break;
    }
    case TYPE_NATIVE:
    case TYPE_ACTION: {
        call.native = true;
        stack::mark(FRAME_NATIVE_KIND, symbol, word_context);
        pos = eval_arguments(call, code, pos, end, path, path_index);
        if (fn->is(TYPE_ACTION)) {
            actions::table[fn->s1 - 1](call.refinements);
        } else {
            natives::Native entry = natives::table[fn->s1 - 1];
            if (!entry) fire(err::not_done);  // a slot no native fills
            entry(0, call.refinements);
        }
        break;
    }
    default: fire(err::not_done);
    }
    pop_frame(push);
    if (holder && push) {
        *holder = *stack::last();
        stack::top = holder + 1;
    }
    return pos;
}

void eval_function(const Cell& function, uint32_t) {
    NodeId ctx = function.s1;
    uint32_t saved = context::context_cell(ctx).s2;
    context::context_cell(ctx).s2 = uint32_t(stack::base - stack::cells) + 1;
    stack::Frame* frame = stack::top_frame();
    frame->kind |= stack::FRAME_RETURN_POINT;
    Cell body = extra_of(function)[EXTRA_BODY];
    auto restore = [&] {
        context::context_cell(ctx).s2 = saved;
        frame->kind &= ~stack::FRAME_RETURN_POINT;
    };
    try {
        if (body.is(TYPE_BLOCK)) eval(body, true);
        else stack::set_result(unset_cell());
    } catch (const Unwind& exit) {
        restore();
        if (exit.code != EXIT_RETURN && exit.code != EXIT_EXIT) throw;
        return;
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

}  // namespace vyn::interp
