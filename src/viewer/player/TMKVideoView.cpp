#include "viewer/player/TMKVideoView.h"

#include <QMouseEvent>
#include <QPainter>

void TMKVideoFrames::setFormat(int width, int height, QSize visible)
{
    std::lock_guard guard(m_lock);
    if (visible.isEmpty() || visible.width() > width || visible.height() > height)
        visible = QSize(width, height);
    m_size = visible;
    m_readyRect = QRect(QPoint(0, 0), visible);
    m_publishedHash = 0;
    const QSize buffer(width, height);
    if (m_writing.size() != buffer)
        m_writing = QImage(buffer, QImage::Format_RGB32);
    if (m_ready.size() != buffer)
        m_ready = QImage(buffer, QImage::Format_RGB32);
    m_hasReady = false;
}

void* TMKVideoFrames::lockBuffer()
{
    // The writing buffer belongs to the decoder alone between format changes.
    return m_writing.bits();
}

namespace {

// FNV-1a over 64-bit words: exact enough to tell two decoded pictures
// apart, and about 30 us for a 320x180 frame.
quint64 frameHash(const QImage& image)
{
    const auto* words = reinterpret_cast<const quint64*>(image.constBits());
    const qsizetype count = image.sizeInBytes() / qsizetype(sizeof(quint64));
    quint64 hash = 14695981039346656037ull;
    for (qsizetype i = 0; i < count; ++i)
        hash = (hash ^ words[i]) * 1099511628211ull;
    return hash | 1; // never 0, which means "not known"
}

} // namespace

bool TMKVideoFrames::publish(bool skipRepeat)
{
    if (skipRepeat) {
        // Only the decoder writes m_writing and m_publishedHash.
        const quint64 hash = frameHash(m_writing);
        if (hash == m_publishedHash)
            return false;
        m_publishedHash = hash;
    } else {
        m_publishedHash = 0;
    }
    {
        std::lock_guard guard(m_lock);
        m_writing.swap(m_ready);
        m_hasReady = true;
    }
    return !m_noticePending.exchange(true);
}

bool TMKVideoFrames::takeReady()
{
    m_noticePending = false;
    std::lock_guard guard(m_lock);
    if (!m_hasReady)
        return false;
    if (m_shown.size() != m_ready.size())
        m_shown = QImage(m_ready.size(), QImage::Format_RGB32);
    m_ready.swap(m_shown);
    m_shownRect = m_readyRect;
    m_hasReady = false;
    return true;
}

QSize TMKVideoFrames::videoSize() const
{
    std::lock_guard guard(m_lock);
    return m_size;
}

TMKVideoView::TMKVideoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TMKVideoView::setFillScreen(bool fill)
{
    m_fillScreen = fill;
    update();
}

void TMKVideoView::frameReady()
{
    if (!m_frames->takeReady())
        return;
    ++m_framesShown;
    update();
    emit frameShown(m_framesShown);
}

void TMKVideoView::clearFrame()
{
    m_frames->clearShown();
    update();
}

void TMKVideoView::paintEvent(QPaintEvent*)
{
    ++m_paintCount;
    QPainter painter(this);
    const QImage& frame = m_frames->shown();
    const QRect source = m_frames->shownRect();
    if (frame.isNull() || source.isEmpty() || width() <= 0 || height() <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Scale by the factor that fills (or fits) the widget, keep the centre.
    const double sx = double(width()) / source.width();
    const double sy = double(height()) / source.height();
    const double s = m_fillScreen ? std::max(sx, sy) : std::min(sx, sy);
    const QSizeF drawn(source.width() * s, source.height() * s);
    const QRectF target(QPointF((width() - drawn.width()) / 2, (height() - drawn.height()) / 2), drawn);
    if (!m_fillScreen)
        painter.fillRect(rect(), Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
    painter.drawImage(target, frame, source);
}

void TMKVideoView::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit doubleClicked();
    event->accept();
}
