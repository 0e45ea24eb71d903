#include "viewer/window/TMKWindowLayout.h"

#include <gtest/gtest.h>

TEST(TMKWindowLayout, WindowedRegionsAtTheMinimumSize)
{
    const auto l = TMKWindowLayout::compute(QSize(1020, 640), false);
    EXPECT_EQ(l.headBox, QRect(0, 0, 1020, 50));
    EXPECT_EQ(l.bodyBox, QRect(0, 50, 1020, 590));
    // 10 margin, left column, 10 gap, 334 side panel, 10 margin; 8 above the bottom.
    EXPECT_EQ(l.bodyLeftBox, QRect(10, 0, 656, 582));
    EXPECT_EQ(l.bodyRightBox, QRect(676, 0, 334, 582));
    EXPECT_EQ(l.videoBox, QRect(0, 0, 656, 372));
    EXPECT_EQ(l.gsensorBox, QRect(0, 376, 656, 130));
    EXPECT_EQ(l.mediaControlBox, QRect(0, 510, 656, 72));
    EXPECT_EQ(l.mediaControlBox.bottom() + 1, l.bodyLeftBox.height());
    EXPECT_EQ(l.sideButtonBox, QRect(0, 0, 334, 32));
    EXPECT_EQ(l.mediaListBox, QRect(0, 32, 334, 300));
    EXPECT_EQ(l.subVideoBox, QRect(0, 332, 334, 250));
    EXPECT_TRUE(l.mediaControlBoxForFullScreen.isEmpty());
}

TEST(TMKWindowLayout, FullScreenDropsTheHeadAndSidePanel)
{
    const auto l = TMKWindowLayout::compute(QSize(1920, 1080), true);
    EXPECT_TRUE(l.headBox.isEmpty());
    EXPECT_TRUE(l.bodyRightBox.isEmpty());
    EXPECT_EQ(l.bodyBox, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(l.bodyLeftBox, QRect(0, 0, 1920, 1078));
    EXPECT_EQ(l.videoBox, QRect(0, 0, 1920, 1042));
    EXPECT_EQ(l.mediaControlBoxForFullScreen, QRect(0, 1042, 1918, 36));
}

TEST(TMKWindowLayout, TinyContentNeverGivesNegativeSizes)
{
    const auto l = TMKWindowLayout::compute(QSize(100, 60), false);
    EXPECT_GE(l.videoBox.width(), 0);
    EXPECT_GE(l.videoBox.height(), 0);
    EXPECT_GE(l.mediaListBox.height(), 0);
}

TEST(TMKWindowLayout, SizeStepsAndStartFrame)
{
    EXPECT_EQ(TMKWindowLayout::steppedSize(QSize(1020, 640), 1), QSize(1224, 768));
    EXPECT_EQ(TMKWindowLayout::steppedSize(QSize(1224, 768), -1), QSize(1020, 640));
    EXPECT_EQ(TMKWindowLayout::steppedSize(QSize(1020, 640), -1), QSize(1020, 640));
    // One dimension below the minimum resets both.
    EXPECT_EQ(TMKWindowLayout::steppedSize(QSize(2000, 700), -1), QSize(1020, 640));
    EXPECT_EQ(TMKWindowLayout::startFrame(QRect(0, 24, 1920, 1056)), QRect(450, 232, 1020, 640));
}

// On a 1280x800 screen with a 24-high title bar: each step grows the window
// inside the screen (moving it in where it would stick out), the last one
// up to the visible area; only the step after that goes full screen.
TEST(TMKWindowLayout, SizeStepsStayInsideTheScreen)
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
}

TEST(TMKWindowLayout, ControlRowAtTheMinimumSize)
{
    const auto c = TMKWindowLayout::compute(QSize(1020, 640), false).controls;
    // The slider across, the time at its right.
    EXPECT_EQ(c.positionSlider, QRect(10, 6, 526, 22));
    EXPECT_EQ(c.timeLabel, QRect(544, 6, 106, 22));
    // Transport, then speed/size/swap, then capture/print, 10 between groups.
    EXPECT_EQ(c.jumpBackward, QRect(10, 34, 30, 30));
    EXPECT_EQ(c.play, QRect(46, 34, 30, 30));
    EXPECT_EQ(c.jumpForward, QRect(82, 34, 30, 30));
    EXPECT_EQ(c.speed, QRect(128, 34, 52, 30));
    EXPECT_EQ(c.size, QRect(186, 34, 56, 30));
    EXPECT_EQ(c.swap, QRect(248, 34, 30, 30));
    EXPECT_EQ(c.capture, QRect(294, 34, 30, 30));
    EXPECT_EQ(c.print, QRect(330, 34, 30, 30));
    // Sound and full screen at the right end.
    EXPECT_EQ(c.audioToggle, QRect(470, 34, 30, 30));
    EXPECT_EQ(c.volume, QRect(506, 38, 100, 22));
    EXPECT_EQ(c.fullScreen, QRect(616, 34, 30, 30));
    // The narrowest row still keeps the two ends apart, and everything in it.
    EXPECT_LT(c.print.right(), c.audioToggle.left());
    EXPECT_LE(c.fullScreen.right(), 656 - 10);
    EXPECT_LE(c.positionSlider.right(), c.timeLabel.left());
}

