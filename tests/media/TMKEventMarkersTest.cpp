#include "media/TMKEventMarkers.h"

#include "base/TMKLog.h"
#include "media/TMKMediaList.h"
#include "TMKDriveRecording.h"
#include "TripTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace {

// Ten samples a second as a mounted camera reads them: gravity on a tilted
// mount, engine and road vibration, sensor noise quantised to 1/256 g.
struct DriveSamples {
    std::mt19937 random{20261107};
    std::normal_distribution<double> noise{0, 0.02};
    double tiltX = 0.05; // the camera looks slightly down
    double tiltY = -0.02;

    // `motion(t)` gives the car's acceleration beside gravity (x along,
    // y across, z up) in g.
    std::vector<TMKTripSample> make(double seconds, const std::function<std::array<double, 3>(double)>& motion)
    {
        std::vector<TMKTripSample> samples;
        for (int i = 0; i < static_cast<int>(seconds * 10); ++i) {
            const double t = i / 10.0;
            const auto a = motion(t);
            const auto quantise = [](double g) { return static_cast<float>(std::round(g * 256) / 256); };
            // Driving up a gentle hill halfway tilts gravity a little more.
            const double hill = t > seconds / 2 ? 0.03 : 0;
            samples.push_back({t, 0, quantise(tiltX + hill + a[0] + noise(random)),
                               quantise(tiltY + a[1] + noise(random)),
                               quantise(std::sqrt(1 - tiltX * tiltX - tiltY * tiltY) + a[2] + noise(random))});
        }
        return samples;
    }
};

// Town driving: speeding up and slowing down gently, lane changes, bends.
std::array<double, 3> smooth(double t)
{
    return {0.15 * std::sin(t / 7), 0.2 * std::sin(t / 11) * std::sin(t / 3), 0.05 * std::sin(t * 9)};
}

TEST(EventMarkers, ASmoothDriveHasNone)
{
    DriveSamples drive;
    EXPECT_TRUE(TMKDetectEvents(drive.make(600, smooth)).empty());
}

TEST(EventMarkers, AHardBrakeIsOneBrakingMarker)
{
    DriveSamples drive;
    // From 50 km/h to a stop: 0.6 g builds up over half a second, holds,
    // and the shudder of the brakes rides on it; the car rocks back at the end.
    const auto samples = drive.make(120, [](double t) -> std::array<double, 3> {
        auto a = smooth(t);
        if (t >= 60 && t < 63) {
            const double build = std::min((t - 60) / 0.5, 1.0);
            a[0] = -0.6 * build + 0.08 * std::sin(t * 40);
        } else if (t >= 63 && t < 63.5) {
            a[0] = 0.2;
        }
        return a;
    });
    const auto events = TMKDetectEvents(samples);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, TMKEventKind::HardBraking);
    EXPECT_GE(events[0].seconds, 60.3);
    EXPECT_LT(events[0].seconds, 63);
    EXPECT_NEAR(events[0].peakG, 0.68, 0.1);

    // The threshold decides: on a calm road, a firm 0.3 g stop is no event
    // at 0.4 g, one at 0.25 g.
    const auto firm = drive.make(120, [](double t) -> std::array<double, 3> {
        std::array<double, 3> a{};
        if (t >= 60 && t < 63)
            a[0] = -0.3;
        return a;
    });
    EXPECT_TRUE(TMKDetectEvents(firm).empty());
    const auto lower = TMKDetectEvents(firm, {.thresholdG = 0.25});
    ASSERT_EQ(lower.size(), 1u);
    EXPECT_EQ(lower[0].kind, TMKEventKind::HardBraking);
}

TEST(EventMarkers, APotholeIsOneImpactMarker)
{
    DriveSamples drive;
    // The front wheels drop in and hit the far edge, the rear wheels follow
    // 0.3 s later.
    const auto samples = drive.make(90, [](double t) -> std::array<double, 3> {
        auto a = smooth(t);
        const auto near = [&](double at) { return std::fabs(t - at) < 0.05; };
        if (near(40.0))
            a[2] = -0.5;
        if (near(40.1))
            a[2] = 0.9, a[0] = -0.2;
        if (near(40.4))
            a[2] = -0.4;
        if (near(40.5))
            a[2] = 0.7;
        return a;
    });
    const auto events = TMKDetectEvents(samples);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, TMKEventKind::Impact);
    EXPECT_NEAR(events[0].seconds, 40.1, 0.01);
}

