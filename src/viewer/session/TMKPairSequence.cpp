#include "viewer/session/TMKPairSequence.h"

#include "kit/TMKLoadingProgress.h"
#include "media/TMKMediaList.h"
#include "strings/TMKStrings.h"
#include "viewer/session/TMKPairLoader.h"
#include "viewer/session/TMKPairSync.h"
#include "viewer/session/TMKPlayInfo.h"
#include "viewer/session/TMKSoundChoice.h"
#include "viewer/session/TMKTelemetryLoader.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

static constexpr double kEnd = TMKPairSync::kEndPosition;

TMKPairSequence::TMKPairSequence(Parts parts, const TMKPlaybackTiming& timing, QObject* parent)
    : QObject(parent),
      m_parts(parts),
      m_main(parts.players.main),
      m_partner(parts.players.partner),
      m_info(parts.info),
      m_timing(timing)
{
    for (TMKMediaPlayer* player : {m_main, m_partner}) {
        connect(player, &TMKMediaPlayer::stateChanged, this, &TMKPairSequence::stateChanged);
        connect(player, &TMKMediaPlayer::timeChanged, this, &TMKPairSequence::timeChanged);
    }
    connect(m_parts.telemetry, &TMKTelemetryLoader::loadFinished, this, [this] {
        const quint64 request = m_playRequest;
        QTimer::singleShot(m_timing.settleMs, this, [this, request] {
            if (request == m_playRequest)
                startPlayers();
        });
    });
    connect(m_parts.sync, &TMKPairSync::sought, this, &TMKPairSequence::resumeEndWatch); // a seek to the end ends it
    connect(m_parts.loading, &TMKLoadingProgress::timedOut, this, [this] {
        // The players never reported playing.
        if (m_waitingForPlayStart)
            playStartFailed(TMKLocalizedString("player.fault.timed_out"));
    });
}

void TMKPairSequence::setWaiting(bool waiting)
{
    m_waitingForPlayStart = waiting;
    m_parts.sync->setStarting(waiting);
}

bool TMKPairSequence::playAtIndex(qint64 index)
{
    const auto count = static_cast<qint64>(m_parts.list->count());
    if (count == 0 || m_waitingForPlayStart)
        return false;
    index = std::clamp<qint64>(index, 0, count - 1);

    setWaiting(true);
    ++m_playRequest;
    for (TMKMediaPlayer* player : {m_main, m_partner}) {
        player->stop();
        player->setMedia(std::nullopt);
    }
    m_mediaIndex = index;
    emit rowSelected(index);

    const QString notAFileReason = m_parts.loader->load(static_cast<std::size_t>(index));
    m_parts.sound->showToggle(TMKHoldsMedia(m_partner));
    if (!TMKHoldsMedia(m_main) || m_main->state() == TMKMediaPlayer::Error) {
        // Neither recording of the pair can play: said at once, not after
        // the loading indicator's time.
        playStartFailed(TMKHoldsMedia(m_main)          ? m_main->errorText()
                        : !notAFileReason.isEmpty() ? notAFileReason
                                                    : TMKLocalizedString("player.fault.unreadable"));
        return true;
    }
    m_parts.loading->start(m_timing.loadingTimeoutSeconds);
    // The telemetry is the front camera's, whichever row was chosen.
    const auto media1 = m_main->media();
    const auto media2 = m_partner->media();
    QString path;
    if (media1 && media1->isRearMedia())
        path = media2 ? media2->path() : QString();
    else if (media1)
        path = media1->path();
    m_parts.telemetry->load(path);
    return true;
}

void TMKPairSequence::startPlayers()
{
    resetControls();
    m_main->play();
    if (TMKHoldsMedia(m_partner))
        m_partner->play();
    m_advancing = false;
    emit pairStarted(m_mediaIndex);
    readAheadNextPair();
}

// The pair playNext will start: its front recording's telemetry is read now,
// while this pair plays, so that start does not wait for the card.
void TMKPairSequence::readAheadNextPair()
{
    const qint64 next = m_mediaIndex + (m_parts.loader->hasPartnerRow() ? 2 : 1);
    if (next < 0 || next >= static_cast<qint64>(m_parts.list->count()))
        return;
    const QString front = m_parts.loader->frontFileOf(static_cast<std::size_t>(next));
    if (!front.isEmpty())
        m_parts.telemetry->readAhead(front);
}

