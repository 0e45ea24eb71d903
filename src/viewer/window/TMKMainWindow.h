#pragma once

// The main window: builds its regions, places them by TMKWindowLayout, fills
// them with its pieces (the control rows, the side panel, the action table,
// the style of resources/style/viewer.qss), tells what the user asks for by
// intent signals and shows what it is given through setters. It knows neither the application object
// nor the playback session; TMKAppDelegate wires it to them. Main thread
// only.

#include "viewer/window/TMKControlBar.h"
#include "viewer/window/TMKMarkerSlider.h"
#include "viewer/window/TMKShortcutOverlay.h"

#include <QList>
#include <QMainWindow>
#include <QString>

class GraphView;
class QAbstractItemModel;
class QLabel;
class QTableView;
class TMKHeadBar;
class TMKLogoView;
class TMKPlaybackBanner;
class TMKSidePanel;
class TMKVideoView;
class TMKViewerActions;
struct TMKTelemetryReadout;

class TMKMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Steps of the position slider from start to end.
    static constexpr int kSliderSteps = TMKControlBar::kSliderSteps;
    static constexpr int kSwapAnimationMs = 1500;
    enum class SideView { List, Map };

    explicit TMKMainWindow(QWidget* parent = nullptr);
    ~TMKMainWindow() override;

    // The parts the players and the map draw into.
    [[nodiscard]] TMKVideoView* video1View() const { return m_video1View; }
    [[nodiscard]] TMKVideoView* video2View() const { return m_video2View; }
    [[nodiscard]] QTableView* tableView() const;
    [[nodiscard]] GraphView* graphView() const { return m_graphView; }
    [[nodiscard]] int videoAreaHeight() const;

    // What the window shows.
    void setListModel(QAbstractItemModel* model);
    void selectRow(int row);
    [[nodiscard]] int currentRow() const; // -1 when none
    void setFolder(const QString& path);  // hides the open-folder hint
    void setMessage(const QString& text); // in the head bar
    void setPlaying(bool playing);
    void setSpeed(double speed);
    void setScale(double scale);
    void setTimeText(const QString& text);
    // Moves both position sliders without telling positionSliderMoved; a
    // slider the user holds stays where the user has it.
    void setPositionSlider(double position);
    [[nodiscard]] double positionSliderValue() const;
    void setVolume(int volume); // without telling volumeMoved
    [[nodiscard]] int volumeSliderValue() const;
    void setAudioToggle(bool visible, bool rear);
    [[nodiscard]] bool audioToggleRear() const;
    [[nodiscard]] bool isAudioToggleVisible() const;
    void setLogos(const QString& logo1, const QString& logo2);
    void setVideoViewsVisible(bool video1, bool video2);
    void setVideo2Visible(bool visible);
    void clearVideos(); // their last frames, and hidden
    void showReadout(const TMKTelemetryReadout& readout);
    void resetReadouts();
    void setGraphPosition(double seconds);
    void setSideView(SideView view);
    [[nodiscard]] SideView sideView() const;
    // The map page's view, shown above the readout strip; it stays its
    // maker's to delete.
    void setMapView(QWidget* view);
    [[nodiscard]] QWidget* mapContainer() const;
    // The banner over the video: the messages of the pair now requested,
    // one a line, gone after a while.
    void addPlaybackMessage(const QString& text);
    // A new pair: the messages of the one before are not about it.
    void clearPlaybackMessages();
    void showLoading();
    void setLoadingProgress(double percent);
    void hideLoading();
    [[nodiscard]] bool isLoadingShown() const;
    // Both videos grow into place from the corners facing each other, in
    // kSwapAnimationMs unless another length is set.
    void animateSwap();
    void setSwapAnimationMs(int ms) { m_swapAnimationMs = ms; }
    // A window size step: +1 larger (full screen past the screen's visible
    // area), -1 smaller (out of full screen), 0 as it is.
    void applyScaleStep(int step);
    void toggleFullScreen();
    // The overlay listing every shortcut, made from the window's actions.
    void setShortcutOverlayShown(bool shown);
    [[nodiscard]] bool isShortcutOverlayShown() const;
    [[nodiscard]] TMKShortcutOverlay* shortcutOverlay() const { return m_shortcutOverlay; }
    // Each action of the shortcut table: its keys and what it does.
    [[nodiscard]] QList<TMKShortcutOverlay::Row> shortcutRows() const;
    // Shows the user's mute on the volume control.
    void setMuted(bool muted);
    // Ticks on both position sliders.
    void setSliderMarkers(const QList<TMKMarkerSlider::Marker>& markers);
    [[nodiscard]] QList<TMKMarkerSlider::Marker> sliderMarkers() const;
    [[nodiscard]] TMKMarkerSlider* positionSlider() const;
    // A clip's span on both position sliders; nothing hides it.
    void setClipSpan(std::optional<TMKMarkerSlider::Span> span);

    // For tests: the texts the controls show.
    [[nodiscard]] QString speedText() const;
    [[nodiscard]] QString sizeText() const;
    [[nodiscard]] QString gsensorText() const;
    [[nodiscard]] QString speedFieldText() const;
    [[nodiscard]] QString hdopFieldText() const;
    [[nodiscard]] QString satelliteFieldText() const;

