// The hashtable: sizing, key hashing across unit sizes and letter case, the hash! index with
// duplicate chains and index shifting, the map! index with repeated and removed keys, node-keyed
// tables, copies, and growth that keeps every key findable.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/value_slots.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;
using namespace vyn::hashtable;

namespace {

class Hashtable : public testing_runtime::GlobalContextTest {};

// Values, tables and nodes made here are kept for the rest of the test.
Cell block_of(std::initializer_list<Cell> cells) {
    Cell& b = testing_gc::kept(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(cells.size() + 1), 0));
    for (const Cell& c : cells) *memory::alloc_tail_cell(b.s2) = c;
    return b;
}

NodeId kept_table(NodeId table) { return testing_gc::kept(make_cell(TYPE_HASH, 0, 0, table)).s3; }

// The node of a new, empty buffer.
NodeId kept_node() { return testing_gc::kept(make_cell(TYPE_BINARY, 0, memory::alloc_bytes(16), 0)).s2; }

Cell& at(NodeId table, uint32_t index) { return memory::series_of(record(table).block)->cells()[index]; }

Cell text(std::string_view utf8, int unit = 1) {
    NodeId node = unicode::load_utf8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), 0, 0);
    Cell& s = testing_gc::kept(unicode::string_cell(node));
    unicode::widen(node, unit);
    return s;
}

// A new string that nothing roots.
Cell loose_text(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    return unicode::string_cell(unicode::load_utf8(bytes, utf8.size(), 0, 0));
}

Cell word(std::string_view name, TypeId type = TYPE_WORD) {
    return make_cell(type, 0, symbol::make(name), uint32_t(-1));
}

int32_t get_int(NodeId table, int32_t value, const Query& q = {}) { return get(table, integer_cell(value), q); }

// Moves count cells of a block from first so that they start at dest, and tells its index.
void move_cells(const Cell& block, NodeId table, uint32_t dest, uint32_t first, uint32_t count) {
    Cell* cells = memory::series_of(block.s2)->cells();
    if (dest > first) std::rotate(cells + first, cells + first + count, cells + dest + count);
    else std::rotate(cells + dest, cells + first, cells + first + count);
    move_entries(table, dest, first, count);
}

}  // namespace

TEST_F(Hashtable, SizesFollowTheLoadFactor) {
    struct Case {
        uint32_t size;
        Kind kind;
        int32_t buckets;
        int32_t limit;
    };
    const Case cases[] = {
        {3, Kind::hash_index, 8, 6},
        {0, Kind::map_index, 8, 6},
        {4000, Kind::words, 16384, 12615},
        {3999, Kind::words, 8192, 6307},
        {4000, Kind::hash_index, 8192, 6307},
    };
    for (const Case& c : cases) {
        NodeId t = make(c.size, c.kind);
        EXPECT_EQ(record(t).bucket_count, c.buckets) << c.size;
        EXPECT_EQ(record(t).growth_limit, c.limit) << c.size;
    }
    EXPECT_EQ(record(symbol::table()).bucket_count, 16384);
    EXPECT_EQ(record(symbol::table()).growth_limit, 12615);
}

TEST_F(Hashtable, AStringKeyHashesAlikeInEveryUnitSizeAndCase) {
    const uint32_t expected = hash_string(text("Stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9"), true);
    for (int unit : {1, 2, 4}) {
        EXPECT_EQ(hash_value(text("Stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9", unit)), expected) << unit;
        EXPECT_EQ(hash_value(text("STRA\xC3\x9F" "E \xC3\x89T\xC3\x89", unit)), expected) << unit;
    }
    EXPECT_NE(hash_string(text("abc"), false), hash_string(text("ABC"), false));
    EXPECT_EQ(hash_value(word("abc")), hash_value(word("ABC", TYPE_SET_WORD)));
}

TEST_F(Hashtable, HashIndexFindsEveryDuplicate) {
    Cell b = block_of({integer_cell(1), text("a"), integer_cell(2), text("A"), integer_cell(1), integer_cell(1)});
    NodeId t = kept_table(make(6, Kind::hash_index, &b));
    EXPECT_EQ(get_int(t, 1), 0);
    EXPECT_EQ(get_int(t, 1, {.start = 1}), 4);
    EXPECT_EQ(get_int(t, 1, {.last = true}), 5);
    EXPECT_EQ(get_int(t, 1, {.start = 4, .reverse = true}), 0);
    EXPECT_EQ(get_int(t, 1, {.start = 1, .skip = 2}), 5);
    EXPECT_EQ(get_int(t, 3), -1);
    EXPECT_EQ(get(t, text("A")), 1);
    EXPECT_EQ(get(t, text("A"), {.mode = Mode::strict}), 3);
    EXPECT_EQ(get(t, integer_cell(2), {.mode = Mode::same}), 2);

    MatchCursor cursor;
    std::vector<int32_t> matches;
    for (int32_t i; (i = next_match(t, integer_cell(1), cursor)) >= 0;) matches.push_back(i);
    EXPECT_EQ(matches, (std::vector<int32_t>{0, 4, 5}));
}

