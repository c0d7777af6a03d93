// The decimal kernel of money! at its limits: packing all 22 digits, the overflow rules of each
// operation at their exact boundaries, rounding at scales other than one unit, and the float and
// integer conversions at their thresholds. Console behaviour is in tests/transcripts/money.vyn;
// the values with currency codes are also run here, where the stress build collects at every
// allocation while a code is looked up in the system's list.
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/money.hpp"
#include "tests/unit/natives_fixture.hpp"
#include "tests/unit/number_fixture.hpp"

using namespace vyn;
using money::Amount;
using money::Magnitude;
using testing_numbers::NumberTest;

namespace {

class MoneyKernelTest : public NumberTest {};

// An amount from its units of 10^-5, written as a decimal text so that it may exceed 64 bits.
Magnitude units(const char* digits) {
    Magnitude m = 0;
    for (const char* c = digits; *c; ++c) m = m * 10 + Magnitude(*c - '0');
    return m;
}

Amount amount(const char* digits, bool negative = false) { return Amount{units(digits), negative, 0}; }

const char* const LARGEST = "9999999999999999999999";  // 99999999999999999.99999

}  // namespace

TEST_F(MoneyKernelTest, PackingKeepsEveryDigitSignAndCurrency) {
    for (const char* digits : {"0", "1", "100000", "1234567890123456789012", LARGEST}) {
        for (bool negative : {false, true}) {
            Amount a{units(digits), negative, 155};
            Amount back = money::unpack(money::pack(a));
            EXPECT_TRUE(back.magnitude == a.magnitude) << digits;
            EXPECT_EQ(back.negative, negative && a.magnitude != 0) << digits;
            EXPECT_EQ(back.currency, 155);
        }
    }
    Cell largest = money::pack(amount(LARGEST));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&largest);
    for (int i = 5; i < 16; ++i) EXPECT_EQ(bytes[i], 0x99) << i;
}

TEST_F(MoneyKernelTest, ANegativeZeroPacksAsZero) {
    Cell zero = money::pack(amount("0", true));
    EXPECT_FALSE(zero.has_flag(money::FLAG_NEGATIVE));
    EXPECT_EQ(money::sign(zero), 0);
    Cell equal = money::pack(amount("0"));
    EXPECT_EQ(std::memcmp(&zero, &equal, sizeof zero), 0);
}

// Decoded bytes come from outside: a nibble above 9 must not make an amount beyond 22 digits.
TEST_F(MoneyKernelTest, DecodedBytesWithNonDecimalNibblesReadAsZeroDigits) {
    uint8_t packed[money::AMOUNT_BYTES] = {0xFF, 0x12, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x45};
    Amount a = money::unpack(money::make_at(true, 47, packed));
    EXPECT_TRUE(a.magnitude == units("12300000000000000045"));
    EXPECT_TRUE(a.negative);
    EXPECT_EQ(a.currency, 47);
    uint8_t zeros[money::AMOUNT_BYTES] = {};
    EXPECT_EQ(money::sign(money::make_at(true, 0, zeros)), 0);
}

TEST_F(MoneyKernelTest, AddOverflowsExactlyPastTheLargestAmount) {
    EXPECT_TRUE(money::add(amount("9999999999999999999998"), amount("1")).magnitude == units(LARGEST));
    EXPECT_EQ(raised([] { money::add(amount(LARGEST), amount("1")); }).code, err::type_limit);
    EXPECT_EQ(raised([] { money::subtract(amount(LARGEST, true), amount("1")); }).code, err::type_limit);
    Amount difference = money::subtract(amount(LARGEST, true), amount(LARGEST, true));
    EXPECT_TRUE(difference.is_zero());
    EXPECT_FALSE(difference.negative);
}

