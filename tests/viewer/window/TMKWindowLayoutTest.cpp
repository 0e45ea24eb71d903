#include "viewer/window/TMKWindowLayout.h"

#include <gtest/gtest.h>

#include <vector>

// On a 1280x800 screen with a 24-high title bar: each step grows the window
// inside the screen (moving it in where it would stick out), the last one
// up to the visible area; only the step after that goes full screen. A new
// window starts centred at the minimum size.
TEST(TMKWindowLayout, SizeStepsStayInsideTheScreenAndStartCentred)
{
    const QRect screen(0, 0, 1280, 800);
    const QMargins title(1, 24, 1, 1);
    const QRect start(130, 80, 1020, 640);
    const auto first = TMKWindowLayout::steppedGeometry(start, screen, title, 1);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, QRect(55, 31, 1224, 768));
    const auto second = TMKWindowLayout::steppedGeometry(*first, screen, title, 1);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*second, QRect(1, 24, 1278, 775));
    EXPECT_FALSE(TMKWindowLayout::steppedGeometry(*second, screen, title, 1).has_value());

    EXPECT_EQ(TMKWindowLayout::steppedGeometry(*second, screen, title, -1), QRect(1, 24, 1074, 647));
    EXPECT_EQ(TMKWindowLayout::steppedGeometry(start, screen, title, -1), start);
    EXPECT_EQ(TMKWindowLayout::steppedGeometry(*first, screen, title, 0), *first);
    // A screen smaller than the minimum window: the first step is full screen.
    EXPECT_FALSE(TMKWindowLayout::steppedGeometry(QRect(0, 0, 1020, 640), QRect(0, 0, 800, 600), {}, 1).has_value());
    // One dimension below the minimum resets both.
    EXPECT_EQ(TMKWindowLayout::steppedSize(QSize(2000, 700), -1), QSize(1020, 640));
    EXPECT_EQ(TMKWindowLayout::startFrame(QRect(0, 24, 1920, 1056)), QRect(450, 232, 1020, 640));
}

// At every width each region and each control stays inside its parent and
// clear of the others, so no button hides another or leaves the window; the
// left groups stay and the right end follows the width. Full screen drops
// the head and the side panel and gives the video the whole width.
TEST(TMKWindowLayout, EverythingStaysInsideItsRegionAndApart)
{
    const auto check = [](QRect region, const std::vector<QRect>& controls, const char* what, QSize content) {
        const QRect inside(QPoint(0, 0), region.size());
        for (size_t i = 0; i < controls.size(); ++i) {
            EXPECT_TRUE(inside.contains(controls[i])) << what << " control " << i << " at " << content.width();
            for (size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(controls[i].intersects(controls[j]))
                    << what << " " << i << "/" << j << " at " << content.width();
        }
    };
    for (const QSize content : {QSize(1020, 640), QSize(1221, 700), QSize(1920, 1080)}) {
        const auto l = TMKWindowLayout::compute(content, false);
        const auto& c = l.controls;
        const auto narrowest = TMKWindowLayout::compute(QSize(1020, 640), false).controls;
        const int extra = content.width() - 1020;
        EXPECT_EQ(c.print, narrowest.print);
        EXPECT_EQ(c.positionSlider.width(), narrowest.positionSlider.width() + extra);
        EXPECT_EQ(c.timeLabel, narrowest.timeLabel.translated(extra, 0));
        EXPECT_EQ(c.fullScreen, narrowest.fullScreen.translated(extra, 0));
        check(l.mediaControlBox, {c.positionSlider, c.timeLabel, c.jumpBackward, c.play, c.jumpForward, c.speed, c.size,
                                  c.swap, c.capture, c.print, c.audioToggle, c.volume, c.fullScreen}, "controls", content);
        check(QRect({0, 0}, content), {l.headBox, l.bodyBox}, "window", content);
        check(l.bodyBox, {l.bodyLeftBox, l.bodyRightBox}, "body", content);
        check(l.bodyLeftBox, {l.videoBox, l.gsensorBox, l.mediaControlBox}, "left column", content);
        check(l.bodyRightBox, {l.sideButtonBox, l.mediaListBox, l.subVideoBox}, "side panel", content);
        EXPECT_TRUE(l.mediaControlBoxForFullScreen.isEmpty());
        const auto& h = l.head;
        check(l.headBox, {h.openButton, h.folderLabel, h.progress, h.messageLabel, h.timeSetupButton, h.settingsButton},
              "head", content);
        check(l.gsensorBox, {l.gsensor.graph, l.gsensor.x, l.gsensor.y, l.gsensor.z}, "gsensor", content);
        check(l.sideButtonBox, {l.sideButtons.list, l.sideButtons.map}, "side buttons", content);
        const auto f = TMKWindowLayout::compute(content, true);
        EXPECT_TRUE(f.headBox.isEmpty() && f.bodyRightBox.isEmpty());
        EXPECT_EQ(f.videoBox.width(), content.width());
        check(f.bodyLeftBox, {f.videoBox, f.mediaControlBoxForFullScreen}, "full screen body", content);
        const auto& fc = f.fullScreenControls;
        check(f.mediaControlBoxForFullScreen, {fc.play, fc.positionSlider, fc.fullScreen}, "full screen", content);
    }
}

// Tiny content, a list box lower than the map's strip, a video narrower than
// the banner's insets: nothing gets a negative size.
TEST(TMKWindowLayout, NothingGoesNegative)
{
    const auto l = TMKWindowLayout::compute(QSize(100, 60), false);
    EXPECT_GE(l.videoBox.width(), 0);
    EXPECT_GE(l.videoBox.height(), 0);
    EXPECT_GE(l.mediaListBox.height(), 0);
    const auto p = TMKWindowLayout::mapPanel(QSize(334, 300));
    EXPECT_EQ(p.top.height() + p.strip.height(), 300);
    EXPECT_EQ(p.strip.top(), p.top.bottom() + 1);
    EXPECT_EQ(TMKWindowLayout::mapPanel(QSize(334, 40)).top, QRect(0, 0, 334, 0));

    EXPECT_EQ(TMKWindowLayout::banner(656, 40), QRect(8, 8, 640, 40));
    EXPECT_EQ(TMKWindowLayout::banner(656, 10).height(), TMKWindowLayout::banner(656, 0).height());
    EXPECT_EQ(TMKWindowLayout::banner(10, 0).width(), 0);
}
