// Object change notification: the on-set record that remembers an object's `on-change*` and
// `on-deep-change*` fields, the calls of those handlers, the changed marks and the `set` native
// on objects. A handler runs under a function frame named after it, with its arguments and
// locals pushed; the frame's exit puts the stack back as it was before the call.
#include "core/eval_hooks.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "datatypes/block.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::object {
namespace {

using memory::series_of;

constexpr int CHANGE_CELL = 0;
constexpr int DEEP_CELL = 1;

Cell* record_cell(NodeId record, int which) { return series_of(record)->cells() + which; }

int32_t handler_index(const Cell& entry) { return int16_t(entry.s2 >> 16); }
int32_t handler_locals(const Cell& entry) { return int32_t(entry.s2 & 0xFFFF); }

Cell record_entry(NodeId spec, int32_t index, int32_t locals) {
    return make_cell(TYPE_PAIR, 0, (uint32_t(index) & 0xFFFF) << 16 | (uint32_t(locals) & 0xFFFF), spec);
}

int32_t locals_of(const Cell& function) { return function::count_locals(function.s2, 0, false); }

// The entry's locals count, recounted when the handler field holds another function than the
// one it was counted for.
int32_t current_locals(NodeId record, int which, const Cell& function) {
    Cell* entry = record_cell(record, which);
    if (entry->s3 != function.s2) {
        int32_t locals = locals_of(function);
        entry = record_cell(record, which);
        *entry = record_entry(function.s2, handler_index(*entry), locals);
    }
    return handler_locals(*entry);
}

// Runs a handler whose arguments the caller pushes; the stack is left as it was found. The
// handler stays pushed below its frame, in case it replaces itself in its field.
template <class PushArguments>
void run_handler(const Cell& handler, NodeId object_context, uint32_t name, int32_t locals,
                 PushArguments push_arguments) {
    Cell* base = stack::base;
    Cell* top = stack::top;
    stack::push(handler);
    NodeId locals_context = handler.s1;
    stack::mark(stack::FRAME_FUNCTION, name, 0, locals_context, context::context_cell(locals_context).s2);
    push_arguments();
    if (locals >= 1) function::init_locals(locals);
    eval_hooks::eval_function(handler, object_context);
    stack::unwind_discard();
    stack::base = base;
    stack::top = top;
}

bool is_handler_index(NodeId record, uint32_t index) {
    return record && (handler_index(*record_cell(record, CHANGE_CELL)) == int32_t(index) ||
                      handler_index(*record_cell(record, DEEP_CELL)) == int32_t(index));
}

// One assignment of `set`: the old value is kept on the stack while the handler runs.
void assign(const Cell& object, uint32_t index, const Cell& value) {
    NodeId context = object.s1;
    if (is_handler_index(object.s3, index)) return;
    Cell word = get_field(context, index);
    if (!object.s3) {
        *value_at(context, index) = value;
    } else {
        const Cell* old = stack::push(*value_at(context, index));
        *value_at(context, index) = value;
        fire_on_change(object, word, *old, value);
        stack::pop(1);
    }
    series_of(context::words(context))->cells()[index].set_flag(FLAG_WORD_ASSIGNED);
}

[[noreturn]] void need_value(NodeId context, uint32_t index) {
    Cell word = get_field(context, index);
    fire(err::need_value, &word);
}

void check_block_values(const Cell& object, const Cell& values, bool any) {
    uint32_t n = std::min(context::word_count(object.s1), block::vs_length(&values));
    for (uint32_t i = 0; i < n; ++i) {
        if (is_handler_index(object.s3, i)) continue;
        if (!any && block::vs_abs_at(&values, values.s1 + i)->is(TYPE_UNSET)) need_value(object.s1, i);
    }
}

void check_object_values(const Cell& object, const Cell& source, bool any) {
    for (uint32_t i = 0; i < context::word_count(object.s1); ++i) {
        if (is_handler_index(object.s3, i)) continue;
        Cell word = get_field(object.s1, i);
        int32_t from = find_word(source, word);
        if (!any && from >= 0 && value_at(source.s1, uint32_t(from))->is(TYPE_UNSET)) need_value(object.s1, i);
    }
}

void set_from_block(const Cell& object, const Cell& values, bool some) {
    for (uint32_t i = 0; i < context::word_count(object.s1); ++i) {
        Cell item = i < block::vs_length(&values) ? *block::vs_abs_at(&values, values.s1 + i) : none_cell();
        if (some && item.is(TYPE_NONE)) continue;
        assign(object, i, item);
    }
}

void set_from_object(const Cell& object, const Cell& source, bool some) {
    for (uint32_t i = 0; i < context::word_count(object.s1); ++i) {
        Cell word = get_field(object.s1, i);
        int32_t from = find_word(source, word);
        if (from < 0) continue;
        Cell item = *value_at(source.s1, uint32_t(from));
        if (some && item.is(TYPE_NONE)) continue;
        assign(object, i, item);
    }
}

}  // namespace

void clear_changes(NodeId context) {
    Series* s = series_of(context::words(context));
    for (Cell* w = s->cells(); w < s->cell_tail(); ++w) w->clear_flag(FLAG_WORD_ASSIGNED);
}

