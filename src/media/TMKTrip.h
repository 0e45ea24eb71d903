#pragma once

#include "media/TMKGpsData.h"
#include "media/TMKMedia.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMKBlackBoxData;
class TMKMediaList;

// The length of a recording as its AVI main header states it: total frames
// times microseconds per frame. Nothing when the file cannot be read, is not
// RIFF/AVI, or the header holds no frames (a recording cut short by a power
// loss never gets its counts written). Reads the first 64 bytes only.
[[nodiscard]] std::optional<double> TMKAviLengthSeconds(const std::string& path);

// Seconds since 1970-01-01 of a recording's start as its name gives it, on
// the camera's own clock; nothing for a zero or impossible date.
[[nodiscard]] std::optional<int64_t> TMKMediaStartSeconds(const TMKMedia& media);

// One pair of a trip.
struct TMKTripRecording {
    std::shared_ptr<TMKMediaPair> pair;
    int64_t startSeconds = 0;   // camera clock, from the name
    double lengthSeconds = 0;   // the longer side's header length, or the default
    bool lengthKnown = false;   // false when no side's header could be read
    double offsetSeconds = 0;   // start on the trip's time axis

    // The recording whose telemetry stands for the pair: the front one, the
    // rear one when there is no front.
    [[nodiscard]] std::shared_ptr<TMKMedia> lead() const;
    [[nodiscard]] double endSeconds() const { return static_cast<double>(startSeconds) + lengthSeconds; }
    [[nodiscard]] bool isEvent() const;
};

struct TMKTrip {
    std::vector<TMKTripRecording> recordings;

    [[nodiscard]] int64_t startSeconds() const { return recordings.empty() ? 0 : recordings.front().startSeconds; }
    // Seconds from the trip's start to the end of its last-ending recording.
    [[nodiscard]] double lengthSeconds() const;
    // "alwa_20261107_071500" style name of the first recording, for titles.
    [[nodiscard]] std::string name() const;
};

struct TMKTripOptions {
    // The camera starts the next file when it closes one; names are to the
    // second and the header lengths are rounded to frames, so a next file
    // may start a little before or after the previous one ends.
    double toleranceSeconds = 5;
    // Used for a recording whose header cannot be read: the camera's usual
    // file length.
    double defaultLengthSeconds = 60;
    // The camera cuts files of a few minutes; a header claiming more is
    // damaged and its length is not used.
    double maxLengthSeconds = 3600;
};

using TMKLengthReader = std::function<std::optional<double>(const std::string& path)>;

// Groups pairs, taken in the order given (the catalogue's: oldest first),
// into trips. A pair joins the current trip when it starts no later than the
// trip's end plus the tolerance. A trip ends at a gap, and where the
// camera's clock was set back: a pair that starts before the previous one,
// or a recording of the same mode that starts before the previous one of that
// mode has ended (beyond the tolerance), which one camera cannot record.
// Pairs without a usable date form a trip of their own each.
[[nodiscard]] std::vector<TMKTrip> TMKGroupTrips(const std::vector<std::shared_ptr<TMKMediaPair>>& pairs,
                                                 const TMKTripOptions& options = {},
                                                 const TMKLengthReader& lengthOf = TMKAviLengthSeconds);
// The catalogue's pairs in the order of its rows (each pair once, at its
// first row).
[[nodiscard]] std::vector<std::shared_ptr<TMKMediaPair>> TMKCataloguePairs(const TMKMediaList& list);
[[nodiscard]] std::vector<TMKTrip> TMKGroupTrips(const TMKMediaList& list, const TMKTripOptions& options = {},
                                                 const TMKLengthReader& lengthOf = TMKAviLengthSeconds);

// One GPS fix of a trip's track.
struct TMKTrackPoint {
    double seconds = 0;             // on the trip's time axis
    std::size_t recording = 0;      // index into the trip's recordings
    double secondsInRecording = 0;
    bool hasUtc = false;
    _SYSTEMTIME utc;                // from RMC
    double latitude = 0;            // decimal degrees, south negative
    double longitude = 0;           // decimal degrees, west negative
    bool hasAltitude = false;
    double altitude = 0;            // metres above mean sea level, from GGA
    double speedKmh = 0;
    double course = 0;              // degrees
    double hdop = 0;
    uint32_t satellites = 0;

    friend bool operator==(const TMKTrackPoint&, const TMKTrackPoint&) = default;
};

// One G-sensor sample of a trip.
struct TMKTripSample {
    double seconds = 0; // on the trip's time axis
    std::size_t recording = 0;
    float x = 0;
    float y = 0;
    float z = 0;
};

struct TMKTripTelemetry {
    std::vector<TMKTrackPoint> points;  // strictly later one after the other
    std::vector<TMKTripSample> samples; // strictly later one after the other
    // Recordings of the trip that gave no telemetry from either side: not
    // readable, not an AVI, cut short, or nothing in the index.
    std::vector<std::size_t> unreadable;
};

// A calendar date and time of day that exists (no leap seconds).
[[nodiscard]] bool TMKIsValidUtc(const _SYSTEMTIME& time);
// The UTC time of a point in milliseconds since 1970.
[[nodiscard]] int64_t TMKUtcMilliseconds(const _SYSTEMTIME& time);

// The fixes of one recording, one per GPS record that holds a valid
// position (RMC status 'A' or GGA quality above 0, and a non-zero position
// on the globe), the UTC time only when it is a real one,
// in file order, `seconds` being the record's time in the recording.
[[nodiscard]] std::vector<TMKTrackPoint> TMKRecordingFixes(const TMKBlackBoxData& data);

// Reads each recording's telemetry once (the lead side, the other side when
// the lead gives none) and merges it. Fixes keep the trip's order and a fix
// not strictly later than the one before (on the time axis, and by UTC when
// both have it) is dropped: consecutive files may both hold their boundary
// second, and overlapping recordings repeat whole stretches. Samples
// are placed at their recording's offset plus their own time and, for the
// same reason, kept only when strictly later than the one before.
// `progress`, when given, is told before each recording how many have been
// read of how many; returning false stops the reading there (what was
// merged so far is returned).
using TMKTripProgress = std::function<bool(std::size_t done, std::size_t total)>;
[[nodiscard]] TMKTripTelemetry TMKReadTripTelemetry(const TMKTrip& trip, const TMKTripProgress& progress = {});

// Where a recording lies among trips: the trip and the recording's index in
// it, by the path of either side; nothing when no trip holds it.
struct TMKTripPosition {
    std::size_t trip = 0;
    std::size_t recording = 0;
};
[[nodiscard]] std::optional<TMKTripPosition> TMKFindTripRecording(const std::vector<TMKTrip>& trips,
                                                                  const std::string& path);
