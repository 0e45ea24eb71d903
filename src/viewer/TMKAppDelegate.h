#pragma once

// The viewer's application object: owns the parts and wires them with
// signals. Main thread; the catalogue's scan calls in on its worker.

#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"
#include "media/TMKMediaList.h"
#include "viewer/capture/TMKFrameCapture.h"
#include "viewer/capture/TMKTrackExporter.h"
#include "viewer/clip/TMKClipExporter.h"
#include "viewer/session/TMKClipMarks.h"
#include "viewer/session/TMKPlaybackSession.h"
#include "viewer/session/TMKPlayingTrip.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKMainWindow.h"
#include "viewer/window/TMKMediaListModel.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;
class TMKAlertService;
class TMKPrintSystem;
class TMKSettingController;
class TMKTimeSetupController;
class TMKTripMap;
class TMKVideoView;
class TMKMediaPlayer;

// The viewer's application object: makes its parts (the playback session
// and its parts, the telemetry display, the main window, the frame capture,
// the track export, the trip on the map and the map view) and connects
// them: the window's intents go to the part whose job they are, the parts'
// state and the play state to the window's setters. The rules live in the
// parts. Main thread only; mediaListChanged is called on the scan's worker
// and hands over to the main thread.
class TMKAppDelegate : public QObject, public TMKMediaListDelegate {
    Q_OBJECT

public:
    using PlayerFactory = std::function<std::unique_ptr<TMKMediaPlayer>(TMKVideoView*, QObject*)>;
    // Reads the telemetry of a recording; runs on a worker thread.
    using Extractor = TMKTelemetryLoader::Extractor;

    struct Options {
        PlayerFactory playerFactory; // empty: the libVLC player
        bool restoreState = true;    // reopen the last folder and geometry
        QString settingsPath;        // empty: the user's settings
        TMKPlaybackTiming timing;    // the delays of playback
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
        // Asks where a clip goes (.mp4, or .mkv for the copied video).
        // Empty: the desktop's save dialog.
        std::function<QString(QWidget* parent, const QString& title, const QString& proposedPath)> clipFileChooser;
    };

    explicit TMKAppDelegate(Options options, QObject* parent = nullptr);
    explicit TMKAppDelegate(QObject* parent = nullptr) : TMKAppDelegate(Options{}, parent) {}
    ~TMKAppDelegate() override;

    // Start-up: builds the window and shows it, opening `folder` (or the last
    // folder, or the demo card) when given nothing.
    void applicationDidFinishLaunching(const QString& folder = {});
    // A new folder: whatever plays stops, the list reads the folder.
    void openMediaDirectory(const QString& path);
    // The side panel shows the list or the map (made when first shown).
    void showSideView(TMKMainWindow::SideView view);
    void showSettingPanel();
    void showTimeSetupPanel();
    // The secondary window opened or brought forward last. The settings
    // and the clock window each live until the user closes them.
    [[nodiscard]] QWidget* lastDialogController() const { return m_lastDialogController; }

    // TMKMediaListDelegate (called on the scan's worker)
    void mediaListChanged(TMKMediaList* mediaList) override;

    // The parts.
    [[nodiscard]] TMKPlaybackSession* session() const { return m_session.get(); }
    [[nodiscard]] TMKMainWindow* window() const { return m_window.get(); }
    [[nodiscard]] TMKFrameCapture* frameCapture() const { return m_capture.get(); }
    [[nodiscard]] TMKTrackExporter* trackExporter() const { return m_trackExporter.get(); }
    [[nodiscard]] TMKPlayingTrip* playingTrip() const { return m_playingTrip.get(); }
    [[nodiscard]] TMKTripMap* tripMap() const { return m_tripMap.get(); }
    [[nodiscard]] TMKClipMarks* clipMarks() const { return m_clipMarks.get(); }
    [[nodiscard]] TMKClipExporter* clipExporter() const { return m_clipExporter.get(); }
    // Null until the map is first shown.
    [[nodiscard]] TMKMapView* mapWebView() const { return m_mapWebView.get(); }

signals:
    void mediaListReloaded();
    // The slider shows `count` markers of the playing recording's trip.
    void sliderMarkersShown(int count);
    // A script went to the map page (or waits for it).
    void mapScriptSent(const QString& script);

private:
    // Start-up
    void makeParts();
    void connectWindow();
    void connectSession();
    void followPlayInfo();
    void logSupportedLanguages();
    void restoreWindowState();
    [[nodiscard]] QString startFolder(const QString& requested) const;

    void openMediaDirectoryDialog();
    void showPlayFailed(const QString& reason);
    void showReadouts(double position);
    void windowWillClose();

    // Map page and markers
    void evaluateMapScript(const QString& script);
    void showSliderMarkers();
    bool jumpToMarker(bool next);
    bool exportTrack(int row = -1);
    void connectClip();
    void showClipSpan();
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

    std::unique_ptr<TMKPlayingTrip> m_playingTrip;
    std::unique_ptr<TMKTripMap> m_tripMap;
    std::unique_ptr<TMKClipMarks> m_clipMarks;
    std::unique_ptr<TMKClipExporter> m_clipExporter;
    double m_eventThresholdG = 0.4;
    TMKMapScriptQueue m_pendingMapScripts; // while there is no map view yet
};