TEST_F(MoneyKernelTest, MultiplyTruncatesTheFractionAndOverflowsPastTheField) {
    struct Case {
        const char* a;
        const char* b;
        const char* product;  // nullptr: overflow
    } cases[] = {
        {"100001", "100001", "100002"},  // 1.00001 squared loses its last digits
        {"33333", "300000", "99999"},    // 0.33333 * 3
        {"1", "1", "0"},                 // 0.00001 squared truncates to zero
        {LARGEST, "100000", LARGEST},    // 28 significant digits together: still allowed
        {LARGEST, "1000000", nullptr},   // 29: refused before multiplying
        {"5000000000000000000000", "200000", nullptr},  // fits the digit rule, not the field
    };
    for (const Case& c : cases) {
        if (c.product) {
            EXPECT_TRUE(money::multiply(amount(c.a), amount(c.b)).magnitude == units(c.product)) << c.a << " " << c.b;
        } else {
            EXPECT_EQ(raised([&] { money::multiply(amount(c.a), amount(c.b)); }).code, err::type_limit) << c.a;
        }
    }
    EXPECT_TRUE(money::multiply(amount("100000", true), amount("100000", true)).negative == false);
}

TEST_F(MoneyKernelTest, DivideKeepsFiveFractionDigitsTowardZero) {
    struct Case {
        const char* a;
        const char* b;
        const char* quotient;  // nullptr: overflow
    } cases[] = {
        {"100000", "300000", "33333"},         // $1 / 3
        {"200000", "300000", "66666"},         // truncated, not rounded
        {"1", "200000", "0"},                  // below the last digit
        {"9999999999999900000", "100000", "9999999999999900000"},
        {LARGEST, "100000", LARGEST},          // 22 - 6 + 6 digits: allowed
        {"9999999999999999900000", "50000", nullptr},  // 22 - 5 + 6 digits: refused
    };
    for (const Case& c : cases) {
        if (c.quotient) {
            EXPECT_TRUE(money::divide(amount(c.a), amount(c.b)).magnitude == units(c.quotient)) << c.a << " " << c.b;
        } else {
            EXPECT_EQ(raised([&] { money::divide(amount(c.a), amount(c.b)); }).code, err::type_limit) << c.a;
        }
    }
    EXPECT_EQ(raised([] { money::divide(amount("1"), amount("0")); }).code, err::zero_divide);
    EXPECT_EQ(raised([] { money::remainder(amount("1"), amount("0")); }).code, err::zero_divide);
}

// The remainder never overflows, whatever the digit counts, and keeps the dividend's sign.
TEST_F(MoneyKernelTest, RemainderIsExactWithTheDividendsSign) {
    EXPECT_TRUE(money::remainder(amount("1000000"), amount("300000")).magnitude == units("100000"));
    Amount r = money::remainder(amount("1000000", true), amount("300000"));
    EXPECT_TRUE(r.magnitude == units("100000") && r.negative);
    EXPECT_TRUE(money::remainder(amount(LARGEST), amount("1")).is_zero());
    EXPECT_TRUE(money::remainder(amount(LARGEST), amount("50000")).magnitude == units("49999"));
}

TEST_F(MoneyKernelTest, RoundingModesAtScalesOtherThanOneUnit) {
    using money::Rounding;
    struct Case {
        const char* value;
        bool negative;
        const char* scale;
        Rounding mode;
        const char* result;
    } cases[] = {
        {"500", false, "1000", Rounding::half_down, "0"},      // $0.005 to $0.01: a true tie
        {"500", false, "1000", Rounding::nearest, "1000"},
        {"500", false, "1000", Rounding::half_ceiling, "1000"},
        {"500", true, "1000", Rounding::half_ceiling, "0"},
        {"650000", false, "500000", Rounding::half_ceiling, "500000"},  // 6.5 by 5: no tie
        {"650000", false, "500000", Rounding::even, "500000"},
        {"750000", false, "500000", Rounding::even, "1000000"},  // 7.5 by 5: tie, 2 fives even
        {"1250000", false, "500000", Rounding::even, "1000000"},
        {"200000", false, "100000", Rounding::ceiling, "200000"},  // a multiple stays
        {"200001", false, "100000", Rounding::ceiling, "300000"},
        {"200001", true, "100000", Rounding::floor, "300000"},
        {"299999", true, "100000", Rounding::down, "200000"},
    };
    for (const Case& c : cases) {
        Amount r = money::round(amount(c.value, c.negative), units(c.scale), c.mode);
        EXPECT_TRUE(r.magnitude == units(c.result)) << c.value << " by " << c.scale << " mode " << int(c.mode);
        EXPECT_EQ(r.negative, c.negative && !r.is_zero()) << c.value;
    }
    EXPECT_EQ(raised([] { money::round(amount(LARGEST), units("100000"), Rounding::ceiling); }).code, err::type_limit);
    EXPECT_TRUE(money::round(amount(LARGEST), units("100000"), Rounding::down).magnitude == units("9999999999999999900000"));
}

