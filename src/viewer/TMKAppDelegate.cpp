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

} // namespace

TMKAppDelegate::TMKAppDelegate(Options options, QObject* parent) : QObject(parent), m_options(std::move(options))
{
    makeParts();
}

TMKAppDelegate::~TMKAppDelegate()
{
    m_session->die();
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
                                                     &TMKTelemetryDisplay::trackPoints, m_options.timing);
    if (!m_options.playerFactory)
        TMKTouchMediaLibrary();

    TMKFrameCapture::Services services;
    services.saveFileChooser = m_options.saveFileChooser;
    services.urlOpener = m_options.urlOpener;
    services.printPanel = m_options.printPanel;
    services.printSystem = m_options.printSystem;
    services.alerts = m_options.alerts;
    m_capture = std::make_unique<TMKFrameCapture>(std::move(services), [this] { return m_session->player1(); });
    m_capture->setWindow(m_window.get());
    connect(m_capture.get(), &TMKFrameCapture::messageChanged, m_window.get(), &TMKMainWindow::setMessage);

    TMKTrackExporter::Services exportServices;
    exportServices.alerts = m_options.alerts;
    exportServices.fileChooser = m_options.trackFileChooser;
    exportServices.workerStarted = m_options.exportWorkerStarted;
    m_trackExporter = std::make_unique<TMKTrackExporter>(m_window.get(), std::move(exportServices));
    connect(m_trackExporter.get(), &TMKTrackExporter::finished, this,
            [this](bool written, const QString& path, const QString&) {
                if (written)
                    m_window->setMessage(TMKLocalizedString("main.export_done").arg(QDir::toNativeSeparators(path)));
            });

    m_listModel = std::make_unique<TMKMediaListModel>(m_session->mediaList());
    m_window->setListModel(m_listModel.get());
    m_window->setLogos(QStringLiteral("v1_front_logo"), QStringLiteral("v2_rear_logo"));

    m_session->mediaList()->setDelegate(this);
    connectWindow();
    connectSession();
    followPlayInfo();
    connectClip();

    m_session->sound()->setVolume(kStartVolume);
    TMKPlayInfo* info = m_session->playInfo();
    info->setIsPlaying(false);
    m_window->setSpeed(info->speed());
    m_window->setScale(info->scale());
    // The map page is loaded when the map is first shown (makeMapView).
}

