// The collector: what the roots keep (argument stack, rooted cells, call frames), what dies
// (unreachable blocks, handles, whole frames), compaction moving live buffers under their nodes,
// cycles and deep nesting, hash! tables across a cycle, and collections started by allocation.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/externals.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/value_slots.hpp"
#include "datatypes/block.hpp"
#include "eval/interp.hpp"
#include "startup/startup.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;

namespace {

class Collector : public testing::Test {
protected:
    void SetUp() override {
        testing_runtime::start({"memory", "externals", "stack", "symbols", "global-context", "value-slots"});
        collector::init();
        collector::add_root(interp::mark_roots);
        collector::add_root(block::mark_holder);
    }
    void TearDown() override {
        collector::set_enabled(false);
        memory::set_collect_hook(nullptr);
    }
};

Cell text(std::string_view utf8) {
    NodeId node = unicode::load_utf8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), 0, 0);
    return unicode::string_cell(node);
}

std::string text_of(const Cell& string) {
    Series* s = memory::series_of(string.s2);
    return {reinterpret_cast<const char*>(s->head_ptr()), s->used_bytes()};
}

Cell new_block(uint32_t room = 4) { return make_cell(TYPE_BLOCK, 0, memory::alloc_cells(room), 0); }

Cell& at(const Cell& block, uint32_t i) { return memory::series_of(block.s2)->cells()[i]; }
uint32_t length(const Cell& block) { return memory::series_of(block.s2)->length(); }

// The block must be rooted by the caller; the value is rooted here while the block grows.
void append(const Cell& block, const Cell& value) {
    Rooted kept(value);
    *memory::alloc_tail_cell(block.s2) = *kept;
}

uint32_t nodes_used() { return memory::stats().nodes_used; }
bool freed(NodeId node) { return node >= memory::node_limit() || memory::node_is_free(node); }

// Unreachable blocks of strings, made before what a test keeps so that it has to move down.
void make_garbage(int count) {
    for (int i = 0; i < count; ++i) {
        Rooted b(new_block(2));
        append(*b, text("garbage " + std::to_string(i)));
    }
}

std::vector<uintptr_t> released;
void record_release(uintptr_t handle) { released.push_back(handle); }

NodeId extra = 0;
std::vector<bool> marked_when_swept;
void mark_extra() { collector::mark_node(extra); }
void sweep_extra() { marked_when_swept.push_back(collector::is_marked(extra)); }

NodeId weak = 0;
void mark_weak() { collector::mark_buffer(weak); }

}  // namespace

TEST_F(Collector, UnreachableHandlesAreReleasedOnceReachableOnesKept) {
    released.clear();
    int kind = externals::register_kind("font", record_release);
    int32_t dead = externals::store(0xDEAD, kind);
    int32_t live = externals::store(0x1FE, kind);
    stack::push(make_cell(TYPE_HANDLE, 0, 0, uint32_t(live)));

    collector::collect();
    collector::collect();
    EXPECT_EQ(released, std::vector<uintptr_t>{0xDEAD});
    EXPECT_EQ(externals::handle_of(dead), 0u);
    EXPECT_EQ(externals::handle_of(live), 0x1FEu);
    EXPECT_TRUE(externals::mark(live));  // the cycle left it unmarked
    collector::collect();
    EXPECT_EQ(released.size(), 1u);
}

TEST_F(Collector, RootsKeepValuesAndTheRestIsFreed) {
    uint32_t base = nodes_used();
    stack::push(text("on the stack"));
    uint32_t with_stack_value = nodes_used();
    {
        Rooted kept(text("rooted"));
        make_garbage(50);
        collector::collect();
        EXPECT_EQ(nodes_used(), with_stack_value + 1);
        EXPECT_EQ(text_of(*kept), "rooted");
        EXPECT_EQ(text_of(*stack::last()), "on the stack");
    }
    collector::collect();
    EXPECT_EQ(nodes_used(), with_stack_value);
    stack::pop(1);
    collector::collect();
    EXPECT_EQ(nodes_used(), base);
}

TEST_F(Collector, FixedRootsSurviveWithTheirContents) {
    Cell word = context::add_global(symbol::make("answer"));
    context::set(word, text("forty-two"));
    int32_t slot = value_slots::store(text("kept slot"));
    interp::current_code = new_block();
    append(interp::current_code, text("code"));
    *block::holder() = new_block();
    append(*block::holder(), text("held"));
    make_garbage(100);

    collector::collect();
    EXPECT_EQ(text_of(context::get_global(symbol::make("answer"))), "forty-two");
    EXPECT_EQ(text_of(*value_slots::get(slot)), "kept slot");
    EXPECT_EQ(text_of(at(interp::current_code, 0)), "code");
    EXPECT_EQ(text_of(at(*block::holder(), 0)), "held");
    EXPECT_EQ(symbol::name(symbol::make("answer")), "answer");
}

