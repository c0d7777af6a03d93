// The ownership table: binding and unbinding (self-containing blocks, nested objects, objects
// that own their own series), the check that tells an owner's on-deep-change* about a change
// by action word and then by past form, and entries dropped when their series dies.
#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/rooted.hpp"
#include "object_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_objects;

namespace {

class Ownership : public ObjectTest {
protected:
    static bool owned(const Cell& series) { return memory::series_of(series.s2)->flags & SERIES_OWNED; }
    static const Cell* entry(const Cell& series) { return hashtable::get_key(ownership::table(), series.s2); }
    static std::string entry_word(const Cell& series) { return name_of(entry(series)[2]); }
    static Cell field(const Cell& o, uint32_t i) { return *object::value_at(object::context_of(o), i); }

    // An object whose on-deep-change* stores what it hears in globals.
    static Cell watched(const Cell& value) {
        Cell spec = block({word("owner"), word("word"), word("target"), word("action"), word("new"), word("index"),
                           word("part")});
        Cell body = block({set_word("heard-word"), word("word"), set_word("heard-action"), word("action"),
                           set_word("heard-new"), word("new"), set_word("heard-index"), word("index"),
                           set_word("heard-part"), word("part")});
        set_global("deep", func(spec, body));
        set_global("value", value);
        return make_object(block({set_word("s"), word("value"), set_word("on-deep-change*"),
                                  word("deep", TYPE_GET_WORD)}));
    }
};

TEST_F(Ownership, AnOwnerHearsTheActionWordThenItsPastForm) {
    Cell o = watched(text("abc"));
    EXPECT_TRUE(object::on_deep(o));
    Cell s = field(o, 0);
    ASSERT_TRUE(owned(s));
    EXPECT_EQ(entry_word(s), "s");
    Cell x = text("x");
    EXPECT_TRUE(ownership::before(s, ownership::Change::append, &x, 3, 1));
    EXPECT_EQ(name_of(global("heard-action")), "append");
    EXPECT_EQ(name_of(global("heard-word")), "s");
    EXPECT_EQ(formed(global("heard-new")), "x");
    EXPECT_EQ(global("heard-index").i32(), 3);
    EXPECT_EQ(global("heard-part").i32(), 1);
    EXPECT_TRUE(ownership::after(s, ownership::Change::append, nullptr, 3, 1));
    EXPECT_EQ(name_of(global("heard-action")), "appended");
    EXPECT_TRUE(global("heard-new").is(TYPE_NONE));
    EXPECT_TRUE(ownership::after(s, ownership::Change::swap, nullptr, 0, 1));
    EXPECT_EQ(name_of(global("heard-action")), "swaped");
    EXPECT_EQ(stack::top, stack::bottom);

    Cell loose = text("y");
    EXPECT_FALSE(ownership::before(loose, ownership::Change::clear, nullptr, 0, 1));
}

TEST_F(Ownership, AnOwnerWithoutHandlersIsNeverTold) {
    Cell o = make_object(block({set_word("s"), text("abc")}));
    Cell f = word("owner"), none = none_cell();
    Cell target = o;
    object::modify(&target, &f, &none, false);
    Cell s = field(o, 0);
    EXPECT_TRUE(owned(s));
    EXPECT_TRUE(context::context_cell(object::context_of(o)).has_flag(object::FLAG_CONTEXT_OWNER));
    EXPECT_FALSE(ownership::check(s, words::append, nullptr, 0, 0));
}

TEST_F(Ownership, ABlockThatContainsItselfBindsAndUnbinds) {
    Cell b = block({integer(1)});
    block::vs_append(&b, &b);
    Cell o = watched(b);
    Cell kept = field(o, 0);
    EXPECT_TRUE(owned(kept));
    ASSERT_NE(ownership::owner_of(kept.s2), nullptr);
    EXPECT_EQ(ownership::owner_of(kept.s2)->s1, object::context_of(o));
    ownership::unbind(o);  // an object that owns its own series keeps them
    EXPECT_TRUE(owned(kept));
    ownership::unbind(kept);
    EXPECT_FALSE(owned(kept));
    EXPECT_EQ(ownership::owner_of(kept.s2), nullptr);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Ownership, NestedObjectsLendTheirWordsUnlessTheyOwnThemselves) {
    Cell inner = make_object(block({set_word("t"), text("in")}));
    Cell self_owning = make_object(block({set_word("u"), text("own")}));
    Cell f = word("owner"), none = none_cell(), target = self_owning;
    object::modify(&target, &f, &none, false);
    Cell list = block({inner, self_owning});
    Cell o = watched(list);
    Cell t = field(inner, 0);
    EXPECT_TRUE(owned(t));
    EXPECT_EQ(entry_word(t), "t");
    EXPECT_EQ(ownership::owner_of(t.s2)->s1, object::context_of(o));
    Cell u = field(self_owning, 0);
    EXPECT_EQ(ownership::owner_of(u.s2)->s1, object::context_of(self_owning));
}

TEST_F(Ownership, BindingAnOwnedBlockAgainReachesNewCells) {
    Cell o = watched(block({}));
    Cell list = field(o, 0);
    Cell added = text("later");
    block::vs_append(&list, &added);
    EXPECT_FALSE(owned(added));
    ownership::bind(list, o, object::get_field(object::context_of(o), 0));
    EXPECT_TRUE(owned(added));
    ownership::unbind_range(list, 0, 1);
    EXPECT_FALSE(owned(added));
    EXPECT_TRUE(owned(list));
}

TEST_F(Ownership, ModifyOwnedGivesAndTakesAnOwner) {
    Cell owner = watched(none_cell());
    Cell o = make_object(block({set_word("v"), text("abc")}));
    Cell f = word("owned"), spec = block({owner, word("slot")}), target = o;
    object::modify(&target, &f, &spec, false);
    Cell v = field(o, 0);
    EXPECT_EQ(ownership::owner_of(v.s2)->s1, object::context_of(owner));
    EXPECT_EQ(entry_word(v), "v");  // an object's series are reached through its own words
    Cell none = none_cell();
    target = o;
    object::modify(&target, &f, &none, false);
    EXPECT_EQ(ownership::owner_of(v.s2), nullptr);
}

TEST_F(Ownership, TheTableForgetsSeriesThatDied) {
    collector::init();
    Rooted o(watched(block({text("a"), text("b")})));
    Cell list = field(*o, 0);
    Cell a = item(list, 0);
    EXPECT_TRUE(owned(a));
    int32_t before = hashtable::record(ownership::table()).live_count;
    set_global("value", none_cell());
    *object::value_at(object::context_of(*o), 0) = none_cell();
    collector::collect();
    EXPECT_EQ(hashtable::record(ownership::table()).live_count, before - 3);
    memory::set_collect_hook(nullptr);
}

}  // namespace
