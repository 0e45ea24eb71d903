#pragma once

#include <QColor>
#include <QList>
#include <QSlider>

#include <optional>

// The position slider with the moments worth seeing drawn as ticks over
// its groove: G-sensor events and event recordings of the trip, at their
// place in the playing recording (0 to 1).
class TMKMarkerSlider : public QSlider {
    Q_OBJECT

public:
    struct Marker {
        double position = 0; // 0..1 of the recording
        bool eventRecording = false;
        friend bool operator==(const Marker&, const Marker&) = default;
    };
    static inline const QColor kEventColor{255, 90, 74};
    static inline const QColor kRecordingColor{240, 198, 116};
    // A clip's span: the part of it within this recording, 0..1.
    struct Span {
        double start = 0;
        double end = 0;
        friend bool operator==(const Span&, const Span&) = default;
    };
    // Apart from the groove's own blue, which fills up to the handle.
    static inline const QColor kSpanColor{152, 214, 110};

    using QSlider::QSlider;

    void setMarkers(const QList<Marker>& markers);
    [[nodiscard]] const QList<Marker>& markers() const { return m_markers; }
    void setSpan(std::optional<Span> span);
    [[nodiscard]] std::optional<Span> span() const { return m_span; }
    // The x of a position's tick, where the handle's centre stands at it.
    [[nodiscard]] int tickX(double position) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A press off the handle puts the handle under the pointer (and lets it
    // be dragged from there), as media players seek to the click; the move
    // is told once, on release.
    void mousePressEvent(QMouseEvent* event) override;

private:
    QList<Marker> m_markers;
    std::optional<Span> m_span;
};
