#include "TMKDriveSimulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kEarthRadius = 6371000.0;
constexpr double kMetersPerDegree = kEarthRadius * kPi / 180.0;
constexpr double kKnotsPerKmh = 1.0 / 1.852;

double toRadians(double degrees)
{
    return degrees * kPi / 180.0;
}

// Into (-pi, pi].
double wrapAngle(double radians)
{
    while (radians > kPi)
        radians -= 2 * kPi;
    while (radians <= -kPi)
        radians += 2 * kPi;
    return radians;
}

uint64_t splitmix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Integer in [-amplitude, amplitude], a pure function of its inputs.
int32_t noise(uint64_t seed, uint32_t driveMs, uint32_t axis, int amplitude)
{
    if (amplitude <= 0)
        return 0;
    const uint64_t h = splitmix64(splitmix64(seed) ^ (uint64_t{driveMs} << 2 | axis));
    const auto span = static_cast<uint64_t>(2 * amplitude + 1);
    return static_cast<int32_t>(h % span) - amplitude;
}

int32_t toSensorUnits(double metersPerSecond2)
{
    return static_cast<int32_t>(std::lround(metersPerSecond2 / TMKDriveSimulator::kStandardGravity * 256.0));
}

} // namespace

TMKRoute::TMKRoute(std::vector<TMKWaypoint> waypoints)
{
    if (waypoints.empty())
        throw std::invalid_argument("a route needs a waypoint");
    m_originLatitude = waypoints.front().latitude;
    m_originLongitude = waypoints.front().longitude;
    const double lonScale = std::cos(toRadians(m_originLatitude));

    struct Point {
        double x;
        double y;
        std::size_t waypoint; // the waypoint it came from
    };
    std::vector<Point> points;
    for (std::size_t i = 0; i < waypoints.size(); ++i) {
        const TMKWaypoint& w = waypoints[i];
        const Point p{(w.longitude - m_originLongitude) * kMetersPerDegree * lonScale,
                      (w.latitude - m_originLatitude) * kMetersPerDegree, i};
        // Repeated points would give legs without a direction.
        if (points.empty() || std::hypot(p.x - points.back().x, p.y - points.back().y) > 1e-6)
            points.push_back(p);
    }
    m_cornerStart.assign(waypoints.size(), 0);
    m_cornerEnd.assign(waypoints.size(), 0);
    if (points.size() < 2) {
        m_pieces.push_back({0, 0, points[0].x, points[0].y, 0, 0});
        return;
    }

    const std::size_t legs = points.size() - 1;
    std::vector<double> legLength(legs);
    std::vector<double> legHeading(legs);
    for (std::size_t i = 0; i < legs; ++i) {
        const double dx = points[i + 1].x - points[i].x;
        const double dy = points[i + 1].y - points[i].y;
        legLength[i] = std::hypot(dx, dy);
        legHeading[i] = std::atan2(dx, dy);
    }

    double distance = 0;
    Point at = points[0];
    double enteredFrom = 0; // the part of the current leg used by the previous corner
    for (std::size_t i = 0; i < legs; ++i) {
        double tangent = 0;
        double turn = 0;
        double radius = 0;
        if (i + 1 < legs) {
            turn = wrapAngle(legHeading[i + 1] - legHeading[i]);
            const double wanted = waypoints[points[i + 1].waypoint].cornerRadiusMeters;
            const double half = std::tan(std::fabs(turn) / 2);
            if (half > 1e-9 && wanted > 0) {
                tangent = std::min({wanted * half, legLength[i] / 2, legLength[i + 1] / 2});
                radius = tangent / half;
            }
        }
        const double straight = legLength[i] - enteredFrom - tangent;
        if (straight > 0) {
            m_pieces.push_back({distance, straight, at.x, at.y, legHeading[i], 0});
            distance += straight;
            at.x += std::sin(legHeading[i]) * straight;
            at.y += std::cos(legHeading[i]) * straight;
        }
        if (i + 1 < legs) {
            const std::size_t corner = points[i + 1].waypoint;
            m_cornerStart[corner] = distance;
            if (radius > 0) {
                const double arc = radius * std::fabs(turn);
                const double curvature = (turn > 0 ? 1.0 : -1.0) / radius;
                m_pieces.push_back({distance, arc, at.x, at.y, legHeading[i], curvature});
                distance += arc;
                // The arc ends `tangent` into the next leg.
                at.x = points[i + 1].x + std::sin(legHeading[i + 1]) * tangent;
                at.y = points[i + 1].y + std::cos(legHeading[i + 1]) * tangent;
            }
            m_cornerEnd[corner] = distance;
        }
        enteredFrom = tangent;
    }
    m_length = distance;
    if (m_pieces.empty())
        m_pieces.push_back({0, 0, points[0].x, points[0].y, legHeading[0], 0});
}

