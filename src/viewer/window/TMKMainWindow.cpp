#include "viewer/window/TMKMainWindow.h"

#include "strings/TMKStrings.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKHeadBar.h"
#include "viewer/window/TMKNamedWidgets.h"
#include "viewer/window/TMKPlaybackBanner.h"
#include "viewer/window/TMKShortcutOverlay.h"
#include "viewer/window/TMKSidePanel.h"
#include "viewer/window/TMKViewerActions.h"
#include "viewer/window/TMKWindowLayout.h"
#include "widgets/TMKLogoView.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QScreen>

namespace {

// Read once: every window made after the first shares the text.
const QString& viewerStyleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":/style/viewer.qss"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return sheet;
}

void showText(QLabel* label, const std::optional<QString>& text)
{
    if (text)
        label->setText(*text);
}

} // namespace

TMKMainWindow::TMKMainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tamek Viewer"));
    setMinimumSize(TMKWindowLayout::kMinWindowSize);
    resize(TMKWindowLayout::kMinWindowSize);

    m_backgroundBox = makeBox(this, "backgroundBox");
    m_backgroundBox->setStyleSheet(viewerStyleSheet());
    setCentralWidget(m_backgroundBox);

    m_headBox = makeBox(m_backgroundBox, "headBox");
    m_bodyBox = makeBox(m_backgroundBox, "bodyBox");
    m_bodyLeftBox = makeBox(m_bodyBox, "bodyLeftBox");
    m_bodyRightBox = makeBox(m_bodyBox, "bodyRightBox");
    m_videoBox = makeBox(m_bodyLeftBox, "videoBox");
    m_gsensorBox = makeBox(m_bodyLeftBox, "gsensorBox");
    m_mediaControlBox = makeBox(m_bodyLeftBox, "mediaControlBox");
    m_mediaControlBoxForFullScreen = makeBox(m_bodyLeftBox, "mediaControlBoxForFullScreen");
    m_sideButtonBox = makeBox(m_bodyRightBox, "sideButtonBox");
    m_mediaListBox = makeBox(m_bodyRightBox, "mediaListBox");
    m_subVideoBox = makeBox(m_bodyRightBox, "subVideoBox");
    m_subVideoBox->setAutoFillBackground(true);

    buildVideos();
    m_head = new TMKHeadBar(m_headBox, this);
    connect(m_head, &TMKHeadBar::openFolderRequested, this, &TMKMainWindow::openFolderRequested);
    connect(m_head, &TMKHeadBar::settingsRequested, this, &TMKMainWindow::settingsRequested);
    connect(m_head, &TMKHeadBar::timeSetupRequested, this, &TMKMainWindow::timeSetupRequested);
    buildGSensor();

    m_controls = new TMKControlBar(m_mediaControlBox, m_mediaControlBoxForFullScreen, this);
    connect(m_controls, &TMKControlBar::playClicked, this, &TMKMainWindow::playClicked);
    connect(m_controls, &TMKControlBar::jumpForwardRequested, this, &TMKMainWindow::jumpForwardRequested);
    connect(m_controls, &TMKControlBar::jumpBackwardRequested, this, &TMKMainWindow::jumpBackwardRequested);
    connect(m_controls, &TMKControlBar::speedClicked, this, &TMKMainWindow::speedClicked);
    connect(m_controls, &TMKControlBar::sizeUpRequested, this, &TMKMainWindow::sizeUpRequested);
    connect(m_controls, &TMKControlBar::swapRequested, this, &TMKMainWindow::swapRequested);
    connect(m_controls, &TMKControlBar::captureRequested, this, &TMKMainWindow::captureRequested);
    connect(m_controls, &TMKControlBar::printRequested, this, &TMKMainWindow::printRequested);
    connect(m_controls, &TMKControlBar::fullScreenRequested, this, &TMKMainWindow::fullScreenRequested);
    connect(m_controls, &TMKControlBar::audioToggled, this, &TMKMainWindow::audioToggled);
    connect(m_controls, &TMKControlBar::volumeMoved, this, &TMKMainWindow::volumeMoved);
    connect(m_controls, &TMKControlBar::positionMoved, this, &TMKMainWindow::positionSliderMoved);

    m_actions = new TMKViewerActions(this);
    m_sidePanel = new TMKSidePanel(m_sideButtonBox, m_mediaListBox, m_actions->action("exportTrackAction"), this);
    connect(m_sidePanel, &TMKSidePanel::listViewRequested, this, &TMKMainWindow::listViewRequested);
    connect(m_sidePanel, &TMKSidePanel::mapViewRequested, this, &TMKMainWindow::mapViewRequested);
    connect(m_sidePanel, &TMKSidePanel::rowActivated, this, &TMKMainWindow::rowActivated);
    connect(m_sidePanel, &TMKSidePanel::exportRowTrackRequested, this, &TMKMainWindow::exportRowTrackRequested);
    m_controls->setSliderMenu({m_actions->action("clipStartAction"), m_actions->action("clipEndAction"),
                               m_actions->action("clearClipMarksAction"), m_actions->action("exportClipAction")});

    m_video1View->hide();
    m_video2View->hide();
    layOut();
}

