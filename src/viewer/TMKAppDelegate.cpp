#include "viewer/TMKAppDelegate.h"

#include "kit/TMKAlertService.h"
#include "kit/TMKAppSettings.h"
#include "map/TMKMapView.h"
#include "map/TMKTripMap.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"
#include "viewer/capture/TMKTrackExporter.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/window/TMKWindowLayout.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QTableView>

#include <algorithm>
#include <cmath>

namespace {

const char* const kLastFolderKey = "viewer/lastFolder";
const char* const kGeometryKey = "viewer/geometry";
const char* const kEventThresholdKey = "viewer/eventThresholdG";
constexpr int kStartVolume = 70;
constexpr qsizetype kMapScriptsKept = 200;

} // namespace

TMKAppDelegate::TMKAppDelegate(Options options, QObject* parent) : QObject(parent), m_options(std::move(options))
{
    makeParts();
}

TMKAppDelegate::~TMKAppDelegate()
{
    die();
}

void TMKAppDelegate::makeParts()
{
    // A preference without a window of its own: set it in the settings file.
    bool numeric = false;
    const double threshold
        = TMKAppSettings(m_options.settingsPath)->value(QLatin1String(kEventThresholdKey)).toDouble(&numeric);
    if (numeric && std::isfinite(threshold) && threshold > 0)
        m_eventThresholdG = threshold;
    m_window = std::make_unique<TMKMainWindow>();
    m_telemetry = std::make_unique<TMKTelemetryDisplay>();

    const PlayerFactory factory = m_options.playerFactory
        ? m_options.playerFactory
        : PlayerFactory([](TMKVideoView* view, QObject* parent) { return TMKCreateMediaPlayer(view, parent); });
    // One after the other: the main player is made first.
    auto main = factory(m_window->video1View(), nullptr);
    auto partner = factory(m_window->video2View(), nullptr);
    m_session = std::make_unique<TMKPlaybackSession>(std::move(main), std::move(partner), m_options.extractor,
                                                     &TMKTelemetryDisplay::trackPoints);
    if (!m_options.playerFactory)
        TMKTouchMediaLibrary();

    TMKFrameCapture::Services services;
    services.saveFileChooser = m_options.saveFileChooser;
    services.urlOpener = m_options.urlOpener;
    services.printPanel = m_options.printPanel;
    services.printSystem = m_options.printSystem;
    services.alerts = m_options.alerts;
    m_capture = std::make_unique<TMKFrameCapture>(std::move(services), [this] { return player1(); });
    m_capture->setWindow(m_window.get());
    connect(m_capture.get(), &TMKFrameCapture::messageChanged, this,
            [this](const QString& message) {
                m_lastMessage = message;
                m_window->setMessage(message);
            });

    TMKTrackExporter::Services exportServices;
    exportServices.alerts = m_options.alerts;
    exportServices.fileChooser = m_options.trackFileChooser;
    exportServices.workerStarted = m_options.exportWorkerStarted;
    m_trackExporter = std::make_unique<TMKTrackExporter>(m_window.get(), std::move(exportServices));
    connect(m_trackExporter.get(), &TMKTrackExporter::finished, this, &TMKAppDelegate::trackExported);

    m_listModel = std::make_unique<TMKMediaListModel>(mediaList());
    m_window->setListModel(m_listModel.get());
    m_window->setLogos(m_session->player1LogoName(), m_session->player2LogoName());

    mediaList()->setDelegate(this);
    connectWindow();
    connectSession();

    setVolume(kStartVolume);
    playInfo()->setIsPlaying(false);
    m_window->setSpeed(playInfo()->speed());
    m_window->setScale(playInfo()->scale());
    // The map page is loaded when the map is first shown (makeMapView).
}

