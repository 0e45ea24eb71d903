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
