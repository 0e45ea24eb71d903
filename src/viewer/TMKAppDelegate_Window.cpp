// Start-up, the window's regions and controls, the recording list, the side
// panel, full screen, preferences and shutdown.

#include "TMKAppDelegate.h"

#include "map/TMKMapView.h"
#include "telemetry/GraphView.h"

#include "TMKMainWindow.h"
#include "TMKMediaListModel.h"
#include "TMKMediaListTableView.h"
#include "TMKWindowLayout.h"
#include "player/TMKVideoView.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"

#include "widgets/TMKImageButton.h"
#include "widgets/TMKLogoView.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kSliderSteps = 10000;
const char* const kLastFolderKey = "viewer/lastFolder";
const char* const kGeometryKey = "viewer/geometry";

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

std::unique_ptr<QSettings> openSettings(const QString& path)
{
    if (path.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

} // namespace

TMKAppDelegate::TMKAppDelegate(Options options, QObject* parent) : QObject(parent), m_options(std::move(options))
{
    awakeFromNib();
}

TMKAppDelegate::~TMKAppDelegate()
{
    die();
    delete m_window;
}

void TMKAppDelegate::awakeFromNib()
{
    buildWindow();

    const PlayerFactory factory = m_options.playerFactory
        ? m_options.playerFactory
        : PlayerFactory([](TMKVideoView* view, QObject* parent) { return TMKCreateMediaPlayer(view, parent); });
    // One after the other: the main player is made first.
    auto player1 = factory(m_video1View, nullptr);
    auto player2 = factory(m_video2View, nullptr);
    m_session = std::make_unique<TMKPlaybackSession>(std::move(player1), std::move(player2), m_options.extractor,
                                                     &TMKTelemetryDisplay::trackPoints);
    if (!m_options.playerFactory)
        TMKTouchMediaLibrary();
    makeFrameCapture();

    m_listModel = new TMKMediaListModel(mediaList(), this);
    m_tableView->setModel(m_listModel);
    m_tableView->setColumnWidth(0, 72);
    m_tableView->setColumnWidth(1, 70);
    m_tableView->setColumnWidth(2, 56);
    m_tableView->setIconSize(QSize(14, 14));
    // A long name keeps its end (camera and extension) in view.
    m_tableView->setTextElideMode(Qt::ElideLeft);
    m_tableView->horizontalHeader()->setStretchLastSection(true);

    m_player1BackgroundView->setBackgroundImage(QStringLiteral("v1"));
    m_player2BackgroundView->setBackgroundImage(QStringLiteral("v2"));
    m_player1BackgroundView->setLogoImage(m_session->player1LogoName());
    m_player2BackgroundView->setLogoImage(m_session->player2LogoName());

    setupInitialValues();
}

void TMKAppDelegate::setupInitialValues()
{
    mediaList()->setDelegate(this);
    connectSession();

    m_rightViewMode = 0;
    updateSideViewButton();
    setVolume(70);
    playInfo()->setIsPlaying(false);
    m_video1View->hide();
    m_video2View->hide();
    onSpeedChanged(playInfo()->speed());
    onScaleChanged(playInfo()->scale());
    // The map page is loaded when the map is first shown (makeMapView).
    layoutWindow();
}

void TMKAppDelegate::buildWindow()
{
    m_window = new TMKMainWindow(this);
    m_window->setWindowTitle(QStringLiteral("Tamek Viewer"));
    m_window->setMinimumSize(TMKWindowLayout::kMinWindowSize);
    m_window->resize(TMKWindowLayout::kMinWindowSize);

    m_backgroundBox = makeBox(m_window, "backgroundBox");
    m_backgroundBox->setStyleSheet(QStringLiteral(
        "#backgroundBox { background: #23262b; } QLabel { color: #d8dce2; }"
        " QTableView { background: #1b1d21; color: #d8dce2; alternate-background-color: #202328;"
        " selection-background-color: #3d6fb6; gridline-color: #2c3036; }"
        " QHeaderView::section { background: #2c3036; color: #aab1ba; border: none; padding: 2px; }"
        " QPushButton { color: #d8dce2; background: #33373e; border: 1px solid #454a52; border-radius: 3px; padding: 2px 8px; }"
        " QPushButton:hover { background: #3d424a; }"));
    m_window->setCentralWidget(m_backgroundBox);

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

    // Videos: a logo view behind each, the video view on top.
    m_videoContainerView = makeBox(m_videoBox, "videoContainerView");
    m_player1BackgroundView = new TMKLogoView(m_videoContainerView);
    m_video1View = new TMKVideoView(m_videoContainerView);
    m_video1View->setObjectName(QStringLiteral("video1View"));
    m_player2BackgroundView = new TMKLogoView(m_subVideoBox);
    m_video2View = new TMKVideoView(m_subVideoBox);
    m_video2View->setObjectName(QStringLiteral("video2View"));

    // Head bar.
    auto* openButton = new QPushButton(TMKLocalizedString("main.open_folder"), m_headBox);
    openButton->setObjectName(QStringLiteral("openFolderButton"));
    openButton->setGeometry(10, 12, 120, 26);
    connect(openButton, &QPushButton::clicked, this, &TMKAppDelegate::openMediaDirectoryDialog);
    auto* settingsButton = new QPushButton(TMKLocalizedString("main.settings_button"), m_headBox);
    settingsButton->setObjectName(QStringLiteral("settingsButton"));
    settingsButton->setToolTip(TMKLocalizedString("main.settings"));
    connect(settingsButton, &QPushButton::clicked, this, &TMKAppDelegate::showSettingPanel);
    auto* timeSetupButton = new QPushButton(TMKLocalizedString("main.time_setup_button"), m_headBox);
    timeSetupButton->setObjectName(QStringLiteral("timeSetupButton"));
    timeSetupButton->setToolTip(TMKLocalizedString("main.time_setup"));
    connect(timeSetupButton, &QPushButton::clicked, this, &TMKAppDelegate::showTimeSetupPanel);
    m_folderLabel = makeLabel(m_headBox, QString(), "folderLabel");
    m_messageLabel = makeLabel(m_headBox, QString(), "messageLabel");
    m_messageLabel->setStyleSheet(QStringLiteral("color: #f0b45a;"));
    m_playbackMessageLabel = makeLabel(m_videoBox, QString(), "playbackMessageLabel");
    m_playbackMessageLabel->setWordWrap(true);
    m_playbackMessageLabel->setStyleSheet(
        QStringLiteral("#playbackMessageLabel { color: #ffd08a; background: rgba(20, 22, 26, 215);"
                       " border: 1px solid #f0b45a; border-radius: 4px; padding: 4px 8px; font-size: 13px; }"));
    m_playbackMessageLabel->hide();
    m_playbackMessageTimer = new QTimer(this);
    m_playbackMessageTimer->setSingleShot(true);
    m_playbackMessageTimer->setInterval(10000);
    connect(m_playbackMessageTimer, &QTimer::timeout, m_playbackMessageLabel, &QWidget::hide);
    m_progressIndicator = new QProgressBar(m_headBox);
    m_progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    m_progressIndicator->setTextVisible(false);
    m_progressIndicator->setGeometry(0, 20, 160, 10);
    m_progressIndicator->hide();

    // G-sensor region: the graph comes later; the readouts are here.
    m_xLabel = makeLabel(m_gsensorBox, QStringLiteral("X=+0.00"), "xLabel");
    m_yLabel = makeLabel(m_gsensorBox, QStringLiteral("Y=+0.00"), "yLabel");
    m_zLabel = makeLabel(m_gsensorBox, QStringLiteral("Z=+0.00"), "zLabel");
    m_graphView = new GraphView(m_gsensorBox);

    buildMediaControls(m_mediaControlBox, false);
    buildMediaControls(m_mediaControlBoxForFullScreen, true);

    // Side panel: list and map buttons, the list, the map container above it.
    m_recordButton = new TMKImageButton(QStringLiteral("record"), m_sideButtonBox);
    m_recordButton->setObjectName(QStringLiteral("recordButton"));
    m_recordButton->setToolTip(TMKLocalizedString("main.list"));
    connect(m_recordButton, &QAbstractButton::clicked, this, &TMKAppDelegate::clickMediaListViewButton);
    m_informationButton = new TMKImageButton(QStringLiteral("information"), m_sideButtonBox);
    m_informationButton->setObjectName(QStringLiteral("informationButton"));
    m_informationButton->setToolTip(TMKLocalizedString("main.map"));
    connect(m_informationButton, &QAbstractButton::clicked, this, &TMKAppDelegate::clickMapViewButton);

    auto* table = new TMKMediaListTableView(m_mediaListBox);
    m_tableView = table;
    m_tableView->setObjectName(QStringLiteral("mediaListTableView"));
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setAlternatingRowColors(true);
    m_tableView->setShowGrid(false);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(20);
    m_tableView->setAcceptDrops(false);
    m_tableView->setDragDropMode(QAbstractItemView::NoDragDrop);
    connect(table, &TMKMediaListTableView::rowChosen, this, [this] { changeAndPlay(); });
    // Until a folder is open the list is empty: say how to fill it.
    m_openFolderHint = makeLabel(m_tableView->viewport(), TMKLocalizedString("main.open_folder_hint"), "openFolderHint");
    m_openFolderHint->setAlignment(Qt::AlignCenter);
    m_openFolderHint->setWordWrap(true);
    m_openFolderHint->setStyleSheet(QStringLiteral("color: #8a9098; font-size: 13px;"));
    m_openFolderHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    (new QVBoxLayout(m_tableView->viewport()))->addWidget(m_openFolderHint);
    m_mapContainerView = makeBox(m_mediaListBox, "mapContainerView");
    m_mapContainerView->setStyleSheet(QStringLiteral("#mapContainerView { background: #2b2f35; }"));
    m_mapContainerTopView = makeBox(m_mapContainerView, "mapContainerTopView");
    m_mapContainerBottomView = makeBox(m_mapContainerView, "mapContainerBottomView");
    // Speed, HDOP and satellites under the map, each with its caption.
    const auto field = [this](const char* caption, const char* name, int column) {
        auto* title = makeLabel(m_mapContainerBottomView, TMKLocalizedString(caption), "");
        title->setStyleSheet(QStringLiteral("color: #8a9098; font-size: 11px;"));
        title->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        title->setProperty("column", column);
        title->setProperty("caption", true);
        auto* value = makeLabel(m_mapContainerBottomView, QString(), name);
        value->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold;"));
        value->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        value->setProperty("column", column);
        return value;
    };
    m_speedLabel = field("main.speed", "speedField", 0);
    m_hdopLabel = field("main.hdop", "hdopField", 1);
    m_satelliteLabel = field("main.satellites", "sateliteField", 2);

    installShortcuts();
}

void TMKAppDelegate::buildMediaControls(QWidget* box, bool fullScreen)
{
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setObjectName(fullScreen ? QStringLiteral("videoPositionSliderForFullScreen")
                                     : QStringLiteral("videoPositionSlider"));
    slider->setRange(0, kSliderSteps);
    slider->setFocusPolicy(Qt::NoFocus);
    // The slider writes the play position, then the seek follows, as soon as
    // the user lets go (or clicks a page step).
    const auto moved = [this, slider] {
        if (m_sliderBeingSet || slider->isSliderDown())
            return;
        m_session->setSliderPosition(static_cast<double>(slider->value()) / kSliderSteps);
        playInfo()->setPosition(static_cast<double>(slider->value()) / kSliderSteps);
        videoPositionSliderMoved();
    };
    connect(slider, &QSlider::sliderReleased, this, moved);
    connect(slider, &QSlider::valueChanged, this, moved);

    auto* play = new TMKImageButton(QStringLiteral("icon_play"), box);
    play->setObjectName(fullScreen ? QStringLiteral("playButtonForFullScreen") : QStringLiteral("playButton"));
    play->setToolTip(TMKLocalizedString("main.play"));
    connect(play, &QAbstractButton::clicked, this, &TMKAppDelegate::clickPlayButton);
    auto* fullScreenButton = new TMKImageButton(QStringLiteral("icon_fullscreen"), box);
    fullScreenButton->setToolTip(TMKLocalizedString("main.fullscreen"));
    connect(fullScreenButton, &QAbstractButton::clicked, this, &TMKAppDelegate::toggleFullScreen);

    if (fullScreen) {
        m_videoPositionSliderForFullScreen = slider;
        m_playButtonForFullScreen = play;
        play->setGeometry(8, 4, 28, 28);
        slider->setGeometry(44, 8, 100, 20);
        fullScreenButton->setObjectName(QStringLiteral("fullScreenButtonForFullScreen"));
        box->setStyleSheet(QStringLiteral("background: #1b1d21;"));
        return;
    }
    m_videoPositionSlider = slider;
    m_playButton = play;
    fullScreenButton->setObjectName(QStringLiteral("fullScreenButton"));

    // An image button of the control row, named for layout and tests.
    const auto imageButton = [this, box](const char* image, const char* name, const char* tipKey, auto slot) {
        auto* button = new TMKImageButton(QLatin1String(image), box);
        button->setObjectName(QLatin1String(name));
        button->setToolTip(TMKLocalizedString(tipKey));
        connect(button, &QAbstractButton::clicked, this, slot);
        return button;
    };
    imageButton("icon_rew", "jumpBackwardButton", "main.jump_backward", &TMKAppDelegate::jumpBackward);
    imageButton("icon_ff", "jumpForwardButton", "main.jump_forward", &TMKAppDelegate::jumpForward);

    auto* speed = new QPushButton(QStringLiteral("1.0x"), box);
    speed->setObjectName(QStringLiteral("speedTextButton"));
    speed->setToolTip(TMKLocalizedString("main.speed_up"));
    connect(speed, &QPushButton::clicked, this, [this] {
        if (playInfo()->speed() < 2.0)
            increaseSpeed();
        else
            decreaseSpeed();
    });
    m_speedTextButton = speed;
    auto* size = new QPushButton(QStringLiteral("0.00x"), box);
    size->setObjectName(QStringLiteral("sizeTextButton"));
    size->setToolTip(TMKLocalizedString("main.size_tip").arg(QStringLiteral("0.00")));
    connect(size, &QPushButton::clicked, this, &TMKAppDelegate::sizeUp);
    m_sizeTextButton = size;

    imageButton("icon_swap", "swapButton", "main.swap", &TMKAppDelegate::swapPlayer);
    imageButton("icon_capture", "captureButton", "main.capture", &TMKAppDelegate::captureVideo);
    imageButton("icon_print", "printButton", "main.print", &TMKAppDelegate::print);

    m_audioToggleButton = new TMKImageButton(QStringLiteral("icon_volume"), box);
    m_audioToggleButton->setObjectName(QStringLiteral("audioToggleButton"));
    m_audioToggleButton->setCheckable(true);
    m_audioToggleButton->setToolTip(TMKLocalizedString("main.audio_front") + QStringLiteral(" / ")
                                    + TMKLocalizedString("main.audio_rear"));
    connect(m_audioToggleButton, &QAbstractButton::clicked, this, &TMKAppDelegate::toggleAudioChoice);

    m_volumeSlider = new QSlider(Qt::Horizontal, box);
    m_volumeSlider->setObjectName(QStringLiteral("volumeSlider"));
    m_volumeSlider->setRange(0, 200);
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    m_volumeSlider->setToolTip(TMKLocalizedString("main.volume"));
    connect(m_volumeSlider, &QSlider::valueChanged, this, &TMKAppDelegate::volumeSliderMoved);

    m_timeLabel = makeLabel(box, QStringLiteral("00:00 / 00:00"), "timeLabel");
}

void TMKAppDelegate::installShortcuts()
{
    // Every key has one meaning: a key held by two actions is ambiguous and
    // fires neither, so each action is named and the table tested whole.
    const auto add = [this](const char* name, QList<QKeySequence> keys, auto slot) {
        QList<QKeySequence> unique;
        for (const QKeySequence& key : keys) {
            if (!key.isEmpty() && !unique.contains(key))
                unique << key;
        }
        auto* action = new QAction(m_window);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(unique);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        m_window->addAction(action);
    };
    add("playAction", {QKeySequence(Qt::Key_Space)}, &TMKAppDelegate::clickPlayButton);
    add("jumpForwardAction", {QKeySequence(Qt::Key_Right)}, &TMKAppDelegate::jumpForward);
    add("jumpBackwardAction", {QKeySequence(Qt::Key_Left)}, &TMKAppDelegate::jumpBackward);
    add("increaseSpeedAction", {QKeySequence(Qt::Key_BracketRight), QKeySequence(Qt::CTRL | Qt::Key_Period)},
        &TMKAppDelegate::increaseSpeed);
    add("decreaseSpeedAction", {QKeySequence(Qt::Key_BracketLeft)}, &TMKAppDelegate::decreaseSpeed);
    add("sizeUpAction", {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        &TMKAppDelegate::sizeUp);
    add("sizeDownAction", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &TMKAppDelegate::sizeDown);
    add("fullScreenAction", {QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_F11), QKeySequence(QKeySequence::FullScreen)},
        &TMKAppDelegate::toggleFullScreen);
    add("swapAction", {QKeySequence(Qt::Key_S)}, &TMKAppDelegate::swapPlayer);
    add("captureAction", {QKeySequence(Qt::CTRL | Qt::Key_S)}, &TMKAppDelegate::captureVideo);
    add("printAction", {QKeySequence(QKeySequence::Print)}, &TMKAppDelegate::print);
    add("settingsAction", {QKeySequence(Qt::CTRL | Qt::Key_Comma)}, &TMKAppDelegate::showSettingPanel);
    add("timeSetupAction", {QKeySequence(Qt::CTRL | Qt::Key_T)}, &TMKAppDelegate::showTimeSetupPanel);
    add("listViewAction", {QKeySequence(Qt::CTRL | Qt::Key_1)}, &TMKAppDelegate::clickMediaListViewButton);
    add("mapViewAction", {QKeySequence(Qt::CTRL | Qt::Key_2)}, &TMKAppDelegate::clickMapViewButton);
    add("volumeUpAction", {QKeySequence(Qt::Key_Up)}, &TMKAppDelegate::volumeUp);
    add("volumeDownAction", {QKeySequence(Qt::Key_Down)}, &TMKAppDelegate::volumeDown);
    add("openFolderAction", {QKeySequence(QKeySequence::Open)}, &TMKAppDelegate::openMediaDirectoryDialog);
    add("leaveFullScreenAction", {QKeySequence(Qt::Key_Escape)}, [this] {
        if (m_window && m_window->isFullScreen())
            toggleFullScreen();
    });
    // The desktop's own quit key is empty where no desktop theme names one.
    add("quitAction", {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(QKeySequence::Quit)}, [this] {
        if (m_window)
            m_window->close();
    });
}

void TMKAppDelegate::layoutWindow()
{
    if (!m_window || !m_backgroundBox)
        return;
    layoutBodyBox();
}

void TMKAppDelegate::layoutBodyBox()
{
    const bool fullScreen = m_window->isFullScreen();
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

    layoutPlaybackMessage();
    m_playbackMessageLabel->raise();

    const QRect list(QPoint(0, 0), l.mediaListBox.size());
    m_tableView->setGeometry(list);
    layoutMapContainer();

    const int half = l.sideButtonBox.width() / 2;
    m_recordButton->setGeometry(0, 0, half, l.sideButtonBox.height());
    m_informationButton->setGeometry(half, 0, l.sideButtonBox.width() - half, l.sideButtonBox.height());

    // Head bar.
    const int headW = l.headBox.width();
    m_folderLabel->setGeometry(140, 0, std::max(0, headW / 2 - 230), l.headBox.height());
    m_messageLabel->setGeometry(headW / 2 + 90, 0, std::max(0, headW / 2 - 396), l.headBox.height());
    m_progressIndicator->move((headW - m_progressIndicator->width()) / 2, m_progressIndicator->y());
    if (auto* settingsButton = m_headBox->findChild<QWidget*>(QStringLiteral("settingsButton")))
        settingsButton->setGeometry(headW - 10 - 150, 12, 150, 26);
    if (auto* timeSetupButton = m_headBox->findChild<QWidget*>(QStringLiteral("timeSetupButton")))
        timeSetupButton->setGeometry(headW - 10 - 150 - 6 - 130, 12, 130, 26);

    // Play controls: the position slider across, the buttons below.
    const int cw = l.mediaControlBox.width();
    m_videoPositionSlider->setGeometry(10, 6, std::max(0, cw - 130), 22);
    m_timeLabel->setGeometry(cw - 112, 6, 106, 22);
    m_timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    int x = 10;
    const int y = 34;
    const auto place = [&](QWidget* w, int width) {
        w->setGeometry(x, y, width, 30);
        x += width + 6;
    };
    place(m_mediaControlBox->findChild<QWidget*>(QStringLiteral("jumpBackwardButton")), 30);
    place(m_playButton, 30);
    place(m_mediaControlBox->findChild<QWidget*>(QStringLiteral("jumpForwardButton")), 30);
    x += 10;
    place(m_speedTextButton, 52);
    place(m_sizeTextButton, 56);
    place(m_mediaControlBox->findChild<QWidget*>(QStringLiteral("swapButton")), 30);
    x += 10;
    place(m_mediaControlBox->findChild<QWidget*>(QStringLiteral("captureButton")), 30);
    place(m_mediaControlBox->findChild<QWidget*>(QStringLiteral("printButton")), 30);
    x = cw - 10 - 30;
    m_mediaControlBox->findChild<QWidget*>(QStringLiteral("fullScreenButton"))->setGeometry(x, y, 30, 30);
    m_volumeSlider->setGeometry(x - 10 - 100, y + 4, 100, 22);
    m_audioToggleButton->setGeometry(x - 10 - 100 - 6 - 30, y, 30, 30);

    const int fw = l.mediaControlBoxForFullScreen.width();
    m_videoPositionSliderForFullScreen->setGeometry(44, 8, std::max(0, fw - 44 - 48), 20);
    if (auto* b = m_mediaControlBoxForFullScreen->findChild<QWidget*>(QStringLiteral("fullScreenButtonForFullScreen")))
        b->setGeometry(fw - 36, 4, 28, 28);

    // Readouts at the right of the G-sensor region; the graph takes the rest.
    const int gx = l.gsensorBox.width() - 100;
    m_graphView->setGeometry(0, 0, std::max(0, gx - 4), l.gsensorBox.height());
    const int gy = (l.gsensorBox.height() - 3 * 24) / 2;
    m_xLabel->setGeometry(gx, gy, 96, 22);
    m_yLabel->setGeometry(gx, gy + 24, 96, 22);
    m_zLabel->setGeometry(gx, gy + 48, 96, 22);
}

// The map fills the side panel above a 57-high strip of readouts; the list
// fills it alone. Skipped in full screen, where the panel is not shown.
void TMKAppDelegate::layoutMapContainer()
{
    if (!m_window || m_window->isFullScreen() || !m_mapContainerView)
        return;
    const QSize box = m_mediaListBox->size();
    if (m_rightViewMode != 0) {
        m_mapContainerView->setGeometry(QRect(QPoint(0, 0), box));
        const int bottom = 57;
        m_mapContainerTopView->setGeometry(0, 0, box.width(), std::max(0, box.height() - bottom));
        m_mapContainerBottomView->setGeometry(0, std::max(0, box.height() - bottom), box.width(), bottom);
        if (m_mapWebView)
            m_mapWebView->setGeometry(QRect(QPoint(0, 0), m_mapContainerTopView->size()));
        const int third = box.width() / 3;
        for (QLabel* label : m_mapContainerBottomView->findChildren<QLabel*>()) {
            const int column = label->property("column").toInt();
            const bool caption = label->property("caption").toBool();
            label->setGeometry(column * third, caption ? 4 : 26, third, caption ? 20 : 26);
        }
    } else {
        m_tableView->setGeometry(QRect(QPoint(0, 0), box));
    }
}

// The web engine costs about 80 MiB and its own processes: it starts the
// first time the map is shown, not with the window. What the page was sent
// meanwhile waits in m_pendingMapScripts and goes to the new view, which
// holds it until the page has loaded.
void TMKAppDelegate::makeMapView()
{
    if (m_mapWebView)
        return;
    m_mapWebView = new TMKMapView(m_mapContainerTopView);
    m_mapWebView->setObjectName(QStringLiteral("mapWebView"));
    connect(m_mapWebView, &TMKMapView::tripPointClicked, m_session.get(), &TMKPlaybackSession::playRecordingAt);
    m_mapWebView->loadPage();
    for (const QString& script : m_pendingMapScripts.take())
        m_mapWebView->evaluateWebScript(script);
    m_mapWebView->show();
}

void TMKAppDelegate::updateSideViewButton()
{
    const bool list = m_rightViewMode == 0;
    if (!list)
        makeMapView();
    m_recordButton->setImage(list ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png"));
    m_informationButton->setImage(list ? QStringLiteral("information_n.png") : QStringLiteral("information_p.png"));
    m_mapContainerView->setVisible(!list);
    m_tableView->setVisible(list);
    if (!list)
        m_mapContainerView->raise();
    layoutMapContainer();
}

void TMKAppDelegate::clickMediaListViewButton()
{
    if (m_rightViewMode == 0)
        return;
    m_rightViewMode = 0;
    updateSideViewButton();
}

void TMKAppDelegate::clickMapViewButton()
{
    if (m_rightViewMode == 1)
        return;
    m_rightViewMode = 1;
    updateSideViewButton();
}

void TMKAppDelegate::toggleFullScreen()
{
    if (!m_window)
        return;
    if (m_window->isFullScreen())
        m_window->showNormal();
    else
        m_window->showFullScreen();
}

void TMKAppDelegate::showSettingPanel()
{
    // An open settings window holds the user's unsaved edits: bring it to
    // the front rather than replace it.
    if (auto* open = qobject_cast<TMKSettingController*>(m_lastDialogController.get()); open && open->isVisible()) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    // Otherwise a new window, reading the card afresh; the one before goes.
    auto controller = std::make_unique<TMKSettingController>();
    controller->show();
    controller->raise();
    m_lastDialogController = std::move(controller);
}

void TMKAppDelegate::showTimeSetupPanel()
{
    auto controller = std::make_unique<TMKTimeSetupController>();
    controller->show();
    controller->raise();
    m_lastDialogController = std::move(controller);
}

void TMKAppDelegate::contentResized()
{
    if (m_videoContainerView)
        m_session->setVideoAreaHeight(m_videoContainerView->height());
    updatePlayInfoScale();
}

void TMKAppDelegate::openMediaDirectoryDialog()
{
    const auto directory = mediaList()->directoryPath();
    const QString start = directory ? QString::fromStdString(*directory)
                                                       : QDir::homePath();
    const QString title = TMKLocalizedString("main.choose_folder");
    const QString folder = m_options.folderChooser
        ? m_options.folderChooser(m_window, title, start)
        : QFileDialog::getExistingDirectory(m_window, title, start, QFileDialog::ShowDirsOnly);
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
    m_openFolderHint->hide();
    m_folderLabel->setText(QDir::toNativeSeparators(path));
    m_folderLabel->setToolTip(path);
    mediaList()->setDirectoryPath(QDir(path).absolutePath().toStdString());
    if (m_options.restoreState)
        openSettings(m_options.settingsPath)->setValue(QLatin1String(kLastFolderKey), path);
}

void TMKAppDelegate::mediaListChanged(TMKMediaList* list)
{
    Q_UNUSED(list);
    // Called on the scan's worker: the window is touched on the main thread.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rightViewMode = 0;
            updateSideViewButton();
            m_listModel->reload();
            m_messageLabel->setText(mediaList()->count() == 0 ? TMKLocalizedString("main.no_recordings") : QString());
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
    layoutWindow();

    const QString start = startFolder(folder);
    if (!start.isEmpty())
        openMediaDirectory(start);
}

void TMKAppDelegate::logSupportedLanguages()
{
    auto settings = openSettings(m_options.settingsPath);
    QStringList languages = settings->value(QStringLiteral("AppleLanguages")).toStringList();
    if (languages.isEmpty())
        languages = QLocale::system().uiLanguages();
    for (const QString& language : languages)
        qInfo().noquote() << QStringLiteral("SUPPORT_LANGUAGE=%1").arg(language);
    settings->setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("en")});
}

