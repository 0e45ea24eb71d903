#include "kit/TMKLoadingProgress.h"

#include <QTimer>

void TMKLoadingProgress::start(double seconds)
{
    m_stopRequested = false;
    m_progress = 0;
    m_shown = true;
    const quint64 run = ++m_run;
    emit shown();
    QTimer::singleShot(m_tickMs, this, [this, run, seconds] { tick(run, seconds); });
}

void TMKLoadingProgress::hide()
{
    ++m_run;
    m_stopRequested = true;
    if (m_shown) {
        m_shown = false;
        emit hidden();
    }
}

void TMKLoadingProgress::tick(quint64 run, double seconds)
{
    if (run != m_run)
        return;
    m_progress += 100.0 / (seconds / (m_tickMs / 1000.0));
    emit progressChanged(m_progress);
    if (m_progress < 100) {
        QTimer::singleShot(m_tickMs, this, [this, run, seconds] { tick(run, seconds); });
        return;
    }
    const bool expired = m_progress >= 100;
    m_stopRequested = true;
    m_shown = false;
    emit hidden();
    if (expired)
        emit timedOut();
}
