#include "viewer/session/TMKClipMarks.h"

#include "viewer/session/TMKPlayingTrip.h"

#include <algorithm>

TMKClipMarks::TMKClipMarks(const TMKPlayingTrip* trip, QObject* parent) : QObject(parent), m_playing(trip) {}

bool TMKClipMarks::sameTrip(const TMKTrip& trip) const
{
    if (trip.recordings.size() != m_trip.recordings.size())
        return false;
    for (std::size_t i = 0; i < trip.recordings.size(); ++i) {
        const auto a = trip.recordings[i].lead();
        const auto b = m_trip.recordings[i].lead();
        if (!a || !b || a->path != b->path)
            return false;
    }
    return true;
}

bool TMKClipMarks::mark(bool end, const QString& path, double seconds)
{
    if (m_playing->isBusy() || path.isEmpty())
        return false;
    const TMKTrip& trip = m_playing->trip();
    const auto at = TMKFindTripRecording({trip}, path.toStdString());
    if (!at)
        return false;
    if (!sameTrip(trip)) {
        m_trip = trip;
        m_start.reset();
        m_end.reset();
    }
    const double moment = trip.recordings[at->recording].offsetSeconds + std::max(seconds, 0.0);
    (end ? m_end : m_start) = moment;
    // A start set past the end (or an end before the start) turns the span
    // around rather than leaving an empty one.
    if (m_start && m_end && *m_end < *m_start)
        std::swap(m_start, m_end);
    emit changed();
    return true;
}

void TMKClipMarks::clear()
{
    if (!m_start && !m_end)
        return;
    m_start.reset();
    m_end.reset();
    emit changed();
}

std::optional<TMKClipMarks::Shown> TMKClipMarks::shownIn(const QString& path) const
{
    if ((!m_start && !m_end) || path.isEmpty())
        return std::nullopt;
    const auto at = TMKFindTripRecording({m_trip}, path.toStdString());
    if (!at)
        return std::nullopt;
    const TMKTripRecording& recording = m_trip.recordings[at->recording];
    const double length = recording.lengthSeconds;
    if (!(length > 0))
        return std::nullopt;
    // A single mark shows as a span of no width at its moment.
    const double start = (m_start ? *m_start : *m_end) - recording.offsetSeconds;
    const double end = (m_end ? *m_end : *m_start) - recording.offsetSeconds;
    if (end < 0 || start > length)
        return std::nullopt;
    return Shown{std::clamp(start / length, 0.0, 1.0), std::clamp(end / length, 0.0, 1.0)};
}

std::optional<TMKClipMarks::Span> TMKClipMarks::clipSpan(const QString& playing) const
{
    if (isComplete())
        return Span{m_trip, *m_start, *m_end};
    if (m_start || m_end) {
        const double mark = m_start ? *m_start : *m_end;
        // The last recording holding the moment: at a boundary, the later one.
        for (auto it = m_trip.recordings.rbegin(); it != m_trip.recordings.rend(); ++it) {
            if (it->offsetSeconds <= mark && mark < it->offsetSeconds + it->lengthSeconds)
                return m_start ? Span{m_trip, mark, it->offsetSeconds + it->lengthSeconds}
                               : Span{m_trip, it->offsetSeconds, mark};
        }
        return std::nullopt;
    }
    if (m_playing->isBusy() || playing.isEmpty())
        return std::nullopt;
    const TMKTrip& trip = m_playing->trip();
    const auto at = TMKFindTripRecording({trip}, playing.toStdString());
    if (!at)
        return std::nullopt;
    const TMKTripRecording& recording = trip.recordings[at->recording];
    return Span{trip, recording.offsetSeconds, recording.offsetSeconds + recording.lengthSeconds};
}
