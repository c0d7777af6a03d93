// object! handlers and the object routines of make, copy and construct. An object context keeps
// word i's value at index i of its values block. Every routine reads its cell arguments into
// locals before it allocates, builds new objects in argument-stack cells (which never move and
// which the collector marks), and reaches buffers again through their nodes afterwards.
#include "datatypes/object.hpp"

#include <optional>
#include <string>

#include "core/cycles.hpp"
#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/eval_hooks.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::object {
namespace {

using memory::series_of;

uint32_t class_counter = CLASS_ID_BASE;

Cell* words_of(NodeId context) { return series_of(context::words(context))->cells(); }

Cell values_block(NodeId context) { return make_cell(TYPE_BLOCK, 0, values_node(context), 0); }

void set_values_length(NodeId context, uint32_t count) {
    series_of(values_node(context))->tail = count * uint32_t(sizeof(Cell));
}

// A values block made empty by context creation gets one unset cell per word.
void fill_values(NodeId context) {
    uint32_t n = context::word_count(context);
    Series* s = series_of(values_node(context));
    if (s->length() >= n) return;
    s = memory::ensure_room(values_node(context), (n - s->length()) * sizeof(Cell));
    for (Cell* c = s->cell_tail(); c < s->cells() + n; ++c) *c = unset_cell();
    set_values_length(context, n);
}

Cell* store_cell(const Cell& object) {
    context::owner(object.s1) = object;
    return &context::owner(object.s1);
}

Cell series_types() {
    Cell ts = typeset::empty();
    for (uint32_t t = 1; t < TYPE_COUNT; ++t)
        if (series::is_series_type(TypeId(t))) typeset::add(ts, t);
    return ts;
}

// Copies the value in place through its type's copy action with /deep.
void copy_deep_in_place(Cell* value) {
    auto handler = datatype::handler<A_COPY>(value->type());
    if (!handler) fire(err::not_done);
    Cell* copied = handler(value, nullptr, true, nullptr);
    if (copied != value) *value = *copied;
}

void rebind_methods(NodeId context) {
    for (uint32_t i = 0; i < context::word_count(context); ++i) {
        Cell v = *value_at(context, i);
        if (!v.is(TYPE_FUNCTION)) continue;
        Cell rebound = rebind_function(v, context);
        *value_at(context, i) = rebound;
    }
}

// What a deep copy does to the values of a new object: series copied deep, methods rebound.
void own_series_and_methods(NodeId context) {
    Cell values = values_block(context);
    Cell types = series_types();
    block::copy_cells_of_types(&values, 0, context::word_count(context), 1, true, &types);
    rebind_methods(context);
}

[[noreturn]] void no_cycle() {
    cycles::reset();
    fire(err::no_cycle);
}

int32_t emit_name(Cell* out, uint32_t symbol, int32_t budget) {
    const std::string name(symbol::name(symbol));
    uint32_t before = string::abs_length(out);
    string::append_utf8(out, name);
    return budget - int32_t(string::abs_length(out) - before);
}

bool is_handler_name(uint32_t symbol) {
    uint32_t s = symbol::resolve(symbol);
    return s == word_names::canonical(words::on_change_star) || s == word_names::canonical(words::on_deep_change_star);
}

// The word of field i as a value: type word!, without the changed mark.
Cell field_word(NodeId context, uint32_t index, TypeId type = TYPE_WORD) {
    Cell w = get_field(context, index);
    w.header = type;
    return w;
}

Cell* new_block_in(Cell* result, uint32_t size) { return block::make_at(result, int64_t(size)); }

void reflect_changed(NodeId context, Cell* result) {
    new_block_in(result, 4);
    for (uint32_t i = 0; i < context::word_count(context); ++i) {
        if (!words_of(context)[i].has_flag(FLAG_WORD_ASSIGNED)) continue;
        Cell w = field_word(context, i);
        block::vs_append(result, &w);
    }
}

void reflect_words(NodeId context, Cell* result) {
    uint32_t n = context::word_count(context);
    new_block_in(result, n);
    for (uint32_t i = 0; i < n; ++i) {
        Cell w = field_word(context, i);
        block::vs_append(result, &w);
    }
}

void reflect_values(NodeId context, Cell* result) {
    uint32_t n = context::word_count(context);
    new_block_in(result, n);
    for (uint32_t i = 0; i < n; ++i) {
        Cell v = *value_at(context, i);
        block::vs_append(result, &v);
    }
}

void reflect_body(NodeId context, Cell* result) {
    uint32_t n = context::word_count(context);
    new_block_in(result, 2 * n);
    for (uint32_t i = 0; i < n; ++i) {
        Cell w = field_word(context, i, TYPE_SET_WORD);
        w.set_flag(FLAG_NEW_LINE);
        block::vs_append(result, &w);
        Cell v = *value_at(context, i);
        if (v.is(TYPE_WORD)) v.set_type(TYPE_LIT_WORD);
        else if (v.is(TYPE_PATH)) v.set_type(TYPE_LIT_PATH);
        block::vs_append(result, &v);
    }
}

bool is_number(TypeId t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }
bool is_any_word(TypeId t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }

bool comparable(TypeId a, TypeId b) {
    return a == b || (is_any_word(a) && is_any_word(b)) || (is_number(a) && is_number(b));
}

int sign_of(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int compare_field(NodeId a, NodeId b, uint32_t i, int op) {
    uint32_t sa = symbol::resolve(words_of(a)[i].s2);
    uint32_t sb = symbol::resolve(words_of(b)[i].s2);
    if (sa != sb) return sa < sb ? -1 : 1;
    Cell va = *value_at(a, i);
    Cell vb = *value_at(b, i);
    if (!comparable(va.type(), vb.type())) return sign_of(int64_t(va.type()) - int64_t(vb.type()));
    return actions::compare_order(&va, &vb, op);
}

int compare_fields(NodeId a, NodeId b, int op) {
    uint32_t na = context::word_count(a);
    uint32_t nb = context::word_count(b);
    if (na != nb) return na > nb ? 1 : -1;
    cycles::Entry first(a);
    cycles::Entry second(b);
    for (uint32_t i = 0; i < na; ++i)
        if (int order = compare_field(a, b, i, op)) return order;
    return 0;
}

// The logic words construct evaluates: true, yes, on, false, no, off and none.
Cell constructed_value(const Cell& value, bool only) {
    if (only || !value.is(TYPE_WORD)) return value;
    auto is = [&value](uint32_t name) { return word_names::is(value, name); };
    if (is(words::sym::true_) || is(words::sym::yes) || is(words::sym::on)) return logic_cell(true);
    if (is(words::sym::false_) || is(words::sym::no) || is(words::sym::off)) return logic_cell(false);
    if (is(words::sym::none)) return none_cell();
    return value;
}

// make from a block: the set-words become fields, the block is bound to the object and run.
bool make_from_block(Cell* fresh, const Cell& spec, const Cell& prototype) {
    NodeId context = fresh->s1;
    bool added = context::collect_set_words(context, spec);
    context::bind(spec, context, true);
    if (prototype.is(TYPE_OBJECT)) clone_values(prototype.s1, context, false);
    eval_hooks::eval(spec, false);
    clear_changes(context);
    unmark_values(values_node(context));
    return added;
}

// Hands a value built on the stack to the result cell and drops what was pushed from `mark` on.
Cell* finish(Cell* result, const Cell* built, Cell* mark) {
    *result = *built;
    stack::top = mark;
    return result;
}

// modify 'owned with [owner word].
void give_owner(const Cell& object, const Cell& spec) {
    const Cell* items = block::vs_abs_at(&spec, spec.s1);
    const Cell owner = items[0];
    const Cell word = items[1];
    ownership::set_owner(object, owner, word);
}

}  // namespace

uint32_t new_class_id() { return ++class_counter; }

NodeId values_node(NodeId context) { return context::context_cell(context).s2; }

Cell* value_at(NodeId context, uint32_t index) { return series_of(values_node(context))->cells() + index; }

Cell get_field(NodeId context, uint32_t index) {
    Cell w = words_of(context)[index];
    w.header = TYPE_WORD;
    w.s1 = context;
    w.s3 = index;
    return w;
}

int32_t find_word(const Cell& object, const Cell& word) {
    return context::find_word(object.s1, word.s2, true);
}

Cell vs_select(const Cell& object, const Cell& word) {
    int32_t index = find_word(object, word);
    return index < 0 ? none_cell() : *value_at(object.s1, uint32_t(index));
}

Cell* first_word(const Cell& object) { return words_of(object.s1); }

Cell* get_values(const Cell& object) { return value_at(object.s1, 0); }

uint32_t words_count(const Cell& object) { return context::word_count(object.s1); }

void unmark_values(NodeId values) {
    Series* s = series_of(values);
    for (Cell* c = s->cells(); c < s->cell_tail(); ++c) c->clear_flag(FLAG_NEW_LINE);
}

bool word_of_class(const Cell& word, uint32_t class_id) {
    const Cell v = *context::get(word);
    return v.is(TYPE_OBJECT) && v.s2 == class_id;
}

bool field_of_class(NodeId context, uint32_t index, uint32_t class_id) {
    const Cell* v = value_at(context, index);
    return v->is(TYPE_OBJECT) && v->s2 == class_id;
}

int32_t serialize(const Cell& object, Cell* out, const SerializeArgs& args, int32_t budget) {
    const NodeId context = object.s1;
    const uint32_t n = context::word_count(context);
    if (n == 0) return budget;
    bool indent = !args.flat && args.indent;
    const char* separator = args.flat ? " " : "\n";
    if (!args.flat && args.mold) {
        if (args.only) indent = false;
        else budget = mold::emit(out, "\n", budget);
    }
    cycles::Entry guard(context);
    MoldArgs value_args{false, args.all, args.flat, args.tab_level};
    for (uint32_t i = 0; i < n; ++i) {
        if (mold::exhausted(args.part, budget)) break;
        uint32_t name = words_of(context)[i].s2;
        if (!args.all && is_handler_name(name)) continue;
        if (indent) budget = mold::emit_indent(out, args.tab_level, budget);
        budget = mold::emit(out, ": ", emit_name(out, name, budget));
        Cell* slot = value_at(context, i);
        if (slot->type() == TYPE_NONE_ID) *slot = unset_cell();
        Cell v = *slot;
        if (v.is(TYPE_WORD)) budget = mold::emit(out, "'", budget);
        budget = mold::mold_value(&v, out, value_args, args.part, budget);
        if (indent || i + 1 < n) budget = mold::emit(out, separator, budget);
    }
    return budget;
}

Cell* make_at(Cell* cell, uint32_t size) {
    NodeId context = context::create(size, false, true, 0, context::Kind::object);
    *cell = make_cell(TYPE_OBJECT, context, 0, 0);
    store_cell(*cell);
    return cell;
}

Cell* push_context(NodeId context, uint32_t class_id) {
    fill_values(context);
    return push(context, 0, class_id);
}

Cell* push(NodeId context, NodeId on_set, uint32_t class_id) {
    Cell* cell = stack::push(make_cell(TYPE_OBJECT, context, class_id, on_set));
    store_cell(*cell);
    return cell;
}

void clone_values(NodeId prototype, NodeId fresh, bool copy_all) {
    uint32_t n = context::word_count(prototype);
    for (uint32_t i = 0; i < n; ++i) {
        Cell v = *value_at(prototype, i);
        if (series::is_series_type(v.type())) {
            Cell* copy = stack::push(v);
            copy_deep_in_place(copy);
            if (series::is_block_type(copy->type())) context::bind(*copy, fresh, true);
            *value_at(fresh, i) = *copy;
            stack::pop(1);
        } else if (copy_all) {
            *value_at(fresh, i) = v;
        }
    }
}

bool extend(NodeId target, NodeId source) {
    uint32_t before = context::word_count(target);
    for (uint32_t i = 0; i < context::word_count(source); ++i) {
        Cell w = words_of(source)[i];
        Cell v = *value_at(source, i);
        context::add_or_set(target, w, v);
    }
    own_series_and_methods(target);
    return context::word_count(target) > before;
}

// The body is cloned with its parens and paths, so that binding the copy never reaches into
// the original method's nested code.
Cell rebind_function(const Cell& function, NodeId context) {
    const Cell f = function;
    const Cell body = function::extra_of(f)[function::EXTRA_BODY];
    if (!body.is(TYPE_BLOCK)) fire(err::bad_func_def, &f);
    Cell* mark = stack::top;
    const Cell spec = function::spec_block(f);
    NodeId locals = memory::copy_buffer(f.s1);
    context::context_cell(locals).s2 = 0;  // no frame of the copy is active yet
    stack::push(make_cell(TYPE_BLOCK, 0, locals, 0));
    Cell* copy = block::clone(&body, true, true);
    context::bind(*copy, context, true);
    context::bind(*copy, locals, false);
    function::push(spec, copy, locals, f.flags(), function::Body::as_is);
    Cell rebound = *stack::last();
    stack::top = mark;
    return rebound;
}

bool collect_fields(NodeId context, const Cell& spec, bool only) {
    const Cell b = spec;
    uint32_t before = context::word_count(context);
    uint32_t length = block::vs_length(&b) + b.s1;
    uint32_t i = b.s1;
    while (i < length) {
        if (!block::vs_abs_at(&b, i)->is(TYPE_SET_WORD)) {
            ++i;
            continue;
        }
        uint32_t run_end = i;
        while (run_end < length && block::vs_abs_at(&b, run_end)->is(TYPE_SET_WORD)) ++run_end;
        Cell value = run_end < length ? constructed_value(*block::vs_abs_at(&b, run_end), only) : none_cell();
        for (; i < run_end; ++i) {
            Cell w = *block::vs_abs_at(&b, i);
            context::add_or_set(context, w, value);
        }
    }
    return context::word_count(context) > before;
}

Cell* copy_into(const Cell& source, Cell* target, bool deep, const Cell* types, bool drop_record) {
    const Cell from = source;
    Cell copy = from;
    NodeId context = context::clone(copy, context::Kind::object);
    copy.header = from.type();
    copy.s3 = drop_record ? 0 : from.s3;
    *target = copy;
    store_cell(copy);
    uint32_t n = context::word_count(context);
    std::memcpy(value_at(context, 0), value_at(from.s1, 0), n * sizeof(Cell));
    set_values_length(context, n);
    if (deep && !types) {
        own_series_and_methods(context);
    } else {
        rebind_methods(context);
        if (types) {
            const Cell kinds = *types;
            std::optional<cycles::Entry> guard;
            if (deep) {
                if (cycles::find(from.s1)) no_cycle();
                guard.emplace(from.s1);
            }
            Cell values = values_block(context);
            block::copy_cells_of_types(&values, 0, n, 1, deep, &kinds);
        }
    }
    if (drop_record) attach_events(target);
    return target;
}

Cell* construct(const Cell& spec, const Cell* prototype, bool only) {
    const Cell s = spec;
    Cell* fresh = stack::push(unset_cell());
    if (prototype) {
        copy_into(*prototype, fresh, true, nullptr, true);
    } else {
        make_at(fresh, 4);
        fresh->s2 = new_class_id();
        store_cell(*fresh);
    }
    collect_fields(fresh->s1, s, only);
    return fresh;
}

// ---- handlers ----

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    const Cell prototype = *proto;
    const Cell source = *spec;
    if (!source.is(TYPE_OBJECT) && !source.is(TYPE_BLOCK)) scalar::fire_malconstruct(type, &source);
    Cell* mark = stack::top;
    stack::push(source);
    Cell* fresh = stack::push(unset_cell());
    bool from_object = prototype.is(TYPE_OBJECT);
    if (from_object) copy_into(prototype, fresh, true, nullptr, false);
    else make_at(fresh, 4);
    bool added = source.is(TYPE_OBJECT) ? extend(fresh->s1, source.s1) : make_from_block(fresh, source, prototype);
    fresh->s2 = from_object && !added ? prototype.s2 : new_class_id();
    attach_events(fresh);
    return finish(proto, fresh, mark);
}

