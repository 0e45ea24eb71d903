#pragma once

#include "media/TMKTrip.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

// The playing trip on the map page: one setTrip script per trip with the
// playing recording highlighted, then only highlight moves. What the trip
// holds is read elsewhere and handed in. Main thread.
class TMKTripMap : public QObject {
    Q_OBJECT

public:
    // A two-hour drive has about 7200 fixes; more are thinned evenly, so
    // the script stays a few hundred kilobytes whatever the card holds.
    static constexpr std::size_t kMaxPoints = 20000;

    using QObject::QObject;

    // A new trip: its recordings as the page names them (the lead side),
    // its fixes, and the recording to highlight (-1: none).
    void showTrip(const QStringList& recordings, const std::vector<TMKTrackPoint>& points, int highlighted);
    void showHighlight(int recording);

    [[nodiscard]] QStringList recordings() const { return m_recordings; }
    [[nodiscard]] int highlighted() const { return m_highlighted; }

signals:
    void scriptReady(const QString& script);
    // A trip was sent (points 0: the recording is in no trip with fixes).
    void tripShown(int recordings, int points);

private:
    QStringList m_recordings;
    int m_highlighted = -1;
};
