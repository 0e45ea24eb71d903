// Playback as the window shows it: user actions go to the session, the
// session's state goes to the controls, and the window-side parts of the
// playback (size steps, the swap animation, the loading indicator).

#include "TMKAppDelegate.h"

#include "TMKMainWindow.h"
#include "TMKMediaListModel.h"
#include "TMKWindowLayout.h"
#include "player/TMKVideoView.h"
#include "strings/TMKStrings.h"
#include "telemetry/GraphView.h"
#include "viewer/map/TMKTripMap.h"

#include "widgets/TMKImageButton.h"
#include "widgets/TMKLogoView.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QTimer>

bool TMKAppDelegate::playAtIndex(qint64 index) { return m_session->playAtIndex(index); }
bool TMKAppDelegate::playNext() { return m_session->playNext(); }
void TMKAppDelegate::syncVideoPositionDelay(double seconds) { m_session->syncVideoPositionDelay(seconds); }
bool TMKAppDelegate::hasAudio(const TMKMediaPlayer* player) const { return m_session->hasAudio(player); }
bool TMKAppDelegate::isPlaying(const TMKMediaPlayer* player) const { return m_session->isPlaying(player); }
void TMKAppDelegate::stopPlay() { m_session->stopPlay(); }
void TMKAppDelegate::chooseAudioAuto() { m_session->chooseAudioAuto(); }
void TMKAppDelegate::updateAudioUI() { m_session->updateAudioUI(); }
void TMKAppDelegate::updatePlayInfoScale() { m_session->updatePlayInfoScale(); }
void TMKAppDelegate::swapPlayer() { m_session->swapPlayer(); }
void TMKAppDelegate::videoPositionSliderMoved() { m_session->videoPositionSliderMoved(); }
void TMKAppDelegate::jumpForward() { m_session->jumpForward(); }
void TMKAppDelegate::jumpBackward() { m_session->jumpBackward(); }
void TMKAppDelegate::volumeUp() { m_session->volumeUp(); }
void TMKAppDelegate::volumeDown() { m_session->volumeDown(); }
void TMKAppDelegate::setVolume(int value) { m_session->setVolume(value); }
void TMKAppDelegate::increaseSpeed() { m_session->increaseSpeed(); }
void TMKAppDelegate::decreaseSpeed() { m_session->decreaseSpeed(); }
void TMKAppDelegate::sizeUp() { m_session->sizeUp(); }
void TMKAppDelegate::sizeDown() { m_session->sizeDown(); }
void TMKAppDelegate::toggleAudioChoice() { m_session->toggleAudioChoice(audioToggleState()); }
bool TMKAppDelegate::isLoadingShown() const { return m_progressIndicator && m_progressIndicator->isVisible(); }

// With nothing loaded (at start, after a new folder) play starts the
// selected row, or the first, rather than doing nothing.
void TMKAppDelegate::clickPlayButton()
{
    if (!player1()->media() && !waitingForPlayStart() && mediaList()->count() > 0) {
        const int row = m_tableView ? m_tableView->currentIndex().row() : -1;
        playAtIndex(std::max(row, 0));
        return;
    }
    m_session->clickPlayButton();
}

void TMKAppDelegate::volumeSliderMoved()
{
    if (m_volumeSlider)
        m_session->setVolume(m_volumeSlider->value());
}

void TMKAppDelegate::changeAndPlay()
{
    if (m_tableView)
        m_session->changeAndPlay(m_tableView->currentIndex().row());
}

void TMKAppDelegate::setVideoScaleIndex(int step)
{
    applyScaleStep(step);
}