TEST_F(MoneyKernelTest, FloatsBecomeAmountsWithinTheirLimits) {
    struct Case {
        double value;
        bool strict;
        const char* units;  // nullptr: refused
    } cases[] = {
        {0.1, true, "10000"},
        {1e-5, true, "1"},
        {9.99e-6, false, nullptr},
        {1.000001, true, nullptr},
        {1.000001, false, "100000"},
        {-2.5, true, "250000"},
        {99999999999999984.0, true, "9999999999999998000000"},  // shortest digits
        {1e17, false, nullptr},
        {std::numeric_limits<double>::infinity(), false, nullptr},
        {std::numeric_limits<double>::quiet_NaN(), false, nullptr},
        {0.0, true, "0"},
    };
    for (const Case& c : cases) {
        std::optional<Amount> a = money::from_float(c.value, c.strict);
        if (!c.units) {
            EXPECT_FALSE(a) << c.value;
            continue;
        }
        ASSERT_TRUE(a) << c.value;
        EXPECT_TRUE(a->magnitude == units(c.units)) << c.value;
        EXPECT_EQ(a->negative, c.value < 0) << c.value;
    }
}

TEST_F(MoneyKernelTest, AmountsBecomeTheNearestDouble) {
    EXPECT_EQ(money::to_float(amount("10000")), 0.1);
    EXPECT_EQ(money::to_float(amount("1", true)), -1e-5);
    EXPECT_EQ(money::to_float(amount(LARGEST)), 99999999999999999.99999);
    EXPECT_EQ(money::to_float(amount("0")), 0.0);
}

TEST_F(MoneyKernelTest, IntegersConvertBothWaysAtTheirLimits) {
    Amount smallest = money::from_integer(std::numeric_limits<int32_t>::min());
    EXPECT_TRUE(smallest.magnitude == units("214748364800000") && smallest.negative);
    EXPECT_EQ(money::to_integer(smallest), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(money::to_integer(amount("214748364799999")), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(money::to_integer(amount("99999", true)), 0);
    EXPECT_EQ(raised([] { money::to_integer(amount("214748364800000")); }).code, err::type_limit);
    EXPECT_EQ(raised([] { money::to_integer(amount("214748364900000", true)); }).code, err::type_limit);
}

TEST_F(MoneyKernelTest, ComparisonOrdersBySignThenMagnitude) {
    EXPECT_EQ(money::compare_amounts(amount("2", true), amount("1", true)), -1);
    EXPECT_EQ(money::compare_amounts(amount("1", true), amount("0")), -1);
    EXPECT_EQ(money::compare_amounts(amount("0", true), amount("0")), 0);
    EXPECT_EQ(money::compare_amounts(amount(LARGEST), amount("9999999999999999999998")), 1);
}

namespace {

using MoneyValues = vyn::testing_support::NativesTest;

}  // namespace

TEST_F(MoneyValues, CurrencyCodesSurviveCollectionsWhileTheyAreLookedUp) {
    const MoneyValues::MoldCase cases[] = {
        {"USD$1'000.25 + $1", "USD$1001.25"},
        {"make money! [eur 12 50]", "EUR$12.00"},
        {"form to money! \"-zmw$1234567.5\"", "\"-ZMW$1'234'567.50\""},
        {"make money! 'Aed", "AED$0.00"},
        {"m: CHF$5 reduce [m/code m/amount]", "[CHF $5.00]"},
        {"sort [USD$2 $1 EUR$3 AED$4]", "[$1.00 AED$4.00 EUR$3.00 USD$2.00]"},
        {"r: random GBP$3 r/code", "GBP"},
    };
    expect_molds(cases);
    EXPECT_EQ(error_of("to money! \"XYZ$1\""), err::bad_to_arg);
}
