#include "viewer/window/TMKControlBar.h"

#include "strings/TMKStrings.h"
#include "widgets/TMKImageButton.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

#include <algorithm>
#include <cmath>

TMKControlBar::TMKControlBar(QWidget* box, QWidget* fullScreenBox, QObject* parent) : QObject(parent)
{
    buildRow(box);
    buildFullScreenRow(fullScreenBox);
    setPlaying(false);
}

TMKImageButton* TMKControlBar::addButton(QWidget* box, const char* image, const char* name, const char* tipKey)
{
    auto* button = new TMKImageButton(QLatin1String(image), box);
    button->setObjectName(QLatin1String(name));
    if (tipKey)
        button->setToolTip(TMKLocalizedString(tipKey));
    return button;
}

// The slider tells a position as soon as the user lets go (or clicks a
// page step), not while it is dragged or set from the play position.
TMKMarkerSlider* TMKControlBar::addPositionSlider(QWidget* box, const char* name)
{
    auto* slider = new TMKMarkerSlider(Qt::Horizontal, box);
    slider->setObjectName(QLatin1String(name));
    slider->setRange(0, kSliderSteps);
    slider->setFocusPolicy(Qt::NoFocus);
    const auto moved = [this, slider] {
        if (m_sliderBeingSet || slider->isSliderDown())
            return;
        emit positionMoved(static_cast<double>(slider->value()) / kSliderSteps);
    };
    connect(slider, &QSlider::sliderReleased, this, moved);
    connect(slider, &QSlider::valueChanged, this, moved);
    return slider;
}

