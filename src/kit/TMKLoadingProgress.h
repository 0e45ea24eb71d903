#pragma once

#include <QObject>

// The loading indicator's progress (a pair starting, a card read, a log
// loading): ticks of 0.3 s that add up to 100 over the given time, then it
// ends by itself. Main thread only; it shows nothing itself, a view follows
// its signals (the viewer's head bar, TMKLoadingOverlay).
class TMKLoadingProgress : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 300;

    using QObject::QObject;

    // Starts from 0; the first tick comes after one tick.
    void start(double seconds = 15);
    // The tick's length (kTickMs unless a test wants its time short).
    void setTickMs(int ms) { m_tickMs = ms; }
    // At once; no timedOut follows.
    void hide();

    [[nodiscard]] bool isShown() const { return m_shown; }
    [[nodiscard]] bool isStopRequested() const { return m_stopRequested; }
    [[nodiscard]] double progress() const { return m_progress; }

signals:
    void shown();
    void progressChanged(double progress);
    void hidden();
    // The whole time passed while shown: whatever was awaited never came.
    void timedOut();

private:
    void tick(quint64 run, double seconds);

    bool m_shown = false;
    bool m_stopRequested = true;
    double m_progress = 0;
    quint64 m_run = 0; // ticks of an earlier start are dropped
    int m_tickMs = kTickMs;
};
