// Shared set-up of the natives tests: the runtime with every registered datatype, the global
// words start-up gives values, and the natives and actions defined from their boot sources, the
// way `make native!` and `make action!` will make them.
// Errors become error! cells that unwind to the test's try frame; the fixture keeps the code
// and arguments of the last one. Output of print and prin is captured through a value hook.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/datatype.hpp"
#include "core/embedded.hpp"
#include "core/error.hpp"
#include "core/hooks.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/typeset.hpp"
#include "core/unwind.hpp"
#include "core/value_slots.hpp"
#include "core/words.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/none.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/unset.hpp"
#include "eval/boot.hpp"
#include "eval/exits.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/natives.hpp"
#include "eval/stack.hpp"

namespace vyn::testing_support {

inline Cell load(std::string_view source) {
    Rooted block;
    lexer::scan(block.get(), reinterpret_cast<const uint8_t*>(source.data()), source.size(), lexer::ScanOptions{});
    return *block;
}

// ---- A stand-in for paren! until it has handlers of its own ----

inline int32_t mold_paren(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    string::concatenate_literal(out, "(");
    budget = block::mold_each(p, out, args, part, budget - 1);
    string::concatenate_literal(out, ")");
    return budget - 1;
}

inline void register_paren_stand_in() {
    Handler paren[ACTION_COUNT];
    for (Handler& h : paren) h = INHERIT;
    paren[A_MOLD - 1] = act<A_MOLD>(mold_paren);
    datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", paren);
}

// ---- The fixture ----

struct LastError {
    err::Code code;
    Cell args[3];
};
inline LastError last_error;

inline void raise_as_error_cell(err::Code code, const Cell* a1, const Cell* a2, const Cell* a3) {
    last_error.code = code;
    const Cell* given[] = {a1, a2, a3};
    for (int i = 0; i < 3; ++i) last_error.args[i] = given[i] ? *given[i] : none_cell();
    exits::throw_error(make_cell(TYPE_ERROR, uint32_t(code)));
}

inline std::string printed;

inline void capture_print(const Cell* value, bool new_line) {
    printed += string::to_utf8(value);
    if (new_line) printed += '\n';
}

// The datatype words that the specs name, for the types not registered yet too.
inline const char* const TYPE_NAMES[] = {
    nullptr, "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!",
    "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!",
    "refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!",
    "get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
    "pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!",
    "date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!",
};

class NativesTest : public testing::Test {
protected:
    void SetUp() override {
        hooks::init();
        hooks::register_hooks(capture_print, nullptr);
        printed.clear();
        memory::init();
        datatype::init();
        for (auto init : {datatype_init, unset_init, none_init, logic_init, series::init, block::init, string_init,
                          integer_init, word_init, issue_init, float_init, typeset_init, percent_init})
            init();
        register_paren_stand_in();
        stack::init();
        symbol::init_table();
        context::init_global();
        words::init_runtime_words();
        words::init_runtime_refinements();
        words::init_runtime_issue();
        natives::init();
        interp::init();
        value_slots::init();
        collector::init();
        set_error_raiser(raise_as_error_cell);
        boot::init_globals();
        define_type_words();
        define_boot("library/boot/natives.vyn", TYPE_NATIVE);
        define_boot("library/boot/actions.vyn", TYPE_ACTION);
        define_operators();
    }

    void TearDown() override { set_error_raiser(nullptr); }

    // Evaluates with the collector on, so that a collection can come at any allocation (every
    // one in the collector-stress build); the fixture's own building runs with it off.
    static void eval_collecting(const Cell& code) {
        struct Collecting {
            Collecting() { collector::set_enabled(true); }
            ~Collecting() { collector::set_enabled(false); }
        } collecting;
        interp::eval(code, true);
    }

    static void set_global(std::string_view name, const Cell& value) {
        context::set(context::add_global(symbol::make(name)), value);
    }
    static Cell global(std::string_view name) { return context::get_global(symbol::make(name)); }

    // Evaluates the source under a try frame; an error fails the test.
    static Cell run(std::string_view source) {
        Rooted code(load(source));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        try {
            eval_collecting(*code);
        } catch (const Unwind& exit) {
            ADD_FAILURE() << "exit " << std::hex << exit.code << std::dec << " (error " << last_error.code
                          << ") in: " << source;
            stack::reset_all();
            return unset_cell();
        }
        Cell result = *stack::base;
        stack::reset_all();
        return result;
    }