double TMKRoute::cornerStart(std::size_t index) const
{
    return index < m_cornerStart.size() ? m_cornerStart[index] : m_length;
}

double TMKRoute::cornerEnd(std::size_t index) const
{
    return index < m_cornerEnd.size() ? m_cornerEnd[index] : m_length;
}

TMKRoutePose TMKRoute::poseAt(double distance) const
{
    distance = std::clamp(distance, 0.0, m_length);
    auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), distance,
                                  [](double d, const Piece& p) { return d < p.start; });
    if (piece != m_pieces.begin())
        --piece;
    const double u = std::min(distance - piece->start, piece->length);

    double x = piece->x;
    double y = piece->y;
    double heading = piece->heading;
    if (piece->curvature == 0) {
        x += std::sin(heading) * u;
        y += std::cos(heading) * u;
    } else {
        const double k = piece->curvature;
        const double end = heading + k * u;
        x += (std::cos(heading) - std::cos(end)) / k;
        y += (std::sin(end) - std::sin(heading)) / k;
        heading = end;
    }

    TMKRoutePose pose;
    pose.latitude = m_originLatitude + y / kMetersPerDegree;
    pose.longitude = m_originLongitude + x / (kMetersPerDegree * std::cos(toRadians(m_originLatitude)));
    double degrees = std::fmod(heading * 180.0 / kPi, 360.0);
    if (degrees < 0)
        degrees += 360.0;
    pose.headingDegrees = degrees;
    return pose;
}

TMKSpeedProfile::TMKSpeedProfile(double initialKmh)
{
    m_keys.push_back({0, std::max(0.0, initialKmh), 0});
}

TMKSpeedProfile& TMKSpeedProfile::hold(double seconds)
{
    return ramp(endKmh(), seconds);
}

TMKSpeedProfile& TMKSpeedProfile::ramp(double toKmh, double seconds)
{
    if (seconds <= 0)
        return *this;
    toKmh = std::max(0.0, toKmh);
    const Key& last = m_keys.back();
    m_keys.push_back({last.seconds + seconds, toKmh, last.distance + rampDistance(toKmh, seconds)});
    return *this;
}

TMKSpeedProfile& TMKSpeedProfile::holdUntilDistance(double meters)
{
    const Key& last = m_keys.back();
    if (last.kmh <= 0 || meters <= last.distance)
        return *this;
    return hold((meters - last.distance) / (last.kmh / 3.6));
}

TMKSpeedProfile& TMKSpeedProfile::mark(const std::string& name)
{
    m_marks[name] = endSeconds();
    return *this;
}

double TMKSpeedProfile::markSeconds(const std::string& name) const
{
    const auto found = m_marks.find(name);
    return found == m_marks.end() ? -1 : found->second;
}

double TMKSpeedProfile::rampDistance(double toKmh, double seconds) const
{
    return (endKmh() + std::max(0.0, toKmh)) / 2 / 3.6 * seconds;
}

double TMKSpeedProfile::kmhAt(double seconds) const
{
    if (seconds <= m_keys.front().seconds)
        return m_keys.front().kmh;
    if (seconds >= m_keys.back().seconds)
        return m_keys.back().kmh;
    const auto next = std::upper_bound(m_keys.begin(), m_keys.end(), seconds,
                                       [](double s, const Key& k) { return s < k.seconds; });
    const Key& a = *(next - 1);
    const Key& b = *next;
    return a.kmh + (b.kmh - a.kmh) * (seconds - a.seconds) / (b.seconds - a.seconds);
}

double TMKSpeedProfile::distanceAt(double seconds) const
{
    if (seconds <= m_keys.front().seconds)
        return 0;
    const auto next = std::upper_bound(m_keys.begin(), m_keys.end(), seconds,
                                       [](double s, const Key& k) { return s < k.seconds; });
    const Key& a = *(next - 1);
    return a.distance + (a.kmh + kmhAt(seconds)) / 2 / 3.6 * (seconds - a.seconds);
}

TMKDriveSimulator::TMKDriveSimulator(TMKRoute route, TMKSpeedProfile profile, TMKDriveOptions options)
    : m_route(std::move(route)), m_profile(std::move(profile)), m_options(options)
{
}

