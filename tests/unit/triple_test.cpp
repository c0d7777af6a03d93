// triple! has no constructor reachable from the language: its text is checked here.
#include "datatypes/triple.hpp"
#include "tests/unit/number_fixture.hpp"

using namespace vyn;
using testing_numbers::NumberTest;

namespace {

class TripleTest : public NumberTest {
protected:
    void SetUp() override { start_with({"triple!"}); }
};

}  // namespace

TEST_F(TripleTest, FormAndMoldSpellOutTheConstruction) {
    struct Case {
        int32_t a, b, c;
        const char* text;
    } cases[] = {
        {1, -2, 3, "make triple! [1 -2 3]"},
        {0, 0, 0, "make triple! [0 0 0]"},
        {INT32_MIN, INT32_MAX, -1, "make triple! [-2147483648 2147483647 -1]"},
    };
    for (const Case& c : cases) {
        Cell value;
        triple::make_at(&value, c.a, c.b, c.c);
        EXPECT_EQ(formed(value), c.text);
        EXPECT_EQ(molded(value), c.text);
    }
}

TEST_F(TripleTest, EveryOtherActionIsUnsupported) {
    for (int slot : {A_MAKE, A_TO, A_ADD, A_COMPARE, A_PICK}) EXPECT_FALSE(datatype::supports(TYPE_TRIPLE, slot)) << slot;
}