// The window's intents, each to the part whose job it is.
void TMKAppDelegate::connectWindow()
{
    TMKMainWindow* w = m_window.get();
    TMKPairSequence* sequence = m_session->sequence();
    TMKPairSync* sync = m_session->sync();
    TMKSoundChoice* sound = m_session->sound();
    connect(w, &TMKMainWindow::openFolderRequested, this, &TMKAppDelegate::openMediaDirectoryDialog);
    connect(w, &TMKMainWindow::settingsRequested, this, &TMKAppDelegate::showSettingPanel);
    connect(w, &TMKMainWindow::timeSetupRequested, this, &TMKAppDelegate::showTimeSetupPanel);
    connect(w, &TMKMainWindow::playClicked, sequence, [sequence, w] { sequence->playOrPause(w->currentRow()); });
    connect(w, &TMKMainWindow::rowActivated, sequence, &TMKPairSequence::changeAndPlay);
    connect(w, &TMKMainWindow::sizeUpRequested, sequence, &TMKPairSequence::sizeUp);
    connect(w, &TMKMainWindow::sizeDownRequested, sequence, &TMKPairSequence::sizeDown);
    connect(w, &TMKMainWindow::contentResized, sequence, &TMKPairSequence::setVideoAreaHeight);
    connect(w, &TMKMainWindow::jumpForwardRequested, sync, &TMKPairSync::jumpForward);
    connect(w, &TMKMainWindow::jumpBackwardRequested, sync, &TMKPairSync::jumpBackward);
    // The speed button steps up to the fastest, then down again.
    connect(w, &TMKMainWindow::speedClicked, sync, [this, sync] {
        if (m_session->playInfo()->speed() < 2.0)
            sync->increaseSpeed();
        else
            sync->decreaseSpeed();
    });
    connect(w, &TMKMainWindow::increaseSpeedRequested, sync, &TMKPairSync::increaseSpeed);
    connect(w, &TMKMainWindow::decreaseSpeedRequested, sync, &TMKPairSync::decreaseSpeed);
    connect(w, &TMKMainWindow::resetSpeedRequested, sync, &TMKPairSync::resetSpeed);
    connect(w, &TMKMainWindow::frameForwardRequested, sync, [sync] { sync->stepFrame(1); });
    connect(w, &TMKMainWindow::frameBackwardRequested, sync, [sync] { sync->stepFrame(-1); });
    connect(w, &TMKMainWindow::swapRequested, sync, &TMKPairSync::swap);
    connect(w, &TMKMainWindow::positionSliderMoved, sync, &TMKPairSync::seekTo);
    connect(w, &TMKMainWindow::muteRequested, sound, &TMKSoundChoice::toggleMute);
    connect(w, &TMKMainWindow::audioToggled, sound, [sound](bool rear) { sound->choose(rear ? 1 : 0); });
    connect(w, &TMKMainWindow::volumeMoved, sound, &TMKSoundChoice::setVolume);
    connect(w, &TMKMainWindow::volumeUpRequested, sound, &TMKSoundChoice::volumeUp);
    connect(w, &TMKMainWindow::volumeDownRequested, sound, &TMKSoundChoice::volumeDown);
    connect(w, &TMKMainWindow::captureRequested, m_capture.get(), &TMKFrameCapture::captureVideo);
    connect(w, &TMKMainWindow::printRequested, m_capture.get(), &TMKFrameCapture::print);
    connect(w, &TMKMainWindow::exportTrackRequested, this, [this] { exportTrack(); });
    connect(w, &TMKMainWindow::exportRowTrackRequested, this, [this](int row) { exportTrack(row); });
    connect(w, &TMKMainWindow::nextMarkerRequested, this, [this] { jumpToMarker(true); });
    connect(w, &TMKMainWindow::previousMarkerRequested, this, [this] { jumpToMarker(false); });
    connect(w, &TMKMainWindow::listViewRequested, this, [this] { showSideView(TMKMainWindow::SideView::List); });
    connect(w, &TMKMainWindow::mapViewRequested, this, [this] { showSideView(TMKMainWindow::SideView::Map); });
    connect(w, &TMKMainWindow::fullScreenRequested, w, &TMKMainWindow::toggleFullScreen);
    connect(w, &TMKMainWindow::closing, this, &TMKAppDelegate::windowWillClose);
}