TMKDriveSample TMKDriveSimulator::sampleAt(double seconds) const
{
    // Central differences over one G-sensor period: the sensor's own low-pass
    // filter, and it rounds off the kinks of the speed keyframes.
    constexpr double h = kGSensorPeriodMs / 2000.0;
    TMKDriveSample s;
    s.seconds = seconds;
    s.kmh = m_profile.kmhAt(seconds);
    s.distance = std::min(m_profile.distanceAt(seconds), m_route.length());
    s.pose = m_route.poseAt(s.distance);
    const double before = std::max(0.0, seconds - h);
    const double after = seconds + h;
    s.longitudinal = (m_profile.kmhAt(after) - m_profile.kmhAt(before)) / 3.6 / (after - before);
    // Past the end of the route the car cannot move, whatever the profile says.
    if (m_profile.distanceAt(before) >= m_route.length()) {
        s.kmh = 0;
        s.longitudinal = 0;
    }
    const double headingBefore = toRadians(m_route.poseAt(m_profile.distanceAt(before)).headingDegrees);
    const double headingAfter = toRadians(m_route.poseAt(m_profile.distanceAt(after)).headingDegrees);
    const double yawRate = wrapAngle(headingAfter - headingBefore) / (after - before);
    s.yawRate = yawRate * 180.0 / kPi;
    s.lateral = s.kmh / 3.6 * yawRate;
    return s;
}

TMKNmeaFix TMKDriveSimulator::fixAt(uint32_t driveMs) const
{
    const TMKDriveSample s = sampleAt(driveMs / 1000.0);
    TMKNmeaFix fix;
    fix.utc = TMKUtcAddSeconds(m_options.startUtc, driveMs / 1000);
    fix.utc.millisecond = static_cast<int>(driveMs % 1000);
    fix.latitude = s.pose.latitude;
    fix.longitude = s.pose.longitude;
    fix.speedKnots = s.kmh * kKnotsPerKmh;
    fix.courseDegrees = s.pose.headingDegrees;
    // A flat town: a few metres of climb over the route.
    fix.altitudeMeters = 519.0 + s.distance * 0.003;
    fix.gpsPrns = {2, 5, 12, 13, 15, 20, 25, 29};
    fix.glonassPrns = {65, 71, 72, 80};
    fix.hdop = 0.8;
    fix.pdop = 1.4;
    fix.vdop = 1.1;
    return fix;
}

_AVI_GSENSOR_DATA_T TMKDriveSimulator::gsensorAt(uint32_t driveMs, uint32_t timestampMs) const
{
    const TMKDriveSample s = sampleAt(driveMs / 1000.0);
    const int amplitude = s.kmh > 0.5 ? m_options.drivingNoise : m_options.parkedNoise;
    _AVI_GSENSOR_DATA_T record{};
    record.header = static_cast<int32_t>(TMKAviLayout::kGSensorHeader);
    record.timestamp = timestampMs;
    record.xAxis = toSensorUnits(s.longitudinal) + noise(m_options.seed, driveMs, 0, amplitude);
    record.yAxis = toSensorUnits(s.lateral) + noise(m_options.seed, driveMs, 1, amplitude);
    record.zAxis = 256 + noise(m_options.seed, driveMs, 2, amplitude);
    return record;
}

TMKTelemetry TMKDriveSimulator::record(uint32_t startMs, uint32_t durationMs) const
{
    TMKTelemetry telemetry;
    for (uint32_t t = 0; t < durationMs; t += kGSensorPeriodMs)
        telemetry.gsensor.push_back(gsensorAt(startMs + t, t));
    for (uint32_t t = 0; t < durationMs; t += kGpsPeriodMs) {
        const TMKNmeaFix fix = fixAt(startMs + t);
        const double distance = std::min(m_profile.distanceAt((startMs + t) / 1000.0), m_route.length());
        _AVI_GPS_DATA_T gps;
        TMKPackGpsRecord(TMKNmeaSentencesForFix(fix, m_options.withGns), fix, t, gps,
                         static_cast<uint32_t>(std::lround(distance)));
        telemetry.gps.push_back(gps);
        telemetry.fixes.push_back(fix);
    }
    return telemetry;
}

TMKRoute TMKMunichRoute()
{
    return TMKRoute({
        {48.15800, 11.58480, 30}, // Leopoldstraße near Giselastraße
        {48.15520, 11.58340, 60}, // Leopoldstraße, Akademie der Bildenden Künste
        {48.15235, 11.58200, 60}, // Siegestor
        {48.14790, 11.58010, 60}, // Ludwigstraße at Ludwigskirche
        {48.14300, 11.57760, 7},  // Odeonsplatz: right into Brienner Straße
        {48.14350, 11.57480, 40}, // Brienner Straße, Wittelsbacherplatz
        {48.14505, 11.56835, 25}, // Karolinenplatz
        {48.14570, 11.56560, 30}, // Königsplatz
    });
}
