#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "core/os/os.hpp"

using namespace vyn;

TEST(Os, ZoneFieldPacksSignHoursAndQuarters) {
    struct Case {
        int minutes;
        uint32_t zone;
    } cases[] = {{345, 0x17}, {-570, 0x66}, {-210, 0x4E}, {0, 0}, {-30, 0x42}, {60, 0x04}};
    for (const Case& c : cases) EXPECT_EQ(os::pack_zone(c.minutes), c.zone) << c.minutes;
}

TEST(Os, LocalDateCarriesTheZoneOfTz) {
    struct Case {
        const char* tz;
        uint32_t zone;
    } cases[] = {{"Asia/Kathmandu", 0x17}, {"Pacific/Marquesas", 0x66}, {"UTC", 0}};
    const char* saved = std::getenv("TZ");
    std::string saved_tz = saved ? saved : "";
    for (const Case& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(os::get_date(false) & 0x7F, c.zone) << c.tz;
    }
    if (saved) setenv("TZ", saved_tz.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST(Os, DateFieldsMatchTheCalendar) {
    uint32_t date = os::get_date(true);
    time_t now = time(nullptr);
    tm parts{};
    gmtime_r(&now, &parts);
    EXPECT_EQ(date >> 17, uint32_t(parts.tm_year + 1900));
    EXPECT_EQ(date >> 12 & 0xF, uint32_t(parts.tm_mon + 1));
    EXPECT_EQ(date & 0x7F, 0u);
}

TEST(Os, EverySleepLastsAtLeastOneMillisecond) {
    struct Case {
        double seconds;
        int32_t ms;
    } cases[] = {{0, 1}, {-5, 1}, {0.0004, 1}, {0.0015, 1}, {0.25, 250}, {NAN, 1}, {1e12, INT32_MAX}};
    for (const Case& c : cases) EXPECT_EQ(os::sleep_milliseconds(c.seconds), c.ms) << c.seconds;

    auto start = std::chrono::steady_clock::now();
    os::sleep(-5);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1));
}

TEST(Os, EnvironmentKeepsUtf8) {
    ASSERT_TRUE(os::set_env("VYN_T", "\xC3\xA9"));
    EXPECT_EQ(os::get_env("VYN_T"), "\xC3\xA9");
    EXPECT_FALSE(os::get_env("VYN_SURELY_NOT_SET_ANYWHERE").has_value());
}

TEST(Os, TimeOfDayIsWithinADay) {
    double coarse = os::get_time(false);
    double fine = os::get_time(true);
    EXPECT_EQ(coarse, std::floor(coarse));
    EXPECT_GE(fine, 0.0);
    EXPECT_LT(fine, 86400.0);
}

TEST(Os, CurrentDirectoryRoundTrips) {
    std::string here = os::get_current_dir();
    ASSERT_FALSE(here.empty());
    EXPECT_TRUE(os::set_current_dir("/"));
    EXPECT_EQ(os::get_current_dir(), "/");
    EXPECT_TRUE(os::set_current_dir(here));
    EXPECT_FALSE(os::set_current_dir("/no/such/dir/here"));
}
