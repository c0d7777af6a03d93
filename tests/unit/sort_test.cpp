// Record sorters: order, stability, run detection, and safety against callbacks that answer
// inconsistently or throw. Records live in exact-size heap blocks, so the sanitizer build reports
// any access outside the array; the callback itself checks every address it is handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/cell.hpp"
#include "core/sort.hpp"

using namespace vyn;

namespace {

// Where a record of each tested width keeps its 32-bit key and the tag naming its input position.
// Widths 16 and 32 are integer cells as block sort sees them (skip 1 and skip 2).
struct Layout {
    size_t width;
    size_t key_offset;
    size_t tag_offset;
    size_t tag_bytes;
};
constexpr Layout WIDTH_4{4, 0, 0, 0};
constexpr Layout WIDTH_6{6, 0, 4, 2};
constexpr Layout WIDTH_16{16, 8, 12, 4};
constexpr Layout WIDTH_32{32, 8, 24, 4};

using KeyTag = std::pair<int32_t, uint32_t>;

class Records {
public:
    Records(const Layout& layout, const std::vector<int32_t>& keys)
        : layout_(layout), count_(keys.size()), bytes_(new std::byte[keys.size() * layout.width]) {
        for (size_t i = 0; i < count_; ++i) write(i, keys[i]);
    }

    std::byte* data() { return bytes_.get(); }
    size_t count() const { return count_; }
    const Layout& layout() const { return layout_; }

    int32_t key(size_t i) const { return key_at(record(i), layout_); }
    uint32_t tag(size_t i) const {
        uint32_t tag = 0;
        std::memcpy(&tag, record(i) + layout_.tag_offset, layout_.tag_bytes);
        return tag;
    }
    std::vector<int32_t> keys() const {
        std::vector<int32_t> out;
        for (size_t i = 0; i < count_; ++i) out.push_back(key(i));
        return out;
    }
    std::vector<KeyTag> key_tags() const {
        std::vector<KeyTag> out;
        for (size_t i = 0; i < count_; ++i) out.emplace_back(key(i), tag(i));
        return out;
    }
    // The records as a multiset, to check that a sort neither lost nor repeated any.
    std::vector<KeyTag> contents() const {
        std::vector<KeyTag> out = key_tags();
        std::sort(out.begin(), out.end());
        return out;
    }

    static int32_t key_at(const std::byte* record, const Layout& layout) {
        int32_t key;
        std::memcpy(&key, record + layout.key_offset, 4);
        return key;
    }

private:
    const std::byte* record(size_t i) const { return bytes_.get() + i * layout_.width; }

    void write(size_t i, int32_t key) {
        std::byte* r = bytes_.get() + i * layout_.width;
        if (layout_.width >= sizeof(Cell)) {
            for (size_t cell = 0; cell < layout_.width; cell += sizeof(Cell)) {
                const Cell c = integer_cell(int32_t(i));
                std::memcpy(r + cell, &c, sizeof c);
            }
        }
        std::memcpy(r + layout_.key_offset, &key, 4);
        const uint32_t tag = uint32_t(i);
        std::memcpy(r + layout_.tag_offset, &tag, layout_.tag_bytes);
    }

    Layout layout_;
    size_t count_;
    std::unique_ptr<std::byte[]> bytes_;
};

// How the callback answers. The two-way answers are what a user compare function returning a logic
// value gives: "a after b" when the function holds for (b, a), "a before b" otherwise.
enum class Answer { Keys, Random, Lesser, LesserOrEqual, AlwaysAfter, AlwaysBefore };

constexpr uint32_t REVERSE = 1;

// The callback's view of the array. It counts calls, records any address that is off a record
// boundary of the array (or outside it, unless the sorter compares records in its merge buffer:
// those reads are left to the sanitizer build), answers as `answer` says, and throws on call
// number `throw_at`.
struct Probe {
    Records& records;
    Answer answer = Answer::Keys;
    size_t throw_at = 0;
    bool buffered = false;
    size_t calls = 0;
    size_t stray = 0;
    std::mt19937 random{7};

