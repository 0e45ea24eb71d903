#pragma once

#include "media/TMKTrip.h"

#include <cstddef>
#include <optional>
#include <vector>

enum class TMKEventKind {
    HardBraking,    // along the car, slowing down
    HardAcceleration,
    SharpTurn,      // across the car
    Impact,         // up and down: a pothole, a kerb, a knock
    EventRecording, // the camera saved an event recording here
};

struct TMKEventMarker {
    double seconds = 0; // on the trip's time axis
    TMKEventKind kind = TMKEventKind::Impact;
    double peakG = 0;   // the largest acceleration beside gravity in the event; 0 for recordings
    std::size_t recording = 0;
    double secondsInRecording = 0;
};

struct TMKEventOptions {
    // Acceleration beside gravity, in g, that makes an event.
    double thresholdG = 0.4;
    // Crossings closer than this to the end of the previous event belong to
    // it: a brake shudders across the threshold, a pothole hits the front
    // and then the rear wheels.
    double debounceSeconds = 2.0;
    // Gravity is taken as the median of each axis over this many seconds
    // either side: the camera's mounting and the road's slope change it
    // slowly, and an event too short to move a median.
    double gravityWindowSeconds = 15.0;
};

// The moments where the acceleration beside gravity, |a - g|, reaches the
// threshold: one marker per event, at its peak, named by the axis that
// dominates there (x along the car, braking negative; y across it; z up,
// the camera's axes). The magnitude alone minus 1 g would miss braking and
// turns: 0.5 g of braking under 1 g of gravity is |a| = 1.12 g.
// `samples` must be in time order, as TMKReadTripTelemetry gives them.
[[nodiscard]] std::vector<TMKEventMarker> TMKDetectEvents(const std::vector<TMKTripSample>& samples,
                                                          const TMKEventOptions& options = {});

// The detected events and the trip's event recordings, in time order.
[[nodiscard]] std::vector<TMKEventMarker> TMKTripEventMarkers(const TMKTrip& trip, const TMKTripTelemetry& telemetry,
                                                              const TMKEventOptions& options = {});

// The markers N and P go to from a play position on the trip's axis, by
// index into `markers` (in time order): the first one more than `grace`
// seconds later, the last one more than `grace` earlier. The grace lets a
// second N go on past a marker just jumped to, even when the players land a
// frame short of it. P's is longer, as a player's "previous" is: play runs
// on after the jump, and a second P at a normal pace must still go to the
// marker before, not back to the one just reached.
inline constexpr double kNextMarkerGraceSeconds = 0.5;
inline constexpr double kPreviousMarkerGraceSeconds = 3.0;
[[nodiscard]] std::optional<std::size_t> TMKNextMarker(const std::vector<TMKEventMarker>& markers, double seconds,
                                                       double grace = kNextMarkerGraceSeconds);
[[nodiscard]] std::optional<std::size_t> TMKPreviousMarker(const std::vector<TMKEventMarker>& markers, double seconds,
                                                           double grace = kPreviousMarkerGraceSeconds);

[[nodiscard]] const char* TMKEventKindName(TMKEventKind kind);
