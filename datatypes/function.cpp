// function! and routine! handlers, spec validation and the locals rules of the `function` native.
// Makers build on the argument stack: every block they allocate sits there until the finished
// function cell replaces them, and spec items are re-read by index after any allocation.
#include "datatypes/function.hpp"

#include <algorithm>
#include <vector>

#include "core/context.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/routine_table.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::function {
namespace {

using memory::series_of;

uint32_t end_of(const Cell& block) { return series_of(block.s2)->length(); }
const Cell& item(const Cell& block, uint32_t i) { return series_of(block.s2)->cells()[i]; }
uint32_t head_of(const Cell& block) { return std::min(block.s1, end_of(block)); }

bool is_refinement(const Cell& c, uint32_t name) { return c.is(TYPE_REFINEMENT) && word_names::is(c, name); }
bool is_argument_word(TypeId t) { return t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD; }

// Position of the refinement in the block from `start`, or -1.
int32_t find_refinement(const Cell& block, uint32_t start, uint32_t name) {
    for (uint32_t i = start; i < end_of(block); ++i)
        if (is_refinement(item(block, i), name)) return int32_t(i);
    return -1;
}

// Builds a function-shaped cell: spec (from index 0), body, context and the extra block. The
// cells made on the way stay on the stack until the caller replaces them with the result.
Cell assemble(TypeId type, const Cell& spec, const Cell* body, NodeId context, uint32_t flags, Body use) {
    Cell s = spec;
    s.s1 = head_of(s);
    if (s.s1 > 0) s = *block::clone(&s, false, false);
    else stack::push(s);
    Cell b = body ? *body : none_cell();
    if (body && series::is_block_type(b.type())) {
        b.s1 = head_of(b);
        if (use == Body::copy) b = *block::clone(&b, true, true);
    }
    stack::push(b);
    NodeId extra = memory::alloc_unset_cells(EXTRA_CELLS);
    series_of(extra)->tail = EXTRA_CELLS * sizeof(Cell);
    series_of(extra)->cells()[EXTRA_BODY] = b;
    stack::push(make_cell(TYPE_BLOCK, 0, extra, 0));
    if (!context) context = context::make_from_spec(s, true, false, context::Kind::function);
    return Cell{uint32_t(type) | flags, context, s.s2, extra};
}

void check_type_block(const Cell& types) {
    for (uint32_t i = head_of(types); i < end_of(types); ++i) {
        const Cell t = item(types, i);
        if (t.is(TYPE_DATATYPE) || t.is(TYPE_TYPESET)) continue;
        if (!t.is(TYPE_WORD)) fire(err::invalid_type_spec, &t);
        const Cell v = *context::get(t);
        if (v.is(TYPE_UNSET)) fire(err::no_value, &t);
        if (!v.is(TYPE_DATATYPE) && !v.is(TYPE_TYPESET) && !v.is(TYPE_WORD)) fire(err::invalid_type_spec, &t);
    }
}

// The walk of check_spec over the items after the attribute block.
class SpecChecker {
public:
    explicit SpecChecker(const Cell& spec) : spec_(spec), end_(end_of(spec)) {}

    uint32_t run() {
        uint32_t i = head_of(spec_);
        uint32_t flags = 0;
        if (i < end_ && item(spec_, i).is(TYPE_BLOCK)) flags = attributes(item(spec_, i++));
        while (i < end_) i = step(i);
        check_duplicates();
        return flags;
    }

private:
    [[noreturn]] void bad() const { fire(err::bad_func_def, &spec_); }

    bool at(uint32_t i, TypeId t) const { return i < end_ && item(spec_, i).is(t); }

    uint32_t attributes(const Cell& block) const {
        uint32_t flags = 0;
        for (uint32_t i = head_of(block); i < end_of(block); ++i) {
            const Cell& a = item(block, i);
            if (!a.is(TYPE_WORD)) bad();
            if (word_names::is(a, words::sym::trace)) flags |= FLAG_TRACE;
            if (word_names::is(a, words::sym::no_trace)) flags |= FLAG_NO_TRACE;
        }
        return flags;
    }

    uint32_t step(uint32_t i) {
        const Cell c = item(spec_, i);
        switch (c.type()) {
        case TYPE_STRING: return i + 1;
        case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: return argument(c, i + 1);
        case TYPE_SET_WORD: return return_spec(c, i + 1);
        case TYPE_REFINEMENT: return refinement(c, i + 1);
        default: bad();
        }
    }

    uint32_t argument(const Cell& word, uint32_t next) {
        if (locals_ && !word.is(TYPE_WORD)) bad();
        if (returned_ && !locals_) bad();
        if (at(next, TYPE_STRING) && at(next + 1, TYPE_BLOCK)) bad();
        if (!at(next, TYPE_BLOCK)) return next;
        check_type_block(item(spec_, next));
        return next + 1;
    }