TEST_F(Hashtable, RemovingOneDuplicateLeavesTheOthers) {
    Cell b = block_of({integer_cell(7), integer_cell(7), integer_cell(8)});
    NodeId t = kept_table(make(3, Kind::hash_index, &b));
    remove(t, 0);
    EXPECT_EQ(get_int(t, 7), 1);
    EXPECT_EQ(record(t).live_count, 2);
    remove(t, 1);
    EXPECT_EQ(get_int(t, 7), -1);
    EXPECT_EQ(record(t).live_count, 1);
    remove(t, 2);
    remove(t, 2);
    EXPECT_EQ(record(t).live_count, 0);
}

TEST_F(Hashtable, HashIndexGrowsByRebuilding) {
    Cell b = block_of({});
    NodeId t = kept_table(make(2, Kind::hash_index, &b));
    bool rebuilt = false;
    for (int32_t i = 0; i < 3000; ++i) {
        *memory::alloc_tail_cell(b.s2) = integer_cell(i % 1000);
        rebuilt |= put(t, uint32_t(i)).rebuilt;
    }
    EXPECT_TRUE(rebuilt);
    EXPECT_GE(record(t).bucket_count, 1024);
    for (int32_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(get_int(t, i), i);
        ASSERT_EQ(get_int(t, i, {.last = true}), i + 2000);
    }
}

TEST_F(Hashtable, ShiftedAndMovedCellsStayFindable) {
    Cell b = block_of({integer_cell(10), integer_cell(20), integer_cell(30), integer_cell(10)});
    NodeId t = kept_table(make(4, Kind::hash_index, &b));
    // Insert 99 at index 1: the cells from 1 move up by one.
    Cell* cells = memory::series_of(b.s2)->cells();
    memory::alloc_tail_cell(b.s2);
    cells = memory::series_of(b.s2)->cells();
    std::memmove(cells + 2, cells + 1, 3 * sizeof(Cell));
    cells[1] = integer_cell(99);
    EXPECT_EQ(shift_indexes(t, 1, 1, 3, true), 0);
    put(t, 1);
    EXPECT_EQ(get_int(t, 20), 2);
    EXPECT_EQ(get_int(t, 10, {.last = true}), 4);
    EXPECT_EQ(get_int(t, 99), 1);

    // Move the two cells at 0-1 (10 99) after 30: the block reads 20 30 10 99 10.
    move_cells(b, t, 2, 0, 2);
    EXPECT_EQ(get_int(t, 20), 0);
    EXPECT_EQ(get_int(t, 30), 1);
    EXPECT_EQ(get_int(t, 10), 2);
    EXPECT_EQ(get_int(t, 99), 3);
    EXPECT_EQ(get_int(t, 10, {.last = true}), 4);

    // Move the two cells at 3-4 (99 10) back to 1: the block reads 20 99 10 30 10.
    move_cells(b, t, 1, 3, 2);
    EXPECT_EQ(get_int(t, 99), 1);
    EXPECT_EQ(get_int(t, 30), 3);
    EXPECT_EQ(get_int(t, 10), 2);
    EXPECT_EQ(get_int(t, 10, {.last = true}), 4);

    // Remove 20 at index 0: the cells after it move down by one.
    cells = memory::series_of(b.s2)->cells();
    std::memmove(cells, cells + 1, 4 * sizeof(Cell));
    memory::series_of(b.s2)->tail -= sizeof(Cell);
    shift_indexes(t, -1, 1, 4, true);
    EXPECT_EQ(get_int(t, 20), -1);
    EXPECT_EQ(get_int(t, 99), 0);
    EXPECT_EQ(get_int(t, 10, {.last = true}), 3);
    remove(t, 0);
    EXPECT_EQ(get_int(t, 99), -1);
    EXPECT_EQ(shift_indexes(t, 1, 0, 30001, true), 1);
}

