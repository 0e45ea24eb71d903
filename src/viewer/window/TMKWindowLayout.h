#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

// Rectangles of the main window's regions and of the controls in them, each
// relative to its parent region, for the windowed and the full-screen
// layout. Kept apart from the widgets so the geometry is tested with exact
// values. Pure computation: any thread.
struct TMKWindowLayout {
    static constexpr int kHeadHeight = 50;
    static constexpr int kSidePanelWidth = 334;
    static constexpr int kGSensorHeight = 130;
    static constexpr int kMediaControlHeight = 72;
    static constexpr int kMediaControlFullScreenHeight = 36;
    static constexpr int kSideButtonHeight = 32;
    static constexpr int kSubVideoHeight = 250;
    static constexpr QSize kMinWindowSize{1020, 640};

    // The control row: the position slider across the top, a row of 30-square
    // buttons under it in groups, the sound controls at the right end.
    static constexpr int kMargin = 10;       // from the row's ends, between groups
    static constexpr int kButtonGap = 6;     // between buttons of a group
    static constexpr int kButtonSize = 30;
    static constexpr int kSliderTop = 6;
    static constexpr int kSliderHeight = 22;
    static constexpr int kTimeLabelWidth = 106;
    static constexpr int kButtonRowTop = 34;
    static constexpr int kSpeedButtonWidth = 52;
    static constexpr int kSizeButtonWidth = 56;
    static constexpr int kVolumeWidth = 100;
    static constexpr int kFullScreenButtonSize = 28;
    // The head bar's buttons and texts.
    static constexpr int kHeadButtonTop = 12;
    static constexpr int kHeadButtonHeight = 26;
    static constexpr int kOpenButtonWidth = 120;
    static constexpr int kSettingsButtonWidth = 150;
    static constexpr int kTimeSetupButtonWidth = 130;
    static constexpr QSize kProgressSize{160, 10};
    static constexpr int kProgressTop = 20;
    // The readouts at the right of the G-sensor region.
    static constexpr int kReadoutColumnWidth = 100;
    static constexpr int kReadoutWidth = 96;
    static constexpr int kReadoutHeight = 22;
    static constexpr int kReadoutPitch = 24;
    // The strip of speed, HDOP and satellites under the map.
    static constexpr int kMapStripHeight = 57;
    static constexpr int kMapCaptionTop = 4;
    static constexpr int kMapCaptionHeight = 20;
    static constexpr int kMapValueTop = 26;
    static constexpr int kMapValueHeight = 26;
    // The message banner over the video.
    static constexpr int kBannerInset = 8;
    static constexpr int kBannerMinHeight = 24;

    struct Head {
        QRect openButton, folderLabel, messageLabel, timeSetupButton, settingsButton, progress;
    };
    struct Controls {
        QRect positionSlider, timeLabel;
        QRect jumpBackward, play, jumpForward, speed, size, swap, capture, print;
        QRect audioToggle, volume, fullScreen;
    };
    struct FullScreenControls {
        QRect play, positionSlider, fullScreen;
    };
    struct GSensor {
        QRect graph, x, y, z;
    };
    struct SideButtons {
        QRect list, map;
    };
    struct MapPanel {
        QRect top, strip; // in the side panel's list box
        QRect caption[3], value[3]; // in the strip, by column
    };

    bool fullScreen = false;
    QRect headBox;       // in the content
    QRect bodyBox;       // in the content
    QRect bodyLeftBox;   // in bodyBox
    QRect bodyRightBox;  // in bodyBox; empty in full screen
    QRect videoBox;      // in bodyLeftBox
    QRect gsensorBox;    // in bodyLeftBox; empty in full screen
    QRect mediaControlBox;              // in bodyLeftBox; empty in full screen
    QRect mediaControlBoxForFullScreen; // in bodyLeftBox; empty when windowed
    QRect sideButtonBox; // in bodyRightBox
    QRect mediaListBox;  // in bodyRightBox
    QRect subVideoBox;   // in bodyRightBox
    Head head;                            // in headBox
    Controls controls;                    // in mediaControlBox
    FullScreenControls fullScreenControls; // in mediaControlBoxForFullScreen
    GSensor gsensor;                      // in gsensorBox
    SideButtons sideButtons;              // in sideButtonBox

    [[nodiscard]] static TMKWindowLayout compute(QSize content, bool fullScreen);
    // The map above its readout strip, filling the list box of `size`.
    [[nodiscard]] static MapPanel mapPanel(QSize size);
    // The banner across the top of a video of `videoWidth`, as high as its
    // text needs (`heightForWidth` of the banner's inner width).
    [[nodiscard]] static QRect banner(int videoWidth, int textHeight);
    // The window size after k size steps of a fifth of the minimum size,
    // never below the minimum.
    [[nodiscard]] static QSize steppedSize(QSize current, int steps);
    // The window's geometry after a size step of `step` (+1 larger, -1
    // smaller, 0 as it is) from `window` (its content rectangle), kept inside
    // `available` (the screen's visible area) with the window manager's
    // `decoration` around it. Nothing when a larger step finds the window
    // already at the visible area's size: that step goes full screen.
    [[nodiscard]] static std::optional<QRect> steppedGeometry(QRect window, QRect available, QMargins decoration,
                                                              int step);
    // The start frame: the minimum size centred in the visible area.
    [[nodiscard]] static QRect startFrame(QRect visibleArea);

private:
    void layOutControls();
};