void TMKAppDelegate::restoreWindowState()
{
    const QByteArray geometry = openSettings(m_options.settingsPath)->value(QLatin1String(kGeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        m_window->restoreGeometry(geometry);
}

QString TMKAppDelegate::startFolder(const QString& requested) const
{
    if (!requested.isEmpty())
        return requested;
    if (m_options.restoreState) {
        const QString last = openSettings(m_options.settingsPath)->value(QLatin1String(kLastFolderKey)).toString();
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
    if (m_options.restoreState && m_window)
        openSettings(m_options.settingsPath)->setValue(QLatin1String(kGeometryKey), m_window->saveGeometry());
    stopPlay();
}

void TMKAppDelegate::die()
{
    if (m_dead)
        return;
    m_dead = true;
    m_session->die();
}

// Observers of the playback state.
void TMKAppDelegate::onSpeedChanged(double speed)
{
    if (m_speedTextButton)
        m_speedTextButton->setText(QString::asprintf("%.1fx", speed));
}

void TMKAppDelegate::onScaleChanged(double scale)
{
    if (m_sizeTextButton) {
        m_sizeTextButton->setText(QString::asprintf("%.2fx", scale));
        m_sizeTextButton->setToolTip(TMKLocalizedString("main.size_tip").arg(QString::asprintf("%.2f", scale)));
    }
}

void TMKAppDelegate::onIsPlayingChanged(bool playing)
{
    const QString image = playing ? QStringLiteral("icon_pause") : QStringLiteral("icon_play");
    for (TMKImageButton* button : {m_playButton, m_playButtonForFullScreen}) {
        if (button) {
            button->setImage(image);
            button->setToolTip(TMKLocalizedString(playing ? "main.pause" : "main.play"));
        }
    }
}

void TMKAppDelegate::onPositionChanged(double position)
{
    setPositionSliderValueSilently(position >= 1.0 ? 1.0 : position);
    updateGsensorUIByPlayPositon();
    updateGpsUIByPlayPosition();
    const TMKMediaPlayer* player = player1();
    if (m_timeLabel) {
        const auto length = player && player->media() ? player->mediaLength() : 0;
        m_timeLabel->setText(TMKMediaPlayer::timeString(static_cast<int64_t>(position * static_cast<double>(length)))
                             + QStringLiteral(" / ") + TMKMediaPlayer::timeString(length));
    }
}

void TMKAppDelegate::setPositionSliderValueSilently(double value)
{
    m_sliderBeingSet = true;
    const int v = static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * kSliderSteps));
    for (QSlider* slider : {m_videoPositionSlider, m_videoPositionSliderForFullScreen}) {
        if (slider && !slider->isSliderDown())
            slider->setValue(v);
    }
    m_sliderBeingSet = false;
    if (m_session)
        m_session->setSliderPosition(positionSliderValue());
}

double TMKAppDelegate::positionSliderValue() const
{
    return m_videoPositionSlider ? static_cast<double>(m_videoPositionSlider->value()) / kSliderSteps : 0.0;
}

void TMKAppDelegate::setPositionSliderValue(double value)
{
    setPositionSliderValueSilently(value);
    playInfo()->setPosition(positionSliderValue());
    videoPositionSliderMoved();
}

QString TMKAppDelegate::speedText() const
{
    return m_speedTextButton ? m_speedTextButton->text() : QString();
}

QString TMKAppDelegate::sizeText() const
{
    return m_sizeTextButton ? m_sizeTextButton->text() : QString();
}

int TMKAppDelegate::audioToggleState() const
{
    return m_audioToggleButton && m_audioToggleButton->isChecked() ? 1 : 0;
}

bool TMKAppDelegate::isAudioToggleVisible() const
{
    return m_audioToggleButton && !m_audioToggleButton->isHidden();
}

QString TMKAppDelegate::gsensorText() const
{
    return m_xLabel ? m_xLabel->text() + QLatin1Char(' ') + m_yLabel->text() + QLatin1Char(' ') + m_zLabel->text()
                    : QString();
}
