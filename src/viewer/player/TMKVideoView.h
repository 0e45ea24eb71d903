#pragma once

#include <QImage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

// Frames from a decoder thread to the widget, three buffers deep: the
// decoder writes one, one waits, the widget paints the third. Only the
// waiting buffer changes hands, under the lock, so neither side ever reads
// a buffer the other writes.
class TMKVideoFrames {
public:
    // Decoder thread.
    // Buffers of width x height; the picture is the top-left visible part
    // (decoders round sizes up, e.g. 180 lines to 192).
    void setFormat(int width, int height, QSize visible);
    [[nodiscard]] void* lockBuffer();
    // True when the widget should be told (no notice already pending).
    // With `skipRepeat` a frame equal to the last one published is dropped
    // (false): a paused decoder shows its picture again and again.
    bool publish(bool skipRepeat = false);

    // Main thread.
    bool takeReady();
    [[nodiscard]] const QImage& shown() const { return m_shown; }
    [[nodiscard]] QRect shownRect() const { return m_shownRect; }
    [[nodiscard]] QSize videoSize() const;
    void clearShown() { m_shown = QImage(); }

private:
    mutable std::mutex m_lock;
    QImage m_writing;
    QImage m_ready;
    QImage m_shown;
    bool m_hasReady = false;
    std::atomic<bool> m_noticePending{false};
    QSize m_size;
    // Of the last frame published while skipping repeats; 0 = not known.
    quint64 m_publishedHash = 0;
    QRect m_readyRect;
    QRect m_shownRect;
};

// A surface that scales the video to fill it (cropping the overflow when
// "fill screen" is on, letterboxing otherwise). It can be hidden, moved and
// animated like any widget.
class TMKVideoView : public QWidget {
    Q_OBJECT

public:
    explicit TMKVideoView(QWidget* parent = nullptr);

    [[nodiscard]] std::shared_ptr<TMKVideoFrames> frames() const { return m_frames; }
    void setFillScreen(bool fill);
    [[nodiscard]] bool fillScreen() const { return m_fillScreen; }

    // Main thread: a new frame waits in frames().
    void frameReady();
    // Drops the frame shown: nothing is loaded any more.
    void clearFrame();
    [[nodiscard]] bool hasFrame() const { return !m_frames->shown().isNull(); }
    [[nodiscard]] QImage currentFrame() const { return m_frames->shown().copy(m_frames->shownRect()); }
    [[nodiscard]] quint64 framesShown() const { return m_framesShown; }
    [[nodiscard]] quint64 paintCount() const { return m_paintCount; }

signals:
    void frameShown(quint64 count);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::shared_ptr<TMKVideoFrames> m_frames = std::make_shared<TMKVideoFrames>();
    bool m_fillScreen = true;
    quint64 m_framesShown = 0;
    quint64 m_paintCount = 0;
};