void set_values(const Cell& object, const Cell& value, bool any, bool only, bool some) {
    Cell* mark = stack::top;
    const Cell o = *stack::push(object);
    const Cell v = *stack::push(value);
    if (v.is(TYPE_BLOCK) && !only) {
        if (!some) check_block_values(o, v, any);
        set_from_block(o, v, some);
    } else if (v.is(TYPE_OBJECT) && !only) {
        if (!some) check_object_values(o, v, any);
        set_from_object(o, v, some);
    } else {
        for (uint32_t i = 0; i < context::word_count(o.s1); ++i) assign(o, i, v);
    }
    stack::top = mark;
}

NodeId make_on_set(NodeId change_spec, NodeId deep_spec, int32_t change_index, int32_t change_locals,
                   int32_t deep_index, int32_t deep_locals) {
    NodeId record = memory::alloc_cells(2);
    Series* s = series_of(record);
    s->cells()[CHANGE_CELL] = record_entry(change_spec, change_index, change_locals);
    s->cells()[DEEP_CELL] = record_entry(deep_spec, deep_index, deep_locals);
    s->tail = 2 * sizeof(Cell);
    return record;
}

bool on_deep(const Cell& object) {
    return object.s3 && handler_index(*record_cell(object.s3, DEEP_CELL)) != -1;
}

NodeId build_on_set(NodeId context) {
    int32_t found[2] = {-1, -1};
    const uint32_t change = word_names::canonical(words::on_change_star);
    const uint32_t deep = word_names::canonical(words::on_deep_change_star);
    for (uint32_t i = 0; i < context::word_count(context); ++i) {
        uint32_t s = symbol::resolve(get_field(context, i).s2);
        if (s == change) found[CHANGE_CELL] = int32_t(i);
        if (s == deep) found[DEEP_CELL] = int32_t(i);
    }
    if (found[CHANGE_CELL] < 0 && found[DEEP_CELL] < 0) return 0;
    int32_t locals[2] = {0, 0};
    for (int which : {CHANGE_CELL, DEEP_CELL}) {
        if (found[which] < 0) continue;
        const Cell handler = *value_at(context, uint32_t(found[which]));
        if (!handler.is(TYPE_FUNCTION) && !handler.is(TYPE_ROUTINE)) {
            Cell word = get_field(context, uint32_t(found[which]));
            Cell type = datatype_cell(handler.type());
            fire(err::bad_field_set, &word, &type);
        }
        locals[which] = locals_of(handler);
    }
    return make_on_set(0, 0, found[CHANGE_CELL], locals[CHANGE_CELL], found[DEEP_CELL], locals[DEEP_CELL]);
}

void attach_events(Cell* object) {
    object->s3 = build_on_set(object->s1);
    const Cell o = *object;
    if (on_deep(o)) ownership::set_owner(o, o, none_cell());
    context::owner(o.s1) = o;
}

NodeId init_events(NodeId context, int32_t change_index, int32_t change_locals, int32_t deep_index,
                   int32_t deep_locals) {
    NodeId record = make_on_set(0, 0, change_index, change_locals, deep_index, deep_locals);
    Cell* object = stack::last();
    object->s3 = record;
    const Cell o = *object;
    if (deep_index != -1) ownership::set_owner(o, o, none_cell());
    context::owner(context) = o;
    return record;
}

void fire_on_change(const Cell& object, const Cell& word, const Cell& old_value, const Cell& new_value) {
    const Cell o = object;
    if (!o.s3) return;
    int32_t index = handler_index(*record_cell(o.s3, CHANGE_CELL));
    if (index == -1) return;
    const Cell handler = *value_at(o.s1, uint32_t(index));
    if (!handler.is(TYPE_FUNCTION)) fire(err::invalid_obj_evt, &handler);
    Cell field = word;
    if (field.s1 != o.s1) context::bind_word(o.s1, field);
    const Cell old = old_value;
    const Cell fresh = new_value;
    int32_t locals = current_locals(o.s3, CHANGE_CELL, handler);
    run_handler(handler, o.s1, words::on_change_star.s2, locals, [&] {
        stack::push(field);
        stack::push(old);
        stack::push(fresh);
    });
}

void fire_on_change_top(const Cell& object, const Cell& word) {
    const Cell old = *stack::last();
    const Cell fresh = *(stack::last() - 1);
    fire_on_change(object, word, old, fresh);
}

void fire_on_change_via(const Cell& holder, const Cell& word) {
    const Cell object = *context::get(holder);
    fire_on_change_top(object, word);
}

void fire_on_change_node(NodeId context, const Cell& word) {
    const Cell object = context::owner(context);
    fire_on_change_top(object, word);
}

void fire_on_deep_change(const Cell& owner, const Cell& word, const Cell& target, const Cell& action,
                         const Cell* new_value, int32_t index, int32_t part) {
    const Cell o = owner;
    if (!o.s3) fire(err::invalid_obj_evt, &o);
    int32_t field = handler_index(*record_cell(o.s3, DEEP_CELL));
    if (field == -1) return;
    const Cell handler = *value_at(o.s1, uint32_t(field));
    if (!handler.is(TYPE_FUNCTION)) return;
    const Cell arguments[] = {o, word, target, action, new_value ? *new_value : none_cell(),
                              integer_cell(index), integer_cell(part)};
    int32_t locals = current_locals(o.s3, DEEP_CELL, handler);
    run_handler(handler, o.s1, words::on_deep_change_star.s2, locals, [&] {
        for (const Cell& argument : arguments) stack::push(argument);
    });
}

}  // namespace vyn::object
