#pragma once

// The start and end of a clip, as moments of one trip: a mark is set at the
// play position (a recording of the trip and the seconds into it) and kept
// on the trip's axis, so the span may run across its recordings. Main thread.

#include "media/TMKTrip.h"

#include <QObject>
#include <QString>

#include <optional>

class TMKPlayingTrip;

class TMKClipMarks : public QObject {
    Q_OBJECT

public:
    // The span's part within one recording, 0..1 of it.
    struct Shown {
        double start = 0;
        double end = 1;
    };

    explicit TMKClipMarks(const TMKPlayingTrip* trip, QObject* parent = nullptr);

    // At `seconds` into recording `path` (either side of its pair). A mark
    // in another trip than the one marked before starts afresh. False while
    // the playing trip is not read or does not hold `path`.
    bool mark(bool end, const QString& path, double seconds);
    void clear();

    [[nodiscard]] bool isComplete() const { return m_start && m_end && *m_end > *m_start; }
    [[nodiscard]] bool isEmpty() const { return !m_start && !m_end; }

    // What a clip takes, on its trip's axis: the span marked; with one mark
    // only, from it to the end (or from the start) of the recording holding
    // it; with none, recording `playing` whole.
    struct Span {
        TMKTrip trip;
        double from = 0;
        double to = 0;
    };
    [[nodiscard]] std::optional<Span> clipSpan(const QString& playing) const;
    // The span as the slider of recording `path` shows it: nothing when the
    // recording is of another trip or the span misses it; a span reaching
    // into the recordings before or after runs to the slider's start or end.
    [[nodiscard]] std::optional<Shown> shownIn(const QString& path) const;

signals:
    void changed();

private:
    [[nodiscard]] bool sameTrip(const TMKTrip& trip) const;

    const TMKPlayingTrip* m_playing;
    TMKTrip m_trip; // the trip marked
    std::optional<double> m_start;
    std::optional<double> m_end;
};
