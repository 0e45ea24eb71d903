#include "media/TMKEventMarkers.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Gravity {
    double x = 0;
    double y = 0;
    double z = 1;
};

double median(std::vector<float>& values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Gravity once per bucket (a second, or longer when the samples are sparse:
// never more buckets than samples), from the samples within the window
// around it: a median per sample would cost the window's length for every
// sample.
std::vector<Gravity> gravityByBucket(const std::vector<TMKTripSample>& samples, double start, double width,
                                     std::size_t seconds, double window)
{
    std::vector<Gravity> gravity(seconds);
    std::array<std::vector<float>, 3> axis;
    std::size_t from = 0;
    std::size_t to = 0;
    for (std::size_t s = 0; s < seconds; ++s) {
        const double centre = start + (static_cast<double>(s) + 0.5) * width;
        while (from < samples.size() && samples[from].seconds < centre - window)
            ++from;
        to = std::max(to, from);
        while (to < samples.size() && samples[to].seconds <= centre + window)
            ++to;
        if (from == to) {
            gravity[s] = s > 0 ? gravity[s - 1] : Gravity{};
            continue;
        }
        for (auto& values : axis)
            values.clear();
        for (std::size_t i = from; i < to; ++i) {
            axis[0].push_back(samples[i].x);
            axis[1].push_back(samples[i].y);
            axis[2].push_back(samples[i].z);
        }
        gravity[s] = {median(axis[0]), median(axis[1]), median(axis[2])};
    }
    return gravity;
}

} // namespace

std::vector<TMKEventMarker> TMKDetectEvents(const std::vector<TMKTripSample>& samples, const TMKEventOptions& options)
{
    std::vector<TMKEventMarker> events;
    if (samples.empty() || !(options.thresholdG > 0))
        return events;
    const double start = samples.front().seconds;
    const double span = samples.back().seconds - start;
    if (!std::isfinite(span) || span < 0)
        return events;
    const double width = std::max(1.0, span / static_cast<double>(samples.size()));
    const auto seconds = static_cast<std::size_t>(span / width) + 1;
    const std::vector<Gravity> gravity =
        gravityByBucket(samples, start, width, seconds, std::max(options.gravityWindowSeconds, width));

    bool open = false;
    double lastAbove = 0;
    std::array<double, 3> peakAxes{};
    for (const TMKTripSample& sample : samples) {
        const auto bucket =
            std::min(static_cast<std::size_t>(std::max(sample.seconds - start, 0.0) / width), seconds - 1);
        const Gravity& g = gravity[bucket];
        const std::array<double, 3> r = {sample.x - g.x, sample.y - g.y, sample.z - g.z};
        const double magnitude = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
        if (!(magnitude >= options.thresholdG))
            continue;
        if (!open || sample.seconds > lastAbove + options.debounceSeconds) {
            events.push_back({});
            events.back().peakG = -1;
            open = true;
        }
        lastAbove = sample.seconds;
        TMKEventMarker& event = events.back();
        if (magnitude > event.peakG) {
            event.peakG = magnitude;
            event.seconds = sample.seconds;
            event.recording = sample.recording;
            peakAxes = r;
            const std::size_t dominant = static_cast<std::size_t>(
                std::max_element(peakAxes.begin(), peakAxes.end(),
                                 [](double a, double b) { return std::fabs(a) < std::fabs(b); })
                - peakAxes.begin());
            event.kind = dominant == 2   ? TMKEventKind::Impact
                         : dominant == 1 ? TMKEventKind::SharpTurn
                         : r[0] < 0      ? TMKEventKind::HardBraking
                                         : TMKEventKind::HardAcceleration;
        }
    }
    return events;
}

std::vector<TMKEventMarker> TMKTripEventMarkers(const TMKTrip& trip, const TMKTripTelemetry& telemetry,
                                                const TMKEventOptions& options)
{
    std::vector<TMKEventMarker> markers = TMKDetectEvents(telemetry.samples, options);
    for (TMKEventMarker& marker : markers) {
        if (marker.recording < trip.recordings.size())
            marker.secondsInRecording = marker.seconds - trip.recordings[marker.recording].offsetSeconds;
    }
    for (std::size_t i = 0; i < trip.recordings.size(); ++i) {
        if (!trip.recordings[i].isEvent())
            continue;
        TMKEventMarker marker;
        marker.seconds = trip.recordings[i].offsetSeconds;
        marker.kind = TMKEventKind::EventRecording;
        marker.recording = i;
        markers.push_back(marker);
    }
    std::stable_sort(markers.begin(), markers.end(),
                     [](const TMKEventMarker& a, const TMKEventMarker& b) { return a.seconds < b.seconds; });
    return markers;
}

std::optional<std::size_t> TMKNextMarker(const std::vector<TMKEventMarker>& markers, double seconds, double grace)
{
    const auto it = std::upper_bound(markers.begin(), markers.end(), seconds + grace,
                                     [](double at, const TMKEventMarker& m) { return at < m.seconds; });
    if (it == markers.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - markers.begin());
}

std::optional<std::size_t> TMKPreviousMarker(const std::vector<TMKEventMarker>& markers, double seconds, double grace)
{
    const auto it = std::lower_bound(markers.begin(), markers.end(), seconds - grace,
                                     [](const TMKEventMarker& m, double at) { return m.seconds < at; });
    if (it == markers.begin())
        return std::nullopt;
    return static_cast<std::size_t>(it - markers.begin()) - 1;
}

const char* TMKEventKindName(TMKEventKind kind)
{
    switch (kind) {
    case TMKEventKind::HardBraking: return "hard braking";
    case TMKEventKind::HardAcceleration: return "hard acceleration";
    case TMKEventKind::SharpTurn: return "sharp turn";
    case TMKEventKind::Impact: return "impact";
    case TMKEventKind::EventRecording: return "event recording";
    }
    return "event";
}
