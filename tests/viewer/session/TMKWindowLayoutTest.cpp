#include "TMKWindowLayout.h"

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
