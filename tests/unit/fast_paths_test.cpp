// The fast operations against the action entries: every operator code and accessor code, and
// every form of each operation (two values, an integer literal, the last pushed cell), gives the
// value or the error that the action's entry gives, and the value the interpreter gives where it
// gives one, over operands that take the inline cases (integers at the edges of 32 bits, floats,
// blocks) and the slow path. The entries check no argument types: a mistyped operand gets the
// handler's error, where the interpreter raises the spec's `expect-arg`.
#include <functional>
#include <initializer_list>
#include <string>

#include "datatypes/actions.hpp"
#include "datatypes/fast_paths.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using namespace vyn::actions;
using vyn::testing_support::NativesTest;

namespace {

class FastOperations : public NativesTest {
protected:
    // The molded value an operation leaves on top, or "error N".
    std::string outcome(const std::function<void()>& operation) {
        stack::reset_all();
        stack::mark(stack::FRAME_TRY, 0);
        collector::set_enabled(true);
        std::string result;
        try {
            operation();
            result = mold(stack::top[-1]);
        } catch (const Unwind& exit) {
            result = "error " + std::to_string(code_of(*stack::last()));
        }
        collector::set_enabled(false);
        stack::reset_all();
        return result;
    }

    // The outcome of an action entry called on the values, as the slow path calls it.
    std::string entry(int slot, std::initializer_list<const Cell*> values) {
        return outcome([&] {
            static const int32_t none[4] = {-1, -1, -1, -1};
            stack::mark(stack::FRAME_NATIVE, 0);
            for (const Cell* v : values) stack::push(*v);
            actions::table[slot - 1](none);
            stack::unwind();
        });
    }

    // The entry's outcome, checked against the interpreter's where that is a value.
    std::string expected(int slot, std::initializer_list<const Cell*> values, const std::string& source) {
        std::string from_entry = entry(slot, values);
        std::string from_interpreter = interpreted(source);
        if (from_interpreter.rfind("error", 0) != 0) {
            EXPECT_EQ(from_entry, from_interpreter) << source;
        }
        return from_entry;
    }

    // The interpreter's outcome of a source.
    std::string interpreted(const std::string& source) {
        int code = error_of(source);
        return code ? "error " + std::to_string(code) : mold_of(source);
    }

    Cell word(const char* name) { return first_of(testing_support::load(name)); }
    static Cell first_of(const Cell& block) { return memory::series_of(block.s2)->cells()[block.s1]; }
};

const char* const OPERANDS[] = {"0", "1", "-7", "2147483647", "-2147483648", "65536", "46341", "1.5", "-2.25",
                                "10%", "3x4", "\"ab\"", "none", "$2"};
const char* const INTEGER_OPERANDS[] = {"1", "-1", "2147483647", "-2147483648", "65536"};

struct Named {
    int code;
    const char* native;
    int slot = 0;
};
const Named MATH[] = {{FAST_ADD, "add", A_ADD}, {FAST_SUBTRACT, "subtract", A_SUBTRACT},
                      {FAST_MULTIPLY, "multiply", A_MULTIPLY}, {FAST_OR, "or~", A_OR_T},
                      {FAST_AND, "and~", A_AND_T}, {FAST_XOR, "xor~", A_XOR_T}};
const Named COMPARE[] = {{FAST_EQUAL, "equal?"},   {FAST_NOT_EQUAL, "not-equal?"},
                         {FAST_STRICT_EQUAL, "strict-equal?"}, {FAST_LESSER, "lesser?"},
                         {FAST_LESSER_OR_EQUAL, "lesser-or-equal?"}, {FAST_GREATER, "greater?"},
                         {FAST_GREATER_OR_EQUAL, "greater-or-equal?"}};

}  // namespace

TEST_F(FastOperations, ArithmeticGivesWhatTheActionsGive) {
    for (const Named& op : MATH) {
        Rooted name(word(op.native));
        for (const char* left : OPERANDS) {
            Rooted a(run(left));
            for (const char* right : OPERANDS) {
                Rooted b(run(right));
                std::string where = std::string(op.native) + " " + left + " " + right;
                std::string expected = this->expected(op.slot, {a.get(), b.get()}, where);
                EXPECT_EQ(outcome([&] { fast_math_op(*name, *a, *b, op.code); }), expected) << where;
                EXPECT_EQ(outcome([&] {
                    stack::push(*a);
                    fast_math_top(*name, *b, op.code);
                }), expected) << where;
            }
            for (const char* literal : INTEGER_OPERANDS) {
                Rooted n(run(literal));
                std::string where = std::string(op.native) + " " + left + " " + literal;
                std::string expected = this->expected(op.slot, {a.get(), n.get()}, where);
                EXPECT_EQ(outcome([&] { fast_math_op2(*name, *a, n->i32(), op.code); }), expected) << where;
                EXPECT_EQ(outcome([&] {
                    stack::push(*a);
                    fast_math_top_int(*name, n->i32(), op.code);
                }), expected) << where;
            }
        }
    }
}

