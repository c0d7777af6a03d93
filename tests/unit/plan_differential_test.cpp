// Analysed blocks against the interpreter's walk: random programs, each run twice in a fresh
// runtime, once with analyses and once with every block walked, must give the same molded
// results. A program's statements run several times over, so later runs go through the
// analyses, while some statements change the code, callees, operators and word types under them.
// Every statement runs under `try`, so the errors' near, where and frame position are compared too.
#include <random>
#include <string>

#include "eval/plan.hpp"
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    std::string program() {
        std::string body;
        for (int i = 0, n = pick(4, 9); i < n; ++i) body += "append/only out try [" + statement(pick(1, 3)) + "]\n";
        return "a: 1 b: 2.5 c: [1 2 3] n: 2147483647 v: 0 out: copy [] wc: [k < 2]\n"
               "f1: func [x] [" + expression(2, "x") + "]\n"
               "f2: func [x y] [" + expression(2, "x y") + " " + expression(1, "x y") + "]\n"
               "f3: func [x /opt y] [either opt [" + expression(1, "x y") + "] [" + expression(1, "x") + "]]\n"
               "fb: [" + expression(2, "x") + "] f4: func [x] fb\n"
               "f5: func [x /local t] [t: " + expression(1, "x") + " if " + expression(1, "x t") + " [return " +
               expression(1, "x t") + "] loop 2 [t: " + expression(1, "x t") + "] t]\n"
               "o: make object! [v: 1 g: func [x] [" + expression(1, "x v") + "]]\n"
               "plus: make op! :add minus: make op! func [p q] [p - q]\n"
               "fq: func ['w] [w] fg: func [:w] [type? :w]\n"
               "f7: func [x /r p q /s z] [reduce [x r p q s z " + expression(1, "x p q z") + "]]\n"
               "f8: func [x /local t] [t: 0 repeat i 3 [t: t + " + expression(1, "x t i") + " if " +
               expression(1, "x t i") + " [" + one_of(exits) + "]] t]\n"
               "f9: func [x /local t] [t: 1 if " + expression(1, "x t") + " [t: t " + one_of(ops) + " x] either " +
               expression(1, "x t") + " [" + atom("x t") + "] [t: x " + one_of(ops) + " " + atom("x t") + "]]\n"
               // A body of one conditional whose branch lengthens the body: the statements added run too.
               "fcb: [either " + expression(1, "x") + " [" + expression(1, "x") + "] [append fcb [x] " +
               expression(1, "x") + "]] fc: func [x] fcb\n"
               "code: [\n" + body + "]\n"
               "loop 4 [do code]\n"
               "out";
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    template <size_t N>
    const char* one_of(const char* const (&choices)[N]) { return choices[pick(0, int(N) - 1)]; }

    static constexpr const char* ops[] = {"+", "-", "*", "<", "=", ">", "plus", "minus"};

    std::string word(const std::string& locals) {
        if (!locals.empty() && chance(60)) {
            size_t count = (locals.size() + 1) / 2;
            return locals.substr(2 * pick(0, int(count) - 1), 1);
        }
        static const char* const globals[] = {"a", "b", "n", "c", "v"};
        return one_of(globals);
    }

    std::string atom(const std::string& locals) {
        static const char* const literals[] = {"0", "1", "2", "-3", "7", "2147483647", "1.5", "none",
                                               "true", "false", "[1 2]", "\"ab\"", "'a", "#x"};
        if (chance(45)) return word(locals);
        if (chance(10)) return ":" + word(locals);
        return one_of(literals);
    }

    std::string expression(int depth, const std::string& locals) {
        if (depth <= 0) return atom(locals);
        switch (pick(0, 11)) {
        case 0:
        case 1: return expression(depth - 1, locals) + " " + one_of(ops) + " " + expression(depth - 1, locals);
        case 2: return "(" + expression(depth - 1, locals) + ")";
        case 3: return "either " + expression(depth - 1, locals) + " [" + expression(depth - 1, locals) + "] [" +
                       expression(depth - 1, locals) + "]";
        case 4: return std::string(chance(50) ? "if " : "unless ") + expression(depth - 1, locals) + " [" +
                       expression(depth - 1, locals) + "]";
        case 5: {
            static const char* const natives[] = {"negate ", "abs ", "length? ", "pick c ", "even? ", "type? ",
                                                  "shift-left 3 ", "frame-index? + "};
            return one_of(natives) + expression(depth - 1, locals);
        }
        case 6: return word(locals) + ": " + expression(depth - 1, locals);
        case 7: {
            // Bodies call no functions of the program, so no recursion reaches the stack's limit,
            // whose depth differs between the two ways.
            static const char* const calls[] = {"f1 ", "f4 ", "f5 ", "o/g ", "f3 ", "f9 ", "fc "};
            if (!locals.empty()) return atom(locals);
            return one_of(calls) + expression(depth - 1, locals);
        }
        case 8: {
            static const char* const paths[] = {"c/1", "c/2", "o/v", "c/4"};
            return chance(70) ? one_of(paths) : "(" + expression(depth - 1, locals) + " " + atom(locals) + ")";
        }
        case 9: {
            static const char* const blocks[] = {"any [", "all [", "reduce [", "do [", "append/only copy [] [",
                                                 "do compose ["};
            return one_of(blocks) + expression(depth - 1, locals) + " " + expression(depth - 1, locals) + "]";
        }
        case 10: {
            static const char* const quoting[] = {"fq ", "fg ", "copy/part c ", "find c "};
            return one_of(quoting) + (chance(50) ? word(locals) : atom(locals));
        }
        default: return atom(locals);
        }
    }

    // A statement: an expression, a call of the functions, or a change to what later runs see.
    // Ways out of a loop or a function, each ending more than the innermost expression.
    // A throw is caught around every call of f8 (try takes errors only).
    static constexpr const char* exits[] = {"break", "break/return t", "continue", "return t", "exit",
                                            "throw t", "t: t * 1000000"};

    std::string statement(int depth) {
        switch (pick(0, 20)) {
        case 0: return "f1 " + expression(depth, "");
        case 1: return "f2 " + expression(depth - 1, "") + " " + expression(depth - 1, "");
        case 2: return "f3 " + expression(depth, "");
        case 3: return "f3/opt " + expression(depth - 1, "") + " " + expression(depth - 1, "");
        case 4: {
            // A collection's own value, the memory in use, differs between the two ways: 0 is kept.
            static const char* const swaps[] = {"f1: :negate", "f1: :f3", "f2: :add", "f3: func [x] [x]",
                                                "plus: :subtract", "plus: make op! :multiply", "plus: 5",
                                                "minus: :plus", "a: \"s\"", "a: 3", "b: [1]", "n: n - 1",
                                                "c: next c", "poke fb 1 'x", "poke fb 2 '-", "insert fb 7",
                                                "o/v: o/v + 1", "c/1: a", "f5: :f1", "o/g: :f2", "recycle 0",
                                                "bind code o", "bind fb o", "set 'a b", "plus: make op! :add",
                                                "v: 10", "f7: func [x /s z /r p q] [reduce [z p q x]]",
                                                "o: make object! [v: 2 g: func [x] [x * v]]", "o/g: 5",
                                                "o/v: :negate", "o/v: none", "o: make object! [g: 1]", "f9: :f1",
                                                "o: make object! [v: 1 g: func [x] [x]] recycle 0",
                                                // The loop condition `wc` changes, still ending the loop.
                                                "poke wc 2 '>", "poke wc 2 '=", "poke wc 3 1.5", "wc: [k < 3]"};
            return one_of(swaps);
        }
        case 5: return "poke code " + std::to_string(pick(1, 12)) + " [append/only out " + expression(1, "") + "]";
        case 6: return "loop 2 [" + expression(depth - 1, "") + " " + expression(depth - 1, "") + "]";
        case 7: return std::string("k: 0 while ") + (chance(50) ? "[k < 2]" : "wc") + " [k: k + 1 " +
                       expression(depth - 1, "") + "]";
        case 8: return std::string("loop 3 [if ") + expression(depth - 1, "") + (chance(50) ? " [break] " : " [continue] ") +
                       expression(depth - 1, "") + "]";
        case 9: return "fb/1: " + std::string(chance(50) ? "'x" : "'a") + " do fb";
        case 10: return "f6: func [x] [" + expression(depth - 1, "x") + "] f6 " + expression(depth - 1, "");
        case 11: {
            static const char* const paths[] = {"f7 ", "f7/r ", "f7/s ", "f7/r/s ", "f7/s/r ", "f7/s/s ", "f7/:a "};
            std::string call = one_of(paths);
            int arguments = call == "f7 " || call == "f7/:a " ? 1 : call == "f7/s " ? 2 : call == "f7/r " ? 3 : 4;
            for (int i = 0; i < arguments; ++i) call += expression(depth - 1, "") + " ";
            return call;
        }
        case 12:
        case 13: return "catch [f8 " + expression(depth - 1, "") + "]";
        case 14: {
            // A word the loop's own body calls or reads changes meaning on a later pass. A word the
            // functions' bodies read becomes a native, not one of them: they would recurse.
            static const char* const changes[] = {"f1: :negate", "plus: :multiply", "a: \"s\"", "n: n + 1",
                                                  "unset 'v", "f1: func [x] [x * 2]", "a: :negate"};
            return "repeat j 3 [if j = 2 [" + std::string(one_of(changes)) + "] append/only out try [" +
                   expression(depth - 1, "") + "]]";
        }
        default: return expression(depth, "");
        }
    }

    std::mt19937 random_;
};

class PlanDifferential : public NativesTest {
protected:
    // The program's molded value in a runtime as start-up builds it.
    std::string run_fresh(const std::string& program, bool analysing) {
        TearDown();
        SetUp();
        plan::set_analysing(analysing);
        std::string molded = mold_of(program);
        plan::set_analysing(true);
        return molded;
    }
};

}  // namespace

// A collection at every allocation makes each program far slower: fewer of them then.
#ifdef VYN_GC_STRESS
constexpr uint32_t PROGRAMS = 40;
#else
constexpr uint32_t PROGRAMS = 400;
#endif
// PLAN_SEED starts the programs at another seed, so that more of them can be run by hand.
const uint32_t FIRST = getenv("PLAN_SEED") ? uint32_t(atoi(getenv("PLAN_SEED"))) : 1;

TEST_F(PlanDifferential, RandomProgramsGiveWhatTheWalkGives) {
    for (uint32_t seed = FIRST; seed < FIRST + PROGRAMS; ++seed) {
        std::string program = Generator(seed).program();
        EXPECT_EQ(run_fresh(program, true), run_fresh(program, false)) << "seed " << seed << ":\n" << program;
    }
}
