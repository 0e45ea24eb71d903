#pragma once

#include <QWidget>

#include <optional>

// A horizontal slider with a low and a high knob on one track. The knobs
// cannot pass each other: the low value is always at most the high value.
// Mouse: drag either knob; a press on the track moves the nearer knob there.
// Keyboard: the arrows move the focused knob, Tab goes from the low knob to
// the high one (and Backtab back) before leaving the slider.
class SMDoubleSlider : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int loValue READ loValue WRITE setLoValue NOTIFY loValueChanged)
    Q_PROPERTY(int hiValue READ hiValue WRITE setHiValue NOTIFY hiValueChanged)
    Q_PROPERTY(int minValue READ minValue WRITE setMinValue)
    Q_PROPERTY(int maxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(int altIncrementValue READ altIncrementValue WRITE setAltIncrementValue)

public:
    enum class Knob { Low, High };
    Q_ENUM(Knob)

    explicit SMDoubleSlider(QWidget* parent = nullptr);

    [[nodiscard]] int loValue() const { return m_lo; }
    [[nodiscard]] int hiValue() const { return m_hi; }
    [[nodiscard]] int minValue() const { return m_min; }
    [[nodiscard]] int maxValue() const { return m_max; }
    [[nodiscard]] int altIncrementValue() const { return m_step; }
    // The knob that takes the keyboard first and wins a press where both
    // knobs sit on the same spot.
    [[nodiscard]] Knob trackedKnob() const { return m_tracked; }
    [[nodiscard]] Knob focusedKnob() const { return m_focused; }

    // Values are held inside the range and on their side of the other knob.
    void setLoValue(int value);
    void setHiValue(int value);
    // Both knobs at once, for a new pair that one knob at a time could not
    // reach (the other knob would be in the way).
    void setValues(int lo, int hi);
    // The range; both values are pulled inside it. A maximum below the
    // minimum is taken as equal to it.
    void setMinValue(int value);
    void setMaxValue(int value);
    void setAltIncrementValue(int step);
    void setTrackedKnob(Knob knob);
    void setFocusedKnob(Knob knob);

    // Geometry, shared with views that draw a scale under the track.
    [[nodiscard]] int knobCentreX(int value) const;
    [[nodiscard]] int valueAtX(int x) const;
    [[nodiscard]] int trackLeft() const;
    [[nodiscard]] int trackRight() const;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

    static constexpr int kKnobRadius = 8;

signals:
    void loValueChanged(int value);
    void hiValueChanged(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void moveKnobs(int lo, int hi);
    void moveKnob(Knob knob, int value);
    [[nodiscard]] int knobValue(Knob knob) const { return knob == Knob::Low ? m_lo : m_hi; }

    int m_min = 0;
    int m_max = 100;
    int m_lo = 0;
    int m_hi = 100;
    int m_step = 1;
    Knob m_tracked = Knob::Low;
    Knob m_focused = Knob::Low;
    // The knob being dragged; none when the mouse is up.
    std::optional<Knob> m_dragged;
    // Both knobs under the press: the first move decides which one goes.
    bool m_undecided = false;
    int m_pressX = 0;
};
