#include "viewer/window/TMKMarkerSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

void TMKMarkerSlider::setMarkers(const QList<Marker>& markers)
{
    if (markers == m_markers)
        return;
    m_markers = markers;
    update();
}

void TMKMarkerSlider::setSpan(std::optional<Span> span)
{
    if (span == m_span)
        return;
    m_span = span;
    update();
}

int TMKMarkerSlider::tickX(double position) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = std::max(groove.width() - handle.width(), 1);
    const int value = minimum() + static_cast<int>(std::lround(std::clamp(position, 0.0, 1.0) * (maximum() - minimum())));
    return groove.left() + handle.width() / 2
        + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span, option.upsideDown);
}

void TMKMarkerSlider::paintEvent(QPaintEvent* event)
{
    QSlider::paintEvent(event);
    if (m_markers.isEmpty() && !m_span)
        return;
    QPainter painter(this);
    const int top = height() / 2 - 7;
    // The span under the ticks, a band over the groove with its marks as
    // edges; an end in another recording has no edge here.
    if (m_span) {
        const int left = tickX(m_span->start);
        const int right = tickX(m_span->end);
        QColor band = kSpanColor;
        band.setAlpha(110);
        painter.fillRect(QRect(left, top + 3, std::max(right - left, 1), 8), band);
        if (m_span->start > 0)
            painter.fillRect(QRect(left - 1, top, 2, 14), kSpanColor);
        if (m_span->end < 1)
            painter.fillRect(QRect(right - 1, top, 2, 14), kSpanColor);
    }
    // Recordings under the events, so a brake inside an event recording
    // still shows.
    for (const bool recordings : {true, false}) {
        for (const Marker& marker : m_markers) {
            if (marker.eventRecording != recordings)
                continue;
            const int x = tickX(marker.position);
            painter.fillRect(QRect(x - 1, top, 3, 14), recordings ? kRecordingColor : kEventColor);
        }
    }
}

void TMKMarkerSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && orientation() == Qt::Horizontal) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const QPoint at = event->position().toPoint();
        if (!handle.contains(at)) {
            const int span = std::max(groove.width() - handle.width(), 1);
            const int x = std::clamp(at.x() - groove.left() - handle.width() / 2, 0, span);
            // Held down first, so the new value is not told before the release.
            setSliderDown(true);
            setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), x, span, option.upsideDown));
            // The press goes on as one on the handle, now under the pointer.
            initStyleOption(&option);
            const QPointF centre = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
                                       .center();
            QMouseEvent onHandle(event->type(), centre, mapToGlobal(centre), event->button(), event->buttons(),
                                 event->modifiers());
            QSlider::mousePressEvent(&onHandle);
            event->setAccepted(onHandle.isAccepted());
            return;
        }
    }
    QSlider::mousePressEvent(event);
}
