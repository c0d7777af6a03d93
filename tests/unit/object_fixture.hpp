// Shared set-up of the object, error, function, native, ownership and value-read tests: a
// runtime with the datatypes these build on, the global context and runtime words, the
// interpreter, the error catalogue and `system`, plus values made by hand (no lexer here). Errors are raised
// as error! values; `raised` runs code under a try frame and returns the error it caught.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "console/terminal.hpp"
#include "core/context.hpp"
#include "core/cycles.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/type_registry.hpp"
#include "core/unwind.hpp"
#include "core/value_slots.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/native.hpp"
#include "datatypes/none.hpp"
#include "datatypes/object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/interp.hpp"
#include "eval/natives.hpp"
#include "startup/startup.hpp"
#include "startup/system_build.hpp"
#include "tests/unit/runtime_start.hpp"

namespace vyn::testing_objects {

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        vyn::terminal::register_natives();
        testing_runtime::start({"memory", "type-registry", "datatype!", "unset!", "none!", "logic!", "series!",
                                "block!", "string!", "integer!", "word!", "native!", "action!", "op!", "function!",
                                "routine!", "object!", "float!", "error!", "stack", "symbols", "global-context",
                                "runtime-words", "value-slots", "ownership", "system-object", "natives",
                                "interpreter"});
        cycles::reset();
        set_global("+", op_from_action(A_ADD));
    }
    void TearDown() override { runtime::shutdown(); }

    // ---- values ----
    static Cell word(const char* name, TypeId type = TYPE_WORD) { return word::load(name, type); }
    static Cell set_word(const char* name) { return word(name, TYPE_SET_WORD); }
    static Cell lit_word(const char* name) { return word(name, TYPE_LIT_WORD); }
    static Cell refinement(const char* name) { return word(name, TYPE_REFINEMENT); }
    static Cell block(std::initializer_list<Cell> cells, TypeId type = TYPE_BLOCK) {
        Cell b;
        block::make_at(&b, int64_t(cells.size()));
        for (const Cell& c : cells) block::vs_append(&b, &c);
        b.set_type(type);
        return b;
    }
    static Cell text(const char* utf8) {
        Cell s = string::make(0);
        string::append_utf8(&s, utf8);
        return s;
    }
    static Cell integer(int32_t n) { return integer_cell(n); }
    static Cell& item(const Cell& b, uint32_t i) { return *block::vs_abs_at(&b, b.s1 + i); }
    static uint32_t length(const Cell& b) { return block::vs_length(&b); }

    static void set_global(const char* name, const Cell& value) {
        Rooted held{value};  // interning the name may collect
        context::set(word(name), *held);
    }
    static Cell global(const char* name) { return *context::get(word(name)); }

    // An action! for a table slot, with a two-argument spec, and an op! made from it.
    static Cell action(int slot) {
        Cell* made = native::push(TYPE_ACTION, slot, block({word("value1"), word("value2")}));
        Cell a = *made;
        stack::pop(1);
        return a;
    }
    static Cell op_from_action(int slot) {
        Cell op = action(slot);
        op.header = TYPE_OP | uint32_t(TYPE_ACTION) << native::OP_SOURCE_SHIFT;
        return op;
    }
    // A function made as `func` makes it: the body is taken as it is and bound.
    static Cell func(const Cell& spec, const Cell& body) {
        function::push(spec, &body, 0, 0, function::Body::as_is);
        Cell f = *stack::last();
        stack::pop(1);
        return f;
    }

    // ---- running ----
    static Cell make_object(const Cell& spec, const Cell& proto = datatype_cell(TYPE_OBJECT)) {
        Cell p = proto;
        return *object::make(&p, &spec, TYPE_OBJECT);
    }
    static Cell run(const Cell& code) {
        interp::eval(code, true);
        Cell result = *stack::base;
        stack::reset_all();
        return result;
    }

    // The error raised by `action`, caught as a try frame would catch it.
    template <class Action>
    static Cell raised(Action action) {
        Cell* top = stack::top;
        stack::mark(stack::FRAME_TRY, 0);
        try {
            action();
        } catch (const Unwind& exit) {
            EXPECT_EQ(exit.code, EXIT_ERROR);
            Cell error = *stack::last();
            stack::top = top;
            return error;
        }
        ADD_FAILURE() << "no error was raised";
        stack::reset_all();
        return none_cell();
    }
    static int32_t code_of(const Cell& error) {
        return error.is(TYPE_ERROR) ? error::field(error, error::FIELD_CODE)->i32() : -1;
    }
    static Cell arg(const Cell& error, int n) {
        return *error::field(error, error::Field(error::FIELD_ARG1 + n));
    }
    static std::string name_of(const Cell& word) { return std::string(symbol::name(word.s2)); }

    static std::string formed(const Cell& value) {
        Cell* out = stack::push(string::make(64));
        mold::form_value(&value, out, nullptr, INT32_MAX);
        std::string s = string::to_utf8(out);
        stack::pop(1);
        return s;
    }
    static std::string molded(const Cell& value, MoldArgs args = {}) {
        Cell* out = stack::push(string::make(64));
        mold::mold_value(&value, out, args, nullptr, INT32_MAX);
        std::string s = string::to_utf8(out);
        stack::pop(1);
        return s;
    }
};

}  // namespace vyn::testing_objects