    // Values of types that have no mold yet show as their type's name after a "#".
    static std::string mold(const Cell& value) {
        if (!datatype::supports(value.type(), A_MOLD)) return std::string("#") + TYPE_NAMES[value.type()];
        Rooted v(value);
        Rooted out(string::make(16));
        Cell* saved_base = stack::base;
        Cell* saved_top = stack::top;
        stack::Frame* saved_frame = stack::frame_top;
        stack::mark(stack::FRAME_TRY, 0);
        try {
            mold::mold_value(v.get(), out.get(), MoldArgs{false, false, false, 0}, nullptr, INT32_MAX);
        } catch (const Unwind&) {
            string::concatenate_literal(out.get(), "#cannot-mold");
        }
        stack::base = saved_base;
        stack::top = saved_top;
        stack::frame_top = saved_frame;
        return string::to_utf8(out.get());
    }

    static std::string mold_of(std::string_view source) { return mold(run(source)); }

    // The error the source raises, or 0 when it raises none.
    static int error_of(std::string_view source) {
        Rooted code(load(source));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        try {
            eval_collecting(*code);
        } catch (const Unwind& exit) {
            stack::reset_all();
            return exit.code == EXIT_ERROR ? int(last_error.code) : -1;
        }
        stack::reset_all();
        return 0;
    }

    static std::string arg_text(int i) { return mold(last_error.args[i]); }
    static std::string arg_form(int i) {
        Rooted out(string::make(16));
        mold::form_value(&last_error.args[i], out.get(), nullptr, INT32_MAX);
        return string::to_utf8(out.get());
    }

    // A function! made as the function makers make one: a context from the spec, the body bound
    // to it as it is.
    static void define_function(std::string_view name, std::string_view spec, std::string_view body) {
        Rooted s(first_of(load(spec)));
        Rooted b(first_of(load(body)));
        NodeId ctx = context::make_from_spec(*s, true, false, context::Kind::function);
        context::bind(*b, ctx, false);
        NodeId extra = memory::alloc_unset_cells(5);
        memory::series_of(extra)->tail = 5 * sizeof(Cell);
        memory::series_of(extra)->cells()[interp::EXTRA_BODY] = *b;
        set_global(name, make_cell(TYPE_FUNCTION, ctx, s->s2, extra));
    }

private:
    static Cell first_of(const Cell& block) { return memory::series_of(block.s2)->cells()[0]; }

    static void define_type_words() {
        for (int t = 1; t < TYPE_COUNT; ++t)
            if (!datatype::registered(TypeId(t))) set_global(TYPE_NAMES[t], datatype_cell(TypeId(t)));
    }

    // Binds each word of a boot source to the native! or action! its spec and slot describe.
    static void define_boot(std::string_view path, TypeId type) {
        const char* source = nullptr;
        for (int i = 0; i < embedded_script_count; ++i)
            if (embedded_scripts[i].path == path) source = embedded_scripts[i].text;
        ASSERT_NE(source, nullptr) << path;
        Rooted defs(load(source));
        for (uint32_t i = 0; i + 3 < memory::series_of(defs->s2)->length(); i += 4) {
            Cell* c = memory::series_of(defs->s2)->cells() + i;
            Cell word = c[0];
            Cell body = c[3];
            Cell* parts = memory::series_of(body.s2)->cells();
            NodeId extra = memory::alloc_unset_cells(2);
            memory::series_of(extra)->tail = 2 * sizeof(Cell);
            parts = memory::series_of(body.s2)->cells();
            Cell value = make_cell(type, uint32_t(parts[1].i32()), parts[0].s2, extra);
            word.set_type(TYPE_WORD);
            context::set(word, value);
        }
    }

    static void define_operators() {
        static const char* const ops[][2] = {{"+", "add"}, {"-", "subtract"}, {"*", "multiply"},
                                             {"/", "divide"}, {"=", "equal?"}, {"<>", "not-equal?"},
                                             {"==", "strict-equal?"}, {"<", "lesser?"}, {">", "greater?"}};
        for (const auto& op : ops) {
            Cell source = global(op[1]);
            Cell value = source;
            value.header = TYPE_OP | (uint32_t(source.type()) << 16);
            set_global(op[0], value);
        }
    }
};

}  // namespace vyn::testing_support