void TMKPairSequence::resetControls()
{
    setWaiting(true);
    emit scaleStepRequested(0);
    emit controlsReset();
    m_parts.sync->resetSpeed();
    TMKShowPlace(*m_info, m_main, 0);
}

void TMKPairSequence::updateVideoViewsVisibility()
{
    const bool p1 = TMKHoldsMedia(m_main) && m_main->isPlaying();
    const bool p2 = TMKHoldsMedia(m_partner) && m_partner->isPlaying();
    // A damaged partner at rest shows its logo, not its last, often half
    // decoded, picture.
    const bool rest2 = m_partner->state() == TMKMediaPlayer::Paused && m_partner->errorText().isEmpty();
    emit videoViewsVisibilityChanged(p1 || m_main->state() == TMKMediaPlayer::Paused, p2 || rest2);
}

void TMKPairSequence::stateChanged(TMKMediaPlayer* player)
{
    const bool has1 = TMKHoldsMedia(m_main);
    const bool has2 = TMKHoldsMedia(m_partner);
    const bool p1 = has1 && m_main->isPlaying();
    const bool p2 = has2 && m_partner->isPlaying();
    updateVideoViewsVisibility();

    // A player that fails is told at once and its recording let go (so it
    // is told once); the pair goes on without it where it can.
    if (TMKHoldsMedia(player) && player->state() == TMKMediaPlayer::Error) {
        playerFailed(player);
        return;
    }
    const bool paused1 = m_main->state() == TMKMediaPlayer::Paused;
    if (has1 && has2) {
        if (paused1 && m_partner->state() == TMKMediaPlayer::Paused) {
            TMKShowPlace(*m_info, m_main, m_main->position());
            m_info->setIsPlaying(TMKPlaysMedia(m_main));
            return;
        }
        // A short partner may already have ended when the main player is
        // first seen playing.
        const bool partnerEnded = m_waitingForPlayStart && m_partner->state() == TMKMediaPlayer::Paused;
        if (!(p1 && (p2 || partnerEnded)))
            return;
    } else if (has1) {
        if (paused1) {
            TMKShowPlace(*m_info, m_main, m_main->position());
            m_info->setIsPlaying(TMKPlaysMedia(m_main));
            return;
        }
        if (!p1)
            return;
    } else {
        return;
    }

    if (m_waitingForPlayStart) {
        setWaiting(false);
        didStartPlayer();
        startEndWatch();
        m_endSeen = false;
    } else {
        m_parts.sound->apply();
    }
}

void TMKPairSequence::didStartPlayer()
{
    m_info->setSpeed(m_main->rate());
    m_info->setIsPlaying(TMKPlaysMedia(m_main));
    m_parts.sound->chooseAuto();
    if (m_info->scale() == 0 && m_main->hasVideoOut() && m_main->videoSize().width() > 0)
        updateScale();
}

void TMKPairSequence::timeChanged(TMKMediaPlayer* player)
{
    if (m_pendingSeekMs >= 0 && player == m_main && m_pendingSeekRequest == m_playRequest && !m_waitingForPlayStart
        && m_main->mediaLength() > 0) {
        const qint64 ms = std::exchange(m_pendingSeekMs, -1);
        seekToMs(ms);
    }
    updateVideoViewsVisibility();
    m_endSeen = false;
    if (!m_parts.loading->isStopRequested()) {
        m_parts.loading->hide();
        m_parts.sound->chooseAuto();
    }
    m_info->setIsPlaying(TMKPlaysMedia(m_main));
    if (m_parts.sync->isMoving()) {
        m_positionUpdateCounter = -1;
        if (m_parts.sync->movingPosition() > 0)
            TMKShowPlace(*m_info, m_main, m_parts.sync->movingPosition());
        return;
    }
    if (player != m_main)
        return;
    // The video output can appear after the start was seen; measure the
    // scale as soon as it is there.
    if (m_info->scale() == 0 && m_main->hasVideoOut() && m_main->videoSize().width() > 0)
        updateScale();
    m_positionUpdateCounter = (m_positionUpdateCounter + 1) % 3;
    if (m_positionUpdateCounter == 0)
        TMKShowPlace(*m_info, m_main, m_main->position());
}

void TMKPairSequence::setVideoAreaHeight(int height)
{
    m_videoAreaHeight = height;
    updateScale();
}

