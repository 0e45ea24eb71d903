// The libVLC back end of TMKMediaPlayer. Decoded frames go through video
// callbacks into the TMKVideoView's buffers, so video works alike under X11,
// Xvfb and the offscreen platform. libVLC calls back on its own threads;
// every callback hops to the main thread before touching this object.

#include "strings/TMKStrings.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/player/TMKSoundOutput.h"
#include "viewer/player/TMKVideoView.h"

#include <vlc/vlc.h>

#include <QByteArray>
#include <QDebug>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcVlc, "tamek.vlc", QtInfoMsg)

std::function<bool()>& soundOutputProbe()
{
    static std::function<bool()> probe = &TMKDefaultSoundOutputOpens;
    return probe;
}

QByteArray& chosenSoundOutput()
{
    static QByteArray module;
    return module;
}

// libVLC's log, on its own threads: warnings and errors go to the app's log
// as information, the rest is dropped. They are not the user's concern: the
// vmem output alone says "video output creation failed" while the picture
// plays fine, and a recording that really fails is told by the player's
// state. A normal run hides them; --verbose shows them. A failing output or decoder repeats the same few
// messages many times a second; each is logged the first time and then at
// its 10th, 100th, ... repeat, so the log grows with the logarithm.
class VlcLogRelay {
public:
    static void callback(void*, int level, const libvlc_log_t* context, const char* format, va_list args)
    {
        if (level < LIBVLC_WARNING)
            return;
        char text[1024];
        va_list copy;
        va_copy(copy, args);
        const int length = std::vsnprintf(text, sizeof text, format, copy);
        va_end(copy);
        if (length < 0)
            return;
        const char* module = nullptr;
        const char* file = nullptr;
        unsigned line = 0;
        libvlc_log_get_context(context, &module, &file, &line);
        instance().relay(QByteArray(module ? module : "libvlc"), QByteArray(text).trimmed());
    }

private:
    // Never destroyed: libVLC threads may still log while the program exits.
    static VlcLogRelay& instance()
    {
        static auto* relay = new VlcLogRelay;
        return *relay;
    }

    void relay(const QByteArray& module, const QByteArray& text)
    {
        std::lock_guard guard(m_lock);
        if (static_cast<std::size_t>(m_counts.size()) >= kMaxKept)
            m_counts.clear(); // bounded memory; a message may then be logged again
        const quint64 count = ++m_counts[module + '\0' + text];
        if (count == 1) {
            qCInfo(lcVlc, "%s: %s", module.constData(), text.constData());
        } else if (isPowerOfTen(count)) {
            qCInfo(lcVlc, "%s: %s (%llu times)", module.constData(), text.constData(),
                      static_cast<unsigned long long>(count));
        }
    }

    [[nodiscard]] static bool isPowerOfTen(quint64 n)
    {
        while (n >= 10 && n % 10 == 0)
            n /= 10;
        return n == 1;
    }

    static constexpr std::size_t kMaxKept = 512;
    std::mutex m_lock;
    QHash<QByteArray, quint64> m_counts;
};

// One libVLC instance for the application.
libvlc_instance_t* sharedLibrary()
{
    static libvlc_instance_t* instance = [] {
        std::vector<QByteArray> args{"--no-xlib", "--quiet", "--no-video-title-show", "--no-osd",
                                     "--no-stats", "--no-sub-autodetect-file", "--no-snapshot-preview",
                                     // Frames are copied into our buffers anyway; GPU decoding
                                     // would only add a download and fails on virtual displays.
                                     "--avcodec-hw=none"};
        const TMKSoundOutputChoice sound = TMKChooseSoundOutput(qgetenv("TAMEK_AUDIO_OUTPUT"), soundOutputProbe());
        if (sound.fellBack)
            std::fputs("tamek: the default sound output cannot be opened; playing without sound\n", stderr);
        if (!sound.module.isEmpty())
            args.push_back(QByteArray("--aout=") + sound.module);
        chosenSoundOutput() = sound.module;
        std::vector<const char*> argv;
        for (const auto& arg : args)
            argv.push_back(arg.constData());
        libvlc_instance_t* library = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (!library)
            qWarning("libVLC could not be started: %s", libvlc_errmsg() ? libvlc_errmsg() : "unknown error");
        else
            libvlc_log_set(library, &VlcLogRelay::callback, nullptr);
        return library;
    }();
    return instance;
}