TEST(EventMarkers, SharpTurnsAndSeparateEventsCountApart)
{
    DriveSamples drive;
    const auto samples = drive.make(120, [](double t) -> std::array<double, 3> {
        auto a = smooth(t);
        if (t >= 20 && t < 23)
            a[1] = 0.55; // a tight bend taken fast
        if (t >= 30 && t < 31)
            a[0] = 0.45; // pulling away hard
        if (t >= 33 && t < 34.5)
            a[0] = -0.5; // and braking 2 s later
        return a;
    });
    const auto events = TMKDetectEvents(samples);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, TMKEventKind::SharpTurn);
    EXPECT_EQ(events[1].kind, TMKEventKind::HardAcceleration);
    EXPECT_EQ(events[2].kind, TMKEventKind::HardBraking);
    // With a longer debounce the last two are one.
    EXPECT_EQ(TMKDetectEvents(samples, {.debounceSeconds = 3}).size(), 2u);
    EXPECT_TRUE(TMKDetectEvents({}).empty());
    EXPECT_TRUE(TMKDetectEvents(samples, {.thresholdG = 0}).empty());
}

TEST(EventMarkers, NextAndPreviousGoPastTheMarkerJustReached)
{
    std::vector<TMKEventMarker> markers(3);
    markers[0].seconds = 10;
    markers[1].seconds = 70; // in the next recording
    markers[2].seconds = 75;
    EXPECT_EQ(TMKNextMarker(markers, 0), 0u);
    EXPECT_EQ(TMKNextMarker(markers, 9.9), 1u); // landed a frame short of the first
    EXPECT_EQ(TMKNextMarker(markers, 10), 1u);
    EXPECT_EQ(TMKNextMarker(markers, 69.9), 2u);
    EXPECT_EQ(TMKNextMarker(markers, 69.4), 1u);
    EXPECT_FALSE(TMKNextMarker(markers, 75));
    EXPECT_EQ(TMKPreviousMarker(markers, 100), 2u);
    EXPECT_EQ(TMKPreviousMarker(markers, 71.2), 0u); // P again 1.2 s after the jump: the one before
    EXPECT_EQ(TMKPreviousMarker(markers, 73.1), 1u);
    EXPECT_EQ(TMKPreviousMarker(markers, 77.9), 1u); // 75 is under 3 s behind, 70 is not
    EXPECT_FALSE(TMKPreviousMarker(markers, 12.9));
    EXPECT_FALSE(TMKNextMarker({}, 0));
    EXPECT_FALSE(TMKPreviousMarker({}, 0));
}

TEST(EventMarkers, TripMarkersIncludeEventRecordingsAcrossFiles)
{
    TMKSetLogSink({});
    const auto dir = tripTestDir("markers");
    // A hard brake 70 s into the drive: in the second file.
    TMKSpeedProfile profile(0);
    profile.ramp(60, 10).holdUntilDistance(1100).ramp(0, 2.5).hold(5).ramp(30, 10).hold(200);
    TMKDriveOptions options;
    options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    const TMKDriveSimulator drive(TMKMunichRoute(), profile, options);
    const double brakeAt = profile.endSeconds() - 200 - 10 - 5 - 2.5;
    ASSERT_GT(brakeAt, 60);
    ASSERT_LT(brakeAt, 118);
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071500_F.avi", drive, 0, 60000));
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071600_F.avi", drive, 60000, 60000));
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "event_20261107_071610_F.avi", drive, 70000, 20000));
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "alwa_20261107_071700_F.avi", drive, 120000, 60000));

    TMKMediaList list;
    list.setDirectoryPath(dir.string());
    list.waitUntilIdle();
    const auto trips = TMKGroupTrips(list);
    ASSERT_EQ(trips.size(), 1u);
    ASSERT_EQ(trips[0].recordings.size(), 4u);
    const TMKTripTelemetry telemetry = TMKReadTripTelemetry(trips[0]);
    // The event recording repeats 20 s of the second file: nothing twice.
    EXPECT_EQ(telemetry.points.size(), 181u);
    EXPECT_EQ(telemetry.samples.size(), 1801u);
    for (std::size_t i = 1; i < telemetry.points.size(); ++i)
        ASSERT_LT(TMKUtcMilliseconds(telemetry.points[i - 1].utc), TMKUtcMilliseconds(telemetry.points[i].utc));
    const auto markers = TMKTripEventMarkers(trips[0], telemetry);
    std::vector<TMKEventKind> kinds;
    for (const auto& m : markers)
        kinds.push_back(m.kind);
    const std::size_t brakes = static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), TMKEventKind::HardBraking));
    EXPECT_EQ(brakes, 1u);
    ASSERT_EQ(std::count(kinds.begin(), kinds.end(), TMKEventKind::EventRecording), 1);
    for (const auto& m : markers) {
        if (m.kind == TMKEventKind::EventRecording) {
            EXPECT_EQ(m.seconds, 70);
            EXPECT_EQ(m.recording, 2u);
        }
        if (m.kind == TMKEventKind::HardBraking) {
            EXPECT_GT(m.seconds, brakeAt);
            EXPECT_LT(m.seconds, brakeAt + 2.6);
            EXPECT_EQ(m.recording, 1u);
            EXPECT_NEAR(m.secondsInRecording, m.seconds - 60, 1e-9);
        }
    }
    for (std::size_t i = 1; i < markers.size(); ++i)
        EXPECT_LE(markers[i - 1].seconds, markers[i].seconds);
    std::filesystem::remove_all(dir);
}

} // namespace
