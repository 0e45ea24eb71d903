// Playback: a list row plays with its partner, the second player follows
// the first after every seek, and the next pair follows at the end.

#include "TMKAppDelegate.h"

#include "TMKMainWindow.h"
#include "GraphView.h"
#include "TMKMediaListModel.h"
#include "TMKStrings.h"
#include "TMKWindowLayout.h"
#include "player/TMKVideoView.h"

#include "TMKImageButton.h"
#include "TMKLogoView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QDebug>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QThreadPool>
#include <QTimer>

#include <cmath>
#include <exception>

namespace {

constexpr double kEndPosition = 0.998;
constexpr int kSliderSteps = 10000;

// The position counter thins out position updates: the first time event
// after a seek, then every third.
int gPositionUpdateCounter = -1;

bool holdsMedia(const TMKMediaPlayer* player)
{
    return player && player->media().has_value();
}

} // namespace

bool TMKAppDelegate::isPlaying(const TMKMediaPlayer* player) const
{
    return holdsMedia(player) && player->isPlaying()
        && TMKMediaPlayer::timeString(player->remainingTime()) != QLatin1String("00:00");
}

bool TMKAppDelegate::hasAudio(const TMKMediaPlayer* player) const
{
    return holdsMedia(player) && !player->audioTrackIndexes().isEmpty();
}

bool TMKAppDelegate::playAtIndex(qint64 index)
{
    const auto count = static_cast<qint64>(m_mediaList->count());
    if (count == 0 || m_waitingForPlayStart)
        return false;
    if (index < 0)
        index = 0;
    if (index >= count)
        index = count - 1;

    m_waitingForPlayStart = true;
    ++m_playRequest;
    m_player1->stop();
    m_player1->setMedia(std::nullopt);
    m_player2->stop();
    m_player2->setMedia(std::nullopt);

    m_mediaIndex = index;
    if (m_tableView && m_tableView->selectionModel()) {
        m_tableView->selectionModel()->select(
            m_listModel->index(static_cast<int>(index), 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_tableView->scrollTo(m_listModel->index(static_cast<int>(index), 0));
    }

    updateVideoUI();
    showLoading(QStringLiteral("Loading..."));
    startExtraction();
    return true;
}

void TMKAppDelegate::updateVideoUI()
{
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(m_mediaIndex));
    if (!media)
        return;
    const auto pair = m_mediaList->findMediaPairWithFileName(media->mediaName);
    m_player1->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(media->path)));

    std::shared_ptr<TMKMedia> partner;
    if (media->isRearMedia()) {
        setLogos(true);
        partner = pair ? pair->frontMedia : nullptr;
    } else {
        setLogos(false);
        partner = pair ? pair->rearMedia : nullptr;
    }
    if (partner) {
        m_player2->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromStdString(partner->path)));
    } else {
        m_player2->stop();
        m_player2->setMedia(std::nullopt);
    }
    const bool alone = !holdsMedia(m_player2.get());
    if (m_video2View)
        m_video2View->setHidden(alone);
    if (m_audioToggleButton)
        m_audioToggleButton->setHidden(alone);
}

void TMKAppDelegate::setLogos(bool player1IsRear)
{
    m_player1Logo = player1IsRear ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo");
    m_player2Logo = player1IsRear ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo");
    if (m_player1BackgroundView)
        m_player1BackgroundView->setLogoImage(m_player1Logo);
    if (m_player2BackgroundView)
        m_player2BackgroundView->setLogoImage(m_player2Logo);
}