void TMKAppDelegate::connectSession()
{
    TMKPlaybackSession* session = m_session.get();
    connect(session, &TMKPlaybackSession::volumeChanged, this, [this](int volume) {
        if (m_volumeSlider) {
            const QSignalBlocker block(m_volumeSlider);
            m_volumeSlider->setValue(volume);
        }
        emit volumeChanged(volume);
    });
    connect(session, &TMKPlaybackSession::pairStarted, this, &TMKAppDelegate::pairStarted);
    auto* tripMap = new TMKTripMap(this);
    connect(tripMap, &TMKTripMap::scriptReady, this, &TMKAppDelegate::evaluateMapScript);
    connect(session, &TMKPlaybackSession::pairStarted, tripMap, [this, tripMap](qint64 index) {
        if (const auto media = mediaList()->mediaAtIndex(static_cast<std::size_t>(index)))
            tripMap->showTripOf(*mediaList(), QString::fromStdString(media->path));
    });
    connect(session, &TMKPlaybackSession::pairFailed, this, [this](qint64 index, const QString& reason) {
        showPlayFailed(index, reason);
        emit pairFailed(index, reason);
    });
    connect(session, &TMKPlaybackSession::recordingFaulted, this,
            [this](const QString& file, const QString& reason, bool unplayable) {
                showPlaybackMessage(TMKLocalizedString(unplayable ? "main.recording_unplayable" : "main.recording_fault")
                                        .arg(file, reason));
            });
    connect(session, &TMKPlaybackSession::pairStarted, this, [this] {
        // A message about the pair before stays until it was readable.
        if (!m_playbackMessageTimer->isActive())
            m_playbackMessageLabel->hide();
    });
    connect(session, &TMKPlaybackSession::mediaClosed, this, [this] {
        for (TMKVideoView* view : {m_video1View, m_video2View}) {
            view->clearFrame();
            view->hide();
        }
        onPositionChanged(0);
    });
    connect(session, &TMKPlaybackSession::rowSelected, this, [this](qint64 index) {
        m_playbackMessages.clear(); // a new request: the messages of the one before are done
        if (!m_tableView || !m_tableView->selectionModel())
            return;
        const QModelIndex row = m_listModel->index(static_cast<int>(index), 0);
        m_tableView->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_tableView->scrollTo(row);
    });
    connect(session, &TMKPlaybackSession::telemetryExtracted, this, [this] {
        m_graphView->setGraphData(m_session->blackBoxData().m_GSensors);
        sendTrackToMap();
    });
    connect(session, &TMKPlaybackSession::controlsReset, this, [this] {
        updateSideViewButton();
        resetReadouts();
    });
    connect(session, &TMKPlaybackSession::logosChanged, this, [this](const QString& logo1, const QString& logo2) {
        m_player1BackgroundView->setLogoImage(logo1);
        m_player2BackgroundView->setLogoImage(logo2);
    });
    connect(session, &TMKPlaybackSession::videoViewsVisibilityChanged, this, [this](bool video1, bool video2) {
        m_video1View->setVisible(video1);
        m_video2View->setVisible(video2);
    });
    connect(session, &TMKPlaybackSession::partnerLoaded, this,
            [this](bool present) { m_video2View->setHidden(!present); });
    connect(session, &TMKPlaybackSession::audioToggleChanged, this, [this](bool visible, int state) {
        m_audioToggleButton->setChecked(state == 1);
        m_audioToggleButton->setHidden(!visible);
    });
    connect(session, &TMKPlaybackSession::sliderPositionRequested, this,
            &TMKAppDelegate::setPositionSliderValueSilently);
    connect(session, &TMKPlaybackSession::scaleStepRequested, this, &TMKAppDelegate::applyScaleStep);
    connect(session, &TMKPlaybackSession::swapStarted, this, &TMKAppDelegate::animateSwap);

    // The loading indicator, centred on the head bar.
    TMKLoadingProgress* loading = session->loading();
    connect(loading, &TMKLoadingProgress::shown, this, [this] {
        m_progressIndicator->setRange(0, 0); // indeterminate
        m_progressIndicator->setValue(0);
        const int x = (m_headBox->width() - m_progressIndicator->width()) / 2;
        m_progressIndicator->move(x, m_progressIndicator->y());
        m_progressIndicator->show();
        m_progressIndicator->raise();
    });
    connect(loading, &TMKLoadingProgress::progressChanged, this,
            [this](double progress) { m_progressIndicator->setValue(static_cast<int>(progress)); });
    connect(loading, &TMKLoadingProgress::hidden, this, [this] {
        m_progressIndicator->setRange(0, 100);
        m_progressIndicator->setValue(0);
        m_progressIndicator->hide();
    });

    TMKPlayInfo* info = session->playInfo();
    connect(info, &TMKPlayInfo::speedChanged, this, &TMKAppDelegate::onSpeedChanged);
    connect(info, &TMKPlayInfo::scaleChanged, this, &TMKAppDelegate::onScaleChanged);
    connect(info, &TMKPlayInfo::isPlayingChanged, this, &TMKAppDelegate::onIsPlayingChanged);
    connect(info, &TMKPlayInfo::positionChanged, this, &TMKAppDelegate::onPositionChanged);
}

