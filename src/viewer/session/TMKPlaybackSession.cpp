#include "viewer/session/TMKPlaybackSession.h"

#include "media/TMKMediaHealth.h"
#include "strings/TMKStrings.h"
#include "viewer/player/TMKRecordingCheck.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <utility>

namespace {

TMKBlackBoxData extractFromFile(const QString& path)
{
    TMKBlackBoxData data;
    data.ExtractStreamInformation(path.toUtf8().constData());
    return data;
}

bool holdsMedia(const TMKMediaPlayer* player)
{
    return player && player->media().has_value();
}

// Why a row's file is given to no player (a FIFO, a dangling link), from
// the file system alone; empty for a regular file.
QString notAFile(const std::string& path)
{
    const TMKMediaHealth file = TMKCheckMediaFile(path);
    return file.ok() ? QString() : TMKMediaProblemText(file.problem);
}

} // namespace

TMKPlaybackSession::TMKPlaybackSession(std::unique_ptr<TMKMediaPlayer> player1, std::unique_ptr<TMKMediaPlayer> player2,
                                       Extractor extractor, TrackBuilder trackBuilder, QObject* parent)
    : QObject(parent),
      m_player1(std::move(player1)),
      m_player2(std::move(player2)),
      m_mediaList(TMKMediaList::mediaList()),
      m_extractor(extractor ? std::move(extractor) : Extractor(extractFromFile)),
      m_trackBuilder(std::move(trackBuilder))
{
    for (TMKMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        connect(player, &TMKMediaPlayer::stateChanged, this, &TMKPlaybackSession::mediaPlayerStateChanged);
        connect(player, &TMKMediaPlayer::timeChanged, this, &TMKPlaybackSession::mediaPlayerTimeChanged);
    }
    connect(&m_playInfo, &TMKPlayInfo::audioMediaDirectionChanged, this, &TMKPlaybackSession::updateAudioUI);
    connect(this, &TMKPlaybackSession::volumeChanged, this, &TMKPlaybackSession::updateAudioUI);
    connect(&m_loading, &TMKLoadingProgress::timedOut, this, [this] {
        // The players never reported playing.
        if (m_waitingForPlayStart)
            playStartFailed(TMKLocalizedString("player.fault.timed_out"));
    });
    m_player1Logo = QStringLiteral("v1_front_logo");
    m_player2Logo = QStringLiteral("v2_rear_logo");
}

TMKPlaybackSession::~TMKPlaybackSession()
{
    die();
}

bool TMKPlaybackSession::isPlaying(const TMKMediaPlayer* player) const
{
    return holdsMedia(player) && player->isPlaying()
        && TMKMediaPlayer::timeString(player->remainingTime()) != QLatin1String("00:00");
}

bool TMKPlaybackSession::hasAudio(const TMKMediaPlayer* player) const
{
    return holdsMedia(player) && !player->audioTrackIndexes().isEmpty();
}

bool TMKPlaybackSession::playAtIndex(qint64 index)
{
    const auto count = static_cast<qint64>(m_mediaList->count());
    if (m_dead || count == 0 || m_waitingForPlayStart)
        return false;
    index = std::clamp<qint64>(index, 0, count - 1);

    m_waitingForPlayStart = true;
    ++m_playRequest;
    m_player1->stop();
    m_player1->setMedia(std::nullopt);
    m_player2->stop();
    m_player2->setMedia(std::nullopt);

    m_mediaIndex = index;
    emit rowSelected(index);

    m_notAFileReason.clear();
    updateVideoUI();
    if (!holdsMedia(m_player1.get()) || m_player1->state() == TMKMediaPlayer::Error) {
        // Neither recording of the pair can play: said at once, not after
        // the loading indicator's 15 s.
        playStartFailed(holdsMedia(m_player1.get())      ? m_player1->errorText()
                        : !m_notAFileReason.isEmpty() ? m_notAFileReason
                                                      : TMKLocalizedString("player.fault.unreadable"));
        return true;
    }
    showLoading(QStringLiteral("Loading..."));
    startExtraction();
    return true;
}