void TMKControlBar::buildRow(QWidget* box)
{
    m_positionSlider = addPositionSlider(box, "videoPositionSlider");
    m_playButton = addButton(box, "icon_play", "playButton", "main.play");
    connect(m_playButton, &QAbstractButton::clicked, this, &TMKControlBar::playClicked);
    m_fullScreenButton = addButton(box, "icon_fullscreen", "fullScreenButton", "main.fullscreen");
    connect(m_fullScreenButton, &QAbstractButton::clicked, this, &TMKControlBar::fullScreenRequested);
    m_jumpBackwardButton = addButton(box, "icon_rew", "jumpBackwardButton", "main.jump_backward");
    connect(m_jumpBackwardButton, &QAbstractButton::clicked, this, &TMKControlBar::jumpBackwardRequested);
    m_jumpForwardButton = addButton(box, "icon_ff", "jumpForwardButton", "main.jump_forward");
    connect(m_jumpForwardButton, &QAbstractButton::clicked, this, &TMKControlBar::jumpForwardRequested);

    auto* speed = new QPushButton(QStringLiteral("1.0x"), box);
    speed->setObjectName(QStringLiteral("speedTextButton"));
    speed->setToolTip(TMKLocalizedString("main.speed_up"));
    connect(speed, &QPushButton::clicked, this, &TMKControlBar::speedClicked);
    m_speedTextButton = speed;
    auto* size = new QPushButton(QStringLiteral("\u2013"), box);
    size->setObjectName(QStringLiteral("sizeTextButton"));
    size->setToolTip(TMKLocalizedString("main.size_tip").arg(QStringLiteral("0.00")));
    connect(size, &QPushButton::clicked, this, &TMKControlBar::sizeUpRequested);
    m_sizeTextButton = size;

    m_swapButton = addButton(box, "icon_swap", "swapButton", "main.swap");
    connect(m_swapButton, &QAbstractButton::clicked, this, &TMKControlBar::swapRequested);
    m_captureButton = addButton(box, "icon_capture", "captureButton", "main.capture");
    connect(m_captureButton, &QAbstractButton::clicked, this, &TMKControlBar::captureRequested);
    m_printButton = addButton(box, "icon_print", "printButton", "main.print");
    connect(m_printButton, &QAbstractButton::clicked, this, &TMKControlBar::printRequested);

    m_audioToggleButton = addButton(box, "icon_volume", "audioToggleButton", nullptr);
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
    connect(m_volumeSlider, &QSlider::valueChanged, this, &TMKControlBar::volumeMoved);

    m_timeLabel = new QLabel(QStringLiteral("00:00 / 00:00"), box);
    m_timeLabel->setObjectName(QStringLiteral("timeLabel"));
    m_timeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void TMKControlBar::buildFullScreenRow(QWidget* box)
{
    m_positionSliderForFullScreen = addPositionSlider(box, "videoPositionSliderForFullScreen");
    m_playButtonForFullScreen = addButton(box, "icon_play", "playButtonForFullScreen", "main.play");
    connect(m_playButtonForFullScreen, &QAbstractButton::clicked, this, &TMKControlBar::playClicked);
    m_fullScreenButtonForFullScreen
        = addButton(box, "icon_fullscreen", "fullScreenButtonForFullScreen", "main.fullscreen");
    connect(m_fullScreenButtonForFullScreen, &QAbstractButton::clicked, this, &TMKControlBar::fullScreenRequested);
}

void TMKControlBar::layOut(const TMKWindowLayout& layout)
{
    const TMKWindowLayout::Controls& c = layout.controls;
    m_positionSlider->setGeometry(c.positionSlider);
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

    const TMKWindowLayout::FullScreenControls& f = layout.fullScreenControls;
    m_playButtonForFullScreen->setGeometry(f.play);
    m_positionSliderForFullScreen->setGeometry(f.positionSlider);
    m_fullScreenButtonForFullScreen->setGeometry(f.fullScreen);
}

void TMKControlBar::setPlaying(bool playing)
{
    const QString image = playing ? QStringLiteral("icon_pause") : QStringLiteral("icon_play");
    for (TMKImageButton* button : {m_playButton, m_playButtonForFullScreen}) {
        button->setImage(image);
        button->setToolTip(TMKLocalizedString(playing ? "main.pause" : "main.play"));
    }
}

void TMKControlBar::setSpeed(double speed)
{
    m_speedTextButton->setText(QString::asprintf("%.1fx", speed));
}

void TMKControlBar::setScale(double scale)
{
    // Nothing shown has no scale: a dash, not "0.00x".
    m_sizeTextButton->setText(scale > 0 ? QString::asprintf("%.2fx", scale) : QStringLiteral("\u2013"));
    m_sizeTextButton->setToolTip(TMKLocalizedString("main.size_tip").arg(QString::asprintf("%.2f", scale)));
}

void TMKControlBar::setTimeText(const QString& text)
{
    m_timeLabel->setText(text);
}

void TMKControlBar::setPosition(double position)
{
    m_sliderBeingSet = true;
    const int v = static_cast<int>(std::lround(std::clamp(position, 0.0, 1.0) * kSliderSteps));
    for (QSlider* slider : {static_cast<QSlider*>(m_positionSlider), static_cast<QSlider*>(m_positionSliderForFullScreen)}) {
        if (!slider->isSliderDown())
            slider->setValue(v);
    }
    m_sliderBeingSet = false;
}

double TMKControlBar::position() const
{
    return static_cast<double>(m_positionSlider->value()) / kSliderSteps;
}

// Muted or at volume 0 the audio button shows a silenced speaker.
void TMKControlBar::showSpeaker()
{
    const bool silent = m_volumeSlider->property("muted").toBool() || m_volumeSlider->value() == 0;
    m_audioToggleButton->setImage(QLatin1String(silent ? "icon_volume_muted" : "icon_volume"));
}

void TMKControlBar::setVolume(int volume)
{
    const QSignalBlocker block(m_volumeSlider);
    m_volumeSlider->setValue(volume);
    showSpeaker();
}

int TMKControlBar::volume() const
{
    return m_volumeSlider->value();
}

// The slider stays usable; greyed (by the style's rule on "muted"), it
// tells why nothing is heard.
void TMKControlBar::setMuted(bool muted)
{
    m_volumeSlider->setProperty("muted", muted);
    m_volumeSlider->setToolTip(TMKLocalizedString(muted ? "main.muted" : "main.volume"));
    m_volumeSlider->style()->unpolish(m_volumeSlider);
    m_volumeSlider->style()->polish(m_volumeSlider);
    m_volumeSlider->update();
    showSpeaker();
}

void TMKControlBar::setAudioToggle(bool visible, bool rear)
{
    m_audioToggleButton->setChecked(rear);
    m_audioToggleButton->setHidden(!visible);
}

bool TMKControlBar::audioToggleRear() const
{
    return m_audioToggleButton->isChecked();
}

bool TMKControlBar::isAudioToggleVisible() const
{
    return !m_audioToggleButton->isHidden();
}

void TMKControlBar::setMarkers(const QList<TMKMarkerSlider::Marker>& markers)
{
    m_positionSlider->setMarkers(markers);
    m_positionSliderForFullScreen->setMarkers(markers);
}

void TMKControlBar::setSpan(std::optional<TMKMarkerSlider::Span> span)
{
    m_positionSlider->setSpan(span);
    m_positionSliderForFullScreen->setSpan(span);
}

void TMKControlBar::setSliderMenu(const QList<QAction*>& actions)
{
    for (TMKMarkerSlider* slider : {m_positionSlider, m_positionSliderForFullScreen}) {
        slider->addActions(actions);
        slider->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

QList<TMKMarkerSlider::Marker> TMKControlBar::markers() const
{
    return m_positionSlider->markers();
}

QString TMKControlBar::speedText() const
{
    return m_speedTextButton->text();
}

QString TMKControlBar::sizeText() const
{
    return m_sizeTextButton->text();
}
