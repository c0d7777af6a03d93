// Contexts: getting and setting through bound words, deep binding (self-containing and too deeply
// nested blocks included), case variants sharing one value, function contexts with and without a
// frame, object contexts with the assigned flag and the change notifier, and the errors of unbound
// and absent words.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "core/unicode.hpp"
#include "core/unwind.hpp"
#include "startup/startup.hpp"
#include "tests/unit/collection_stress.hpp"
#include "tests/unit/runtime_start.hpp"

using namespace vyn;
using namespace vyn::context;

namespace {

class Context : public testing_runtime::GlobalContextTest {};

Cell word(std::string_view name, TypeId type = TYPE_WORD) {
    return make_cell(type, 0, symbol::make(name), uint32_t(-1));
}

// Blocks, contexts and tables made here are kept for the rest of the test.
Cell block_of(std::initializer_list<Cell> cells, TypeId type = TYPE_BLOCK) {
    Cell& b = testing_gc::kept(make_cell(type, 0, memory::alloc_cells(cells.size() + 1), 0));
    for (const Cell& c : cells) *memory::alloc_tail_cell(b.s2) = c;
    return b;
}

NodeId kept(NodeId context) { return testing_gc::kept(make_cell(TYPE_OBJECT, context)).s1; }
NodeId kept_table(NodeId table) { return testing_gc::kept(make_cell(TYPE_HASH, 0, 0, table)).s3; }

// A new string that nothing roots once it is returned: a callee it is handed to must.
Cell loose_text(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    return unicode::string_cell(unicode::load_utf8(bytes, utf8.size(), 0, 0));
}

std::string text_of(const Cell& string) {
    unicode::Text t = unicode::text_of(string);
    return {reinterpret_cast<const char*>(t.units), t.count};
}

std::string numbered(std::string_view prefix, int n) {
    std::string name(prefix);
    name += std::to_string(n);
    return name;
}

Cell& at(const Cell& block, uint32_t i) { return memory::series_of(block.s2)->cells()[i]; }

// Moves every buffer of the series frames and scribbles over its old place, as a compacting
// collection may at any allocation. The stress build, whose every allocation collects, runs a
// collection instead.
void move_every_buffer() {
    if (testing_gc::STRESS_BUILD) return collector::collect();
    const NodeId limit = memory::node_limit();
    for (NodeId n = 1; n < limit; ++n) {
        Series* s = memory::node_table[n];
        if (!s || (reinterpret_cast<uintptr_t>(s) & 1) || (s->flags & SERIES_LOCATION) || s->capacity == 0) continue;
        uint8_t* old = s->data();
        uint32_t bytes = s->capacity;
        memory::expand_copy(n, bytes);
        memory::fill(old, old + bytes, 0xDD);
    }
}

// Moves every buffer at each allocation that would collect; the stress build keeps its collector.
struct MovingBuffers {
    MovingBuffers() {
        if (!testing_gc::STRESS_BUILD) memory::set_collect_hook(move_every_buffer);
    }
    ~MovingBuffers() {
        if (!testing_gc::STRESS_BUILD) memory::set_collect_hook(nullptr);
    }
};

template <class F>
err::Code error_of(F f) {
    try {
        f();
    } catch (const Unwind&) {
        return last_raw_error();
    }
    return err::Code(0);
}

}  // namespace

TEST_F(Context, SetThenGetThroughABoundWord) {
    Cell x = add_global(symbol::make("x"));
    set(x, integer_cell(42));
    Cell b = block_of({word("x"), word("y")});
    bind(b, global(), false);
    EXPECT_EQ(get(at(b, 0))->i32(), 42);
    EXPECT_EQ(int32_t(at(b, 1).s3), -1);  // absent words stay as they were
    EXPECT_EQ(get_global(symbol::make("x")).i32(), 42);
    EXPECT_EQ(get_value_in(symbol::make("X"), global())->i32(), 42);
}

