// Record sorting: the merge sort (natural runs merged by the powersort policy) and the quicksort
// (presortedness probe, sample pivots, three-way partition). Indexes are record counts bounded by
// the range being sorted, so no answer of the callback can move a cursor out of it; records only
// move by whole swaps, or through the merge buffer whose pending records always have a hole of
// their size waiting in the array.
#include "core/sort.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vyn::sort {

void swap(std::byte* a, std::byte* b, size_t width) {
    if (width % 4 != 0) {
        std::swap_ranges(a, a + width, b);
        return;
    }
    for (size_t i = 0; i < width; i += 4) {
        uint32_t x, y;
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        std::memcpy(a + i, &y, 4);
        std::memcpy(b + i, &x, 4);
    }
}

namespace {

constexpr size_t MIN_RUN = 24;                  // shorter natural runs are extended by insertion
constexpr size_t MAX_BUFFER_BYTES = 0x7FFFFFFF;  // the merge buffer must fit in 31 bits
constexpr size_t SMALL_RANGE = 7;               // quicksort ranges this short use insertion
constexpr size_t PROBE_STRIDE = 97;             // one adjacent pair in 97 feeds the presorted score
constexpr size_t PRESORTED_RATIO = 512;         // presorted when |score| > count / 512
constexpr size_t MAX_STEP_BACK = 3;             // presorted path: deepest insertion into the prefix
constexpr size_t MEDIAN_SAMPLE = 63;            // records sampled for a median of three ...
constexpr size_t MEDIAN_SAMPLE_FROM = 512;      // ... in ranges at least this long
constexpr size_t SAMPLE_REGION_RATIO = 256;     // a sample partitions the whole range above range / 256
constexpr size_t SAMPLE_REGION_GROWTH = 16;     // else a region of sample × 16 - 1 records

int sign(int order) { return (order > 0) - (order < 0); }

std::byte* at(std::byte* first, size_t index, size_t width) { return first + index * width; }

void reverse(std::byte* first, size_t count, size_t width) {
    for (size_t i = 0, j = count; j > i + 1; ++i, --j) swap(at(first, i, width), at(first, j - 1, width), width);
}

// Exchanges `count` records at a with `count` records at b; the blocks do not overlap.
void swap_blocks(std::byte* a, std::byte* b, size_t count, size_t width) {
    for (size_t i = 0; i < count; ++i) swap(at(a, i, width), at(b, i, width), width);
}

// Turns [first, split) [split, count) into [split, count) [first, split), both keeping their order.
void rotate(std::byte* first, size_t split, size_t count, size_t width) {
    reverse(first, split, width);
    reverse(at(first, split, width), count - split, width);
    reverse(first, count, width);
}

// Moves the first `block` of `count` records to the end, keeping their order; the others may
// change order, which lets a long rest take the block by plain exchanges.
void move_block_to_end(std::byte* first, size_t block, size_t count, size_t width) {
    if (count - block >= block) swap_blocks(first, at(first, count - block, width), block, width);
    else rotate(first, block, count, width);
}

// Moves the last `block` of `count` records to the front, keeping their order; the others may
// change order.
void move_block_to_front(std::byte* first, size_t block, size_t count, size_t width) {
    if (count - block >= block) swap_blocks(first, at(first, count - block, width), block, width);
    else rotate(first, count - block, count, width);
}

// Sorts `count` records whose first `sorted` are in order: each following record is swapped
// backwards while its predecessor sorts after it.
void insertion_sort(std::byte* first, size_t sorted, size_t count, const RecordOrder& order) {
    const size_t w = order.width;
    for (size_t i = std::max<size_t>(sorted, 1); i < count; ++i)
        for (size_t j = i; j > 0 && order.sorts_after(at(first, j - 1, w), at(first, j, w)); --j)
            swap(at(first, j - 1, w), at(first, j, w), w);
}

// ---- Merge sort ----

// The records still in the merge buffer, [from, end), and the hole of the same size at `to` in
// the array where they belong. Moving them there on destruction ends a merge, and when the
// callback throws it leaves every record in the array exactly once.
struct BufferedRecords {
    std::byte* to;
    std::byte* from;
    std::byte* end;
    ~BufferedRecords() { std::memcpy(to, from, size_t(end - from)); }
};

// The left run goes to the buffer; the output fills the array from the left.
void merge_from_front(std::byte* left, std::byte* middle, std::byte* right, std::byte* buffer,
                      const RecordOrder& order) {
    const size_t left_bytes = size_t(middle - left);
    std::memcpy(buffer, left, left_bytes);
    BufferedRecords pending{left, buffer, buffer + left_bytes};
    std::byte* next_right = middle;
    while (pending.from != pending.end && next_right != right) {
        std::byte*& source = order.sorts_after(pending.from, next_right) ? next_right : pending.from;
        std::memcpy(pending.to, source, order.width);
        source += order.width;
        pending.to += order.width;
    }
}

// The right run goes to the buffer; the output fills the array from the right.
void merge_from_back(std::byte* left, std::byte* middle, std::byte* right, std::byte* buffer,
                     const RecordOrder& order) {
    const size_t w = order.width;
    const size_t right_bytes = size_t(right - middle);
    std::memcpy(buffer, middle, right_bytes);
    BufferedRecords pending{middle, buffer, buffer + right_bytes};
    std::byte* output = right;
    while (pending.end != pending.from && pending.to != left) {
        std::byte*& source = order.sorts_after(pending.to - w, pending.end - w) ? pending.to : pending.end;
        source -= w;
        output -= w;
        std::memcpy(output, source, w);
    }
}

std::unique_ptr<std::byte[]> merge_buffer(size_t count, size_t width) {
    const size_t records = count / 2;
    if (records > MAX_BUFFER_BYTES / width) throw TooLong();
    return std::make_unique_for_overwrite<std::byte[]>(records * width);
}

// End, in records from `first`, of the run starting at record `start`: its natural run,
// extended by insertion to MIN_RUN records or to the end.
size_t next_run(std::byte* first, size_t start, size_t count, const RecordOrder& order) {
    const size_t w = order.width;
    std::byte* run = at(first, start, w);
    const size_t natural = size_t(find_run(run, at(first, count, w), order) - run) / w;
    const size_t length = std::max(natural, std::min(MIN_RUN, count - start));
    insertion_sort(run, natural, length, order);
    return start + length;
}

// Power of the boundary between the runs [s1, e1) and [e1, e2) out of `count` records: the
// first binary digit where the two run midpoints, as fractions of the array, differ.
unsigned boundary_power(size_t s1, size_t e1, size_t e2, size_t count) {
    size_t a = s1 + e1, b = e1 + e2;
    unsigned power = 0;
    while ((a < count) == (b < count)) {
        ++power;
        if (a >= count) {
            a -= count;
            b -= count;
        }
        a *= 2;
        b *= 2;
    }
    return power + 1;
}

struct PendingRun {
    size_t start;
    unsigned power;
};

// Runs waiting to be merged. Their powers rise strictly from bottom to top and never exceed the
// number of bits of a count, so 64 entries always suffice.
class RunStack {
public:
    bool holds_power_from(unsigned power) const { return size_ > 0 && runs_[size_ - 1].power >= power; }
    bool empty() const { return size_ == 0; }
    void push(PendingRun run) { runs_[size_++] = run; }
    size_t pop() { return runs_[--size_].start; }
    size_t top_start() const { return runs_[size_ - 1].start; }

private:
    std::array<PendingRun, 64> runs_;
    size_t size_ = 0;
};

// ---- Quicksort ----

struct OrderedPrefix {
    size_t length;
    int direction;  // +1 ascending, -1 descending
};

// The longest prefix ordered in one direction, equal neighbours belonging to either.
OrderedPrefix ordered_prefix(std::byte* first, size_t count, const RecordOrder& order) {
    const size_t w = order.width;
    auto pair_order = [&](size_t i) { return sign(order.of(at(first, i, w), at(first, i + 1, w))); };
    size_t i = 0;
    int first_order = 0;
    while (i + 1 < count && (first_order = pair_order(i)) == 0) ++i;
    if (i + 1 >= count) return {count, 1};
    const int direction = -first_order;
    ++i;
    while (i + 1 < count && pair_order(i) != direction) ++i;
    return {i + 1, direction};
}

// The prefix length in its direction, plus one vote per sampled adjacent pair after it.
ptrdiff_t presorted_score(std::byte* first, size_t count, OrderedPrefix prefix, const RecordOrder& order) {
    const size_t w = order.width;
    ptrdiff_t score = ptrdiff_t(prefix.length) * prefix.direction;
    for (size_t i = prefix.length; i + 1 < count; i += PROBE_STRIDE)
        score -= sign(order.of(at(first, i, w), at(first, i + 1, w)));
    return score;
}

// Presorted path: each record that continues the prefix joins it. When a record breaks the order
// by at most MAX_STEP_BACK places and the record after it follows it but not the prefix, the
// prefix records it should precede are a stray stretch: they drop behind the prefix. Otherwise
// the record is stepped back into place. Records that belong deeper are left behind the prefix
// for the partitioning loop. Returns the prefix length, ordered in the prefix's direction.
size_t grow_prefix(std::byte* first, size_t count, OrderedPrefix prefix, const RecordOrder& order) {
    const size_t w = order.width;
    auto sorts_after = [&](size_t a, size_t b) {
        return sign(order.of(at(first, a, w), at(first, b, w))) == prefix.direction;
    };
    size_t length = prefix.length;
    auto append = [&](size_t next) {
        if (next != length) swap(at(first, length, w), at(first, next, w), w);
        ++length;
    };
    for (size_t next = length; next < count; ++next) {
        if (!sorts_after(length - 1, next)) {
            append(next);
            continue;
        }
        if (length > MAX_STEP_BACK && sorts_after(length - 1 - MAX_STEP_BACK, next)) continue;
        size_t back = 1;
        while (back <= MAX_STEP_BACK && back < length && sorts_after(length - 1 - back, next)) ++back;
        if (back > MAX_STEP_BACK) continue;
        if (next + 1 < count && sorts_after(length - 1, next + 1) && !sorts_after(next, next + 1)) {
            length -= back;
            append(next);
            continue;
        }
        append(next);
        for (size_t i = length - 1; i > length - 1 - back; --i) swap(at(first, i - 1, w), at(first, i, w), w);
    }
    return length;
}

// What a partition works on: the pivot at index `pivot`, the records before it known not to sort
// after it, the records in [scan_end, end) known not to sort before it, the ones between unknown.
struct Region {
    size_t pivot;
    size_t scan_end;
    size_t end;
};

void order_pair(std::byte* a, std::byte* b, const RecordOrder& order) {
    if (order.sorts_after(a, b)) swap(a, b, order.width);
}

// Median of three (first, middle, last) of a leading sample, which is the region.
Region region_from_median(std::byte* first, size_t count, const RecordOrder& order) {
    const size_t w = order.width;
    const size_t size = count >= MEDIAN_SAMPLE_FROM ? MEDIAN_SAMPLE : count;
    std::byte* second = at(first, 1, w);
    std::byte* last = at(first, size - 1, w);
    swap(second, at(first, size / 2, w), w);
    order_pair(first, second, order);
    order_pair(second, last, order);
    order_pair(first, second, order);
    return {1, size - 1, size};
}

// Fills the region after the sample with records taken across the whole range at a stride.
void spread_region(std::byte* first, size_t sample, size_t region, size_t count, size_t width) {
    const size_t stride = count / region;
    for (size_t i = sample; i < region; ++i) swap(at(first, i, width), at(first, i * stride, width), width);
}

// Pivot from a sorted sample of `hint` records at the front (at the back when negative): the
// sample's middle record, with the sample's upper half moved to the end of the region.
Region region_from_sample(std::byte* first, size_t count, ptrdiff_t hint, const RecordOrder& order) {
    const size_t w = order.width;
    const size_t sample = size_t(std::abs(hint));
    if (hint < 0) move_block_to_front(first, sample, count, w);
    const bool whole = count / SAMPLE_REGION_RATIO < sample;
    const size_t end = whole ? count : sample * SAMPLE_REGION_GROWTH - 1;
    if (!whole) spread_region(first, sample, end, count, w);
    const size_t pivot = sample / 2;
    const size_t upper = sample - pivot - 1;
    move_block_to_end(at(first, pivot + 1, w), upper, end - pivot - 1, w);
    return {pivot, end - upper, end};
}

// After a partition: [0, left_end) does not sort after the pivot, [left_end, right_start) equals
// it, and the rest of the region does not sort before it.
struct Split {
    size_t left_end;
    size_t right_start;
};

// Three-way partition of the region's unknown records. Records equal to the pivot gather right
// after it and are swapped between the two parts at the end. Each cursor asks whether its record
// lies strictly on its own side of the pivot, so that a callback that never answers 0 (a strict
// "lesser" test) still stops both cursors on equal records and splits them evenly.
Split partition(std::byte* first, const Region& region, const RecordOrder& order) {
    const size_t w = order.width;
    const std::byte* pivot = at(first, region.pivot, w);
    auto pivot_order = [&](size_t i) { return order.of(pivot, at(first, i, w)); };
    auto order_to_pivot = [&](size_t i) { return order.of(at(first, i, w), pivot); };
    size_t equal_end = region.pivot + 1;
    auto join_equal_zone = [&](size_t i) {
        if (i != equal_end) swap(at(first, i, w), at(first, equal_end, w), w);
        ++equal_end;
    };
    size_t left = equal_end, right = region.scan_end;
    for (;;) {
        int left_order = 1;
        for (; left < right && (left_order = pivot_order(left)) >= 0; ++left)
            if (left_order == 0) join_equal_zone(left);
        if (left == right) break;
        int right_order = 1;
        while (right - 1 > left && (right_order = order_to_pivot(right - 1)) > 0) --right;
        if (right - 1 == left) {
            right = left;
            break;
        }
        swap(at(first, left, w), at(first, right - 1, w), w);
        if (right_order == 0) join_equal_zone(left);
        ++left;
        --right;
    }
    const size_t equal = equal_end - region.pivot;
    const size_t less = left - equal_end;
    const size_t moved = std::min(equal, less);
    swap_blocks(at(first, region.pivot, w), at(first, left - moved, w), moved, w);
    return {region.pivot + less, left};
}

void sift_down(std::byte* first, size_t root, size_t count, const RecordOrder& order) {
    const size_t w = order.width;
    for (size_t child; (child = 2 * root + 1) < count; root = child) {
        if (child + 1 < count && order.sorts_after(at(first, child + 1, w), at(first, child, w))) ++child;
        if (!order.sorts_after(at(first, child, w), at(first, root, w))) return;
        swap(at(first, root, w), at(first, child, w), w);
    }
}

// The fallback when partitions keep coming out lopsided (a callback answering "lesser or equal"
// on many equal records, or an input that defeats the pivot samples): it bounds the work by
// count × log count comparisons whatever the answers.
void heap_sort(std::byte* first, size_t count, const RecordOrder& order) {
    for (size_t i = count / 2; i-- > 0;) sift_down(first, i, count, order);
    for (size_t end = count; end-- > 1;) {
        swap(first, at(first, end, order.width), order.width);
        sift_down(first, 0, end, order);
    }
}

struct Range {
    std::byte* first;
    size_t count;
    ptrdiff_t hint;  // sorted sample: that many records at the front, or at the back when negative
};

// Partitions of the whole range allowed before the heap sort takes over: twice the depth of
// evenly split partitions.
unsigned partition_budget(size_t count) {
    unsigned depth = 0;
    for (; count > 1; count /= 2) ++depth;
    return 2 * depth;
}

void sort_range(Range range, unsigned budget, const RecordOrder& order) {
    const size_t w = order.width;
    while (range.count > SMALL_RANGE) {
        const size_t sample = size_t(std::abs(range.hint));
        if (sample >= range.count) return;
        if (budget == 0) {
            heap_sort(range.first, range.count, order);
            return;
        }
        const Region region = sample > 2 ? region_from_sample(range.first, range.count, range.hint, order)
                                         : region_from_median(range.first, range.count, order);
        const Split split = partition(range.first, region, order);
        Range left{range.first, split.left_end, ptrdiff_t(region.pivot)};
        Range right{at(range.first, split.right_start, w), region.end - split.right_start,
                    -ptrdiff_t(region.end - region.scan_end)};
        if (region.end < range.count) {
            // Only a leading region was partitioned: once sorted it samples the whole range.
            sort_range(left, partition_budget(left.count), order);
            sort_range(right, partition_budget(right.count), order);
            range.hint = ptrdiff_t(region.end);
            continue;
        }
        --budget;
        // The smaller part recurses, so the depth stays logarithmic whatever the callback answers.
        if (left.count > right.count) std::swap(left, right);
        sort_range(left, budget, order);
        range = right;
    }
    insertion_sort(range.first, 1, range.count, order);
}

}  // namespace

