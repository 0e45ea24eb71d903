#pragma once

// The libVLC back end of TMKMediaPlayer: the player's state, libVLC's
// events, a clock between libVLC's time reports, and snapshots of the
// frame shown. The library itself is TMKVlcInstance; the frames go through
// TMKVlcFrameSink.
//
// Threads: every member runs on the main thread, except eventCallback,
// which libVLC calls on its event thread: it copies the event's type and
// value with the current generation and hops to handleEvent on the main
// thread by a queued call (libVLC must not be called back from there). A
// generation that has moved on by then (new media, stop, a restart after
// the end) marks the event stale. The destructor detaches the events and
// releases the libVLC player, which joins libVLC's threads.

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/player/TMKVlcFrameSink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>

struct libvlc_event_t;
struct libvlc_media_player_t;

// libVLC updates its time only about four times a second; between updates
// the time runs on from the last one at the play rate, so that the partner
// can be put where this player really is.
class TMKVlcClock {
public:
    using Clock = std::chrono::steady_clock;

    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] bool running() const { return m_running; }
    // The time now, for a valid clock; a run of over a second without a
    // report is not trusted further.
    [[nodiscard]] int64_t read(float rate) const;
    void restart(int64_t ms);
    // Stands the clock where it is or lets it run, without a new time.
    void setRunningFlag(bool running) { m_running = running; }
    void invalidate();

private:
    int64_t m_time = 0;
    Clock::time_point m_at;
    bool m_valid = false;
    bool m_running = false;
};

class TMKVlcMediaPlayer final : public TMKMediaPlayer {
public:
    // `view` may be null: no picture, libVLC's own video output.
    TMKVlcMediaPlayer(TMKVideoView* view, QObject* parent);
    ~TMKVlcMediaPlayer() override;

    void setMedia(std::optional<TMKPlayerMedia> media) override;
    [[nodiscard]] std::optional<TMKPlayerMedia> media() const override { return m_media; }
    [[nodiscard]] int64_t mediaLength() const override;

    void play() override;
    void pause() override;
    void stop() override;

    [[nodiscard]] bool isPlaying() const override;
    [[nodiscard]] State state() const override;
    [[nodiscard]] QString errorText() const override { return m_errorText; }

    [[nodiscard]] float position() const override;
    void setPosition(float position) override;
    [[nodiscard]] float rate() const override { return m_rate; }
    void setRate(float rate) override;
    [[nodiscard]] int64_t time() const override;
    void setTime(int64_t ms) override;
    [[nodiscard]] int64_t remainingTime() const override;
    void jumpForward(int seconds) override { setTime(time() + int64_t{seconds} * 1000); }
    void jumpBackward(int seconds) override { setTime(std::max<int64_t>(0, time() - int64_t{seconds} * 1000)); }
    [[nodiscard]] double frameDurationMs() const override;
    void nextFrame() override;

    void setMute(bool mute) override;
    [[nodiscard]] bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override;
    [[nodiscard]] int volume() const override { return m_volume; }
    [[nodiscard]] QList<int> audioTrackIndexes() const override;

    [[nodiscard]] bool hasVideoOut() const override;
    [[nodiscard]] QSize videoSize() const override;
    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;

private:
    // libVLC's own state turns to Ended before its EndReached event arrives.
    [[nodiscard]] bool ended() const;
    void resetPlayState();
    void seek(std::optional<int64_t> ms, std::optional<float> position);
    void restartPausedAt(std::optional<int64_t> ms, std::optional<float> position);
    void reachEnd();
    void setVlcMedia(int64_t startMs);
    void pauseOnFirstPicture();
    [[nodiscard]] std::optional<int64_t> pendingTarget() const;
    void applyRate();
    void applyAudio();
    // The clock's time, or libVLC's own before the clock has one.
    [[nodiscard]] int64_t clockTime() const;
    void setClockRunning(bool running);
    void notifyLater(bool stateChange, bool timeChange);
    void handleEvent(int type, quint64 generation, int64_t value);
    void handlePlaying();
    void failedWith(const char* key);

    static void eventCallback(const libvlc_event_t* event, void* opaque);

    TMKVlcFrameSink m_sink;
    libvlc_media_player_t* m_player = nullptr;
    std::optional<TMKPlayerMedia> m_media;
    TMKRecordingFault m_fault = TMKRecordingFault::None;
    QString m_errorText;
    std::atomic<quint64> m_generation{0};
    int64_t m_length = 0;
    mutable double m_frameMs = 0;
    bool m_ended = false;
    bool m_error = false;
    // Restarted by a seek after the end, to pause at once when it runs.
    bool m_pausedStart = false;
    bool m_pauseAsked = false;
    int64_t m_restartTarget = -1; // where the restarted input begins; -1: from 0
    quint64 m_picturesAtRestart = 0;
    std::optional<int64_t> m_pendingTime;
    std::optional<float> m_pendingPosition;
    TMKVlcClock m_clock;
    TMKVlcClock::Clock::time_point m_seekAt;
    float m_rate = 1.0f;
    bool m_muted = false;
    int m_volume = 100;
};