void TMKPlaybackSession::updateVideoUI()
{
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(m_mediaIndex));
    if (!media)
        return;
    const auto pair = m_mediaList->findMediaPairWithFileName(media->mediaName);
    std::shared_ptr<TMKMedia> partner;
    if (media->isRearMedia())
        partner = pair ? pair->frontMedia : nullptr;
    else
        partner = pair ? pair->rearMedia : nullptr;
    // The partner's row is skipped by the next pair even when its recording
    // turns out to be unplayable.
    m_hasRearMedia = partner != nullptr;

    // A FIFO or a dangling link is given to no player, which could block
    // on it; the other recording plays alone and the user is told why.
    std::shared_ptr<TMKMedia> first = media;
    const QString mainFault = notAFile(media->path);
    const QString partnerFault = partner ? notAFile(partner->path) : QString();
    if (!partnerFault.isEmpty()) {
        emit recordingFaulted(QString::fromStdString(partner->fileName()), partnerFault, true);
        partner = nullptr;
    }
    if (!mainFault.isEmpty()) {
        m_notAFileReason = mainFault;
        if (partner)
            emit recordingFaulted(QString::fromStdString(media->fileName()), mainFault, true);
        first = std::exchange(partner, nullptr);
    }
    if (first)
        m_player1->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(first->path)));
    if (partner) {
        m_player2->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(partner->path)));
    } else {
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
    }
    placeDamagedRecordings();

    const auto now1 = m_player1->media();
    if (now1 && now1->isRearMedia())
        setLogos(QStringLiteral("v1_rear_logo"), QStringLiteral("v2_front_logo"));
    else
        setLogos(QStringLiteral("v1_front_logo"), QStringLiteral("v2_rear_logo"));
    const bool alone = !holdsMedia(m_player2.get());
    emit partnerLoaded(!alone);
    setAudioToggle(!alone, m_audioToggleState);
}

// A damaged recording is told at once. The main area and the clock go to
// the recording that plays best: a damaged one gives its place to a sound
// partner, and one of which nothing can play is not loaded at all.
void TMKPlaybackSession::placeDamagedRecordings()
{
    const auto damaged = [](const TMKMediaPlayer* p) { return holdsMedia(p) && !p->errorText().isEmpty(); };
    const auto dead = [](const TMKMediaPlayer* p) { return holdsMedia(p) && p->state() == TMKMediaPlayer::Error; };
    for (const TMKMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (damaged(p))
            emit recordingFaulted(QFileInfo(p->media()->path()).fileName(), p->errorText(), dead(p));
    }
    const bool damaged1 = damaged(m_player1.get());
    const bool damaged2 = damaged(m_player2.get());
    if (damaged1 && holdsMedia(m_player2.get())
        && (!damaged2 || (dead(m_player1.get()) && !dead(m_player2.get())))) {
        const auto media1 = m_player1->media();
        const auto media2 = m_player2->media();
        m_player1->setMedia(media2);
        m_player2->setMedia(media1);
    }
    if (dead(m_player2.get())) {
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
    }
}

void TMKPlaybackSession::setLogos(const QString& player1Logo, const QString& player2Logo)
{
    m_player1Logo = player1Logo;
    m_player2Logo = player2Logo;
    emit logosChanged(m_player1Logo, m_player2Logo);
}

void TMKPlaybackSession::setAudioToggle(bool visible, int state)
{
    m_audioToggleVisible = visible;
    m_audioToggleState = state;
    emit audioToggleChanged(visible, state);
}

void TMKPlaybackSession::requestSliderPosition(double value)
{
    m_sliderPosition = std::clamp(value, 0.0, 1.0);
    emit sliderPositionRequested(m_sliderPosition);
}

void TMKPlaybackSession::startExtraction()
{
    // The telemetry is the front camera's, whichever row was chosen.
    const auto media1 = m_player1->media();
    const auto media2 = m_player2->media();
    QString path;
    if (media1 && media1->isRearMedia())
        path = media2 ? media2->path() : QString();
    else if (media1)
        path = media1->path();

    // Extraction fills a fresh holder on a worker; the shown lists are only
    // replaced on the main thread, so nothing reads a half-filled list. The
    // worker never touches the session: the result goes to the application
    // object, and only there, on the main thread, is it seen whether the
    // session still exists. A request number drops results of a start that
    // was abandoned meanwhile.
    const quint64 request = m_playRequest;
    QThreadPool::globalInstance()->start([self = QPointer<TMKPlaybackSession>(this), request, path,
                                          extract = m_extractor, buildTrack = m_trackBuilder,
                                          readAhead = m_readAhead]() mutable {
        // An exception leaving a pool thread ends the application; a file
        // that cannot be held in memory plays without telemetry instead.
        std::shared_ptr<TMKBlackBoxData> data;
        QList<QPointF> track;
        try {
            // The next pair's telemetry was read while the last one played.
            std::optional<TMKBlackBoxData> ahead = path.isEmpty() ? std::nullopt : readAhead->take(path.toStdString());
            data = std::make_shared<TMKBlackBoxData>(ahead         ? std::move(*ahead)
                                                     : path.isEmpty() ? TMKBlackBoxData{}
                                                                      : extract(path));
            if (buildTrack)
                track = buildTrack(*data);
        } catch (const std::exception& error) {
            qWarning().noquote() << QStringLiteral("[extract] %1: %2").arg(path, QString::fromLocal8Bit(error.what()));
            data.reset();
            track.clear();
        } catch (...) {
            qWarning().noquote() << QStringLiteral("[extract] %1: failed").arg(path);
            data.reset();
            track.clear();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self = std::move(self), request, data = std::move(data), track = std::move(track)] {
                if (self)
                    self->didExtract(request, data, track);
            },
            Qt::QueuedConnection);
    });
}