TMKMainWindow::~TMKMainWindow() = default;

// A logo view behind each video, the video view on top.
void TMKMainWindow::buildVideos()
{
    m_videoContainerView = makeBox(m_videoBox, "videoContainerView");
    m_player1BackgroundView = new TMKLogoView(m_videoContainerView);
    m_video1View = new TMKVideoView(m_videoContainerView);
    m_video1View->setObjectName(QStringLiteral("video1View"));
    m_player2BackgroundView = new TMKLogoView(m_subVideoBox);
    m_video2View = new TMKVideoView(m_subVideoBox);
    m_video2View->setObjectName(QStringLiteral("video2View"));
    m_player1BackgroundView->setBackgroundImage(QStringLiteral("v1"));
    m_player2BackgroundView->setBackgroundImage(QStringLiteral("v2"));

    m_banner = new TMKPlaybackBanner(m_videoBox);
}

// The graph and, at its right, the X/Y/Z readouts.
void TMKMainWindow::buildGSensor()
{
    m_xLabel = makeLabel(m_gsensorBox, QStringLiteral("X=+0.00"), "xLabel");
    m_yLabel = makeLabel(m_gsensorBox, QStringLiteral("Y=+0.00"), "yLabel");
    m_zLabel = makeLabel(m_gsensorBox, QStringLiteral("Z=+0.00"), "zLabel");
    m_graphView = new GraphView(m_gsensorBox);
}

QList<TMKShortcutOverlay::Row> TMKMainWindow::shortcutRows() const { return m_actions->rows(); }

bool TMKMainWindow::isShortcutOverlayShown() const
{
    return m_shortcutOverlay && m_shortcutOverlay->isVisible();
}

void TMKMainWindow::setShortcutOverlayShown(bool shown)
{
    if (!shown) {
        if (m_shortcutOverlay)
            m_shortcutOverlay->hide();
        return;
    }
    if (!m_shortcutOverlay) {
        m_shortcutOverlay = new TMKShortcutOverlay(m_backgroundBox);
        connect(m_shortcutOverlay, &TMKShortcutOverlay::dismissed, this, [this] { setShortcutOverlayShown(false); });
    }
    m_shortcutOverlay->setRows(TMKLocalizedString("shortcut.title"), shortcutRows());
    m_shortcutOverlay->setGeometry(QRect(QPoint(0, 0), m_backgroundBox->size()));
    m_shortcutOverlay->show();
    m_shortcutOverlay->raise();
}

void TMKMainWindow::closeEvent(QCloseEvent* event)
{
    emit closing();
    QMainWindow::closeEvent(event);
}

void TMKMainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layOut();
    emit contentResized(videoAreaHeight());
}

void TMKMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        layOut();
}

int TMKMainWindow::videoAreaHeight() const
{
    return m_videoContainerView->height();
}