// The window's intents.
void TMKAppDelegate::connectWindow()
{
    TMKMainWindow* w = m_window.get();
    connect(w, &TMKMainWindow::openFolderRequested, this, &TMKAppDelegate::openMediaDirectoryDialog);
    connect(w, &TMKMainWindow::settingsRequested, this, &TMKAppDelegate::showSettingPanel);
    connect(w, &TMKMainWindow::timeSetupRequested, this, &TMKAppDelegate::showTimeSetupPanel);
    connect(w, &TMKMainWindow::playClicked, this, &TMKAppDelegate::clickPlayButton);
    connect(w, &TMKMainWindow::jumpForwardRequested, this, &TMKAppDelegate::jumpForward);
    connect(w, &TMKMainWindow::jumpBackwardRequested, this, &TMKAppDelegate::jumpBackward);
    // The speed button steps up to the fastest, then down again.
    connect(w, &TMKMainWindow::speedClicked, this, [this] {
        if (playInfo()->speed() < 2.0)
            increaseSpeed();
        else
            decreaseSpeed();
    });
    connect(w, &TMKMainWindow::increaseSpeedRequested, this, &TMKAppDelegate::increaseSpeed);
    connect(w, &TMKMainWindow::resetSpeedRequested, m_session.get(), &TMKPlaybackSession::resetSpeed);
    connect(w, &TMKMainWindow::frameForwardRequested, m_session.get(), [this] { m_session->stepFrame(1); });
    connect(w, &TMKMainWindow::frameBackwardRequested, m_session.get(), [this] { m_session->stepFrame(-1); });
    connect(w, &TMKMainWindow::muteRequested, m_session.get(), &TMKPlaybackSession::toggleMute);
    connect(w, &TMKMainWindow::exportTrackRequested, this, [this] { exportTrack(); });
    connect(w, &TMKMainWindow::exportRowTrackRequested, this, [this](int row) { exportTrack(row); });
    connect(w, &TMKMainWindow::nextMarkerRequested, this, [this] { jumpToMarker(true); });
    connect(w, &TMKMainWindow::previousMarkerRequested, this, [this] { jumpToMarker(false); });
    connect(w, &TMKMainWindow::decreaseSpeedRequested, this, &TMKAppDelegate::decreaseSpeed);
    connect(w, &TMKMainWindow::sizeUpRequested, this, &TMKAppDelegate::sizeUp);
    connect(w, &TMKMainWindow::sizeDownRequested, this, &TMKAppDelegate::sizeDown);
    connect(w, &TMKMainWindow::swapRequested, this, &TMKAppDelegate::swapPlayer);
    connect(w, &TMKMainWindow::captureRequested, this, &TMKAppDelegate::captureVideo);
    connect(w, &TMKMainWindow::printRequested, this, &TMKAppDelegate::print);
    connect(w, &TMKMainWindow::audioToggled, this, &TMKAppDelegate::toggleAudioChoice);
    connect(w, &TMKMainWindow::volumeMoved, this, &TMKAppDelegate::volumeSliderMoved);
    connect(w, &TMKMainWindow::volumeUpRequested, this, &TMKAppDelegate::volumeUp);
    connect(w, &TMKMainWindow::volumeDownRequested, this, &TMKAppDelegate::volumeDown);
    connect(w, &TMKMainWindow::positionSliderMoved, this, [this](double position) {
        m_session->setSliderPosition(position);
        playInfo()->setPosition(position);
        videoPositionSliderMoved();
    });
    connect(w, &TMKMainWindow::rowActivated, this, &TMKAppDelegate::changeAndPlay);
    connect(w, &TMKMainWindow::listViewRequested, this, &TMKAppDelegate::clickMediaListViewButton);
    connect(w, &TMKMainWindow::mapViewRequested, this, &TMKAppDelegate::clickMapViewButton);
    connect(w, &TMKMainWindow::fullScreenRequested, this, &TMKAppDelegate::toggleFullScreen);
    connect(w, &TMKMainWindow::closing, this, &TMKAppDelegate::windowWillClose);
    connect(w, &TMKMainWindow::contentResized, this, [this](int videoAreaHeight) {
        m_session->setVideoAreaHeight(videoAreaHeight);
        updatePlayInfoScale();
    });
}

