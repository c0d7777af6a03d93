// Owner notification from the modifying series actions, through the booted environment: an
// object with `on-deep-change*` hears each action word before the change and its past form
// after it, with the index and count of the change; a series without an owner tells nobody.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/ownership.hpp"
#include "natives_fixture.hpp"

namespace vyn {
namespace {

using testing_support::NativesTest;

class OwnerNotification : public NativesTest {
protected:
    // Makes `d` with the field `f` set to `field`; its handler logs the action word.
    static void make_owner(const std::string& field) {
        run("log: copy [] d: make object! [f: " + field +
            " on-deep-change*: func [o w t a n i p] [append log a]]");
    }
};

struct Case {
    const char* field;
    const char* action;
    const char* told;
    const char* result;
};

TEST_F(OwnerNotification, EachActionTellsItsWordThenItsPastForm) {
    const Case cases[] = {
        {"[1 2]", "append d/f 3", "[append appended]", "[1 2 3]"},
        {"[1 2]", "insert d/f 0", "[insert inserted]", "[0 1 2]"},
        {"[1 2]", "change d/f 9", "[change changed]", "[9 2]"},
        {"[1 2]", "clear d/f", "[clear cleared]", "[]"},
        {"[1 2]", "remove d/f", "[remove removed]", "[2]"},
        {"[1 2]", "take d/f", "[take taken]", "[2]"},
        {"[1 2]", "take/part d/f 2", "[take taken]", "[]"},
        {"reduce [1 none 2]", "trim d/f", "[trim trimmed]", "[1 2]"},
        {"[1 2]", "poke d/f 2 5", "[poke poked]", "[1 5]"},
        {"[1 2]", "reverse d/f", "[reverse reversed]", "[2 1]"},
        {"[1 2]", "swap d/f [3]", "[swap swaped]", "[3 2]"},
        {"[1 2 3]", "move d/f tail d/f", "[move moved]", "[2 3 1]"},
        {"[1]", "b: tail d/f parse [x] [collect into b [keep skip]]", "[append appended]", "[1 x]"},
        {"\"ab\"", "append d/f \"c\"", "[append appended]", "\"abc\""},
        {"\"ab\"", "insert d/f \"c\"", "[insert inserted]", "\"cab\""},
        {"\"ab\"", "change d/f \"x\"", "[change changed]", "\"xb\""},
        {"\"ab\"", "take d/f", "[take taken]", "\"b\""},
        {"\" ab \"", "trim d/f", "[trim trimmed]", "\"ab\""},
        {"\"ba\"", "sort d/f", "[sort sorted]", "\"ab\""},
        {"\"ab\"", "swap d/f \"x\"", "[swap swaped]", "\"xb\""},
        {"\"ab\"", "poke d/f 1 #\"z\"", "[poke poked]", "\"zb\""},
        {"\"ab\"", "reverse d/f", "[reverse reversed]", "\"ba\""},
        {"\"ab\"", "clear d/f", "[clear cleared]", "\"\""},
        {"\"ab\"", "remove d/f", "[remove removed]", "\"b\""},
    };
    for (const Case& c : cases) {
        make_owner(c.field);
        run(c.action);
        EXPECT_EQ(mold_of("log"), c.told) << c.action;
        EXPECT_EQ(mold_of("d/f"), c.result) << c.action;
    }
}

TEST_F(OwnerNotification, TheHandlerHearsTheSeriesValueIndexAndCount) {
    run("log: copy [] d: make object! [f: [1 2] on-deep-change*: func [o w t a n i p] ["
        "append/only log reduce [w a n i p]]]");
    run("append d/f [3 4]");
    EXPECT_EQ(mold_of("log"), "[[f append [3 4] 0 2] [f appended [3 4] 0 2]]");
    run("clear log remove/part next d/f 2");
    EXPECT_EQ(mold_of("log"), "[[f remove none 1 2] [f removed none 1 2]]");
}

TEST_F(OwnerNotification, AnUnownedSeriesTellsNobody) {
    make_owner("[]");
    run("b: [1 2] append b 3 clear b s: copy \"ab\" append s \"c\" reverse s");
    EXPECT_EQ(mold_of("log"), "[]");
    EXPECT_EQ(mold_of("reduce [b s]"), "[[] \"cba\"]");
}

TEST_F(OwnerNotification, AHandlerThatChangesTheSeriesLeavesItSound) {
    // The handler clears the series from the changed position when it hears `hit`; the action
    // then works on what is left instead of writing where the cells were.
    const char* const actions[][3] = {
        {"remove", "remove/part d/f 3", "[]"},
        {"take", "take/part d/f 3", "[]"},
        {"reverse", "reverse d/f", "[]"},
        {"change", "change d/f [7 8 9 10]", "[7 8 9 10]"},
        {"insert", "insert next next d/f 0", "[1 2 0]"},
        {"move", "move/part d/f tail d/f 2", "[]"},
        {"swap", "swap d/f [0]", "[]"},
        {"trim", "trim d/f", "[]"},
        {"take", "take/part d/f 3", "\"\""},
        {"sort", "sort d/f", "\"\""},
        {"insert", "insert next next d/f \"x\"", "\"cbx\""},
        {"change", "change next d/f \"xy\"", "\"cxy\""},
        {"swap", "swap d/f \"x\"", "\"\""},
    };
    for (const auto& [word, action, result] : actions) {
        run(std::string("hit: '") + word + " d: make object! [f: " + (result[0] == '"' ? "\"cba\"" : "[1 2 3]") +
            " on-deep-change*: func [o w t a n i p] [if a = hit [clear t]]]");
        run(action);
        EXPECT_EQ(mold_of("d/f"), result) << action;
    }
    run("hit: 'poke d: make object! [f: [1 2 3] on-deep-change*: func [o w t a n i p] [if a = hit [clear t]]]");
    EXPECT_EQ(error_of("poke d/f 3 0"), err::out_of_range);
}

}  // namespace
}  // namespace vyn