constexpr libvlc_event_e kEvents[] = {
    libvlc_MediaPlayerOpening,      libvlc_MediaPlayerBuffering,     libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,       libvlc_MediaPlayerStopped,       libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerLengthChanged,
    libvlc_MediaPlayerESAdded,      libvlc_MediaPlayerVout,
};

class TMKVlcMediaPlayer final : public TMKMediaPlayer {
public:
    TMKVlcMediaPlayer(TMKVideoView* view, QObject* parent) : TMKMediaPlayer(parent), m_view(view)
    {
        libvlc_instance_t* library = sharedLibrary();
        if (library)
            m_player = libvlc_media_player_new(library);
        if (!m_player)
            return;
        if (view) {
            m_frames = view->frames();
            view->setFillScreen(true);
            libvlc_video_set_callbacks(m_player, &lockCallback, nullptr, &displayCallback, this);
            libvlc_video_set_format_callbacks(m_player, &formatCallback, nullptr);
        }
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
        for (libvlc_event_e type : kEvents)
            libvlc_event_attach(events, type, &eventCallback, this);
    }

    ~TMKVlcMediaPlayer() override
    {
        if (!m_player)
            return;
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
        for (libvlc_event_e type : kEvents)
            libvlc_event_detach(events, type, &eventCallback, this);
        libvlc_media_player_stop(m_player);
        libvlc_media_player_release(m_player); // joins libVLC's threads: no callback after this
        if (libvlc_media_t* media = m_vlcMedia.exchange(nullptr))
            libvlc_media_release(media);
    }

    void setMedia(std::optional<TMKPlayerMedia> media) override
    {
        ++m_generation;
        resetPlayState();
        m_length = 0;
        m_framesSinceMedia = 0;
        m_media = media;
        m_fault = TMKRecordingFault::None;
        m_errorText.clear();
        if (!m_player)
            return;
        if (media) {
            // libVLC says no more than "error" about a damaged file, and
            // plays a file of random bytes as noise; its structure tells.
            m_fault = TMKCheckRecording(media->path());
            m_errorText = TMKRecordingFaultText(m_fault);
        }
        if (!media || TMKRecordingFaultIsFatal(m_fault)) {
            libvlc_media_player_set_media(m_player, nullptr);
            if (libvlc_media_t* old = m_vlcMedia.exchange(nullptr))
                libvlc_media_release(old);
            return;
        }
        const QByteArray path = QFileInfo(media->path()).absoluteFilePath().toLocal8Bit();
        libvlc_media_t* vlcMedia = libvlc_media_new_path(sharedLibrary(), path.constData());
        if (!vlcMedia) {
            m_error = true;
            return;
        }
        libvlc_media_player_set_media(m_player, vlcMedia);
        // The old input is gone once set_media returns; only then may the
        // decoder threads see the new media.
        libvlc_media_t* old = m_vlcMedia.exchange(vlcMedia);
        if (old)
            libvlc_media_release(old);
    }

    // Decoder thread: the visible size of the first video track.
    [[nodiscard]] QSize trackVideoSize() const
    {
        libvlc_media_t* media = m_vlcMedia.load();
        if (!media)
            return {};
        libvlc_media_track_t** tracks = nullptr;
        const unsigned count = libvlc_media_tracks_get(media, &tracks);
        QSize size;
        for (unsigned i = 0; i < count && size.isEmpty(); ++i) {
            if (tracks[i]->i_type == libvlc_track_video && tracks[i]->video)
                size = QSize(static_cast<int>(tracks[i]->video->i_width), static_cast<int>(tracks[i]->video->i_height));
        }
        libvlc_media_tracks_release(tracks, count);
        return size;
    }

    [[nodiscard]] std::optional<TMKPlayerMedia> media() const override { return m_media; }

