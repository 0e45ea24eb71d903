#include "lib/RangeSlider/SMDoubleSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The colours of the widget kit's controls.
const QColor kTrack(0xc9, 0xcd, 0xd3);
const QColor kRange(0x4f, 0xa3, 0xe0);
const QColor kKnobFace(0xf4, 0xf5, 0xf7);
const QColor kKnobEdge(0x8a, 0x90, 0x98);
const QColor kFocusRing(0x4f, 0xa3, 0xe0);
const QColor kDisabled(0xa0, 0xa4, 0xaa);

constexpr int kTrackHeight = 4;

} // namespace

SMDoubleSlider::SMDoubleSlider(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void SMDoubleSlider::setLoValue(int value)
{
    value = std::clamp(value, m_min, m_hi);
    if (value == m_lo)
        return;
    m_lo = value;
    update();
    emit loValueChanged(m_lo);
}

void SMDoubleSlider::setHiValue(int value)
{
    value = std::clamp(value, m_lo, m_max);
    if (value == m_hi)
        return;
    m_hi = value;
    update();
    emit hiValueChanged(m_hi);
}

void SMDoubleSlider::setValues(int lo, int hi)
{
    hi = std::clamp(hi, m_min, m_max);
    lo = std::clamp(lo, m_min, hi);
    moveKnobs(lo, hi);
}

// Both knobs change before either signal, so an observer never sees them crossed.
void SMDoubleSlider::moveKnobs(int lo, int hi)
{
    const bool loMoved = lo != m_lo;
    const bool hiMoved = hi != m_hi;
    m_lo = lo;
    m_hi = hi;
    update();
    if (loMoved)
        emit loValueChanged(m_lo);
    if (hiMoved)
        emit hiValueChanged(m_hi);
}

void SMDoubleSlider::setMinValue(int value)
{
    m_min = value;
    m_max = std::max(m_max, m_min);
    // Pull the high knob in first so the low one has room below it.
    const int hi = std::clamp(m_hi, m_min, m_max);
    const int lo = std::clamp(m_lo, m_min, hi);
    moveKnobs(lo, hi);
}

void SMDoubleSlider::setMaxValue(int value)
{
    m_max = std::max(value, m_min);
    const int lo = std::clamp(m_lo, m_min, m_max);
    const int hi = std::clamp(m_hi, lo, m_max);
    moveKnobs(lo, hi);
}

void SMDoubleSlider::setAltIncrementValue(int step)
{
    m_step = std::max(1, step);
}

void SMDoubleSlider::setTrackedKnob(Knob knob)
{
    m_tracked = knob;
    m_focused = knob;
    update();
}

void SMDoubleSlider::setFocusedKnob(Knob knob)
{
    m_focused = knob;
    update();
}

void SMDoubleSlider::moveKnob(Knob knob, int value)
{
    if (knob == Knob::Low)
        setLoValue(value);
    else
        setHiValue(value);
}

int SMDoubleSlider::trackLeft() const
{
    return kKnobRadius + 1;
}

int SMDoubleSlider::trackRight() const
{
    return std::max(trackLeft(), width() - kKnobRadius - 2);
}

int SMDoubleSlider::knobCentreX(int value) const
{
    if (m_max == m_min)
        return trackLeft();
    const double share = double(std::clamp(value, m_min, m_max) - m_min) / (m_max - m_min);
    return trackLeft() + static_cast<int>(std::lround(share * (trackRight() - trackLeft())));
}

int SMDoubleSlider::valueAtX(int x) const
{
    const int span = trackRight() - trackLeft();
    if (span <= 0)
        return m_min;
    const double share = std::clamp(double(x - trackLeft()) / span, 0.0, 1.0);
    return m_min + static_cast<int>(std::lround(share * (m_max - m_min)));
}

QSize SMDoubleSlider::sizeHint() const
{
    return {240, 2 * kKnobRadius + 6};
}

QSize SMDoubleSlider::minimumSizeHint() const
{
    return {4 * kKnobRadius + 8, 2 * kKnobRadius + 6};
}

void SMDoubleSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const int cy = height() / 2;
    const QRectF track(trackLeft(), cy - kTrackHeight / 2.0, trackRight() - trackLeft(), kTrackHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(kTrack);
    p.drawRoundedRect(track, 2, 2);
    const int loX = knobCentreX(m_lo);
    const int hiX = knobCentreX(m_hi);
    p.setBrush(enabled ? kRange : kDisabled);
    p.drawRect(QRectF(loX, track.top(), hiX - loX, track.height()));

    const auto knob = [&](Knob which, int x) {
        const QRectF face(x - kKnobRadius + 0.5, cy - kKnobRadius + 0.5, 2 * kKnobRadius - 1, 2 * kKnobRadius - 1);
        const bool pressed = m_dragged == which;
        p.setPen(QPen(enabled ? kKnobEdge : kDisabled, 1));
        p.setBrush(pressed ? kTrack : kKnobFace);
        p.drawEllipse(face);
        // The low knob carries a mark on its left, the high one on its right,
        // so the two can be told apart when they meet.
        p.setPen(QPen(enabled ? kRange : kDisabled, 2));
        const double side = which == Knob::Low ? -3 : 3;
        p.drawLine(QPointF(x + side, cy - 3), QPointF(x + side, cy + 3));
        if (hasFocus() && m_focused == which) {
            p.setPen(QPen(kFocusRing, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(face.adjusted(-1.5, -1.5, 1.5, 1.5));
        }
    };
    // The focused knob is drawn last so it stays on top where they meet.
    if (m_focused == Knob::Low) {
        knob(Knob::High, hiX);
        knob(Knob::Low, loX);
    } else {
        knob(Knob::Low, loX);
        knob(Knob::High, hiX);
    }
}

void SMDoubleSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int x = qRound(event->position().x());
    const int loX = knobCentreX(m_lo);
    const int hiX = knobCentreX(m_hi);
    m_pressX = x;
    m_undecided = false;
    const int dLo = std::abs(x - loX);
    const int dHi = std::abs(x - hiX);
    Knob chosen;
    if (dLo == dHi) {
        // Both knobs on one spot (or the press halfway between them).
        if (loX == hiX && dLo <= kKnobRadius) {
            chosen = m_tracked;
            m_undecided = true;
        } else {
            chosen = x < loX ? Knob::Low : (x > hiX ? Knob::High : m_tracked);
        }
    } else {
        chosen = dLo < dHi ? Knob::Low : Knob::High;
    }
    m_dragged = chosen;
    m_focused = chosen;
    // A press away from the knob moves it there at once.
    const int onKnob = chosen == Knob::Low ? dLo : dHi;
    if (onKnob > kKnobRadius)
        moveKnob(chosen, valueAtX(x));
    update();
    event->accept();
}

void SMDoubleSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragged) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int x = qRound(event->position().x());
    if (m_undecided && x != m_pressX) {
        m_dragged = x < m_pressX ? Knob::Low : Knob::High;
        m_focused = *m_dragged;
        m_undecided = false;
    }
    if (!m_undecided)
        moveKnob(*m_dragged, valueAtX(x));
    event->accept();
}

void SMDoubleSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragged) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragged.reset();
    m_undecided = false;
    update();
    event->accept();
}

void SMDoubleSlider::keyPressEvent(QKeyEvent* event)
{
    const int value = knobValue(m_focused);
    const int page = std::max(m_step, (m_max - m_min) / 10);
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        moveKnob(m_focused, value - m_step);
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        moveKnob(m_focused, value + m_step);
        break;
    case Qt::Key_PageDown:
        moveKnob(m_focused, value - page);
        break;
    case Qt::Key_PageUp:
        moveKnob(m_focused, value + page);
        break;
    case Qt::Key_Home:
        moveKnob(m_focused, m_min);
        break;
    case Qt::Key_End:
        moveKnob(m_focused, m_max);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void SMDoubleSlider::wheelEvent(QWheelEvent* event)
{
    // Only a focused slider takes the wheel, so scrolling a page past it
    // does not move a knob by accident.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) {
        event->ignore();
        return;
    }
    moveKnob(m_focused, knobValue(m_focused) + steps * m_step);
    event->accept();
}

bool SMDoubleSlider::focusNextPrevChild(bool next)
{
    if (next && m_focused == Knob::Low) {
        setFocusedKnob(Knob::High);
        return true;
    }
    if (!next && m_focused == Knob::High) {
        setFocusedKnob(Knob::Low);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void SMDoubleSlider::focusInEvent(QFocusEvent* event)
{
    // Coming in with Tab starts at the low knob, with Backtab at the high one.
    if (event->reason() == Qt::TabFocusReason)
        m_focused = Knob::Low;
    else if (event->reason() == Qt::BacktabFocusReason)
        m_focused = Knob::High;
    QWidget::focusInEvent(event);
    update();
}

void SMDoubleSlider::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        m_dragged.reset();
    QWidget::changeEvent(event);
}
