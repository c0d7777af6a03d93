// unset!, none!, logic! and datatype!: text forms, conversions, comparison codes, the truth
// tests, none's answers to series actions, and logic's bitwise actions and random truth.
#include <cmath>

#include "core/random.hpp"
#include "core/stack.hpp"
#include "datatypes/word.hpp"
#include "handler_fixture.hpp"

using namespace vyn;
using namespace vyn::testing_handlers;

namespace {

class Logic : public HandlerTest {};

void expect_logic(const Cell& c, bool expected) {
    EXPECT_EQ(c.type(), TYPE_LOGIC);
    EXPECT_EQ(logic::get(&c), expected);
}

}  // namespace

TEST_F(Logic, TextForms) {
    struct Case {
        Cell value;
        const char* form;
        const char* mold;
        const char* mold_all;
    } cases[] = {
        {unset_cell(), "", "unset", "#(unset)"},
        {none_cell(), "none", "none", "#(none)"},
        {logic_cell(true), "true", "true", "#(true)"},
        {logic_cell(false), "false", "false", "#(false)"},
        {datatype_cell(TYPE_INTEGER), "integer", "integer!", "#(integer!)"},
        {datatype_cell(TYPE_DATATYPE), "datatype", "datatype!", "#(datatype!)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formed(c.value), c.form);
        EXPECT_EQ(molded(c.value), c.mold);
        EXPECT_EQ(molded(c.value, true), c.mold_all);
    }
}

TEST_F(Logic, ComparisonCodes) {
    using namespace datatype;
    Cell t = logic_cell(true), f = logic_cell(false);
    EXPECT_EQ(compared(t, t, CMP_EQUAL), 0);
    EXPECT_EQ(compared(t, f, CMP_SORT), 1);
    EXPECT_EQ(compared(f, t, CMP_SORT_CASE), -1);
    EXPECT_EQ(compared(t, f, CMP_LESSER), -2);
    EXPECT_EQ(compared(t, integer_cell(1), CMP_EQUAL), -2);

    for (const Cell& v : {unset_cell(), none_cell()}) {
        for (int op : {CMP_EQUAL, CMP_NOT_EQUAL, CMP_STRICT_EQUAL, CMP_SORT, CMP_SORT_CASE, CMP_SAME,
                       CMP_FIND})
            EXPECT_EQ(compared(v, v, op), 0) << op;
        EXPECT_EQ(compared(v, v, CMP_GREATER), -2);
        EXPECT_EQ(compared(v, logic_cell(false), CMP_EQUAL), -2);
    }
    EXPECT_EQ(compared(unset_cell(), none_cell(), CMP_EQUAL), -2);

    Cell integer = datatype_cell(TYPE_INTEGER);
    EXPECT_EQ(compared(integer, integer, CMP_STRICT_EQUAL), 0);
    EXPECT_EQ(compared(integer, datatype_cell(TYPE_LOGIC), CMP_EQUAL), 1);
    EXPECT_EQ(compared(integer, integer_cell(TYPE_INTEGER), CMP_FIND), 1);
    EXPECT_EQ(compared(integer, integer, CMP_SORT), -2);
}

TEST_F(Logic, MakeReadsNumbersWhereToOnlyRefusesNoneAndFalse) {
    struct Case {
        Cell spec;
        bool made, converted;
    } cases[] = {
        {integer_cell(0), false, true},
        {integer_cell(-7), true, true},
        {float_cell(0.0), false, true},
        {float_cell(-0.0, TYPE_PERCENT), false, true},
        {float_cell(std::nan("")), true, true},
        {none_cell(), false, false},
        {logic_cell(false), false, false},
        {logic_cell(true), true, true},
        {unset_cell(), true, true},
        {datatype_cell(TYPE_NONE), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "spec type " << int(c.spec.type()));
        expect_logic(made(TYPE_LOGIC, c.spec), c.made);
        expect_logic(converted(TYPE_LOGIC, c.spec), c.converted);
    }
    EXPECT_EQ(made(TYPE_NONE, integer_cell(1)).type(), TYPE_NONE);
    EXPECT_EQ(converted(TYPE_UNSET, integer_cell(1)).type(), TYPE_UNSET);
}

TEST_F(Logic, BitwiseActionsNeedLogicOperands) {
    Cell t = logic_cell(true), f = logic_cell(false);
    expect_logic(apply<A_AND_T>(t, f), false);
    expect_logic(apply<A_AND_T>(t, t), true);
    expect_logic(apply<A_OR_T>(f, t), true);
    expect_logic(apply<A_XOR_T>(t, t), false);
    expect_logic(apply<A_COMPLEMENT>(f), true);
    expect_logic(apply<A_COMPLEMENT>(t), false);

    expect_expect_arg(raised([&] { apply<A_OR_T>(t, integer_cell(1)); }), "or~", TYPE_INTEGER, "value2");
}

TEST_F(Logic, RandomTruthIsAnEvenChanceFromBothSources) {
    for (bool secure : {false, true}) {
        int trues = 0;
        for (int i = 0; i < 4000; ++i) {
            Cell v = logic_cell(false);
            trues += logic::get(datatype::handler<A_RANDOM>(TYPE_LOGIC)(&v, false, secure, false));
        }
        EXPECT_NEAR(trues, 2000, 200) << (secure ? "secure" : "generator");
    }
    Cell seed = logic_cell(true);
    EXPECT_EQ(datatype::handler<A_RANDOM>(TYPE_LOGIC)(&seed, true, false, false)->type(), TYPE_UNSET);
    int32_t first = random::next();
    random::seed(1);
    EXPECT_EQ(random::next(), first);
}

TEST_F(Logic, NoneAnswersSeriesActionsWithNone) {
    Cell none = none_cell();
    EXPECT_EQ(datatype::handler<A_LENGTH_Q>(TYPE_NONE)(&none), -1);
    FindArgs find{};
    EXPECT_EQ(datatype::handler<A_FIND>(TYPE_NONE)(&none, &none, find)->type(), TYPE_NONE);
    EXPECT_EQ(datatype::handler<A_SELECT>(TYPE_NONE)(&none, &none, find)->type(), TYPE_NONE);
    EXPECT_EQ(datatype::handler<A_CLEAR>(TYPE_NONE)(&none)->type(), TYPE_NONE);
    EXPECT_EQ(datatype::handler<A_REMOVE>(TYPE_NONE)(&none, nullptr, nullptr)->type(), TYPE_NONE);
    EXPECT_EQ(datatype::handler<A_TAKE>(TYPE_NONE)(&none, nullptr, false, true)->type(), TYPE_NONE);
    EXPECT_FALSE(datatype::supports(TYPE_NONE, A_APPEND));
    EXPECT_FALSE(datatype::supports(TYPE_UNSET, A_LENGTH_Q));
    EXPECT_FALSE(datatype::supports(TYPE_DATATYPE, A_MAKE));
}

TEST_F(Logic, TruthTests) {
    Cell t = logic_cell(true), f = logic_cell(false), none = none_cell(), unset = unset_cell();
    Cell zero = integer_cell(0), name = word::load("x");
    EXPECT_TRUE(logic::true_q(&t));
    EXPECT_TRUE(logic::true_q(&zero));
    EXPECT_TRUE(logic::true_q(&unset));
    EXPECT_FALSE(logic::true_q(&f));
    EXPECT_FALSE(logic::true_q(&none, true, &name));
    RaisedError e = raised([&] { logic::true_q(&unset, true, &name); });
    EXPECT_EQ(e.code, err::no_value);
    EXPECT_EQ(word_text(e.args.at(0)), "x");

    stack::init();
    stack::mark(stack::FRAME_NATIVE, 0);
    unset::push_last();
    EXPECT_EQ(raised([] { logic::top_true_q(); }).code, err::no_return);
    logic::box(false);
    EXPECT_TRUE(logic::top_false_q());
    EXPECT_TRUE(logic::last_false_q());  // nothing pushed: the result cell is the last
    logic::push(true);
    EXPECT_FALSE(logic::last_false_q());
    none::push();
    EXPECT_TRUE(logic::last_false_q());
    none::push_last();
    EXPECT_FALSE(logic::top_true_q());
    stack::reset_all();
}
