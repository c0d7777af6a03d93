// handle!: its text with and without /all, the kind name taken from the externals registry, the
// signed order of its values, and the actions it refuses.
#include "core/externals.hpp"
#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "core/stack.hpp"
#include "tests/unit/handler_fixture.hpp"

using namespace vyn;
using testing_handlers::HandlerTest;

namespace {

class HandleTest : public HandlerTest {
protected:
    void SetUp() override {
        start_with({"externals", "handle!", "stack"});
        font = externals::register_kind("font", nullptr);
    }
    static Cell handle_of(uint32_t value, int kind) {
        Cell h;
        return *handle::make_at(&h, value, kind);
    }
    int font = 0;
};

TEST_F(HandleTest, FormsAsEightHexDigitsAndMoldsWithItsKindUnderAll) {
    struct Case {
        uint32_t value;
        bool font_kind;
        const char* formed;
        const char* molded_all;
    } cases[] = {
        {255, false, "000000FFh", "#[handle! 000000FFh]"},
        {255, true, "000000FFh", "#[handle! 000000FFh font]"},
        {0, false, "00000000h", "#[handle! 00000000h]"},
        {0xFFFFFFFF, false, "FFFFFFFFh", "#[handle! FFFFFFFFh]"},
    };
    for (const Case& c : cases) {
        Cell h = handle_of(c.value, c.font_kind ? font : 0);
        EXPECT_EQ(formed(h), c.formed) << c.value;
        EXPECT_EQ(molded(h, true), c.molded_all) << c.value;
        EXPECT_EQ(molded(h), "handle!") << c.value;
    }
    EXPECT_EQ(molded(handle_of(1, 77), true), "#[handle! 00000001h]");  // a kind never registered
}

TEST_F(HandleTest, ComparesValuesAsSignedNumbersAndNothingElse) {
    EXPECT_EQ(compared(handle_of(1, 0), handle_of(2, font), CMP_LESSER), -1);
    EXPECT_EQ(compared(handle_of(5, 0), handle_of(5, 0), CMP_EQUAL), 0);
    EXPECT_EQ(compared(handle_of(0xFFFFFFFF, 0), handle_of(0, 0), CMP_LESSER), -1);
    EXPECT_EQ(compared(handle_of(5, 0), integer_cell(5), CMP_EQUAL), -2);
}

TEST_F(HandleTest, OnlyFormMoldAndCompareAreSupported) {
    for (int slot = A_MAKE; slot <= ACTION_COUNT; ++slot) {
        bool own = slot == A_FORM || slot == A_MOLD || slot == A_COMPARE;
        EXPECT_EQ(datatype::supports(TYPE_HANDLE, slot), own) << slot;
    }
}

TEST_F(HandleTest, TheMakersWriteTheSameCellWhereverItGoes) {
    Cell* pushed = handle::push(7, font);
    EXPECT_EQ(formed(*pushed), "00000007h");
    EXPECT_EQ(pushed->s3, uint32_t(-1));  // not an entry the collector keeps
    EXPECT_EQ(formed(*handle::box(3, 0)), "00000003h");
    Cell* null = handle::push_null();
    EXPECT_EQ(molded(*null, true), "#[handle! 00000000h]");
    Rooted block;
    block::make_at(block.get(), 1);
    EXPECT_EQ(molded(*handle::make_in(block.get(), 9, font), true), "#[handle! 00000009h font]");
    stack::reset_all();
}

}  // namespace
