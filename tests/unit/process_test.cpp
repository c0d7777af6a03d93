// The words a command line splits into when it runs without a shell.
#include <gtest/gtest.h>

#include "core/os/process.hpp"

using vyn::process::split_command;

namespace {

TEST(Process, CommandLinesSplitAsAShellReadsThemWithoutExpansion) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"echo hi", {"echo", "hi"}},
        {"  a   b  ", {"a", "b"}},
        {"printf 'a b' \"c d\"", {"printf", "a b", "c d"}},
        {"a''b \"\"", {"ab", ""}},
        {R"(x\ y 'q\n' "\"\\\$\`\n")", {"x y", "q\\n", "\"\\$`\\n"}},
        {"'it'\\''s'", {"it's"}},
        {"echo $HOME *", {"echo", "$HOME", "*"}},
        {"'open", {"open"}},
        {"\"open \\", {"open \\"}},
        {"tail\\", {"tail\\"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_command(c.line), c.words) << c.line;
}

}  // namespace
