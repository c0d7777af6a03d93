// error! handlers, error creation and the text of an error. A new error is a shallow copy of the
// prototype `system/standard/error` whose category and id words are fetched from the catalogue
// objects by field index: the category at its index in the catalogue, the id at its number + 2
// in the category. Forming never fails on a malformed error: an unknown category or id is shown
// as internal/invalid-error with the offending word as its argument.
#include "datatypes/error.hpp"

#include <unistd.h>

#include <string>

#include "core/context.hpp"
#include "core/eval_hooks.hpp"
#include "core/fatal.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/tracked_heap.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/exits.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/object.hpp"
#include "datatypes/stack_trace.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::error {
namespace {

constexpr int SYNTAX = err::syntax_invalid / 100;
constexpr int INTERNAL = err::invalid_error / 100;
constexpr int32_t NEAR_LIMIT = 40;
constexpr int32_t ARGUMENT_LIMIT = 80;

NodeId catalogue() { return system_object::catalogue_context(); }
NodeId category_node(int category) { return system_object::category_context(category); }
uint32_t field_count(NodeId context) { return context::word_count(context); }

// The field index of a word in a context, or -1; ids live at index 2 and above.
int32_t category_index(const Cell& word) {
    return word.is(TYPE_WORD) ? context::find_word(catalogue(), word.s2, true) : -1;
}
int32_t id_field(int category, const Cell& word) {
    if (!word.is(TYPE_WORD)) return -1;
    int32_t index = context::find_word(category_node(category), word.s2, true);
    return index >= catalog::first_id_field ? index : -1;
}

[[noreturn]] void invalid_spec_field(const Cell& field_word) {
    const Cell word = field_word;
    fire(err::invalid_spec_field, &word);
}

void set_kind(const Cell& error, int category, uint32_t id) {
    *field(error, FIELD_CODE) = integer_cell(category * 100 + int32_t(id) - catalog::first_id_field);
    *field(error, FIELD_TYPE) = object::get_field(catalogue(), uint32_t(category));
    *field(error, FIELD_ID) = object::get_field(category_node(category), id);
}

// A shallow copy of the prototype, retyped: class 1, no on-set record.
void make_blank(Cell* target) {
    object::copy_into(system_object::error_prototype(), target, false, nullptr, false);
    target->header = TYPE_ERROR;
    target->s2 = CLASS_ID;
    target->s3 = 0;
    context::owner(target->s1) = *target;
}

void from_code(const Cell& error, const Cell& spec) {
    int32_t n = spec.i32();
    int32_t category = n / 100;
    if (n < 0 || uint32_t(category) >= field_count(catalogue())) fire(err::out_of_range, &spec);
    int32_t number = n % 100;
    uint32_t id = uint32_t(number) + catalog::first_id_field;
    if (id >= field_count(category_node(category))) fire(err::out_of_range, &spec);
    set_kind(error, category, id);
}

// The category and id words of a spec block or of `create`.
void from_words(const Cell& error, const Cell& category_word, const Cell* id_word) {
    int32_t category = category_index(category_word);
    if (category < 0) invalid_spec_field(words::type);
    if (!id_word) invalid_spec_field(words::id);
    const Cell id = *id_word;
    if (!id.is(TYPE_WORD)) fire(err::invalid_arg, &id);
    int32_t field = id_field(category, id);
    if (field < 0) invalid_spec_field(words::id);
    set_kind(error, category, uint32_t(field));
}

// A spec of set-words is run in the error's context; type and id must then name an error.
void from_fields(const Cell& error, const Cell& spec) {
    context::bind(spec, error.s1, true);
    eval_hooks::eval(spec, false);
    const Cell type = *field(error, FIELD_TYPE);
    int32_t category = category_index(type);
    if (category < 0) invalid_spec_field(words::type);
    int32_t id = id_field(category, *field(error, FIELD_ID));
    if (id < 0) invalid_spec_field(words::id);
    set_kind(error, category, uint32_t(id));
}

void from_block(const Cell& error, const Cell& spec) {
    uint32_t length = block::vs_length(&spec);
    const Cell first = length ? *block::vs_abs_at(&spec, spec.s1) : none_cell();
    if (first.is(TYPE_WORD)) {
        const Cell second = length > 1 ? *block::vs_abs_at(&spec, spec.s1 + 1) : none_cell();
        from_words(error, first, length > 1 ? &second : nullptr);
    } else if (first.is(TYPE_SET_WORD)) {
        from_fields(error, spec);
    } else {
        fire(err::invalid_error);
    }
}

void store_arguments(const Cell& error, const Cell* const arguments[3]) {
    for (uint32_t i = 0; i < 3; ++i)
        if (arguments[i]) *field(error, Field(FIELD_ARG1 + i)) = *arguments[i];
}

// Builds an error on the stack and hands it back with the stack as it was.
template <class Fill>
Cell build(const Cell* arg1, const Cell* arg2, const Cell* arg3, Fill fill) {
    Cell* mark = stack::top;
    const Cell* kept[3] = {arg1 ? stack::push(*arg1) : nullptr, arg2 ? stack::push(*arg2) : nullptr,
                           arg3 ? stack::push(*arg3) : nullptr};
    Cell* error = stack::push(unset_cell());
    make_blank(error);
    fill(*error);
    store_arguments(*error, kept);
    *field(*error, FIELD_NEAR) = eval_hooks::current_code();
    const Cell result = *error;
    stack::top = mark;
    return result;
}

// ---- text ----

int32_t emit_utf8(Cell* out, const std::string& text, int32_t budget) {
    uint32_t before = string::abs_length(out);
    string::append_utf8(out, text);
    return budget - int32_t(string::abs_length(out) - before);
}

int32_t emit_name(Cell* out, uint32_t symbol, int32_t budget) {
    return emit_utf8(out, std::string(symbol::name(symbol)), budget);
}

// Runs `emit` under a catching place of its own: false when it raised, both stacks then as they
// were. Reporting an error must not raise another.
template <class Emit>
bool emitted(Emit emit) {
    Cell* base = stack::base;
    Cell* top = stack::top;
    stack::Frame* frames = stack::frame_top;
    stack::mark(stack::FRAME_TRY, stack::body_symbol);
    bool done = true;
    try {
        emit();
    } catch (const Unwind& exit) {
        if (exit.code != EXIT_ERROR) throw;
        done = false;
    }
    stack::frame_top = frames;
    stack::base = base;
    stack::top = top;
    return done;
}

bool emit_whole(Cell* text, const Cell& value, bool formed, bool only, int32_t limit) {
    const Cell part = integer_cell(limit);
    return emitted([&] {
        if (formed) mold::form_value(&value, text, &part, limit);
        else mold::mold_value(&value, text, MoldArgs{only, false, true, 0}, &part, limit);
    });
}

// A value that cannot be shown is named by its datatype; a block's values that can be are
// shown around it, one level deep.
void emit_fallback(Cell* text, const Cell& value, bool formed, bool only, int32_t limit) {
    string::truncate(text->s2, 0);
    if (!value.is(TYPE_BLOCK) && !value.is(TYPE_PAREN)) {
        string::append_utf8(text, datatype::name_of(value.type()));
        return;
    }
    if (!only) string::append_utf8(text, value.is(TYPE_PAREN) ? "(" : "[");
    const uint32_t tail = block::vs_length(&value) + value.s1;
    for (uint32_t i = value.s1; i < tail && string::length(text) < uint32_t(limit); ++i) {
        if (i > value.s1) string::append_utf8(text, " ");
        const Cell item = *block::vs_abs_at(&value, i);
        const uint32_t before = string::abs_length(text);
        if (!emit_whole(text, item, formed, false, limit)) {
            string::truncate(text->s2, before);
            string::append_utf8(text, datatype::name_of(item.type()));
        }
    }
    if (!only) string::append_utf8(text, value.is(TYPE_PAREN) ? ")" : "]");
}

// Writes a value's mold (or form) cut to `limit` characters.
int32_t emit_limited(Cell* out, const Cell& value, bool formed, bool only, int32_t limit, int32_t budget) {
    Cell* mark = stack::top;
    Cell* text = stack::push(string::make(uint32_t(limit)));
    const Cell v = value;
    if (!emit_whole(text, v, formed, only, limit)) emit_fallback(text, v, formed, only, limit);
    string::truncate(text->s2, uint32_t(limit));
    uint32_t written = string::length(text);
    string::append_string(out, text);
    stack::top = mark;
    return budget - int32_t(written);
}

// The category and id of an error as form shows them: unknown ones turn the error into
// internal/invalid-error with the offending word in arg1.
struct Kind {
    int category;
    uint32_t id;
};

void to_invalid_error(const Cell& error, const Cell& culprit) {
    *field(error, FIELD_ARG1) = culprit;
    set_kind(error, INTERNAL, err::id_number_of(err::invalid_error) + catalog::first_id_field);
}

Kind resolve_kind(const Cell& error) {
    const Cell type = *field(error, FIELD_TYPE);
    int32_t category = category_index(type);
    if (category < 0) {
        to_invalid_error(error, type);
        category = INTERNAL;
    }
    const Cell id = *field(error, FIELD_ID);
    int32_t index = id_field(category, id);
    if (index < 0) {
        to_invalid_error(error, id);
        category = INTERNAL;
        index = id_field(category, *field(error, FIELD_ID));
    }
    return Kind{category, uint32_t(index)};
}

int32_t emit_message(const Cell& error, const Kind& kind, Cell* out, int32_t budget) {
    Cell message = *object::value_at(category_node(kind.category), kind.id);
    if (message.is(TYPE_WORD)) message = object::vs_select(error, message);
    if (string::is_text(message.type())) {
        uint32_t n = string::length(&message);
        string::append_string(out, &message);
        return budget - int32_t(n);
    }
    if (message.is(TYPE_BLOCK)) return reduce_message(message, out, error, budget);
    to_invalid_error(error, *field(error, FIELD_TYPE));
    return budget;
}

int32_t emit_where(const Cell& error, Cell* out, int32_t budget) {
    budget = mold::emit(out, "\n*** Where: ", budget);
    const Cell where = *field(error, FIELD_WHERE);
    if (where.is(TYPE_WORD)) return emit_name(out, where.s2, budget);
    if (string::is_text(where.type())) {
        uint32_t n = string::length(&where);
        string::append_string(out, &where);
        return budget - int32_t(n);
    }
    return mold::emit(out, "???", budget);
}

int32_t emit_trace(const Cell& error, Cell* out, int32_t budget) {
    const Cell level = system_object::stack_trace_level();
    const Cell trace = *field(error, FIELD_STACK);
    if (!level.is(TYPE_INTEGER) || level.i32() <= 0 || !trace.is(TYPE_BLOCK)) return budget;
    // A trace as deep as the stack would fill screens: it is cut like an argument.
    return emit_limited(out, trace, true, false, ARGUMENT_LIMIT, mold::emit(out, "\n*** Stack: ", budget));
}

int32_t emit_files(const Cell& error, Cell* out, int32_t budget) {
    const Cell files = *field(error, FIELD_FILES);
    if (!files.is(TYPE_BLOCK)) return budget;
    return emit_limited(out, files, false, true, NEAR_LIMIT, mold::emit(out, "\n*** Files: ", budget));
}

[[noreturn]] void report_uncaught(const Cell& error) { report_and_exit(error, -2); }

}  // namespace