TEST_F(Hashtable, ClearRangeTakesCellsOutOfTheIndex) {
    Cell b = block_of({integer_cell(1), integer_cell(2), integer_cell(1), integer_cell(3)});
    NodeId t = kept_table(make(4, Kind::hash_index, &b));
    clear_range(t, 1, 2);
    EXPECT_EQ(get_int(t, 1, {.last = true}), 0);
    EXPECT_EQ(get_int(t, 2), -1);
    EXPECT_EQ(get_int(t, 3), 3);
    clear_range(t, 0, 100);
    EXPECT_EQ(get_int(t, 3), -1);
    EXPECT_EQ(record(t).live_count + record(t).occupied, 0);
}

TEST_F(Hashtable, MapKeepsOneEntryPerKey) {
    Cell b = block_of({word("a", TYPE_SET_WORD), integer_cell(1), word("b", TYPE_SET_WORD), integer_cell(2),
                       word("a", TYPE_SET_WORD), integer_cell(3), text("k"), integer_cell(4),
                       text("K"), integer_cell(5)});
    NodeId t = kept_table(make(5, Kind::map_index, &b));
    EXPECT_EQ(memory::series_of(b.s2)->length(), 8u);
    EXPECT_EQ(get(t, word("a")), 0);
    EXPECT_EQ(at(t, 1).i32(), 3);
    EXPECT_EQ(get(t, text("K"), {.mode = Mode::strict}), 6);
    EXPECT_EQ(get(t, text("K")), 4);

    remove(t, 2);
    EXPECT_EQ(at(t, 3).header, 0u);
    EXPECT_EQ(get(t, word("b")), 2);  // the key stays in its bucket
    EXPECT_EQ(record(t).live_count, 3);
    // Putting the key again takes its old entry back.
    *memory::alloc_tail_cell(b.s2) = word("b", TYPE_SET_WORD);
    *memory::alloc_tail_cell(b.s2) = integer_cell(9);
    put_all(t, 8, 2);
    EXPECT_EQ(memory::series_of(b.s2)->length(), 8u);
    EXPECT_EQ(at(t, 3).i32(), 9);
    EXPECT_EQ(record(t).live_count, 4);
}

// The preparer lets go of a value made before the map's block, so that in the stress build its
// allocation moves the block.
TEST_F(Hashtable, AMapKeyPreparerMayAllocate) {
    static int32_t below;
    below = value_slots::store(loose_text("made before the block"));
    set_map_key_preparer([](Cell*, Cell* value) {
        value_slots::release(below);
        *value = text("prepared");
    });
    Cell b = block_of({text("k"), integer_cell(1), text("l"), integer_cell(2)});
    NodeId t = kept_table(make(2, Kind::map_index, &b));
    set_map_key_preparer(nullptr);
    for (uint32_t value : {1u, 3u}) EXPECT_TRUE(keys_equal(at(t, value), text("prepared"), Mode::strict)) << value;
}

TEST_F(Hashtable, MapGrowthKeepsRemovedEntriesInTheirBuckets) {
    Cell b = block_of({});
    NodeId t = kept_table(make(1, Kind::map_index, &b));
    for (int32_t i = 0; i < 200; ++i) {
        *memory::alloc_tail_cell(b.s2) = integer_cell(i);
        *memory::alloc_tail_cell(b.s2) = integer_cell(-i);
        put_all(t, uint32_t(2 * i), 2);
        if (i % 3 == 0) remove(t, uint32_t(2 * i));
    }
    EXPECT_EQ(record(t).live_count, 133);
    for (int32_t i = 0; i < 200; ++i) ASSERT_EQ(get_int(t, i), 2 * i);
}

TEST_F(Hashtable, NodeKeyedEntriesSurviveGrowth) {
    std::vector<NodeId> keys;
    for (int i = 0; i < 500; ++i) keys.push_back(kept_node());
    NodeId t = kept_table(make_node_table(2, 2));
    for (NodeId key : keys) {
        Cell* values = put_key(t, key);
        values[0] = integer_cell(int32_t(key));
        values[1] = integer_cell(-int32_t(key));
    }
    for (size_t i = 0; i < keys.size(); i += 2) ASSERT_NE(remove_key(t, keys[i]), nullptr);
    EXPECT_EQ(remove_key(t, keys[0]), nullptr);
    EXPECT_EQ(get_key(t, keys[0]), nullptr);
    for (size_t i = 1; i < keys.size(); i += 2) {
        Cell* values = get_key(t, keys[i]);
        ASSERT_NE(values, nullptr);
        ASSERT_EQ(values[1].i32(), -int32_t(keys[i]));
    }
    Cell* again = put_key(t, keys[1]);
    EXPECT_TRUE(again[0].is(TYPE_UNSET));
    clear(t);
    EXPECT_EQ(get_key(t, keys[3]), nullptr);
}

