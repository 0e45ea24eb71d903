// tamek-telemetry over trips: --trip FOLDER, --trips FILE..., --output.

#include "TMKShell.h"
#include "TMKFileText.h"
#include "TMKDriveRecording.h"
#include "media/TMKTrackExport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs the tool with `arguments` (shell words); stdout, stderr and status.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class TripTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path()
              / ("tamek-trip-tool-" + std::to_string(::getpid()) + "-"
                 + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "card" / "sub");
        TMKSpeedProfile profile(0);
        profile.ramp(40, 10).hold(3600);
        TMKDriveOptions options;
        options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), profile, options);
        // Two minutes, then twenty minutes later one more; the rear files
        // sit in another folder as some cards keep them.
        const std::vector<std::pair<const char*, uint32_t>> files = {
            {"alwa_20261107_071500", 0}, {"alwa_20261107_071600", 60000}, {"alwa_20261107_073800", 1380000}};
        for (const auto& [stem, startMs] : files) {
            EXPECT_TRUE(TMKWriteDriveRecording(dir / "card" / (std::string(stem) + "_F.avi"), drive, startMs, 60000));
            EXPECT_TRUE(
                TMKWriteDriveRecording(dir / "card" / "sub" / (std::string(stem) + "_R.avi"), drive, startMs, 60000));
        }
    }
    void TearDown() override { fs::remove_all(dir); }

    ToolRun tool(const std::string& arguments)
    {
        ToolRun run;
        const fs::path out = dir / "stdout";
        const fs::path err = dir / "stderr";
        run.status = TMKShellStatus("timeout 20 " TAMEK_TELEMETRY_BIN " " + arguments + " >'" + out.string() + "' 2>'"
                                    + err.string() + "'");
        run.out = TMKFileText(out);
        run.err = TMKFileText(err);
        return run;
    }
    std::string card() const { return "'" + (dir / "card").string() + "'"; }

    fs::path dir;
};

TEST_F(TripTool, GpxOfAFolderHasOneValidTrackPerTrip)
{
    const ToolRun run = tool("--gpx --trip " + card());
    ASSERT_EQ(run.status, 0) << run.err;
    std::ofstream(dir / "t.gpx") << run.out;
    EXPECT_EQ(TMKShellStatus("xmllint --noout --schema '" TAMEK_GPX_SCHEMA "' '" + (dir / "t.gpx").string() + "' 2>/dev/null"), 0);
    std::size_t tracks = 0;
    std::size_t points = 0;
    for (auto at = run.out.find("<trk>"); at != std::string::npos; at = run.out.find("<trk>", at + 1))
        ++tracks;
    for (auto at = run.out.find("<trkpt "); at != std::string::npos; at = run.out.find("<trkpt ", at + 1))
        ++points;
    EXPECT_EQ(tracks, 2u);
    EXPECT_EQ(points, 121u + 61u); // the shared boundary second once
    EXPECT_NE(run.out.find("<name>alwa_20261107_071500</name>"), std::string::npos);
    EXPECT_NE(run.out.find("<name>alwa_20261107_073800</name>"), std::string::npos);
}

TEST_F(TripTool, FilesGivenInAnyOrderMakeTheSameTrips)
{
    const ToolRun folder = tool("--csv --trip " + card());
    ASSERT_EQ(folder.status, 0) << folder.err;
    std::string files;
    for (const char* name : {"card/alwa_20261107_073800_F.avi", "card/sub/alwa_20261107_071600_R.avi",
                             "card/alwa_20261107_071500_F.avi", "card/alwa_20261107_071600_F.avi"})
        files += " '" + (dir / name).string() + "'";
    const ToolRun listed = tool("--csv --trips" + files);
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, folder.out);

    std::vector<TMKTrack> tracks;
    std::string error;
    ASSERT_TRUE(TMKReadTrackCsv(listed.out, tracks, &error)) << error;
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].points.size(), 121u);
    for (const TMKTrack& track : tracks)
        for (std::size_t i = 1; i < track.points.size(); ++i)
            ASSERT_LT(track.points[i - 1].seconds, track.points[i].seconds);
}

