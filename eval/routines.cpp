// The boot routines and the type predicates: what no native covers, bound by name to the Vyn
// specs of the environment's routines file. Each reads its arguments from the argument stack like a native and leaves its
// result in the frame's result cell; one without a result leaves unset.
#include "eval/routines.hpp"

#include <algorithm>

#include "core/context.hpp"
#include "core/fatal.hpp"
#include "core/os/os.hpp"
#include "core/raise.hpp"
#include "core/stack.hpp"
#include "core/typeset.hpp"
#include "core/utf8.hpp"
#include "datatypes/block.hpp"
#include "datatypes/file.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/os/sysinfo.hpp"
#include "datatypes/stack_trace.hpp"
#include "datatypes/string.hpp"
#include "eval/interp.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/os/clipboard.hpp"
#include "eval/trace.hpp"

namespace vyn::routines {
namespace {

using natives::args;
using routine_table::Binding;
using routine_table::Definition;

void no_result() { stack::set_result(unset_cell()); }

void quit_return(int32_t) { sys::end_process(args()->i32()); }

bool is_any_word(TypeId t) { return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD; }

// The store skips the owner's on-change* handler, so a handler can set its own field.
void set_quiet(int32_t) {
    Cell* a = args();
    if (!is_any_word(a[0].type())) natives::fire_expect_arg(a[0], "word");
    const Cell value = a[1];
    context::set_in(a[0], value, a[0].s1, false);
    stack::set_result(value);
}

void set_slot_quiet(int32_t) {
    Cell* a = args();
    const Cell series = a[0];
    TypeId t = series.type();
    if (t != TYPE_BLOCK && t != TYPE_PAREN && t != TYPE_HASH) natives::fire_expect_arg(series, "series");
    uint32_t total = natives::tail_of(series);
    if (series.s1 < total) {
        *block::vs_abs_at(&series, series.s1) = a[1];
        if (t == TYPE_HASH) hash::reindex_changed(series, series.s1, total, 1);
    }
    no_result();
}

// The shift native with one refinement: its index names the refinement, and its position
// (any, as neither takes an argument) says it is used.
void shift_with(int refinement) {
    int32_t refinements[2] = {-1, -1};
    if (refinement >= 0) refinements[refinement] = 2;
    natives::entry::shift(0, refinements);
}
void shift_right(int32_t) { shift_with(-1); }
void shift_left(int32_t) { shift_with(0); }
void shift_logical(int32_t) { shift_with(1); }

void last_lf_q(int32_t) { stack::set_result(logic_cell(natives::last_output_ended_line())); }

void get_current_dir(int32_t) {
    Cell dir = string::from_utf8(file::current_dir());
    dir.set_type(TYPE_FILE);
    stack::set_result(dir);
}

void set_current_dir(int32_t) {
    const Cell path = *args();
    if (!os::set_current_dir(file::to_local_path(&path))) fire(err::cannot_open, &path);
    no_result();
}

void create_dir(int32_t) {
    const Cell path = *args();
    if (!files::make_dir(file::to_local_path(&path))) fire(err::no_create, &path);
    no_result();
}

void exists_q(int32_t) {
    const Cell path = *args();
    stack::set_result(logic_cell(files::exists(file::to_local_path(&path))));
}

void os_info(int32_t) { stack::set_result(sysinfo::os_info()); }

// The first negative component is the error.
void check_components(const Cell* a, int count) {
    for (int i = 0; i < count; ++i)
        if (a[i].i32() < 0) fire(err::invalid_arg, &a[i]);
}

void as_color(int32_t) {
    const Cell* a = args();
    check_components(a, 3);
    uint8_t bytes[3];
    for (int i = 0; i < 3; ++i) bytes[i] = uint8_t(a[i].i32());
    stack::set_result(tokenizer::make_tuple(bytes, 3));
}

// A component above 255 carries into the next one: the four are summed as one 32-bit value.
void as_ipv4(int32_t) {
    const Cell* a = args();
    check_components(a, 4);
    uint32_t packed = 0;
    for (int i = 0; i < 4; ++i) packed |= uint32_t(a[i].i32()) << (8 * i);
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(packed >> (8 * i));
    stack::set_result(tokenizer::make_tuple(bytes, 4));
}

// Counts characters by their lead bytes from start's index to pos's, never past the buffer's
// tail; a byte that leads no sequence counts as one character of one byte.
void count_chars(int32_t) {
    const Cell* a = args();
    Series* s = memory::series_of(a[0].s2);
    uint32_t end = std::min(a[1].s1, s->length());
    const uint8_t* bytes = s->head_ptr();
    int32_t count = 0;
    for (uint32_t i = a[0].s1; i < end; ++count) i += uint32_t(std::max(1, unicode::utf8_seq_length(bytes[i])));
    stack::set_result(integer_cell(count));
}

void stack_size_q(int32_t) { stack::set_result(integer_cell(int32_t(stack::top - stack::bottom))); }

void pick_stack(int32_t) {
    int32_t index = args()->i32();
    int32_t size = int32_t(stack::top - stack::bottom);
    stack::set_result(index > 0 && index < size ? stack::bottom[index - 1] : none_cell());
}

void frame_index_q(int32_t) { stack::set_result(integer_cell(int32_t(stack::base - stack::bottom))); }

// Every call below this routine's own frame, innermost last.
void collect_calls(int32_t) {
    Cell* block = args();
    stack::trace_block(2, block, 0, uint32_t(stack::frame_top - stack::frame_bottom) - 1);
    no_result();
}

// Environment functions run untraced inside a traced evaluation, yet still belong to it.
void tracing_q(int32_t) { stack::set_result(logic_cell(trace::active())); }

void read_clipboard(int32_t) { stack::set_result(clipboard::read()); }

void write_clipboard(int32_t) { stack::set_result(logic_cell(clipboard::write(args()))); }

void write_stdout(int32_t) {
    const Cell data = *args();
    files::write_stdout(&data);
    no_result();
}

// The type predicates look at the argument's type id alone: no parent type answers for a child.
void is_datatype(int32_t type) { stack::set_result(logic_cell(args()->type() == TypeId(type))); }

// The typeset is the value the global word has at the call, so rebinding `number!` changes
// what `number?` answers; a word that no longer holds a typeset admits nothing.
void in_typeset(int32_t word_symbol) {
    TypeId type = args()->type();
    const Cell* types = context::get_value_in(uint32_t(word_symbol), context::global());
    stack::set_result(logic_cell(types->is(TYPE_TYPESET) && typeset::has(*types, type)));
}

const Definition boot_routines[] = {
    {"quit-return", quit_return, Binding::none},
    {"set-quiet", set_quiet, Binding::none},
    {"set-slot-quiet", set_slot_quiet, Binding::none},
    {"shift-right", shift_right, Binding::none},
    {"shift-left", shift_left, Binding::none},
    {"shift-logical", shift_logical, Binding::none},
    {"last-lf?", last_lf_q, Binding::none},
    {"get-current-dir", get_current_dir, Binding::none},
    {"set-current-dir", set_current_dir, Binding::none},
    {"create-dir", create_dir, Binding::none},
    {"exists?", exists_q, Binding::none},
    {"os-info", os_info, Binding::none},
    {"as-color", as_color, Binding::none},
    {"as-ipv4", as_ipv4, Binding::none},
    {"as-rgba", as_ipv4, Binding::none},
    {"count-chars", count_chars, Binding::none},
    {"stack-size?", stack_size_q, Binding::none},
    {"pick-stack", pick_stack, Binding::none},
    {"frame-index?", frame_index_q, Binding::none},
    {"collect-calls", collect_calls, Binding::none},
    {"tracing?", tracing_q, Binding::none},
    {"read-clipboard", read_clipboard, Binding::none},
    {"write-clipboard", write_clipboard, Binding::none},
    {"write-stdout", write_stdout, Binding::none},
    {"datatype-test", is_datatype, Binding::datatype},
    {"typeset-test", in_typeset, Binding::word},
};

}  // namespace

void init() {
    routine_table::register_list(boot_routines);
    init_system();
    init_codecs();
    init_text();
}

}  // namespace vyn::routines