signals:
    void openFolderRequested();
    void settingsRequested();
    void timeSetupRequested();
    void playClicked();
    void jumpForwardRequested();
    void jumpBackwardRequested();
    void speedClicked();
    void resetSpeedRequested();
    void frameForwardRequested();
    void frameBackwardRequested();
    void muteRequested();
    void nextMarkerRequested();
    void exportTrackRequested(); // the playing recording's trip, else the selected row's
    void exportRowTrackRequested(int row); // the list's menu, on that row
    void previousMarkerRequested();
    void increaseSpeedRequested();
    void decreaseSpeedRequested();
    void sizeUpRequested();
    void sizeDownRequested();
    void swapRequested();
    void captureRequested();
    void printRequested();
    // I and O: the clip's start or end at the play position.
    void clipMarkRequested(bool end);
    void clipMarksClearRequested();
    void exportClipRequested();
    void audioToggled(bool rear);
    void volumeMoved(int volume);
    void volumeUpRequested();
    void volumeDownRequested();
    // The user let go of a position slider, or clicked a page step.
    void positionSliderMoved(double position);
    void rowActivated(int row);
    void listViewRequested();
    void mapViewRequested();
    void fullScreenRequested();
    void closing();
    // The content changed size; the video area is `videoAreaHeight` high.
    void contentResized(int videoAreaHeight);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildVideos();
    void buildGSensor();
    void layOut();

    QWidget* m_backgroundBox = nullptr;
    QWidget* m_headBox = nullptr;
    QWidget* m_bodyBox = nullptr;
    QWidget* m_bodyLeftBox = nullptr;
    QWidget* m_bodyRightBox = nullptr;
    QWidget* m_videoBox = nullptr;
    QWidget* m_videoContainerView = nullptr;
    QWidget* m_gsensorBox = nullptr;
    QWidget* m_mediaControlBox = nullptr;
    QWidget* m_mediaControlBoxForFullScreen = nullptr;
    QWidget* m_sideButtonBox = nullptr;
    QWidget* m_mediaListBox = nullptr;
    QWidget* m_subVideoBox = nullptr;
    GraphView* m_graphView = nullptr;
    TMKLogoView* m_player1BackgroundView = nullptr;
    TMKLogoView* m_player2BackgroundView = nullptr;
    TMKVideoView* m_video1View = nullptr;
    TMKVideoView* m_video2View = nullptr;

    TMKHeadBar* m_head = nullptr;
    TMKPlaybackBanner* m_banner = nullptr;

    // G-sensor readouts
    QLabel* m_xLabel = nullptr;
    QLabel* m_yLabel = nullptr;
    QLabel* m_zLabel = nullptr;

    TMKViewerActions* m_actions = nullptr;
    TMKControlBar* m_controls = nullptr;
    TMKSidePanel* m_sidePanel = nullptr;
    TMKShortcutOverlay* m_shortcutOverlay = nullptr; // made when first shown

    int m_swapAnimationMs = kSwapAnimationMs;
    bool m_animatingSwap = false;
};