Cell* reflect(Cell* object, const Cell* field) {
    const Cell o = *object;
    const Cell f = *field;
    NodeId context = o.s1;
    Cell* mark = stack::top;
    Cell* result = stack::push(unset_cell());
    auto is = [&f](uint32_t name) { return word_names::is(f, name); };
    if (is(words::sym::changed)) reflect_changed(context, result);
    else if (is(words::sym::class_)) *result = integer_cell(int32_t(o.s2));
    else if (is(words::sym::words)) reflect_words(context, result);
    else if (is(words::sym::values)) reflect_values(context, result);
    else if (is(words::sym::body)) reflect_body(context, result);
    else if (is(words::sym::owner)) *result = logic_cell(context::context_cell(context).has_flag(FLAG_CONTEXT_OWNER));
    else if (is(words::sym::events_q)) *result = logic_cell(o.s3 != 0);
    else fire(err::not_done);
    return finish(object, result, mark);
}

int32_t form(const Cell* object, Cell* out, const Cell* part, int32_t budget) {
    if (const char* marker = cycles::detect(*object, false)) return mold::emit(out, marker, budget);
    return serialize(*object, out, SerializeArgs{false, false, false, part, false, 0, false}, budget);
}

int32_t mold(const Cell* object, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return mold_as(*object, out, "make object! [", args, part, budget);
}