TEST_F(TripTool, KmlToAFileAndPerRecording)
{
    const fs::path kml = dir / "out" / "trip.kml";
    fs::create_directories(kml.parent_path());
    const ToolRun run = tool("--kml --output '" + kml.string() + "' --trip " + card());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(TMKShellStatus("xmllint --noout '" + kml.string() + "'"), 0);
    const std::string text = TMKFileText(kml);
    // Munich: longitude 11.5..., latitude 48.1...
    EXPECT_NE(text.find("\n    11.58"), std::string::npos) << text.substr(0, 600);
    EXPECT_EQ(text.find("\n    48.1"), std::string::npos);

    const ToolRun single = tool("--kml '" + (dir / "card" / "alwa_20261107_071500_F.avi").string() + "'");
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_NE(single.out.find("<Placemark>"), std::string::npos);
    EXPECT_NE(single.out.find("\n    11.58"), std::string::npos);
}

TEST_F(TripTool, UnreadableRecordingsAndBadOutputsAreReported)
{
    // A recording cut short in the middle of the first trip.
    const fs::path front = dir / "card" / "alwa_20261107_071600_F.avi";
    const fs::path rear = dir / "card" / "sub" / "alwa_20261107_071600_R.avi";
    fs::resize_file(front, 1000);
    fs::resize_file(rear, 12);
    const ToolRun cut = tool("--gpx --trip " + card());
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find(front.string() + ": cut short"), std::string::npos) << cut.err;
    EXPECT_NE(cut.out.find("</gpx>"), std::string::npos); // the rest is still written

    const ToolRun full = tool("--gpx --output /dev/full --trip " + card());
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left"), std::string::npos) << full.err;
    EXPECT_EQ(TMKShellStatus("timeout 20 " TAMEK_TELEMETRY_BIN " --gpx --trip " + card() + " >/dev/full 2>/dev/null"), 1);
    EXPECT_EQ(tool("--json --output '" + (dir / "x.json").string() + "' '" + (dir / "missing.avi").string() + "'").status, 1);
    EXPECT_NE(TMKFileText(dir / "x.json").find("\"ok\":false"), std::string::npos);

    EXPECT_EQ(tool("--gpx --trip '" + (dir / "none").string() + "'").status, 1);
    EXPECT_EQ(tool("--json --trip " + card()).status, 2);
    EXPECT_EQ(tool("--gpx --trip").status, 2);
    EXPECT_EQ(tool("--gpx --output").status, 2);
}

TEST_F(TripTool, OutputReplacesTheFileWholeOrSaysWhy)
{
    const fs::path json = dir / "report.json";
    std::ofstream(json) << "old";
    const ToolRun run = tool("--output '" + json.string() + "' '" + (dir / "card" / "alwa_20261107_071500_F.avi").string()
                         + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = TMKFileText(json);
    EXPECT_EQ(text.rfind("{\"file\":", 0), 0u);
    EXPECT_EQ(text.back(), '\n');

    // Read-only stays, for root too, as tamek-config leaves it.
    ::chmod(json.c_str(), 0444);
    const ToolRun refused = tool("--output '" + json.string() + "' " + card() + "/*.avi");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("read-only"), std::string::npos) << refused.err;
    EXPECT_EQ(TMKFileText(json), text);

    // A reader that takes a little and goes: a write error, not a SIGPIPE.
    const fs::path fifo = dir / "report.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Close-on-exec, or the tool itself would hold the FIFO open for reading.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::thread leaves([reader] {
        char bytes[100];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (::read(reader, bytes, sizeof bytes) <= 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::close(reader);
    });
    // Six recordings' JSON is far more than a pipe holds.
    const ToolRun stopped = tool("--output '" + fifo.string() + "' " + card() + "/*.avi " + card() + "/sub/*.avi");
    leaves.join();
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.err.find("cannot write the report: write: Broken pipe"), std::string::npos) << stopped.err;
}

} // namespace
