#pragma once

#include "viewer/window/TMKMarkerSlider.h"
#include "viewer/window/TMKWindowLayout.h"

#include <QList>
#include <QObject>

class QAbstractButton;
class QAction;
class QLabel;
class QSlider;
class QWidget;
class TMKImageButton;

// The play controls: the full row under the graph and the short row of full
// screen (play, position, full screen), each built into the window's box for
// it. The two rows show one state: what is set here goes to both. The user's
// clicks and moves come out as intents.
class TMKControlBar : public QObject {
    Q_OBJECT

public:
    // Steps of the position sliders from start to end.
    static constexpr int kSliderSteps = 10000;
    static constexpr int kVolumeMax = 200;

    TMKControlBar(QWidget* box, QWidget* fullScreenBox, QObject* parent);

    void layOut(const TMKWindowLayout& layout);

    void setPlaying(bool playing);
    void setSpeed(double speed);
    void setScale(double scale);
    void setTimeText(const QString& text);
    // Moves both sliders without telling positionMoved; a slider the user
    // holds stays where the user has it.
    void setPosition(double position);
    [[nodiscard]] double position() const;
    void setVolume(int volume); // without telling volumeMoved
    [[nodiscard]] int volume() const;
    void setMuted(bool muted);
    void setAudioToggle(bool visible, bool rear);
    [[nodiscard]] bool audioToggleRear() const;
    [[nodiscard]] bool isAudioToggleVisible() const;
    void setMarkers(const QList<TMKMarkerSlider::Marker>& markers);
    [[nodiscard]] QList<TMKMarkerSlider::Marker> markers() const;
    void setSpan(std::optional<TMKMarkerSlider::Span> span);
    // The menu of both position sliders: the clip's marks live there.
    void setSliderMenu(const QList<QAction*>& actions);
    [[nodiscard]] TMKMarkerSlider* positionSlider() const { return m_positionSlider; }
    [[nodiscard]] QString speedText() const;
    [[nodiscard]] QString sizeText() const;

signals:
    void playClicked();
    void jumpForwardRequested();
    void jumpBackwardRequested();
    void speedClicked();
    void sizeUpRequested();
    void swapRequested();
    void captureRequested();
    void printRequested();
    void fullScreenRequested();
    void audioToggled(bool rear);
    void volumeMoved(int volume);
    // The user let go of a position slider, or clicked a page step.
    void positionMoved(double position);

private:
    void buildRow(QWidget* box);
    void buildFullScreenRow(QWidget* box);
    TMKImageButton* addButton(QWidget* box, const char* image, const char* name, const char* tipKey);
    TMKMarkerSlider* addPositionSlider(QWidget* box, const char* name);
    void showSpeaker();

    TMKMarkerSlider* m_positionSlider = nullptr;
    QLabel* m_timeLabel = nullptr;
    TMKImageButton* m_jumpBackwardButton = nullptr;
    TMKImageButton* m_playButton = nullptr;
    TMKImageButton* m_jumpForwardButton = nullptr;
    QAbstractButton* m_speedTextButton = nullptr;
    QAbstractButton* m_sizeTextButton = nullptr;
    TMKImageButton* m_swapButton = nullptr;
    TMKImageButton* m_captureButton = nullptr;
    TMKImageButton* m_printButton = nullptr;
    TMKImageButton* m_audioToggleButton = nullptr;
    QSlider* m_volumeSlider = nullptr;
    TMKImageButton* m_fullScreenButton = nullptr;
    TMKImageButton* m_playButtonForFullScreen = nullptr;
    TMKMarkerSlider* m_positionSliderForFullScreen = nullptr;
    TMKImageButton* m_fullScreenButtonForFullScreen = nullptr;
    bool m_sliderBeingSet = false;
};