// The parts' state, shown by the window.
void TMKAppDelegate::connectSession()
{
    TMKMainWindow* w = m_window.get();
    TMKPairSequence* sequence = m_session->sequence();
    TMKPairLoader* loader = m_session->loader();
    TMKSoundChoice* sound = m_session->sound();
    connect(sound, &TMKSoundChoice::volumeChanged, w, &TMKMainWindow::setVolume);
    connect(sound, &TMKSoundChoice::mutedChanged, w, &TMKMainWindow::setMuted);
    connect(sound, &TMKSoundChoice::toggleChanged, w,
            [w](bool visible, int state) { w->setAudioToggle(visible, state == 1); });
    // The whole trip of the started pair goes to the map, its part
    // highlighted; its markers to the slider.
    m_playingTrip = std::make_unique<TMKPlayingTrip>();
    m_tripMap = std::make_unique<TMKTripMap>();
    TMKPlayingTrip* trip = m_playingTrip.get();
    TMKTripMap* tripMap = m_tripMap.get();
    trip->setEventThreshold(m_eventThresholdG);
    connect(sequence, &TMKPairSequence::pairStarted, trip, [this, trip](qint64 index) {
        // The markers of the recording before are not this one's.
        m_window->setSliderMarkers({});
        TMKMediaList* list = m_session->mediaList();
        if (const auto media = list->mediaAtIndex(static_cast<std::size_t>(index)))
            trip->showTripOf(*list, QString::fromStdString(media->path));
    });
    connect(trip, &TMKPlayingTrip::tripRead, tripMap,
            [trip, tripMap] { tripMap->showTrip(trip->recordings(), trip->points(), trip->highlighted()); });
    connect(trip, &TMKPlayingTrip::highlightMoved, tripMap, &TMKTripMap::showHighlight);
    connect(tripMap, &TMKTripMap::scriptReady, this, &TMKAppDelegate::evaluateMapScript);
    connect(trip, &TMKPlayingTrip::markersChanged, this, &TMKAppDelegate::showSliderMarkers);
    connect(sequence, &TMKPairSequence::pairFailed, this,
            [this](qint64, const QString& reason) { showPlayFailed(reason); });
    connect(loader, &TMKPairLoader::recordingFaulted, w, [w](const QString& file, const QString& reason, bool unplayable) {
        w->addPlaybackMessage(
            TMKLocalizedString(unplayable ? "main.recording_unplayable" : "main.recording_fault").arg(file, reason));
    });
    // Everything shown about the recording goes with it.
    connect(sequence, &TMKPairSequence::mediaClosed, w, [this, w] {
        evaluateMapScript(TMKClearMapScript());
        w->clearVideos();
        w->resetReadouts();
        w->graphView()->setGraphData({});
        w->setSliderMarkers({});
        w->clearPlaybackMessages();
    });
    connect(sequence, &TMKPairSequence::rowSelected, w, [w](qint64 index) {
        w->clearPlaybackMessages(); // a new request: the messages of the one before are done
        w->selectRow(static_cast<int>(index));
    });
    connect(m_session->telemetry(), &TMKTelemetryLoader::telemetryChanged, this, [this] {
        m_window->graphView()->setGraphData(m_session->telemetry()->data().m_GSensors);
        // The whole drive of the recording, once, so the marker moves along a line.
        evaluateMapScript(TMKTelemetryDisplay::trackScript(m_session->telemetry()->track()));
    });
    connect(sequence, &TMKPairSequence::controlsReset, this, [this] {
        showSideView(m_window->sideView());
        m_window->resetReadouts();
    });
    connect(loader, &TMKPairLoader::logosChanged, w, &TMKMainWindow::setLogos);
    connect(loader, &TMKPairLoader::partnerLoaded, w, &TMKMainWindow::setVideo2Visible);
    connect(sequence, &TMKPairSequence::videoViewsVisibilityChanged, w, &TMKMainWindow::setVideoViewsVisible);
    connect(sequence, &TMKPairSequence::scaleStepRequested, w, &TMKMainWindow::applyScaleStep);
    w->setSwapAnimationMs(m_options.timing.swapAnimationMs);
    connect(m_session->sync(), &TMKPairSync::swapStarted, w, &TMKMainWindow::animateSwap);

    TMKLoadingProgress* loading = m_session->loading();
    connect(loading, &TMKLoadingProgress::shown, w, &TMKMainWindow::showLoading);
    connect(loading, &TMKLoadingProgress::progressChanged, w, &TMKMainWindow::setLoadingProgress);
    connect(loading, &TMKLoadingProgress::hidden, w, &TMKMainWindow::hideLoading);
}

// The play state, observed by the slider and the time, the readouts, the
// graph and the map: one position, one way.
void TMKAppDelegate::followPlayInfo()
{
    TMKPlayInfo* info = m_session->playInfo();
    TMKMainWindow* w = m_window.get();
    connect(info, &TMKPlayInfo::speedChanged, w, &TMKMainWindow::setSpeed);
    connect(info, &TMKPlayInfo::scaleChanged, w, &TMKMainWindow::setScale);
    connect(info, &TMKPlayInfo::isPlayingChanged, w, &TMKMainWindow::setPlaying);
    const auto showPlace = [w, info] {
        const double position = info->position();
        w->setPositionSlider(position);
        w->setTimeText(TMKMediaPlayer::timeString(static_cast<int64_t>(position * static_cast<double>(info->lengthMs())))
                       + QStringLiteral(" / ") + TMKMediaPlayer::timeString(info->lengthMs()));
    };
    connect(info, &TMKPlayInfo::positionChanged, w, showPlace);
    connect(info, &TMKPlayInfo::lengthChanged, w, showPlace);
    connect(info, &TMKPlayInfo::positionChanged, this, &TMKAppDelegate::showReadouts);
}

