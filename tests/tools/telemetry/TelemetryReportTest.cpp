#include "base/TMKLog.h"
#include "TelemetryReport.h"
#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TMKNmeaFix fixAt(int second, double lat, double lon)
{
    TMKNmeaFix fix;
    fix.utc = TMKUtcTime{2026, 11, 7, 7, 15, second, 0};
    fix.latitude = lat;
    fix.longitude = lon;
    fix.speedKnots = 20;
    fix.gpsPrns = {5, 12, 29};
    fix.glonassPrns = {67, 68};
    return fix;
}

// Two seconds of a drive south of the equator and west of Greenwich; with
// no samples, three seconds of GPS records alone.
TMKAviWriter recording(bool withSamples)
{
    TMKAviWriter writer;
    for (uint32_t ms = 0; withSamples && ms < 2000; ms += 100)
        writer.addGSensor(_AVI_GSENSOR_DATA_T{171, ms, 256, -128, 64, 0});
    for (int s = 0; s < (withSamples ? 2 : 3); ++s)
        writer.addFix(fixAt(s, -33.8568, -70.6483 + s * 0.0001), static_cast<uint32_t>(s * 1000));
    writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
    return writer;
}

// The recording as extraction reads it.
bool extract(TMKBlackBoxData& into, bool withSamples)
{
    std::vector<uint8_t> bytes;
    return recording(withSamples).writeToBuffer(bytes) && into.ExtractStreamInformationFromBuffer(bytes.data(), bytes.size());
}

TEST(TelemetryReport, JsonCsvAndGpxCarryWhatWasRead)
{
    TMKSetLogSink({});
    TMKBlackBoxData data;
    ASSERT_TRUE(extract(data, true));
    TelemetryReport report{"/card/alwa_20261107_081500_F.avi", true, {}, &data};
    std::ostringstream out;
    writeTelemetryJson(out, report);
    const std::string json = out.str();
    EXPECT_EQ(json.rfind("{\"file\":\"/card/alwa_20261107_081500_F.avi\",\"ok\":true,\"gsensor\":[{\"t\":0,\"x\":1,"
                         "\"y\":-0.5,\"z\":0.25}",
                         0),
              0u);
    EXPECT_EQ(json.back(), '\n');
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1);
    // Each GPS record once, though m_vGpsData repeats the first.
    EXPECT_NE(json.find("\"gps_records\":[{\"t\":0,\"Latitude\":3351.408"), std::string::npos);
    EXPECT_NE(json.find("\"KM\":\"9\""), std::string::npos);
    EXPECT_NE(json.find("\"lined_up\":[0,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000]"), std::string::npos);
    EXPECT_NE(json.find("\"Now\":\"2026-11-07T07:15:01.000\""), std::string::npos);
    EXPECT_NE(json.find("\"NS\":\"S\""), std::string::npos);
    EXPECT_NE(json.find("\"SatelliteUsed\":[67,68,0,0,0,0,0,0,0,0,0,0]"), std::string::npos);
    // Single-precision reads of the coordinates move them by well under a metre.
    EXPECT_NE(json.find("\"lat_deg\":-33.85679"), std::string::npos);
    EXPECT_NE(json.find("\"lon_deg\":-70.6482"), std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));

    // JSON text is always valid.
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
    EXPECT_EQ(jsonString("bad\xff\xc3"), "\"bad\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\""); // a lone surrogate
    EXPECT_EQ(jsonString(std::string_view("\0", 1)), "\"\\u0000\"");
    EXPECT_EQ(jsonNumber(0.25f), "0.25");
    EXPECT_EQ(jsonNumber(-0.5), "-0.5");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(jsonNumber(std::numeric_limits<float>::infinity()), "null");
    EXPECT_EQ(formatSystemTime(_SYSTEMTIME{2094, 3, 0, 23, 12, 35, 19, 7}), "2094-03-23T12:35:19.007");

    // Without samples nothing is lined up: the records are listed as read.
    TMKBlackBoxData gpsOnly;
    ASSERT_TRUE(extract(gpsOnly, false));
    std::ostringstream records;
    writeTelemetryJson(records, TelemetryReport{"g.avi", true, {}, &gpsOnly});
    EXPECT_NE(records.str().find("\"gps_records\":[{\"t\":0,"), std::string::npos) << records.str();
    EXPECT_NE(records.str().find("},{\"t\":1000,"), std::string::npos);
    EXPECT_NE(records.str().find("},{\"t\":2000,"), std::string::npos);
    EXPECT_NE(records.str().find("\"lined_up\":[]"), std::string::npos);

    // A failed file still gives an object.
    TMKBlackBoxData empty;
    std::ostringstream failed;
    writeTelemetryJson(failed, TelemetryReport{"x.avi", false, "not a RIFF/AVI file", &empty});
    EXPECT_EQ(failed.str(), "{\"file\":\"x.avi\",\"ok\":false,\"error\":\"not a RIFF/AVI file\",\"gsensor\":[],"
                         "\"gps_records\":[],\"lined_up\":[],\"fixes\":[]}\n");

    // CSV: one row per fix, file names quoted.
    report.path = "/card/a,\"b\".avi";
    std::ostringstream rows;
    writeTelemetryCsvHeader(rows);
    writeTelemetryCsvRows(rows, report);
    const std::string csv = rows.str();
    EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), 1 + data.m_NMEAs.size());
    EXPECT_NE(csv.find("\n\"/card/a,\"\"b\"\".avi\",0,"), std::string::npos);
    EXPECT_NE(csv.find(",S,7038.8"), std::string::npos);
    EXPECT_NE(csv.find(",W,-33.85679"), std::string::npos);

    // One point per second; fixes GPX cannot carry (95 degrees north, 180
    // degrees east, where GPX stops short, and month 13) are left out.
    const struct {
        uint16_t month, second;
        double latitude, longitude;
    } crafted[] = {{11, 3, 4807.038, 1131.0}, {11, 4, 9500, 1131.0}, {11, 5, 4807.038, 18000}, {13, 6, 4807.038, 1131.0}};
    for (const auto& f : crafted) {
        TMKGpsData fix;
        fix.Now = _SYSTEMTIME{2026, f.month, 0, 7, 7, 15, f.second, 0};
        fix.Latitude = f.latitude;
        fix.Longitude = f.longitude;
        data.m_NMEAs.push_back(fix);
    }
    std::ostringstream track;
    writeGpxBegin(track);
    writeGpxTrack(track, report);
    writeGpxEnd(track);
    const std::string gpx = track.str();
    std::size_t points = 0;
    for (auto at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1))
        ++points;
    EXPECT_EQ(points, 3u) << gpx;
    EXPECT_NE(gpx.find("<trkpt lat=\"-33.85679"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-11-07T07:15:00.000Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-11-07T07:15:01.000Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<trkpt lat=\"48.1173000\" lon=\"11.5166667\"><time>2026-11-07T07:15:03.000Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<gpxtpx:speed>10.28"), std::string::npos); // 20 kn in m/s
    EXPECT_EQ(gpx.substr(gpx.size() - 7), "</gpx>\n");
}

} // namespace
