#include "tests/unit/natives_fixture.hpp"

#include <set>

#include "console/terminal.hpp"
#include "core/embedded.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

// The slots a boot source gives its definitions, in order.
std::vector<int32_t> slots_of(const char* path) {
    const char* source = nullptr;
    for (int i = 0; i < embedded_script_count; ++i)
        if (std::string_view(embedded_scripts[i].path) == path) source = embedded_scripts[i].text;
    std::vector<int32_t> slots;
    if (!source) return slots;
    Cell defs = vyn::testing_support::load(source);
    for (uint32_t i = 3; i < memory::series_of(defs.s2)->length(); i += 4) {
        Cell body = memory::series_of(defs.s2)->cells()[i];
        slots.push_back(memory::series_of(body.s2)->cells()[1].i32());
    }
    return slots;
}

}  // namespace

using Table = NativesTest;

TEST_F(Table, TheBootSourcesNameEverySlotOnceInOrder) {
    std::vector<int32_t> natives = slots_of("library/boot/natives.vyn");
    ASSERT_EQ(natives.size(), size_t(natives::NATIVE_COUNT));
    for (size_t i = 0; i < natives.size(); ++i) EXPECT_EQ(natives[i], int32_t(i + 1));
    EXPECT_EQ(natives::count(), natives::NATIVE_COUNT + natives::LIBRARY_NATIVE_COUNT + terminal::NATIVE_COUNT);

    std::vector<int32_t> actions = slots_of("library/boot/actions.vyn");
    std::set<int32_t> expected;
    for (int32_t s = 1; s <= ACTION_COUNT; ++s)
        if (s != A_EVAL_PATH && s != A_SET_PATH && s != A_COMPARE) expected.insert(s);
    EXPECT_EQ(std::set<int32_t>(actions.begin(), actions.end()), expected);
    EXPECT_EQ(actions.size(), expected.size());
}
