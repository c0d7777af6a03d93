// The JSON codec's one-pass routines under the collector: keys read as new words, values of
// every kind written back, nested containers on both sides. The collector-stress build runs
// these with a collection at every allocation, where a buffer read across one would show.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

using Json = NativesTest;

TEST_F(Json, NewKeyWordsReadAndWriteBack) {
    const MoldCase cases[] = {
        {R"(to-json load-json {{"jsonKeyOne": {"jsonKeyTwo": [1, {"jsonKeyThree": null}]}, "b c": "x"}})",
         R"({{"jsonKeyOne":{"jsonKeyTwo":[1,{"jsonKeyThree":null}]},"b c":"x"}})"},
        {R"(to-json/pretty/ascii #[jsonKeyFour: [1 #[jsonKeyFive: "é"]] jsonKeySix: #[]] " ")",
         R"({{^/ "jsonKeyFour": [^/  1,^/  {^/   "jsonKeyFive": "\u00E9"^/  }^/ ],^/ "jsonKeySix": {}^/}})"},
        {R"(words-of load-json {{"jsonKeySeven": 1, "-1": 2}})", R"([jsonKeySeven "-1"])"},
    };
    expect_molds(cases);
}

TEST_F(Json, DataRoundTrips) {
    const MoldCase cases[] = {
        {R"(d: load-json {[{"a": [1, 2.5, true, null, "x\u00e9\uD83D\uDE00"]}, -0, 1e3, "\uDC00"]} d = load-json to-json d)",
         "true"},
        {R"(d = load-json to-json/pretty/ascii d "  ")", "true"},
    };
    expect_molds(cases);
}

}  // namespace