void TMKAppDelegate::startExtraction()
{
    // The telemetry is the front camera's, whichever row was chosen.
    const auto media1 = m_player1->media();
    const auto media2 = m_player2->media();
    QString path;
    if (media1 && media1->isRearMedia())
        path = media2 ? media2->path() : QString();
    else if (media1)
        path = media1->path();

    // Extraction fills a fresh holder on a worker; the display's lists are
    // only replaced on the main thread, so nothing reads a half-filled list.
    const quint64 request = m_playRequest;
    QPointer<TMKAppDelegate> self(this);
    QThreadPool::globalInstance()->start([self, request, path] {
        // An exception leaving a pool thread ends the application; a file
        // that cannot be held in memory plays without telemetry instead.
        std::shared_ptr<TMKBlackBoxData> data;
        QList<QPointF> track;
        try {
            data = std::make_shared<TMKBlackBoxData>();
            if (!path.isEmpty())
                data->ExtractStreamInformation(path.toUtf8().constData());
            track = trackPoints(*data);
        } catch (const std::exception& error) {
            qWarning().noquote() << QStringLiteral("[extract] %1: %2").arg(path, QString::fromLocal8Bit(error.what()));
            data.reset();
            track.clear();
        } catch (...) {
            qWarning().noquote() << QStringLiteral("[extract] %1: failed").arg(path);
            data.reset();
            track.clear();
        }
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, request, data, track] {
                if (self)
                    self->didExtract(request, data, track);
            },
            Qt::QueuedConnection);
    });
}

void TMKAppDelegate::didExtract(quint64 request, std::shared_ptr<TMKBlackBoxData> data, QList<QPointF> track)
{
    if (request != m_playRequest || m_dead)
        return;
    if (data)
        m_blackBoxData = std::move(*data);
    else
        m_blackBoxData = TMKBlackBoxData{};
    if (m_graphView)
        m_graphView->setGraphData(m_blackBoxData.m_GSensors);
    sendTrackToMap(track);
    // The camera's files settle for a moment after extraction before both
    // players start; starting at once made the second start visibly late.
    QTimer::singleShot(1000, this, [this, request] {
        if (request != m_playRequest || m_dead)
            return;
        initMediaControlView();
        m_player1->play();
        m_hasRearMedia = false;
        if (holdsMedia(m_player2.get())) {
            m_player2->play();
            m_hasRearMedia = true;
        }
        m_bPlayNext = false;
        emit pairStarted(m_mediaIndex);
    });
}

void TMKAppDelegate::initMediaControlView()
{
    m_waitingForPlayStart = true;
    setPositionSliderValueSilently(0);
    setVideoScaleIndex(0);
    updateSideViewButton();
    m_playInfo->setSpeed(1.0);
    m_player1->setRate(1.0f);
    m_player2->setRate(1.0f);
    m_playInfo->setPosition(0);
    if (m_xLabel) {
        m_xLabel->setText(QStringLiteral("X=+0.00"));
        m_yLabel->setText(QStringLiteral("Y=+0.00"));
        m_zLabel->setText(QStringLiteral("Z=+0.00"));
        m_speedLabel->clear();
        m_hdopLabel->clear();
        m_satelliteLabel->clear();
    }
}

void TMKAppDelegate::updateVideoViewsVisibility()
{
    const bool p1 = holdsMedia(m_player1.get()) && m_player1->isPlaying();
    const bool p2 = holdsMedia(m_player2.get()) && m_player2->isPlaying();
    if (m_video1View)
        m_video1View->setHidden(!(p1 || m_player1->state() == TMKMediaPlayer::Paused));
    if (m_video2View)
        m_video2View->setHidden(!(p2 || m_player2->state() == TMKMediaPlayer::Paused));
}

