#pragma once

// The viewer's application object: owns the parts and wires them with
// signals. Main thread; the catalogue's scan calls in on its worker.

#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaList.h"
#include "viewer/capture/TMKFrameCapture.h"
#include "viewer/capture/TMKTrackExporter.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/session/TMKPlaybackSession.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKMainWindow.h"
#include "viewer/window/TMKMediaListModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class GraphView;
class QPrinter;
class QTableView;
class QWidget;
class TMKAlertService;
class TMKPrintSystem;
class TMKSettingController;
class TMKTimeSetupController;
class TMKTripMap;
class TMKVideoView;

// The viewer's application object: owns its parts (the playback session,
// the telemetry display, the main window, the frame capture and the map
// view) and wires them with signals: the window's intents go to the
// session, the session's state to the window's setters. The rules live in
// the parts; what is here forwards. Main thread only; mediaListChanged is
// called on the scan's worker and hands over to the main thread.
class TMKAppDelegate : public QObject, public TMKMediaListDelegate {
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)

public:
    using PlayerFactory = std::function<std::unique_ptr<TMKMediaPlayer>(TMKVideoView*, QObject*)>;
    // Reads the telemetry of a recording; runs on a worker thread.
    using Extractor = TMKPlaybackSession::Extractor;

    struct Options {
        PlayerFactory playerFactory; // empty: the libVLC player
        bool restoreState = true;    // reopen the last folder and geometry
        QString settingsPath;        // empty: the user's settings
        // Platform services, replaceable in tests. Empty: the desktop's.
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> saveFileChooser;
        std::function<bool(const QUrl& url)> urlOpener; // false: nothing could open it
        // Asks for a folder of recordings; empty when cancelled.
        std::function<QString(QWidget* parent, const QString& title, const QString& start)> folderChooser;
        // Shows the print dialog for `printer`; 1 when confirmed.
        std::function<int(QPrinter& printer)> printPanel;
        std::shared_ptr<TMKPrintSystem> printSystem; // empty: CUPS
        std::shared_ptr<TMKAlertService> alerts;     // empty: message boxes
        Extractor extractor;                         // empty: the AVI reader
        // Asks where to export a track; the extension names the format
        // (.gpx, .kml, .csv). Empty: the desktop's save dialog.
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> trackFileChooser;
        // Runs on the export's worker before it reads anything (tests hold
        // it there to cancel).
        std::function<void()> exportWorkerStarted;
    };

    explicit TMKAppDelegate(Options options, QObject* parent = nullptr);
    explicit TMKAppDelegate(QObject* parent = nullptr) : TMKAppDelegate(Options{}, parent) {}
    ~TMKAppDelegate() override;

    // Start-up: builds the window and shows it, opening `folder` (or the last
    // folder, or the demo card) when given nothing.
    void applicationDidFinishLaunching(const QString& folder = {});

    // Playback
    bool playAtIndex(qint64 index);
    bool playNext();
    void syncVideoPositionDelay(double seconds);
    [[nodiscard]] bool hasAudio(const TMKMediaPlayer* player) const;
    [[nodiscard]] bool isPlaying(const TMKMediaPlayer* player) const;
    void stopPlay();
    void chooseAudioAuto();
    void updateAudioUI();
    void setVideoScaleIndex(int step);
    void updatePlayInfoScale();

    // Actions
    void clickPlayButton();
    void swapPlayer();
    void videoPositionSliderMoved();
    void jumpForward();
    void jumpBackward();
    void volumeSliderMoved();
    void volumeUp();
    void volumeDown();
    void increaseSpeed();
    void decreaseSpeed();
    void sizeUp();
    void sizeDown();
    void toggleAudioChoice();
    void changeAndPlay();
    void openMediaDirectoryDialog();
    void openMediaDirectory(const QString& path);
    void clickMediaListViewButton();
    void clickMapViewButton();
    void toggleFullScreen();
    void captureVideo() { m_capture->captureVideo(); }
    void print() { m_capture->print(); }
    void showSettingPanel();
    void showTimeSetupPanel();
    // The secondary window opened or brought forward last. The settings
    // and the clock window each live until the user closes them.
    [[nodiscard]] QWidget* lastDialogController() const { return m_lastDialogController; }
    // The private folder of this run's snapshots, and the snapshot in it.
    [[nodiscard]] QString captureTemporaryPath() { return m_capture->captureTemporaryPath(); }
    [[nodiscard]] TMKFrameCapture* frameCapture() const { return m_capture.get(); }

    // TMKMediaListDelegate (called on the scan's worker)
    void mediaListChanged(TMKMediaList* mediaList) override;

    [[nodiscard]] int volume() const { return m_session->volume(); }
    void setVolume(int value);

    // State, readable for tests and the other windows.
    [[nodiscard]] TMKPlaybackSession* session() const { return m_session.get(); }
    [[nodiscard]] TMKMediaPlayer* player1() const { return m_session->player1(); }
    [[nodiscard]] TMKMediaPlayer* player2() const { return m_session->player2(); }
    [[nodiscard]] TMKPlayInfo* playInfo() const { return m_session->playInfo(); }
    [[nodiscard]] TMKMediaList* mediaList() const { return m_session->mediaList(); }
    [[nodiscard]] const TMKBlackBoxData& blackBoxData() const { return m_session->blackBoxData(); }
    [[nodiscard]] TMKMainWindow* window() const { return m_window.get(); }
    [[nodiscard]] qint64 mediaIndex() const { return m_session->mediaIndex(); }
    [[nodiscard]] bool waitingForPlayStart() const { return m_session->waitingForPlayStart(); }
    [[nodiscard]] bool isSwapping() const { return m_session->isSwapping(); }
    [[nodiscard]] bool isMoving() const { return m_session->isMoving(); }
    [[nodiscard]] bool hasRearMedia() const { return m_session->hasRearMedia(); }
    [[nodiscard]] int rightViewMode() const { return m_window->sideView() == TMKMainWindow::SideView::Map ? 1 : 0; }
    [[nodiscard]] bool isLoadingShown() const;
    [[nodiscard]] QString player1LogoName() const { return m_session->player1LogoName(); }
    [[nodiscard]] QString player2LogoName() const { return m_session->player2LogoName(); }
    [[nodiscard]] QString speedText() const;
    [[nodiscard]] QString sizeText() const;
    [[nodiscard]] int audioToggleState() const;
    [[nodiscard]] bool isAudioToggleVisible() const;
    [[nodiscard]] double positionSliderValue() const;
    void setPositionSliderValue(double value); // as a user drag would, then videoPositionSliderMoved
    [[nodiscard]] QString gsensorText() const; // the X/Y/Z readouts, for tests
    [[nodiscard]] TMKVideoView* video1View() const { return m_window->video1View(); }
    [[nodiscard]] TMKVideoView* video2View() const { return m_window->video2View(); }
    [[nodiscard]] QTableView* mediaListTableView() const { return m_window->tableView(); }
    [[nodiscard]] QString lastMessage() const { return m_lastMessage; }
    [[nodiscard]] GraphView* graphView() const { return m_window->graphView(); }
    // Scripts sent to the map page, oldest first (the last 200).
    // mapWebView() is null until the map is first shown.
    [[nodiscard]] QStringList mapScripts() const { return m_mapScripts; }
    [[nodiscard]] TMKMapView* mapWebView() const { return m_mapWebView.get(); }
    [[nodiscard]] QString speedFieldText() const;
    [[nodiscard]] QString hdopFieldText() const;
    [[nodiscard]] QString satelliteFieldText() const;

    // Telemetry display: follows playInfo.position.
    void updateGsensorUIByPlayPositon();
    void updateGpsUIByPlayPosition();
    // Replaces the telemetry (as extraction does) and shows it from the start.
    void showTelemetry(TMKBlackBoxData data);

    // Event markers of the playing recording's trip (N, P).
    bool jumpToMarker(bool next);
    // Export Track…: the playing recording's trip (else the selected
    // row's) merged into one track, read on a worker behind a cancellable
    // progress dialog. False when there is nothing to export.
    bool exportTrack(int row = -1);
    [[nodiscard]] bool isExporting() const { return m_trackExporter->isExporting(); }
    [[nodiscard]] double eventThresholdG() const { return m_eventThresholdG; }
    [[nodiscard]] TMKTripMap* tripMap() const { return m_tripMap; }

