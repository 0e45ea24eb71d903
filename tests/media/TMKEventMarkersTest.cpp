#include "media/TMKEventMarkers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

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

// A push of `g` along one axis (0 along, 1 across, 2 up) from `from` to
// `to` seconds.
struct Push {
    int axis;
    double from, to, g;
};

// The pushes given on top of town driving, or on a calm road.
std::function<std::array<double, 3>(double)> with(std::vector<Push> pushes, bool town = true)
{
    return [pushes, town](double t) {
        std::array<double, 3> a = town ? smooth(t) : std::array<double, 3>{};
        for (const Push& push : pushes) {
            if (t >= push.from && t < push.to)
                a[static_cast<std::size_t>(push.axis)] = push.g;
        }
        return a;
    };
}

TEST(EventMarkers, EachManoeuvreIsOneMarkerAndNextAndPreviousGoPastTheOneReached)
{
    using K = TMKEventKind;
    // From 50 km/h to a stop: 0.6 g builds up over half a second, holds,
    // and the shudder of the brakes rides on it; the car rocks back at the end.
    const auto brake = [](double t) {
        auto a = smooth(t);
        if (t >= 60 && t < 63)
            a[0] = -0.6 * std::min((t - 60) / 0.5, 1.0) + 0.08 * std::sin(t * 40);
        else if (t >= 63 && t < 63.5)
            a[0] = 0.2;
        return a;
    };
    // On a calm road a firm 0.3 g stop.
    const auto firm = with({{0, 60, 63, -0.3}}, false);
    // The front wheels drop in and hit the far edge, the rear wheels follow
    // 0.3 s later.
    const auto pothole = with({{2, 39.95, 40.05, -0.5}, {2, 40.05, 40.15, 0.9}, {0, 40.05, 40.15, -0.2},
                               {2, 40.35, 40.45, -0.4}, {2, 40.45, 40.55, 0.7}});
    // A tight bend taken fast, pulling away hard, and braking 2 s later.
    const auto busy = with({{1, 20, 23, 0.55}, {0, 30, 31, 0.45}, {0, 33, 34.5, -0.5}});
    const struct {
        const char* what;
        double seconds;
        std::function<std::array<double, 3>(double)> motion;
        TMKEventOptions options;
        std::vector<TMKEventKind> kinds;
        double from = 0, to = 0, peakG = 0; // where the first marker lies, its peak
    } cases[] = {
        {"a smooth drive", 600, smooth, {}, {}},
        {"a hard brake", 120, brake, {}, {K::HardBraking}, 60.3, 63, 0.68},
        {"a firm stop, below the threshold", 120, firm, {}, {}},
        {"a firm stop, a lower threshold", 120, firm, {.thresholdG = 0.25}, {K::HardBraking}, 60, 63},
        {"a pothole", 90, pothole, {}, {K::Impact}, 40.09, 40.11},
        {"separate events count apart", 120, busy, {}, {K::SharpTurn, K::HardAcceleration, K::HardBraking}, 20, 23},
        {"no threshold, no events", 120, busy, {.thresholdG = 0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DriveSamples drive;
        const auto events = TMKDetectEvents(drive.make(c.seconds, c.motion), c.options);
        std::vector<TMKEventKind> kinds;
        for (const auto& event : events)
            kinds.push_back(event.kind);
        ASSERT_EQ(kinds, c.kinds);
        if (!events.empty()) {
            EXPECT_GE(events[0].seconds, c.from);
            EXPECT_LT(events[0].seconds, c.to);
        }
        if (c.peakG > 0) {
            EXPECT_NEAR(events[0].peakG, c.peakG, 0.1);
        }
    }
    // With a longer debounce the last two of the busy drive are one.
    DriveSamples drive;
    EXPECT_EQ(TMKDetectEvents(drive.make(120, busy), {.debounceSeconds = 3}).size(), 2u);
    EXPECT_TRUE(TMKDetectEvents({}).empty());

    // Next and previous go past the marker just reached.
    std::vector<TMKEventMarker> markers(3);
    markers[0].seconds = 10;
    markers[1].seconds = 70; // in the next recording
    markers[2].seconds = 75;
    EXPECT_EQ(TMKNextMarker(markers, 0), 0u);
    EXPECT_EQ(TMKNextMarker(markers, 9.9), 1u); // landed a frame short of the first
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

} // namespace
