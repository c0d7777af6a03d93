#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using System = NativesTest;

TEST_F(System, RecycleKeepsWhatIsReachableAndReportsBytesInUse) {
    EXPECT_EQ(mold_of("b: [1 2 3] recycle b"), "[1 2 3]");
    EXPECT_EQ(mold_of("b: [1] append/only b b recycle mold b"), "\"[1 [...]]\"");
    EXPECT_EQ(mold_of("c: [] loop 10000 [c: reduce [c]] recycle 'ok"), "ok");
    EXPECT_EQ(mold_of("type? recycle"), "integer!");
    EXPECT_EQ(mold_of("o: make object! [s: \"x\" on-deep-change*: func [o w t a n i p][]] recycle append o/s \"y\""),
              "\"xy\"");
}

TEST_F(System, ShortLivedStringsDoNotAccumulate) {
    EXPECT_EQ(mold_of("loop 300 [make string! 1000000] 'done"), "done");
    EXPECT_EQ(mold_of("(recycle) < 50000000"), "true");
}

TEST_F(System, RecycleOnAndOffSwitchCollectionsOnAllocation) {
    EXPECT_EQ(mold_of("recycle/off loop 100 [make block! 1000] recycle/on 'ok"), "ok");
    EXPECT_EQ(mold_of("type? recycle/off"), "unset!");
    EXPECT_EQ(mold_of("recycle/off enabled: 1 recycle/on enabled"), "1");
}

}  // namespace

TEST_F(System, StatsGivesTheBytesInUseOrTheMemoryReport) {
    EXPECT_EQ(mold_of("type? stats"), "integer!");
    EXPECT_EQ(mold_of("length? stats/info"), "5");
    EXPECT_EQ(mold_of("r: stats/info reduce [type? r/1 length? r/1/1 type? r/2/1/1 new-line? r/1]"),
              "[block! 3 integer! true]");
    EXPECT_EQ(mold_of("r: stats/info type? r/4"), "integer!");
}
