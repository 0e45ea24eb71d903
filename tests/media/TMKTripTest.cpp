#include "media/TMKTrip.h"

#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKEventMarkers.h"
#include "media/TMKMediaList.h"
#include "TMKAviWriter.h"
#include "TMKDriveRecording.h"
#include "TMKNmeaBuilder.h"
#include "TripTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

// A catalogue built from names only, lengths from a table: grouping is
// about names and header lengths, no file needs to exist.
struct Catalogue {
    TMKMediaList list;
    std::map<std::string, double> lengths;

    void add(const std::string& name, std::optional<double> length = 60.0)
    {
        list.addMedia(TMKMedia::mediaWithPath("/card/" + name));
        if (length)
            lengths["/card/" + name] = *length;
    }
    std::vector<TMKTrip> trips(const TMKTripOptions& options = {}) const
    {
        return TMKGroupTrips(list, options, [this](const std::string& path) -> std::optional<double> {
            const auto it = lengths.find(path);
            if (it == lengths.end())
                return std::nullopt;
            return it->second;
        });
    }
};

std::string alwa(int minute, int second, char side)
{
    char name[64];
    std::snprintf(name, sizeof name, "alwa_20261107_07%02d%02d_%c.avi", minute, second, side);
    return name;
}

std::vector<std::size_t> sizes(const std::vector<TMKTrip>& trips)
{
    std::vector<std::size_t> out;
    for (const auto& trip : trips)
        out.push_back(trip.recordings.size());
    return out;
}

// A file of a catalogue: "MMSSx" stands for alwa_20261107_07MMSS_x.avi,
// other names are taken as they stand; the header's length, none when it
// cannot be read.
struct File {
    std::string name;
    std::optional<double> length = 60.0;
};