TEST_F(Context, BindingReachesIntoNestedBlocks) {
    NodeId obj = kept(make_from_spec(block_of({word("a"), word("b"), word("c")}), false, false, Kind::object));
    Cell issue = word("a", TYPE_ISSUE);
    Cell inner = block_of({word("c", TYPE_GET_WORD), issue});
    Cell path = block_of({word("b"), inner}, TYPE_PATH);
    Cell outer = block_of({word("a", TYPE_SET_WORD), block_of({path}, TYPE_PAREN)});
    bind(outer, obj, false);
    EXPECT_EQ(at(outer, 0).s1, obj);
    EXPECT_EQ(at(path, 0).s1, obj);
    EXPECT_EQ(at(path, 0).s3, 1u);
    EXPECT_EQ(at(inner, 0).s1, obj);
    EXPECT_EQ(at(inner, 0).s3, 2u);
    EXPECT_EQ(at(inner, 1).s1, 0u);  // issues keep their binding
}

TEST_F(Context, ABlockHoldingItselfBindsOnce) {
    NodeId obj = kept(make_from_spec(block_of({word("a")}), false, false, Kind::object));
    Cell b = block_of({word("a"), none_cell()});
    at(b, 1) = b;
    bind(b, obj, false);
    EXPECT_EQ(at(b, 0).s1, obj);
}

TEST_F(Context, NestingDeeperThan999RaisesTooDeep) {
    auto nested = [](int depth) {
        Cell b = block_of({word("a")});
        for (int i = 1; i < depth; ++i) b = block_of({b});
        return b;
    };
    EXPECT_EQ(error_of([&] { bind(nested(999), global(), false); }), err::Code(0));
    EXPECT_EQ(error_of([&] { bind(nested(1000), global(), false); }), err::too_deep);
}

TEST_F(Context, CaseVariantsShareOneValue) {
    NodeId obj = kept(make_from_spec(block_of({word("abc")}), false, false, Kind::object));
    Cell b = block_of({word("abc"), word("ABC"), word("Abc", TYPE_SET_WORD)});
    bind(b, obj, false);
    EXPECT_EQ(at(b, 0).s3, at(b, 1).s3);
    EXPECT_EQ(at(b, 0).s3, at(b, 2).s3);
    set(at(b, 2), integer_cell(5));
    EXPECT_EQ(get(at(b, 0))->i32(), 5);

    Cell lower = add_global(symbol::make("Tag"));
    Cell upper = add_global(symbol::make("TAG"));
    EXPECT_EQ(symbol::name(upper.s2), "TAG");
    EXPECT_NE(upper.s2, lower.s2);
    set(upper, integer_cell(7));
    EXPECT_EQ(get(lower)->i32(), 7);
    Cell kept = add_global_word(symbol::make("tAG"), true, true);
    EXPECT_EQ(symbol::name(kept.s2), "tAG");
    EXPECT_EQ(get(kept)->i32(), 7);
}

TEST_F(Context, UnboundAndMissingWordsRaise) {
    EXPECT_EQ(error_of([] { get(word("nowhere")); }), err::no_value);
    Cell in_global = word("nowhere");
    in_global.s1 = global();
    EXPECT_EQ(error_of([&] { get(in_global); }), err::no_value);
    EXPECT_EQ(error_of([] { get_value_in(symbol::make("absent"), global()); }), err::not_defined);
}

