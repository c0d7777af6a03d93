// Case mapping lookups over the generated tables of core/unicode_tables.cpp. The tables are
// constant data, so nothing is built at start-up; the BMP table's block 0 is Latin-1, which
// lets the common case skip the block index.
#include "core/casefold.hpp"

#include <algorithm>

#include "core/unicode_tables.hpp"

namespace vyn::casefold {

namespace {

using unicode_tables::BmpCaseTable;
using unicode_tables::case_block_size;
using unicode_tables::CasePair;

uint32_t or_self(uint32_t mapping, uint32_t cp) { return mapping != 0 ? mapping : cp; }

uint32_t change_latin1(const BmpCaseTable& table, uint32_t cp) { return or_self(table.blocks[cp], cp); }

uint32_t change_bmp(const BmpCaseTable& table, uint32_t cp) {
    uint32_t block = table.block_of[cp / case_block_size];
    return or_self(table.blocks[block * case_block_size + cp % case_block_size], cp);
}

uint32_t change_above_bmp(std::span<const CasePair> pairs, uint32_t cp) {
    auto it = std::lower_bound(pairs.begin(), pairs.end(), cp,
                               [](const CasePair& p, uint32_t key) { return p.code_point < key; });
    return it != pairs.end() && it->code_point == cp ? it->mapping : cp;
}

}  // namespace

uint32_t change_char(uint32_t cp, Case to) {
    const BmpCaseTable& table = to == Case::upper ? unicode_tables::upper_bmp : unicode_tables::lower_bmp;
    if (cp < case_block_size) return change_latin1(table, cp);
    if (cp <= 0xFFFF) return change_bmp(table, cp);
    return change_above_bmp(to == Case::upper ? unicode_tables::upper_pairs_above_bmp
                                              : unicode_tables::lower_pairs_above_bmp,
                            cp);
}

uint32_t upper_char(uint32_t cp) { return change_char(cp, Case::upper); }

uint32_t lower_char(uint32_t cp) { return change_char(cp, Case::lower); }

uint32_t other_case(uint32_t cp) {
    uint32_t upper = upper_char(cp);
    return upper != cp ? upper : lower_char(cp);
}

}  // namespace vyn::casefold