// The session's state, shown by the window.
void TMKAppDelegate::connectSession()
{
    TMKPlaybackSession* session = m_session.get();
    TMKMainWindow* w = m_window.get();
    connect(session, &TMKPlaybackSession::volumeChanged, this, [this](int volume) {
        m_window->setVolume(volume);
        emit volumeChanged(volume);
    });
    connect(session, &TMKPlaybackSession::mutedChanged, w, &TMKMainWindow::setMuted);
    connect(session, &TMKPlaybackSession::pairStarted, this, &TMKAppDelegate::pairStarted);
    // The whole trip of the started pair goes to the map, its part highlighted.
    auto* tripMap = new TMKTripMap(this);
    m_tripMap = tripMap;
    tripMap->setEventThreshold(m_eventThresholdG);
    connect(tripMap, &TMKTripMap::scriptReady, this, &TMKAppDelegate::evaluateMapScript);
    connect(session, &TMKPlaybackSession::pairStarted, tripMap, [this, tripMap](qint64 index) {
        // The markers of the recording before are not this one's.
        m_window->setSliderMarkers({});
        if (const auto media = mediaList()->mediaAtIndex(static_cast<std::size_t>(index)))
            tripMap->showTripOf(*mediaList(), QString::fromStdString(media->path));
    });
    connect(tripMap, &TMKTripMap::markersChanged, this, &TMKAppDelegate::showSliderMarkers);
    connect(session, &TMKPlaybackSession::pairFailed, this, [this](qint64 index, const QString& reason) {
        showPlayFailed(index, reason);
        emit pairFailed(index, reason);
    });
    connect(session, &TMKPlaybackSession::recordingFaulted, this,
            [this](const QString& file, const QString& reason, bool unplayable) {
                showPlaybackMessage(TMKLocalizedString(unplayable ? "main.recording_unplayable" : "main.recording_fault")
                                        .arg(file, reason));
            });
    // Everything shown about the recording goes with it.
    connect(session, &TMKPlaybackSession::mediaClosed, this, [this] {
        m_window->clearVideos();
        m_window->resetReadouts();
        m_window->graphView()->setGraphData({});
        m_window->setSliderMarkers({});
        m_window->clearPlaybackMessages();
        showPosition(0);
    });
    connect(session, &TMKPlaybackSession::rowSelected, this, [this](qint64 index) {
        m_window->clearPlaybackMessages(); // a new request: the messages of the one before are done
        m_window->selectRow(static_cast<int>(index));
    });
    connect(session, &TMKPlaybackSession::telemetryExtracted, this, [this] {
        m_window->graphView()->setGraphData(m_session->blackBoxData().m_GSensors);
        sendTrackToMap();
    });
    connect(session, &TMKPlaybackSession::controlsReset, this, [this] {
        showSideView(m_window->sideView());
        m_window->resetReadouts();
    });
    connect(session, &TMKPlaybackSession::logosChanged, w, &TMKMainWindow::setLogos);
    connect(session, &TMKPlaybackSession::videoViewsVisibilityChanged, w, &TMKMainWindow::setVideoViewsVisible);
    connect(session, &TMKPlaybackSession::partnerLoaded, w, &TMKMainWindow::setVideo2Visible);
    connect(session, &TMKPlaybackSession::audioToggleChanged, this,
            [this](bool visible, int state) { m_window->setAudioToggle(visible, state == 1); });
    connect(session, &TMKPlaybackSession::sliderPositionRequested, this, [this](double position) {
        m_window->setPositionSlider(position);
        m_session->setSliderPosition(positionSliderValue());
    });
    connect(session, &TMKPlaybackSession::scaleStepRequested, w, &TMKMainWindow::applyScaleStep);
    connect(session, &TMKPlaybackSession::swapStarted, w, &TMKMainWindow::animateSwap);

    TMKLoadingProgress* loading = session->loading();
    connect(loading, &TMKLoadingProgress::shown, w, &TMKMainWindow::showLoading);
    connect(loading, &TMKLoadingProgress::progressChanged, w, &TMKMainWindow::setLoadingProgress);
    connect(loading, &TMKLoadingProgress::hidden, w, &TMKMainWindow::hideLoading);

    TMKPlayInfo* info = session->playInfo();
    connect(info, &TMKPlayInfo::speedChanged, w, &TMKMainWindow::setSpeed);
    connect(info, &TMKPlayInfo::scaleChanged, w, &TMKMainWindow::setScale);
    connect(info, &TMKPlayInfo::isPlayingChanged, w, &TMKMainWindow::setPlaying);
    connect(info, &TMKPlayInfo::positionChanged, this, &TMKAppDelegate::showPosition);
}