TEST_F(Collector, FrameContextsAndSavedValuesAreRoots) {
    Cell spec = *stack::push(new_block());
    append(spec, make_cell(TYPE_WORD, 0, symbol::make("x"), uint32_t(-1)));
    NodeId word_context = context::make_from_spec(spec, false, false, context::Kind::object);
    NodeId function_context = context::make_from_spec(spec, false, false, context::Kind::function);
    uint32_t saved = context::context_cell(function_context).s2;
    stack::mark(stack::FRAME_FUNCTION, 0, word_context, function_context, saved);
    context::context_cell(function_context).s2 = 0;  // as while the frame's own values are elsewhere
    uint32_t used = nodes_used();
    make_garbage(20);

    collector::collect();
    EXPECT_EQ(nodes_used(), used);
    EXPECT_EQ(memory::series_of(saved)->node, saved);
    stack::reset_all();
}

TEST_F(Collector, CompactionMovesLiveBuffersUnderTheirNodes) {
    make_garbage(200);
    Cell b = new_block();
    for (int i = 0; i < 3; ++i) append(b, text("item " + std::to_string(i)));
    stack::push(b);
    const Series* before = memory::series_of(b.s2);

    collector::collect();
    EXPECT_NE(memory::series_of(b.s2), before);
    EXPECT_EQ(memory::series_of(b.s2)->node, b.s2);
    ASSERT_EQ(length(b), 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(text_of(at(b, i)), "item " + std::to_string(i));
    append(b, text("after"));  // the moved buffer still grows in place
    EXPECT_EQ(text_of(at(b, 3)), "after");
}

TEST_F(Collector, NoBufferKeepsTheMarkAndEveryNodeFindsItsBuffer) {
    Rooted all(new_block());
    append(*all, text("small"));
    append(*all, make_cell(TYPE_BINARY, 0, memory::alloc_bytes(3 << 20), 0));  // a big frame
    Cell fixed;
    block::make_fixed_at(&fixed, 4, true);  // on the tracked heap
    append(*all, fixed);
    append(*all, *all);
    make_garbage(100);

    collector::collect();
    for (NodeId n = 1; n < memory::node_limit(); ++n) {
        if (memory::node_is_free(n)) continue;
        Series* s = memory::series_of(n);
        EXPECT_EQ(s->flags & SERIES_MARK, 0u) << "node " << n;
        EXPECT_EQ(s->node, n);
    }
}

TEST_F(Collector, ACyclicBlockSurvivesThenDies) {
    uint32_t base = nodes_used();
    {
        Rooted self(new_block());
        append(*self, *self);
        append(*self, text("inside"));
        collector::collect();
        EXPECT_EQ(at(*self, 0).s2, self->s2);
        EXPECT_EQ(text_of(at(*self, 1)), "inside");
    }
    collector::collect();
    EXPECT_EQ(nodes_used(), base);
}

TEST_F(Collector, AMillionNestedBlocksAreMarkedWithoutRecursion) {
    constexpr int DEPTH = 1000000;
    uint32_t base = nodes_used();
    Rooted outer(new_block(1));
    for (int i = 0; i < DEPTH; ++i) {
        Cell inner = new_block(1);
        append(inner, *outer);
        *outer = inner;
    }
    collector::collect();
    EXPECT_EQ(nodes_used(), base + DEPTH + 1);
    *outer = none_cell();
    collector::collect();
    EXPECT_EQ(nodes_used(), base);
}

TEST_F(Collector, AHashKeepsAUsableTable) {
    make_garbage(100);
    Cell data = new_block(8);
    Rooted hash(make_cell(TYPE_HASH, 0, data.s2, 0));
    for (const char* key : {"alpha", "beta", "gamma"}) append(*hash, text(key));
    hash->s3 = hashtable::make(8, hashtable::Kind::hash_index, hash.get());

    collector::collect();
    EXPECT_EQ(hashtable::get(hash->s3, text("beta")), 1);
    append(*hash, text("delta"));
    hashtable::put(hash->s3, 3);
    collector::collect();
    EXPECT_EQ(hashtable::get(hash->s3, text("delta")), 3);
    EXPECT_EQ(hashtable::get(hash->s3, text("gamma")), 2);
    EXPECT_EQ(hashtable::get(hash->s3, text("omega")), -1);
}

TEST_F(Collector, RootMarkersAndSweepersRunInTheirPlace) {
    marked_when_swept.clear();
    extra = memory::alloc_bytes(16);
    collector::add_root(mark_extra);
    collector::add_root(mark_extra);  // one entry
    collector::add_sweeper(sweep_extra);
    collector::collect();
    EXPECT_EQ(marked_when_swept, std::vector<bool>{true});
    EXPECT_FALSE(freed(extra));

    collector::remove_root(mark_extra);
    marked_when_swept.clear();
    collector::collect();
    EXPECT_EQ(marked_when_swept, std::vector<bool>{false});
    EXPECT_TRUE(freed(extra));
    collector::remove_sweeper(sweep_extra);
}

TEST_F(Collector, AWeakMarkKeepsTheBufferButNotWhatItsCellsReach) {
    Rooted table(new_block());
    append(*table, text("only in a weak table"));
    NodeId entry_text = at(*table, 0).s2;
    weak = table->s2;
    *table = none_cell();
    collector::add_root(mark_weak);
    collector::collect();
    collector::remove_root(mark_weak);
    EXPECT_FALSE(freed(weak));
    EXPECT_TRUE(freed(entry_text));
}

// Emptied frames stay mapped for the allocations to come, their pages touched already, but only
// up to what is carved before the next collection (the 4 MiB floor here): the rest go back.
TEST_F(Collector, EmptiedFramesStayMappedOnlyUpToTheAllowance) {
    make_garbage(120000);  // several frames of nothing but garbage
    uint32_t frames = memory::stats().series_frames;
    ASSERT_GT(frames, 4u);
    collector::collect();
    memory::FrameInfo info[64];
    int n = memory::series_frame_info(info, 64);
    EXPECT_LT(uint32_t(n), frames);
    uint64_t kept_empty = 0;
    for (int i = 0; i + 1 < n; ++i)
        if (info[i].used == 0) kept_empty += info[i].total;
    EXPECT_GT(kept_empty, 0u);
    EXPECT_LE(kept_empty, uint64_t(4) << 20);
}

// Once a large heap is dropped, the next collection gives its frames back: the frames kept follow
// what survives that collection, not the allowance the large heap had.
TEST_F(Collector, ADroppedHeapGoesBackAtTheNextCollection) {
    Rooted kept(new_block());
    for (int i = 0; i < 200000; ++i) append(*kept, text("kept for a while " + std::to_string(i)));
    collector::collect();
    uint64_t large = memory::stats().total_bytes;
    ASSERT_GT(large, uint64_t(16) << 20);
    *kept = none_cell();
    collector::collect();
    EXPECT_LT(memory::stats().total_bytes, large / 2);
}

TEST_F(Collector, AllocationCollectsOnlyWhenEnabled) {
    make_garbage(60000);
    EXPECT_EQ(collector::figures().cycles, 0u);
    collector::set_enabled(true);
    Rooted kept(new_block());
    for (int i = 0; i < 200000; ++i) {
        Cell s = text("short-lived " + std::to_string(i));
        if (i % 1000 == 0) append(*kept, s);  // rooted before anything else allocates
    }
    collector::Figures f = collector::figures();
    EXPECT_GT(f.cycles, 0u);
    EXPECT_LE(f.bytes_after, f.bytes_before);
    ASSERT_EQ(length(*kept), 200u);
    for (uint32_t i = 0; i < 200; ++i) EXPECT_EQ(text_of(at(*kept, i)), "short-lived " + std::to_string(i * 1000));
    EXPECT_LT(memory::stats().series_frames, 8u);
}

TEST_F(Collector, CollectionsInsideAllocationKeepRootedValues) {
    static int cycles = 0;
    cycles = 0;
    memory::set_collect_hook([] {
        ++cycles;
        collector::collect();
    });
    Rooted kept(new_block(1));
    for (int i = 0; i < 300; ++i) {
        Rooted inner(new_block(1));
        append(*inner, text(std::to_string(i)));
        append(*kept, *inner);
        make_garbage(1);
        memory::alloc_bytes(2 << 20);  // a big frame always collects first
    }
    EXPECT_GE(cycles, 300);
    ASSERT_EQ(length(*kept), 300u);
    for (uint32_t i = 0; i < 300; ++i) EXPECT_EQ(text_of(at(at(*kept, i), 0)), std::to_string(i));
    EXPECT_LE(memory::stats().big_frames, 1u);
}

// Keeping one value in ten while the rest is dropped: the mapped heap never grows far beyond
// what is live, however rarely a frame runs out of room.
TEST_F(Collector, AllocationKeepsTheHeapNearTheLiveData) {
#ifdef VYN_GC_STRESS
    GTEST_SKIP() << "collects at every allocation";
#endif
    collector::set_enabled(true);
    Rooted kept(new_block());
    uint64_t peak = 0;
    for (int i = 0; i < 200000; ++i) {
        Rooted record(new_block());
        append(*record, text("record number " + std::to_string(i) + std::string(40, '.')));
        Rooted inner(new_block(8));
        append(*record, *inner);
        if (i % 10 == 0) append(*kept, *record);
        uint64_t mapped = memory::stats().total_bytes;
        if (mapped > peak) peak = mapped;
    }
    collector::collect();
    uint64_t live = memory::bytes_in_use();
    ASSERT_GT(live, uint64_t(6) << 20);  // well above the floor below which nothing collects
    EXPECT_LT(peak, 3 * live) << "peak " << peak << " live " << live;
}