TEST_F(Context, FunctionValuesLiveOnTheArgumentStack) {
    Cell spec = block_of({word("arg"), word("ref", TYPE_REFINEMENT)});
    NodeId fn = kept(make_from_spec(spec, true, false, Kind::function));
    Cell b = block_of({word("arg"), word("ref")});
    bind(b, fn, false);
    EXPECT_EQ(error_of([&] { get(at(b, 0)); }), err::not_in_context);
    EXPECT_EQ(error_of([&] { set(at(b, 0), integer_cell(1)); }), err::not_defined);
    EXPECT_EQ(word_count(fn), 2u);

    std::vector<Cell> arguments(8, unset_cell());
    stack::cells = arguments.data();
    set_stack_frame(fn, 5);
    set(at(b, 1), integer_cell(3));
    EXPECT_EQ(arguments[6].i32(), 3);
    EXPECT_EQ(error_of([&] { set_in(word("local"), integer_cell(1), fn, false); }), err::not_defined);
    EXPECT_EQ(word_count(fn), 2u);
    EXPECT_EQ(get(at(b, 1))->i32(), 3);
    // Without a values block, a lookup by symbol answers from the global context.
    EXPECT_EQ(error_of([] { get_value_in(symbol::make("arg"), global()); }), err::not_defined);
    Cell global_arg = add_global(symbol::make("arg"));
    EXPECT_EQ(get_value_in(symbol::make("arg"), fn), get(global_arg));
    set_stack_frame(fn, -1);
    stack::cells = nullptr;
}

TEST_F(Context, ObjectAssignmentsAreMarkedAndNotified) {
    static std::vector<int32_t> heard;
    heard.clear();
    set_change_notifier([](const Cell&, const Cell&, const Cell& old_value, const Cell& new_value) {
        heard.push_back(old_value.i32());
        heard.push_back(new_value.i32());
    });
    NodeId obj = kept(make_from_spec(block_of({word("f")}), false, true, Kind::object));
    Cell f = word("f");
    bind_word(obj, f);
    set_in(f, integer_cell(1), obj, true);
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(memory::series_of(words(obj))->cells()[0].has_flag(FLAG_WORD_ASSIGNED));
    NodeId on_set = block_of({}).s2;
    owner(obj) = make_cell(TYPE_OBJECT, obj, 0, on_set);
    set_in(f, integer_cell(2), obj, true);
    set_in(f, integer_cell(3), obj, false);
    EXPECT_EQ(heard, (std::vector<int32_t>{1, 2}));
    set_change_notifier(nullptr);

    Cell body = block_of({word("self"), word("f")});
    bind(body, obj, true);
    EXPECT_EQ(get(at(body, 0))->s3, on_set);
    Cell plain = block_of({word("self")});
    bind(plain, obj, false);
    EXPECT_EQ(error_of([&] { get(at(plain, 0)); }), err::no_value);
}

TEST_F(Context, SettingAnUnlookedWordAddsIt) {
    NodeId obj = kept(create(0, false, false, 0, Kind::object));
    set_in(word("fresh"), integer_cell(4), obj, false);
    set_in(word("FRESH"), integer_cell(6), obj, false);
    EXPECT_EQ(word_count(obj), 1u);
    EXPECT_EQ(get_value_in(symbol::make("fresh"), obj)->i32(), 6);
    set_integer(obj, word("other"), 8);
    EXPECT_EQ(get_value_in(symbol::make("other"), obj)->i32(), 8);

    Cell code = block_of({word("a", TYPE_SET_WORD), word("b"), word("c", TYPE_SET_WORD), word("a", TYPE_SET_WORD)});
    EXPECT_TRUE(collect_set_words(obj, code));
    EXPECT_FALSE(collect_set_words(obj, code));
    EXPECT_EQ(word_count(obj), 4u);
    add_if_new(obj, word("c"), integer_cell(1));
    add_if_new(obj, word("d"), integer_cell(2));
    EXPECT_TRUE(get_value_in(symbol::make("c"), obj)->is(TYPE_UNSET));
    EXPECT_EQ(get_value_in(symbol::make("d"), obj)->i32(), 2);
}

