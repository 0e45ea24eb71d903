#include "media/TMKMedia.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(TMKMedia, NamesGiveDivisionDirectionDatePathAndOrder)
{
    const struct {
        const char* path;
        TMKMediaDivision division;
        TMKMediaDirection direction;
        std::array<int, 6> date; // year, month, day, hour, minute, second
    } cases[] = {
        {"/card/alwa_20150101_120000_F.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {2015, 1, 1, 12, 0, 0}},
        {"/card/motion_20150101_120000_R.AVI", TMKMediaDivisionMotion, TMKMediaDirectionRear, {2015, 1, 1, 12, 0, 0}},
        {"/card/event_20161231_235958_R.avi", TMKMediaDivisionEvent, TMKMediaDirectionRear, {2016, 12, 31, 23, 59, 58}},
        // Out-of-range values are kept; non-digits read as 0.
        {"event_20159901_120000_F.avi", TMKMediaDivisionEvent, TMKMediaDirectionFront, {2015, 99, 1, 12, 0, 0}},
        {"event_2015ab01_120000_F.avi", TMKMediaDivisionEvent, TMKMediaDirectionFront, {2015, 0, 1, 12, 0, 0}},
        // Admitted length without a known prefix: no date, division unchanged.
        {"xxxxx20150101_120000_F.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {0, 0, 0, 0, 0, 0}},
        // 24 characters starting with "alwa_": read at position 5, no suffix.
        {"alwa_20150101_120000_F_1.avi", TMKMediaDivisionAlways, TMKMediaDirectionUnknown, {2015, 1, 1, 12, 0, 0}},
        // Other lengths keep the initial values.
        {"clip.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {0, 0, 0, 0, 0, 0}},
        {"alwa_20150101_120000_R_long.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {0, 0, 0, 0, 0, 0}},
        // The hidden companion file: 24 characters, no known prefix.
        {"/card/._alwa_20150101_120000_F.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {0, 0, 0, 0, 0, 0}},
        // Leading blanks and a sign inside the date block are read as numbers.
        {"alwa_ 201-101_1 0000_F.avi", TMKMediaDivisionAlways, TMKMediaDirectionFront, {201, -1, 1, 1, 0, 0}}
    };
    for (const auto& c : cases) {
        const auto media = TMKMedia::mediaWithPath(c.path);
        EXPECT_EQ(media->mediaDivision, c.division) << c.path;
        EXPECT_EQ(media->mediaDirection, c.direction) << c.path;
        EXPECT_EQ((std::array<int, 6>{media->year, media->month, media->day, media->hour, media->minute, media->second}), c.date)
            << c.path;
    }

    // The leading-int rule the date fields are read by, beyond the names above.
    EXPECT_EQ(TMKLeadingInt("+7"), 7);
    EXPECT_EQ(TMKLeadingInt(""), 0);
    EXPECT_EQ(TMKLeadingInt("99999999999999"), 2147483647);
    EXPECT_EQ(TMKLeadingInt("-99999999999999"), -2147483647 - 1);

    // Path components, the order by start, division and side.
    const auto media = TMKMedia::mediaWithPath("/media/card/DCIM/motion_20150101_120000_R.AVI");
    EXPECT_EQ(media->mediaName, "motion_20150101_120000_R");
    EXPECT_EQ(media->extension, "AVI");
    EXPECT_EQ(media->dir, "/media/card/DCIM");
    EXPECT_EQ(media->fileName(), "motion_20150101_120000_R.AVI");
    EXPECT_EQ(media->mediaGroupName(), "motion_20150101_120000");
    EXPECT_EQ(media->yyyymmddhhmiss(), "20150101120000");
    EXPECT_TRUE(media->isRearMedia());
    EXPECT_TRUE(media->isMotionMedia());

    EXPECT_EQ(TMKMedia::mediaWithPath("/alwa_20150101_120000_F.avi")->dir, "/");
    EXPECT_EQ(TMKMedia::mediaWithPath("x.avi/")->mediaName, "x");
    EXPECT_EQ(TMKMedia::mediaWithPath("clip.avi")->yyyymmddhhmiss(), "00000000000000");

    // Parsing again resets the date but keeps the division.
    TMKMedia again("event_20150101_120000_F.avi");
    again.parsePath("short.avi");
    EXPECT_EQ(again.year, 0);
    EXPECT_EQ(again.second, 0);
    EXPECT_EQ(again.mediaDivision, TMKMediaDivisionEvent);

    const auto earlier = TMKMedia::mediaWithPath("alwa_20150101_115900_F.avi");
    const auto alwaysFront = TMKMedia::mediaWithPath("alwa_20150101_120000_F.avi");
    const auto alwaysRear = TMKMedia::mediaWithPath("alwa_20150101_120000_R.avi");
    const auto eventRear = TMKMedia::mediaWithPath("event_20150101_120000_R.avi");
    const auto motionFront = TMKMedia::mediaWithPath("motion_20150101_120000_F.avi");

    EXPECT_LT(earlier->compareDate(*alwaysFront), 0);
    EXPECT_GT(alwaysFront->compareDate(*earlier), 0);
    EXPECT_LT(eventRear->compareDate(*alwaysFront), 0);   // event before always
    EXPECT_LT(eventRear->compareDate(*motionFront), 0);   // event before motion
    EXPECT_LT(motionFront->compareDate(*alwaysFront), 0); // motion before always
    EXPECT_LT(alwaysFront->compareDate(*alwaysRear), 0);  // front before rear
    EXPECT_EQ(alwaysFront->compareDate(*TMKMedia::mediaWithPath("/x/alwa_20150101_120000_F.AVI")), 0);

    // The player tells the side by the URL's path, ignoring case.
    EXPECT_EQ(TMKPlayerMediaDirection("file:///card/alwa_20150101_120000_r.AVI"), TMKMediaDirectionRear);
    EXPECT_EQ(TMKPlayerMediaDirection("/card/alwa_20150101_120000_f.Avi"), TMKMediaDirectionFront);
    EXPECT_EQ(TMKPlayerMediaDirection("file:///card/alwa_20150101_120000_F.mp4"), TMKMediaDirectionUnknown);
    EXPECT_EQ(TMKPlayerMediaDirection("file:///card/my%20clip_R.avi"), TMKMediaDirectionRear);
    EXPECT_EQ(TMKPlayerMediaDirection("file:///a.avi"), TMKMediaDirectionUnknown);
    EXPECT_EQ(TMKPlayerMediaDirection(""), TMKMediaDirectionUnknown);
    EXPECT_EQ(TMKPlayerMediaDirection("_R.avi"), TMKMediaDirectionRear);
    EXPECT_TRUE(TMKPlayerMediaIsRear("file:///x_R.AVI?start=3"));
    EXPECT_FALSE(TMKPlayerMediaIsFront("file://host"));
}

} // namespace