    [[nodiscard]] int64_t mediaLength() const override
    {
        if (!m_player || !m_media)
            return 0;
        const libvlc_time_t length = libvlc_media_player_get_length(m_player);
        return std::max<int64_t>(m_length, length > 0 ? length : 0);
    }

    void play() override
    {
        if (!m_player || !m_media || TMKRecordingFaultIsFatal(m_fault))
            return;
        // After the end the finished input must go before a new one starts.
        const libvlc_state_t vlcState = libvlc_media_player_get_state(m_player);
        if (m_ended || vlcState == libvlc_Ended || vlcState == libvlc_Error) {
            if (m_ended && !m_pendingTime && !m_pendingPosition)
                m_pendingPosition = 0.0f;
            ++m_generation;
            libvlc_media_player_stop(m_player);
        }
        m_ended = false;
        m_error = false;
        // A play while a seek after the end restarts the input plays on.
        m_pausedStart = false;
        if (libvlc_media_player_play(m_player) != 0)
            m_error = true;
        applyAudio();
        applyRate();
    }

    void pause() override
    {
        if (m_player && m_media && !m_ended)
            libvlc_media_player_set_pause(m_player, 1);
    }

    void stop() override
    {
        if (!m_player)
            return;
        ++m_generation;
        resetPlayState();
        libvlc_media_player_stop(m_player);
        notifyLater(true, true);
    }

    [[nodiscard]] bool isPlaying() const override
    {
        const State current = state();
        return current == Playing || current == Buffering;
    }

    [[nodiscard]] QString errorText() const override { return m_errorText; }

    [[nodiscard]] State state() const override
    {
        if (!m_player || !m_media)
            return Stopped;
        if (m_error || TMKRecordingFaultIsFatal(m_fault))
            return Error;
        if (ended() || m_pausedStart)
            return Paused;
        switch (libvlc_media_player_get_state(m_player)) {
        case libvlc_NothingSpecial:
        case libvlc_Stopped: return Stopped;
        case libvlc_Opening: return Opening;
        case libvlc_Buffering: return Buffering;
        case libvlc_Playing: return Playing;
        case libvlc_Paused:
        case libvlc_Ended: return Paused;
        case libvlc_Error: return Error;
        }
        return Stopped;
    }

    [[nodiscard]] float position() const override
    {
        if (!m_player || !m_media)
            return 0;
        if (ended())
            return 1.0f;
        if (m_pendingPosition)
            return *m_pendingPosition;
        const int64_t length = mediaLength();
        if (m_pendingTime && length > 0)
            return static_cast<float>(static_cast<double>(*m_pendingTime) / static_cast<double>(length));
        if (length > 0)
            return std::clamp(static_cast<float>(static_cast<double>(time()) / static_cast<double>(length)), 0.0f,
                              1.0f);
        return std::clamp(libvlc_media_player_get_position(m_player), 0.0f, 1.0f);
    }

    void setPosition(float position) override
    {
        if (!m_player || !m_media)
            return;
        position = std::clamp(position, 0.0f, 1.0f);
        if (position >= 1.0f) {
            reachEnd();
            return;
        }
        seek(std::nullopt, position);
    }

    [[nodiscard]] float rate() const override { return m_rate; }

    void setRate(float rate) override
    {
        m_rate = rate;
        applyRate();
    }

    [[nodiscard]] int64_t time() const override
    {
        if (!m_player || !m_media)
            return 0;
        if (ended())
            return mediaLength();
        if (m_pendingTime)
            return *m_pendingTime;
        if (m_pendingPosition)
            return static_cast<int64_t>(*m_pendingPosition * static_cast<double>(mediaLength()));
        return std::max<int64_t>(0, clockTime());
    }

    void setTime(int64_t ms) override
    {
        if (!m_player || !m_media)
            return;
        const int64_t length = mediaLength();
        ms = std::max<int64_t>(ms, 0);
        if (length > 0 && ms >= length) {
            reachEnd();
            return;
        }
        seek(ms, std::nullopt);
    }

    [[nodiscard]] int64_t remainingTime() const override
    {
        const int64_t length = mediaLength();
        return length > 0 ? std::min<int64_t>(0, time() - length) : 0;
    }