int32_t mold_as(const Cell& object, Cell* out, std::string_view opening, const MoldArgs& args, const Cell* part,
                int32_t budget) {
    if (const char* marker = cycles::detect(object, true)) return mold::emit(out, marker, budget);
    if (!args.only) budget = mold::emit(out, opening, budget);
    SerializeArgs fields{args.only, args.all, args.flat, part, true, args.indent + 1, true};
    budget = serialize(object, out, fields, budget);
    if (!args.flat && args.indent > 0) budget = mold::emit_indent(out, args.indent, budget);
    if (!args.only) budget = mold::emit(out, "]", budget);
    return budget;
}

// A missing field: both trailing flags give unset, the notify flag alone invalid-path, else
// unset-path; the path and the element are the error's arguments.
Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    const Cell o = *parent;
    const Cell key = *element;
    const Cell path = step.path ? *step.path : none_cell();
    if (!word_names::field_word(key.type())) fire(err::invalid_path, &path, &key);
    const NodeId context = o.s1;
    int32_t index = key.s1 == context && int32_t(key.s3) >= 0 ? int32_t(key.s3)
                                                               : context::find_word(context, key.s2, true);
    auto missing = [&]() -> Cell* {
        if (step.last && step.notify) {
            *parent = unset_cell();
            return parent;
        }
        fire(step.notify ? err::invalid_path : err::unset_path, &path, &key);
    };
    if (index < 0) return missing();
    if (!value) {
        Cell v = *value_at(context, uint32_t(index));
        if (v.is(TYPE_UNSET)) return missing();
        *parent = v;
        return parent;
    }
    const Cell v = *value;
    Cell word = get_field(context, uint32_t(index));
    if (!o.s3) {
        context::set_in(word, v, context, false);
    } else {
        const Cell* old = stack::push(*value_at(context, uint32_t(index)));
        context::set_in(word, v, context, false);
        fire_on_change(o, key, *old, v);
        stack::pop(1);
    }
    *parent = v;
    return parent;
}

int compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_OBJECT)) return -2;
    const NodeId ca = a->s1;
    const NodeId cb = b->s1;
    if (ca == cb) return 0;
    if (op == CMP_SAME) return -1;
    if (cycles::find(ca)) return cycles::find(cb) ? 0 : -1;
    return compare_fields(ca, cb, op);
}

Cell* copy(Cell* object, const Cell* part, bool deep, const Cell* types) {
    if (part) {
        Cell word = word::load("part");
        const Cell p = *part;
        fire(err::invalid_refine_arg, &word, &p);
    }
    const Cell source = *object;
    Cell* mark = stack::top;
    Cell* fresh = stack::push(unset_cell());
    copy_into(source, fresh, deep, types, true);
    return finish(object, fresh, mark);
}

Cell* put(Cell* object, const Cell* key, const Cell* value, bool) {
    if (!key->is(TYPE_WORD)) {
        Cell type = datatype_cell(key->type());
        fire(err::invalid_key_type, &type);
    }
    const Cell none = none_cell();
    PathStep step{&none, object, nullptr, 0, false, true, false};
    return eval_path(object, key, value, step);
}

Cell* select(Cell* object, const Cell* key, const FindArgs&) {
    if (!word_names::field_word(key->type())) {
        Cell type = datatype_cell(key->type());
        fire(err::invalid_type, &type);
    }
    *object = vs_select(*object, *key);
    return object;
}

