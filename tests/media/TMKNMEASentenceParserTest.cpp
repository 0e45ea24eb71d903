#include "media/TMKNMEASentenceParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr const char* kGGA = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
constexpr const char* kRMC = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";

TEST(TMKNMEAParse, EachSentenceSetsItsFieldsAndKeepsTheOthers)
{
    TMKNMEASentenceParser parser;
    EXPECT_TRUE(parser.parse("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*FF"));
    const TMKGpsData& fix = parser.m_Current;
    EXPECT_EQ(fix.Latitude, static_cast<double>(4807.038f)); // single-precision read
    EXPECT_EQ(fix.NS, 'N');
    EXPECT_EQ(fix.Longitude, 1131.0);
    EXPECT_EQ(fix.EW, 'E');
    EXPECT_EQ(fix.SatelliteUsedCount, 8u);
    EXPECT_EQ(fix.HDOP, static_cast<double>(0.9f));

    parser.clear();
    ASSERT_TRUE(parser.parse("$GPGGA,123519,3351.000,S,15112.000,E,1,08,0.9,545.4,M,46.9,M,,*00"));
    // Receiver start-up garbage: two sentences spliced together.
    EXPECT_TRUE(parser.parse("$GPGGA,123520,3351.100,$G,15112.100,1,1,08,,545.4,M,46.9,M,,*00"));
    EXPECT_EQ(parser.m_Current.NS, 'S');
    EXPECT_EQ(parser.m_Current.EW, 'E');
    EXPECT_EQ(parser.m_Current.Latitude, static_cast<double>(3351.1f));
    EXPECT_EQ(parser.m_Current.HDOP, static_cast<double>(0.9f)); // absent HDOP keeps the old one

    EXPECT_TRUE(parser.parse("$GPGGA,123521,,,,,0,00,,,M,,M,,*00"));
    EXPECT_EQ(parser.m_Current.Latitude, static_cast<double>(3351.1f));
    EXPECT_EQ(parser.m_Current.NS, 'S');

    // RMC sets speed, course and date, in every common precision.
    parser.clear();
    EXPECT_TRUE(parser.parse(kRMC));
    EXPECT_EQ(fix.SpeedOverGround, static_cast<double>(22.4f));
    EXPECT_EQ(fix.CourseOverGround, static_cast<double>(84.4f));
    const _SYSTEMTIME expected{2094, 3, 0, 23, 12, 35, 19, 0};
    EXPECT_EQ(fix.Now, expected);
    // RMC does not read its position fields.
    EXPECT_EQ(fix.Latitude, 0.0);

    // Without a full date the time is kept, and the GSA toggle starts again.
    parser.m_Current.Cnt_GNGSA = true;
    EXPECT_TRUE(parser.parse("$GPRMC,123520.000,V,,,,,,,,,*00"));
    EXPECT_EQ(parser.m_Current.Now, expected);
    EXPECT_FALSE(parser.m_Current.Cnt_GNGSA);

    const struct {
        const char* time;
        bool sets;
        uint16_t milliseconds;
    } cases[] = {{"081530.250", true, 250}, {"081530", true, 0}, {"081530.5", true, 500}, {"081530.25", true, 250},
                 {"081530.00", true, 0},    {"08:15:30", false, 0}, {"0815", false, 0}, {"", false, 0}};
    for (const auto& c : cases) {
        parser.clear();
        const _SYSTEMTIME before{2001, 1, 0, 1, 1, 1, 1, 1};
        parser.m_Current.Now = before;
        EXPECT_TRUE(parser.parse(std::string("$GNRMC,") + c.time + ",A,4807.038,N,01131.000,E,1.0,2.0,071126,,,A*00"));
        const _SYSTEMTIME read{2026, 11, 0, 7, 8, 15, 30, c.milliseconds};
        EXPECT_EQ(parser.m_Current.Now, c.sets ? read : before) << c.time;
    }

    // Malformed and short sentences.
    parser.clear();
    const TMKGpsData before = parser.m_Current;
    EXPECT_FALSE(parser.parse("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_FALSE(parser.parse("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47*47"));
    EXPECT_FALSE(parser.parse("$GPGSA,A,3,05,12,29,,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_FALSE(parser.parse("$GPGSV,3,1,11,03,03,111,00*74"));
    EXPECT_FALSE(parser.parse("$gpgga,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"));
    EXPECT_FALSE(parser.parse(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(parser.parse("*"));
    EXPECT_EQ(parser.m_Current, before);

    parser.clear();
    ASSERT_TRUE(parser.parse(kGGA));
    EXPECT_TRUE(parser.parse("$GPRMC,123519.000,A,4807.038*00"));
    EXPECT_EQ(parser.m_Current.SpeedOverGround, 0.0);
    EXPECT_TRUE(parser.parse("$GPGGA,1,4900.000,N*00"));
    EXPECT_EQ(parser.m_Current.Latitude, 4900.0);
    EXPECT_EQ(parser.m_Current.Longitude, 1131.0);
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,05*00"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GPS, 1u);
    EXPECT_TRUE(parser.parse("$GNGNS*00"));
    EXPECT_TRUE(parser.m_Current.Enable_GNGNS);
    EXPECT_TRUE(parser.parse("$GPRMC*00"));

    // GSA counts GPS and GLONASS in two sentences until GNS takes over;
    // GNGGA sets position and HDOP but not the count.
    parser.clear();
    EXPECT_TRUE(parser.parse("$GNRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,230394,,,A*00"));
    EXPECT_TRUE(parser.parse("$GNGGA,123519,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*00"));
    EXPECT_EQ(parser.m_Current.NS, 'S');
    EXPECT_EQ(parser.m_Current.EW, 'W');
    EXPECT_EQ(parser.m_Current.HDOP, static_cast<double>(0.9f));
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,05,12,29,,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GPS, 3u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 0u); // total changes at the second GSA
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,67,68,,,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GLONASS, 2u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 5u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedAtIndex(0), 67);
    EXPECT_EQ(parser.m_Current.SatelliteUsedAtIndex(2), 0);
    EXPECT_TRUE(parser.m_Current.Enable_GNGSA);
    EXPECT_FALSE(parser.m_Current.Cnt_GNGSA);
    // Once GSA was seen, GPGGA no longer sets the count.
    EXPECT_TRUE(parser.parse(kGGA));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 5u);
    parser.clear();
    EXPECT_EQ(parser.m_Current, TMKGpsData());

    EXPECT_TRUE(parser.parse("$GNGSA,A,3,05,12,,,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_TRUE(parser.m_Current.Cnt_GNGSA);
    // No first channel: the toggle says GLONASS.
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,,70,71,72,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GLONASS, 3u);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 5u);
    // 261 modulo 256 is 5: a GPS satellite.
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,261,,,,,,,,,,,,2.0,0.9,1.8*00"));
    EXPECT_EQ(parser.m_Current.SatelliteUsedAtIndex(0), 5);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount_GPS, 1u);

    parser.clear();
    EXPECT_TRUE(parser.parse("$GNGNS,123519.00,4807.038,N,01131.000,E,AA,14,0.7,545.4,46.9,,*00"));
    EXPECT_TRUE(parser.m_Current.Enable_GNGNS);
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 14u);
    EXPECT_EQ(parser.m_Current.HDOP, static_cast<double>(0.7f));

    const TMKGpsData afterGns = parser.m_Current;
    EXPECT_TRUE(parser.parse("$GNGSA,A,3,05,12,29,,,,,,,,,,2.0,0.9,1.8*00"));
    TMKGpsData withGsa = afterGns;
    withGsa.Enable_GNGSA = true;
    EXPECT_EQ(parser.m_Current, withGsa);

    EXPECT_TRUE(parser.parse(kGGA));
    EXPECT_EQ(parser.m_Current.SatelliteUsedCount, 14u);
    EXPECT_EQ(parser.m_Current.HDOP, static_cast<double>(0.7f));
    EXPECT_EQ(parser.m_Current.Latitude, static_cast<double>(4807.038f));

    // The leading-number rule, the index for a position, and degrees.
    EXPECT_EQ(TMKNmeaFloat(" 12.5xyz"), 12.5f);
    EXPECT_EQ(TMKNmeaFloat("-0.25"), -0.25f);
    EXPECT_EQ(TMKNmeaFloat("+3"), 3.0f);
    EXPECT_EQ(TMKNmeaFloat("abc"), 0.0f);
    EXPECT_EQ(TMKNmeaFloat(""), 0.0f);
    EXPECT_EQ(TMKNmeaFloat(".5"), 0.5f);
    EXPECT_EQ(TMKNmeaFloat("1e5"), 1.0f);
    EXPECT_EQ(TMKNmeaInt("08"), 8);
    EXPECT_EQ(TMKNmeaInt("7.9"), 7);

    // The index truncates and holds below the length.
    const struct {
        double position;
        std::size_t count;
        long long index;
    } positions[] = {{0.5, 600, 300}, {1.0, 600, 599}, {0.0, 600, 0}, {0.99999, 3, 2}, {1.5, 3, 2}, {0.5, 0, -1},
                     {-0.2, 10, 0}, {std::nan(""), 10, 0}, {0.3333, 3, 0}, {0.3334, 3, 1}};
    for (const auto& c : positions)
        EXPECT_EQ(TMKIndexForPosition(c.position, c.count), c.index) << c.position << " of " << c.count;

    EXPECT_NEAR(TKNmeaToDegrees(4807.038), 48.1173, 1e-9);
    EXPECT_NEAR(TKNmeaToDegrees(1131.0), 11.516666666, 1e-8);
    EXPECT_NEAR(TKNmeaToDegrees(-3351.0), -33.85, 1e-9);
    EXPECT_EQ(TKNmeaToDegrees(0), 0.0);
    TMKGpsData southWest;
    southWest.Latitude = 3351.0;
    southWest.NS = 'S';
    southWest.Longitude = 7012.0;
    southWest.EW = 'W';
    EXPECT_NEAR(TMKLatitudeDegrees(southWest), -33.85, 1e-9);
    EXPECT_NEAR(TMKLongitudeDegrees(southWest), -70.2, 1e-9);
}

} // namespace
