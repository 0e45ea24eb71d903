#include "TMKFileText.h"
#include "TMKShell.h"
#include "media/TMKTrackExport.h"

#include "base/TMKLog.h"
#include "TripTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

// Whether xmllint finds the file well formed and, given a schema, valid.
int xmllint(const std::filesystem::path& file, const std::string& schema = {})
{
    return TMKShellStatus("xmllint --noout " + (schema.empty() ? "" : "--schema '" + schema + "' ") + "'" + file.string() + "'");
}

TMKTrackPoint point(double seconds, double lat, double lon)
{
    TMKTrackPoint p;
    p.seconds = seconds;
    p.secondsInRecording = seconds;
    p.latitude = lat;
    p.longitude = lon;
    p.hasUtc = true;
    p.utc = _SYSTEMTIME{2026, 11, 0, 7, 7, 15, static_cast<uint16_t>(seconds), 0};
    p.speedKmh = 48.5;
    p.course = 271.25;
    p.hdop = 0.8;
    p.satellites = 12;
    return p;
}

// A minute of a drive, at positions, speeds and heights no decimal text
// gives exactly.
TMKTrack minute()
{
    TMKTrack track{"alwa_20261107_071500", {}};
    for (int i = 0; i < 60; ++i) {
        TMKTrackPoint p = point(i, -33.8568 + i * 1.234567e-5, -70.6483 - i / 7.0 * 1e-4);
        p.hasAltitude = true;
        p.altitude = 520 + i / 3.0;
        p.speedKmh = 48.5 + i / 9.0;
        p.recording = static_cast<std::size_t>(i / 20);
        p.secondsInRecording = i % 20 + 0.1;
        track.points.push_back(p);
    }
    return track;
}

