#pragma once

#include "media/TMKEventMarkers.h"
#include "media/TMKTrip.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class TMKMediaList;

// The trip of the playing recording on the map page: the catalogue's pairs
// are grouped into trips and the trip's telemetry is read once, on a worker
// of the shared pool, then sent as one setTrip script with the playing
// recording highlighted; another recording of the same trip only moves the
// highlight. A newer request abandons an older one, whose result is never
// sent.
class TMKTripMap : public QObject {
    Q_OBJECT

public:
    // A two-hour drive has about 7200 fixes; more are thinned evenly, so
    // the script stays a few hundred kilobytes whatever the card holds.
    static constexpr std::size_t kMaxPoints = 20000;

    explicit TMKTripMap(QObject* parent = nullptr);
    ~TMKTripMap() override;

    // Shows the trip that recording `path` (either side of its pair)
    // belongs to among the catalogue's pairs.
    void showTripOf(const TMKMediaList& list, const QString& path);

    [[nodiscard]] bool isBusy() const { return m_busy; }
    // The shown trip's recordings as the page names them (the lead side).
    [[nodiscard]] QStringList recordings() const { return m_recordings; }
    [[nodiscard]] int highlighted() const { return m_highlighted; }
    // The trip shown, and its event markers (G-sensor events at the
    // threshold, and its event recordings) in time order.
    [[nodiscard]] const TMKTrip& trip() const { return m_trip; }
    [[nodiscard]] const std::vector<TMKEventMarker>& markers() const { return m_markers; }
    // For the trips read from now on; in g beside gravity.
    void setEventThreshold(double g) { m_eventOptions.thresholdG = g; }

signals:
    void scriptReady(const QString& script);
    // A trip was sent (points 0: the recording is in no trip with fixes).
    void tripShown(int recordings, int points);
    // The markers or the highlighted recording changed.
    void markersChanged();

private:
    struct Result {
        std::vector<std::shared_ptr<TMKMediaPair>> pairs;
        TMKTrip trip;
        QStringList recordings;
        int highlighted = -1;
        int points = 0;
        QString script;
        std::vector<TMKEventMarker> markers;
    };
    void stop();
    void apply(uint64_t generation, const std::shared_ptr<Result>& result);

    std::vector<std::shared_ptr<TMKMediaPair>> m_pairs; // of the trip shown
    TMKTrip m_trip;
    std::vector<TMKEventMarker> m_markers;
    TMKEventOptions m_eventOptions;
    QStringList m_recordings;
    int m_highlighted = -1;
    uint64_t m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFuture<void> m_work;
    bool m_busy = false;
};