Cell* modify(Cell* object, const Cell* field, const Cell* value, bool) {
    const Cell o = *object;
    const Cell f = *field;
    const Cell v = *value;
    if (word_names::is(f, words::sym::changed)) {
        if (!v.is(TYPE_NONE)) fire(err::invalid_arg, &v);
        clear_changes(o.s1);
    } else if (word_names::is(f, words::sym::owner)) {
        ownership::set_owner(o, o, none_cell());
    } else if (word_names::is(f, words::sym::owned)) {
        if (v.is(TYPE_NONE)) ownership::unbind(o);
        else if (v.is(TYPE_BLOCK) && block::vs_length(&v) >= 2) give_owner(o, v);
    }
    *object = v;
    return object;
}

namespace {

const SlotHandler object_actions[] = {
    act<A_MAKE>(make),
    act<A_REFLECT>(reflect),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_EVAL_PATH>(eval_path),
    act<A_COMPARE>(compare),
    act<A_COPY>(copy),
    act<A_PUT>(put),
    act<A_SELECT>(select),
    act<A_MODIFY>(modify),
};

}  // namespace
}  // namespace vyn::object

namespace vyn {

void object_init() {
    datatype::register_type(TYPE_OBJECT, TYPE_NONE_ID, "object!", UNSUPPORTED, object::object_actions);
    context::set_change_notifier(object::fire_on_change);
}

}  // namespace vyn
