// Case mapping: table sizes at Unicode 11.0, the BMP/above-BMP split, special casing firsts,
// and code points that the newer installed data maps but 11.0 did not.
#include <gtest/gtest.h>

#include "core/casefold.hpp"
#include "core/unicode_tables.hpp"

using namespace vyn;
using casefold::Case;

namespace {

int count_changed(uint32_t first, uint32_t last, Case to) {
    int n = 0;
    for (uint32_t cp = first; cp <= last; ++cp) n += casefold::change_char(cp, to) != cp;
    return n;
}

struct Mapping {
    uint32_t cp, upper, lower;
};

}  // namespace

TEST(Casefold, MappedCodePointCountsAtUnicode11) {
    EXPECT_EQ(count_changed(0, 0xFFFF, Case::upper), 1250);
    EXPECT_EQ(count_changed(0, 0xFFFF, Case::lower), 1158);
    EXPECT_EQ(unicode_tables::upper_pairs_above_bmp.size(), 225u);
    EXPECT_EQ(unicode_tables::lower_pairs_above_bmp.size(), 225u);
    EXPECT_EQ(count_changed(0x10000, 0x10FFFF, Case::upper), 225);
    EXPECT_EQ(count_changed(0x10000, 0x10FFFF, Case::lower), 225);
}

TEST(Casefold, UpperAndLowerOfCodePoints) {
    const Mapping cases[] = {
        {'a', 'A', 'a'},
        {'Z', 'Z', 'z'},
        {'1', '1', '1'},
        {0x0000, 0x0000, 0x0000},
        {0x00C9, 0x00C9, 0x00E9},     // É
        {0x00FF, 0x0178, 0x00FF},     // ÿ leaves Latin-1 when upper-cased
        {0x00B5, 0x039C, 0x00B5},     // micro sign
        {0x00DF, 0x0053, 0x00DF},     // ß: first of the special mapping "SS"
        {0x1E9E, 0x1E9E, 0x00DF},     // capital sharp s
        {0x0130, 0x0130, 0x0069},     // İ: first of "i" + combining dot
        {0x0149, 0x02BC, 0x0149},     // ŉ: first of special "ʼN"
        {0x10D0, 0x1C90, 0x10D0},     // Georgian Mkhedruli to Mtavruli, new in 11.0
        {0x4E00, 0x4E00, 0x4E00},
        {0xFF41, 0xFF21, 0xFF41},     // fullwidth a, last block of the BMP
        {0x10428, 0x10400, 0x10428},  // Deseret, first pair above the BMP
        {0x16E60, 0x16E40, 0x16E60},  // Medefaidrin, new in 11.0
        {0x1E922, 0x1E900, 0x1E922},  // Adlam
        {0x1E900, 0x1E900, 0x1E922},
        {0x1E943, 0x1E921, 0x1E943},  // last pair
        {0x1F600, 0x1F600, 0x1F600},
        {0x10FFFF, 0x10FFFF, 0x10FFFF},
    };
    for (const Mapping& m : cases) {
        EXPECT_EQ(casefold::upper_char(m.cp), m.upper) << std::hex << m.cp;
        EXPECT_EQ(casefold::lower_char(m.cp), m.lower) << std::hex << m.cp;
    }
}

TEST(Casefold, MappingsAddedAfterUnicode11AreLeftOut) {
    EXPECT_EQ(casefold::upper_char(0x0282), 0x0282u);    // ʂ gained A7C5 in 12.0
    EXPECT_EQ(casefold::lower_char(0xA7C0), 0xA7C0u);    // assigned in 14.0
    EXPECT_EQ(casefold::upper_char(0x10597), 0x10597u);  // Vithkuqi, 14.0
}

TEST(Casefold, OtherCasePrefersUpper) {
    EXPECT_EQ(casefold::other_case('a'), uint32_t{'A'});
    EXPECT_EQ(casefold::other_case('A'), uint32_t{'a'});
    EXPECT_EQ(casefold::other_case('-'), uint32_t{'-'});
    EXPECT_EQ(casefold::other_case(0x01C5), 0x01C4u);  // titlecase Dž has both forms
    EXPECT_EQ(casefold::other_case(0x1E900), 0x1E922u);
}