// Playback: the session's.
bool TMKAppDelegate::playAtIndex(qint64 index) { return m_session->playAtIndex(index); }
bool TMKAppDelegate::playNext() { return m_session->playNext(); }
void TMKAppDelegate::syncVideoPositionDelay(double seconds) { m_session->syncVideoPositionDelay(seconds); }
bool TMKAppDelegate::hasAudio(const TMKMediaPlayer* player) const { return m_session->hasAudio(player); }
bool TMKAppDelegate::isPlaying(const TMKMediaPlayer* player) const { return m_session->isPlaying(player); }
void TMKAppDelegate::stopPlay() { m_session->stopPlay(); }
void TMKAppDelegate::chooseAudioAuto() { m_session->chooseAudioAuto(); }
void TMKAppDelegate::updateAudioUI() { m_session->updateAudioUI(); }
void TMKAppDelegate::updatePlayInfoScale() { m_session->updatePlayInfoScale(); }
void TMKAppDelegate::setVideoScaleIndex(int step) { m_window->applyScaleStep(step); }
void TMKAppDelegate::swapPlayer() { m_session->swapPlayer(); }
void TMKAppDelegate::videoPositionSliderMoved() { m_session->videoPositionSliderMoved(); }
void TMKAppDelegate::jumpForward() { m_session->jumpForward(); }
void TMKAppDelegate::jumpBackward() { m_session->jumpBackward(); }
void TMKAppDelegate::volumeSliderMoved() { m_session->setVolume(m_window->volumeSliderValue()); }
void TMKAppDelegate::volumeUp() { m_session->volumeUp(); }
void TMKAppDelegate::volumeDown() { m_session->volumeDown(); }
void TMKAppDelegate::setVolume(int value) { m_session->setVolume(value); }
void TMKAppDelegate::increaseSpeed() { m_session->increaseSpeed(); }
void TMKAppDelegate::decreaseSpeed() { m_session->decreaseSpeed(); }
void TMKAppDelegate::sizeUp() { m_session->sizeUp(); }
void TMKAppDelegate::sizeDown() { m_session->sizeDown(); }
void TMKAppDelegate::toggleAudioChoice() { m_session->toggleAudioChoice(audioToggleState()); }
void TMKAppDelegate::changeAndPlay() { m_session->changeAndPlay(m_window->currentRow()); }
void TMKAppDelegate::toggleFullScreen() { m_window->toggleFullScreen(); }
void TMKAppDelegate::clickMediaListViewButton() { showSideView(TMKMainWindow::SideView::List); }
void TMKAppDelegate::clickMapViewButton() { showSideView(TMKMainWindow::SideView::Map); }

// With nothing loaded (at start, after a new folder) play starts the
// selected row, or the first, rather than doing nothing.
void TMKAppDelegate::clickPlayButton()
{
    if (!player1()->media() && !waitingForPlayStart() && mediaList()->count() > 0) {
        playAtIndex(std::max(m_window->currentRow(), 0));
        return;
    }
    m_session->clickPlayButton();
}

// What the window shows, for tests and the other windows.
bool TMKAppDelegate::isLoadingShown() const { return m_window->isLoadingShown(); }
QString TMKAppDelegate::speedText() const { return m_window->speedText(); }
QString TMKAppDelegate::sizeText() const { return m_window->sizeText(); }
int TMKAppDelegate::audioToggleState() const { return m_window->audioToggleRear() ? 1 : 0; }
bool TMKAppDelegate::isAudioToggleVisible() const { return m_window->isAudioToggleVisible(); }
double TMKAppDelegate::positionSliderValue() const { return m_window->positionSliderValue(); }
QString TMKAppDelegate::gsensorText() const { return m_window->gsensorText(); }
QString TMKAppDelegate::speedFieldText() const { return m_window->speedFieldText(); }
QString TMKAppDelegate::hdopFieldText() const { return m_window->hdopFieldText(); }
QString TMKAppDelegate::satelliteFieldText() const { return m_window->satelliteFieldText(); }

