#include "viewer/player/TMKVlcMediaPlayer.h"

#include "strings/TMKStrings.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/player/TMKVlcInstance.h"

#include <vlc/vlc.h>

#include <QByteArray>
#include <QDebug>
#include <QFileInfo>
#include <QImageWriter>

#include <cmath>
#include <cstdlib>

namespace {

constexpr libvlc_event_e kEvents[] = {
    libvlc_MediaPlayerOpening,      libvlc_MediaPlayerBuffering,     libvlc_MediaPlayerPlaying,
    libvlc_MediaPlayerPaused,       libvlc_MediaPlayerStopped,       libvlc_MediaPlayerEndReached,
    libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerLengthChanged,
    libvlc_MediaPlayerESAdded,      libvlc_MediaPlayerVout,
};

} // namespace

int64_t TMKVlcClock::read(float rate) const
{
    if (!m_running)
        return m_time;
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - m_at).count();
    const double ran = std::min(elapsed, 1000.0) * static_cast<double>(rate);
    return m_time + static_cast<int64_t>(ran);
}

void TMKVlcClock::restart(int64_t ms)
{
    m_time = ms;
    m_at = Clock::now();
    m_valid = true;
}

void TMKVlcClock::invalidate()
{
    m_valid = false;
    m_running = false;
}

TMKVlcMediaPlayer::TMKVlcMediaPlayer(TMKVideoView* view, QObject* parent) : TMKMediaPlayer(parent), m_sink(view)
{
    libvlc_instance_t* library = TMKVlcInstance::shared();
    if (library)
        m_player = libvlc_media_player_new(library);
    if (!m_player)
        return;
    m_sink.attach(m_player);
    m_sink.setNewPictureHandler([this] { pauseOnFirstPicture(); });
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
    for (libvlc_event_e type : kEvents)
        libvlc_event_attach(events, type, &eventCallback, this);
}

TMKVlcMediaPlayer::~TMKVlcMediaPlayer()
{
    if (!m_player)
        return;
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
    for (libvlc_event_e type : kEvents)
        libvlc_event_detach(events, type, &eventCallback, this);
    libvlc_media_player_stop(m_player);
    libvlc_media_player_release(m_player); // joins libVLC's threads: no callback after this
    if (libvlc_media_t* media = m_sink.exchangeMedia(nullptr))
        libvlc_media_release(media);
}

void TMKVlcMediaPlayer::setMedia(std::optional<TMKPlayerMedia> media)
{
    ++m_generation;
    resetPlayState();
    m_length = 0;
    m_frameMs = 0;
    m_sink.restartFrameCount();
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
        if (libvlc_media_t* old = m_sink.exchangeMedia(nullptr))
            libvlc_media_release(old);
        return;
    }
    setVlcMedia(0);
}

// `startMs` > 0 starts the input there (libVLC's first picture is the frame
// after it).
void TMKVlcMediaPlayer::setVlcMedia(int64_t startMs)
{
    const QByteArray path = QFileInfo(m_media->path()).absoluteFilePath().toLocal8Bit();
    libvlc_media_t* vlcMedia = libvlc_media_new_path(TMKVlcInstance::shared(), path.constData());
    if (!vlcMedia) {
        m_error = true;
        return;
    }
    if (startMs > 0) {
        const QByteArray start = QByteArray::number(static_cast<double>(startMs) / 1000.0, 'f', 3);
        libvlc_media_add_option(vlcMedia, QByteArray(":start-time=" + start).constData());
    }
    libvlc_media_player_set_media(m_player, vlcMedia);
    // The old input is gone once set_media returns; only then may the
    // decoder threads see the new media.
    if (libvlc_media_t* old = m_sink.exchangeMedia(vlcMedia))
        libvlc_media_release(old);
}

int64_t TMKVlcMediaPlayer::mediaLength() const
{
    if (!m_player || !m_media)
        return 0;
    const libvlc_time_t length = libvlc_media_player_get_length(m_player);
    return std::max<int64_t>(m_length, length > 0 ? length : 0);
}