[[noreturn]] void report_and_exit(const Cell& error, int status) {
    Rooted kept(error);
    Rooted out(string::make(256));
    form(kept.get(), out.get(), nullptr, INT32_MAX);
    std::string text = string::to_utf8(out.get());
    text += '\n';
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    sys::free_all();
    _exit(sys::exit_status(status));
}

Cell* field(const Cell& error, Field f) { return object::value_at(error.s1, f); }

Cell create(const Cell& category, const Cell& id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    const Cell c = category;
    const Cell i = id;
    return build(arg1, arg2, arg3, [&](const Cell& error) { from_words(error, c, &i); });
}

Cell create(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    return build(arg1, arg2, arg3, [code](const Cell& error) {
        set_kind(error, err::category_of(code), uint32_t(err::id_number_of(code)) + catalog::first_id_field);
    });
}

void raise(err::Code code, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    exits::throw_error(create(code, arg1, arg2, arg3));
}

void set_where(const Cell& error, const Cell& value) {
    const Cell v = value;
    Cell* where = field(error, FIELD_WHERE);
    if (where->is(TYPE_NONE)) *where = v;
}

uint32_t category_symbol(const Cell& error) { return field(error, FIELD_TYPE)->s2; }
uint32_t id_symbol(const Cell& error) { return field(error, FIELD_ID)->s2; }