void TMKAppDelegate::setPositionSliderValue(double value)
{
    m_window->setPositionSlider(value);
    m_session->setSliderPosition(positionSliderValue());
    playInfo()->setPosition(positionSliderValue());
    videoPositionSliderMoved();
}

void TMKAppDelegate::showPosition(double position)
{
    m_window->setPositionSlider(position >= 1.0 ? 1.0 : position);
    m_session->setSliderPosition(positionSliderValue());
    updateGsensorUIByPlayPositon();
    updateGpsUIByPlayPosition();
    const TMKMediaPlayer* player = player1();
    const auto length = player && player->media() ? player->mediaLength() : 0;
    m_window->setTimeText(TMKMediaPlayer::timeString(static_cast<int64_t>(position * static_cast<double>(length)))
                          + QStringLiteral(" / ") + TMKMediaPlayer::timeString(length));
}

// Telemetry: the display's, by play position.
void TMKAppDelegate::updateGsensorUIByPlayPositon()
{
    m_window->setGraphPosition(player1() ? player1()->position() : 0.0);
    m_window->showReadout(m_telemetry->gsensorReadout(blackBoxData(), playInfo()->position()));
}

void TMKAppDelegate::updateGpsUIByPlayPosition()
{
    const TMKTelemetryReadout readout = m_telemetry->gpsReadout(blackBoxData(), playInfo()->position());
    for (const QString& script : readout.mapScripts)
        evaluateMapScript(script);
    m_window->showReadout(readout);
}

void TMKAppDelegate::showTelemetry(TMKBlackBoxData data) { m_session->showTelemetry(std::move(data)); }

// The whole drive of the recording, once, so the marker moves along a line.
void TMKAppDelegate::sendTrackToMap()
{
    evaluateMapScript(TMKTelemetryDisplay::trackScript(m_session->track()));
}

void TMKAppDelegate::evaluateMapScript(const QString& script)
{
    m_mapScripts.push_back(script);
    if (m_mapScripts.size() > kMapScriptsKept)
        m_mapScripts.removeFirst();
    if (m_mapWebView)
        m_mapWebView->evaluateWebScript(script);
    else
        m_pendingMapScripts.append(script);
}

// The web engine costs about 80 MiB and its own processes: it starts the
// first time the map is shown, not with the window. What the page was sent
// meanwhile waits in m_pendingMapScripts and goes to the new view, which
// holds it until the page has loaded.
void TMKAppDelegate::makeMapView()
{
    if (m_mapWebView)
        return;
    m_mapWebView = std::make_unique<TMKMapView>(m_window->mapContainer());
    m_mapWebView->setObjectName(QStringLiteral("mapWebView"));
    connect(m_mapWebView.get(), &TMKMapView::tripPointClicked, m_session.get(), &TMKPlaybackSession::playRecordingAt);
    m_mapWebView->loadPage();
    for (const QString& script : m_pendingMapScripts.take())
        m_mapWebView->evaluateWebScript(script);
    m_window->setMapView(m_mapWebView.get());
}

void TMKAppDelegate::showSideView(TMKMainWindow::SideView view)
{
    if (view == TMKMainWindow::SideView::Map)
        makeMapView();
    m_window->setSideView(view);
}