void TMKPairSequence::updateScale()
{
    if (!m_main->isPlaying() || !m_main->hasVideoOut() || m_videoAreaHeight <= 0)
        return;
    const int videoHeight = m_main->videoSize().height();
    if (videoHeight > 0)
        m_info->setScale(static_cast<double>(m_videoAreaHeight) / videoHeight);
}

void TMKPairSequence::sizeUp()
{
    if (m_main->isPlaying())
        emit scaleStepRequested(1);
}

void TMKPairSequence::sizeDown()
{
    if (m_main->isPlaying())
        emit scaleStepRequested(-1);
}

bool TMKPairSequence::playRecordingAt(const QString& path, double seconds)
{
    if (!std::isfinite(seconds))
        return false;
    const std::string wanted = path.toStdString();
    qint64 row = -1;
    for (std::size_t i = 0; i < m_parts.list->count(); ++i) {
        const auto media = m_parts.list->mediaAtIndex(i);
        if (media && media->path == wanted) {
            row = static_cast<qint64>(i);
            break;
        }
    }
    if (row < 0)
        return false;
    const auto ms = static_cast<qint64>(std::llround(std::max(0.0, seconds) * 1000.0));
    const bool loaded = row == m_mediaIndex && !m_waitingForPlayStart && TMKHoldsMedia(m_main);
    if (loaded && m_main->mediaLength() > 0) {
        m_pendingSeekMs = -1;
        seekToMs(ms);
        if (!TMKPlaysMedia(m_main))
            playOrPause();
        return true;
    }
    if (!playAtIndex(row))
        return false;
    // The players know the length only once they run.
    m_pendingSeekRequest = m_playRequest;
    m_pendingSeekMs = ms;
    return true;
}

void TMKPairSequence::seekToMs(qint64 ms)
{
    const double length = static_cast<double>(m_main->mediaLength());
    if (length > 0)
        m_parts.sync->seekTo(std::clamp(static_cast<double>(ms) / length, 0.0, kEnd - 0.001));
}

// With nothing loaded (at start, after a new folder) play starts the
// selected row, or the first, rather than doing nothing.
void TMKPairSequence::playOrPause(int selectedRow)
{
    if (!TMKHoldsMedia(m_main)) {
        if (!m_waitingForPlayStart && m_parts.list->count() > 0)
            playAtIndex(std::max(selectedRow, 0));
        return;
    }
    if (m_info->isPlaying()) {
        if (TMKPlaysMedia(m_main))
            m_main->pause();
        if (TMKPlaysMedia(m_partner))
            m_partner->pause();
        // Paused by the user nothing can end: the watch rests until a
        // resume or a seek.
        if (!m_waitingForPlayStart)
            stopEndWatch();
        return;
    }
    resumeEndWatch();
    if (m_main->position() < kEnd) {
        m_main->play();
        if (TMKHoldsMedia(m_partner)) {
            m_partner->play();
            m_parts.sync->followUp(m_timing.seekFollowUpMs);
        }
        return;
    }
    const double slider = m_info->position();
    if (slider >= kEnd) {
        // At the end with the slider there too: the pair again from the start.
        m_main->setMedia(std::nullopt);
        m_partner->setMedia(std::nullopt);
        setWaiting(false);
        playAtIndex(m_mediaIndex);
        return;
    }
    const auto time = static_cast<int64_t>(slider * static_cast<double>(m_main->mediaLength()));
    m_main->setTime(time);
    m_partner->setTime(time);
    TMKShowPlace(*m_info, m_main, slider);
    QTimer::singleShot(m_timing.resumeAfterSeekMs, this, [this] {
        m_main->play();
        if (TMKHoldsMedia(m_partner))
            m_partner->play();
    });
}

void TMKPairSequence::changeAndPlay(int selected)
{
    // A start under way owns the players until they are seen playing.
    if (selected < 0 || m_waitingForPlayStart)
        return;
    if (selected != m_mediaIndex || !TMKHoldsMedia(m_main)) {
        playAtIndex(selected);
        return;
    }
    if (m_main->state() == TMKMediaPlayer::Paused) {
        m_main->setPosition(0);
        m_partner->setPosition(0);
        TMKShowPlace(*m_info, m_main, 0);
    }
    resumeEndWatch();
    m_main->play();
    if (TMKHoldsMedia(m_partner)) {
        m_partner->play();
        m_parts.sync->followUp(m_timing.rowFollowUpMs);
    }
}

