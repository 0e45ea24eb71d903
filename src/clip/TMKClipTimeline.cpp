#include "clip/TMKClipTimeline.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

struct Span {
    std::size_t recording;
    std::string path;
    double offset;
    double end;
};

// Each recording of the camera with its own extent on the trip's axis.
std::vector<Span> cameraSpans(const TMKTrip& trip, TMKClipCamera camera, const TMKLengthReader& lengthOf)
{
    std::vector<Span> spans;
    for (std::size_t i = 0; i < trip.recordings.size(); ++i) {
        const TMKTripRecording& r = trip.recordings[i];
        if (!r.pair)
            continue;
        const auto& media = camera == TMKClipCamera::Front ? r.pair->frontMedia : r.pair->rearMedia;
        if (!media)
            continue;
        std::optional<double> length = lengthOf ? lengthOf(media->path) : std::nullopt;
        if (!length || !(*length > 0) || *length > r.lengthSeconds + 1e-6)
            length = r.lengthSeconds;
        spans.push_back({i, media->path, r.offsetSeconds, r.offsetSeconds + *length});
    }
    return spans;
}

bool parseNumber(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) && value >= 0;
}

bool parseField(std::string_view text, int& value, int max)
{
    if (text.empty() || text.size() > 2)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

// Seconds of the day of "HH:MM[:SS[.fff]]", or nothing.
std::optional<double> clockSeconds(std::string_view text)
{
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::size_t second = text.find(':', first + 1);
    int hours = 0;
    int minutes = 0;
    double seconds = 0;
    if (!parseField(text.substr(0, first), hours, 23))
        return std::nullopt;
    const std::string_view minuteText =
        text.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    if (!parseField(minuteText, minutes, 59))
        return std::nullopt;
    if (second != std::string_view::npos
        && (!parseNumber(text.substr(second + 1), seconds) || seconds >= 60 || text.substr(second + 1).size() < 2))
        return std::nullopt;
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

} // namespace

std::vector<TMKClipSegment> TMKClipSegments(const TMKTrip& trip, TMKClipCamera camera, double from, double to,
                                            const TMKLengthReader& lengthOf)
{
    std::vector<TMKClipSegment> segments;
    double covered = from; // what earlier recordings gave already
    for (const Span& span : cameraSpans(trip, camera, lengthOf)) {
        const double start = std::max({span.offset, covered, from});
        const double end = std::min(span.end, to);
        if (end <= start)
            continue;
        segments.push_back({span.recording, span.path, start, end, span.offset});
        covered = end;
    }
    return segments;
}

std::vector<TMKClipSegment> TMKClipCopySegments(const TMKTrip& trip, TMKClipCamera camera, double from, double to,
                                                const TMKLengthReader& lengthOf)
{
    const std::vector<Span> spans = cameraSpans(trip, camera, lengthOf);
    std::vector<TMKClipSegment> segments;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        double end = spans[i].end;
        if (i + 1 < spans.size())
            end = std::min(end, spans[i + 1].offset);
        const double start = std::max(spans[i].offset, from);
        end = std::min(end, to);
        if (end > start)
            segments.push_back({spans[i].recording, spans[i].path, start, end, spans[i].offset});
    }
    return segments;
}

std::optional<double> TMKClipParseTime(std::string_view text, const TMKTrip& trip)
{
    double seconds = 0;
    if (parseNumber(text, seconds))
        return seconds;
    const std::optional<double> clock = clockSeconds(text);
    if (!clock || trip.recordings.empty())
        return std::nullopt;
    const auto startOfDay = static_cast<double>(((trip.startSeconds() % 86400) + 86400) % 86400);
    double at = *clock - startOfDay;
    if (at < 0)
        at += 86400;
    return at;
}

std::optional<TMKClipMoment> TMKClipFindMoment(std::string_view text, const std::vector<TMKTrip>& trips)
{
    double seconds = 0;
    if (parseNumber(text, seconds))
        return trips.empty() ? std::nullopt : std::optional<TMKClipMoment>(TMKClipMoment{0, seconds});
    for (std::size_t i = 0; i < trips.size(); ++i) {
        const std::optional<double> at = TMKClipParseTime(text, trips[i]);
        if (!at)
            return std::nullopt;
        if (*at <= trips[i].lengthSeconds())
            return TMKClipMoment{i, *at};
    }
    return std::nullopt;
}