TEST_F(Hashtable, SweepDropsEntriesOfUnmarkedNodes) {
    NodeId kept = kept_node(), dropped = kept_node(), owner = kept_node();
    NodeId t = kept_table(make_node_table(8, 3, Kind::ownership));
    put_key(t, kept)[1] = make_cell(TYPE_OBJECT, owner);
    put_key(t, dropped)[1] = make_cell(TYPE_OBJECT, owner);
    put_key(t, owner)[1] = make_cell(TYPE_OBJECT, dropped);
    for (NodeId n : {kept, owner}) memory::set_flags(n, SERIES_MARK);
    sweep(t);
    EXPECT_NE(get_key(t, kept), nullptr);
    EXPECT_EQ(get_key(t, dropped), nullptr);
    EXPECT_EQ(get_key(t, owner), nullptr);  // its owner was not marked
}

TEST_F(Hashtable, ACopyIsIndependentOfItsSource) {
    Cell b = block_of({integer_cell(1), integer_cell(1), integer_cell(2)});
    NodeId t = kept_table(make(3, Kind::hash_index, &b));
    NodeId c = kept_table(copy(t, b.s2));
    remove(c, 0);
    remove(c, 2);
    EXPECT_EQ(get_int(c, 1), 1);
    EXPECT_EQ(get_int(c, 2), -1);
    EXPECT_EQ(get_int(t, 1), 0);
    EXPECT_EQ(get_int(t, 2), 2);
}

// A map table keeps the hash of each key beside its bucket: a copy must keep its own, or growing
// one would rewrite the other's.
TEST_F(Hashtable, ACopiedMapGrowsApartFromItsSource) {
    Cell b = block_of({text("k"), integer_cell(1)});
    NodeId t = kept_table(make(1, Kind::map_index, &b));
    Cell copied = block_of({text("k"), integer_cell(1)});
    NodeId c = kept_table(copy(t, copied.s2));
    for (int32_t i = 0; i < 100; ++i) {
        Cell key = text(std::to_string(i));
        *memory::alloc_tail_cell(copied.s2) = key;
        *memory::alloc_tail_cell(copied.s2) = integer_cell(i);
        put_all(c, uint32_t(2 + 2 * i), 2);
    }
    for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(get(c, text(std::to_string(i))), 2 + 2 * i) << i;
    EXPECT_EQ(get(c, text("K")), 0);
    EXPECT_EQ(get(t, text("K")), 0);
    EXPECT_EQ(get(t, text("0")), -1);
}

TEST_F(Hashtable, TypesCanBringTheirOwnKeyLogic) {
    KeyOps by_sign{[](const Cell& c) { return uint32_t(c.i32() < 0); },
                   [](const Cell& a, const Cell& b, Mode) { return (a.i32() < 0) == (b.i32() < 0); }};
    const KeyOps saved = key_ops_of(TYPE_PAIR);
    set_key_ops(TYPE_PAIR, by_sign);
    Cell b = block_of({make_cell(TYPE_PAIR, 0, uint32_t(-5)), make_cell(TYPE_PAIR, 0, 3)});
    NodeId t = kept_table(make(2, Kind::hash_index, &b));
    EXPECT_EQ(get(t, make_cell(TYPE_PAIR, 0, uint32_t(-1))), 0);
    EXPECT_EQ(get(t, make_cell(TYPE_PAIR, 0, 8)), 1);
    set_key_ops(TYPE_PAIR, saved);
}

TEST_F(Hashtable, TheFirstSpellingStaysFirstAcrossGrowth) {
    NodeId t = kept_table(make(1, Kind::words));
    const NodeId context = kept_node();  // any node: the words only carry it
    int32_t position = -1;
    for (std::string_view name : {"abc", "ABC"}) get_ctx_word(t, symbol::make(name), false, context, &position);
    for (int i = 0; i < 300; ++i) get_ctx_word(t, symbol::make(std::to_string(i) + "w"), false, context, &position);
    EXPECT_GT(record(t).bucket_count, 8);
    EXPECT_EQ(get_ctx_word(t, symbol::make("Abc"), true), 0);
    EXPECT_EQ(get_ctx_word(t, symbol::make("ABC"), false), 1);
    EXPECT_EQ(get_ctx_word(t, symbol::make("Abc"), false), -1);
    EXPECT_EQ(at(t, 1).s1, context);
}
