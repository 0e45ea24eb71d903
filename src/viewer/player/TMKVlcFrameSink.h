#pragma once

// Hands the frames libVLC decodes to a TMKVideoView: libVLC is asked for
// 32-bit RGB frames at the video's visible size and writes them straight
// into the view's TMKVideoFrames buffers, so video works alike under X11,
// Xvfb and the offscreen platform.
//
// Threads: the format, lock and display callbacks run on libVLC's video
// thread. They touch only the view's TMKVideoFrames (locked inside), the
// atomic media pointer and the atomic counters here; the view itself is
// told on the main thread, by a queued call whose context is this sink, so
// nothing is called once the sink is gone. Everything else is main thread.
// The owner releases its libVLC player (which joins the video thread)
// before it destroys the sink.

#include <QObject>
#include <QPointer>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>

struct libvlc_media_player_t;
struct libvlc_media_t;
class TMKVideoFrames;
class TMKVideoView;

class TMKVlcFrameSink final : public QObject {
public:
    explicit TMKVlcFrameSink(TMKVideoView* view);

    // Main thread, once: routes `player`'s video into the view (fill
    // screen on). Without a view libVLC keeps its own video output.
    void attach(libvlc_media_player_t* player);

    // The media the decoder reads the visible size from; set after
    // libvlc_media_player_set_media, when the old input is gone. Returns
    // the one before, for the caller to release.
    libvlc_media_t* exchangeMedia(libvlc_media_t* media);
    [[nodiscard]] libvlc_media_t* media() const { return m_media.load(); }

    // Frames displayed since the count was restarted (a new recording).
    void restartFrameCount() { m_framesSinceMedia = 0; }
    [[nodiscard]] quint64 framesSinceMedia() const { return m_framesSinceMedia.load(); }
    // Pictures that differ from the one before (a paused video repeats its).
    [[nodiscard]] quint64 newPictures() const { return m_newPictures.load(); }
    // While paused libVLC shows its picture again several times a second;
    // repainting the same picture only costs processor time.
    void setSkipRepeatedFrames(bool skip) { m_skipRepeatedFrames = skip; }
    // Called on the main thread after each new picture is shown.
    void setNewPictureHandler(std::function<void()> handler) { m_onNewPicture = std::move(handler); }

    [[nodiscard]] TMKVideoView* view() const;
    // The video size the frames have; empty before the first format.
    [[nodiscard]] QSize frameSize() const;

private:
    static unsigned formatCallback(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                   unsigned* pitches, unsigned* lines);
    static void* lockCallback(void* opaque, void** planes);
    static void displayCallback(void* opaque, void* picture);

    // Video thread: the visible size of the media's first video track.
    [[nodiscard]] QSize trackVideoSize() const;

    QPointer<TMKVideoView> m_view;
    std::shared_ptr<TMKVideoFrames> m_frames; // null without a view
    std::atomic<libvlc_media_t*> m_media{nullptr};
    std::atomic<quint64> m_framesSinceMedia{0};
    std::atomic<quint64> m_newPictures{0};
    std::function<void()> m_onNewPicture;
    std::atomic<bool> m_skipRepeatedFrames{false};
};
