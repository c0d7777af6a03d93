// The calendar routines under every date: day numbers, their inverse over negative years, leap
// years and zone offsets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "datatypes/date.hpp"

using namespace vyn;

TEST(DateDays, DayNumbersCountFromTheFirstOfMarchOfYearZero) {
    EXPECT_EQ(date::to_days(0, 3, 1), 0);
    EXPECT_EQ(date::to_days(0, 2, 29), -1);
    EXPECT_EQ(date::to_days(1970, 1, 1) - date::to_days(1969, 12, 31), 1);
    EXPECT_EQ(date::to_days(2021, 1, 1) - date::to_days(2020, 1, 1), 366);
    EXPECT_EQ(date::to_days(1901, 1, 1) - date::to_days(1900, 1, 1), 365);
    // A day past its month carries into the next one.
    EXPECT_EQ(date::to_days(2021, 2, 31), date::to_days(2021, 3, 3));
}

TEST(DateDays, DayNumbersAndDateWordsAreInversesAcrossYearZero) {
    for (int64_t days = date::to_days(-2001, 1, 1); days <= date::to_days(2401, 12, 31); ++days) {
        uint32_t word = date::from_days(days, 0, false);
        ASSERT_EQ(date::to_days(word), days) << days;
        ASSERT_GE(date::day_of(word), 1);
        ASSERT_LE(date::day_of(word), date::days_in_month(date::year_of(word), date::month_of(word))) << days;
    }
    uint32_t word = date::from_days(date::to_days(-44, 3, 15), 0, false);
    EXPECT_EQ(date::year_of(word), -44);
    EXPECT_EQ(date::month_of(word), 3);
    EXPECT_EQ(date::day_of(word), 15);
}

TEST(DateDays, LeapYears) {
    struct Case {
        int32_t year;
        bool leap;
    } cases[] = {{2000, true}, {1900, false}, {2024, true}, {2023, false}, {0, true}, {-4, true}, {-100, false}};
    for (const Case& c : cases) EXPECT_EQ(date::leap_year(c.year), c.leap) << c.year;
}

TEST(DateZones, ZoneBitsHoldSignHoursAndQuarters) {
    struct Case {
        int32_t hours, minutes;
        bool west;
        double offset;
    } cases[] = {
        {2, 0, false, 7200}, {5, 45, false, 20700}, {5, 0, true, -18000}, {0, 30, true, -1800}, {3, 50, true, -13500},
    };
    for (const Case& c : cases) EXPECT_EQ(date::zone_offset(date::zone_bits(c.hours, c.minutes, c.west)), c.offset);
}

TEST(DateNow, TheCurrentDateCarriesTheSystemZoneAndTheSameInstant) {
    struct Case {
        const char* tz;
        double winter, summer;
    } cases[] = {{"UTC", 0, 0}, {"Asia/Kathmandu", 20700, 20700}, {"America/St_Johns", -12600, -9000}};
    const char* saved = std::getenv("TZ");
    std::string previous = saved ? saved : "";
    for (const Case& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        Cell now;
        date::now(&now, true);
        int64_t expected = int64_t(std::time(nullptr));
        EXPECT_TRUE(date::has_time(now.s1));
        EXPECT_NEAR(double(date::to_epoch(now)), double(expected), 2.0) << c.tz;
        double local = now.f64() + date::zone_offset(date::zone_of(now.s1));
        EXPECT_GE(local, 0.0);
        EXPECT_LT(local, date::SECONDS_PER_DAY);
        double offset = date::zone_offset(date::zone_of(now.s1));
        EXPECT_TRUE(offset == c.winter || offset == c.summer) << c.tz << " " << offset;
    }
    if (saved) setenv("TZ", previous.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST(DateParts, FileDatesAreUtcWithTheFractionOfTheSecond) {
    Cell stamp;
    date::make_from_parts(&stamp, 2024, 1, 15, 10, 30, 5, 500000000);
    EXPECT_TRUE(date::has_time(stamp.s1));
    EXPECT_EQ(date::zone_of(stamp.s1), 0u);
    EXPECT_EQ(date::to_days(stamp.s1), date::to_days(2024, 1, 15));
    EXPECT_DOUBLE_EQ(stamp.f64(), 10 * 3600 + 30 * 60 + 5.5);
}