void TMKMainWindow::layOut()
{
    const bool fullScreen = isFullScreen();
    const TMKWindowLayout l = TMKWindowLayout::compute(m_backgroundBox->size(), fullScreen);

    m_headBox->setVisible(!fullScreen);
    m_headBox->setGeometry(l.headBox);
    m_bodyBox->setGeometry(l.bodyBox);
    m_bodyLeftBox->setGeometry(l.bodyLeftBox);
    m_bodyRightBox->setVisible(!fullScreen);
    m_bodyRightBox->setGeometry(l.bodyRightBox);
    m_videoBox->setGeometry(l.videoBox);
    m_gsensorBox->setVisible(!fullScreen);
    m_gsensorBox->setGeometry(l.gsensorBox);
    m_mediaControlBox->setVisible(!fullScreen);
    m_mediaControlBox->setGeometry(l.mediaControlBox);
    m_mediaControlBoxForFullScreen->setVisible(fullScreen);
    m_mediaControlBoxForFullScreen->setGeometry(l.mediaControlBoxForFullScreen);
    m_sideButtonBox->setGeometry(l.sideButtonBox);
    m_mediaListBox->setGeometry(l.mediaListBox);
    m_subVideoBox->setGeometry(l.subVideoBox);

    const QRect video(QPoint(0, 0), l.videoBox.size());
    m_videoContainerView->setGeometry(video);
    m_player1BackgroundView->setGeometry(video);
    if (!m_animatingSwap)
        m_video1View->setGeometry(video);
    const QRect sub(QPoint(0, 0), l.subVideoBox.size());
    m_player2BackgroundView->setGeometry(sub);
    if (!m_animatingSwap)
        m_video2View->setGeometry(sub);

    m_banner->layOut();
    m_banner->raise();

    m_sidePanel->layOut(l);
    if (m_shortcutOverlay)
        m_shortcutOverlay->setGeometry(QRect(QPoint(0, 0), m_backgroundBox->size()));

    m_head->layOut(l);

    m_controls->layOut(l);

    m_graphView->setGeometry(l.gsensor.graph);
    m_xLabel->setGeometry(l.gsensor.x);
    m_yLabel->setGeometry(l.gsensor.y);
    m_zLabel->setGeometry(l.gsensor.z);
}

QTableView* TMKMainWindow::tableView() const { return m_sidePanel->tableView(); }
void TMKMainWindow::setListModel(QAbstractItemModel* model) { m_sidePanel->setListModel(model); }
void TMKMainWindow::selectRow(int row) { m_sidePanel->selectRow(row); }
int TMKMainWindow::currentRow() const { return m_sidePanel->currentRow(); }

void TMKMainWindow::setFolder(const QString& path)
{
    m_sidePanel->hideOpenFolderHint();
    m_head->setFolder(path);
}

void TMKMainWindow::setMessage(const QString& text) { m_head->setMessage(text); }
void TMKMainWindow::setPlaying(bool playing) { m_controls->setPlaying(playing); }
void TMKMainWindow::setSpeed(double speed) { m_controls->setSpeed(speed); }
void TMKMainWindow::setScale(double scale) { m_controls->setScale(scale); }
void TMKMainWindow::setTimeText(const QString& text) { m_controls->setTimeText(text); }
void TMKMainWindow::setPositionSlider(double position) { m_controls->setPosition(position); }
double TMKMainWindow::positionSliderValue() const { return m_controls->position(); }
void TMKMainWindow::setVolume(int volume) { m_controls->setVolume(volume); }
int TMKMainWindow::volumeSliderValue() const { return m_controls->volume(); }
void TMKMainWindow::setAudioToggle(bool visible, bool rear) { m_controls->setAudioToggle(visible, rear); }
bool TMKMainWindow::audioToggleRear() const { return m_controls->audioToggleRear(); }
bool TMKMainWindow::isAudioToggleVisible() const { return m_controls->isAudioToggleVisible(); }
void TMKMainWindow::setMuted(bool muted) { m_controls->setMuted(muted); }
void TMKMainWindow::setSliderMarkers(const QList<TMKMarkerSlider::Marker>& markers) { m_controls->setMarkers(markers); }
void TMKMainWindow::setClipSpan(std::optional<TMKMarkerSlider::Span> span) { m_controls->setSpan(span); }

QList<TMKMarkerSlider::Marker> TMKMainWindow::sliderMarkers() const { return m_controls->markers(); }
TMKMarkerSlider* TMKMainWindow::positionSlider() const { return m_controls->positionSlider(); }

void TMKMainWindow::setLogos(const QString& logo1, const QString& logo2)
{
    m_player1BackgroundView->setLogoImage(logo1);
    m_player2BackgroundView->setLogoImage(logo2);
}

void TMKMainWindow::setVideoViewsVisible(bool video1, bool video2)
{
    m_video1View->setVisible(video1);
    m_video2View->setVisible(video2);
}

void TMKMainWindow::setVideo2Visible(bool visible)
{
    m_video2View->setHidden(!visible);
}

void TMKMainWindow::clearVideos()
{
    for (TMKVideoView* view : {m_video1View, m_video2View}) {
        view->clearFrame();
        view->hide();
    }
}