void TMKAppDelegate::resetReadouts()
{
    m_xLabel->setText(QStringLiteral("X=+0.00"));
    m_yLabel->setText(QStringLiteral("Y=+0.00"));
    m_zLabel->setText(QStringLiteral("Z=+0.00"));
    m_speedLabel->clear();
    m_hdopLabel->clear();
    m_satelliteLabel->clear();
}

void TMKAppDelegate::showPlayFailed(qint64 index, const QString& reason)
{
    Q_UNUSED(index);
    const QString file = m_session->failedFileName();
    showPlaybackMessage(TMKLocalizedString("main.play_failed") + (file.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(file))
                        + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
}

// Across the top of the video, where it is seen also in full screen; it
// goes after a while or when a later pair starts.
void TMKAppDelegate::showPlaybackMessage(const QString& text)
{
    // Both recordings of a pair may be damaged: each is told, one a line.
    m_lastMessage = text;
    if (!m_playbackMessages.contains(text))
        m_playbackMessages << text;
    const QString shown = m_playbackMessages.join(QLatin1Char('\n'));
    m_playbackMessageLabel->setText(shown);
    m_playbackMessageLabel->setToolTip(shown);
    layoutPlaybackMessage();
    m_playbackMessageLabel->show();
    m_playbackMessageLabel->raise();
    m_playbackMessageTimer->start();
}

void TMKAppDelegate::layoutPlaybackMessage()
{
    if (!m_playbackMessageLabel)
        return;
    const int width = std::max(0, m_videoBox->width() - 16);
    const int height = m_playbackMessageLabel->heightForWidth(width);
    m_playbackMessageLabel->setGeometry(8, 8, width, std::max(height, 24));
}

// A size step of a fifth of the minimum window size, kept inside the
// screen's visible area; a step up from the visible area's size goes full
// screen, a step down leaves it. A new pair (step 0) keeps the mode the
// user chose.
void TMKAppDelegate::applyScaleStep(int step)
{
    if (!m_window)
        return;
    if (m_window->isFullScreen()) {
        if (step < 0)
            m_window->showNormal();
        return;
    }
    if (step == 0)
        return;
    const QScreen* screen = m_window->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 20, 1 << 20);
    const QRect frame = m_window->frameGeometry();
    const QRect content = m_window->geometry();
    const QMargins decoration(content.left() - frame.left(), content.top() - frame.top(),
                              frame.right() - content.right(), frame.bottom() - content.bottom());
    const auto stepped = TMKWindowLayout::steppedGeometry(content, available, decoration, step);
    if (!stepped) {
        m_window->showFullScreen();
        return;
    }
    m_window->setGeometry(*stepped);
}

// Both videos grow into place from the corners facing each other.
void TMKAppDelegate::animateSwap()
{
    m_animatingSwap = true;
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
    connect(group, &QAbstractAnimation::finished, this, [this] {
        m_animatingSwap = false;
        layoutWindow();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}
