// The environment's sources are loaded with the lexer (which binds words to the global context)
// and evaluated one after the other; an error in them is a fault of the build and ends start-up
// through the uncaught-error report.
#include "startup/boot.hpp"

#include <cstring>

#include "core/actions_abi.hpp"
#include "core/context.hpp"
#include "core/embedded.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"

namespace vyn::boot {
namespace {

void set_global(std::string_view name, const Cell& value) {
    Rooted held{value};  // interning the name may collect
    Cell word = context::add_global(symbol::make(name));
    context::set_in(word, *held, context::global(), false);
}

Cell load_text(std::string_view text) {
    Rooted block;
    lexer::scan(block.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), lexer::ScanOptions{});
    return *block;
}

// What the word conversions read a text with (`to word! "a"`): the block of its values.
Cell load_string(const Cell& text) {
    Rooted block;
    lexer::scan_string(block.get(), &text, -1, lexer::ScanOptions{});
    return *block;
}

// The `make` action with its plain spec; the environment redefines it with its documented one.
Cell make_action() {
    Rooted spec(load_text("type spec"));
    NodeId extra = memory::alloc_unset_cells(2);
    memory::series_of(extra)->tail = 2 * sizeof(Cell);
    return make_cell(TYPE_ACTION, A_MAKE, spec->s2, extra);
}

}  // namespace

void init_globals() {
    word::set_text_loader(load_string);
    scalar::set_value_reader(load::from_string);
    for (int t = 1; t < TYPE_COUNT; ++t) set_global(datatype::name_of(TypeId(t)), datatype_cell(TypeId(t)));
    set_global("none", none_cell());
    set_global("true", logic_cell(true));
    set_global("false", logic_cell(false));
    for (const auto& named : typeset::NAMED) set_global(named.word, named.types);
    set_global("make", make_action());
    Cell null_handle;
    set_global("null-handle", *handle::make_at(&null_handle, 0, 0));
}

void load_environment() {
    for (int i = 0; i < embedded_script_count; ++i) {
        const EmbeddedScript& script = embedded_scripts[i];
        Rooted code(load_text(std::string_view(script.text, std::strlen(script.text))));
        interp::eval(*code, false);
        stack::reset_all();
    }
}

}  // namespace vyn::boot