    uint32_t return_spec(const Cell& word, uint32_t next) {
        if (!word_names::is(word, words::sym::return_) || returned_ || locals_) bad();
        returned_ = true;
        if (!at(next, TYPE_BLOCK)) bad();
        ++next;
        if (next < end_ && !at(next, TYPE_REFINEMENT) && !at(next, TYPE_STRING)) bad();
        return next;
    }

    uint32_t refinement(const Cell& word, uint32_t next) {
        if (word_names::is(word, words::local.s2)) locals_ = true;
        else if (locals_ || returned_) bad();
        if (next < end_) {
            TypeId t = item(spec_, next).type();
            if (!word_names::bindable(t) && t != TYPE_STRING) bad();
        }
        return next;
    }

    void check_duplicates() const {
        std::vector<uint32_t> seen;
        for (uint32_t i = head_of(spec_); i < end_; ++i) {
            const Cell c = item(spec_, i);
            if (!is_argument_word(c.type()) && !c.is(TYPE_REFINEMENT)) continue;
            uint32_t s = word_names::canonical(c);
            if (std::find(seen.begin(), seen.end(), s) != seen.end()) fire(err::dup_vars, &c);
            seen.push_back(s);
        }
    }

    const Cell spec_;
    const uint32_t end_;
    bool locals_ = false;
    bool returned_ = false;
};

// The words the `function` native makes local, gathered from a body.
class LocalsCollector {
public:
    LocalsCollector(Cell* ignore, Cell* result) : ignore_(ignore), result_(result) {}

    void walk(const Cell& block) {
        for (uint32_t i = head_of(block); i < end_of(block); ++i) {
            const Cell c = item(block, i);
            if (c.is(TYPE_SET_WORD)) collect(c);
            else if (c.is(TYPE_WORD)) after_word(block, c, i + 1);
            if (c.is(TYPE_BLOCK) || c.is(TYPE_PAREN)) walk(c);
        }
    }

private:
    void after_word(const Cell& block, const Cell& word, uint32_t next) {
        if (next >= end_of(block)) return;
        const Cell following = item(block, next);
        bool loop = word_names::is(word, words::sym::foreach) || word_names::is(word, words::sym::remove_each);
        if (!loop && !word_names::is(word, words::sym::repeat)) return;
        if (following.is(TYPE_WORD) || following.is(TYPE_SET_WORD)) collect(following);
        else if (loop && following.is(TYPE_BLOCK)) collect_loop_words(following);
    }

    void collect_loop_words(const Cell& words) {
        for (uint32_t i = head_of(words); i < end_of(words); ++i) {
            const Cell w = item(words, i);
            if (is_argument_word(w.type())) collect(w);
        }
    }

    bool ignored(uint32_t canonical) const {
        for (uint32_t i = 0; i < end_of(*ignore_); ++i) {
            const Cell& c = item(*ignore_, i);
            if (word_names::bindable(c.type()) && word_names::canonical(c) == canonical) return true;
        }
        return false;
    }

    void collect(Cell word) {
        word.header = TYPE_WORD;
        if (ignored(word_names::canonical(word))) return;
        block::vs_append(result_, &word);
        block::vs_append(ignore_, &word);
    }