void TMKAppDelegate::mediaPlayerStateChanged(TMKMediaPlayer* player)
{
    Q_UNUSED(player);
    if (m_dead)
        return;
    const bool has1 = holdsMedia(m_player1.get());
    const bool has2 = holdsMedia(m_player2.get());
    const bool p1 = has1 && m_player1->isPlaying();
    const bool p2 = has2 && m_player2->isPlaying();
    updateVideoViewsVisibility();

    // A start that ends in an error, or at the end before it was ever seen
    // playing, would otherwise leave the window waiting for ever.
    if (m_waitingForPlayStart && has1 && player == m_player1.get()) {
        if (m_player1->state() == TMKMediaPlayer::Error) {
            playStartFailed(QStringLiteral("player error"));
            return;
        }
    }

    if (has1 && has2) {
        if (m_player1->state() == TMKMediaPlayer::Paused && m_player2->state() == TMKMediaPlayer::Paused) {
            didFinishPlay();
            return;
        }
        if (!(p1 && p2))
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

void TMKAppDelegate::didStartPlayer()
{
    if (!holdsMedia(m_player1.get()))
        return;
    m_playInfo->setSpeed(m_player1->rate());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    chooseAudioAuto();
    if (m_playInfo->scale() == 0 && m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
}

void TMKAppDelegate::didFinishPlay()
{
    m_playInfo->setPosition(m_player1->position());
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
}

void TMKAppDelegate::mediaPlayerTimeChanged(TMKMediaPlayer* player)
{
    if (m_dead)
        return;
    updateVideoViewsVisibility();
    m_preparingPlayNext = false;
    if (!m_stopVideoLoadingView) {
        hideLoading();
        chooseAudioAuto();
    }
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    if (m_moving) {
        gPositionUpdateCounter = -1;
        if (m_movingPosition > 0)
            m_playInfo->setPosition(m_movingPosition);
        return;
    }
    if (player != m_player1.get())
        return;
    // The video output can appear after the start was seen; measure the
    // scale as soon as it is there.
    if (m_playInfo->scale() == 0 && m_player1->hasVideoOut() && m_player1->videoSize().width() > 0)
        updatePlayInfoScale();
    gPositionUpdateCounter = (gPositionUpdateCounter + 1) % 3;
    if (gPositionUpdateCounter == 0)
        m_playInfo->setPosition(m_player1->position());
}

void TMKAppDelegate::startTimerPlayNext()
{
    if (m_playStopTimer) {
        m_playStopTimer->stop();
        m_playStopTimer->deleteLater();
    }
    m_playStopTimer = new QTimer(this);
    m_playStopTimer->setInterval(1000);
    connect(m_playStopTimer, &QTimer::timeout, this, &TMKAppDelegate::timerPlayNext);
    m_playStopTimer->start();
}

void TMKAppDelegate::timerPlayNext()
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

bool TMKAppDelegate::playNext()
{
    if (m_playStopTimer) {
        m_playStopTimer->stop();
        m_playStopTimer->deleteLater();
        m_playStopTimer = nullptr;
    }
    qint64 next = m_mediaIndex + 1;
    if (m_hasRearMedia)
        ++next;
    if (next >= static_cast<qint64>(m_mediaList->count()))
        return false;
    return playAtIndex(next);
}

void TMKAppDelegate::syncVideoPositionDelay(double seconds)
{
    if (holdsMedia(m_player1.get()) && holdsMedia(m_player2.get())) {
        QTimer::singleShot(static_cast<int>(std::lround(seconds * 1000)), this, [this] {
            m_moving = false;
            m_player2->setPosition(m_player1->position());
        });
    } else {
        m_moving = false;
    }
}

void TMKAppDelegate::stopPlay()
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

void TMKAppDelegate::clickPlayButton()
{
    if (!holdsMedia(m_player1.get()))
        return;
    if (m_playInfo->isPlaying()) {
        if (isPlaying(m_player1.get()))
            m_player1->pause();
        if (isPlaying(m_player2.get()))
            m_player2->pause();
        return;
    }
    if (m_player1->position() < kEndPosition) {
        m_player1->play();
        if (holdsMedia(m_player2.get())) {
            m_player2->play();
            syncVideoPositionDelay(0.3);
        }
        return;
    }
    if (positionSliderValue() >= kEndPosition) {
        // At the end with the slider there too: the pair again from the start.
        m_player1->setMedia(std::nullopt);
        m_player2->setMedia(std::nullopt);
        m_waitingForPlayStart = false;
        playAtIndex(m_mediaIndex);
        return;
    }
    const auto time = static_cast<int64_t>(positionSliderValue() * static_cast<double>(m_player1->mediaLength()));
    m_player1->setTime(time);
    m_player2->setTime(time);
    QTimer::singleShot(100, this, [this] {
        m_player1->play();
        if (holdsMedia(m_player2.get()))
            m_player2->play();
    });
}

void TMKAppDelegate::changeAndPlay()
{
    if (!m_tableView)
        return;
    const int selected = m_tableView->currentIndex().row();
    qInfo().noquote() << QStringLiteral("selectedRow=%1,mediaIndex=%2,isPlaying=%3,count=%4")
                             .arg(selected)
                             .arg(m_mediaIndex)
                             .arg(m_player1->isPlaying() ? 1 : 0)
                             .arg(m_mediaList->count());
    if (selected < 0)
        return;
    if (selected != m_mediaIndex) {
        playAtIndex(selected);
        return;
    }
    if (m_player1->state() == TMKMediaPlayer::Paused) {
        m_player1->setPosition(0);
        m_player2->setPosition(0);
    }
    m_player1->play();
    if (holdsMedia(m_player2.get())) {
        m_player2->play();
        syncVideoPositionDelay(0.1);
    }
}

void TMKAppDelegate::videoPositionSliderMoved()
{
    const double value = positionSliderValue();
    qInfo().noquote() << QStringLiteral("[%1] position slider moved:%2 <=> %3")
                             .arg(QStringLiteral("D "))
                             .arg(m_playInfo->position(), 0, 'f', 6)
                             .arg(value, 0, 'f', 6);
    m_playInfo->setIsPlaying(isPlaying(m_player1.get()));
    if (m_moving)
        return;
    if (value >= kEndPosition) {
        m_player1->setTime(m_player1->mediaLength());
        m_player2->setTime(m_player2->mediaLength());
        return;
    }
    m_moving = true;
    m_movingPosition = value;
    m_player1->setPosition(static_cast<float>(value));
    m_player2->setPosition(static_cast<float>(value));
    syncVideoPositionDelay(0.3);
}

void TMKAppDelegate::jumpForward()
{
    qInfo().noquote() << QStringLiteral("[%1] _player1.time=%2,remainingTime.stringValue=%3")
                             .arg(QStringLiteral("D "))
                             .arg(TMKMediaPlayer::timeString(m_player1->time()))
                             .arg(TMKMediaPlayer::timeString(m_player1->remainingTime()));
    if (m_moving || !holdsMedia(m_player1.get()))
        return;
    if (static_cast<double>(m_player1->remainingTime()) / 1000.0 > -10.0) {
        m_player1->setTime(m_player1->mediaLength());
        m_player2->setTime(m_player2->mediaLength());
        return;
    }
    const double length = static_cast<double>(m_player1->mediaLength());
    m_moving = true;
    m_movingPosition = length > 0 ? m_player1->position() + 10000.0 / length : m_player1->position();
    setPositionSliderValueSilently(m_movingPosition);
    m_player1->jumpForward(10);
    syncVideoPositionDelay(0.3);
}

void TMKAppDelegate::jumpBackward()
{
    if (m_moving || !holdsMedia(m_player1.get()))
        return;
    if (m_player1->time() < 10000) {
        m_player1->setTime(0);
        m_player2->setTime(0);
    } else {
        m_moving = true;
        m_movingPosition = positionSliderValue();
        m_player1->jumpBackward(10);
        syncVideoPositionDelay(0.3);
    }
    updateAudioUI();
}

void TMKAppDelegate::swapPlayer()
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
    m_player1Logo = (now1 && now1->isRearMedia()) ? QStringLiteral("v1_rear_logo") : QStringLiteral("v1_front_logo");
    m_player2Logo = (now2 && now2->isFrontMedia()) ? QStringLiteral("v2_front_logo") : QStringLiteral("v2_rear_logo");
    if (m_player1BackgroundView)
        m_player1BackgroundView->setLogoImage(m_player1Logo);
    if (m_player2BackgroundView)
        m_player2BackgroundView->setLogoImage(m_player2Logo);

    m_moving = true;
    m_movingPosition = position;

    // Both videos grow into place from the corners facing each other.
    if (m_video1View && m_video2View && m_videoContainerView && m_subVideoBox) {
        m_video1View->setGeometry(m_videoContainerView->width(), m_videoContainerView->height(), 0, 0);
        m_video2View->setGeometry(0, 0, 0, 0);
        auto* group = new QParallelAnimationGroup(this);
        auto* a1 = new QPropertyAnimation(m_video1View, "geometry", group);
        a1->setDuration(1500);
        a1->setEasingCurve(QEasingCurve::OutCubic);
        a1->setEndValue(QRect(QPoint(0, 0), m_videoContainerView->size()));
        auto* a2 = new QPropertyAnimation(m_video2View, "geometry", group);
        a2->setDuration(1500);
        a2->setEasingCurve(QEasingCurve::OutCubic);
        a2->setEndValue(QRect(QPoint(0, 0), m_subVideoBox->size()));
        group->addAnimation(a1);
        group->addAnimation(a2);
        group->start(QAbstractAnimation::DeleteWhenStopped);
    }

    QTimer::singleShot(800, this, [this, position] {
        m_moving = false;
        m_player1->setPosition(position);
        m_player2->setPosition(position);
    });
    m_player1->setMute(true);
    m_player2->setMute(true);
    QTimer::singleShot(1700, this, [this] {
        m_swapping = false;
        updateAudioUI();
    });
}

void TMKAppDelegate::increaseSpeed()
{
    if (m_playInfo->speed() + 1.0 > 2.0)
        return;
    m_player1->setRate(m_player1->rate() + 1.0f);
    m_player2->setRate(m_player2->rate() + 1.0f);
    m_playInfo->setSpeed(m_playInfo->speed() + 1.0);
}

void TMKAppDelegate::decreaseSpeed()
{
    if (m_playInfo->speed() <= 1.0)
        return;
    m_player1->setRate(m_player1->rate() - 1.0f);
    m_player2->setRate(m_player2->rate() - 1.0f);
    m_playInfo->setSpeed(m_playInfo->speed() - 1.0);
}

void TMKAppDelegate::updatePlayInfoScale()
{
    if (!m_player1->isPlaying() || !m_player1->hasVideoOut() || !m_videoContainerView)
        return;
    const int videoHeight = m_player1->videoSize().height();
    if (videoHeight <= 0)
        return;
    m_playInfo->setScale(static_cast<double>(m_videoContainerView->height()) / videoHeight);
}

void TMKAppDelegate::sizeUp()
{
    if (m_player1->isPlaying())
        setVideoScaleIndex(1);
}

void TMKAppDelegate::sizeDown()
{
    if (m_player1->isPlaying())
        setVideoScaleIndex(-1);
}

void TMKAppDelegate::setVideoScaleIndex(int step)
{
    if (!m_window)
        return;
    const bool fullScreen = m_window->isFullScreen();
    const QSize wanted(m_window->width() + step * TMKWindowLayout::kMinWindowSize.width() / 5,
                       m_window->height() + step * TMKWindowLayout::kMinWindowSize.height() / 5);
    if (step > 0) {
        if (fullScreen)
            return;
        const QScreen* screen = m_window->screen();
        const QSize screenSize = screen ? screen->size() : QSize(1 << 20, 1 << 20);
        if (wanted.width() > screenSize.width() || wanted.height() > screenSize.height() - 100) {
            m_window->showFullScreen();
            return;
        }
    } else if (fullScreen) {
        m_window->showNormal();
        return;
    }
    const QSize size = TMKWindowLayout::steppedSize(m_window->size(), step);
    m_window->resize(size);
}

void TMKAppDelegate::chooseAudioAuto()
{
    const TMKMediaPlayer* chosen = nullptr;
    if (hasAudio(m_player1.get()))
        chosen = m_player1.get();
    else if (hasAudio(m_player2.get()))
        chosen = m_player2.get();
    m_playInfo->setAudioMediaDirection(chosen ? chosen->media()->mediaDirection() : 2);
}

void TMKAppDelegate::toggleAudioChoice()
{
    m_playInfo->setAudioMediaDirection(audioToggleState() == 1 ? 1 : 0);
}

void TMKAppDelegate::updateAudioUI()
{
    const int direction = m_playInfo->audioMediaDirection();
    TMKMediaPlayer* found = nullptr;
    const auto holds = [](TMKMediaPlayer* p, bool front) {
        const auto m = p->media();
        return m && (front ? m->isFrontMedia() : m->isRearMedia());
    };
    if (direction == 0 || direction == 1) {
        const bool front = direction == 0;
        if (m_audioToggleButton) {
            m_audioToggleButton->setChecked(!front);
            m_audioToggleButton->setHidden(!holdsMedia(m_player2.get()));
        }
        if (holds(m_player1.get(), front))
            found = m_player1.get();
        else if (holds(m_player2.get(), front))
            found = m_player2.get();
    } else if (m_audioToggleButton) {
        m_audioToggleButton->setHidden(true);
    }
    for (TMKMediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (p == found && !m_swapping) {
            p->setMute(false);
            p->setVolume(m_volume);
        } else {
            p->setMute(true);
        }
    }
    if (m_volumeSlider) {
        const QSignalBlocker block(m_volumeSlider);
        m_volumeSlider->setValue(m_volume);
    }
}

void TMKAppDelegate::setVolume(int value)
{
    m_volume = std::clamp(value, 0, 200);
    emit volumeChanged(m_volume);
}

void TMKAppDelegate::volumeSliderMoved()
{
    if (m_volumeSlider)
        setVolume(m_volumeSlider->value());
}

void TMKAppDelegate::volumeUp()
{
    setVolume(std::min(m_volume + 10, 200));
}

void TMKAppDelegate::volumeDown()
{
    setVolume(std::max(m_volume - 10, 0));
}

void TMKAppDelegate::playStartFailed(const QString& reason)
{
    const qint64 index = m_mediaIndex;
    ++m_playRequest;
    m_waitingForPlayStart = false;
    hideLoading();
    m_player1->stop();
    m_player2->stop();
    m_playInfo->setIsPlaying(false);
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(std::max<qint64>(index, 0)));
    m_lastMessage = TMKLocalizedString("main.play_failed")
        + (media ? QStringLiteral(" (%1)").arg(QString::fromStdString(media->fileName())) : QString());
    if (m_messageLabel) {
        m_messageLabel->setText(m_lastMessage);
        m_messageLabel->show();
        QTimer::singleShot(8000, m_messageLabel, [label = m_messageLabel, text = m_lastMessage] {
            if (label->text() == text)
                label->clear();
        });
    }
    qWarning().noquote() << "play failed:" << reason << m_lastMessage;
    emit pairFailed(index, reason);
}

// Loading indicator: advances in 0.3 s ticks and disappears at the latest
// after 15 s. A start still pending then has failed: the players never
// reported playing.
void TMKAppDelegate::showLoading(const QString& text)
{
    Q_UNUSED(text);
    m_stopVideoLoadingView = false;
    m_progress = 0;
    if (m_progressIndicator) {
        m_progressIndicator->setRange(0, 0); // indeterminate
        m_progressIndicator->setValue(0);
        if (m_headBox) {
            const int x = (m_headBox->width() - m_progressIndicator->width()) / 2;
            m_progressIndicator->move(x, m_progressIndicator->y());
        }
        m_progressIndicator->show();
        m_progressIndicator->raise();
    }
    const quint64 request = m_playRequest;
    QTimer::singleShot(300, this, [this, request] {
        if (request == m_playRequest)
            updateLoadingWindow(15);
    });
}

void TMKAppDelegate::updateLoadingWindow(double seconds)
{
    m_progress += 100.0 / (seconds / 0.3);
    if (m_progressIndicator)
        m_progressIndicator->setValue(static_cast<int>(m_progress));
    if (m_progress < 100 && !m_stopVideoLoadingView) {
        const quint64 request = m_playRequest;
        QTimer::singleShot(300, this, [this, request, seconds] {
            if (request == m_playRequest)
                updateLoadingWindow(seconds);
        });
        return;
    }
    if (m_progressIndicator) {
        m_progressIndicator->setRange(0, 100);
        m_progressIndicator->setValue(0);
        m_progressIndicator->hide();
    }
    m_stopVideoLoadingView = true;
    if (m_waitingForPlayStart && m_progress >= 100)
        playStartFailed(QStringLiteral("timed out"));
}

void TMKAppDelegate::hideLoading()
{
    m_stopVideoLoadingView = true;
    if (m_progressIndicator && m_progressIndicator->isVisible()) {
        m_progressIndicator->setRange(0, 100);
        m_progressIndicator->hide();
    }
}

bool TMKAppDelegate::isLoadingShown() const
{
    return m_progressIndicator && m_progressIndicator->isVisible();
}