    [[nodiscard]] double frameDurationMs() const override
    {
        libvlc_media_t* media = m_vlcMedia.load();
        if (!media || !m_media)
            return 0;
        libvlc_media_track_t** tracks = nullptr;
        const unsigned count = libvlc_media_tracks_get(media, &tracks);
        double ms = 0;
        for (unsigned i = 0; i < count && ms == 0; ++i) {
            const libvlc_media_track_t* track = tracks[i];
            if (track->i_type == libvlc_track_video && track->video && track->video->i_frame_rate_num > 0
                && track->video->i_frame_rate_den > 0)
                ms = 1000.0 * track->video->i_frame_rate_den / track->video->i_frame_rate_num;
        }
        libvlc_media_tracks_release(tracks, count);
        return ms;
    }

    void nextFrame() override
    {
        if (!m_player || !m_media || m_ended || libvlc_media_player_get_state(m_player) != libvlc_Paused)
            return;
        libvlc_media_player_next_frame(m_player);
        // libVLC tells the new time only with its next update; the clock
        // stands one frame on until then.
        const double frame = frameDurationMs();
        if (frame > 0)
            restartClock(clockTime() + static_cast<int64_t>(std::llround(frame)));
        notifyLater(false, true);
    }

    void jumpForward(int seconds) override { setTime(time() + int64_t{seconds} * 1000); }
    void jumpBackward(int seconds) override { setTime(std::max<int64_t>(0, time() - int64_t{seconds} * 1000)); }

    void setMute(bool mute) override
    {
        m_muted = mute;
        applyAudio();
    }

    [[nodiscard]] bool isMuted() const override { return m_muted; }

    void setVolume(int volume) override
    {
        m_volume = std::clamp(volume, 0, 200);
        applyAudio();
    }

    [[nodiscard]] int volume() const override { return m_volume; }

    [[nodiscard]] QList<int> audioTrackIndexes() const override
    {
        QList<int> indexes;
        if (!m_player || !m_media)
            return indexes;
        libvlc_track_description_t* tracks = libvlc_audio_get_track_description(m_player);
        for (auto* track = tracks; track; track = track->p_next) {
            if (track->i_id >= 0) // "Disable" has id -1
                indexes.push_back(track->i_id);
        }
        libvlc_track_description_list_release(tracks);
        return indexes;
    }

    [[nodiscard]] bool hasVideoOut() const override
    {
        return m_player && m_media && (libvlc_media_player_has_vout(m_player) > 0 || (m_frames && !m_frames->videoSize().isEmpty()));
    }

    [[nodiscard]] QSize videoSize() const override
    {
        if (!m_player || !m_media)
            return {};
        unsigned width = 0;
        unsigned height = 0;
        if (libvlc_video_get_size(m_player, 0, &width, &height) == 0 && width > 0 && height > 0)
            return QSize(static_cast<int>(width), static_cast<int>(height));
        return m_frames ? m_frames->videoSize() : QSize();
    }

    bool saveVideoSnapshotAt(const QString& path, int width, int height) override
    {
        // The frame on screen, in the format the file name asks for (JPEG
        // for ".jpg"), at the video's own size unless a size is given.
        if (!m_media || !m_view || !m_view->hasFrame())
            return false;
        QImage frame = m_view->currentFrame();
        if (width > 0 && height > 0)
            frame = frame.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImageWriter writer(path);
        const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
        writer.setFormat(QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("png"));
        writer.setQuality(92);
        if (!writer.write(frame)) {
            qWarning().noquote() << QStringLiteral("snapshot %1: %2").arg(path, writer.errorString());
            return false;
        }
        return true;
    }

private:
    // libVLC's own state turns to Ended before its EndReached event arrives.
    [[nodiscard]] bool ended() const
    {
        return m_ended || (m_player && libvlc_media_player_get_state(m_player) == libvlc_Ended);
    }

    void resetPlayState()
    {
        m_skipRepeatedFrames = false;
        m_clockValid = false;
        m_clockRunning = false;
        m_ended = false;
        m_error = false;
        m_pausedStart = false;
        m_pendingTime.reset();
        m_pendingPosition.reset();
    }