TEST_F(FastOperations, IntegerOverflowGivesTheExactFloat) {
    Rooted name(word("add"));
    EXPECT_EQ(outcome([&] { fast_math_op(*name, integer_cell(2147483647), integer_cell(1), FAST_ADD); }), "2147483648.0");
    EXPECT_EQ(outcome([&] { fast_math_op2(*name, integer_cell(-2147483647 - 1), 1, FAST_SUBTRACT); }), "-2147483649.0");
    EXPECT_EQ(outcome([&] { fast_math_op2(*name, integer_cell(65536), 65536, FAST_MULTIPLY); }), "4294967296.0");
    EXPECT_EQ(mold_of("-2147483648 - 1"), "-2147483649.0");
}

TEST_F(FastOperations, ComparisonsGiveTheTruthOfTheNatives) {
    for (const Named& op : COMPARE) {
        Rooted name(word(op.native));
        for (const char* left : OPERANDS) {
            Rooted a(run(left));
            for (const char* right : OPERANDS) {
                Rooted b(run(right));
                std::string where = std::string(op.native) + " " + left + " " + right;
                std::string expected = interpreted(where);
                EXPECT_EQ(outcome([&] { fast_compare(*name, *a, *b, op.code); }), expected) << where;
                EXPECT_EQ(outcome([&] {
                    stack::push(*a);
                    fast_compare_top(*name, *b, op.code);
                }), expected) << where;
                EXPECT_EQ(outcome([&] {
                    stack::push(none_cell());  // the result cell
                    fast_compare_set(*name, *a, *b, op.code);
                }), expected) << where;
                for (bool negate : {false, true}) {
                    EXPECT_EQ(outcome([&] {
                        bool truth = fast_compare_test(*name, *a, *b, op.code, negate);
                        stack::push(logic_cell(truth != negate));
                    }), expected) << where << (negate ? " negated" : "");
                }
            }
            for (const char* literal : INTEGER_OPERANDS) {
                int32_t n = run(literal).i32();
                std::string where = std::string(op.native) + " " + left + " " + literal;
                std::string expected = interpreted(where);
                EXPECT_EQ(outcome([&] { fast_compare_int_push(*name, *a, n, op.code); }), expected) << where;
                EXPECT_EQ(outcome([&] {
                    stack::push(*a);
                    fast_compare_top_int(*name, n, op.code);
                }), expected) << where;
                EXPECT_EQ(outcome([&] { stack::push(logic_cell(fast_compare_int_test(*name, *a, n, op.code, false))); }),
                          expected) << where;
            }
        }
    }
}

TEST_F(FastOperations, AccessorsGiveWhatTheActionsGive) {
    const Named accessors[] = {{FAST_LENGTH_Q, "length?", A_LENGTH_Q}, {FAST_INDEX_Q, "index?", A_INDEX_Q},
                               {FAST_HEAD_Q, "head?", A_HEAD_Q},       {FAST_TAIL_Q, "tail?", A_TAIL_Q},
                               {FAST_NEXT, "next", A_NEXT},            {FAST_BACK, "back", A_BACK},
                               {FAST_HEAD, "head", A_HEAD},            {FAST_TAIL, "tail", A_TAIL}};
    const char* const values[] = {"[1 2 3]", "next [1 2 3]", "tail [1 2 3]", "[]", "\"abc\"", "next \"abc\"",
                                  "3x4", "(b: [1 2 3] c: skip b 2 clear b c)"};
    for (const Named& accessor : accessors) {
        Rooted name(word(accessor.native));
        for (const char* value : values) {
            Rooted a(run(value));
            // The interpreter reads the same value: a block past its tail is kept in `v`.
            set_global("v", *a);
            std::string where = std::string(accessor.native) + " " + value;
            EXPECT_EQ(outcome([&] { fast_series_accessor(*name, *a, accessor.code); }),
                      expected(accessor.slot, {a.get()}, std::string(accessor.native) + " v"))
                << where;
        }
    }
}

TEST_F(FastOperations, PathGetSelectsThroughThePathAccess) {
    Rooted name(word("pick"));
    Rooted block(run("[a 1 b 2]"));
    Rooted object(run("make object! [x: 5]"));
    EXPECT_EQ(outcome([&] { fast_path_get(*name, *block, integer_cell(3)); }), "b");
    EXPECT_EQ(outcome([&] { fast_path_get(*name, *block, word("b")); }), "2");
    EXPECT_EQ(outcome([&] { fast_path_get(*name, *object, word("x")); }), "5");
    EXPECT_EQ(outcome([&] { fast_path_get(*name, *object, word("nothing")); }), interpreted("o: make object! [x: 5] o/nothing"));
}

TEST_F(FastOperations, TheSlowPathsFrameNamesTheCallInErrors) {
    Rooted name(word("total"));
    Rooted text(run("\"ab\""));
    std::string where;
    outcome([&] {
        try {
            fast_math_op(*name, *text, integer_cell(1), FAST_ADD);
        } catch (const Unwind&) {
            where = mold(*error::field(*stack::last(), error::FIELD_WHERE));
            throw;
        }
    });
    EXPECT_EQ(where, "total");
}
