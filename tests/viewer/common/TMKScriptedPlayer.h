#pragma once

// A media player that follows a script instead of decoding: state changes
// arrive as queued events the way the libVLC player's do, a call that does
// not change the state sends no event, and time moves only when a test says
// so (tick). It remembers what it was told.

#include "viewer/player/TMKMediaPlayer.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

class TMKScriptedPlayer : public TMKMediaPlayer {
public:
    using TMKMediaPlayer::TMKMediaPlayer;

    // A damaged recording, by file name: its reason, and whether nothing
    // of it plays (state Error at once) or it plays until `playsFor` ms.
    struct Fault {
        QString text;
        bool fatal = false;
        int64_t playsFor = 0;
    };
    static inline QHash<QString, Fault> faults;

    void setMedia(std::optional<TMKPlayerMedia> media) override
    {
        m_media = media;
        m_time = 0;
        m_fault.reset();
        if (media && faults.contains(QFileInfo(media->path()).fileName()))
            m_fault = faults.value(QFileInfo(media->path()).fileName());
        setState(m_fault && m_fault->fatal ? Error : Stopped);
    }
    [[nodiscard]] QString errorText() const override
    {
        if (m_fault)
            return m_fault->text;
        return m_media && m_state == Error ? QStringLiteral("scripted failure") : QString();
    }
    [[nodiscard]] std::optional<TMKPlayerMedia> media() const override { return m_media; }
    [[nodiscard]] int64_t mediaLength() const override { return m_media ? length : 0; }
    void play() override
    {
        ++plays;
        if (m_media && m_fault && m_fault->fatal) {
            setState(Error);
            return;
        }
        // At the end a recording rests paused; play starts it only when
        // time is left.
        if (m_media && m_state != Playing && m_time < length)
            setState(Playing);
    }
    void pause() override
    {
        if (m_state == Playing)
            setState(Paused);
    }
    void stop() override
    {
        if (m_state != Stopped)
            setState(Stopped);
    }
    [[nodiscard]] bool isPlaying() const override { return m_state == Playing; }
    [[nodiscard]] State state() const override { return m_state; }
    [[nodiscard]] float position() const override
    {
        return length > 0 ? static_cast<float>(static_cast<double>(m_time) / static_cast<double>(length)) : 0.0f;
    }
    void setPosition(float position) override
    {
        positionsSet.push_back(position);
        m_time = std::clamp<int64_t>(std::llround(static_cast<double>(position) * static_cast<double>(length)), 0,
                                     length);
    }
    [[nodiscard]] float rate() const override { return m_rate; }
    void setRate(float rate) override { m_rate = rate; }
    [[nodiscard]] int64_t time() const override { return m_time; }
    void setTime(int64_t ms) override
    {
        timesSet.push_back(ms);
        m_time = std::clamp<int64_t>(ms, 0, length);
    }
    [[nodiscard]] int64_t remainingTime() const override { return m_time - length; }
    void jumpForward(int seconds) override { setTime(m_time + seconds * 1000); }
    void jumpBackward(int seconds) override { setTime(m_time - seconds * 1000); }
    [[nodiscard]] double frameDurationMs() const override { return m_media ? frameMs : 0; }
    // One frame on, and only while paused, as libVLC's next_frame.
    void nextFrame() override
    {
        ++nextFrames;
        if (m_media && m_state == Paused)
            m_time = std::min<int64_t>(m_time + std::llround(frameMs), length);
    }
    void setMute(bool mute) override { m_muted = mute; }
    [[nodiscard]] bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override { m_volume = volume; }
    [[nodiscard]] int volume() const override { return m_volume; }
    [[nodiscard]] QList<int> audioTrackIndexes() const override
    {
        return m_media && withSound ? QList<int>{1} : QList<int>{};
    }
    [[nodiscard]] bool hasVideoOut() const override { return m_media && m_state == Playing; }
    [[nodiscard]] QSize videoSize() const override { return m_media ? QSize(1920, 1080) : QSize(); }
    // A JPEG frame, as the real player writes for a ".jpg" name, or
    // snapshotBytes when a test sets them.
    bool saveVideoSnapshotAt(const QString& path, int, int) override
    {
        if (!m_media || m_state == Stopped)
            return false;
        if (!snapshotBytes.isEmpty()) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(snapshotBytes) == snapshotBytes.size();
        }
        QImage frame(64, 36, QImage::Format_RGB32);
        frame.fill(QColor(40, 90, 160));
        return frame.save(path, "JPG");
    }

    // Time passes by `ms` while playing (a time event follows); reaching the
    // end pauses the player there, as libVLC's end of a recording does.
    void tick(int64_t ms = 250)
    {
        if (m_state != Playing)
            return;
        const int64_t end = m_fault && m_fault->playsFor > 0 ? std::min(m_fault->playsFor, length) : length;
        m_time = std::min(m_time + static_cast<int64_t>(static_cast<float>(ms) * m_rate), end);
        emit timeChanged(this);
        if (m_time >= end) {
            m_time = length; // a cut recording ends as if at its end
            setState(Paused);
        }
    }
    // A time event without time passing.
    void sendTimeEvent() { emit timeChanged(this); }

    int64_t length = 60000;
    double frameMs = 100; // 10 frames a second
    int nextFrames = 0;
    QByteArray snapshotBytes;
    bool withSound = true;
    int plays = 0;
    std::vector<int64_t> timesSet;
    std::vector<float> positionsSet;

private:
    void setState(State state)
    {
        m_state = state;
        QMetaObject::invokeMethod(this, [this] { emit stateChanged(this); }, Qt::QueuedConnection);
    }

    std::optional<TMKPlayerMedia> m_media;
    std::optional<Fault> m_fault;
    State m_state = Stopped;
    int64_t m_time = 0;
    float m_rate = 1.0f;
    bool m_muted = false;
    int m_volume = 100;
};