void TMKPlaybackSession::didExtract(quint64 request, std::shared_ptr<TMKBlackBoxData> data, QList<QPointF> track)
{
    if (request != m_playRequest || m_dead)
        return;
    m_blackBoxData = data ? std::move(*data) : TMKBlackBoxData{};
    m_track = std::move(track);
    emit telemetryExtracted();
    // The camera's files settle for a moment after extraction before both
    // players start; starting at once made the second start visibly late.
    QTimer::singleShot(1000, this, [this, request] {
        if (request != m_playRequest || m_dead)
            return;
        initMediaControlView();
        m_player1->play();
        if (holdsMedia(m_player2.get()))
            m_player2->play();
        m_bPlayNext = false;
        emit pairStarted(m_mediaIndex);
        readAheadNextPair();
    });
}

// The pair playNext will start: its front recording's telemetry is read now,
// while this pair plays, so that start does not wait for the card.
void TMKPlaybackSession::readAheadNextPair()
{
    const qint64 next = m_mediaIndex + (m_hasRearMedia ? 2 : 1);
    if (m_dead || next < 0 || next >= static_cast<qint64>(m_mediaList->count()))
        return;
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(next));
    if (!media)
        return;
    std::shared_ptr<TMKMedia> front = media;
    if (media->isRearMedia()) {
        const auto pair = m_mediaList->findMediaPairWithFileName(media->mediaName);
        front = pair ? pair->frontMedia : nullptr;
    }
    if (!front || !notAFile(front->path).isEmpty())
        return;
    m_readAhead->readAhead(front->path, [extract = m_extractor](const std::string& path) {
        return extract(QString::fromStdString(path));
    });
}

void TMKPlaybackSession::showTelemetry(TMKBlackBoxData data)
{
    m_blackBoxData = std::move(data);
    m_track = m_trackBuilder ? m_trackBuilder(m_blackBoxData) : QList<QPointF>{};
    emit telemetryExtracted();
}

void TMKPlaybackSession::initMediaControlView()
{
    m_waitingForPlayStart = true;
    requestSliderPosition(0);
    emit scaleStepRequested(0);
    emit controlsReset();
    m_playInfo.setSpeed(1.0);
    m_player1->setRate(1.0f);
    m_player2->setRate(1.0f);
    m_playInfo.setPosition(0);
}

void TMKPlaybackSession::updateVideoViewsVisibility()
{
    const bool p1 = holdsMedia(m_player1.get()) && m_player1->isPlaying();
    const bool p2 = holdsMedia(m_player2.get()) && m_player2->isPlaying();
    // A damaged partner at rest shows its logo, not its last, often half
    // decoded, picture.
    const bool rest2 = m_player2->state() == TMKMediaPlayer::Paused && m_player2->errorText().isEmpty();
    emit videoViewsVisibilityChanged(p1 || m_player1->state() == TMKMediaPlayer::Paused, p2 || rest2);
}

void TMKPlaybackSession::mediaPlayerStateChanged(TMKMediaPlayer* player)
{
    if (m_dead)
        return;
    const bool has1 = holdsMedia(m_player1.get());
    const bool has2 = holdsMedia(m_player2.get());
    const bool p1 = has1 && m_player1->isPlaying();
    const bool p2 = has2 && m_player2->isPlaying();
    updateVideoViewsVisibility();

    // A player that fails is told at once and its recording let go (so it
    // is told once); the pair goes on without it where it can.
    if (holdsMedia(player) && player->state() == TMKMediaPlayer::Error) {
        playerFailed(player);
        return;
    }

    if (has1 && has2) {
        if (m_player1->state() == TMKMediaPlayer::Paused && m_player2->state() == TMKMediaPlayer::Paused) {
            didFinishPlay();
            return;
        }
        // A short partner may already have ended when the main player is
        // first seen playing.
        const bool partnerEnded = m_waitingForPlayStart && m_player2->state() == TMKMediaPlayer::Paused;
        if (!(p1 && (p2 || partnerEnded)))
            return;
    } else if (has1) {
        if (m_player1->state() == TMKMediaPlayer::Paused) {
            didFinishPlay();
            return;
        }
        if (!p1)
            return;
    } else {
        return;
    }

    if (m_waitingForPlayStart) {
        m_waitingForPlayStart = false;
        didStartPlayer();
        startTimerPlayNext();
        m_preparingPlayNext = false;
    } else {
        updateAudioUI();
    }
}