signals:
    void volumeChanged(int volume);
    // A pair was started (players told to play) / could not be started.
    void pairStarted(qint64 index);
    void pairFailed(qint64 index, const QString& reason);
    void mediaListReloaded();
    // The slider shows `count` markers of the playing recording's trip.
    void sliderMarkersShown(int count);
    // An export ended: written (`error` empty), failed, or cancelled.
    void trackExportFinished(bool written, const QString& path, const QString& error);

private:
    // Start-up
    void makeParts();
    void connectWindow();
    void connectSession();
    void logSupportedLanguages();
    void restoreWindowState();
    [[nodiscard]] QString startFolder(const QString& requested) const;

    // Session → window
    void showPlayFailed(qint64 index, const QString& reason);
    void showPlaybackMessage(const QString& text);
    void showSideView(TMKMainWindow::SideView view);
    void showPosition(double position);
    void windowWillClose();
    void die();

    // Map page
    void evaluateMapScript(const QString& script);
    void showSliderMarkers();
    void trackExported(bool written, const QString& path, const QString& error);
    [[nodiscard]] std::optional<std::size_t> playingTripRecording() const;
    void sendTrackToMap();
    void makeMapView();
    // Brings the open window of `slot` forward, or opens a new one there.
    template <class Window>
    void showSecondaryWindow(std::unique_ptr<Window>& slot);

    Options m_options;
    // Destroyed in reverse: the map view before the window it sits in, the
    // window before the session whose players draw into its views.
    std::unique_ptr<TMKPlaybackSession> m_session;
    std::unique_ptr<TMKTelemetryDisplay> m_telemetry;
    std::unique_ptr<TMKMainWindow> m_window;
    std::unique_ptr<TMKMediaListModel> m_listModel;
    std::unique_ptr<TMKFrameCapture> m_capture;
    std::unique_ptr<TMKTrackExporter> m_trackExporter;
    std::unique_ptr<TMKMapView> m_mapWebView; // null until the map is first shown
    // One of each: opening either must not close the other with its edits.
    std::unique_ptr<TMKSettingController> m_settingWindow;
    std::unique_ptr<TMKTimeSetupController> m_timeSetupWindow;
    QWidget* m_lastDialogController = nullptr; // one of the two

    TMKTripMap* m_tripMap = nullptr; // a child
    double m_eventThresholdG = 0.4;
    QString m_lastMessage;
    bool m_dead = false;
    QStringList m_mapScripts;
    TMKMapScriptQueue m_pendingMapScripts; // while there is no map view yet
};