    // A seek lands at once when an input runs; otherwise it waits for the
    // next start (libVLC drops seeks without an input).
    void seek(std::optional<int64_t> ms, std::optional<float> position)
    {
        if (ended()) {
            restartPausedAt(ms, position);
            return;
        }
        const libvlc_state_t vlcState = libvlc_media_player_get_state(m_player);
        const bool running = !m_ended && (vlcState == libvlc_Playing || vlcState == libvlc_Paused
                                          || vlcState == libvlc_Buffering);
        if (!running) {
            m_pendingTime = ms;
            m_pendingPosition = position;
            notifyLater(false, true);
            return;
        }
        m_pendingTime.reset();
        m_pendingPosition.reset();
        m_seekAt = Clock::now();
        if (ms) {
            libvlc_media_player_set_time(m_player, *ms);
            restartClock(*ms);
        } else if (position) {
            libvlc_media_player_set_position(m_player, *position);
            restartClock(static_cast<int64_t>(*position * static_cast<double>(mediaLength())));
        }
        notifyLater(false, true);
    }

    // After its end libVLC has no input left to seek in: a seek there starts
    // the input again, silent, and pauses it at the new place on its start,
    // so the picture, the time and a later play all go on from where the
    // user put it, not from the end or from the start.
    void restartPausedAt(std::optional<int64_t> ms, std::optional<float> position)
    {
        ++m_generation; // the old input's late events
        m_ended = false;
        m_pendingTime = ms;
        m_pendingPosition = position;
        m_pausedStart = true;
        // The clock stands at the place until the input runs there.
        m_clockRunning = false;
        restartClock(ms ? *ms : static_cast<int64_t>(position.value_or(0.0f) * static_cast<double>(mediaLength())));
        libvlc_media_player_stop(m_player);
        applyAudio();
        if (libvlc_media_player_play(m_player) != 0)
            m_error = true;
        notifyLater(true, true);
    }

    // Seeking to (or past) the end ends the recording as playing through
    // would: paused at position 1, nothing left to play.
    void reachEnd()
    {
        if (m_ended)
            return;
        const int64_t length = mediaLength();
        ++m_generation;
        m_pendingTime.reset();
        m_pendingPosition.reset();
        m_pausedStart = false;
        libvlc_media_player_stop(m_player);
        m_length = std::max(m_length, length);
        m_ended = true;
        notifyLater(true, true);
    }

    void applyRate()
    {
        if (!m_player)
            return;
        restartClock(clockTime());
        libvlc_media_player_set_rate(m_player, m_rate);
    }

