// Shared by the tests of pair!, tuple! and the point types: tables of sources with the text
// their value molds to, or with the error they raise, and the first line of an error's message
// as the console prints it.
#pragma once

#include <initializer_list>
#include <string>

#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {

struct Molded {
    const char* source;
    const char* text;
};

struct Refused {
    const char* source;
    int code;
};

class ScalarTest : public NativesTest {
protected:
    static void expect_molds(std::initializer_list<Molded> cases) {
        for (const Molded& c : cases) EXPECT_EQ(mold_of(c.source), c.text) << c.source;
    }

    static void expect_errors(std::initializer_list<Refused> cases) {
        for (const Refused& c : cases) EXPECT_EQ(error_of(c.source), c.code) << c.source;
    }

    // "*** Script Error: ..." for the error the source raises.
    static std::string message_of(const std::string& source) {
        Cell text = run("form try [" + source + "]");
        std::string message = string::to_utf8(&text);
        return message.substr(0, message.find('\n'));
    }
};

}  // namespace vyn::testing_support
