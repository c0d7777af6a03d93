// Record sorting: a stable merge sort (natural runs, powersort merge policy) and an unstable
// in-place quicksort over an array of fixed-width records, both ordered by a caller's callback.
// The callback may answer inconsistently or throw: every loop is bounded by record counts, never
// by what the callback answered, and at any exit the array holds each of its records exactly once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace vyn::sort {

// Order of record a against record b: < 0 when a sorts first, 0 when equal, > 0 when a sorts
// after b. `context` and `flags` are the caller's, passed through unchanged (block sort puts its
// operator code or compare function behind `context` and its flags word in `flags`).
using Compare = int (*)(const void* a, const void* b, void* context, uint32_t flags);

// Thrown by merge_sort when its buffer of (count / 2) records would not fit in 31 bits. The
// caller turns it into the script error too-long; a failed allocation throws std::bad_alloc.
struct TooLong : std::length_error {
    TooLong() : std::length_error("Content too long") {}
};

// What both sorters pass around: the record width (at least 1) and the caller's ordering.
struct RecordOrder {
    size_t width;
    void* context;
    uint32_t flags;
    Compare compare;

    int of(const std::byte* a, const std::byte* b) const { return compare(a, b, context, flags); }
    bool sorts_after(const std::byte* a, const std::byte* b) const { return of(a, b) > 0; }
};

// Stable sort of `count` records of `width` bytes at `base`.
void merge_sort(void* base, size_t count, size_t width, void* context, uint32_t flags,
                Compare compare);

// In-place sort of `count` records of `width` bytes at `base`; equal records may change order.
void quick_sort(void* base, size_t count, size_t width, void* context, uint32_t flags,
                Compare compare);

// Exchanges two records: by 32-bit words when the width allows, else byte by byte.
void swap(std::byte* a, std::byte* b, size_t width);

// End of the natural run starting at `start` (records up to `end`): an ascending run, or a
// strictly descending one, which is reversed in place so that the run ends up ascending.
std::byte* find_run(std::byte* start, std::byte* end, const RecordOrder& order);

// Merges the sorted runs [left, middle) and [middle, right) stably; `buffer` holds at least
// the shorter run.
void merge(std::byte* left, std::byte* middle, std::byte* right, std::byte* buffer,
           const RecordOrder& order);

}  // namespace vyn::sort