TEST(TripGrouping, FollowingRecordingsFormOneTripAndGapsSplit)
{
    using Trips = std::vector<TMKTrip>;
    const struct {
        const char* what;
        std::vector<File> files;
        std::vector<std::size_t> sizes;
        double tolerance = 5;
        std::function<void(const Trips&)> check = {};
    } cases[] = {
        {"pairs, then parked for ten minutes", {{"0000F"}, {"0000R"}, {"0100F"}, {"0100R"}, {"0200F"}, {"0200R"}, {"0300F"},
                                                {"0300R"}, {"1400F"}, {"1400R"}, {"1500F"}}, {4, 2}, 5, [](const Trips& t) {
             EXPECT_EQ(t[0].recordings[3].offsetSeconds, 180);
             EXPECT_EQ(t[0].lengthSeconds(), 240);
             EXPECT_EQ(t[0].name(), "alwa_20261107_070000");
             EXPECT_EQ(t[1].recordings[1].offsetSeconds, 60);
             EXPECT_FALSE(t[1].recordings[1].pair->rearMedia); // no rear recording, still part of it
         }},
        // The tolerance around the end of the recording, and a longer one.
        {"next at 55 s", {{"0000F"}, {"0055F"}}, {2}},
        {"next at 65 s", {{"0000F"}, {"0105F"}}, {2}},
        {"next at 66 s", {{"0000F"}, {"0106F"}}, {1, 1}},
        {"next at 70 s, 10 s tolerance", {{"0000F"}, {"0110F"}}, {2}, 10},
        {"the longer side: 62 + 5 reaches 67", {{"0000F", 60}, {"0000R", 62}, {"0107F"}}, {2}, 5, [](const Trips& t) {
             EXPECT_EQ(t[0].recordings[0].lengthSeconds, 62);
             EXPECT_TRUE(t[0].recordings[0].lengthKnown);
         }},
        {"unreadable lengths count as 60 s", {{"0000F", {}}, {"0105F", {}}, {"0215F", {}}}, {2, 1}, 5, [](const Trips& t) {
             EXPECT_FALSE(t[0].recordings[0].lengthKnown);
             EXPECT_EQ(t[0].recordings[0].lengthSeconds, 60);
         }},
        {"a damaged header claiming days", {{"0000F", 4e9}, {"0100F"}, {"3000F"}}, {2, 1}, 5,
         [](const Trips& t) { EXPECT_FALSE(t[0].recordings[0].lengthKnown); }},
        // The camera closes a file early when the ignition goes off.
        {"short files", {{"0000F", 20}, {"0030F", 20}}, {1, 1}},
        {"one-sided pairs", {{"0000F"}, {"0100R"}, {"0200F"}, {"0200R"}, {"0300R"}}, {4}, 5, [](const Trips& t) {
             EXPECT_TRUE(t[0].recordings[1].lead()->isRearMedia());
             EXPECT_TRUE(t[0].recordings[2].lead()->isFrontMedia());
             EXPECT_TRUE(t[0].recordings[3].lead()->isRearMedia());
         }},
        {"events are cut alongside and overlap", {{"0000F"}, {"event_20261107_070030_F.avi", 30},
                                                  {"event_20261107_070040_F.avi", 30}, {"0100F"}}, {4}, 5,
         [](const Trips& t) { EXPECT_TRUE(t[0].recordings[1].isEvent()); }},
        // One camera cannot record two continuous files at once: a file that
        // starts 30 s into the previous one means the clock was set back.
        {"a clock set back", {{"0000F"}, {"0100F"}, {"0130F"}, {"0230F"}}, {2, 2}},
        {"a companion file has no date; dates cross midnight", {{"._alwa_20261107_235930_F.avi"},
                                                                {"alwa_20261107_235930_F.avi"}, {"alwa_20261108_000030_F.avi"}},
         {1, 2}, 5, [](const Trips& t) { EXPECT_EQ(t[1].recordings[1].offsetSeconds, 60); }},
        // A date or time that does not exist is no date: counted on, it would
        // land on the recording beside it, and the two would make one trip.
        {"30 February, 2 March", {{"alwa_20260230_080000_F.avi"}, {"alwa_20260302_080030_F.avi"}}, {1, 1}},
        {"31 April, 1 May", {{"alwa_20260431_080000_F.avi"}, {"alwa_20260501_080030_F.avi"}}, {1, 1}},
        {"25:00, 01:00 the next day", {{"alwa_20261107_250000_F.avi"}, {"alwa_20261108_010030_F.avi"}}, {1, 1}},
        {"month 13, day 99", {{"alwa_20261399_000000_F.avi"}, {"alwa_20270403_000030_F.avi"}}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Catalogue catalogue;
        for (const File& file : c.files) {
            const bool shorthand = file.name.size() == 5;
            catalogue.add(shorthand ? alwa(std::stoi(file.name.substr(0, 2)), std::stoi(file.name.substr(2, 2)), file.name[4])
                                    : file.name,
                          file.length);
        }
        const Trips trips = catalogue.trips({.toleranceSeconds = c.tolerance});
        ASSERT_EQ(sizes(trips), c.sizes);
        if (c.check)
            c.check(trips);
    }

    // Pairs in recording order (not sorted) that go back in time.
    std::vector<std::shared_ptr<TMKMediaPair>> pairs;
    for (const int second : {0, 60, 30, 90}) {
        auto pair = TMKMediaPair::mediaPair();
        pair->frontMedia = TMKMedia::mediaWithPath("/card/" + alwa(second / 60, second % 60, 'F'));
        pairs.push_back(pair);
    }
    const auto trips = TMKGroupTrips(pairs, {}, [](const std::string&) { return std::optional<double>(60); });
    EXPECT_EQ(sizes(trips), (std::vector<std::size_t>{2, 2}));

    // Start seconds of names that exist, and none of those that do not.
    EXPECT_EQ(TMKMediaStartSeconds(*TMKMedia::mediaWithPath("alwa_19700101_000100_F.avi")), 60);
    EXPECT_EQ(TMKMediaStartSeconds(*TMKMedia::mediaWithPath("alwa_20240229_000000_F.avi")), 1709164800);
    for (const char* name : {"alwa_20260230_080000_F.avi", "alwa_20260431_080000_F.avi", "alwa_20261107_250000_F.avi",
                             "alwa_20261399_000000_F.avi", "._alwa_20261107_235930_F.avi"})
        EXPECT_EQ(TMKMediaStartSeconds(*TMKMedia::mediaWithPath(name)), std::nullopt) << name;
}

class TripFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMKSetLogSink({});
        dir = tripTestDir("trip-files");
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(TripFiles, HeaderLengthsPointsUnreadableSidesAndAMergedTrackWithItsMarkers)
{
    const TMKDriveSimulator drive = tripTestDrive();
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "a.avi", drive, 0, 45000));
    EXPECT_EQ(TMKAviLengthSeconds(dir / "a.avi"), 45.0);

    // Cut short: the header is still there but a camera that lost power
    // never wrote the frame count.
    std::vector<uint8_t> bytes = readTripFile(dir / "a.avi");
    std::fill(bytes.begin() + 48, bytes.begin() + 52, 0);
    writeTripFile(dir / "b.avi", bytes);
    EXPECT_FALSE(TMKAviLengthSeconds(dir / "b.avi"));
    writeTripFile(dir / "c.avi", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40));
    EXPECT_FALSE(TMKAviLengthSeconds(dir / "c.avi"));
    EXPECT_FALSE(TMKAviLengthSeconds(dir / "missing.avi"));
    EXPECT_FALSE(TMKAviLengthSeconds(dir.string()));
    ASSERT_EQ(::mkfifo((dir / "fifo.avi").c_str(), 0600), 0);
    EXPECT_FALSE(TMKAviLengthSeconds(dir / "fifo.avi")); // and does not block

    TMKAviWriter writer;
    for (int s = 0; s < 6; ++s) {
        TMKNmeaFix fix;
        fix.utc = TMKUtcTime{2026, 11, 7, 7, 15, s, 0};
        fix.latitude = s == 4 ? 95.0 : -33.8568;
        fix.longitude = -70.6483;
        fix.gpsPrns = {5, 12, 29};
        fix.valid = s >= 2; // no fix for the first two seconds
        writer.addFix(fix, static_cast<uint32_t>(s * 1000));
    }
    writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
    ASSERT_TRUE(writer.write(dir / "r.avi"));
    TMKBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation((dir / "r.avi").c_str()));
    const auto fixes = TMKRecordingFixes(data);
    ASSERT_EQ(fixes.size(), 3u); // seconds 2, 3 and 5
    EXPECT_EQ(fixes[0].secondsInRecording, 2);
    EXPECT_EQ(fixes[2].secondsInRecording, 5);
    EXPECT_NEAR(fixes[0].latitude, -33.8568, 1e-5);
    EXPECT_NEAR(fixes[0].longitude, -70.6483, 1e-5);

    // Unreadable sides fall back.
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071500_F.avi", drive, 0, 60000));
    // The second pair's front file is not an AVI; its rear one is.
    writeTripFile(dir / "alwa_20261107_071600_F.avi", std::vector<uint8_t>(5000, 'x'));
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071600_R.avi", drive, 60000, 60000));
    // Neither side of the third pair can be read.
    writeTripFile(dir / "alwa_20261107_071700_F.avi", {});
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071800_F.avi", drive, 180000, 60000));

    TMKMediaList list;
    list.setDirectoryPath(dir.string());
    list.waitUntilIdle();
    const auto trips = TMKGroupTrips(list);
    ASSERT_EQ(trips.size(), 1u);
    const TMKTripTelemetry telemetry = TMKReadTripTelemetry(trips[0]);
    EXPECT_EQ(telemetry.unreadable, (std::vector<std::size_t>{2}));
    EXPECT_EQ(telemetry.points.size(), 61u + 60u + 61u);
    EXPECT_EQ(telemetry.points[100].recording, 1u);

    // Progress is told before each recording; stopping keeps what was read.
    std::vector<std::pair<std::size_t, std::size_t>> told;
    const TMKTripTelemetry partial = TMKReadTripTelemetry(trips[0], [&](std::size_t done, std::size_t total) {
        told.emplace_back(done, total);
        return done < 2;
    });
    EXPECT_EQ(told, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 4}, {1, 4}, {2, 4}}));
    EXPECT_EQ(partial.points.size(), 61u + 60u);
    EXPECT_TRUE(TMKReadTripTelemetry(trips[0], [](std::size_t, std::size_t) { return false; }).points.empty());

    // The playing row's place: by either side's path.
    const auto at = TMKFindTripRecording(trips, (dir / "alwa_20261107_071600_R.avi").string());
    ASSERT_TRUE(at);
    EXPECT_EQ(at->trip, 0u);
    EXPECT_EQ(at->recording, 1u);
    EXPECT_FALSE(TMKFindTripRecording(trips, (dir / "alwa_20261107_071900_F.avi").string()));

    // Three minutes of front and rear recordings and an event recording that
    // repeats 20 s of the second: one track, nothing twice, and the markers
    // of the trip, a hard brake 70 s into the drive among them.
    TMKSpeedProfile profile(0);
    profile.ramp(60, 10).holdUntilDistance(1100).ramp(0, 2.5).hold(5).ramp(30, 10).hold(200);
    TMKDriveOptions options;
    options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    const TMKDriveSimulator braking(TMKMunichRoute(), profile, options);
    const fs::path own = dir / "merged";
    fs::create_directories(own);
    const double brakeAt = profile.endSeconds() - 200 - 10 - 5 - 2.5;
    for (int i = 0; i < 3; ++i) {
        const std::string stem = "alwa_20261107_07" + std::string(i == 0 ? "1500" : i == 1 ? "1600" : "1700");
        ASSERT_TRUE(TMKWriteDriveRecording(own / (stem + "_F.avi"), braking, static_cast<uint32_t>(i) * 60000, 60000));
        ASSERT_TRUE(TMKWriteDriveRecording(own / (stem + "_R.avi"), braking, static_cast<uint32_t>(i) * 60000, 60000));
    }
    ASSERT_TRUE(TMKWriteDriveRecording(own / "event_20261107_071610_F.avi", braking, 70000, 20000));
    TMKMediaList card;
    card.setDirectoryPath(own.string());
    card.waitUntilIdle();
    const auto grouped = TMKGroupTrips(card);
    ASSERT_EQ(grouped.size(), 1u);
    ASSERT_EQ(grouped[0].recordings.size(), 4u);
    EXPECT_TRUE(grouped[0].recordings[0].lengthKnown);

    const TMKTripTelemetry merged = TMKReadTripTelemetry(grouped[0]);
    EXPECT_TRUE(merged.unreadable.empty());
    // Every file holds 61 fixes and 601 samples, the boundary one repeated
    // by the next file: a second of 0..180 each, once.
    ASSERT_EQ(merged.points.size(), 181u);
    ASSERT_EQ(merged.samples.size(), 1801u);
    for (std::size_t i = 1; i < merged.points.size(); ++i) {
        const TMKTrackPoint& a = merged.points[i - 1];
        const TMKTrackPoint& b = merged.points[i];
        ASSERT_LT(a.seconds, b.seconds) << i;
        ASSERT_LT(TMKUtcMilliseconds(a.utc), TMKUtcMilliseconds(b.utc)) << i;
    }
    for (std::size_t i = 1; i < merged.samples.size(); ++i)
        ASSERT_LT(merged.samples[i - 1].seconds, merged.samples[i].seconds) << i;

    const TMKTrackPoint& p = merged.points[61];
    EXPECT_EQ(p.recording, 1u);
    EXPECT_DOUBLE_EQ(p.seconds, 61);
    EXPECT_DOUBLE_EQ(p.secondsInRecording, 1);
    const TMKNmeaFix expected = braking.fixAt(61000);
    EXPECT_NEAR(p.latitude, expected.latitude, 1e-5);
    EXPECT_NEAR(p.longitude, expected.longitude, 1e-5);
    EXPECT_EQ(p.utc.wMinute, 16);
    EXPECT_EQ(p.utc.wSecond, 1);
    EXPECT_TRUE(p.hasAltitude);
    EXPECT_NEAR(p.altitude, expected.altitudeMeters, 0.05);
    EXPECT_NEAR(p.speedKmh, expected.speedKnots * 1.852, 0.05);
    EXPECT_EQ(p.satellites, 12u);
    EXPECT_EQ(merged.samples[600].recording, 0u);
    EXPECT_EQ(merged.samples[601].recording, 1u);
    EXPECT_DOUBLE_EQ(merged.samples[1800].seconds, 180);

    // One brake in the second file, and the event recording, in time order.
    const auto markers = TMKTripEventMarkers(grouped[0], merged);
    std::vector<std::pair<TMKEventKind, std::size_t>> found;
    for (const auto& m : markers) {
        found.emplace_back(m.kind, m.recording);
        if (m.kind == TMKEventKind::EventRecording) {
            EXPECT_EQ(m.seconds, 70);
        } else if (m.kind == TMKEventKind::HardBraking) {
            EXPECT_GT(m.seconds, brakeAt);
            EXPECT_LT(m.seconds, brakeAt + 2.6);
            EXPECT_NEAR(m.secondsInRecording, m.seconds - 60, 1e-9);
        }
    }
    EXPECT_EQ(std::count(found.begin(), found.end(), std::pair(TMKEventKind::HardBraking, std::size_t{1})), 1);
    EXPECT_EQ(std::count(found.begin(), found.end(), std::pair(TMKEventKind::EventRecording, std::size_t{2})), 1);
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const auto& f) { return f.first == TMKEventKind::HardBraking; }), 1);
    for (std::size_t i = 1; i < markers.size(); ++i)
        EXPECT_LE(markers[i - 1].seconds, markers[i].seconds);
}

} // namespace