void TMKMainWindow::showReadout(const TMKTelemetryReadout& readout)
{
    showText(m_xLabel, readout.x);
    showText(m_yLabel, readout.y);
    showText(m_zLabel, readout.z);
    m_sidePanel->showReadout(readout);
}

void TMKMainWindow::resetReadouts()
{
    m_xLabel->setText(QStringLiteral("X=+0.00"));
    m_yLabel->setText(QStringLiteral("Y=+0.00"));
    m_zLabel->setText(QStringLiteral("Z=+0.00"));
    m_sidePanel->resetReadouts();
}

void TMKMainWindow::setGraphPosition(double seconds) { m_graphView->updateTimePosition(seconds); }

void TMKMainWindow::setSideView(SideView view)
{
    m_sidePanel->setView(view == SideView::List ? TMKSidePanel::View::List : TMKSidePanel::View::Map);
}

TMKMainWindow::SideView TMKMainWindow::sideView() const
{
    return m_sidePanel->view() == TMKSidePanel::View::List ? SideView::List : SideView::Map;
}

void TMKMainWindow::setMapView(QWidget* view) { m_sidePanel->setMapView(view); }
QWidget* TMKMainWindow::mapContainer() const { return m_sidePanel->mapContainer(); }
void TMKMainWindow::addPlaybackMessage(const QString& text) { m_banner->addMessage(text); }
void TMKMainWindow::clearPlaybackMessages() { m_banner->clearMessages(); }
void TMKMainWindow::showLoading() { m_head->showLoading(); }
void TMKMainWindow::setLoadingProgress(double percent) { m_head->setLoadingProgress(percent); }
void TMKMainWindow::hideLoading() { m_head->hideLoading(); }
bool TMKMainWindow::isLoadingShown() const { return m_head->isLoadingShown(); }

void TMKMainWindow::animateSwap()
{
    m_animatingSwap = true;
    m_video1View->setGeometry(m_videoContainerView->width(), m_videoContainerView->height(), 0, 0);
    m_video2View->setGeometry(0, 0, 0, 0);
    auto* group = new QParallelAnimationGroup(this);
    const auto grow = [this, group](QWidget* view, QSize to) {
        auto* animation = new QPropertyAnimation(view, "geometry", group);
        animation->setDuration(m_swapAnimationMs);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setEndValue(QRect(QPoint(0, 0), to));
        group->addAnimation(animation);
    };
    grow(m_video1View, m_videoContainerView->size());
    grow(m_video2View, m_subVideoBox->size());
    connect(group, &QAbstractAnimation::finished, this, [this] {
        m_animatingSwap = false;
        layOut();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

// A size step of a fifth of the minimum window size, kept inside the
// screen's visible area; a step up from the visible area's size goes full
// screen, a step down leaves it. A new pair (step 0) keeps the mode the
// user chose.
void TMKMainWindow::applyScaleStep(int step)
{
    if (isFullScreen()) {
        if (step < 0)
            showNormal();
        return;
    }
    if (step == 0)
        return;
    const QScreen* s = screen();
    const QRect available = s ? s->availableGeometry() : QRect(0, 0, 1 << 20, 1 << 20);
    const QRect frame = frameGeometry();
    const QRect content = geometry();
    const QMargins decoration(content.left() - frame.left(), content.top() - frame.top(),
                              frame.right() - content.right(), frame.bottom() - content.bottom());
    const auto stepped = TMKWindowLayout::steppedGeometry(content, available, decoration, step);
    if (!stepped) {
        showFullScreen();
        return;
    }
    setGeometry(*stepped);
}

void TMKMainWindow::toggleFullScreen()
{
    if (isFullScreen())
        showNormal();
    else
        showFullScreen();
}

QString TMKMainWindow::speedText() const { return m_controls->speedText(); }
QString TMKMainWindow::sizeText() const { return m_controls->sizeText(); }

QString TMKMainWindow::gsensorText() const
{
    return m_xLabel->text() + QLatin1Char(' ') + m_yLabel->text() + QLatin1Char(' ') + m_zLabel->text();
}

QString TMKMainWindow::speedFieldText() const { return m_sidePanel->speedText(); }
QString TMKMainWindow::hdopFieldText() const { return m_sidePanel->hdopText(); }
QString TMKMainWindow::satelliteFieldText() const { return m_sidePanel->satelliteText(); }