    Cell* ignore_;
    Cell* result_;
};

// The ignore list: every named spec item as a word!; after /extern, only words, blocks and
// strings may stand in the spec.
void prepare_ignore_list(Cell* ignore, bool has_extern) {
    Series* s = series_of(ignore->s2);
    for (Cell* c = s->cells(); c < s->cell_tail(); ++c) {
        if (word_names::bindable(c->type())) c->set_type(TYPE_WORD);
        else if (has_extern && !c->is(TYPE_BLOCK) && !c->is(TYPE_STRING)) fire(err::bad_func_extern, c);
    }
}

// With /extern: the words after a /local that follows the run of external words are locals from
// the start; the spec ends at /extern.
void take_extern(Cell* spec, int32_t extern_at, Cell* result) {
    uint32_t i = uint32_t(extern_at) + 1;
    while (i < end_of(*spec) && item(*spec, i).is(TYPE_WORD)) ++i;
    if (i < end_of(*spec) && is_refinement(item(*spec, i), words::local.s2)) {
        for (uint32_t j = i + 1; j < end_of(*spec); ++j) {
            Cell w = item(*spec, j);
            if (w.is(TYPE_WORD)) block::vs_append(result, &w);
        }
    }
    series_of(spec->s2)->tail = uint32_t(extern_at) * sizeof(Cell);
}

void remove_word(Cell* block, uint32_t name) {
    for (uint32_t i = 0; i < end_of(*block); ++i) {
        if (word_names::is(item(*block, i), name)) {
            series::remove_units(block, i, 1);
            return;
        }
    }
}

Cell reflect_words(const Cell& f) {
    NodeId context = f.s1;
    uint32_t n = context::word_count(context);
    Cell* result = block::push_only(int64_t(n));
    for (uint32_t i = 0; i < n; ++i) {
        Cell w = series_of(context::words(context))->cells()[i];
        w.header = TYPE_WORD;
        w.s1 = context;
        block::vs_append(result, &w);
    }
    return *result;
}

int32_t form_function(const Cell*, Cell* out, const Cell*, int32_t budget) {
    return mold::emit(out, "?function?", budget);
}

int32_t form_routine(const Cell*, Cell* out, const Cell*, int32_t budget) {
    return mold::emit(out, "?routine?", budget);
}

int32_t mold_spec(const Cell& f, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    const Cell spec = spec_block(f);
    return block::mold(&spec, out, MoldArgs{false, args.all, args.flat, args.indent}, part, budget);
}

int32_t mold_function(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    const Cell f = *value;
    budget = mold_spec(f, out, args, part, mold::emit(out, "func ", budget));
    const Cell body = extra_of(f)[EXTRA_BODY];
    if (body.is(TYPE_NONE)) return mold::emit(out, " none", budget);
    return mold::mold_value(&body, out, MoldArgs{false, args.all, args.flat, args.indent}, part, budget);
}

int32_t mold_routine(const Cell* value, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    const Cell f = *value;
    budget = mold_spec(f, out, args, part, mold::emit(out, "routine ", budget));
    const Cell body = extra_of(f)[EXTRA_BODY];
    if (!body.is(TYPE_BLOCK)) budget = mold::emit(out, " ", budget);
    return mold::mold_value(&body, out, MoldArgs{false, args.all, args.flat, args.indent}, part, budget);
}

}  // namespace

namespace {
uint32_t flags_for_all = 0;
}  // namespace

void set_flags_for_all(uint32_t flags) { flags_for_all = flags; }

NodeId push(const Cell& spec, const Cell* body, NodeId context, uint32_t flags, Body use) {
    Cell* mark = stack::top;
    bool own_context = context == 0;
    if (!(flags & FLAG_TRACE)) flags |= flags_for_all;
    Cell f = assemble(TYPE_FUNCTION, spec, body, context, flags, use);
    context::owner(f.s1) = f;
    const Cell b = extra_of(f)[EXTRA_BODY];
    if (own_context && body && b.is(TYPE_BLOCK)) context::bind(b, f.s1, false);
    stack::top = mark;
    stack::push(f);
    return f.s1;
}

uint32_t check_spec(const Cell& spec) { return SpecChecker(spec).run(); }

Cell collect_locals(const Cell& spec, const Cell& body) {
    Cell* mark = stack::top;
    Cell* s = stack::push(spec);
    const Cell b = *stack::push(body);
    int32_t extern_at = find_refinement(*s, head_of(*s), words::ref::extern_.s2);
    Cell* ignore = block::clone(s, false, false);
    Cell* result = block::push_only(8);
    if (extern_at >= 0) take_extern(s, extern_at, result);
    prepare_ignore_list(ignore, extern_at >= 0);
    LocalsCollector(ignore, result).walk(b);
    if (block::vs_length(result) > 0) {
        if (count_locals(s->s2, 0, true) == -1) {
            block::vs_append(s, &words::ref::local);
        }
        remove_word(result, words::local.s2);
        block::vs_append_block(s, result);
    }
    const Cell collected = *result;
    stack::top = mark;
    return collected;
}

int32_t count_locals(NodeId spec, uint32_t start, bool required) {
    const Cell s = make_cell(TYPE_BLOCK, 0, spec, 0);
    int32_t at = find_refinement(s, start, words::local.s2);
    if (at < 0) return required ? -1 : 0;
    int32_t count = 1;
    for (uint32_t i = uint32_t(at) + 1; i < end_of(s); ++i)
        if (item(s, i).is(TYPE_WORD)) ++count;
    return count;
}

void init_locals(int32_t n) {
    stack::push(logic_cell(false));
    for (int32_t i = 1; i < n; ++i) stack::push(none_cell());
}