TEST(TMKWindowLayout, ControlRowFollowsTheWidth)
{
    const auto narrow = TMKWindowLayout::compute(QSize(1020, 640), false).controls;
    const auto wide = TMKWindowLayout::compute(QSize(1220, 640), false).controls;
    // Left groups stay; the slider grows and the right end moves by the extra width.
    EXPECT_EQ(wide.play, narrow.play);
    EXPECT_EQ(wide.print, narrow.print);
    EXPECT_EQ(wide.positionSlider.width(), narrow.positionSlider.width() + 200);
    EXPECT_EQ(wide.fullScreen, narrow.fullScreen.translated(200, 0));
    EXPECT_EQ(wide.volume, narrow.volume.translated(200, 0));
    EXPECT_EQ(wide.timeLabel, narrow.timeLabel.translated(200, 0));
}

TEST(TMKWindowLayout, HeadGSensorAndSideButtons)
{
    const auto l = TMKWindowLayout::compute(QSize(1020, 640), false);
    EXPECT_EQ(l.head.openButton, QRect(10, 12, 120, 26));
    EXPECT_EQ(l.head.folderLabel, QRect(140, 0, 280, 50));
    EXPECT_EQ(l.head.messageLabel, QRect(600, 0, 114, 50));
    EXPECT_EQ(l.head.timeSetupButton, QRect(724, 12, 130, 26));
    EXPECT_EQ(l.head.settingsButton, QRect(860, 12, 150, 26));
    EXPECT_EQ(l.head.progress, QRect(430, 20, 160, 10));
    EXPECT_LT(l.head.messageLabel.right(), l.head.timeSetupButton.left());

    EXPECT_EQ(l.gsensor.graph, QRect(0, 0, 552, 130));
    EXPECT_EQ(l.gsensor.x, QRect(556, 29, 96, 22));
    EXPECT_EQ(l.gsensor.y, QRect(556, 53, 96, 22));
    EXPECT_EQ(l.gsensor.z, QRect(556, 77, 96, 22));

    EXPECT_EQ(l.sideButtons.list, QRect(0, 0, 167, 32));
    EXPECT_EQ(l.sideButtons.map, QRect(167, 0, 167, 32));
}

TEST(TMKWindowLayout, FullScreenControlRow)
{
    const auto f = TMKWindowLayout::compute(QSize(1920, 1080), true).fullScreenControls;
    EXPECT_EQ(f.play, QRect(8, 4, 28, 28));
    EXPECT_EQ(f.positionSlider, QRect(44, 8, 1826, 20));
    EXPECT_EQ(f.fullScreen, QRect(1882, 4, 28, 28));
    EXPECT_EQ(f.fullScreen.right(), 1918 - 8 - 1);
}

TEST(TMKWindowLayout, MapPanelAndBanner)
{
    const auto p = TMKWindowLayout::mapPanel(QSize(334, 300));
    EXPECT_EQ(p.top, QRect(0, 0, 334, 243));
    EXPECT_EQ(p.strip, QRect(0, 243, 334, 57));
    EXPECT_EQ(p.caption[0], QRect(0, 4, 111, 20));
    EXPECT_EQ(p.caption[1], QRect(111, 4, 111, 20));
    EXPECT_EQ(p.value[2], QRect(222, 26, 111, 26));
    // A list box lower than the strip gives the map nothing, not a negative height.
    EXPECT_EQ(TMKWindowLayout::mapPanel(QSize(334, 40)).top, QRect(0, 0, 334, 0));

    EXPECT_EQ(TMKWindowLayout::banner(656, 10), QRect(8, 8, 640, 24));
    EXPECT_EQ(TMKWindowLayout::banner(656, 40), QRect(8, 8, 640, 40));
    EXPECT_EQ(TMKWindowLayout::banner(10, 0), QRect(8, 8, 0, 24));
}