TEST(TrackExport, GpxIsValidKmlWellFormedAndCsvRoundTripsExactly)
{
    TMKSetLogSink({});
    const fs::path dir = tripTestDir("track-export");
    // A name no XML may carry as it stands, and a point without time,
    // altitude or HDOP, south-west of Greenwich on the date line.
    std::vector<TMKTrack> tracks = {minute(), {"<&\"> \x01 bad\xff utf-8 \xef\xbf\xbf", {point(0, -33.5, -180), point(1, 90, 179.9999999)}},
                                    {"empty", {}}};
    tracks[1].points[0].hasUtc = false;
    tracks[1].points[0].hdop = -1;
    ASSERT_FALSE(TMKWriteTrackFile(dir / "trip.gpx", TMKTrackFormat::Gpx, tracks));
    EXPECT_EQ(xmllint(dir / "trip.gpx", TAMEK_GPX_SCHEMA), 0);
    const std::string text = TMKFileText(dir / "trip.gpx");
    std::size_t trkpts = 0;
    for (std::size_t at = text.find("<trkpt "); at != std::string::npos; at = text.find("<trkpt ", at + 1))
        ++trkpts;
    EXPECT_EQ(trkpts, 62u);
    EXPECT_NE(text.find("<time>2026-11-07T07:15:59.000Z</time>"), std::string::npos);

    // The schema check is not a formality: a latitude past the pole fails it.
    tracks[1].points[1].latitude = 90.5;
    ASSERT_FALSE(TMKWriteTrackFile(dir / "bad.gpx", TMKTrackFormat::Gpx, tracks));
    EXPECT_NE(xmllint(dir / "bad.gpx", TAMEK_GPX_SCHEMA), 0);

    // KML: well formed, longitude first.
    TMKTrackPoint a = point(0, -33.8568, -70.6483);
    TMKTrackPoint b = point(1, -33.8569, -70.6484);
    a.hasAltitude = b.hasAltitude = true;
    a.altitude = 520.5;
    b.altitude = 521;
    const std::vector<TMKTrack> kml = {{"Santiago & back", {a, b}}, {"one", {point(0, 48.1, 11.5)}}, {"none", {}}};
    ASSERT_FALSE(TMKWriteTrackFile(dir / "trip.kml", TMKTrackFormat::Kml, kml));
    EXPECT_EQ(xmllint(dir / "trip.kml"), 0);
    const std::string placemarks = TMKFileText(dir / "trip.kml");
    EXPECT_NE(placemarks.find("xmlns=\"http://www.opengis.net/kml/2.2\""), std::string::npos);
    EXPECT_NE(placemarks.find("    -70.6483,-33.8568,520.5\n    -70.6484,-33.8569,521\n"), std::string::npos) << placemarks;
    EXPECT_NE(placemarks.find("<Point><coordinates>11.5,48.1</coordinates></Point>"), std::string::npos) << placemarks;
    EXPECT_NE(placemarks.find("Santiago &amp; back"), std::string::npos);

    // Without an altitude for every point, none is written.
    b.hasAltitude = false;
    const std::string mixed = TMKKmlText({{"t", {a, b}}});
    EXPECT_NE(mixed.find("    -70.6483,-33.8568\n    -70.6484,-33.8569\n"), std::string::npos) << mixed;

    // CSV round-trips exactly.
    tracks = {minute()};
    TMKTrackPoint odd = point(0.1, -0.000001, 179.123456789012);
    odd.hasUtc = false;
    odd.utc = {};
    odd.hasAltitude = true;
    odd.altitude = -12.25;
    odd.recording = 7;
    odd.secondsInRecording = 1e-7;
    tracks.push_back({"a, \"quoted\"\nname", {odd, point(2, 1, 2)}});
    tracks.push_back({"", {point(3, 4, 5)}});

    const std::string csv = TMKTrackCsvText(tracks);
    std::vector<TMKTrack> back;
    std::string error;
    ASSERT_TRUE(TMKReadTrackCsv(csv, back, &error)) << error;
    ASSERT_EQ(back.size(), tracks.size());
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        EXPECT_EQ(back[t].name, tracks[t].name);
        EXPECT_EQ(back[t].points, tracks[t].points) << "track " << t;
    }
    // CRLF line ends read the same.
    ASSERT_TRUE(TMKReadTrackCsv(std::regex_replace(csv, std::regex("\n"), "\r\n"), back, &error)) << error;
    EXPECT_EQ(back.size(), tracks.size());

    const std::string header = std::string(kTMKTrackCsvHeader) + "\n";
    const std::string good = "t,1,0,1,2026-11-07T07:15:01.000Z,48.1,11.5,,30,90,0.9,8\n";
    ASSERT_TRUE(TMKReadTrackCsv(header + good, back, &error)) << error;
    ASSERT_EQ(back.size(), 1u);

    const std::vector<std::pair<std::string, std::string>> bad = {
        {"seconds,lat\n" + good, "line 1"},
        {header + "t,1,0,1\n", "line 2: expected 12 fields"},
        {header + good + "t,x,0,1,,48.1,11.5,,30,90,0.9,8\n", "line 3: bad seconds"},
        {header + "t,1,0,1,2026-13-07T07:15:01.000Z,48.1,11.5,,30,90,0.9,8\n", "bad utc"},
        {header + "t,1,0,1,2026-02-30T07:15:01.000Z,48.1,11.5,,30,90,0.9,8\n", "bad utc"},
        {header + "t,1,0,1,,95,11.5,,30,90,0.9,8\n", "bad latitude"},
        {header + "t,1,-1,1,,48.1,11.5,,30,90,0.9,8\n", "bad recording"},
        {header + "t,1,0,1,,48.1,11.5,,30,90,0.9,8x\n", "bad satellites"},
        {header + "t,1,0,1,,48.1,11.5,,nan,90,0.9,8\n", "bad speed_kmh"},
        {header + "\"t,1,0,1,,48.1,11.5,,30,90,0.9,8\n", "not closed"},
        {header + "t\"x,1,0,1,,48.1,11.5,,30,90,0.9,8\n", "quote inside"},
    };
    // What it did not write is refused.
    for (const auto& [refused, reason] : bad) {
        EXPECT_FALSE(TMKReadTrackCsv(refused, back, &error)) << refused;
        EXPECT_NE(error.find(reason), std::string::npos) << error << " for " << refused;
    }
    fs::remove_all(dir);
}

} // namespace