void TMKPlaybackSession::didStartPlayer()
{
    if (!holdsMedia(m_player1.get()))
        return;
    m_playInfo.setSpeed(m_player1->rate());
    m_playInfo.setIsPlaying(isPlaying(m_player1.get()));
    chooseAudioAuto();
    if (m_playInfo.scale() == 0 && m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
}

void TMKPlaybackSession::didFinishPlay()
{
    m_playInfo.setPosition(m_player1->position());
    m_playInfo.setIsPlaying(isPlaying(m_player1.get()));
}

bool TMKPlaybackSession::playRecordingAt(const QString& path, double seconds)
{
    if (m_dead || !std::isfinite(seconds))
        return false;
    const std::string wanted = path.toStdString();
    qint64 row = -1;
    for (std::size_t i = 0; i < m_mediaList->count(); ++i) {
        const auto media = m_mediaList->mediaAtIndex(i);
        if (media && media->path == wanted) {
            row = static_cast<qint64>(i);
            break;
        }
    }
    if (row < 0)
        return false;
    const auto ms = static_cast<qint64>(std::llround(std::max(0.0, seconds) * 1000.0));
    const bool loaded = row == m_mediaIndex && !m_waitingForPlayStart && holdsMedia(m_player1.get());
    if (loaded && m_player1->mediaLength() > 0) {
        m_pendingSeekMs = -1;
        seekToMs(ms);
        if (!isPlaying(m_player1.get()))
            clickPlayButton();
        return true;
    }
    if (!playAtIndex(row))
        return false;
    // The players know the length only once they run.
    m_pendingSeekRequest = m_playRequest;
    m_pendingSeekMs = ms;
    return true;
}

void TMKPlaybackSession::seekToMs(qint64 ms)
{
    const double length = static_cast<double>(m_player1->mediaLength());
    if (length <= 0)
        return;
    m_sliderPosition = std::clamp(static_cast<double>(ms) / length, 0.0, kEndPosition - 0.001);
    videoPositionSliderMoved();
}

void TMKPlaybackSession::mediaPlayerTimeChanged(TMKMediaPlayer* player)
{
    if (m_dead)
        return;
    if (m_pendingSeekMs >= 0 && player == m_player1.get() && m_pendingSeekRequest == m_playRequest
        && !m_waitingForPlayStart && m_player1->mediaLength() > 0) {
        const qint64 ms = m_pendingSeekMs;
        m_pendingSeekMs = -1;
        seekToMs(ms);
    }
    updateVideoViewsVisibility();
    m_preparingPlayNext = false;
    if (!m_loading.isStopRequested()) {
        hideLoading();
        chooseAudioAuto();
    }
    m_playInfo.setIsPlaying(isPlaying(m_player1.get()));
    if (m_moving) {
        m_positionUpdateCounter = -1;
        if (m_movingPosition > 0)
            m_playInfo.setPosition(m_movingPosition);
        return;
    }
    if (player != m_player1.get())
        return;
    // The video output can appear after the start was seen; measure the
    // scale as soon as it is there.
    if (m_playInfo.scale() == 0 && m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
    m_positionUpdateCounter = (m_positionUpdateCounter + 1) % 3;
    if (m_positionUpdateCounter == 0)
        m_playInfo.setPosition(m_player1->position());
}

void TMKPlaybackSession::startTimerPlayNext()
{
    stopTimerPlayNext();
    m_playStopTimer = new QTimer(this);
    m_playStopTimer->setInterval(1000);
    connect(m_playStopTimer, &QTimer::timeout, this, &TMKPlaybackSession::timerPlayNext);
    m_playStopTimer->start();
}

void TMKPlaybackSession::resumeEndWatch()
{
    if (!m_dead && !m_waitingForPlayStart && !m_playStopTimer && holdsMedia(m_player1.get()))
        startTimerPlayNext();
}

void TMKPlaybackSession::stopTimerPlayNext()
{
    if (m_playStopTimer) {
        m_playStopTimer->stop();
        m_playStopTimer->deleteLater();
        m_playStopTimer = nullptr;
    }
}

void TMKPlaybackSession::timerPlayNext()
{
    if (m_preparingPlayNext || m_player1->state() != TMKMediaPlayer::Paused || m_player1->position() < kEndPosition)
        return;
    m_preparingPlayNext = true;
    QTimer::singleShot(1000, this, [this] {
        if (m_bPlayNext)
            return;
        m_bPlayNext = true;
        playNext();
    });
}

bool TMKPlaybackSession::playNext()
{
    stopTimerPlayNext();
    qint64 next = m_mediaIndex + 1;
    if (m_hasRearMedia)
        ++next;
    if (next >= static_cast<qint64>(m_mediaList->count()))
        return false;
    return playAtIndex(next);
}

void TMKPlaybackSession::syncVideoPositionDelay(double seconds)
{
    if (holdsMedia(m_player1.get()) && holdsMedia(m_player2.get())) {
        // Each jump schedules its own; only the last one's ends the move, so
        // a press made meanwhile is counted from where the jumps went.
        const quint64 followUp = ++m_followUp;
        QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000)), this, [this, followUp] {
            if (m_dead)
                return;
            m_player2->setPosition(m_player1->position());
            if (followUp != m_followUp)
                return;
            m_moving = false;
            m_jumpTargetMs = -1;
        });
    } else {
        m_moving = false;
        m_jumpTargetMs = -1;
    }
}