    bool on_record(const void* p) const {
        const auto* r = static_cast<const std::byte*>(p);
        const std::byte* first = records.data();
        const size_t width = records.layout().width;
        if (r < first || r >= first + records.count() * width) return buffered;
        return size_t(r - first) % width == 0;
    }

    int order(const void* a, const void* b, uint32_t flags) {
        if (++calls == throw_at) throw std::runtime_error("compare failed");
        if (!on_record(a) || !on_record(b)) {
            ++stray;
            return 0;
        }
        const int32_t x = Records::key_at(static_cast<const std::byte*>(a), records.layout());
        const int32_t y = Records::key_at(static_cast<const std::byte*>(b), records.layout());
        switch (answer) {
            case Answer::Keys: return (flags & REVERSE ? -1 : 1) * ((x > y) - (x < y));
            case Answer::Random: return int(random() % 3) - 1;
            case Answer::Lesser: return y < x ? 1 : -1;
            case Answer::LesserOrEqual: return y <= x ? 1 : -1;
            case Answer::AlwaysAfter: return 1;
            case Answer::AlwaysBefore: return -1;
        }
        return 0;
    }

    static int callback(const void* a, const void* b, void* context, uint32_t flags) {
        return static_cast<Probe*>(context)->order(a, b, flags);
    }
};

using Sorter = void (*)(void*, size_t, size_t, void*, uint32_t, sort::Compare);

struct NamedSorter {
    const char* name;
    Sorter sorter;
    bool buffered;
};
const NamedSorter MERGE_SORT{"merge_sort", sort::merge_sort, true};
const NamedSorter SORTERS[] = {MERGE_SORT, {"quick_sort", sort::quick_sort, false}};

void run(const NamedSorter& sorter, Probe& probe, uint32_t flags = 0) {
    probe.buffered = sorter.buffered;
    sorter.sorter(probe.records.data(), probe.records.count(), probe.records.layout().width, &probe, flags,
           Probe::callback);
}

std::vector<int32_t> random_keys(size_t count, int32_t range, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> key(0, range - 1);
    std::vector<int32_t> keys(count);
    for (auto& k : keys) k = key(random);
    return keys;
}

std::vector<int32_t> ascending(size_t n) {
    std::vector<int32_t> k(n);
    std::iota(k.begin(), k.end(), 0);
    return k;
}

std::vector<int32_t> descending(size_t n) {
    std::vector<int32_t> k = ascending(n);
    std::reverse(k.begin(), k.end());
    return k;
}

std::vector<int32_t> ascending_but_the_last(size_t n) {
    std::vector<int32_t> k = ascending(n);
    if (n > 0) k.back() = -1;
    return k;
}

// Input shapes that reach the sorters' different paths, the ordered ones first.
struct Shape {
    const char* name;
    std::vector<int32_t> (*make)(size_t count);
};
const Shape SHAPES[] = {
    {"ascending", ascending},
    {"descending", descending},
    {"ascending but the last", ascending_but_the_last},
    {"random", [](size_t n) { return random_keys(n, 1 << 30, 1); }},
    {"few distinct", [](size_t n) { return random_keys(n, 5, 2); }},
    {"ascending with outliers",
     [](size_t n) {
         std::vector<int32_t> k = ascending(n);
         for (size_t i = 5; i < n; i += 37) k[i] = int32_t(n - i);
         return k;
     }},
    {"descending with outliers",
     [](size_t n) {
         std::vector<int32_t> k = descending(n);
         for (size_t i = 3; i < n; i += 50) k[i] = int32_t(i % 11);
         return k;
     }},
    {"organ pipe",
     [](size_t n) {
         std::vector<int32_t> k(n);
         for (size_t i = 0; i < n; ++i) k[i] = int32_t(std::min(i, n - i));
         return k;
     }},
};
const std::span<const Shape> ORDERED_SHAPES = std::span(SHAPES).first(3);

}  // namespace

