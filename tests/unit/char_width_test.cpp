// Display width: the shape of the generated range tables at Unicode 14.0, the range search on
// its boundaries, and the widths of control, combining, wide and ambiguous code points.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/char_width.hpp"
#include "core/unicode_tables.hpp"

using namespace vyn;

namespace {

using Range = std::array<uint32_t, 2>;

std::vector<Range> rows(std::span<const uint32_t> table) {
    std::vector<Range> out;
    for (size_t i = 0; i + 1 < table.size(); i += 2) out.push_back({table[i], table[i + 1]});
    return out;
}

void expect_table(std::span<const uint32_t> table, size_t count, std::vector<Range> first,
                  std::vector<Range> last) {
    std::vector<Range> all = rows(table);
    ASSERT_EQ(table.size(), 2 * count);
    EXPECT_EQ(std::vector<Range>(all.begin(), all.begin() + first.size()), first);
    EXPECT_EQ(std::vector<Range>(all.end() - last.size(), all.end()), last);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_LE(all[i][0], all[i][1]) << i;
    for (size_t i = 1; i < all.size(); ++i) EXPECT_GT(all[i][0], all[i - 1][1]) << "unsorted at row " << i;
}

struct Width {
    uint32_t cp;
    int of, of_cjk;
};

}  // namespace

TEST(CharWidth, ZeroWidthTable) {
    expect_table(unicode_tables::zero_width_ranges, 337,
                 {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}},
                 {{0x1E8D0, 0x1E8D6}, {0x1E944, 0x1E94A}, {0xE0100, 0xE01EF}});
}

TEST(CharWidth, WideTable) {
    // Fullwidth U+3000 and the wide run from U+3001 are separate rows, as in the source data.
    expect_table(unicode_tables::wide_ranges, 122,
                 {{0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x23E9, 0x23EC}},
                 {{0x1FAE0, 0x1FAE7}, {0x1FAF0, 0x1FAF6}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}});
}

TEST(CharWidth, AmbiguousTable) {
    expect_table(unicode_tables::ambiguous_ranges, 176,
                 {{0x00A1, 0x00A1}, {0x00A4, 0x00A4}, {0x00A7, 0x00A8}, {0x00AA, 0x00AA}},
                 {{0x1F19B, 0x1F1AC}, {0xF0000, 0xFFFFD}, {0x100000, 0x10FFFD}});
}

TEST(CharWidth, InRangesOnBoundaries) {
    const uint32_t table[] = {5, 7, 10, 10, 20, 30};
    for (uint32_t cp : {5u, 6u, 7u, 10u, 20u, 30u}) EXPECT_TRUE(char_width::in_ranges(cp, table)) << cp;
    for (uint32_t cp : {0u, 4u, 8u, 9u, 11u, 19u, 31u, 0xFFFFFFFFu})
        EXPECT_FALSE(char_width::in_ranges(cp, table)) << cp;
    EXPECT_FALSE(char_width::in_ranges(5, std::span<const uint32_t>{}));
}

TEST(CharWidth, WidthsOfCodePoints) {
    const Width cases[] = {
        {0x0000, 0, 0},
        {0x0009, 1, 1},    // controls take one column
        {0x007F, 1, 1},
        {0x0085, 1, 1},
        {'a', 1, 1},
        {0x00E9, 1, 2},    // é is ambiguous too
        {0x00A1, 1, 2},    // ambiguous
        {0x0301, 0, 0},    // combining marks stay zero-width in CJK mode although ambiguous
        {0x20DD, 0, 0},    // enclosing mark
        {0x1160, 0, 0},    // Hangul medial vowel
        {0x11FF, 0, 0},    // Hangul final consonant
        {0xD7B0, 0, 0},    // Hangul medial vowel, extended block
        {0x0600, 0, 0},    // Arabic number sign
        {0x06DD, 0, 0},
        {0x00AD, 1, 2},    // other format characters take a column
        {0x200B, 1, 1},
        {0x2060, 1, 1},
        {0xFEFF, 1, 1},
        {0xE0001, 1, 1},
        {0x302A, 0, 0},    // a wide combining mark is still zero-width
        {0x1100, 2, 2},
        {0x3000, 2, 2},    // fullwidth
        {0x4E00, 2, 2},
        {0xFF01, 2, 2},
        {0x1F600, 2, 2},
        {0x1FAF6, 2, 2},
        {0x1FAF7, 1, 1},   // emoji of Unicode 15.0
        {0x2A6E0, 2, 2},   // unassigned in plane 2 is wide
        {0x3FFFE, 1, 1},
        {0xE000, 1, 2},    // private use is ambiguous
        {0xFFFD, 1, 2},
        {0x10FFFD, 1, 2},
    };
    for (const Width& w : cases) {
        EXPECT_EQ(char_width::of(w.cp), w.of) << std::hex << w.cp;
        EXPECT_EQ(char_width::of_cjk(w.cp), w.of_cjk) << std::hex << w.cp;
    }
}
