#pragma once

// The trip of the playing recording: its recordings, its track and its
// event markers. Made and used on the main thread; the trip is grouped and
// read on a worker of the shared pool.

#include "media/TMKEventMarkers.h"
#include "media/TMKTrip.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TMKMediaList;

// The list's pairs are grouped into trips and the trip of the playing
// recording is read once (its fixes and its G-sensor events at the
// threshold, and its event recordings as markers); another recording of
// the same trip only moves the highlight. A newer request abandons an older
// one, whose result is never shown. The slider's markers and the jumps to
// the next and previous marker are asked of it.
class TMKPlayingTrip : public QObject {
    Q_OBJECT

public:
    // A marker on the slider of one recording.
    struct SliderMark {
        double position = 0; // 0..1 of the recording
        bool eventRecording = false;
    };
    // Where a marker jump goes: `seconds` into the recording whose lead
    // side is `path`; `path` is empty when that is the recording asked from.
    struct Place {
        QString path;
        double seconds = 0;
    };

    explicit TMKPlayingTrip(QObject* parent = nullptr);
    ~TMKPlayingTrip() override;

    // The trip that recording `path` (either side of its pair) belongs to.
    void showTripOf(const TMKMediaList& list, const QString& path);
    // For the trips read from now on; in g beside gravity.
    void setEventThreshold(double g) { m_eventOptions.thresholdG = g; }

    [[nodiscard]] bool isBusy() const { return m_busy; }
    [[nodiscard]] const TMKTrip& trip() const { return m_trip; }
    [[nodiscard]] const std::vector<TMKTrackPoint>& points() const { return m_points; }
    [[nodiscard]] const std::vector<TMKEventMarker>& markers() const { return m_markers; }
    // The trip's recordings by their lead side's path, and the highlighted one.
    [[nodiscard]] QStringList recordings() const { return m_recordings; }
    [[nodiscard]] int highlighted() const { return m_highlighted; }

    // The markers of recording `path`; none while its trip is not read.
    [[nodiscard]] QList<SliderMark> sliderMarks(const QString& path) const;
    // The next (or previous) marker of the trip from `seconds` into `path`.
    [[nodiscard]] std::optional<Place> markerFrom(const QString& path, double seconds, bool next) const;

signals:
    // Another trip was read (or none holds the recording).
    void tripRead();
    // The same trip, another recording of it.
    void highlightMoved(int recording);
    // The markers or the highlighted recording changed.
    void markersChanged();

private:
    struct Result {
        std::vector<std::shared_ptr<TMKMediaPair>> pairs;
        TMKTrip trip;
        QStringList recordings;
        int highlighted = -1;
        std::vector<TMKTrackPoint> points;
        std::vector<TMKEventMarker> markers;
    };
    [[nodiscard]] std::optional<std::size_t> recordingOf(const QString& path) const;
    void stop();
    void apply(uint64_t generation, const std::shared_ptr<Result>& result);

    std::vector<std::shared_ptr<TMKMediaPair>> m_pairs; // of the trip read
    TMKTrip m_trip;
    std::vector<TMKTrackPoint> m_points;
    std::vector<TMKEventMarker> m_markers;
    TMKEventOptions m_eventOptions;
    QStringList m_recordings;
    int m_highlighted = -1;
    uint64_t m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFuture<void> m_work;
    bool m_busy = false;
};