std::byte* find_run(std::byte* start, std::byte* end, const RecordOrder& order) {
    const size_t w = order.width;
    const size_t count = size_t(end - start) / w;
    if (count < 2) return end;
    const bool descending = order.sorts_after(start, at(start, 1, w));
    size_t length = 2;
    while (length < count && order.sorts_after(at(start, length - 1, w), at(start, length, w)) == descending)
        ++length;
    if (descending) reverse(start, length, w);
    return at(start, length, w);
}

void merge(std::byte* left, std::byte* middle, std::byte* right, std::byte* buffer, const RecordOrder& order) {
    if (right - middle < middle - left) merge_from_back(left, middle, right, buffer, order);
    else merge_from_front(left, middle, right, buffer, order);
}

void merge_sort(void* base, size_t count, size_t width, void* context, uint32_t flags, Compare compare) {
    if (count < 2 || width == 0) return;
    const std::unique_ptr<std::byte[]> buffer = merge_buffer(count, width);
    const RecordOrder order{width, context, flags, compare};
    auto* first = static_cast<std::byte*>(base);
    auto merge_runs = [&](size_t left, size_t middle, size_t right) {
        merge(at(first, left, width), at(first, middle, width), at(first, right, width), buffer.get(), order);
    };
    RunStack pending;
    size_t start = 0;
    size_t end = next_run(first, 0, count, order);
    while (end < count) {
        const size_t next_end = next_run(first, end, count, order);
        const unsigned power = boundary_power(start, end, next_end, count);
        while (pending.holds_power_from(power)) {
            merge_runs(pending.top_start(), start, end);
            start = pending.pop();
        }
        pending.push({start, power});
        start = end;
        end = next_end;
    }
    while (!pending.empty()) {
        merge_runs(pending.top_start(), start, count);
        start = pending.pop();
    }
}

void quick_sort(void* base, size_t count, size_t width, void* context, uint32_t flags, Compare compare) {
    if (count < 2 || width == 0) return;
    const RecordOrder order{width, context, flags, compare};
    auto* first = static_cast<std::byte*>(base);
    OrderedPrefix prefix = ordered_prefix(first, count, order);
    if (prefix.length < count) {
        const ptrdiff_t score = presorted_score(first, count, prefix, order);
        if (size_t(std::abs(score)) > count / PRESORTED_RATIO) {
            if ((score > 0) != (prefix.direction > 0)) prefix = {1, -prefix.direction};
            prefix.length = grow_prefix(first, count, prefix, order);
        }
    }
    if (prefix.direction < 0) reverse(first, prefix.length, width);
    if (prefix.length < count) sort_range({first, count, ptrdiff_t(prefix.length)}, partition_budget(count), order);
}

}  // namespace vyn::sort
