#include "viewer/window/TMKPlaybackBanner.h"

#include "viewer/window/TMKWindowLayout.h"

#include <QTimer>

TMKPlaybackBanner::TMKPlaybackBanner(QWidget* video) : QLabel(video), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("playbackMessageLabel"));
    setWordWrap(true);
    hide();
    m_timer->setSingleShot(true);
    m_timer->setInterval(kShownMs);
    connect(m_timer, &QTimer::timeout, this, &QWidget::hide);
}

// Both recordings of a pair may be damaged: each is told once.
void TMKPlaybackBanner::addMessage(const QString& text)
{
    if (!m_messages.contains(text))
        m_messages << text;
    const QString shown = m_messages.join(QLatin1Char('\n'));
    setText(shown);
    setToolTip(shown);
    layOut();
    show();
    raise();
    m_timer->start();
}

void TMKPlaybackBanner::clearMessages()
{
    m_messages.clear();
    m_timer->stop();
    hide();
}

void TMKPlaybackBanner::layOut()
{
    const int videoWidth = parentWidget()->width();
    const int width = TMKWindowLayout::banner(videoWidth, 0).width();
    setGeometry(TMKWindowLayout::banner(videoWidth, heightForWidth(width)));
}