Cell call_word() {
    const stack::Frame* frame = stack::call_frame();
    if (!frame || !frame->symbol) return words::frame_not_found;
    return stack::frame_word(*frame);
}

void capture_stack(const Cell& error, uint32_t from) {
    const Cell end = *field(error, FIELD_STACK);
    if (!end.is(TYPE_INTEGER) || end.i32() < 0) return;
    const Cell setting = system_object::stack_trace_level();
    const int32_t level = setting.is(TYPE_INTEGER) && setting.i32() > 0 ? setting.i32() : 1;
    Rooted kept(error);
    Rooted trace;
    block::make_at(trace.get(), 20);
    stack::trace_block(level, trace.get(), from, uint32_t(end.i32()));
    *field(*kept, FIELD_STACK) = *trace;
}

Cell call_argument(int32_t n) {
    const Cell anon = words::frame_anon;
    const Cell word = call_word();
    if (!word.s1 || int32_t(word.s3) < 0) return anon;
    const Cell value = *context::get_value_in(word.s2, word.s1);
    bool callable = value.is(TYPE_NATIVE) || value.is(TYPE_ACTION) || value.is(TYPE_OP) ||
                    value.is(TYPE_FUNCTION) || value.is(TYPE_ROUTINE);
    if (!callable) return anon;
    Series* spec = memory::series_of(value.s2);
    for (const Cell* c = spec->cells(); c < spec->cell_tail(); ++c) {
        bool argument = c->is(TYPE_WORD) || c->is(TYPE_LIT_WORD) || c->is(TYPE_GET_WORD) || c->is(TYPE_REFINEMENT);
        if (argument && n-- == 0) return *c;
    }
    return anon;
}