void TMKAppDelegate::showReadouts(double position)
{
    const TMKBlackBoxData& data = m_session->telemetry()->data();
    m_window->setGraphPosition(position);
    m_window->showReadout(m_telemetry->gsensorReadout(data, position));
    const TMKTelemetryReadout gps = m_telemetry->gpsReadout(data, position);
    for (const QString& script : gps.mapScripts)
        evaluateMapScript(script);
    m_window->showReadout(gps);
}

void TMKAppDelegate::evaluateMapScript(const QString& script)
{
    emit mapScriptSent(script);
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
    connect(m_mapWebView.get(), &TMKMapView::tripPointClicked, m_session->sequence(), &TMKPairSequence::playRecordingAt);
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

void TMKAppDelegate::showPlayFailed(const QString& reason)
{
    const QString file = m_session->sequence()->failedFileName();
    m_window->addPlaybackMessage(TMKLocalizedString("main.play_failed")
                                 + (file.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(file))
                                 + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
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
    const auto directory = m_session->mediaList()->directoryPath();
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
    m_session->sequence()->closeMedia();
    m_window->setFolder(path);
    m_session->mediaList()->setDirectoryPath(QDir(path).absolutePath().toStdString());
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
            m_window->setMessage(m_session->mediaList()->count() == 0 ? TMKLocalizedString("main.no_recordings") : QString());
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
    m_session->sequence()->forgetMediaIndex();
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
    m_session->sequence()->stopPlay();
}

void TMKAppDelegate::showSliderMarkers()
{
    const auto media = m_session->player1()->media();
    QList<TMKMarkerSlider::Marker> shown;
    for (const TMKPlayingTrip::SliderMark& mark : m_playingTrip->sliderMarks(media ? media->path() : QString()))
        shown.push_back({mark.position, mark.eventRecording});
    m_window->setSliderMarkers(shown);
    emit sliderMarkersShown(static_cast<int>(shown.size()));
}

// N and P: the next or previous marker of the trip from the play position,
// in this recording or another of the trip, which then starts there.
bool TMKAppDelegate::jumpToMarker(bool next)
{
    const TMKMediaPlayer* main = m_session->player1();
    const auto media = main->media();
    if (!media)
        return false;
    const auto place = m_playingTrip->markerFrom(media->path(), static_cast<double>(main->time()) / 1000.0, next);
    if (!place)
        return false;
    // In the playing recording the row stays the one playing (a rear row
    // stays rear); elsewhere the row of the recording the marker is in.
    QString path = place->path;
    if (path.isEmpty()) {
        path = media->path();
        const qint64 loaded = m_session->sequence()->mediaIndex();
        if (const auto row = loaded >= 0 ? m_session->mediaList()->mediaAtIndex(static_cast<std::size_t>(loaded)) : nullptr)
            path = QString::fromStdString(row->path);
    }
    return m_session->sequence()->playRecordingAt(path, place->seconds);
}

bool TMKAppDelegate::exportTrack(int row)
{
    // The row asked for, else the playing recording, else the selected row.
    TMKMediaList* list = m_session->mediaList();
    QString path;
    if (const auto asked = row >= 0 ? list->mediaAtIndex(static_cast<std::size_t>(row)) : nullptr)
        path = QString::fromStdString(asked->path);
    else if (const auto media = m_session->player1()->media())
        path = media->path();
    else if (const auto selected = list->mediaAtIndex(static_cast<std::size_t>(std::max(m_window->currentRow(), 0)));
             selected && m_window->currentRow() >= 0)
        path = QString::fromStdString(selected->path);
    return m_trackExporter->exportTripOf(*list, path);
}
