#include "settings/TKTimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr std::time_t kWinter = 1705320000; // 2024-01-15 12:00 UTC
constexpr std::time_t kSummer = 1719835200; // 2024-07-01 12:00 UTC

// Each case sets TZ; the value the test runner had is put back afterwards.
class SystemTimeZone : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
    }
    void TearDown() override
    {
        m_old ? ::setenv("TZ", m_old->c_str(), 1) : ::unsetenv("TZ");
        tzset();
    }
    // Named zones need tzdata; POSIX rule strings do not.
    static bool haveZone(const char* zone)
    {
        return std::string(zone).find('/') == std::string::npos || std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone);
    }

private:
    std::optional<std::string> m_old;
};

} // namespace

TEST(TimeZone, OffsetsAndTextsFollowTheCamerasList)
{
    const std::pair<long, int32_t> offsets[] = {
        { 0, 14 }, { 9 * 3600, 28 }, { 5 * 3600 + 30 * 60, 22 }, { -(4 * 3600 + 30 * 60), 8 },
        { -(3 * 3600 + 30 * 60), 10 }, { 5 * 3600 + 45 * 60, 23 }, { 8 * 3600 + 45 * 60, -1 },
        { -12 * 3600, 0 }, { 13 * 3600, 33 }, { 14 * 3600, -1 }, { -30 * 60, -1 },
    };
    for (const auto& [seconds, index] : offsets)
        EXPECT_EQ(TKTimeZoneIndexForOffset(seconds), index) << seconds;
    EXPECT_EQ(TKTimeZoneText(0), "-12:00");
    EXPECT_EQ(TKTimeZoneText(8), "-04:30");
    EXPECT_EQ(TKTimeZoneText(14), "00:00");
    EXPECT_EQ(TKTimeZoneText(23), "+05:45");
    EXPECT_EQ(TKTimeZoneText(33), "+13:00");
    EXPECT_EQ(TKTimeZoneText(34), "");
}

TEST_F(SystemTimeZone, FollowsTZAtTheGivenMoment)
{
    struct Case {
        const char* zone;
        std::time_t at;
        int32_t index;
    };
    const Case cases[] = {
        { "UTC0", kWinter, 14 },
        { "XST-14", kWinter, -1 }, // POSIX signs are reversed: UTC+14
        { "IST-5:30", kWinter, 22 },
        { "Asia/Kathmandu", kWinter, 23 },
        { "Australia/Eucla", kWinter, -1 }, // +8:45
        { "CET-1CEST,M3.5.0,M10.5.0/3", kWinter, 15 },
        { "CET-1CEST,M3.5.0,M10.5.0/3", kSummer, 16 }, // daylight saving time in force
        { "NST3:30NDT,M3.2.0,M11.1.0", kWinter, 10 }, // -3:30
        { "America/St_Johns", kSummer, -1 }, // -2:30
        { "Australia/Sydney", kWinter, 31 }, // +11 in the southern summer
    };
    for (const Case& c : cases) {
        if (!haveZone(c.zone))
            continue;
        ::setenv("TZ", c.zone, 1);
        EXPECT_EQ(TKSystemTimeZoneIndex(c.at), c.index) << c.zone << " at " << c.at;
    }
    // The present moment, with TZ changed between two calls.
    ::setenv("TZ", "UTC0", 1);
    EXPECT_EQ(TKSystemTimeZoneIndex(), 14);
    ::setenv("TZ", "JST-9", 1);
    EXPECT_EQ(TKSystemTimeZoneIndex(), 28);
}