int32_t reduce_message(const Cell& message, Cell* out, const Cell& error, int32_t budget) {
    const Cell m = message;
    const Cell e = error;
    const bool formed = category_index(*field(e, FIELD_TYPE)) == SYNTAX;
    for (uint32_t i = m.s1; i < block::vs_length(&m) + m.s1; ++i) {
        if (i > m.s1) budget = mold::emit(out, " ", budget);
        const Cell item = *block::vs_abs_at(&m, i);
        if (string::is_text(item.type())) {
            uint32_t n = string::length(&item);
            string::append_string(out, &item);
            budget -= int32_t(n);
        } else if (item.is(TYPE_WORD) || item.is(TYPE_GET_WORD)) {
            const Cell value = object::vs_select(e, item);
            Cell* base = stack::base;
            Cell* top = stack::top;
            stack::mark(stack::FRAME_NATIVE, stack::body_symbol);
            budget = emit_limited(out, value, formed, false, ARGUMENT_LIMIT, budget);
            stack::unwind();
            stack::base = base;
            stack::top = top;
        }
    }
    return budget;
}

// ---- handlers ----

Cell* make(Cell* proto, const Cell* spec, TypeId) {
    const Cell s = *spec;
    Cell made;
    if (s.is(TYPE_STRING)) {
        made = create(err::message, &s, nullptr, nullptr);
    } else if (s.is(TYPE_INTEGER) || s.is(TYPE_BLOCK)) {
        Cell* mark = stack::top;
        stack::push(s);
        made = build(nullptr, nullptr, nullptr, [&s](const Cell& error) {
            if (s.is(TYPE_INTEGER)) from_code(error, s);
            else from_block(error, s);
        });
        stack::top = mark;
    } else {
        Cell type = datatype_cell(TYPE_ERROR);
        fire(err::bad_make_arg, &type, &s);
    }
    *proto = made;
    return proto;
}

int32_t form(const Cell* error, Cell* out, const Cell*, int32_t budget) {
    const Cell e = *error;
    budget = mold::emit(out, "*** ", budget);
    Kind kind = resolve_kind(e);
    const Cell heading = *object::value_at(category_node(kind.category), 1);
    budget = mold::emit(out, ": ", emit_utf8(out, string::to_utf8(&heading), budget));
    budget = emit_message(e, kind, out, budget);
    budget = emit_where(e, out, budget);
    budget = emit_limited(out, *field(e, FIELD_NEAR), false, true, NEAR_LIMIT, mold::emit(out, "\n*** Near : ", budget));
    budget = emit_trace(e, out, budget);
    return emit_files(e, out, budget);
}

int32_t mold(const Cell* error, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (!args.only) budget = mold::emit(out, "make error! [", budget);
    object::SerializeArgs fields{args.only, args.all, args.flat, part, true, args.indent + 1, true};
    budget = object::serialize(*error, out, fields, budget);
    if (args.indent > 0) budget = mold::emit_indent(out, args.indent, budget);
    if (!args.only) budget = mold::emit(out, "]", budget);
    return budget;
}

Cell* eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    if (element->is(TYPE_WORD) && word_names::is(*element, words::sym::stack)) {
        const Cell path = step.path ? *step.path : none_cell();
        fire(err::invalid_path_set, &path);
    }
    return object::eval_path(parent, element, value, step);
}

int compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_ERROR)) return -2;
    Cell other = *b;
    other.set_type(TYPE_OBJECT);
    return object::compare(a, &other, op);
}

namespace {

const SlotHandler error_actions[] = {
    act<A_MAKE>(make),
    inherited_at<A_REFLECT>(),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_EVAL_PATH>(eval_path),
    act<A_COMPARE>(compare),
    inherited_at<A_COPY>(),
    inherited_at<A_FIND>(),
    inherited_at<A_SELECT>(),
};

}  // namespace
}  // namespace vyn::error

namespace vyn {

void error_init() {
    datatype::register_type(TYPE_ERROR, TYPE_OBJECT, "error!", UNSUPPORTED, error::error_actions);
    exits::set_uncaught_reporter(error::report_uncaught);
}

}  // namespace vyn
