// Evaluation and binding natives. Results that are built up (reduce, compose) go into a target
// block held in a rooted cell and grow through the target type's own insert and append, so a
// hash! target keeps its table current; each value is read into a local cell before anything
// that can allocate.
#include <algorithm>
#include <optional>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/exits.hpp"
#include "datatypes/map.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/natives.hpp"
#include "eval/trace.hpp"

namespace vyn::natives {
namespace {

bool is_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }
bool is_path(TypeId t) { return t >= TYPE_PATH && t <= TYPE_GET_PATH; }
bool is_object(TypeId t) { return t == TYPE_OBJECT || t == TYPE_ERROR || t == TYPE_PORT; }
bool is_function(TypeId t) {
    return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// The context an object or a function keeps in slot 1; none (0) for a native or an action, or an
// op! made of one, whose slot 1 holds its number.
NodeId context_of(const Cell& value) {
    TypeId t = value.is(TYPE_OP) ? native::op_source(value) : value.type();
    return is_object(t) || t == TYPE_FUNCTION || t == TYPE_ROUTINE ? value.s1 : 0;
}

Cell new_block(uint32_t room) {
    Cell b;
    block::make_at(&b, room);
    return b;
}

// Where reduce and compose put their values: a new block, or the /into block, appended when it
// is at its tail and inserted at its position (which then moves past the values) otherwise.
struct Target {
    Rooted block;
    bool insert;

    Target(const Cell* into, uint32_t room)
        : block(into ? *into : new_block(room)), insert(into && !block::vs_tail_q(into)) {}

    // With `splice` the values of a block value go in one by one.
    void add(const Cell& value, bool splice = false) {
        Cell v = value;
        if (insert) actions::handler_of<A_INSERT>(block.get())(block.get(), &v, nullptr, !splice, nullptr);
        else actions::handler_of<A_APPEND>(block.get())(block.get(), &v, nullptr, !splice, nullptr);
    }
};

// Each value stays pushed until it is in the target, so a collection meanwhile keeps it.
void reduce_block(const Cell& block, Target& target) {
    Rooted code(block);
    for (uint32_t pos = code->s1; pos < tail_of(*code);) {
        pos = interp::eval_next(*code, pos, tail_of(*code), true);
        stack::last()->clear_flag(FLAG_NEW_LINE);
        target.add(*stack::last());
        stack::pop(1);
    }
}

void compose_block(const Cell& block, Target& target, bool deep, bool only) {
    if (runtime::recursion_exhausted()) fire(err::stack_overflow);
    Rooted code(block);
    for (uint32_t i = code->s1; i < tail_of(*code); ++i) {
        Cell c = cell_at(*code, i);
        if (c.is(TYPE_BLOCK) && deep) {
            Target nested(nullptr, tail_of(c));
            compose_block(c, nested, deep, only);
            nested.block->header |= c.header & FLAG_NEW_LINE;
            target.add(*nested.block);
        } else if (c.is(TYPE_PAREN)) {
            if (c.s1 >= tail_of(c)) continue;
            interp::eval(c, false);  // the value stays pushed until it is in the target
            const Cell v = *stack::last();
            bool splice = v.is(TYPE_BLOCK) && !only;
            if (!v.is(TYPE_UNSET) && (!splice || v.s1 < tail_of(v))) target.add(v, splice);
            stack::pop(1);
        } else {
            target.add(c);
        }
    }
}

// The result of reduce or compose: a new block at its head, or the /into block (past the values
// when they were inserted).
void give_target(Target& target, const Cell* into) {
    stack::set_result(into && !target.insert ? *into : *target.block);
}

void do_next(const Cell& block, const Cell& position) {
    Rooted code(block);
    uint32_t pos = code->s1;
    if (pos < tail_of(*code)) pos = interp::eval_next(*code, pos, tail_of(*code), false);
    else stack::set_result(unset_cell());
    Cell next = *code;
    next.s1 = pos;
    set_word(position, next);
}

// do/expand: the block goes through the preprocessor's `expand` with the build's job
// (`system/build/config`, none without one); the expanded block is the result.
void expand_directives(const Cell& code) {
    Cell name = word::load("expand");
    Rooted preprocessor(word::get(word::load("preprocessor")));
    Rooted fn(object::vs_select(*preprocessor, name));
    const Cell system = context::owner(system_object::system_context());
    const Cell build = object::vs_select(system, word::load("build"));
    Cell job = build.is(TYPE_OBJECT) ? object::vs_select(build, word::load("config")) : none_cell();
    Rooted values;
    block::make_at(values.get(), 2);
    block::vs_append(values.get(), &code);
    block::vs_append(values.get(), &job);
    call_with(*fn, *values, &name);
}

// The arguments are copied first: a call made in the native's own frame leaves the stack top
// just above the result cell, where the next pushes overwrite the other argument cells.
void do_block(const Cell& block, const int32_t* refinements) {
    Rooted code(block);
    Cell* next = refinement_arg(refinements, 2);
    Rooted position(next ? *next : none_cell());
    code->s1 = std::min(code->s1, tail_of(*code));
    if (used(refinements, 0)) {
        expand_directives(*code);
        *code = *stack::base;
    }
    std::optional<trace::Session> tracing;
    if (const Cell* callback = refinement_arg(refinements, 3)) tracing.emplace(*callback, *code);
    if (next) do_next(*code, *position);
    else eval_block(*code);
    if (tracing) tracing->end(*code);
}

// Apply with /all: the values of the args block fill the spec in order, each refinement taking a
// truth value and then its arguments; what the block lacks is false or none. Builds the values
// of the call and the path of its active refinements.
void spread_all(const Cell& fn, const Cell& code, bool safer, Cell& values, Cell& path) {
    Rooted list(interp::arg_list(fn));
    bool active = true;
    bool refinement_args = false;  // with /safer these are one value each
    uint32_t pos = code.s1;
    auto push_next = [&] {
        bool single = safer && refinement_args;
        if (pos < tail_of(code)) pos = interp::eval_next(code, pos, single ? pos + 1 : tail_of(code), true);
        else stack::push(none_cell());
    };
    for (uint32_t i = 0; i < tail_of(*list); ++i) {
        Cell entry = cell_at(*list, i);
        if (entry.is(TYPE_REFINEMENT)) {
            push_next();
            active = truthy(*stack::last());
            stack::pop(1);
            refinement_args = true;
            entry.s3 = uint32_t(-1);
            if (active) block::vs_append(&path, &entry);
        } else if (entry.is(TYPE_TYPESET) && typeset::arg_class(entry) != typeset::ARG_RETURN) {
            if (!active && safer) {
                pos = std::min(pos + 1, tail_of(code));
                continue;
            }
            push_next();
            if (active) block::vs_append(&values, stack::last());
            stack::pop(1);
        }
    }
}

}  // namespace

Cell reduce_into(const Cell& block, const Cell& into) {
    Target target(&into, 0);
    reduce_block(block, target);
    return target.insert ? *target.block : into;
}

namespace entry {

void do_(int32_t, const int32_t* refinements) {
    Cell* a = args();
    switch (a[0].type()) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: return do_block(a[0], refinements);
    case TYPE_STRING: {
        Rooted code;
        lexer::scan_string(code.get(), &a[0], -1, lexer::ScanOptions{});
        return do_block(*code, refinements);
    }
    case TYPE_FILE: case TYPE_URL: {
        Cell* script_args = refinement_arg(refinements, 1);
        return call_global("do-file", {a[0], none_cell(), script_args ? *script_args : none_cell()});
    }
    case TYPE_ERROR: exits::throw_error(a[0]);
    default: eval_single(a[0]);
    }
}

void reduce(int32_t, const int32_t* refinements) {
    Cell* a = args();
    const Cell* into = refinement_arg(refinements, 0);
    if (!a[0].is(TYPE_BLOCK)) {
        if (!is_function(a[0].type())) eval_single(a[0]);
        if (!into) return;
        Target target(into, 0);
        target.add(*stack::base);
        return give_target(target, into);
    }
    Target target(into, tail_of(a[0]));
    reduce_block(a[0], target);
    give_target(target, into);
}

void compose(int32_t, const int32_t* refinements) {
    Cell* a = args();
    if (!a[0].is(TYPE_BLOCK)) {
        Cell expected = datatype_cell(TYPE_BLOCK);
        Cell found = datatype_cell(a[0].type());
        fire(err::expect_val, &expected, &found);
    }
    const Cell* into = refinement_arg(refinements, 2);
    Target target(into, tail_of(a[0]));
    compose_block(a[0], target, used(refinements, 0), used(refinements, 1));
    give_target(target, into);
}

void get(int32_t, const int32_t* refinements) {
    Cell* a = args();
    if (is_path(a[0].type())) return stack::set_result(interp::get_path(a[0]));
    if (a[0].is(TYPE_OBJECT)) {
        Cell field = make_cell(TYPE_WORD, 0, words::sym::values, uint32_t(-1));
        object::reflect(&a[0], &field);
        return stack::keep();
    }
    stack::set_result(used(refinements, 0) ? word::get_any(a[0]) : word::get(a[0]));
}

void set(int32_t, const int32_t* refinements) {
    Cell* a = args();
    bool any = used(refinements, 0);
    if (!any && a[1].is(TYPE_UNSET)) fire(err::need_value, &a[0]);
    if (a[0].is(TYPE_BLOCK)) {
        uint32_t count = tail_of(a[0]) > a[0].s1 ? tail_of(a[0]) - a[0].s1 : 0;
        set_many(a[0], a[1], count, any, used(refinements, 2), used(refinements, 3));
    } else if (is_path(a[0].type())) {
        interp::set_path(a[0], a[1]);
    } else if (a[0].is(TYPE_OBJECT)) {
        object::set_values(a[0], a[1], any, used(refinements, 2), used(refinements, 3));
    } else {
        set_word(a[0], a[1]);
    }
    stack::set_result(a[1]);
}

void unset(int32_t, const int32_t*) {
    Cell* a = args();
    if (!a[0].is(TYPE_BLOCK)) {
        set_word(a[0], unset_cell());
    } else {
        for (uint32_t i = a[0].s1; i < tail_of(a[0]); ++i)
            if (Cell w = cell_at(a[0], i); w.is(TYPE_WORD)) set_word(w, unset_cell());
    }
    stack::set_result(unset_cell());
}

void value_q(int32_t, const int32_t*) {
    const Cell& v = args()[0];
    const Cell* value = is_word(v.type()) ? context::value_or_null(v) : &v;
    stack::set_result(logic_cell(value && !value->is(TYPE_UNSET)));
}

void in(int32_t, const int32_t*) {
    Cell* a = args();
    NodeId ctx = context_of(a[0]);
    Cell word = a[1];
    int32_t index = ctx ? context::find_word(ctx, word.s2, true) : -1;
    if (index < 0) return stack::set_result(none_cell());
    if (word.is(TYPE_REFINEMENT)) word.set_type(TYPE_WORD);
    word.s1 = ctx;
    word.s3 = uint32_t(index);
    stack::set_result(word);
}

void bind(int32_t, const int32_t* refinements) {
    Cell* a = args();
    NodeId ctx = a[1].s1;  // a word's context, or an object's or a function's
    if (!ctx) fire(err::not_in_context, &a[1]);
    if (!a[0].is(TYPE_BLOCK)) {
        Cell word = a[0];
        context::bind_word(ctx, word);
        return stack::set_result(word);
    }
    Rooted target(used(refinements, 0) ? *block::clone(&a[0], true, true) : a[0]);
    context::bind(*target, ctx, is_object(a[1].type()));
    stack::set_result(*target);
}

void context_q(int32_t, const int32_t*) {
    const Cell& word = args()[0];
    Cell owner = word.s1 ? context::owner(word.s1) : none_cell();
    stack::set_result(is_object(owner.type()) || is_function(owner.type()) ? owner : none_cell());
}

void construct(int32_t, const int32_t* refinements) {
    object::construct(args()[0], refinement_arg(refinements, 0), used(refinements, 1));
    stack::set_result(*stack::last());
}

void extend(int32_t, const int32_t* refinements) {
    Cell* a = args();
    if (!a[0].is(TYPE_MAP)) fire(err::not_done);
    map::extend(a[0], a[1], used(refinements, 0));
    stack::set_result(a[0]);
}

void apply(int32_t, const int32_t* refinements) {
    Cell* a = args();
    Rooted fn(a[0]);
    Rooted name(none_cell());
    Rooted path(none_cell());
    if (is_word(a[0].type()) || is_path(a[0].type())) {
        *name = is_word(a[0].type()) ? a[0] : element_of(a[0], 0);
        if (!name->is(TYPE_WORD)) fire(err::word_first, &a[0]);
        *fn = word::get(*name);
        if (is_path(a[0].type())) *path = a[0];
    }
    if (!is_function(fn->type())) fire(err::invalid_arg, &a[0]);
    if (fn->is(TYPE_OP)) fn->header = (fn->header >> 16) & 0xFF;  // called as what it was made from
    const Cell* call_name = name->is(TYPE_WORD) ? name.get() : nullptr;
    if (!used(refinements, 0)) {
        Target target(nullptr, tail_of(a[1]));
        reduce_block(a[1], target);
        return call_with(*fn, *target.block, call_name, path->is(TYPE_NONE) ? nullptr : path.get());
    }
    Rooted values(new_block(tail_of(a[1])));
    *path = new_block(4);
    block::vs_append(path.get(), name.get());
    spread_all(*fn, a[1], used(refinements, 1), *values, *path);
    path->set_type(TYPE_PATH);
    call_with(*fn, *values, call_name, path.get());
}

}  // namespace entry
}  // namespace vyn::natives
