#include "viewer/window/TMKMainWindow.h"

#include "strings/TMKStrings.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKMarkerSlider.h"
#include "viewer/window/TMKMediaListTableView.h"
#include "viewer/window/TMKShortcutOverlay.h"
#include "viewer/window/TMKWindowLayout.h"
#include "widgets/TMKImageButton.h"
#include "widgets/TMKLogoView.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QParallelAnimationGroup>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kVolumeMax = 200;
constexpr int kBannerShownMs = 10000;
constexpr int kListRowHeight = 20;
constexpr QSize kListIconSize{14, 14};
// Mode, date and time columns; the file name takes the rest.
constexpr int kListColumnWidths[] = {72, 70, 56};

QWidget* makeBox(QWidget* parent, const char* name)
{
    auto* box = new QWidget(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

TMKImageButton* makeImageButton(QWidget* parent, const char* image, const char* name, const char* tipKey)
{
    auto* button = new TMKImageButton(QLatin1String(image), parent);
    button->setObjectName(QLatin1String(name));
    if (tipKey)
        button->setToolTip(TMKLocalizedString(tipKey));
    return button;
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
    m_backgroundBox->setStyleSheet(QStringLiteral(
        "#backgroundBox { background: #23262b; } QLabel { color: #d8dce2; }"
        " QTableView { background: #1b1d21; color: #d8dce2; alternate-background-color: #202328;"
        " selection-background-color: #3d6fb6; gridline-color: #2c3036; }"
        " QHeaderView::section { background: #2c3036; color: #aab1ba; border: none; padding: 2px; }"
        " QPushButton { color: #d8dce2; background: #33373e; border: 1px solid #454a52; border-radius: 3px; padding: 2px 8px; }"
        " QPushButton:hover { background: #3d424a; }"));
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
    m_subVideoBox->setStyleSheet(QStringLiteral("#subVideoBox { background: black; }"));

    buildVideos();
    buildHead();
    buildGSensor();
    buildControls();
    buildFullScreenControls();
    buildSidePanel();
    installShortcuts();

    setSideView(SideView::List);
    setPlaying(false);
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

    m_playbackMessageLabel = makeLabel(m_videoBox, QString(), "playbackMessageLabel");
    m_playbackMessageLabel->setWordWrap(true);
    m_playbackMessageLabel->setStyleSheet(
        QStringLiteral("#playbackMessageLabel { color: #ffd08a; background: rgba(20, 22, 26, 215);"
                       " border: 1px solid #f0b45a; border-radius: 4px; padding: 4px 8px; font-size: 13px; }"));
    m_playbackMessageLabel->hide();
    m_playbackMessageTimer = new QTimer(this);
    m_playbackMessageTimer->setSingleShot(true);
    m_playbackMessageTimer->setInterval(kBannerShownMs);
    connect(m_playbackMessageTimer, &QTimer::timeout, m_playbackMessageLabel, &QWidget::hide);
}

void TMKMainWindow::buildHead()
{
    auto* open = new QPushButton(TMKLocalizedString("main.open_folder"), m_headBox);
    open->setObjectName(QStringLiteral("openFolderButton"));
    connect(open, &QPushButton::clicked, this, &TMKMainWindow::openFolderRequested);
    m_openButton = open;
    auto* settings = new QPushButton(TMKLocalizedString("main.settings_button"), m_headBox);
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setToolTip(TMKLocalizedString("main.settings"));
    connect(settings, &QPushButton::clicked, this, &TMKMainWindow::settingsRequested);
    m_settingsButton = settings;
    auto* timeSetup = new QPushButton(TMKLocalizedString("main.time_setup_button"), m_headBox);
    timeSetup->setObjectName(QStringLiteral("timeSetupButton"));
    timeSetup->setToolTip(TMKLocalizedString("main.time_setup"));
    connect(timeSetup, &QPushButton::clicked, this, &TMKMainWindow::timeSetupRequested);
    m_timeSetupButton = timeSetup;
    m_folderLabel = makeLabel(m_headBox, QString(), "folderLabel");
    m_messageLabel = makeLabel(m_headBox, QString(), "messageLabel");
    m_messageLabel->setStyleSheet(QStringLiteral("color: #f0b45a;"));
    m_progressIndicator = new QProgressBar(m_headBox);
    m_progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    m_progressIndicator->setTextVisible(false);
    m_progressIndicator->hide();
}

// The graph and, at its right, the X/Y/Z readouts.
void TMKMainWindow::buildGSensor()
{
    m_xLabel = makeLabel(m_gsensorBox, QStringLiteral("X=+0.00"), "xLabel");
    m_yLabel = makeLabel(m_gsensorBox, QStringLiteral("Y=+0.00"), "yLabel");
    m_zLabel = makeLabel(m_gsensorBox, QStringLiteral("Z=+0.00"), "zLabel");
    m_graphView = new GraphView(m_gsensorBox);
}

// The slider tells a position as soon as the user lets go (or clicks a
// page step), not while it is dragged or set from the play position.
void TMKMainWindow::connectPositionSlider(QSlider* slider)
{
    slider->setRange(0, kSliderSteps);
    slider->setFocusPolicy(Qt::NoFocus);
    const auto moved = [this, slider] {
        if (m_sliderBeingSet || slider->isSliderDown())
            return;
        emit positionSliderMoved(static_cast<double>(slider->value()) / kSliderSteps);
    };
    connect(slider, &QSlider::sliderReleased, this, moved);
    connect(slider, &QSlider::valueChanged, this, moved);
}

void TMKMainWindow::buildControls()
{
    QWidget* box = m_mediaControlBox;
    m_videoPositionSlider = new TMKMarkerSlider(Qt::Horizontal, box);
    m_videoPositionSlider->setObjectName(QStringLiteral("videoPositionSlider"));
    connectPositionSlider(m_videoPositionSlider);

    m_playButton = makeImageButton(box, "icon_play", "playButton", "main.play");
    connect(m_playButton, &QAbstractButton::clicked, this, &TMKMainWindow::playClicked);
    m_fullScreenButton = makeImageButton(box, "icon_fullscreen", "fullScreenButton", "main.fullscreen");
    connect(m_fullScreenButton, &QAbstractButton::clicked, this, &TMKMainWindow::fullScreenRequested);
    m_jumpBackwardButton = makeImageButton(box, "icon_rew", "jumpBackwardButton", "main.jump_backward");
    connect(m_jumpBackwardButton, &QAbstractButton::clicked, this, &TMKMainWindow::jumpBackwardRequested);
    m_jumpForwardButton = makeImageButton(box, "icon_ff", "jumpForwardButton", "main.jump_forward");
    connect(m_jumpForwardButton, &QAbstractButton::clicked, this, &TMKMainWindow::jumpForwardRequested);

    auto* speed = new QPushButton(QStringLiteral("1.0x"), box);
    speed->setObjectName(QStringLiteral("speedTextButton"));
    speed->setToolTip(TMKLocalizedString("main.speed_up"));
    connect(speed, &QPushButton::clicked, this, &TMKMainWindow::speedClicked);
    m_speedTextButton = speed;
    auto* size = new QPushButton(QStringLiteral("\u2013"), box);
    size->setObjectName(QStringLiteral("sizeTextButton"));
    size->setToolTip(TMKLocalizedString("main.size_tip").arg(QStringLiteral("0.00")));
    connect(size, &QPushButton::clicked, this, &TMKMainWindow::sizeUpRequested);
    m_sizeTextButton = size;

    m_swapButton = makeImageButton(box, "icon_swap", "swapButton", "main.swap");
    connect(m_swapButton, &QAbstractButton::clicked, this, &TMKMainWindow::swapRequested);
    m_captureButton = makeImageButton(box, "icon_capture", "captureButton", "main.capture");
    connect(m_captureButton, &QAbstractButton::clicked, this, &TMKMainWindow::captureRequested);
    m_printButton = makeImageButton(box, "icon_print", "printButton", "main.print");
    connect(m_printButton, &QAbstractButton::clicked, this, &TMKMainWindow::printRequested);

    m_audioToggleButton = makeImageButton(box, "icon_volume", "audioToggleButton", nullptr);
    m_audioToggleButton->setCheckable(true);
    m_audioToggleButton->setToolTip(TMKLocalizedString("main.audio_front") + QStringLiteral(" / ")
                                    + TMKLocalizedString("main.audio_rear"));
    connect(m_audioToggleButton, &QAbstractButton::clicked, this,
            [this] { emit audioToggled(m_audioToggleButton->isChecked()); });

    m_volumeSlider = new QSlider(Qt::Horizontal, box);
    m_volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    m_volumeSlider->setRange(0, kVolumeMax);
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    m_volumeSlider->setToolTip(TMKLocalizedString("main.volume"));
    connect(m_volumeSlider, &QSlider::valueChanged, this, &TMKMainWindow::volumeMoved);

    m_timeLabel = makeLabel(box, QStringLiteral("00:00 / 00:00"), "timeLabel");
    m_timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TMKMainWindow::buildFullScreenControls()
{
    QWidget* box = m_mediaControlBoxForFullScreen;
    m_videoPositionSliderForFullScreen = new TMKMarkerSlider(Qt::Horizontal, box);
    m_videoPositionSliderForFullScreen->setObjectName(QStringLiteral("videoPositionSliderForFullScreen"));
    connectPositionSlider(m_videoPositionSliderForFullScreen);
    m_playButtonForFullScreen = makeImageButton(box, "icon_play", "playButtonForFullScreen", "main.play");
    connect(m_playButtonForFullScreen, &QAbstractButton::clicked, this, &TMKMainWindow::playClicked);
    m_fullScreenButtonForFullScreen
        = makeImageButton(box, "icon_fullscreen", "fullScreenButtonForFullScreen", "main.fullscreen");
    connect(m_fullScreenButtonForFullScreen, &QAbstractButton::clicked, this, &TMKMainWindow::fullScreenRequested);
    box->setStyleSheet(QStringLiteral("background: #1b1d21;"));
}

// List and map buttons, the list, the map container over it.
void TMKMainWindow::buildSidePanel()
{
    m_recordButton = makeImageButton(m_sideButtonBox, "record", "recordButton", "main.list");
    connect(m_recordButton, &QAbstractButton::clicked, this, &TMKMainWindow::listViewRequested);
    m_informationButton = makeImageButton(m_sideButtonBox, "information", "informationButton", "main.map");
    connect(m_informationButton, &QAbstractButton::clicked, this, &TMKMainWindow::mapViewRequested);

    auto* table = new TMKMediaListTableView(m_mediaListBox);
    m_tableView = table;
    m_tableView->setObjectName(QStringLiteral("mediaListTableView"));
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setAlternatingRowColors(true);
    m_tableView->setShowGrid(false);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(kListRowHeight);
    m_tableView->setAcceptDrops(false);
    m_tableView->setDragDropMode(QAbstractItemView::NoDragDrop);
    connect(table, &TMKMediaListTableView::rowChosen, this, [this] { emit rowActivated(currentRow()); });
    // Until a folder is open the list is empty: say how to fill it.
    m_openFolderHint = makeLabel(m_tableView->viewport(), TMKLocalizedString("main.open_folder_hint"), "openFolderHint");
    m_openFolderHint->setAlignment(Qt::AlignCenter);
    m_openFolderHint->setWordWrap(true);
    m_openFolderHint->setStyleSheet(QStringLiteral("color: #8a9098; font-size: 13px;"));
    m_openFolderHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    (new QVBoxLayout(m_tableView->viewport()))->addWidget(m_openFolderHint);
    // The list's menu: its entries are the window's own actions.
    m_tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    // A menu opened on a row acts on that row, whatever plays.
    connect(m_tableView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        auto* menu = new QMenu(m_tableView);
        menu->setObjectName(QStringLiteral("mediaListMenu"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const QModelIndex index = m_tableView->indexAt(at);
        for (QAction* action : actions()) {
            if (action->objectName() != QLatin1String("exportTrackAction"))
                continue;
            if (!index.isValid()) {
                menu->addAction(action);
                continue;
            }
            m_tableView->selectRow(index.row());
            QAction* onRow = menu->addAction(action->text());
            onRow->setObjectName(QStringLiteral("exportRowTrackAction"));
            const int row = index.row();
            connect(onRow, &QAction::triggered, this, [this, row] { emit exportRowTrackRequested(row); });
        }
        menu->popup(m_tableView->viewport()->mapToGlobal(at));
    });

    m_mapContainerView = makeBox(m_mediaListBox, "mapContainerView");
    m_mapContainerView->setStyleSheet(QStringLiteral("#mapContainerView { background: #2b2f35; }"));
    m_mapContainerTopView = makeBox(m_mapContainerView, "mapContainerTopView");
    m_mapContainerBottomView = makeBox(m_mapContainerView, "mapContainerBottomView");
    // Speed, HDOP and satellites under the map, each with its caption.
    const auto field = [this](const char* caption, const char* name, int column) {
        auto* title = makeLabel(m_mapContainerBottomView, TMKLocalizedString(caption), "");
        title->setStyleSheet(QStringLiteral("color: #8a9098; font-size: 11px;"));
        title->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        m_fieldCaptions[column] = title;
        auto* value = makeLabel(m_mapContainerBottomView, QString(), name);
        value->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold;"));
        value->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        return value;
    };
    m_speedLabel = field("main.speed", "speedField", 0);
    m_hdopLabel = field("main.hdop", "hdopField", 1);
    m_satelliteLabel = field("main.satellites", "sateliteField", 2);
}

// THE shortcut table: every binding is made from it, and the overlay of
// ? and F1 lists the actions it made, so what is shown cannot drift from
// what the keys do.
void TMKMainWindow::installShortcuts()
{
    // Every key has one meaning: a key held by two actions is ambiguous and
    // fires neither, so each action is named and the table tested whole.
    const auto add = [this](const char* name, const char* descriptionKey, QList<QKeySequence> keys, auto signal) {
        QList<QKeySequence> unique;
        for (const QKeySequence& key : keys) {
            if (!key.isEmpty() && !unique.contains(key))
                unique << key;
        }
        auto* action = new QAction(TMKLocalizedString(descriptionKey), this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(unique);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, signal);
        addAction(action);
    };
    add("playAction", "shortcut.play", {QKeySequence(Qt::Key_Space)}, &TMKMainWindow::playClicked);
    add("jumpForwardAction", "shortcut.jump_forward", {QKeySequence(Qt::Key_Right)},
        &TMKMainWindow::jumpForwardRequested);
    add("jumpBackwardAction", "shortcut.jump_backward", {QKeySequence(Qt::Key_Left)},
        &TMKMainWindow::jumpBackwardRequested);
    add("frameForwardAction", "shortcut.frame_forward", {QKeySequence(Qt::Key_Period)},
        &TMKMainWindow::frameForwardRequested);
    add("frameBackwardAction", "shortcut.frame_backward", {QKeySequence(Qt::Key_Comma)},
        &TMKMainWindow::frameBackwardRequested);
    add("nextMarkerAction", "shortcut.next_marker", {QKeySequence(Qt::Key_N)}, &TMKMainWindow::nextMarkerRequested);
    add("previousMarkerAction", "shortcut.previous_marker", {QKeySequence(Qt::Key_P)},
        &TMKMainWindow::previousMarkerRequested);
    add("increaseSpeedAction", "shortcut.speed_up",
        {QKeySequence(Qt::Key_BracketRight), QKeySequence(Qt::CTRL | Qt::Key_Period)},
        &TMKMainWindow::increaseSpeedRequested);
    add("decreaseSpeedAction", "shortcut.speed_down", {QKeySequence(Qt::Key_BracketLeft)},
        &TMKMainWindow::decreaseSpeedRequested);
    add("resetSpeedAction", "shortcut.speed_reset", {QKeySequence(Qt::Key_Backspace)},
        &TMKMainWindow::resetSpeedRequested);
    add("sizeUpAction", "shortcut.size_up", {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        &TMKMainWindow::sizeUpRequested);
    add("sizeDownAction", "shortcut.size_down", {QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        &TMKMainWindow::sizeDownRequested);
    add("fullScreenAction", "shortcut.full_screen",
        {QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_F11), QKeySequence(QKeySequence::FullScreen)},
        &TMKMainWindow::fullScreenRequested);
    add("swapAction", "shortcut.swap", {QKeySequence(Qt::Key_S)}, &TMKMainWindow::swapRequested);
    add("volumeUpAction", "shortcut.volume_up", {QKeySequence(Qt::Key_Up)}, &TMKMainWindow::volumeUpRequested);
    add("volumeDownAction", "shortcut.volume_down", {QKeySequence(Qt::Key_Down)}, &TMKMainWindow::volumeDownRequested);
    add("muteAction", "shortcut.mute", {QKeySequence(Qt::Key_M)}, &TMKMainWindow::muteRequested);
    add("captureAction", "shortcut.capture", {QKeySequence(Qt::CTRL | Qt::Key_S)}, &TMKMainWindow::captureRequested);
    add("printAction", "shortcut.print", {QKeySequence(QKeySequence::Print)}, &TMKMainWindow::printRequested);
    add("exportTrackAction", "main.export_track", {QKeySequence(Qt::CTRL | Qt::Key_E)},
        &TMKMainWindow::exportTrackRequested);
    add("openFolderAction", "shortcut.open_folder", {QKeySequence(QKeySequence::Open)},
        &TMKMainWindow::openFolderRequested);
    add("listViewAction", "shortcut.list", {QKeySequence(Qt::CTRL | Qt::Key_1)}, &TMKMainWindow::listViewRequested);
    add("mapViewAction", "shortcut.map", {QKeySequence(Qt::CTRL | Qt::Key_2)}, &TMKMainWindow::mapViewRequested);
    add("settingsAction", "shortcut.settings", {QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        &TMKMainWindow::settingsRequested);
    add("timeSetupAction", "shortcut.time_setup", {QKeySequence(Qt::CTRL | Qt::Key_T)},
        &TMKMainWindow::timeSetupRequested);
    add("shortcutHelpAction", "shortcut.help", {QKeySequence(Qt::Key_Question), QKeySequence(Qt::Key_F1)},
        [this] { setShortcutOverlayShown(!isShortcutOverlayShown()); });
    // One meaning, backing out: the overlay first, then full screen.
    add("leaveFullScreenAction", "shortcut.escape", {QKeySequence(Qt::Key_Escape)}, [this] {
        if (isShortcutOverlayShown())
            setShortcutOverlayShown(false);
        else if (isFullScreen())
            emit fullScreenRequested();
    });
    // The desktop's own quit key is empty where no desktop theme names one.
    add("quitAction", "shortcut.quit", {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(QKeySequence::Quit)},
        [this] { close(); });
}

QList<TMKShortcutOverlay::Row> TMKMainWindow::shortcutRows() const
{
    QList<TMKShortcutOverlay::Row> rows;
    for (const QAction* action : actions()) {
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        if (!keys.isEmpty())
            rows.push_back({keys.join(QStringLiteral(", ")), action->text()});
    }
    return rows;
}

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

    layOutPlaybackMessage();
    m_playbackMessageLabel->raise();

    m_tableView->setGeometry(QRect(QPoint(0, 0), l.mediaListBox.size()));
    layOutMapContainer();
    if (m_shortcutOverlay)
        m_shortcutOverlay->setGeometry(QRect(QPoint(0, 0), m_backgroundBox->size()));

    m_recordButton->setGeometry(l.sideButtons.list);
    m_informationButton->setGeometry(l.sideButtons.map);

    m_openButton->setGeometry(l.head.openButton);
    m_folderLabel->setGeometry(l.head.folderLabel);
    m_messageLabel->setGeometry(l.head.messageLabel);
    setMessage(m_messageText);
    m_progressIndicator->setGeometry(l.head.progress);
    m_settingsButton->setGeometry(l.head.settingsButton);
    m_timeSetupButton->setGeometry(l.head.timeSetupButton);

    const TMKWindowLayout::Controls& c = l.controls;
    m_videoPositionSlider->setGeometry(c.positionSlider);
    m_timeLabel->setGeometry(c.timeLabel);
    m_jumpBackwardButton->setGeometry(c.jumpBackward);
    m_playButton->setGeometry(c.play);
    m_jumpForwardButton->setGeometry(c.jumpForward);
    m_speedTextButton->setGeometry(c.speed);
    m_sizeTextButton->setGeometry(c.size);
    m_swapButton->setGeometry(c.swap);
    m_captureButton->setGeometry(c.capture);
    m_printButton->setGeometry(c.print);
    m_fullScreenButton->setGeometry(c.fullScreen);
    m_volumeSlider->setGeometry(c.volume);
    m_audioToggleButton->setGeometry(c.audioToggle);

    m_playButtonForFullScreen->setGeometry(l.fullScreenControls.play);
    m_videoPositionSliderForFullScreen->setGeometry(l.fullScreenControls.positionSlider);
    m_fullScreenButtonForFullScreen->setGeometry(l.fullScreenControls.fullScreen);

    m_graphView->setGeometry(l.gsensor.graph);
    m_xLabel->setGeometry(l.gsensor.x);
    m_yLabel->setGeometry(l.gsensor.y);
    m_zLabel->setGeometry(l.gsensor.z);
}

// The map fills the side panel above its readout strip; the list fills it
// alone. Skipped in full screen, where the panel is not shown.
void TMKMainWindow::layOutMapContainer()
{
    if (isFullScreen())
        return;
    const QSize box = m_mediaListBox->size();
    if (m_sideView == SideView::List) {
        m_tableView->setGeometry(QRect(QPoint(0, 0), box));
        return;
    }
    const TMKWindowLayout::MapPanel p = TMKWindowLayout::mapPanel(box);
    m_mapContainerView->setGeometry(QRect(QPoint(0, 0), box));
    m_mapContainerTopView->setGeometry(p.top);
    m_mapContainerBottomView->setGeometry(p.strip);
    if (m_mapView)
        m_mapView->setGeometry(QRect(QPoint(0, 0), p.top.size()));
    QLabel* const values[3] = {m_speedLabel, m_hdopLabel, m_satelliteLabel};
    for (int column = 0; column < 3; ++column) {
        m_fieldCaptions[column]->setGeometry(p.caption[column]);
        values[column]->setGeometry(p.value[column]);
    }
}

void TMKMainWindow::layOutPlaybackMessage()
{
    const int width = TMKWindowLayout::banner(m_videoBox->width(), 0).width();
    m_playbackMessageLabel->setGeometry(
        TMKWindowLayout::banner(m_videoBox->width(), m_playbackMessageLabel->heightForWidth(width)));
}

void TMKMainWindow::setListModel(QAbstractItemModel* model)
{
    m_tableView->setModel(model);
    for (int column = 0; column < static_cast<int>(std::size(kListColumnWidths)); ++column)
        m_tableView->setColumnWidth(column, kListColumnWidths[column]);
    m_tableView->setIconSize(kListIconSize);
    // A long name keeps its end (camera and extension) in view.
    m_tableView->setTextElideMode(Qt::ElideLeft);
    m_tableView->horizontalHeader()->setStretchLastSection(true);
}

void TMKMainWindow::selectRow(int row)
{
    if (!m_tableView->model() || !m_tableView->selectionModel())
        return;
    const QModelIndex index = m_tableView->model()->index(row, 0);
    m_tableView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_tableView->scrollTo(index);
}

int TMKMainWindow::currentRow() const
{
    return m_tableView->currentIndex().row();
}

void TMKMainWindow::setFolder(const QString& path)
{
    m_openFolderHint->hide();
    // As the user would write it: "a/b/../c" is "a/c".
    const QString clean = QDir::cleanPath(path);
    m_folderLabel->setText(QDir::toNativeSeparators(clean));
    m_folderLabel->setToolTip(clean);
}

// Long paths are cut in the middle to the room the head bar gives, so the
// file name stays; the whole text is the tooltip.
void TMKMainWindow::setMessage(const QString& text)
{
    m_messageText = text;
    m_messageLabel->setToolTip(text);
    m_messageLabel->setText(m_messageLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, m_messageLabel->width()));
}

void TMKMainWindow::setPlaying(bool playing)
{
    const QString image = playing ? QStringLiteral("icon_pause") : QStringLiteral("icon_play");
    for (TMKImageButton* button : {m_playButton, m_playButtonForFullScreen}) {
        button->setImage(image);
        button->setToolTip(TMKLocalizedString(playing ? "main.pause" : "main.play"));
    }
}

void TMKMainWindow::setSpeed(double speed)
{
    m_speedTextButton->setText(QString::asprintf("%.1fx", speed));
}

void TMKMainWindow::setScale(double scale)
{
    // Nothing shown has no scale: a dash, not "0.00x".
    m_sizeTextButton->setText(scale > 0 ? QString::asprintf("%.2fx", scale) : QStringLiteral("\u2013"));
    m_sizeTextButton->setToolTip(TMKLocalizedString("main.size_tip").arg(QString::asprintf("%.2f", scale)));
}

void TMKMainWindow::setTimeText(const QString& text)
{
    m_timeLabel->setText(text);
}

void TMKMainWindow::setPositionSlider(double position)
{
    m_sliderBeingSet = true;
    const int v = static_cast<int>(std::lround(std::clamp(position, 0.0, 1.0) * kSliderSteps));
    for (QSlider* slider : {m_videoPositionSlider, m_videoPositionSliderForFullScreen}) {
        if (!slider->isSliderDown())
            slider->setValue(v);
    }
    m_sliderBeingSet = false;
}

double TMKMainWindow::positionSliderValue() const
{
    return static_cast<double>(m_videoPositionSlider->value()) / kSliderSteps;
}

// Muted or at volume 0 the audio button shows a silenced speaker.
static void showSpeaker(TMKImageButton* button, const QSlider* volume)
{
    const bool silent = volume->property("muted").toBool() || volume->value() == 0;
    button->setImage(QLatin1String(silent ? "icon_volume_muted" : "icon_volume"));
}

void TMKMainWindow::setVolume(int volume)
{
    const QSignalBlocker block(m_volumeSlider);
    m_volumeSlider->setValue(volume);
    showSpeaker(m_audioToggleButton, m_volumeSlider);
}

int TMKMainWindow::volumeSliderValue() const
{
    return m_volumeSlider->value();
}

void TMKMainWindow::setAudioToggle(bool visible, bool rear)
{
    m_audioToggleButton->setChecked(rear);
    m_audioToggleButton->setHidden(!visible);
}

bool TMKMainWindow::audioToggleRear() const
{
    return m_audioToggleButton->isChecked();
}

bool TMKMainWindow::isAudioToggleVisible() const
{
    return !m_audioToggleButton->isHidden();
}

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
    showText(m_speedLabel, readout.speed);
    showText(m_hdopLabel, readout.hdop);
    showText(m_satelliteLabel, readout.satellites);
}

void TMKMainWindow::resetReadouts()
{
    m_xLabel->setText(QStringLiteral("X=+0.00"));
    m_yLabel->setText(QStringLiteral("Y=+0.00"));
    m_zLabel->setText(QStringLiteral("Z=+0.00"));
    m_speedLabel->clear();
    m_hdopLabel->clear();
    m_satelliteLabel->clear();
}

void TMKMainWindow::setGraphPosition(double seconds)
{
    m_graphView->updateTimePosition(seconds);
}

void TMKMainWindow::setSideView(SideView view)
{
    m_sideView = view;
    const bool list = view == SideView::List;
    m_recordButton->setImage(list ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png"));
    m_informationButton->setImage(list ? QStringLiteral("information_n.png") : QStringLiteral("information_p.png"));
    m_mapContainerView->setVisible(!list);
    m_tableView->setVisible(list);
    if (!list)
        m_mapContainerView->raise();
    layOutMapContainer();
}

void TMKMainWindow::setMapView(QWidget* view)
{
    m_mapView = view;
    view->setParent(m_mapContainerTopView);
    view->setGeometry(QRect(QPoint(0, 0), m_mapContainerTopView->size()));
    view->show();
}

// Both recordings of a pair may be damaged: each is told, one a line. The
// banner goes after a while or when another pair is asked for.
void TMKMainWindow::addPlaybackMessage(const QString& text)
{
    if (!m_playbackMessages.contains(text))
        m_playbackMessages << text;
    const QString shown = m_playbackMessages.join(QLatin1Char('\n'));
    m_playbackMessageLabel->setText(shown);
    m_playbackMessageLabel->setToolTip(shown);
    layOutPlaybackMessage();
    m_playbackMessageLabel->show();
    m_playbackMessageLabel->raise();
    m_playbackMessageTimer->start();
}

void TMKMainWindow::clearPlaybackMessages()
{
    m_playbackMessages.clear();
    m_playbackMessageTimer->stop();
    m_playbackMessageLabel->hide();
}

void TMKMainWindow::showLoading()
{
    m_progressIndicator->setRange(0, 0); // indeterminate
    m_progressIndicator->setValue(0);
    m_progressIndicator->show();
    m_progressIndicator->raise();
}

void TMKMainWindow::setLoadingProgress(double percent)
{
    m_progressIndicator->setValue(static_cast<int>(percent));
}

void TMKMainWindow::hideLoading()
{
    m_progressIndicator->setRange(0, 100);
    m_progressIndicator->setValue(0);
    m_progressIndicator->hide();
}

bool TMKMainWindow::isLoadingShown() const
{
    return m_progressIndicator->isVisible();
}

void TMKMainWindow::animateSwap(int durationMs)
{
    m_animatingSwap = true;
    m_video1View->setGeometry(m_videoContainerView->width(), m_videoContainerView->height(), 0, 0);
    m_video2View->setGeometry(0, 0, 0, 0);
    auto* group = new QParallelAnimationGroup(this);
    auto* a1 = new QPropertyAnimation(m_video1View, "geometry", group);
    a1->setDuration(durationMs);
    a1->setEasingCurve(QEasingCurve::OutCubic);
    a1->setEndValue(QRect(QPoint(0, 0), m_videoContainerView->size()));
    auto* a2 = new QPropertyAnimation(m_video2View, "geometry", group);
    a2->setDuration(durationMs);
    a2->setEasingCurve(QEasingCurve::OutCubic);
    a2->setEndValue(QRect(QPoint(0, 0), m_subVideoBox->size()));
    group->addAnimation(a1);
    group->addAnimation(a2);
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

QString TMKMainWindow::speedText() const
{
    return m_speedTextButton->text();
}

QString TMKMainWindow::sizeText() const
{
    return m_sizeTextButton->text();
}

QString TMKMainWindow::gsensorText() const
{
    return m_xLabel->text() + QLatin1Char(' ') + m_yLabel->text() + QLatin1Char(' ') + m_zLabel->text();
}

QString TMKMainWindow::speedFieldText() const
{
    return m_speedLabel->text();
}

QString TMKMainWindow::hdopFieldText() const
{
    return m_hdopLabel->text();
}

QString TMKMainWindow::satelliteFieldText() const
{
    return m_satelliteLabel->text();
}

void TMKMainWindow::setMuted(bool muted)
{
    m_volumeSlider->setProperty("muted", muted);
    showSpeaker(m_audioToggleButton, m_volumeSlider);
    m_volumeSlider->setToolTip(TMKLocalizedString(muted ? "main.muted" : "main.volume"));
    // The slider stays usable; greyed, it tells why nothing is heard.
    m_volumeSlider->setStyleSheet(muted ? QStringLiteral("QSlider::sub-page:horizontal { background: #5a5f66; }"
                                                         " QSlider::handle:horizontal { background: #8a9098;"
                                                         " width: 10px; border-radius: 5px; }")
                                        : QString());
}

void TMKMainWindow::setSliderMarkers(const QList<TMKMarkerSlider::Marker>& markers)
{
    m_videoPositionSlider->setMarkers(markers);
    m_videoPositionSliderForFullScreen->setMarkers(markers);
}

QList<TMKMarkerSlider::Marker> TMKMainWindow::sliderMarkers() const
{
    return m_videoPositionSlider->markers();
}
