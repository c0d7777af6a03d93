// The externals registry: table growth, the release rules of replace, remove and sweep, the
// used-list order, stale indexes, kinds beyond the initial table, and release callbacks that
// store new entries while a sweep is under way.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/externals.hpp"

using namespace vyn;

namespace {

std::vector<uintptr_t> released;

void record_release(uintptr_t handle) { released.push_back(handle); }

std::vector<uintptr_t> handles_of_kind(int kind) {
    std::vector<uintptr_t> out;
    externals::for_each_of_kind(
        kind, [](uintptr_t h, void* c) { static_cast<std::vector<uintptr_t>*>(c)->push_back(h); },
        &out);
    return out;
}

class Externals : public testing::Test {
protected:
    void SetUp() override {
        externals::init();
        released.clear();
        font = externals::register_kind("font", record_release);
        silent = externals::register_kind("com-object", nullptr);
    }
    int font = 0;
    int silent = 0;
};

TEST_F(Externals, KindsAreNumberedFromOne) {
    EXPECT_EQ(font, 1);
    EXPECT_EQ(silent, 2);
    EXPECT_STREQ(externals::kind_name(font), "font");
    EXPECT_EQ(externals::kind_name(0), nullptr);
    EXPECT_EQ(externals::kind_name(3), nullptr);
}

TEST_F(Externals, TheTableDoublesWhenItsLastFreeEntryIsTaken) {
    for (int32_t i = 0; i < 999; ++i) ASSERT_EQ(externals::store(uintptr_t(i), font), i);
    EXPECT_EQ(externals::capacity(), 1000);
    EXPECT_EQ(externals::store(999, font), 999);
    EXPECT_EQ(externals::capacity(), 2000);
    EXPECT_EQ(externals::store(1000, font), 1000);
    EXPECT_EQ(externals::handle_of(0), 0u);
    EXPECT_EQ(externals::handle_of(998), 998u);
    EXPECT_EQ(externals::handle_of(1000), 1000u);
}

TEST_F(Externals, ReplacingAHandleReleasesTheOldOneUnlessItIsTheSame) {
    int32_t entry = externals::store(0xA, font);
    externals::replace_handle(entry, 0xA);
    EXPECT_TRUE(released.empty());
    externals::replace_handle(entry, 0xB);
    EXPECT_EQ(released, (std::vector<uintptr_t>{0xA}));
    EXPECT_EQ(externals::handle_of(entry), 0xBu);
}

TEST_F(Externals, ReleaseGoesThroughTheKindCallbackOnly) {
    externals::release(externals::store(1, font));
    externals::release(externals::store(2, silent));
    externals::release(externals::store(3, 0));
    externals::release_by_kind(uint32_t(silent + 1), 4);  // not registered
    externals::release_by_kind(externals::ENTRY_MARK | uint32_t(font), 5);
    EXPECT_EQ(released, (std::vector<uintptr_t>{1, 5}));
}

TEST_F(Externals, SweepReleasesUnmarkedEntriesOnceAndUnmarksTheKeptOnes) {
    int32_t a = externals::store(0xA, font);
    int32_t b = externals::store(0xB, font);
    int32_t c = externals::store(0xC, font);
    EXPECT_TRUE(externals::mark(b));
    EXPECT_FALSE(externals::mark(b));
    externals::sweep();
    EXPECT_EQ(released, (std::vector<uintptr_t>{0xC, 0xA}));
    EXPECT_EQ(externals::handle_of(a), 0u);
    EXPECT_EQ(externals::handle_of(c), 0u);
    EXPECT_EQ(handles_of_kind(font), (std::vector<uintptr_t>{0xB}));

    EXPECT_TRUE(externals::mark(b, 0xBB));
    externals::sweep();
    EXPECT_EQ(released.size(), 2u);
    externals::sweep();
    EXPECT_EQ(released, (std::vector<uintptr_t>{0xC, 0xA, 0xBB}));
    EXPECT_TRUE(handles_of_kind(font).empty());
}

TEST_F(Externals, SweptAndRemovedEntriesAreReusedLastFreedFirst) {
    int32_t a = externals::store(1, font);
    int32_t b = externals::store(2, font);
    externals::sweep();
    EXPECT_EQ(externals::store(3, font), a);
    EXPECT_EQ(externals::store(4, font), b);
    externals::remove(a, false);
    EXPECT_EQ(externals::store(5, font), a);
}

TEST_F(Externals, RemovingTheHeadOfTheUsedListMovesTheHead) {
    externals::store(1, font);
    externals::store(2, silent);
    int32_t head = externals::store(3, font);
    externals::remove(head, true);
    EXPECT_EQ(released, (std::vector<uintptr_t>{3}));
    EXPECT_EQ(handles_of_kind(font), (std::vector<uintptr_t>{1}));
    externals::store(4, font);
    EXPECT_EQ(handles_of_kind(font), (std::vector<uintptr_t>{4, 1}));
}

TEST_F(Externals, RemovingFromTheMiddleRelinksAndReleasesOnlyOnRequest) {
    int32_t first = externals::store(1, font);
    int32_t middle = externals::store(2, font);
    externals::store(3, font);
    externals::remove(middle, false);
    externals::remove(first, false);
    EXPECT_TRUE(released.empty());
    EXPECT_EQ(handles_of_kind(font), (std::vector<uintptr_t>{3}));
}

TEST_F(Externals, StaleAndUnknownIndexesChangeNothing) {
    int32_t gone = externals::store(1, font);
    int32_t kept = externals::store(2, font);
    externals::remove(gone, true);
    for (int32_t bad : {gone, -1, 1000, 5000}) {
        externals::remove(bad, true);
        externals::release(bad);
        externals::replace_handle(bad, 9);
        EXPECT_FALSE(externals::mark(bad));
    }
    EXPECT_EQ(released, (std::vector<uintptr_t>{1}));
    EXPECT_EQ(externals::store(3, font), gone);
    EXPECT_NE(externals::store(4, font), gone);
    EXPECT_EQ(handles_of_kind(font), (std::vector<uintptr_t>{4, 3, 2}));
    EXPECT_EQ(externals::handle_of(kept), 2u);
}

TEST_F(Externals, KindsGrowBeyondTwentyUpToTheKindWordLimit) {
    for (int k = 3; k <= externals::MAX_KINDS; ++k)
        ASSERT_EQ(externals::register_kind("extra", record_release), k);
    int32_t last = externals::store(7, externals::MAX_KINDS);
    externals::release(last);
    EXPECT_EQ(released, (std::vector<uintptr_t>{7}));
    EXPECT_EXIT(externals::register_kind("one too many", nullptr), testing::ExitedWithCode(98),
                "assertion failed");
}

// A release callback that registers replacements while the sweep still walks the table.
int font_kind = 0;
void release_and_store(uintptr_t handle) {
    released.push_back(handle);
    if (handle < 1000) externals::store(handle + 1000, font_kind);
}

TEST_F(Externals, ACallbackMayStoreWhileASweepReleases) {
    font_kind = externals::register_kind("layout", release_and_store);
    for (uintptr_t h = 0; h < 999; ++h) externals::store(h, font_kind);
    externals::sweep();
    EXPECT_EQ(released.size(), 999u);
    EXPECT_EQ(externals::capacity(), 1000);  // each replacement took the entry just freed
    std::vector<uintptr_t> fresh = handles_of_kind(font_kind);
    ASSERT_EQ(fresh.size(), 999u);
    for (uintptr_t h : fresh) EXPECT_GE(h, 1000u);
    released.clear();
    externals::sweep();
    EXPECT_EQ(released.size(), 999u);
    EXPECT_TRUE(handles_of_kind(font_kind).empty());
}

}  // namespace
