#include "media/TMKMediaHealth.h"

#include "TMKAviWriter.h"
#include "TMKDriveRecording.h"
#include "TripTestSupport.h"
#include "media/TMKAviRecords.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

TEST(MediaHealth, EachReasonIsTold)
{
    const auto dir = tripTestDir("health");
    ASSERT_TRUE(TMKWriteDriveRecording(dir / "good.avi", tripTestDrive(), 0, 20000));
    const std::vector<uint8_t> good = readTripFile(dir / "good.avi");
    // Told alike of the file and of its bytes in memory.
    const auto check = [&](const std::vector<uint8_t>& bytes) {
        writeTripFile(dir / "x.avi", bytes);
        const TMKMediaHealth fromFile = TMKCheckMedia(dir / "x.avi");
        EXPECT_EQ(fromFile.problem, TMKCheckMediaBuffer(bytes.data(), bytes.size()).problem);
        return fromFile;
    };
    const auto u32 = [&](std::size_t at) {
        uint32_t v;
        std::memcpy(&v, good.data() + at, 4);
        return v;
    };
    const TMKMediaHealth whole = TMKCheckMedia(dir / "good.avi");
    EXPECT_TRUE(whole.ok()) << whole.reason;
    EXPECT_TRUE(whole.reason.empty());

    EXPECT_EQ(check({}).problem, TMKMediaProblem::CannotOpen);
    EXPECT_EQ(check(std::vector<uint8_t>(20000, 'x')).problem, TMKMediaProblem::NotAvi);
    std::vector<uint8_t> rifx = good;
    rifx[3] = 'X';
    EXPECT_EQ(check(rifx).problem, TMKMediaProblem::NotAvi);

    // RIFF AVI without the header list every AVI starts with.
    std::vector<uint8_t> noHeaderList = good;
    std::memcpy(noHeaderList.data() + 20, "junk", 4);
    EXPECT_EQ(check(noHeaderList).problem, TMKMediaProblem::NotAvi);

    // Cut short anywhere: in the header, in the movi list, in the index.
    for (const std::size_t keep : {std::size_t{100}, std::size_t{14000}, good.size() / 2, good.size() - 10}) {
        const auto health = check(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(keep)));
        EXPECT_EQ(health.problem, TMKMediaProblem::CutShort) << keep << " " << health.reason;
        EXPECT_NE(health.reason.find("cut short"), std::string::npos);
    }
    // A power loss before the camera wrote its sizes.
    std::vector<uint8_t> unsized = good;
    std::fill(unsized.begin() + 4, unsized.begin() + 8, 0);
    EXPECT_EQ(check(unsized).problem, TMKMediaProblem::CutShort);
    unsized = good;
    std::fill(unsized.begin() + TMKAviLayout::kMoviSizeOffset, unsized.begin() + TMKAviLayout::kMoviSizeOffset + 4, 0);
    EXPECT_EQ(check(unsized).problem, TMKMediaProblem::CutShort);

    // No index: the movi list is the last thing in the file.
    const std::size_t indexTag = TMKAviLayout::kMoviTagOffset + u32(TMKAviLayout::kMoviSizeOffset);
    std::vector<uint8_t> noIndex(good.begin(), good.begin() + static_cast<long>(indexTag));
    const uint32_t riffSize = static_cast<uint32_t>(noIndex.size() - 8);
    std::memcpy(noIndex.data() + 4, &riffSize, 4);
    EXPECT_EQ(check(noIndex).problem, TMKMediaProblem::NoIndex);

    // An index without telemetry entries.
    TMKAviWriter videoOnly;
    for (uint32_t ms = 0; ms < 2000; ms += 100)
        videoOnly.addVideoFrame(ms, {0xFF, 0xD8, 0xFF, 0xD9});
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(videoOnly.writeToBuffer(bytes));
    const auto health = check(bytes);
    EXPECT_EQ(health.problem, TMKMediaProblem::NoTelemetry);
    EXPECT_STREQ(TMKMediaProblemName(health.problem), "no telemetry");
    // What plays needs no telemetry: the structure alone is sound.
    EXPECT_TRUE(TMKCheckMediaBuffer(bytes.data(), bytes.size(), TMKMediaCheckDepth::Structure).ok());
    EXPECT_EQ(TMKCheckMediaBuffer(noIndex.data(), noIndex.size(), TMKMediaCheckDepth::Structure).problem,
              TMKMediaProblem::NoIndex);

    // Players need the movi list and its index wherever a writer put them; only
    // the telemetry needs the camera's own layout.
    // A JUNK chunk before the movi list moves it off the camera's place.
    std::vector<uint8_t> moved(good.begin(), good.begin() + 12);
    const std::size_t hdrlSize = 8 + u32(16);
    moved.insert(moved.end(), good.begin() + 12, good.begin() + 12 + static_cast<long>(hdrlSize));
    const uint8_t junk[] = {'J', 'U', 'N', 'K', 4, 0, 0, 0, 0, 0, 0, 0};
    moved.insert(moved.end(), std::begin(junk), std::end(junk));
    moved.insert(moved.end(), good.begin() + 12 + static_cast<long>(hdrlSize), good.end());
    const uint32_t movedSize = static_cast<uint32_t>(moved.size() - 8);
    std::memcpy(moved.data() + 4, &movedSize, 4);
    EXPECT_EQ(check(moved).problem, TMKMediaProblem::NoTelemetry) << check(moved).reason;

    // The same without its index, and a hostile run of tiny chunks before
    // it, are told as such, not walked to the end.
    const std::size_t movedIndexTag = TMKAviLayout::kMoviTagOffset + u32(TMKAviLayout::kMoviSizeOffset) + 12;
    std::vector<uint8_t> unindexed(moved.begin(), moved.begin() + static_cast<long>(movedIndexTag));
    const uint32_t cutSize = static_cast<uint32_t>(unindexed.size() - 8);
    std::memcpy(unindexed.data() + 4, &cutSize, 4);
    EXPECT_EQ(check(unindexed).problem, TMKMediaProblem::NoIndex);

    std::vector<uint8_t> tiny(good.begin(), good.begin() + 12 + static_cast<long>(hdrlSize));
    for (int i = 0; i < 100000; ++i)
        tiny.insert(tiny.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    const uint32_t tinySize = static_cast<uint32_t>(tiny.size() - 8);
    std::memcpy(tiny.data() + 4, &tinySize, 4);
    EXPECT_EQ(check(tiny).problem, TMKMediaProblem::NotAvi);

    // What is not a recording file at all.
    EXPECT_EQ(TMKCheckMedia(dir / "missing.avi").problem, TMKMediaProblem::CannotOpen);
    EXPECT_EQ(TMKCheckMedia(dir.string()).problem, TMKMediaProblem::NotRegularFile);
    ASSERT_EQ(::mkfifo((dir / "fifo.avi").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "gone.avi", dir / "dangling.avi");
    const auto start = std::chrono::steady_clock::now();
    const TMKMediaHealth fifo = TMKCheckMedia(dir / "fifo.avi");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(fifo.problem, TMKMediaProblem::NotRegularFile);
    EXPECT_EQ(fifo.reason, "not a regular file");
    const TMKMediaHealth dangling = TMKCheckMedia(dir / "dangling.avi");
    EXPECT_EQ(dangling.problem, TMKMediaProblem::LinkTargetMissing);
    EXPECT_EQ(dangling.reason, "link target missing");
    EXPECT_EQ(TMKCheckMedia("/dev/zero").problem, TMKMediaProblem::NotRegularFile);
    std::filesystem::remove_all(dir);
}

} // namespace