void TMKPairSequence::startEndWatch()
{
    stopEndWatch();
    m_endWatch = new QTimer(this);
    m_endWatch->setInterval(m_timing.endWatchMs);
    connect(m_endWatch, &QTimer::timeout, this, &TMKPairSequence::watchEnd);
    m_endWatch->start();
}

void TMKPairSequence::resumeEndWatch()
{
    if (!m_waitingForPlayStart && !m_endWatch && TMKHoldsMedia(m_main))
        startEndWatch();
}

void TMKPairSequence::stopEndWatch()
{
    if (m_endWatch) {
        m_endWatch->stop();
        m_endWatch->deleteLater();
        m_endWatch = nullptr;
    }
}

void TMKPairSequence::watchEnd()
{
    if (m_endSeen || m_main->state() != TMKMediaPlayer::Paused || m_main->position() < kEnd)
        return;
    m_endSeen = true;
    QTimer::singleShot(m_timing.advanceMs, this, [this] {
        if (m_advancing)
            return;
        m_advancing = true;
        playNext();
    });
}

bool TMKPairSequence::playNext()
{
    stopEndWatch();
    const qint64 next = m_mediaIndex + (m_parts.loader->hasPartnerRow() ? 2 : 1);
    if (next >= static_cast<qint64>(m_parts.list->count()))
        return false;
    return playAtIndex(next);
}

void TMKPairSequence::stopPlay()
{
    for (TMKMediaPlayer* player : {m_main, m_partner}) {
        player->pause();
        player->setMedia(std::nullopt);
    }
}

// Drops a start under way (a new folder, a failure): its late steps start
// nothing and new requests are accepted again.
void TMKPairSequence::abandonPlayRequest()
{
    ++m_playRequest;
    m_parts.telemetry->cancel();
    setWaiting(false);
    stopEndWatch();
    m_parts.loading->hide();
}

void TMKPairSequence::forgetMediaIndex()
{
    m_mediaIndex = -1;
    // New rows, and maybe other files behind the same names (another card).
    m_parts.telemetry->forget();
}

void TMKPairSequence::closeMedia()
{
    abandonPlayRequest();
    // Stopped, not paused: a paused input keeps its last picture and its
    // clock, and nothing would ever report that it ended.
    for (TMKMediaPlayer* player : {m_main, m_partner}) {
        player->stop();
        player->setMedia(std::nullopt);
    }
    forgetMediaIndex();
    m_parts.sync->reset();
    m_endSeen = false;
    m_info->setIsPlaying(false);
    TMKShowPlace(*m_info, m_main, 0);
    m_info->setScale(0);
    m_parts.telemetry->clear();
    m_parts.sound->showToggle(false);
    emit mediaClosed();
}

void TMKPairSequence::playerFailed(TMKMediaPlayer* player)
{
    const QString file = QFileInfo(player->media()->path()).fileName();
    QString reason = player->errorText();
    if (reason.isEmpty())
        reason = TMKLocalizedString("player.fault.failed");
    if (player == m_partner) {
        m_parts.loader->dropFailedPartner(file, reason);
        m_parts.sound->showToggle(false);
        updateVideoViewsVisibility();
        return;
    }
    if (m_waitingForPlayStart && m_parts.loader->replaceFailedMain(file, reason)) {
        m_parts.sound->showToggle(false);
        return;
    }
    playStartFailed(reason);
}

void TMKPairSequence::playStartFailed(const QString& reason)
{
    const qint64 index = m_mediaIndex;
    abandonPlayRequest();
    // Let go of both recordings: a failed one would report its failure again.
    for (TMKMediaPlayer* player : {m_main, m_partner}) {
        player->stop();
        player->setMedia(std::nullopt);
    }
    m_info->setIsPlaying(false);
    TMKShowPlace(*m_info, m_main, 0);
    emit mediaClosed();
    const auto media = m_parts.list->mediaAtIndex(static_cast<std::size_t>(std::max<qint64>(index, 0)));
    m_failedFileName = media ? QString::fromStdString(media->fileName()) : QString();
    qWarning().noquote() << "play failed:" << reason << m_failedFileName;
    emit pairFailed(index, reason);
    // The recordings after it still follow, once the message could be read;
    // a request made meanwhile wins.
    const quint64 request = m_playRequest;
    QTimer::singleShot(m_timing.nextAfterFailureMs, this, [this, request, index] {
        if (request != m_playRequest || m_waitingForPlayStart)
            return;
        m_mediaIndex = index;
        playNext();
    });
}