void expect_reference_order(const NamedSorter& sorter, const Layout& layout, const std::vector<int32_t>& keys) {
    Records records(layout, keys);
    const auto before = records.contents();
    std::vector<int32_t> expected = keys;
    std::sort(expected.begin(), expected.end());
    Probe probe{records};
    run(sorter, probe);
    EXPECT_EQ(records.keys(), expected);
    EXPECT_EQ(records.contents(), before);
    if (keys.size() < 2) {
        EXPECT_EQ(probe.calls, 0u);
    }
}

TEST(Sort, BothSortersMatchTheReferenceOrder) {
    const size_t counts[] = {0, 1, 2, 7, 8, 25, 63, 64, 511, 512, 600, 5000, 20000};
    for (const NamedSorter& sorter : SORTERS)
        for (const Shape& shape : SHAPES)
            for (size_t count : counts) {
                SCOPED_TRACE(testing::Message() << sorter.name << ", " << shape.name << ", " << count << " records");
                expect_reference_order(sorter, WIDTH_16, shape.make(count));
            }
}

TEST(Sort, EveryRecordWidthIsMovedWhole) {
    for (const NamedSorter& sorter : SORTERS)
        for (const Layout& layout : {WIDTH_4, WIDTH_6, WIDTH_32})
            for (size_t count : {9, 600, 20000}) {
                SCOPED_TRACE(testing::Message() << sorter.name << ", width " << layout.width << ", " << count << " records");
                expect_reference_order(sorter, layout, random_keys(count, 1000, 8));
            }
}

TEST(Sort, ContextAndFlagsReachTheCallbackUnchanged) {
    for (const NamedSorter& sorter : SORTERS) {
        SCOPED_TRACE(sorter.name);
        Records records(WIDTH_16, random_keys(300, 1000, 3));
        std::vector<int32_t> expected = records.keys();
        std::sort(expected.rbegin(), expected.rend());
        Probe probe{records};
        run(sorter, probe, REVERSE);
        EXPECT_EQ(records.keys(), expected);
        EXPECT_EQ(probe.stray, 0u);
    }
}

TEST(MergeSort, KeepsEqualKeysInInputOrder) {
    const std::vector<std::vector<int32_t>> inputs = {
        random_keys(3000, 7, 4),
        [] {  // descending with equal neighbours: 9 9 9 8 8 8 ...
            std::vector<int32_t> k(1000);
            for (size_t i = 0; i < k.size(); ++i) k[i] = int32_t((k.size() - i) / 3);
            return k;
        }(),
        [] {  // alternating short runs of equal keys
            std::vector<int32_t> k(500);
            for (size_t i = 0; i < k.size(); ++i) k[i] = int32_t((i / 4) % 3);
            return k;
        }(),
    };
    for (const Layout& layout : {WIDTH_6, WIDTH_16, WIDTH_32})
        for (uint32_t flags : {0u, REVERSE})
            for (const auto& keys : inputs) {
                SCOPED_TRACE(testing::Message() << "width " << layout.width << ", flags " << flags);
                Records records(layout, keys);
                std::vector<KeyTag> expected = records.key_tags();
                std::stable_sort(expected.begin(), expected.end(), [&](const KeyTag& a, const KeyTag& b) {
                    return flags & REVERSE ? a.first > b.first : a.first < b.first;
                });
                Probe probe{records};
                run(MERGE_SORT, probe, flags);
                EXPECT_EQ(records.key_tags(), expected);
            }
}

TEST(MergeSort, ReversesTwentyFiveDescendingRecordsAsOneRun) {
    std::vector<int32_t> keys(25);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = int32_t(100 - i);
    Records records(WIDTH_16, keys);
    Probe probe{records};
    run(MERGE_SORT, probe);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(records.keys(), keys);
    EXPECT_EQ(probe.calls, 24u);  // one pass over the neighbours, no insertion, no merge
}