void TMKAppDelegate::showPlayFailed(qint64 index, const QString& reason)
{
    Q_UNUSED(index);
    const QString file = m_session->failedFileName();
    showPlaybackMessage(TMKLocalizedString("main.play_failed") + (file.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(file))
                        + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
}

void TMKAppDelegate::showPlaybackMessage(const QString& text)
{
    m_lastMessage = text;
    m_window->addPlaybackMessage(text);
}

// An open window holds what the user typed there: it comes to the front
// rather than being replaced. A window the user closed makes way for a new
// one, which reads the card afresh.
template <class Window>
void TMKAppDelegate::showSecondaryWindow(std::unique_ptr<Window>& slot)
{
    if (slot && slot->isVisible()) {
        slot->showNormal();
    } else {
        typename Window::Services services;
        services.alerts = m_options.alerts;
        slot = std::make_unique<Window>(std::move(services));
        slot->show();
    }
    slot->raise();
    slot->activateWindow();
    m_lastDialogController = slot.get();
}

void TMKAppDelegate::showSettingPanel() { showSecondaryWindow(m_settingWindow); }
void TMKAppDelegate::showTimeSetupPanel() { showSecondaryWindow(m_timeSetupWindow); }

void TMKAppDelegate::openMediaDirectoryDialog()
{
    const auto directory = mediaList()->directoryPath();
    const QString start = directory ? QString::fromStdString(*directory) : QDir::homePath();
    const QString title = TMKLocalizedString("main.choose_folder");
    const QString folder = m_options.folderChooser
        ? m_options.folderChooser(m_window.get(), title, start)
        : QFileDialog::getExistingDirectory(m_window.get(), title, start, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    openMediaDirectory(folder);
}

void TMKAppDelegate::openMediaDirectory(const QString& path)
{
    // The rows of the old folder are gone: both players stop, no row is
    // loaded any more, a start still under way for one of them is dropped,
    // and the controls show the stopped state.
    m_session->closeMedia();
    m_window->setFolder(path);
    mediaList()->setDirectoryPath(QDir(path).absolutePath().toStdString());
    if (m_options.restoreState)
        TMKAppSettings(m_options.settingsPath)->setValue(QLatin1String(kLastFolderKey), path);
}

void TMKAppDelegate::mediaListChanged(TMKMediaList* list)
{
    Q_UNUSED(list);
    // Called on the scan's worker: the window is touched on the main thread.
    QMetaObject::invokeMethod(
        this,
        [this] {
            showSideView(TMKMainWindow::SideView::List);
            m_listModel->reload();
            m_window->setMessage(mediaList()->count() == 0 ? TMKLocalizedString("main.no_recordings") : QString());
            emit mediaListReloaded();
        },
        Qt::QueuedConnection);
}

void TMKAppDelegate::applicationDidFinishLaunching(const QString& folder)
{
    logSupportedLanguages();
    m_window->setGeometry(TMKWindowLayout::startFrame(m_window->screen() ? m_window->screen()->availableGeometry()
                                                                         : QRect(0, 0, 1280, 800)));
    if (m_options.restoreState)
        restoreWindowState();
    m_session->forgetMediaIndex();
    m_window->show();

    const QString start = startFolder(folder);
    if (!start.isEmpty())
        openMediaDirectory(start);
}

void TMKAppDelegate::logSupportedLanguages()
{
    auto settings = TMKAppSettings(m_options.settingsPath);
    QStringList languages = settings->value(QStringLiteral("AppleLanguages")).toStringList();
    if (languages.isEmpty())
        languages = QLocale::system().uiLanguages();
    for (const QString& language : languages)
        qInfo().noquote() << QStringLiteral("SUPPORT_LANGUAGE=%1").arg(language);
    settings->setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("en")});
}

