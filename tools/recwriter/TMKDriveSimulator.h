#pragma once

#include "TMKNmeaBuilder.h"
#include "media/TMKAviRecords.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A simulated drive: a car follows a route of waypoints at a scripted speed;
// the simulator tells its GPS fixes and G-sensor samples at any moment.

struct TMKWaypoint {
    double latitude;  // decimal degrees
    double longitude;
    // The corner at this waypoint is driven as a circular arc of this radius
    // (less where the adjoining legs are too short for it).
    double cornerRadiusMeters = 30;
};

struct TMKRoutePose {
    double latitude = 0;
    double longitude = 0;
    double headingDegrees = 0; // compass: 0 north, 90 east
};

// The route as lines joined by arcs, in a local flat projection around the
// first waypoint (good to centimetres over a town's extent).
class TMKRoute {
public:
    explicit TMKRoute(std::vector<TMKWaypoint> waypoints);

    [[nodiscard]] double length() const { return m_length; }
    // Where the corner at waypoint `index` begins and ends along the route;
    // the first and last waypoints have none (start == end).
    [[nodiscard]] double cornerStart(std::size_t index) const;
    [[nodiscard]] double cornerEnd(std::size_t index) const;
    // Clamped to the route: before it is its start, past it its end.
    [[nodiscard]] TMKRoutePose poseAt(double distance) const;

private:
    struct Piece {
        double start;     // distance along the route
        double length;
        double x;         // start point, metres east of the origin
        double y;         // metres north
        double heading;   // at the start, radians, compass sense
        double curvature; // 1/radius, positive turning right; 0 on lines
    };
    std::vector<Piece> m_pieces;
    std::vector<double> m_cornerStart;
    std::vector<double> m_cornerEnd;
    double m_originLatitude = 0;
    double m_originLongitude = 0;
    double m_length = 0;
};

// Speed over time as keyframes, linear in between, built step by step.
class TMKSpeedProfile {
public:
    explicit TMKSpeedProfile(double initialKmh = 0);

    TMKSpeedProfile& hold(double seconds);
    TMKSpeedProfile& ramp(double toKmh, double seconds);
    // Keeps the current speed until the car is `meters` along; nothing when
    // it is there already or stands.
    TMKSpeedProfile& holdUntilDistance(double meters);
    // Names the current end of the profile, to find a scripted moment later.
    TMKSpeedProfile& mark(const std::string& name);

    [[nodiscard]] double endSeconds() const { return m_keys.back().seconds; }
    [[nodiscard]] double endDistance() const { return m_keys.back().distance; }
    [[nodiscard]] double endKmh() const { return m_keys.back().kmh; }
    [[nodiscard]] double markSeconds(const std::string& name) const; // -1 when unknown
    // Distance covered by ramping from the current speed to `toKmh`.
    [[nodiscard]] double rampDistance(double toKmh, double seconds) const;

    // After the last keyframe the last speed holds.
    [[nodiscard]] double kmhAt(double seconds) const;
    [[nodiscard]] double distanceAt(double seconds) const;

private:
    struct Key {
        double seconds;
        double kmh;
        double distance;
    };
    std::vector<Key> m_keys;
    std::map<std::string, double> m_marks;
};

struct TMKDriveOptions {
    TMKUtcTime startUtc;      // of drive time 0
    uint64_t seed = 1;
    int drivingNoise = 3;     // amplitude in 1/256 g: engine and road
    int parkedNoise = 1;      // engine off
    bool withGns = false;     // add $GNGNS to the GPS records
};

// The state of the car at one moment.
struct TMKDriveSample {
    double seconds = 0;
    double kmh = 0;
    double distance = 0;
    double longitudinal = 0; // m/s^2, braking negative
    double lateral = 0;      // m/s^2, towards the car's right positive
    double yawRate = 0;      // degrees per second, turning right positive
    TMKRoutePose pose;
};

// The telemetry of one recording; timestamps count from its start.
struct TMKTelemetry {
    std::vector<_AVI_GSENSOR_DATA_T> gsensor; // every 100 ms
    std::vector<_AVI_GPS_DATA_T> gps;         // every 1000 ms
    std::vector<TMKNmeaFix> fixes;            // the fix behind each GPS record
};

class TMKDriveSimulator {
public:
    static constexpr uint32_t kGSensorPeriodMs = 100;
    static constexpr uint32_t kGpsPeriodMs = 1000;
    static constexpr double kStandardGravity = 9.80665;

    TMKDriveSimulator(TMKRoute route, TMKSpeedProfile profile, TMKDriveOptions options);

    [[nodiscard]] const TMKRoute& route() const { return m_route; }
    [[nodiscard]] const TMKSpeedProfile& profile() const { return m_profile; }
    [[nodiscard]] const TMKDriveOptions& options() const { return m_options; }

    [[nodiscard]] TMKDriveSample sampleAt(double seconds) const;
    [[nodiscard]] TMKNmeaFix fixAt(uint32_t driveMs) const;
    // Noise depends on the seed and the drive time only, so that the front
    // and rear recordings of a moment carry the same samples.
    [[nodiscard]] _AVI_GSENSOR_DATA_T gsensorAt(uint32_t driveMs, uint32_t timestampMs) const;

    // A recording of [startMs, startMs + durationMs) of the drive.
    [[nodiscard]] TMKTelemetry record(uint32_t startMs, uint32_t durationMs) const;

private:
    TMKRoute m_route;
    TMKSpeedProfile m_profile;
    TMKDriveOptions m_options;
};

// Leopoldstraße southwards, Siegestor, Ludwigstraße, a sharp right turn at
// Odeonsplatz into Brienner Straße, past Karolinenplatz to Königsplatz.
[[nodiscard]] TMKRoute TMKMunichRoute();
// The index of the Odeonsplatz corner in TMKMunichRoute().
constexpr std::size_t kTMKMunichOdeonsplatzCorner = 4;