void TMKPlaybackSession::stopPlay()
{
    if (m_player1) {
        m_player1->pause();
        m_player1->setMedia(std::nullopt);
    }
    if (m_player2) {
        m_player2->pause();
        m_player2->setMedia(std::nullopt);
    }
}

void TMKPlaybackSession::abandonPlayRequest()
{
    ++m_playRequest;
    m_waitingForPlayStart = false;
    stopTimerPlayNext();
    hideLoading();
}

void TMKPlaybackSession::forgetMediaIndex()
{
    m_mediaIndex = -1;
    // New rows, and maybe other files behind the same names (another card).
    m_readAhead->forget();
}

void TMKPlaybackSession::closeMedia()
{
    if (m_dead)
        return;
    abandonPlayRequest();
    // Stopped, not paused: a paused input keeps its last picture and its
    // clock, and nothing would ever report that it ended.
    for (TMKMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        player->stop();
        player->setMedia(std::nullopt);
    }
    forgetMediaIndex();
    m_moving = false;
    m_jumpTargetMs = -1;
    m_hasRearMedia = false;
    m_preparingPlayNext = false;
    m_playInfo.setIsPlaying(false);
    m_playInfo.setPosition(0);
    m_playInfo.setScale(0);
    m_blackBoxData = {};
    m_track.clear();
    requestSliderPosition(0);
    setAudioToggle(false, m_audioToggleState);
    emit mediaClosed();
}

void TMKPlaybackSession::die()
{
    if (m_dead)
        return;
    stopPlay();
    abandonPlayRequest();
    m_dead = true;
    m_player1.reset();
    m_player2.reset();
}

void TMKPlaybackSession::clickPlayButton()
{
    if (!holdsMedia(m_player1.get()))
        return;
    if (m_playInfo.isPlaying()) {
        if (isPlaying(m_player1.get()))
            m_player1->pause();
        if (isPlaying(m_player2.get()))
            m_player2->pause();
        // Paused by the user nothing can end: the watch rests until a
        // resume or a seek.
        if (!m_waitingForPlayStart)
            stopTimerPlayNext();
        return;
    }
    resumeEndWatch();
    if (m_player1->position() < kEndPosition) {
        m_player1->play();
        if (holdsMedia(m_player2.get())) {
            m_player2->play();
            syncVideoPositionDelay(0.3);
        }
        return;
    }
    if (m_sliderPosition >= kEndPosition) {
        // At the end with the slider there too: the pair again from the start.
        m_player1->setMedia(std::nullopt);
        m_player2->setMedia(std::nullopt);
        m_waitingForPlayStart = false;
        playAtIndex(m_mediaIndex);
        return;
    }
    const auto time = static_cast<int64_t>(m_sliderPosition * static_cast<double>(m_player1->mediaLength()));
    m_player1->setTime(time);
    m_player2->setTime(time);
    showSeekPosition(m_sliderPosition);
    QTimer::singleShot(100, this, [this] {
        if (m_dead)
            return;
        m_player1->play();
        if (holdsMedia(m_player2.get()))
            m_player2->play();
    });
}