void TMKAppDelegate::restoreWindowState()
{
    const QByteArray geometry = TMKAppSettings(m_options.settingsPath)->value(QLatin1String(kGeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        m_window->restoreGeometry(geometry);
}

QString TMKAppDelegate::startFolder(const QString& requested) const
{
    if (!requested.isEmpty())
        return requested;
    if (m_options.restoreState) {
        const QString last = TMKAppSettings(m_options.settingsPath)->value(QLatin1String(kLastFolderKey)).toString();
        if (!last.isEmpty() && QFileInfo(last).isDir())
            return last;
    }
    QString demo = qEnvironmentVariable("TAMEK_DEMO_DIR");
#ifdef TAMEK_DEMO_DIR
    if (demo.isEmpty())
        demo = QStringLiteral(TAMEK_DEMO_DIR);
#endif
    return QFileInfo(demo).isDir() ? demo : QString();
}

void TMKAppDelegate::windowWillClose()
{
    if (m_options.restoreState)
        TMKAppSettings(m_options.settingsPath)->setValue(QLatin1String(kGeometryKey), m_window->saveGeometry());
    stopPlay();
}

void TMKAppDelegate::die()
{
    if (m_dead)
        return;
    m_dead = true;
    m_session->die();
}

// Where the playing recording lies in the trip the markers are of; nothing
// while the trip read is not the playing recording's.
std::optional<std::size_t> TMKAppDelegate::playingTripRecording() const
{
    const auto media = player1() ? player1()->media() : std::nullopt;
    if (!m_tripMap || !media || m_tripMap->isBusy())
        return std::nullopt;
    const auto at = TMKFindTripRecording({m_tripMap->trip()}, media->path().toStdString());
    if (!at)
        return std::nullopt;
    return at->recording;
}

void TMKAppDelegate::showSliderMarkers()
{
    QList<TMKMarkerSlider::Marker> shown;
    const auto recording = playingTripRecording();
    if (recording) {
        const double length = m_tripMap->trip().recordings[*recording].lengthSeconds;
        for (const TMKEventMarker& marker : m_tripMap->markers()) {
            if (marker.recording == *recording && length > 0)
                shown.push_back({std::clamp(marker.secondsInRecording / length, 0.0, 1.0),
                                 marker.kind == TMKEventKind::EventRecording});
        }
    }
    m_window->setSliderMarkers(shown);
    emit sliderMarkersShown(static_cast<int>(shown.size()));
}

// N and P: the next or previous marker of the trip from the play position,
// in this recording or another of the trip, which then starts there.
bool TMKAppDelegate::jumpToMarker(bool next)
{
    const auto recording = playingTripRecording();
    if (!recording)
        return false;
    const TMKTrip& trip = m_tripMap->trip();
    const std::vector<TMKEventMarker>& markers = m_tripMap->markers();
    const double now = trip.recordings[*recording].offsetSeconds + static_cast<double>(player1()->time()) / 1000.0;
    const auto index = next ? TMKNextMarker(markers, now) : TMKPreviousMarker(markers, now);
    if (!index)
        return false;
    const TMKEventMarker& marker = markers[*index];
    // In the playing recording the row stays the one playing (a rear row
    // stays rear); elsewhere the row of the recording the marker is in.
    QString path = player1()->media()->path();
    if (marker.recording != *recording) {
        const auto lead = trip.recordings[marker.recording].lead();
        if (!lead)
            return false;
        path = QString::fromStdString(lead->path);
    } else if (mediaIndex() >= 0) {
        if (const auto row = mediaList()->mediaAtIndex(static_cast<std::size_t>(mediaIndex())))
            path = QString::fromStdString(row->path);
    }
    return m_session->playRecordingAt(path, marker.secondsInRecording);
}

bool TMKAppDelegate::exportTrack(int row)
{
    // The row asked for, else the playing recording, else the selected row.
    QString path;
    if (const auto asked = row >= 0 ? mediaList()->mediaAtIndex(static_cast<std::size_t>(row)) : nullptr)
        path = QString::fromStdString(asked->path);
    else if (const auto media = player1() ? player1()->media() : std::nullopt)
        path = media->path();
    else if (const auto selected = mediaList()->mediaAtIndex(static_cast<std::size_t>(std::max(m_window->currentRow(), 0)));
             selected && m_window->currentRow() >= 0)
        path = QString::fromStdString(selected->path);
    return m_trackExporter->exportTripOf(*mediaList(), path);
}

void TMKAppDelegate::trackExported(bool written, const QString& path, const QString& error)
{
    if (written) {
        m_lastMessage = TMKLocalizedString("main.export_done").arg(QDir::toNativeSeparators(path));
        m_window->setMessage(m_lastMessage);
    }
    emit trackExportFinished(written, path, error);
}
