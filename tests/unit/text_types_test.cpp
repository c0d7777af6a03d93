// tag!, email! and ref! through the interpreter, so that the stress build collects at each
// allocation of the email paths, which read one value while they make another; and the error an
// action gives for a type that registered no handler for it.
#include "tests/unit/natives_fixture.hpp"

using namespace vyn;
using vyn::testing_support::NativesTest;

namespace {

class TextTypes : public NativesTest {};

}  // namespace

TEST_F(TextTypes, EmailPartsAreReadIntoNewStringsAndSetInPlace) {
    const MoldCase cases[] = {
        {"e: foo@bar.com reduce [e/user e/host]", "[\"foo\" \"bar.com\"]"},
        {"e: foo@bar.com e/user: \"joe\" e/host: 'example.org e", "joe@example.org"},
        {"e: next foo@bar.com reduce [e/user e/host]", "[\"oo\" \"bar.com\"]"},
        {"e: to email! \"nobody\" e/host: \"x\" reduce [e e/user e/host]", "[nobody@x \"nobody\" \"x\"]"},
        {"mold reduce [<a b=\"c\"> @ref]", "{[<a b=\"c\"> @ref]}"},
        {"form <b>", "\"<b>\""},
    };
    expect_molds(cases);
}

TEST_F(TextTypes, AnActionATypeDoesNotOfferNamesTheCallAndItsArgument) {
    EXPECT_EQ(error_of("e: foo@bar.com e/x"), err::invalid_path);
    EXPECT_EQ(error_of("append @abc \"d\""), err::expect_arg);
    EXPECT_EQ(arg_text(0), "append");
    EXPECT_EQ(arg_text(1), "ref");  // a datatype forms without its "!"
    EXPECT_EQ(arg_text(2), "series");
    EXPECT_EQ(error_of("trim <b>"), err::expect_arg);
    EXPECT_EQ(arg_text(2), "series");
}
