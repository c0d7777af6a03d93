// typeset!: making from blocks of datatypes and words, the text forms in type id order, listing
// as a block, equality and order, the bitwise and set operations, membership, and the typesets
// that start-up gives to global words.
#include <vector>

#include "core/context.hpp"
#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/series.hpp"
#include "datatypes/typeset.hpp"
#include "tests/unit/word_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_handlers;

namespace {

class Typeset : public WordTest {
protected:
    void SetUp() override { start_words({"series!", "string!", "float!", "percent!", "typeset!"}); }

    static Cell block_of(std::initializer_list<Cell> cells) {
        Cell& b = testing_gc::kept(make_cell(TYPE_BLOCK));
        block::make_at(&b, int64_t(cells.size()));
        for (const Cell& c : cells) block::vs_append(&b, &c);
        return b;
    }
    static Cell typeset_of(std::initializer_list<Cell> cells) { return made(TYPE_TYPESET, block_of(cells)); }
    // A global word set to a value.
    static Cell word_for(const char* name, const Cell& value) {
        Cell w = word::load(name);
        word::set(w, value, true);
        return w;
    }
    static Cell found(const Cell& ts, const Cell& value) {
        Cell result = ts;
        return *datatype::handler<A_FIND>(TYPE_TYPESET)(&result, &value, FindArgs{});
    }
    static std::vector<int> members(const Cell& ts) {
        Rooted b(make_cell(TYPE_BLOCK));
        block::make_at(b.get(), 4);
        typeset::to_block(ts, b.get());
        std::vector<int> types;
        for (uint32_t i = 0; i < block::vs_length(b.get()); ++i) {
            const Cell* c = block::vs_abs_at(b.get(), i);
            EXPECT_TRUE(c->is(TYPE_DATATYPE));
            types.push_back(int(c->s1));
        }
        return types;
    }
};

const Cell integer_type = datatype_cell(TYPE_INTEGER);
const Cell float_type = datatype_cell(TYPE_FLOAT);
const Cell string_type = datatype_cell(TYPE_STRING);

TEST_F(Typeset, TextFormsListNamesInTypeIdOrder) {
    Cell numbers = typeset_of({float_type, integer_type});
    EXPECT_EQ(molded(numbers), "make typeset! [integer! float!]");
    EXPECT_EQ(formed(numbers), "integer! float!");
    EXPECT_EQ(molded(typeset::empty()), "make typeset! []");
    EXPECT_EQ(formed(typeset::empty()), "");
    // Bits without a registered datatype are never listed.
    EXPECT_EQ(formed(typeset::of({0, TYPE_INTEGER, TYPE_EVENT, 95})), "integer!");
}

TEST_F(Typeset, APartLimitStopsBeforeTheNextName) {
    Cell& out = testing_gc::kept(string::make(0));
    Cell part = integer_cell(8);
    Cell ts = typeset::of({TYPE_LOGIC, TYPE_INTEGER, TYPE_FLOAT});
    int32_t left = datatype::handler<A_FORM>(TYPE_TYPESET)(&ts, &out, &part, 8);
    EXPECT_EQ(string::to_utf8(&out), "logic! integer!");
    EXPECT_EQ(left, 8 - 15);
}

TEST_F(Typeset, MakeReadsDatatypesTypesetsAndWordsNamingThem) {
    Cell number = word_for("number!", typeset::named::number);
    Cell ts = typeset_of({word_for("string!", string_type), number, datatype_cell(TYPE_LOGIC)});
    EXPECT_EQ(members(ts), (std::vector<int>{TYPE_LOGIC, TYPE_STRING, TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}));
    EXPECT_EQ(made(TYPE_TYPESET, ts).s1, ts.s1);
    Cell converted_block = converted(TYPE_TYPESET, block_of({float_type, integer_type}));
    EXPECT_EQ(compared(converted_block, typeset::of({TYPE_INTEGER, TYPE_FLOAT}), CMP_EQUAL), 0);
}

TEST_F(Typeset, MakeRefusesOtherValues) {
    RaisedError e = raised([&] { typeset_of({integer_type, integer_cell(1)}); });
    EXPECT_EQ(e.code, err::invalid_arg);
    EXPECT_EQ(e.args.at(0).i32(), 1);
    e = raised([&] { typeset_of({word_for("not-a-type", integer_cell(2))}); });
    EXPECT_EQ(e.code, err::invalid_arg);
    EXPECT_EQ(word_text(e.args.at(0)), "not-a-type");

    e = raised([&] { converted(TYPE_TYPESET, integer_type); });
    EXPECT_EQ(e.code, err::bad_to_arg);
    ASSERT_EQ(e.args.size(), 2u);
    EXPECT_EQ(e.args[0].s1, TYPE_TYPESET);
    EXPECT_EQ(e.args[1].s1, TYPE_INTEGER);
}

TEST_F(Typeset, SpecBlocksPassNestedBlocksAndTakeAWordHoldingAWordAsWord) {
    Cell named_word = word_for("holds-word", word::load("anything"));
    Cell spec = block_of({integer_type, block_of({string_type}), named_word});
    EXPECT_EQ(members(typeset::from_spec(spec)), (std::vector<int>{TYPE_INTEGER, TYPE_WORD}));

    RaisedError e = raised([&] { typeset::from_spec(block_of({integer_cell(4)})); });
    EXPECT_EQ(e.code, err::invalid_type_spec);
    EXPECT_EQ(e.args.at(0).i32(), 4);
}

TEST_F(Typeset, ToBlockListsDatatypesInTypeIdOrder) {
    EXPECT_EQ(members(typeset_of({float_type, integer_type})), (std::vector<int>{TYPE_INTEGER, TYPE_FLOAT}));
    EXPECT_TRUE(members(typeset::empty()).empty());
}

TEST_F(Typeset, FindTellsMembershipOfADatatype) {
    Cell ts = typeset_of({integer_type});
    Cell absent = found(ts, string_type), present = found(ts, integer_type);
    EXPECT_EQ(absent.header, uint32_t(TYPE_LOGIC));
    EXPECT_EQ(absent.s1, 0u);
    EXPECT_EQ(present.header, uint32_t(TYPE_LOGIC));
    EXPECT_EQ(present.s1, 1u);
    RaisedError e = raised([&] { found(ts, integer_cell(1)); });
    EXPECT_EQ(e.code, err::invalid_arg);
    EXPECT_EQ(e.args.at(0).i32(), 1);
}

TEST_F(Typeset, EqualByBitsOrderedByMemberCount) {
    Cell a = typeset_of({integer_type, float_type}), b = typeset_of({float_type, integer_type});
    Cell c = typeset_of({string_type});
    EXPECT_EQ(compared(a, b, CMP_EQUAL), 0);
    EXPECT_EQ(compared(a, b, CMP_SAME), 0);
    EXPECT_EQ(compared(a, c, CMP_STRICT_EQUAL), 1);
    EXPECT_EQ(compared(c, a, CMP_SORT), -1);
    EXPECT_EQ(compared(a, c, CMP_SORT_CASE), 1);
    EXPECT_EQ(compared(a, b, CMP_SORT), 0);
    EXPECT_EQ(compared(a, c, CMP_LESSER), -2);
    EXPECT_EQ(compared(a, integer_type, CMP_EQUAL), -2);
}

TEST_F(Typeset, BitwiseActionsTakeTypesetsOrOneDatatype) {
    Cell numbers = typeset_of({integer_type, float_type});
    Cell strings = typeset_of({string_type, float_type});
    EXPECT_EQ(members(apply<A_OR_T>(typeset_of({float_type}), integer_type)),
              (std::vector<int>{TYPE_INTEGER, TYPE_FLOAT}));
    EXPECT_EQ(members(apply<A_OR_T>(numbers, strings)), (std::vector<int>{TYPE_STRING, TYPE_INTEGER, TYPE_FLOAT}));
    EXPECT_EQ(members(apply<A_AND_T>(numbers, strings)), (std::vector<int>{TYPE_FLOAT}));
    EXPECT_EQ(members(apply<A_XOR_T>(numbers, strings)), (std::vector<int>{TYPE_STRING, TYPE_INTEGER}));
    RaisedError e = raised([&] { apply<A_AND_T>(numbers, text("x")); });
    EXPECT_EQ(e.code, err::invalid_arg);

    struct Case {
        typeset::SetOp op;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {typeset::SET_UNION, {TYPE_STRING, TYPE_INTEGER, TYPE_FLOAT}},
        {typeset::SET_INTERSECT, {TYPE_FLOAT}},
        {typeset::SET_DIFFERENCE, {TYPE_STRING, TYPE_INTEGER}},
        {typeset::SET_EXCLUDE, {TYPE_INTEGER}},
        {typeset::SET_UNIQUE, {TYPE_INTEGER, TYPE_FLOAT}},
    };
    for (const Case& c : cases) {
        Cell first = numbers;
        EXPECT_EQ(members(*typeset::combine(&first, &strings, c.op)), c.expected) << c.op;
    }
}

TEST_F(Typeset, TheDefaultTypesetLacksOnlyUnset) {
    Cell all = typeset::default_types();
    for (uint32_t t = 1; t < TYPE_COUNT; ++t) EXPECT_EQ(typeset::has(all, t), t != TYPE_UNSET) << t;
    Cell complement = apply<A_COMPLEMENT>(all);
    EXPECT_EQ(members(complement), (std::vector<int>{TYPE_UNSET}));
    EXPECT_EQ(typeset::count(complement), 1u);
}

// Whether every member of `part` is in `whole`.
bool within(const Cell& part, const Cell& whole) {
    return (part.s1 & ~whole.s1) == 0 && (part.s2 & ~whole.s2) == 0 && (part.s3 & ~whole.s3) == 0;
}

TEST_F(Typeset, NamedTypesetsNestAsStartUpGivesThem) {
    namespace named = typeset::named;
    struct Nesting {
        const Cell& part;
        const Cell& whole;
    };
    const Nesting nestings[] = {
        {named::number, named::scalar},        {named::any_point, named::scalar},
        {named::planar, named::scalar},        {named::any_word, named::all_word},
        {named::all_word, named::immediate},   {named::scalar, named::immediate},
        {named::any_path, named::any_block},   {named::any_list, named::any_block},
        {named::any_block, named::series},     {named::any_string, named::series},
        {named::series, named::default_},      {named::immediate, named::default_},
        {named::any_object, named::default_},  {named::external, named::default_},
        {named::any_function, named::default_},
    };
    for (const Nesting& n : nestings) EXPECT_TRUE(within(n.part, n.whole)) << formed(n.part);
    for (uint32_t t : {TYPE_UNSET, TYPE_SYMBOL, TYPE_CONTEXT, TYPE_SERIES})
        EXPECT_FALSE(typeset::has(named::default_, t)) << t;
    EXPECT_TRUE(typeset::has(named::default_, TYPE_MAP) && typeset::has(named::default_, TYPE_BITSET));
    Cell any_type = typeset::unite({named::default_, named::internal});
    EXPECT_EQ(compared(named::any_type, any_type, CMP_EQUAL), 0);
}

}  // namespace
