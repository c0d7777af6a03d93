// Display width over the generated range tables of core/unicode_tables.cpp. Nothing below
// U+0300 is zero-width or wide, so that range is decided without a table search.
#include "core/char_width.hpp"

#include "core/unicode_tables.hpp"

namespace vyn::char_width {

namespace {

constexpr uint32_t first_combining_mark = 0x0300;

}  // namespace

bool in_ranges(uint32_t cp, std::span<const uint32_t> ranges) {
    if (ranges.empty() || cp < ranges.front() || cp > ranges.back()) return false;
    // The first range whose last code point is >= cp is the only one that can hold cp.
    size_t lo = 0, hi = ranges.size() / 2;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (ranges[2 * mid + 1] < cp) lo = mid + 1;
        else hi = mid;
    }
    return ranges[2 * lo] <= cp;
}

int of(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < first_combining_mark) return 1;
    if (in_ranges(cp, unicode_tables::zero_width_ranges)) return 0;
    return in_ranges(cp, unicode_tables::wide_ranges) ? 2 : 1;
}

int of_cjk(uint32_t cp) { return in_ranges(cp, unicode_tables::ambiguous_ranges) ? 2 : of(cp); }

}  // namespace vyn::char_width