// In the stress build each new word collects while the context grows; the notifier's own
// allocations collect too, while the replaced value is held by nothing but the notification.
TEST_F(Context, HandedOverValuesSurviveTheGrowthTheyCause) {
    NodeId obj = kept(create(1, false, false, 0, Kind::object));
    for (int i = 0; i < 20; ++i) {
        const Cell w = word(numbered("w", i));
        set_in(w, loose_text(numbered("set ", i)), obj, false);
        const Cell v = word(numbered("v", i));
        add_or_set(obj, v, loose_text(numbered("added ", i)));
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(text_of(*get_value_in(symbol::make(numbered("w", i)), obj)), numbered("set ", i));
        EXPECT_EQ(text_of(*get_value_in(symbol::make(numbered("v", i)), obj)), numbered("added ", i));
    }

    static std::vector<std::string> heard;
    heard.clear();
    set_change_notifier([](const Cell&, const Cell&, const Cell& old_value, const Cell& new_value) {
        Rooted fresh(loose_text("made while notified"));
        heard.push_back(text_of(old_value) + " -> " + text_of(new_value));
    });
    owner(obj) = make_cell(TYPE_OBJECT, obj, 0, block_of({}).s2);
    const Cell w = word("w0");
    set_in(w, loose_text("new"), obj, true);
    set_change_notifier(nullptr);
    EXPECT_EQ(heard, std::vector<std::string>{"set 0 -> new"});
}

// A field takes a plain store only while it is marked assigned and its object unwatched: a plain
// store would neither mark it nor tell a watching owner.
TEST_F(Context, ObjectFieldsTakePlainStoresOnlyOnceAssignedAndUnwatched) {
    NodeId obj = kept(make_from_spec(block_of({word("f")}), false, true, Kind::object));
    Cell f = word("f");
    bind_word(obj, f);
    Cell& listed = memory::series_of(words(obj))->cells()[0];
    listed.clear_flag(FLAG_WORD_ASSIGNED);
    EXPECT_EQ(plain_store_slot(f), nullptr);
    set_in(f, integer_cell(1), obj, true);
    EXPECT_EQ(plain_store_slot(f), get(f));
    owner(obj).s3 = 1;
    EXPECT_EQ(plain_store_slot(f), nullptr);
    owner(obj).s3 = 0;
}

// Global values are reached through a cached address of their block, which every move must
// refresh: the old buffers are overwritten after each move here.
TEST_F(Context, GlobalWordsFollowTheirValuesAcrossMoves) {
    MovingBuffers moving;
    const Cell x = add_global(symbol::make("x"));
    set(x, integer_cell(1));
    for (int i = 0; i < 300; ++i) set(add_global(symbol::make(numbered("g", i))), integer_cell(i));
    EXPECT_EQ(get(x)->i32(), 1);
    move_every_buffer();
    set(x, integer_cell(2));
    move_every_buffer();
    EXPECT_EQ(get(x)->i32(), 2);
    EXPECT_EQ(get(add_global(symbol::make("g299")))->i32(), 299);
    EXPECT_EQ(plain_store_slot(x), get(x));
    owner(global()).s3 = 1;  // a watched context takes no plain stores
    EXPECT_EQ(plain_store_slot(x), nullptr);
    owner(global()).s3 = 0;
}

// After a restart of the memory manager, the node id the global context had may go to any
// context, whose words must then read their own values: here a function's, on the stack.
TEST_F(Context, AnEarlierGlobalContextsNodeIdIsAnOrdinaryContextAfterARestart) {
    const NodeId old_global = global();
    testing_gc::stop_collecting();  // nothing may collect while no global context exists
    NodeId fn = 0;
    for (uint32_t shift = 0; shift < 8 && fn != old_global; ++shift) {
        memory::init();
        symbol::init_table();
        for (uint32_t i = 0; i < shift; ++i) block_of({});
        fn = kept(create(1, true, false, 0, Kind::function));
    }
    ASSERT_EQ(fn, old_global);
    Cell a = word("a");
    add_word(fn, a);
    bind_word(fn, a);
    std::vector<Cell> arguments(2, integer_cell(5));
    stack::cells = arguments.data();
    set_stack_frame(fn, 0);
    EXPECT_EQ(get(a), &arguments[0]);
    set_stack_frame(fn, -1);
    stack::cells = nullptr;
    init_global();
}

