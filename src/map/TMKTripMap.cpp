#include "map/TMKTripMap.h"

#include "map/TMKMapScripts.h"
#include "media/TMKMediaList.h"

#include <QList>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QList<TMKMapTripPoint> thinned(const std::vector<TMKTrackPoint>& points, std::size_t limit)
{
    QList<TMKMapTripPoint> out;
    if (points.empty())
        return out;
    const std::size_t step = (points.size() + limit - 1) / limit;
    out.reserve(static_cast<qsizetype>(points.size() / step + 1));
    for (std::size_t i = 0; i < points.size(); i += step) {
        const TMKTrackPoint& p = points[i];
        out.push_back({p.latitude, p.longitude, static_cast<int>(p.recording), p.secondsInRecording});
    }
    // The trip's last fix stays its end.
    if ((points.size() - 1) % step != 0) {
        const TMKTrackPoint& p = points.back();
        out.push_back({p.latitude, p.longitude, static_cast<int>(p.recording), p.secondsInRecording});
    }
    return out;
}

} // namespace

TMKTripMap::TMKTripMap(QObject* parent)
    : QObject(parent)
{
}

TMKTripMap::~TMKTripMap()
{
    // Results posted after this are dropped with this object's events.
    stop();
    m_work.waitForFinished();
}

void TMKTripMap::stop()
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
    m_busy = false;
    ++m_generation;
}

void TMKTripMap::showTripOf(const TMKMediaList& list, const QString& path)
{
    const std::string wanted = path.toStdString();
    std::vector<std::shared_ptr<TMKMediaPair>> pairs = TMKCataloguePairs(list);

    // The same catalogue and a recording of the trip shown: only the
    // highlight moves.
    if (!m_busy && !m_trip.recordings.empty() && pairs == m_pairs) {
        if (const auto at = TMKFindTripRecording({m_trip}, wanted)) {
            m_highlighted = static_cast<int>(at->recording);
            emit scriptReady(TMKSetTripHighlightScript(m_highlighted));
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
        const auto at = TMKFindTripRecording(trips, wanted);
        QList<TMKMapTripPoint> points;
        if (at) {
            result->trip = std::move(trips[at->trip]);
            result->highlighted = static_cast<int>(at->recording);
            for (const TMKTripRecording& recording : result->trip.recordings) {
                const auto lead = recording.lead();
                result->recordings << (lead ? QString::fromStdString(lead->path) : QString());
            }
            const TMKTripTelemetry telemetry =
                TMKReadTripTelemetry(result->trip, [&cancel](std::size_t, std::size_t) { return !cancel->load(); });
            if (cancel->load())
                return;
            points = thinned(telemetry.points, kMaxPoints);
            result->markers = TMKTripEventMarkers(result->trip, telemetry, events);
        }
        result->points = static_cast<int>(points.size());
        result->script = TMKSetTripScript(result->recordings, points, result->highlighted);
        result->pairs = std::move(pairs);
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(this, [this, generation, result] { apply(generation, result); }, Qt::QueuedConnection);
    });
}

void TMKTripMap::apply(uint64_t generation, const std::shared_ptr<Result>& result)
{
    // A newer request since: this trip is not the one playing.
    if (generation != m_generation)
        return;
    m_busy = false;
    m_pairs = std::move(result->pairs);
    m_trip = std::move(result->trip);
    m_recordings = result->recordings;
    m_highlighted = result->highlighted;
    m_markers = std::move(result->markers);
    emit scriptReady(result->script);
    emit tripShown(static_cast<int>(m_recordings.size()), result->points);
    emit markersChanged();
}