Cell* make(Cell* proto, const Cell* spec, TypeId) {
    const Cell s = *spec;
    if (!s.is(TYPE_BLOCK) || block::vs_length(&s) < 2) fire(err::bad_func_def, &s);
    const Cell function_spec = item(s, head_of(s));
    const Cell body = item(s, head_of(s) + 1);
    if (!function_spec.is(TYPE_BLOCK) || !body.is(TYPE_BLOCK)) fire(err::bad_func_def, &s);
    uint32_t flags = check_spec(function_spec);
    Cell* mark = stack::top;
    push(function_spec, &body, 0, flags, Body::copy);
    *proto = *stack::last();
    stack::top = mark;
    return proto;
}

Cell* reflect(Cell* function, const Cell* field) {
    const Cell f = *function;
    const Cell name = *field;
    Cell* mark = stack::top;
    if (word_names::is(name, words::sym::spec)) *function = spec_block(f);
    else if (word_names::is(name, words::sym::body)) *function = extra_of(f)[EXTRA_BODY];
    else if (word_names::is(name, words::sym::words)) *function = reflect_words(f);
    else fire(err::not_done);
    stack::top = mark;
    return function;
}

int compare(const Cell* a, const Cell* b, int op) {
    if (a->type() != b->type() || !datatype::equality_or_sort_op(op)) return -2;
    return a->s3 < b->s3 ? -1 : a->s3 > b->s3 ? 1 : 0;
}

namespace {

const SlotHandler function_actions[] = {
    act<A_MAKE>(make),
    act<A_REFLECT>(reflect),
    act<A_FORM>(form_function),
    act<A_MOLD>(mold_function),
    act<A_COMPARE>(compare),
};

// routine! inherits function!'s row where it keeps the behaviour.
const SlotHandler routine_actions[] = {
    act<A_MAKE>(routine::make),
    act<A_FORM>(form_routine),
    act<A_MOLD>(mold_routine),
};

}  // namespace
}  // namespace vyn::function

namespace vyn::routine {

Cell* push(const Cell& spec, const Cell* body, int32_t code, int32_t second, bool maker_flag) {
    Cell* mark = stack::top;
    Cell r = function::assemble(TYPE_ROUTINE, spec, body, 0, maker_flag ? FLAG_MAKER : 0, function::Body::as_is);
    Cell* extra = function::extra_of(r);
    extra[function::EXTRA_CODE] = integer_cell(code);
    extra[function::EXTRA_SECOND] = integer_cell(second);
    set_arity(r);
    stack::top = mark;
    return stack::push(r);
}

namespace {

// The type id of a datatype name, or -1.
int32_t datatype_named(std::string_view name) {
    for (int t = 1; t < TYPE_COUNT; ++t)
        if (name == datatype::name_of(TypeId(t))) return t;
    return -1;
}

// The second value the entry's binding makes of the item after the entry's name.
int32_t bound_second(routine_table::Binding binding, const Cell& s) {
    if (binding == routine_table::Binding::none) return -1;
    uint32_t at = function::head_of(s) + 2;
    Cell w = at < function::end_of(s) ? function::item(s, at) : none_cell();
    if (!w.is(TYPE_WORD)) fire(err::invalid_arg, &w);
    if (binding == routine_table::Binding::word) return int32_t(w.s2);
    int32_t type = datatype_named(symbol::name(w.s2));
    if (type < 0) fire(err::invalid_arg, &w);
    return type;
}

}  // namespace

Cell* make(Cell* proto, const Cell* spec, TypeId) {
    const Cell s = *spec;
    if (!s.is(TYPE_BLOCK) || block::vs_length(&s) < 2) fire(err::routines);
    const Cell routine_spec = function::item(s, function::head_of(s));
    const Cell name = function::item(s, function::head_of(s) + 1);
    int32_t code = name.is(TYPE_WORD) ? routine_table::find(symbol::name(name.s2)) : -1;
    if (!routine_spec.is(TYPE_BLOCK) || code < 0) fire(err::routines);
    int32_t second = bound_second(routine_table::at(code).binding, s);
    function::check_spec(routine_spec);
    Cell* mark = stack::top;
    Cell binding = s;
    binding.s1 = function::head_of(s) + 1;
    const Cell body = *block::clone(&binding, false, false);
    push(routine_spec, &body, code, second, false);
    *proto = *stack::last();
    stack::top = mark;
    return proto;
}

void set_arity(Cell& routine) {
    const Cell spec = function::spec_block(routine);
    uint32_t count = 0;
    for (uint32_t i = 0; i < function::end_of(spec) && count < 31; ++i)
        if (function::item(spec, i).is(TYPE_WORD)) ++count;
    routine.header = (routine.header & ~ARITY_MASK) | (count << ARITY_SHIFT);
}

}  // namespace vyn::routine

namespace vyn {

void function_init() {
    datatype::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!", UNSUPPORTED,
                            function::function_actions);
}

void routine_init() {
    datatype::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!", INHERIT, function::routine_actions);
}

}  // namespace vyn