void TMKPlaybackSession::changeAndPlay(int selected)
{
    if (m_dead)
        return;
    qDebug().noquote() << QStringLiteral("selectedRow=%1,mediaIndex=%2,isPlaying=%3,count=%4")
                             .arg(selected)
                             .arg(m_mediaIndex)
                             .arg(m_player1->isPlaying() ? 1 : 0)
                             .arg(m_mediaList->count());
    if (selected < 0)
        return;
    // A start under way owns the players until they are seen playing.
    if (m_waitingForPlayStart)
        return;
    if (selected != m_mediaIndex || !holdsMedia(m_player1.get())) {
        playAtIndex(selected);
        return;
    }
    if (m_player1->state() == TMKMediaPlayer::Paused) {
        m_player1->setPosition(0);
        m_player2->setPosition(0);
        showSeekPosition(0);
    }
    resumeEndWatch();
    m_player1->play();
    if (holdsMedia(m_player2.get())) {
        m_player2->play();
        syncVideoPositionDelay(0.1);
    }
}

void TMKPlaybackSession::videoPositionSliderMoved()
{
    const double value = m_sliderPosition;
    qInfo().noquote() << QStringLiteral("[%1] position slider moved:%2 <=> %3")
                             .arg(QStringLiteral("D "))
                             .arg(m_playInfo.position(), 0, 'f', 6)
                             .arg(value, 0, 'f', 6);
    m_playInfo.setIsPlaying(isPlaying(m_player1.get()));
    if (m_moving)
        return;
    if (value >= kEndPosition) {
        m_player1->setTime(m_player1->mediaLength());
        m_player2->setTime(m_player2->mediaLength());
        showSeekPosition(1.0);
        return;
    }
    m_moving = true;
    m_movingPosition = value;
    m_jumpTargetMs = std::llround(value * static_cast<double>(m_player1->mediaLength()));
    m_player1->setPosition(static_cast<float>(value));
    m_player2->setPosition(static_cast<float>(value));
    showSeekPosition(value);
    syncVideoPositionDelay(0.3);
}

// Every seek shows where it went at once, paused or not: a paused player
// sends no time event that would.
void TMKPlaybackSession::showSeekPosition(double position)
{
    resumeEndWatch(); // a seek to the end ends the recording
    position = std::clamp(position, 0.0, 1.0);
    requestSliderPosition(position);
    m_playInfo.setPosition(position);
}

void TMKPlaybackSession::jumpForward()
{
    qInfo().noquote() << QStringLiteral("[%1] _player1.time=%2,remainingTime.stringValue=%3")
                             .arg(QStringLiteral("D "))
                             .arg(TMKMediaPlayer::timeString(m_player1->time()))
                             .arg(TMKMediaPlayer::timeString(m_player1->remainingTime()));
    const auto from = jumpBase();
    if (!from)
        return;
    const int64_t length = m_player1->mediaLength();
    if (length - *from < 10000) {
        m_player1->setTime(length);
        m_player2->setTime(m_player2->mediaLength());
        m_jumpTargetMs = -1;
        showSeekPosition(1.0);
        return;
    }
    jumpTo(*from + 10000);
}

void TMKPlaybackSession::jumpBackward()
{
    const auto from = jumpBase();
    if (!from)
        return;
    if (*from < 10000) {
        m_player1->setTime(0);
        m_player2->setTime(0);
        m_jumpTargetMs = -1;
        showSeekPosition(0);
    } else {
        jumpTo(*from - 10000);
    }
    updateAudioUI();
}

// Where a jump starts: the player's time, or, while the follow-up of a jump
// or a drag is still under way, where that one went: presses in quick
// succession each count (three presses of → move 30 s) instead of being
// dropped. None while a swap settles.
std::optional<int64_t> TMKPlaybackSession::jumpBase() const
{
    if (!holdsMedia(m_player1.get()))
        return std::nullopt;
    if (!m_moving)
        return m_player1->time();
    if (m_jumpTargetMs >= 0)
        return m_jumpTargetMs;
    return std::nullopt;
}

void TMKPlaybackSession::jumpTo(int64_t ms)
{
    const double length = static_cast<double>(m_player1->mediaLength());
    m_moving = true;
    m_jumpTargetMs = ms;
    m_player1->setTime(ms);
    // Where the jump went, not where the slider was: while paused no time
    // event comes to correct it.
    m_movingPosition = length > 0 ? static_cast<double>(ms) / length : m_player1->position();
    showSeekPosition(m_movingPosition);
    syncVideoPositionDelay(0.3);
}

