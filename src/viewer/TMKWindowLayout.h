#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

// Rectangles of the main window's regions, each relative to its parent
// region, for the windowed and the full-screen layout. Kept apart from the
// widgets so the geometry is tested with exact values.
struct TMKWindowLayout {
    static constexpr int kHeadHeight = 50;
    static constexpr int kSidePanelWidth = 334;
    static constexpr int kGSensorHeight = 130;
    static constexpr int kMediaControlHeight = 72;
    static constexpr int kMediaControlFullScreenHeight = 36;
    static constexpr int kSideButtonHeight = 32;
    static constexpr int kSubVideoHeight = 250;
    static constexpr QSize kMinWindowSize{1020, 640};

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

    [[nodiscard]] static TMKWindowLayout compute(QSize content, bool fullScreen);
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
};
