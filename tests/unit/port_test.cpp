// port! with a native actor: a handle! actor sends each action to its entry of the native actor
// table, and an action the table leaves empty is refused. Actors made of Vyn functions are called
// here with collections on (at every allocation in the stress build); the console transcript
// covers their texts and errors.
#include "datatypes/handle.hpp"
#include "datatypes/port.hpp"
#include "tests/unit/natives_fixture.hpp"

namespace vyn::testing_support {
namespace {

using PortTest = NativesTest;

Cell* read_answer(Cell* port, const Cell* part, const Cell*, bool, bool, bool, const Cell*) {
    *port = integer_cell(part ? part->i32() * 2 : 42);
    return port;
}

TEST_F(PortTest, AHandleActorServesActionsThroughItsNativeTable) {
    port::NativeActor table{};
    table[A_READ - A_APPEND] = reinterpret_cast<Handler::Generic>(read_answer);
    Cell actor;
    handle::make_at(&actor, port::add_native_actor(table), 0);
    set_global("native-actor", actor);
    run("append system/schemes reduce ['native make object! [actor: native-actor]]"
        " p: make port! [scheme: 'native]");
    EXPECT_EQ(mold_of("read p"), "42");
    EXPECT_EQ(mold_of("read/part p 5"), "10");
    EXPECT_EQ(error_of("append p 1"), err::no_port_action);
    EXPECT_EQ(error_of("open? p"), err::expect_arg);
}

TEST_F(PortTest, AHandleNamingNoTableRefusesEveryAction) {
    Cell actor;
    handle::make_at(&actor, 100000, 0);
    set_global("stale-actor", actor);
    run("append system/schemes reduce ['stale make object! [actor: stale-actor]]");
    EXPECT_EQ(error_of("read make port! [scheme: 'stale]"), err::no_port_action);
}

TEST_F(PortTest, ActorFunctionsGetTheActionsArgumentsWhileCollecting) {
    run("append system/schemes reduce ['log make object! [actor: make object! ["
        "  open: func [port /new /read /write /seek /allow access] [port/state: reduce ['open] port]"
        "  close: func [port] [system/words/append port/state 'close port]"
        "  copy: func [port /part length /deep /types kind] [reduce [port/data part length]]"
        "  insert: func [port value /part length /only /dup count] [port/data: reduce [value length] port]"
        "  change: func [port value /part range /only /dup count] [port/data: reduce [value range only count] port]"
        "  at: func [port index /local x y] [x: index * 2 reduce [x y]]"
        "]]]"
        " p: make port! [scheme: 'log]");
    const MoldCase cases[] = {
        {"change/only/dup p [1] 2 p/data", "[[1] none true 2]"},
        {"at p 4", "[8 none]"},
        {"read/part p 3", "[[[1] none true 2] true 3]"},
        {"write/part p \"data\" 2 p/state", "[open close]"},
        {"p/data", "[\"data\" 2]"},
    };
    expect_molds(cases);
}

}  // namespace
}  // namespace vyn::testing_support