void TMKVlcMediaPlayer::play()
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
    // A play while a seek after the end restarts the input plays on; when
    // that input runs already, from here.
    const bool restarting = std::exchange(m_pausedStart, false);
    if (libvlc_media_player_play(m_player) != 0)
        m_error = true;
    if (restarting && libvlc_media_player_get_state(m_player) == libvlc_Playing)
        handlePlaying();
    applyAudio();
    applyRate();
}

void TMKVlcMediaPlayer::pause()
{
    if (m_player && m_media && !m_ended)
        libvlc_media_player_set_pause(m_player, 1);
}

void TMKVlcMediaPlayer::stop()
{
    if (!m_player)
        return;
    ++m_generation;
    resetPlayState();
    libvlc_media_player_stop(m_player);
    notifyLater(true, true);
}

bool TMKVlcMediaPlayer::isPlaying() const
{
    const State current = state();
    return current == Playing || current == Buffering;
}

TMKMediaPlayer::State TMKVlcMediaPlayer::state() const
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

float TMKVlcMediaPlayer::position() const
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
        return std::clamp(static_cast<float>(static_cast<double>(time()) / static_cast<double>(length)), 0.0f, 1.0f);
    return std::clamp(libvlc_media_player_get_position(m_player), 0.0f, 1.0f);
}

void TMKVlcMediaPlayer::setPosition(float position)
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

void TMKVlcMediaPlayer::setRate(float rate)
{
    m_rate = rate;
    applyRate();
}

int64_t TMKVlcMediaPlayer::time() const
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

void TMKVlcMediaPlayer::setTime(int64_t ms)
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

int64_t TMKVlcMediaPlayer::remainingTime() const
{
    const int64_t length = mediaLength();
    return length > 0 ? std::min<int64_t>(0, time() - length) : 0;
}

double TMKVlcMediaPlayer::frameDurationMs() const
{
    libvlc_media_t* media = m_sink.media();
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
    // A restarted input's media is not parsed yet: the same file's rate.
    if (ms > 0)
        m_frameMs = ms;
    return m_frameMs;
}

void TMKVlcMediaPlayer::nextFrame()
{
    if (!m_player || !m_media || m_ended || libvlc_media_player_get_state(m_player) != libvlc_Paused)
        return;
    libvlc_media_player_next_frame(m_player);
    // libVLC tells the new time only with its next update; the clock
    // stands one frame on until then.
    const double frame = frameDurationMs();
    if (frame > 0)
        m_clock.restart(clockTime() + static_cast<int64_t>(std::llround(frame)));
    notifyLater(false, true);
}

void TMKVlcMediaPlayer::setMute(bool mute)
{
    m_muted = mute;
    applyAudio();
}

void TMKVlcMediaPlayer::setVolume(int volume)
{
    m_volume = std::clamp(volume, 0, 200);
    applyAudio();
}

QList<int> TMKVlcMediaPlayer::audioTrackIndexes() const
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

bool TMKVlcMediaPlayer::hasVideoOut() const
{
    return m_player && m_media && (libvlc_media_player_has_vout(m_player) > 0 || !m_sink.frameSize().isEmpty());
}

QSize TMKVlcMediaPlayer::videoSize() const
{
    if (!m_player || !m_media)
        return {};
    unsigned width = 0;
    unsigned height = 0;
    if (libvlc_video_get_size(m_player, 0, &width, &height) == 0 && width > 0 && height > 0)
        return QSize(static_cast<int>(width), static_cast<int>(height));
    return m_sink.frameSize();
}

