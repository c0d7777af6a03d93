// The environment comes from the boot image (decoded into a root block, then each of its blocks
// evaluated) or from the embedded sources (loaded with the lexer, which binds words to the global
// context, and evaluated one after the other). An error while evaluating is a fault of the build
// and ends start-up through the uncaught-error report; a corrupt image ends it with status 1.
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
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/vynbin.hpp"

namespace vyn::boot {
namespace {

std::span<const uint8_t> boot_image;

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

namespace {

void run_script(const Cell& code) {
    Rooted held(code);
    interp::eval(*held, false);
    stack::reset_all();
}

// Decodes the image into `root` and returns the index of its first value. A wrong magic or
// corrupt compressed data ends the process in the decoder; a bad record is an error, which
// here ends it with status 1 too: a build whose image does not load must not start.
uint32_t decode_image(Cell* root) {
    stack::mark(stack::FRAME_TRY, 0);
    try {
        uint32_t first = vynbin::boot_load(boot_image, root);
        stack::unwind_last();
        return first;
    } catch (const Unwind& exit) {
        if (exit.code == EXIT_ERROR) error::report_and_exit(*stack::last(), 1);
        throw;
    }
}

}  // namespace

void set_image(std::span<const uint8_t> image) { boot_image = image; }

// Tracing shows the user's code, not the environment's: its functions are never traced inside.
void load_environment() {
    struct NeverTraced {
        NeverTraced() { function::set_flags_for_all(function::FLAG_NO_TRACE); }
        ~NeverTraced() { function::set_flags_for_all(0); }
    } never_traced;
    if (boot_image.empty()) {
        for (int i = 0; i < embedded_script_count; ++i) {
            const EmbeddedScript& script = embedded_scripts[i];
            run_script(load_text(std::string_view(script.text, std::strlen(script.text))));
        }
        return;
    }
    Rooted root;
    block::make_at(root.get(), embedded_script_count);
    const uint32_t first = decode_image(root.get());
    for (uint32_t i = first; i < block::vs_length(root.get()); ++i) run_script(*block::vs_abs_at(root.get(), i));
}

namespace {

// The runtime's internal types (symbol!, context!, series!), event!, which the View registers
// later, and types not registered yet keep the words start-up gives them; every other datatype
// word is an image definition.
bool defined_in_image(TypeId type) {
    return datatype::registered(type) && type != TYPE_SYMBOL && type != TYPE_CONTEXT && type != TYPE_SERIES &&
           type != TYPE_EVENT;
}

// native! or action! for a script made only of `word: make native! [...]` (or `action!`)
// definitions; anything else is code, and TYPE_NONE_ID.
TypeId defined_kind(Cell* code) {
    const uint32_t make_symbol = symbol::make("make");
    const uint32_t native_symbol = symbol::make("native!");
    const uint32_t action_symbol = symbol::make("action!");
    const uint32_t n = block::vs_length(code);
    TypeId kind = TYPE_NONE_ID;
    for (uint32_t at = 0; at < n; at += 4) {
        if (n - at < 4) return TYPE_NONE_ID;
        const Cell* c = block::vs_abs_at(code, at);
        if (!c[0].is(TYPE_SET_WORD) || !c[1].is(TYPE_WORD) || c[1].s2 != make_symbol || !c[2].is(TYPE_WORD) ||
            !c[3].is(TYPE_BLOCK))
            return TYPE_NONE_ID;
        TypeId named = c[2].s2 == native_symbol ? TYPE_NATIVE : c[2].s2 == action_symbol ? TYPE_ACTION : TYPE_NONE_ID;
        if (named == TYPE_NONE_ID || (kind != TYPE_NONE_ID && named != kind)) return TYPE_NONE_ID;
        kind = named;
    }
    return kind;
}

}  // namespace

std::vector<uint8_t> make_image(ImageContents* contents) {
    *contents = {};
    vynbin::ImageWriter image;
    for (int t = 1; t < TYPE_COUNT; ++t) {
        if (!defined_in_image(TypeId(t))) continue;
        Rooted word(context::add_global(symbol::make(datatype::name_of(TypeId(t)))));
        image.add_definition(*word, datatype_cell(TypeId(t)));
        ++contents->datatypes;
    }
    for (int i = 0; i < embedded_script_count; ++i) {
        const EmbeddedScript& script = embedded_scripts[i];
        Rooted code(load_text(std::string_view(script.text, std::strlen(script.text))));
        const TypeId kind = defined_kind(code.get());
        if (kind == TYPE_NONE_ID) {
            image.add_value(*code);
            ++contents->scripts;
            continue;
        }
        run_script(*code);
        for (uint32_t at = 0; at < block::vs_length(code.get()); at += 4) {
            Rooted word(*block::vs_abs_at(code.get(), at));
            word->set_type(TYPE_WORD);
            word->clear_flag(FLAG_NEW_LINE);
            Rooted value(*context::get(*word));
            image.add_definition(*word, *value);
            ++(kind == TYPE_NATIVE ? contents->natives : contents->actions);
        }
    }
    return image.finish();
}

}  // namespace vyn::boot