    // libVLC updates its time only about four times a second; between
    // updates the time runs on from the last one at the play rate, so that
    // the partner can be put where this player really is.
    [[nodiscard]] int64_t clockTime() const
    {
        if (!m_clockValid) {
            const libvlc_time_t time = libvlc_media_player_get_time(m_player);
            return time > 0 ? time : 0;
        }
        if (!m_clockRunning)
            return m_clockTime;
        const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - m_clockAt).count();
        const double ran = std::min(elapsed, 1000.0) * static_cast<double>(m_rate);
        return m_clockTime + static_cast<int64_t>(ran);
    }

    void restartClock(int64_t ms)
    {
        m_clockTime = ms;
        m_clockAt = Clock::now();
        m_clockValid = true;
    }

    void setClockRunning(bool running)
    {
        if (running == m_clockRunning)
            return;
        const int64_t now = clockTime();
        m_clockRunning = running;
        restartClock(now);
    }

    void applyAudio()
    {
        if (!m_player)
            return;
        libvlc_audio_set_mute(m_player, m_muted || m_pausedStart ? 1 : 0);
        libvlc_audio_set_volume(m_player, m_volume);
    }

    void notifyLater(bool stateChange, bool timeChange)
    {
        QMetaObject::invokeMethod(
            this,
            [this, stateChange, timeChange] {
                if (stateChange)
                    emit stateChanged(this);
                if (timeChange)
                    emit timeChanged(this);
            },
            Qt::QueuedConnection);
    }

    // Main thread.
    void handleEvent(int type, quint64 generation, int64_t value)
    {
        static const bool trace = qEnvironmentVariableIsSet("TAMEK_PLAYER_TRACE");
        if (trace)
            qDebug().noquote() << QStringLiteral("player %1 event %2 value %3 generation %4/%5 state %6 %7")
                                      .arg(reinterpret_cast<quintptr>(this), 0, 16)
                                      .arg(type)
                                      .arg(value)
                                      .arg(generation)
                                      .arg(m_generation.load())
                                      .arg(libvlc_media_player_get_state(m_player))
                                      .arg(m_media ? QFileInfo(m_media->path()).fileName() : QString());
        if (generation != m_generation)
            return; // from a recording or an input that is gone
        switch (type) {
        case libvlc_MediaPlayerPlaying:
            m_skipRepeatedFrames = false;
            m_error = false;
            if (m_pendingTime || m_pendingPosition) {
                const auto time = m_pendingTime;
                const auto position = m_pendingPosition;
                m_pendingTime.reset();
                m_pendingPosition.reset();
                m_seekAt = Clock::now(); // time reports from before the seek are stale
                const int64_t length = mediaLength();
                std::optional<int64_t> target = time;
                if (!target && position && *position > 0)
                    target = static_cast<int64_t>(*position * static_cast<double>(length));
                if (target && !time && length <= 0) {
                    libvlc_media_player_set_position(m_player, *position);
                } else if (target) {
                    // Started to show a place after the end: one frame short
                    // of it, as the step after the pause shows the next.
                    const int64_t frame = m_pausedStart ? std::llround(frameDurationMs()) : 0;
                    libvlc_media_player_set_time(m_player, std::max<int64_t>(0, *target - frame));
                }
                if (target)
                    restartClock(*target);
            }
            if (m_pausedStart) {
                // Started only to show the place sought after the end.
                libvlc_media_player_set_pause(m_player, 1);
                emit stateChanged(this);
                emit timeChanged(this);
                break;
            }
            setClockRunning(true);
            applyAudio();
            applyRate();
            emit stateChanged(this);
            break;
        case libvlc_MediaPlayerEndReached:
            m_length = std::max(m_length, mediaLength());
            // A file libVLC opens but finds nothing in (no length, not one
            // frame) did not play: that is an error, not an end.
            if (m_length == 0 && m_framesSinceMedia.load() == 0) {
                m_error = true;
                failedWith("player.fault.no_picture");
                emit stateChanged(this);
                break;
            }
            m_ended = true;
            emit stateChanged(this);
            emit timeChanged(this);
            break;
        case libvlc_MediaPlayerEncounteredError:
            m_error = true;
            failedWith("player.fault.failed");
            emit stateChanged(this);
            break;
        case libvlc_MediaPlayerTimeChanged:
            // The reported time changed just now and restarts the clock;
            // right after a seek, a report from before it is ignored.
            if (!m_clockValid || Clock::now() - m_seekAt > std::chrono::milliseconds(500)
                || std::llabs(static_cast<long long>(value - clockTime())) < 1000)
                restartClock(value);
            emit timeChanged(this);
            break;
        case libvlc_MediaPlayerPaused:
            // A paused libVLC shows its picture again several times a
            // second; repainting the same picture only costs processor time.
            m_skipRepeatedFrames = true;
            setClockRunning(false);
            if (m_pausedStart) {
                // The frames decoded around the seek came too late to be
                // shown before the pause; one step shows the place.
                m_pausedStart = false;
                applyAudio();
                libvlc_media_player_next_frame(m_player);
            }
            emit stateChanged(this);
            break;
        case libvlc_MediaPlayerLengthChanged:
            m_length = std::max<int64_t>(m_length, value);
            break;
        case libvlc_MediaPlayerESAdded:
            applyAudio();
            break;
        case libvlc_MediaPlayerBuffering:
            break; // many per second while playing; the state does not change
        default:
            emit stateChanged(this);
            break;
        }
    }

    // The file's own fault says more than the player's failure.
    void failedWith(const char* key)
    {
        if (m_errorText.isEmpty())
            m_errorText = TMKLocalizedString(key);
    }

    static void eventCallback(const libvlc_event_t* event, void* opaque)
    {
        // libVLC's event thread: copy what is needed, never call back into
        // the player here.
        auto* self = static_cast<TMKVlcMediaPlayer*>(opaque);
        const int type = event->type;
        const quint64 generation = self->m_generation.load();
        int64_t value = 0;
        if (type == libvlc_MediaPlayerLengthChanged)
            value = event->u.media_player_length_changed.new_length;
        else if (type == libvlc_MediaPlayerTimeChanged)
            value = event->u.media_player_time_changed.new_time;
        QMetaObject::invokeMethod(
            self, [self, type, generation, value] { self->handleEvent(type, generation, value); },
            Qt::QueuedConnection);
    }

    static unsigned formatCallback(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                   unsigned* pitches, unsigned* lines)
    {
        auto* self = static_cast<TMKVlcMediaPlayer*>(*opaque);
        if (qEnvironmentVariableIsSet("TAMEK_PLAYER_TRACE"))
            qDebug("format %.4s %ux%u", chroma, *width, *height);
        // The decoder offers its padded size (180 lines become 192); frames
        // of that size would have the picture scaled into the padding. Ask
        // for the visible size instead, so a frame is the picture itself.
        const QSize visible = self->trackVideoSize();
        if (!visible.isEmpty() && static_cast<unsigned>(visible.width()) <= *width
            && static_cast<unsigned>(visible.height()) <= *height) {
            *width = static_cast<unsigned>(visible.width());
            *height = static_cast<unsigned>(visible.height());
        }
        std::memcpy(chroma, "RV32", 4);
        *width = std::max(1u, *width);
        *height = std::max(1u, *height);
        self->m_frames->setFormat(static_cast<int>(*width), static_cast<int>(*height), visible);
        *pitches = *width * 4;
        *lines = *height;
        return 1;
    }

    static void* lockCallback(void* opaque, void** planes)
    {
        auto* self = static_cast<TMKVlcMediaPlayer*>(opaque);
        *planes = self->m_frames->lockBuffer();
        return nullptr;
    }

    static void displayCallback(void* opaque, void*)
    {
        auto* self = static_cast<TMKVlcMediaPlayer*>(opaque);
        ++self->m_framesSinceMedia;
        if (!self->m_frames->publish(self->m_skipRepeatedFrames.load()))
            return;
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (self->m_view)
                    self->m_view->frameReady();
            },
            Qt::QueuedConnection);
    }

    QPointer<TMKVideoView> m_view;
    std::shared_ptr<TMKVideoFrames> m_frames;
    libvlc_media_player_t* m_player = nullptr;
    std::atomic<libvlc_media_t*> m_vlcMedia{nullptr};
    std::optional<TMKPlayerMedia> m_media;
    TMKRecordingFault m_fault = TMKRecordingFault::None;
    QString m_errorText;
    std::atomic<quint64> m_generation{0};
    std::atomic<quint64> m_framesSinceMedia{0};
    std::atomic<bool> m_skipRepeatedFrames{false};
    int64_t m_length = 0;
    bool m_ended = false;
    bool m_error = false;
    // Restarted by a seek after the end, to pause at once when it runs.
    bool m_pausedStart = false;
    std::optional<int64_t> m_pendingTime;
    std::optional<float> m_pendingPosition;
    using Clock = std::chrono::steady_clock;
    int64_t m_clockTime = 0;
    Clock::time_point m_clockAt;
    Clock::time_point m_seekAt;
    bool m_clockValid = false;
    bool m_clockRunning = false;
    float m_rate = 1.0f;
    bool m_muted = false;
    int m_volume = 100;
};

} // namespace

std::unique_ptr<TMKMediaPlayer> TMKCreateMediaPlayer(TMKVideoView* view, QObject* parent)
{
    return std::make_unique<TMKVlcMediaPlayer>(view, parent);
}

void TMKTouchMediaLibrary()
{
    (void)sharedLibrary();
}

void TMKSetSoundOutputProbe(std::function<bool()> probe)
{
    soundOutputProbe() = std::move(probe);
}

QByteArray TMKMediaLibrarySoundOutput()
{
    (void)sharedLibrary();
    return chosenSoundOutput();
}