TEST(Sort, OrderedInputTakesLinearComparisons) {
    const size_t count = 20000;
    for (const NamedSorter& sorter : SORTERS)
        for (const Shape& shape : ORDERED_SHAPES) {
            SCOPED_TRACE(testing::Message() << sorter.name << ", " << shape.name);
            Records records(WIDTH_16, shape.make(count));
            Probe probe{records};
            run(sorter, probe);
            const std::vector<int32_t> keys = records.keys();
            EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            EXPECT_LE(probe.calls, 2 * count);
        }
}

TEST(Sort, InconsistentCallbacksNeverLeaveTheArray) {
    const Answer answers[] = {Answer::Random, Answer::Lesser, Answer::LesserOrEqual, Answer::AlwaysAfter,
                              Answer::AlwaysBefore};
    const size_t counts[] = {2, 3, 8, 9, 25, 100, 600, 20000};
    for (const NamedSorter& sorter : SORTERS)
        for (const Layout& layout : {WIDTH_4, WIDTH_32})
            for (Answer answer : answers)
                for (size_t count : counts) {
                    SCOPED_TRACE(testing::Message() << sorter.name << ", width " << layout.width << ", answer "
                                                    << int(answer) << ", " << count << " records");
                    Records records(layout, random_keys(count, 50, 5));
                    const auto before = records.contents();
                    Probe probe{records, answer};
                    run(sorter, probe);
                    EXPECT_EQ(probe.stray, 0u);
                    EXPECT_EQ(records.contents(), before);
                }
}

TEST(Sort, TwoWayAnswersSortWithoutQuadraticWork) {
    const size_t count = 20000;
    for (const NamedSorter& sorter : SORTERS)
        for (Answer answer : {Answer::Lesser, Answer::LesserOrEqual})
            for (int32_t distinct : {1, 3, 1 << 30}) {
                SCOPED_TRACE(testing::Message() << sorter.name << ", answer " << int(answer) << ", " << distinct
                                                << " distinct keys");
                Records records(WIDTH_16, random_keys(count, distinct, 9));
                Probe probe{records, answer};
                run(sorter, probe);
                const std::vector<int32_t> keys = records.keys();
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
                EXPECT_LE(probe.calls, 3 * count * 15);  // 3 n log2 n; equal keys split badly would take ~n^2 / 6
            }
}

TEST(Sort, ThrowingCallbackLeavesEveryRecordOnce) {
    const std::vector<int32_t> keys = random_keys(4000, 1 << 20, 6);
    for (const NamedSorter& sorter : SORTERS)
        for (const Layout& layout : {WIDTH_6, WIDTH_32}) {
            Records whole_run(layout, keys);
            Probe counter{whole_run};
            run(sorter, counter);
            const size_t throw_points = 25;  // spread over the whole sort: runs, merges, partitions
            for (size_t point = 0; point < throw_points; ++point) {
                const size_t throw_at = 1 + counter.calls * point / throw_points;
                SCOPED_TRACE(testing::Message() << sorter.name << ", width " << layout.width << ", throw at " << throw_at);
                Records records(layout, keys);
                const auto before = records.contents();
                Probe probe{records, Answer::Keys, throw_at};
                EXPECT_THROW(run(sorter, probe), std::runtime_error);
                EXPECT_EQ(records.contents(), before);
            }
        }
}

TEST(MergeSort, BufferPastThirtyOneBitsIsTooLong) {
    Records records(WIDTH_16, {2, 1});
    Probe probe{records};
    // 2^27 records of 16 bytes need a 2^31-byte buffer; the size is refused before any access.
    EXPECT_THROW(sort::merge_sort(records.data(), size_t(1) << 28, 16, &probe, 0, Probe::callback), sort::TooLong);
    EXPECT_EQ(probe.calls, 0u);
}
