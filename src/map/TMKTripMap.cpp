#include "map/TMKTripMap.h"

#include "map/TMKMapScripts.h"

#include <QList>

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

void TMKTripMap::showTrip(const QStringList& recordings, const std::vector<TMKTrackPoint>& points, int highlighted)
{
    m_recordings = recordings;
    m_highlighted = highlighted;
    const QList<TMKMapTripPoint> shown = thinned(points, kMaxPoints);
    emit scriptReady(TMKSetTripScript(m_recordings, shown, m_highlighted));
    emit tripShown(static_cast<int>(m_recordings.size()), static_cast<int>(shown.size()));
}

void TMKTripMap::showHighlight(int recording)
{
    m_highlighted = recording;
    emit scriptReady(TMKSetTripHighlightScript(recording));
}