void TMKPlaybackSession::swapPlayer()
{
    if (!isPlaying(m_player1.get()) || !isPlaying(m_player2.get()) || m_swapping)
        return;
    m_swapping = true;
    const float position = m_player1->position();
    m_player1->pause();
    m_player2->pause();
    const auto media1 = m_player1->media();
    const auto media2 = m_player2->media();
    m_player1->setMedia(media2);
    m_player2->setMedia(media1);
    m_player1->play();
    m_player2->play();

    const auto now1 = m_player1->media();
    const auto now2 = m_player2->media();
    setLogos((now1 && now1->isRearMedia()) ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo"),
             (now2 && now2->isFrontMedia()) ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo"));

    m_moving = true;
    m_movingPosition = position;
    m_jumpTargetMs = -1; // no jump while the players exchange recordings
    emit swapStarted();

    QTimer::singleShot(800, this, [this, position] {
        if (m_dead)
            return;
        m_moving = false;
        m_player1->setPosition(position);
        m_player2->setPosition(position);
    });
    m_player1->setMute(true);
    m_player2->setMute(true);
    QTimer::singleShot(1700, this, [this] {
        m_swapping = false;
        if (!m_dead)
            updateAudioUI();
    });
}

void TMKPlaybackSession::increaseSpeed()
{
    if (m_dead || m_playInfo.speed() + 1.0 > 2.0)
        return;
    m_player1->setRate(m_player1->rate() + 1.0f);
    m_player2->setRate(m_player2->rate() + 1.0f);
    m_playInfo.setSpeed(m_playInfo.speed() + 1.0);
}

void TMKPlaybackSession::decreaseSpeed()
{
    if (m_dead || m_playInfo.speed() <= 1.0)
        return;
    m_player1->setRate(m_player1->rate() - 1.0f);
    m_player2->setRate(m_player2->rate() - 1.0f);
    m_playInfo.setSpeed(m_playInfo.speed() - 1.0);
}

void TMKPlaybackSession::resetSpeed()
{
    if (m_dead)
        return;
    m_player1->setRate(1.0f);
    m_player2->setRate(1.0f);
    m_playInfo.setSpeed(1.0);
}

// The partner is put on the main player's frame first (when it shows
// another one), then both step the same way: they end on one frame
// whatever small drift the last resume left. A frame back is a seek of one
// frame's length from that time.
void TMKPlaybackSession::stepFrame(int direction)
{
    if (m_dead || direction == 0 || !holdsMedia(m_player1.get()) || m_waitingForPlayStart || m_swapping)
        return;
    if (m_player1->isPlaying() || (holdsMedia(m_player2.get()) && m_player2->isPlaying()))
        return;
    if (m_player1->state() != TMKMediaPlayer::Paused)
        return;
    double frame = m_player1->frameDurationMs();
    if (frame <= 0)
        frame = 1000.0 / 30.0;
    const bool partner = holdsMedia(m_player2.get());
    const int64_t now = m_player1->time();
    const auto frameOf = [frame](int64_t ms) { return std::floor(static_cast<double>(ms) / frame); };
    if (partner && frameOf(m_player2->time()) != frameOf(now))
        m_player2->setTime(now);
    if (direction > 0) {
        m_player1->nextFrame();
        if (partner)
            m_player2->nextFrame();
    } else {
        const int64_t back = std::max<int64_t>(0, now - std::llround(frame));
        m_player1->setTime(back);
        if (partner)
            m_player2->setTime(back);
    }
    m_moving = false;
    m_jumpTargetMs = -1;
    const double length = static_cast<double>(m_player1->mediaLength());
    if (length > 0)
        showSeekPosition(std::min(static_cast<double>(m_player1->time()) / length, 1.0));
}

void TMKPlaybackSession::toggleMute()
{
    if (m_dead)
        return;
    m_userMuted = !m_userMuted;
    updateAudioUI();
    emit mutedChanged(m_userMuted);
}

void TMKPlaybackSession::updatePlayInfoScale()
{
    if (m_dead || !m_player1->isPlaying() || !m_player1->hasVideoOut() || m_videoAreaHeight <= 0)
        return;
    const int videoHeight = m_player1->videoSize().height();
    if (videoHeight <= 0)
        return;
    m_playInfo.setScale(static_cast<double>(m_videoAreaHeight) / videoHeight);
}

void TMKPlaybackSession::sizeUp()
{
    if (!m_dead && m_player1->isPlaying())
        emit scaleStepRequested(1);
}

void TMKPlaybackSession::sizeDown()
{
    if (!m_dead && m_player1->isPlaying())
        emit scaleStepRequested(-1);
}

void TMKPlaybackSession::chooseAudioAuto()
{
    const TMKMediaPlayer* chosen = nullptr;
    if (hasAudio(m_player1.get()))
        chosen = m_player1.get();
    else if (hasAudio(m_player2.get()))
        chosen = m_player2.get();
    m_playInfo.setAudioMediaDirection(chosen ? chosen->media()->mediaDirection() : 2);
}

void TMKPlaybackSession::toggleAudioChoice(int toggleState)
{
    m_playInfo.setAudioMediaDirection(toggleState == 1 ? 1 : 0);
}

void TMKPlaybackSession::updateAudioUI()
{
    if (m_dead)
        return;
    const int direction = m_playInfo.audioMediaDirection();
    TMKMediaPlayer* found = nullptr;
    const auto holds = [](TMKMediaPlayer* p, bool front) {
        const auto m = p->media();
        return m && (front ? m->isFrontMedia() : m->isRearMedia());
    };
    if (direction == 0 || direction == 1) {
        const bool front = direction == 0;
        setAudioToggle(holdsMedia(m_player2.get()), front ? 0 : 1);
        if (holds(m_player1.get(), front))
            found = m_player1.get();
        else if (holds(m_player2.get(), front))
            found = m_player2.get();
    } else {
        setAudioToggle(false, m_audioToggleState);
    }
    for (TMKMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (p == found && !m_swapping && !m_userMuted) {
            p->setMute(false);
            p->setVolume(m_volume);
        } else {
            p->setMute(true);
        }
    }
}

void TMKPlaybackSession::setVolume(int value)
{
    m_volume = std::clamp(value, 0, 200);
    emit volumeChanged(m_volume);
}

void TMKPlaybackSession::volumeUp()
{
    setVolume(std::min(m_volume + 10, 200));
}

void TMKPlaybackSession::volumeDown()
{
    setVolume(std::max(m_volume - 10, 0));
}

void TMKPlaybackSession::playerFailed(TMKMediaPlayer* player)
{
    const QString file = QFileInfo(player->media()->path()).fileName();
    QString reason = player->errorText();
    if (reason.isEmpty())
        reason = TMKLocalizedString("player.fault.failed");
    if (player == m_player2.get()) {
        emit recordingFaulted(file, reason, true);
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
        emit partnerLoaded(false);
        setAudioToggle(false, m_audioToggleState);
        updateVideoViewsVisibility();
        return;
    }
    if (m_waitingForPlayStart && holdsMedia(m_player2.get()) && m_player2->state() != TMKMediaPlayer::Error) {
        // The main recording failed before the start was seen: the
        // partner takes its place and plays alone.
        emit recordingFaulted(file, reason, true);
        const auto partner = m_player2->media();
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
        m_player1->stop();
        m_player1->setMedia(partner);
        setLogos(partner->isRearMedia() ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo"),
                 partner->isRearMedia() ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo"));
        emit partnerLoaded(false);
        setAudioToggle(false, m_audioToggleState);
        m_player1->play();
        return;
    }
    playStartFailed(reason);
}

void TMKPlaybackSession::playStartFailed(const QString& reason)
{
    const qint64 index = m_mediaIndex;
    abandonPlayRequest();
    // Let go of both recordings: a failed one would report its failure again.
    for (TMKMediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        player->stop();
        player->setMedia(std::nullopt);
    }
    m_playInfo.setIsPlaying(false);
    m_playInfo.setPosition(0);
    requestSliderPosition(0);
    emit mediaClosed();
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(std::max<qint64>(index, 0)));
    m_failedFileName = media ? QString::fromStdString(media->fileName()) : QString();
    qWarning().noquote() << "play failed:" << reason << m_failedFileName;
    emit pairFailed(index, reason);
    // The recordings after it still follow, once the message could be read;
    // a request made meanwhile wins.
    const quint64 request = m_playRequest;
    QTimer::singleShot(kNextAfterFailureMs, this, [this, request, index] {
        if (m_dead || request != m_playRequest || m_waitingForPlayStart)
            return;
        m_mediaIndex = index;
        playNext();
    });
}

// The loading indicator disappears at the latest after 15 s; a start still
// pending then has failed.
void TMKPlaybackSession::showLoading(const QString& text)
{
    Q_UNUSED(text);
    m_loading.start(15);
}

void TMKPlaybackSession::hideLoading()
{
    m_loading.hide();
}