TEST_F(Context, ACloneHasItsOwnWordsAndValues) {
    NodeId obj = kept(make_from_spec(block_of({word("p"), word("q")}), false, true, Kind::object));
    Cell object = make_cell(TYPE_OBJECT, obj);
    NodeId copy = kept(clone(object, Kind::object));
    EXPECT_EQ(object.s1, copy);
    EXPECT_NE(copy, obj);
    EXPECT_EQ(word_count(copy), 2u);
    EXPECT_TRUE(context_cell(copy).has_flag(FLAG_CONTEXT_SELF));
    for (uint32_t i = 0; i < 2; ++i) EXPECT_EQ(memory::series_of(words(copy))->cells()[i].s1, copy);
    add_or_set(copy, word("r"), integer_cell(1));
    EXPECT_EQ(word_count(obj), 2u);
    EXPECT_EQ(find_word(copy, symbol::make("R"), true), 2);
    EXPECT_EQ(find_word(copy, symbol::make("R"), false), -1);
}

TEST_F(Context, EverythingSurvivesBuffersMovingAtAllocations) {
    MovingBuffers moving;
    uint32_t first = symbol::make("first");
    uint32_t variant = symbol::make("FIRST");
    Cell fields = block_of({});
    for (int i = 0; i < 40; ++i) *memory::alloc_tail_cell(fields.s2) = word(numbered("f", i), TYPE_SET_WORD);
    NodeId obj = kept(create(0, false, false, 0, Kind::object));
    collect_set_words(obj, fields);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(find_word(obj, symbol::make(numbered("F", i)), true), i);
    move_every_buffer();
    Cell body = block_of({word("f3"), block_of({word("F39")})});
    bind(body, obj, false);
    set(at(body, 0), integer_cell(3));
    Cell inner = at(body, 1);
    set(at(inner, 0), integer_cell(39));
    move_every_buffer();
    EXPECT_EQ(get_value_in(symbol::make("f3"), obj)->i32(), 3);
    EXPECT_EQ(get_value_in(symbol::make("f39"), obj)->i32(), 39);
    EXPECT_EQ(symbol::alias_id(variant), int32_t(first));
    for (int i = 0; i < 300; ++i) add_global(symbol::make(numbered("G", i)));
    EXPECT_EQ(symbol::alias_id(symbol::make("g299")), int32_t(add_global(symbol::make("G299")).s2));

    Rooted text(unicode::string_cell(unicode::load_utf8(reinterpret_cast<const uint8_t*>("ab\xC3\xA9"), 4, 0, 0)));
    unicode::load_utf8(reinterpret_cast<const uint8_t*>("\xF0\x9F\x98\x80"), 4, text->s2, 0);
    EXPECT_EQ(std::string_view(unicode::to_utf8_text(*text)), "ab\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(symbol::name(symbol::make_from_string(*text)), "ab\xC3\xA9\xF0\x9F\x98\x80");

    Cell numbers = block_of({});
    NodeId index = kept_table(hashtable::make(1, hashtable::Kind::hash_index, &numbers));
    NodeId nodes = kept_table(hashtable::make_node_table(1, 1));
    std::vector<NodeId> keys;  // the nodes of empty blocks
    for (int32_t i = 0; i < 200; ++i) {
        keys.push_back(block_of({}).s2);
        *memory::alloc_tail_cell(numbers.s2) = integer_cell(i % 150);
        hashtable::put(index, uint32_t(i));
        *hashtable::put_key(nodes, keys.back()) = integer_cell(i);
    }
    move_every_buffer();
    for (int32_t i = 0; i < 150; ++i) {
        ASSERT_EQ(hashtable::get(index, integer_cell(i)), i);
        ASSERT_EQ(hashtable::get_key(nodes, keys[size_t(i)])->i32(), i);
    }
    EXPECT_EQ(hashtable::get(index, integer_cell(10), {.last = true}), 160);
}