bool TMKVlcMediaPlayer::saveVideoSnapshotAt(const QString& path, int width, int height)
{
    // The frame on screen, in the format the file name asks for (JPEG for
    // ".jpg"), at the video's own size unless a size is given.
    TMKVideoView* view = m_sink.view();
    if (!m_media || !view || !view->hasFrame())
        return false;
    QImage frame = view->currentFrame();
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

bool TMKVlcMediaPlayer::ended() const
{
    return m_ended || (m_player && libvlc_media_player_get_state(m_player) == libvlc_Ended);
}

void TMKVlcMediaPlayer::resetPlayState()
{
    m_sink.setSkipRepeatedFrames(false);
    m_clock.invalidate();
    m_ended = false;
    m_error = false;
    m_pausedStart = false;
    m_restartTarget = -1;
    m_pendingTime.reset();
    m_pendingPosition.reset();
}

// A seek lands at once when an input runs; otherwise it waits for the next
// start (libVLC drops seeks without an input).
void TMKVlcMediaPlayer::seek(std::optional<int64_t> ms, std::optional<float> position)
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
    m_seekAt = TMKVlcClock::Clock::now();
    if (ms) {
        libvlc_media_player_set_time(m_player, *ms);
        m_clock.restart(*ms);
    } else if (position) {
        libvlc_media_player_set_position(m_player, *position);
        m_clock.restart(static_cast<int64_t>(*position * static_cast<double>(mediaLength())));
    }
    notifyLater(false, true);
}

// After its end libVLC has no input left to seek in: a seek there starts
// the input again, silent, at the new place, and pauses it on its first
// picture, so the picture, the time and a later play all go on from where
// the user put it. Started at the place itself: a start from 0 paused at
// once could leave the first frame on screen under the right time, and no
// later seek while paused would replace it.
void TMKVlcMediaPlayer::restartPausedAt(std::optional<int64_t> ms, std::optional<float> position)
{
    ++m_generation; // the old input's late events
    m_ended = false;
    m_pendingTime = ms;
    m_pendingPosition = position;
    m_pausedStart = true;
    m_pauseAsked = false;
    // The clock stands at the place until the input runs there.
    const int64_t target =
        ms ? *ms : static_cast<int64_t>(position.value_or(0.0f) * static_cast<double>(mediaLength()));
    m_clock.setRunningFlag(false);
    m_clock.restart(target);
    m_restartTarget = target;
    libvlc_media_player_stop(m_player);
    setVlcMedia(std::max<int64_t>(0, target - std::llround(frameDurationMs())));
    m_picturesAtRestart = m_sink.newPictures();
    applyAudio();
    if (libvlc_media_player_play(m_player) != 0)
        m_error = true;
    notifyLater(true, true);
}

// The restarted input's first picture is the place's: it stays.
void TMKVlcMediaPlayer::pauseOnFirstPicture()
{
    if (!m_pausedStart || m_pauseAsked || m_sink.newPictures() == m_picturesAtRestart)
        return;
    m_pauseAsked = true;
    libvlc_media_player_set_pause(m_player, 1);
}

// Seeking to (or past) the end ends the recording as playing through
// would: paused at position 1, nothing left to play.
void TMKVlcMediaPlayer::reachEnd()
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

void TMKVlcMediaPlayer::applyRate()
{
    if (!m_player)
        return;
    m_clock.restart(clockTime());
    libvlc_media_player_set_rate(m_player, m_rate);
}

void TMKVlcMediaPlayer::applyAudio()
{
    if (!m_player)
        return;
    libvlc_audio_set_mute(m_player, m_muted || m_pausedStart ? 1 : 0);
    libvlc_audio_set_volume(m_player, m_volume);
}

int64_t TMKVlcMediaPlayer::clockTime() const
{
    if (!m_clock.valid()) {
        const libvlc_time_t time = libvlc_media_player_get_time(m_player);
        return time > 0 ? time : 0;
    }
    return m_clock.read(m_rate);
}

void TMKVlcMediaPlayer::setClockRunning(bool running)
{
    if (running == m_clock.running())
        return;
    const int64_t now = clockTime();
    m_clock.setRunningFlag(running);
    m_clock.restart(now);
}

std::unique_ptr<TMKMediaPlayer> TMKCreateMediaPlayer(TMKVideoView* view, QObject* parent)
{
    return std::make_unique<TMKVlcMediaPlayer>(view, parent);
}
