// Constant Unicode tables behind case mapping and display width, defined in the generated
// core/unicode_tables.cpp. Case mappings up to U+FFFF are a two-level table whose entry 0
// means "maps to itself" and whose block 0 is Latin-1; range tables are flat [first, last]
// pairs, ascending and disjoint.
#pragma once

#include <cstdint>
#include <span>

namespace vyn::unicode_tables {

// Entries per block of the two-level case tables; a code point's block is cp / 256.
inline constexpr uint32_t case_block_size = 256;

struct BmpCaseTable {
    const uint8_t* block_of;  // 256 entries: block number of each run of 256 code points
    const uint16_t* blocks;   // block n covers entries [n * 256, n * 256 + 256)
};

struct CasePair {
    uint32_t code_point;
    uint32_t mapping;
};

extern const BmpCaseTable upper_bmp;
extern const BmpCaseTable lower_bmp;

// Sorted by code point.
extern const std::span<const CasePair> upper_pairs_above_bmp;
extern const std::span<const CasePair> lower_pairs_above_bmp;

extern const std::span<const uint32_t> zero_width_ranges;
extern const std::span<const uint32_t> wide_ranges;
extern const std::span<const uint32_t> ambiguous_ranges;

}  // namespace vyn::unicode_tables
