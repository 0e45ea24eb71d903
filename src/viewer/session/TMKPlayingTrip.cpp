#include "viewer/session/TMKPlayingTrip.h"

#include "media/TMKMediaList.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

TMKPlayingTrip::TMKPlayingTrip(QObject* parent) : QObject(parent) {}

TMKPlayingTrip::~TMKPlayingTrip()
{
    // Results posted after this are dropped with this object's events.
    stop();
    m_work.waitForFinished();
}

void TMKPlayingTrip::stop()
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
    m_busy = false;
    ++m_generation;
}

void TMKPlayingTrip::showTripOf(const TMKMediaList& list, const QString& path)
{
    const std::string wanted = path.toStdString();
    std::vector<std::shared_ptr<TMKMediaPair>> pairs = TMKCataloguePairs(list);

    // The same list and a recording of the trip read: only the highlight moves.
    if (!m_busy && !m_trip.recordings.empty() && pairs == m_pairs) {
        if (const auto at = TMKFindTripRecording({m_trip}, wanted)) {
            m_highlighted = static_cast<int>(at->recording);
            emit highlightMoved(m_highlighted);
            emit markersChanged();
            return;
        }
    }

    stop();
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    m_busy = true;
    const uint64_t generation = m_generation;
    m_work = QtConcurrent::run([this, cancel, generation, wanted, events = m_eventOptions,
                                pairs = std::move(pairs)]() mutable {
        auto result = std::make_shared<Result>();
        // Grouping reads each recording's header: on this worker too.
        std::vector<TMKTrip> trips = TMKGroupTrips(pairs);
        if (cancel->load())
            return;
        if (const auto at = TMKFindTripRecording(trips, wanted)) {
            result->trip = std::move(trips[at->trip]);
            result->highlighted = static_cast<int>(at->recording);
            for (const TMKTripRecording& recording : result->trip.recordings) {
                const auto lead = recording.lead();
                result->recordings << (lead ? QString::fromStdString(lead->path) : QString());
            }
            TMKTripTelemetry telemetry =
                TMKReadTripTelemetry(result->trip, [&cancel](std::size_t, std::size_t) { return !cancel->load(); });
            if (cancel->load())
                return;
            result->markers = TMKTripEventMarkers(result->trip, telemetry, events);
            result->points = std::move(telemetry.points);
        }
        result->pairs = std::move(pairs);
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(this, [this, generation, result] { apply(generation, result); }, Qt::QueuedConnection);
    });
}

void TMKPlayingTrip::apply(uint64_t generation, const std::shared_ptr<Result>& result)
{
    // A newer request since: this trip is not the one playing.
    if (generation != m_generation)
        return;
    m_busy = false;
    m_pairs = std::move(result->pairs);
    m_trip = std::move(result->trip);
    m_points = std::move(result->points);
    m_recordings = result->recordings;
    m_highlighted = result->highlighted;
    m_markers = std::move(result->markers);
    emit tripRead();
    emit markersChanged();
}

// Where `path` lies in the trip read; nothing while that is not its trip.
std::optional<std::size_t> TMKPlayingTrip::recordingOf(const QString& path) const
{
    if (m_busy || path.isEmpty())
        return std::nullopt;
    const auto at = TMKFindTripRecording({m_trip}, path.toStdString());
    if (!at)
        return std::nullopt;
    return at->recording;
}

QList<TMKPlayingTrip::SliderMark> TMKPlayingTrip::sliderMarks(const QString& path) const
{
    QList<SliderMark> shown;
    const auto recording = recordingOf(path);
    if (!recording)
        return shown;
    const double length = m_trip.recordings[*recording].lengthSeconds;
    for (const TMKEventMarker& marker : m_markers) {
        if (marker.recording == *recording && length > 0)
            shown.push_back({std::clamp(marker.secondsInRecording / length, 0.0, 1.0),
                             marker.kind == TMKEventKind::EventRecording});
    }
    return shown;
}

std::optional<TMKPlayingTrip::Place> TMKPlayingTrip::markerFrom(const QString& path, double seconds, bool next) const
{
    const auto recording = recordingOf(path);
    if (!recording)
        return std::nullopt;
    const double now = m_trip.recordings[*recording].offsetSeconds + seconds;
    const auto index = next ? TMKNextMarker(m_markers, now) : TMKPreviousMarker(m_markers, now);
    if (!index)
        return std::nullopt;
    const TMKEventMarker& marker = m_markers[*index];
    Place place;
    place.seconds = marker.secondsInRecording;
    if (marker.recording != *recording) {
        const auto lead = m_trip.recordings[marker.recording].lead();
        if (!lead)
            return std::nullopt;
        place.path = QString::fromStdString(lead->path);
    }
    return place;
}
