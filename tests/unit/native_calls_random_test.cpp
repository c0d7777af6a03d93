// Every native, action and operator called with random values of every kind, refinements and
// nested calls among them: each call must give a value or raise an error, never crash or touch
// memory it does not own (the sanitizer build runs this too). Calls that leave the process, wait,
// read input, touch files, loop or rebind words are left out: they are not robustness cases.
#include <cctype>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

const std::set<std::string> left_out = {
    "halt", "quit", "quit-return", "wait", "ask", "input", "read-stdin", "browse", "call", "open", "create",
    "close", "delete", "modify", "query", "read", "rename", "update", "write", "save", "load", "do",
    "while", "until", "loop", "repeat", "forever", "foreach", "forall", "remove-each", "set", "unset",
    "set-env", "recycle", "break", "continue", "return", "exit", "throw", "transcode-trace"};

const char* const values[] = {
    "0", "1", "-1", "2", "3", "100", "2147483647", "-2147483648", "1.5", "-0.0", "1e308", "0.1", "none",
    "true", "false", "#\"a\"", "#\"^@\"", "\"abc\"", "\"\"", "\"a^@bé\"", "{x}", "[]", "[1 2 3]", "[a b c]",
    "[[1] [2]]", "(1 2)", "'w", "a/b/c", "'a/b", "[x: 1]", "#iss", "%file.txt", "http://x.y/z", "50%",
    "1x2", "-1x-1", "1.2.3", "1.2.3.4.5", "make bitset! 8", "charset \"abc\"", "make map! [a 1]",
    "make object! [a: 1]", "integer!", "block!", "[integer! string!]", "func [x] [x]", ":append", ":if",
    ":+", "make op! :add", "make error! \"e\"", "tail [1 2 3]", "next \"abc\"", "skip [1 2 3] 5",
    "make hash! [a 1 b 2]", "b", "s", "o", "m", "'a", "'b", "'append", "first [a:]", "first [:a]", ":print",
    "does [1]"};

const char* const refinements[] = {"/part", "/only", "/dup", "/skip", "/case", "/last", "/reverse", "/tail",
                                   "/match", "/any", "/with", "/all", "/into", "/deep", "/types", "/compare",
                                   "/head", "/lines", "/flat", "/to", "/even", "/down", "/floor", "/default"};

class Generator {
public:
    Generator(uint32_t seed, const std::vector<std::string>& callables) : random_(seed), callables_(callables) {}

    std::string line() { return "append/only out try [" + call(0) + "]\n"; }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    template <class List>
    std::string one_of(const List& list) {
        return list[pick(0, int(std::size(list)) - 1)];
    }

    std::string call(int depth) {
        std::string text = one_of(callables_);
        // Operators' names do not take refinements: `<` would open a tag.
        if (std::isalpha(static_cast<unsigned char>(text[0])) && pick(1, 5) == 1) text += one_of(refinements);
        for (int i = 0, n = pick(0, 4); i < n; ++i) text += " " + value(depth);
        return text;
    }

    std::string value(int depth) { return depth < 2 && pick(1, 5) == 1 ? "(" + call(depth + 1) + ")" : one_of(values); }

    std::mt19937 random_;
    const std::vector<std::string>& callables_;
};

// A collection at every allocation makes each call far slower: fewer of them then.
#ifdef VYN_GC_STRESS
constexpr uint32_t PROGRAMS = 20;
#else
constexpr uint32_t PROGRAMS = 600;
#endif
constexpr int CALLS_PER_PROGRAM = 80;

class NativeCallsRandom : public NativesTest {
protected:
    // The names of the natives, actions and operators of the global context, but those left out.
    static std::vector<std::string> callables() {
        Cell names = run("out: copy [] foreach w reflect system/words 'words ["
                         "if find [native! action! op!] to word! type? get/any w [append out w]] out");
        std::string molded = mold(names);  // "[name name ...]"
        std::vector<std::string> result;
        size_t at = 1;
        while (at < molded.size() - 1) {
            size_t end = molded.find(' ', at);
            if (end == std::string::npos) end = molded.size() - 1;
            std::string name = molded.substr(at, end - at);
            if (!left_out.count(name)) result.push_back(name);
            at = end + 1;
        }
        return result;
    }
};

}  // namespace

TEST_F(NativeCallsRandom, AnyArgumentsGiveAValueOrAnError) {
    const std::vector<std::string> names = callables();
    ASSERT_FALSE(names.empty());
    for (uint32_t seed = 1; seed <= PROGRAMS; ++seed) {
        Generator generator(seed, names);
        std::string program = "b: [1 2 3 4] s: copy \"abcdef\" o: make object! [a: 1] m: make map! [a 1] out: copy []\n";
        for (int i = 0; i < CALLS_PER_PROGRAM; ++i) program += generator.line();
        program += "mold/part out 100000";
        // Each call is under try: the program as a whole gives its molded results.
        EXPECT_EQ(error_of(program), 0) << "seed " << seed << ":\n" << program;
    }
}
