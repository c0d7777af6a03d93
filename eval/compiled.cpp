// Compiled-code support. The argument stack never moves, so the cells these operations hand back
// stay valid; context value slots are found as everywhere: on the argument stack for a context
// whose values live there (slot 2 = stack index + 1, 0 without a frame), else in its values block.
#include "eval/compiled.hpp"

#include <cmath>
#include <vector>

#include "core/context.hpp"
#include "core/datatype.hpp"
#include "core/error.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/typeset.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "eval/lexer.hpp"
#include "eval/natives.hpp"

namespace vyn::compiled {
namespace {

bool truthy(const Cell& v) { return !v.is(TYPE_NONE) && !(v.is(TYPE_LOGIC) && v.s1 == 0); }

[[noreturn]] void expect_arg(TypeId type, int32_t index) {
    Cell called = error::call_word();
    Cell datatype = datatype_cell(type);
    Cell argument = error::call_argument(index);
    fire(err::expect_arg, &called, &datatype, &argument);
}

Cell* slot_of(NodeId context, uint32_t index) {
    const Cell& c = context::context_cell(context);
    if (c.s2 == 0) {
        Cell word = object::get_field(context, index);
        fire(err::not_defined, &word);
    }
    if (c.has_flag(FLAG_CONTEXT_ON_STACK)) return stack::bottom + (c.s2 - 1) + index;
    return memory::series_of(c.s2)->cells() + index;
}

const Cell& top_value() { return *stack::last(); }

void store_top(NodeId context, uint32_t index, bool check) {
    const Cell value = top_value();
    if (check && value.is(TYPE_UNSET)) {
        Cell word = object::get_field(context, index);
        fire(err::need_value, &word);
    }
    *slot_of(context, index) = value;
}

bool notifies(const Cell& parent, const Cell& previous) {
    if (parent.is(TYPE_OBJECT)) return parent.s3 != 0 && previous.is(TYPE_WORD);
    return series::is_block_type(parent.type());
}

}  // namespace

Cell* check_arg_type(const Cell& typeset, int32_t index, Cell* value) {
    if (!typeset::has(typeset, value->type())) expect_arg(value->type(), index);
    return value;
}

Cell* check_arg_type_at(int32_t slot, const Cell& typeset, int32_t index) {
    if (slot < 0) return nullptr;
    return check_arg_type(typeset, index, stack::base + slot);
}

Cell* check_arg_type_opt(const Cell& refinement, const Cell& typeset, int32_t index, Cell* value) {
    return refinement.s1 ? check_arg_type(typeset, index, value) : value;
}

Cell* check_unset(int32_t index, Cell* value) {
    if (value->is(TYPE_UNSET)) expect_arg(TYPE_UNSET, index);
    return value;
}

void set_word_top(const Cell& word) {
    const Cell w = word;
    const Cell value = top_value();
    if (value.is(TYPE_UNSET)) fire(err::need_value, &w);
    context::set(w, value);
}

void set_word_top_reset(const Cell& word) {
    set_word_top(word);
    stack::reset();
}

void set_ctx_word_top(NodeId context, uint32_t index) { store_top(context, index, true); }

void set_ctx_word_top_reset(NodeId context, uint32_t index) {
    store_top(context, index, true);
    stack::reset();
}

void set_ctx_word(NodeId context, uint32_t index) {
    if (context::kind_of(context) == context::Kind::object)
        memory::series_of(context::words(context))->cells()[index].set_flag(FLAG_WORD_ASSIGNED);
    store_top(context, index, false);
    stack::reset();
}

Cell* get_word_checked(const Cell& word) {
    const Cell w = word;
    Cell* value = context::get(w);
    if (value->is(TYPE_UNSET)) fire(err::no_value, &w);
    return value;
}

Cell* ctx_word_cell(NodeId context, uint32_t index) { return slot_of(context, index); }

void set_refinement(const Cell& value, int32_t slot, int32_t count) {
    Cell* refinement = stack::base + slot;
    if (truthy(value)) {
        refinement->s1 = 1;
        return;
    }
    for (int32_t i = 1; i <= count; ++i) refinement[i] = none_cell();
}

void call_with_refinements(int32_t index, bool native, int32_t refinement_count,
                           std::span<const RefinementUse> uses) {
    std::vector<int32_t> refinements(size_t(refinement_count), -1);
    for (const RefinementUse& use : uses) {
        if (truthy(*use.value)) {
            refinements[size_t(use.position - 1)] = use.slot;
            continue;
        }
        for (int32_t i = 0; i < use.count; ++i) stack::base[use.slot + i] = none_cell();
    }
    if (native) natives::table[index - 1](1, refinements.data());
    else actions::table[index - 1](refinements.data());
}

Cell eval_path(bool set, const Cell& path, std::span<const Cell> segments) {
    const Cell p = path;
    const Cell to_store = *stack::base;
    const Cell& head = segments[0];
    Cell current = head;
    Cell parent = none_cell();
    if (head.is(TYPE_WORD)) {
        current = *context::get(head);
        NodeId context = head.s1;
        if (context && context != context::global() && !context::owner(context).is(TYPE_OBJECT))
            parent = context::owner(context);
    }
    for (size_t k = 1; k < segments.size(); ++k) {
        const Cell segment = segments[k];
        const Cell previous = segments[k - 1];
        bool last = k + 1 == segments.size();
        bool notify = set && last && segments.size() > 2 && notifies(parent, previous);
        auto handler = datatype::handler<A_EVAL_PATH>(current.type());
        if (!handler) fire(err::invalid_path, &p, &segment);
        PathStep step{&p, &parent, &previous, int32_t(k), false, last, notify};
        Cell value = current;
        Cell* result = handler(&value, &segment, set && last ? &to_store : nullptr, step);
        parent = current;
        current = *result;
    }
    *stack::base = current;
    return current;
}

Cell* switch_select(bool push, bool skip_to_block) {
    const Cell value = stack::base[0];
    const Cell cases = stack::base[1];
    const uint32_t end = block::vs_length(&cases) + cases.s1;
    const uint32_t step = push ? 1 : 2;
    Cell found = none_cell();
    for (uint32_t i = cases.s1; !value.is(TYPE_BLOCK) && i < end; i += step) {
        Cell candidate = *block::vs_abs_at(&cases, i);
        if (candidate.type() != value.type() || !actions::compare(&candidate, &value, CMP_EQUAL)) continue;
        if (!skip_to_block) {
            found = *block::vs_abs_at(&cases, i + 1 < end ? i + 1 : i);
            break;
        }
        for (uint32_t j = i + 1; j < end; ++j) {
            if (block::vs_abs_at(&cases, j)->is(TYPE_BLOCK)) {
                found = *block::vs_abs_at(&cases, j);
                break;
            }
        }
        break;
    }
    if (push) return stack::push(found);
    *stack::base = found;
    return stack::base;
}

}  // namespace vyn::compiled
