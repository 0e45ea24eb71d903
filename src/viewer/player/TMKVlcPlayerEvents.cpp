// TMKVlcMediaPlayer's side of libVLC's events: copied on libVLC's event
// thread, handled on the main thread (see TMKVlcMediaPlayer.h).

#include "strings/TMKStrings.h"
#include "viewer/player/TMKVlcMediaPlayer.h"

#include <vlc/vlc.h>

#include <QDebug>
#include <QFileInfo>

#include <cmath>
#include <cstdlib>
#include <utility>

void TMKVlcMediaPlayer::eventCallback(const libvlc_event_t* event, void* opaque)
{
    // libVLC's event thread: copy what is needed, never call back into the
    // player here.
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

void TMKVlcMediaPlayer::notifyLater(bool stateChange, bool timeChange)
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

void TMKVlcMediaPlayer::handleEvent(int type, quint64 generation, int64_t value)
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
        handlePlaying();
        break;
    case libvlc_MediaPlayerEndReached:
        m_length = std::max(m_length, mediaLength());
        // A file libVLC opens but finds nothing in (no length, not one
        // frame) did not play: that is an error, not an end.
        if (m_length == 0 && m_sink.framesSinceMedia() == 0) {
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
        // The reported time changed just now and restarts the clock; right
        // after a seek, a report from before it is ignored.
        if (!m_clock.valid() || TMKVlcClock::Clock::now() - m_seekAt > std::chrono::milliseconds(500)
            || std::llabs(static_cast<long long>(value - clockTime())) < 1000)
            m_clock.restart(value);
        emit timeChanged(this);
        break;
    case libvlc_MediaPlayerPaused:
        m_sink.setSkipRepeatedFrames(true);
        setClockRunning(false);
        if (std::exchange(m_pausedStart, false)) {
            // Paused on the place's picture; a seek made while it started
            // is a seek while paused now, which shows its frame.
            applyAudio();
            const std::optional<int64_t> wanted = pendingTarget();
            m_pendingTime.reset();
            m_pendingPosition.reset();
            if (wanted && *wanted != m_restartTarget) {
                m_seekAt = TMKVlcClock::Clock::now();
                libvlc_media_player_set_time(m_player, *wanted);
            }
            m_clock.restart(wanted.value_or(m_restartTarget));
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

void TMKVlcMediaPlayer::handlePlaying()
{
    m_sink.setSkipRepeatedFrames(false);
    m_error = false;
    if (m_pausedStart) {
        // Started only to show the place sought after the end: it pauses
        // on its first picture.
        emit stateChanged(this);
        emit timeChanged(this);
        return;
    }
    if (m_pendingTime || m_pendingPosition) {
        const auto time = m_pendingTime;
        const auto position = m_pendingPosition;
        const std::optional<int64_t> target = pendingTarget();
        m_pendingTime.reset();
        m_pendingPosition.reset();
        m_seekAt = TMKVlcClock::Clock::now(); // time reports from before the seek are stale
        if (target && !time && mediaLength() <= 0)
            libvlc_media_player_set_position(m_player, *position);
        else if (target && *target != m_restartTarget)
            libvlc_media_player_set_time(m_player, *target);
        if (target)
            m_clock.restart(*target);
    }
    m_restartTarget = -1;
    setClockRunning(true);
    applyAudio();
    applyRate();
    emit stateChanged(this);
}

// The place a seek made without an input asks for, in ms.
std::optional<int64_t> TMKVlcMediaPlayer::pendingTarget() const
{
    if (m_pendingTime)
        return m_pendingTime;
    if (m_pendingPosition && *m_pendingPosition > 0)
        return static_cast<int64_t>(*m_pendingPosition * static_cast<double>(mediaLength()));
    return std::nullopt;
}

// The file's own fault says more than the player's failure.
void TMKVlcMediaPlayer::failedWith(const char* key)
{
    if (m_errorText.isEmpty())
        m_errorText = TMKLocalizedString(key);
}
