// Shared set-up of the natives tests: the runtime as start-up builds it, so the natives and
// actions are the ones the environment's boot sources define, plus the operators the tests use.
// Each test's code runs under a try frame with the collector on; output of print and prin is
// captured through a value hook.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "console/terminal.hpp"
#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/hooks.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"
#include "eval/interp.hpp"
#include "eval/lexer.hpp"
#include "eval/natives.hpp"
#include "startup/startup.hpp"

namespace vyn::testing_support {

inline Cell load(std::string_view source) {
    Rooted block;
    lexer::scan(block.get(), reinterpret_cast<const uint8_t*>(source.data()), source.size(), lexer::ScanOptions{});
    return *block;
}

inline std::string printed;

inline void capture_print(const Cell* value, bool new_line) {
    printed += string::to_utf8(value);
    if (new_line) printed += '\n';
}

class NativesTest : public testing::Test {
protected:
    // The runtime thread's stack bounds, so deep recursion raises the stack-overflow error before
    // the native stack runs out; whatever an earlier test booted is undone first.
    void SetUp() override {
        runtime::set_stack_bounds_of_current_thread();
        runtime::shutdown();
        vyn::terminal::register_natives();
        runtime::init();
        hooks::register_hooks(capture_print, nullptr);
        printed.clear();
        define_operators();
    }
    void TearDown() override { runtime::shutdown(); }

    static void set_global(std::string_view name, const Cell& value) {
        Rooted held{value};  // interning the name may collect
        context::set(context::add_global(symbol::make(name)), *held);
    }
    static Cell global(std::string_view name) { return context::get_global(symbol::make(name)); }

    // Evaluates the source under a try frame; an error fails the test.
    static Cell run(std::string_view source) {
        Cell result = evaluate(source);
        if (raised) ADD_FAILURE() << "error " << code_of(result) << " in: " << source;
        return raised ? unset_cell() : result;
    }

    static std::string mold(const Cell& value) {
        Rooted v(value);
        Rooted out(string::make(16));
        mold::mold_value(v.get(), out.get(), MoldArgs{false, false, false, 0}, nullptr, INT32_MAX);
        return string::to_utf8(out.get());
    }

    static std::string mold_of(std::string_view source) { return mold(run(source)); }

    // A table of sources and the molds of their values.
    struct MoldCase {
        const char* source;
        const char* molded;
    };
    template <size_t N>
    static void expect_molds(const MoldCase (&cases)[N]) {
        for (const MoldCase& c : cases) EXPECT_EQ(mold_of(c.source), c.molded) << c.source;
    }

    // The code of the error the source raises (the last one is kept), or 0 when it raises none.
    static int error_of(std::string_view source) {
        Cell result = evaluate(source);
        if (!raised) return 0;
        last_error = result;
        return code_of(result);
    }

    // An argument of the last error, and its text as the error's message shows it.
    static Cell arg(int i) { return *error::field(last_error, error::Field(error::FIELD_ARG1 + i)); }
    static std::string arg_text(int i) {
        Rooted value(arg(i));
        Rooted out(string::make(16));
        mold::form_value(value.get(), out.get(), nullptr, INT32_MAX);
        return string::to_utf8(out.get());
    }

    static int code_of(const Cell& error) { return error::field(error, error::FIELD_CODE)->i32(); }

private:
    static inline bool raised = false;
    static inline Cell last_error = unset_cell();

    // The value of the source, or the error! it raised.
    static Cell evaluate(std::string_view source) {
        Rooted code(load(source));
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        collector::set_enabled(true);
        raised = false;
        try {
            interp::eval(*code, true);
        } catch (const Unwind& exit) {
            raised = exit.code == EXIT_ERROR;
            if (!raised) ADD_FAILURE() << "exit " << std::hex << exit.code << " in: " << source;
        }
        collector::set_enabled(false);
        Cell result = raised ? *stack::last() : *stack::base;
        stack::reset_all();
        return result;
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
