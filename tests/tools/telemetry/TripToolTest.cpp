// tamek-telemetry as the user runs it: per-file reports, trips of a folder
// or of files given, --output, and what it does with outputs and inputs
// that are not what they seem.

#include "TMKShell.h"
#include "TMKFileText.h"
#include "TMKDriveRecording.h"
#include "media/TMKTrackExport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

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
        goodPath = (dir / "card" / "alwa_20261107_071500_F.avi").string();
        good = "'" + goodPath + "'";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool with `arguments` (shell words); a tool that blocks is
    // ended by timeout(1), its status then 124.
    ToolRun tool(const std::string& arguments, const std::string& redirect = "")
    {
        ToolRun run;
        const fs::path out = dir / "stdout";
        const fs::path err = dir / "stderr";
        run.status = TMKShellStatus("timeout 20 " TAMEK_TELEMETRY_BIN " " + arguments
                                    + (redirect.empty() ? " >'" + out.string() + "'" : redirect) + " 2>'" + err.string() + "'");
        run.out = redirect.empty() ? TMKFileText(out) : "";
        run.err = TMKFileText(err);
        return run;
    }
    std::string card() const { return "'" + (dir / "card").string() + "'"; }

    fs::path dir;
    std::string goodPath, good;
};

TEST_F(TripTool, FilesAndTripsAreReportedInEachFormat)
{
    const std::string fifo = (dir / "alwa_20261107_081600_F.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ToolRun each = tool("/nonexistent.avi '" + fifo + "' " + good);
    EXPECT_EQ(each.status, 1);
    EXPECT_EQ(each.out.rfind("{\"file\":\"/nonexistent.avi\",\"ok\":false,\"error\":\"No such file or directory\"", 0), 0u);
    EXPECT_NE(each.out.find("\n{\"file\":\"" + fifo + "\",\"ok\":false"), std::string::npos);
    EXPECT_NE(each.out.find("\n{\"file\":\"" + goodPath + "\",\"ok\":true"), std::string::npos);
    EXPECT_NE(each.err.find(fifo + ": not a regular file"), std::string::npos) << each.err;
    EXPECT_EQ(tool("--bogus " + good).status, 2);

    for (const char* format : {"--json", "--csv", "--gpx", "--kml"}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(tool(std::string(format) + " " + good, " >/dev/null").status, 0);
        EXPECT_EQ(tool(std::string(format) + " " + good, " >/dev/full").status, 1);
        EXPECT_EQ(tool(std::string(format) + " " + good, " >&-").status, 1);
    }

    // A folder and its files given in any order make the same trips.
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
    EXPECT_EQ(tracks.size(), 2u); // two minutes, then one more twenty minutes later

    const fs::path kml = dir / "out" / "trip.kml";
    fs::create_directories(kml.parent_path());
    const ToolRun toFile = tool("--kml --output '" + kml.string() + "' --trip " + card());
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_TRUE(toFile.out.empty());
    // Munich: longitude 11.5..., latitude 48.1...
    EXPECT_NE(TMKFileText(kml).find("\n    11.58"), std::string::npos);

    const ToolRun single = tool("--kml " + good);
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_NE(single.out.find("<Placemark>"), std::string::npos);
    EXPECT_NE(single.out.find("\n    11.58"), std::string::npos);

    // Unreadable recordings and bad outputs.
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
    EXPECT_EQ(tool("--gpx --trip " + card(), " >/dev/full").status, 1);
    EXPECT_EQ(tool("--json --output '" + (dir / "x.json").string() + "' '" + (dir / "missing.avi").string() + "'").status, 1);
    EXPECT_NE(TMKFileText(dir / "x.json").find("\"ok\":false"), std::string::npos);

    EXPECT_EQ(tool("--gpx --trip '" + (dir / "none").string() + "'").status, 1);
    EXPECT_EQ(tool("--json --trip " + card()).status, 2);
    EXPECT_EQ(tool("--gpx --trip").status, 2);
    EXPECT_EQ(tool("--gpx --output").status, 2);

    // --output replaces the file whole or says why.
    const fs::path json = dir / "report.json";
    std::ofstream(json) << "old";
    const ToolRun report = tool("--output '" + json.string() + "' " + good);
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_TRUE(report.out.empty());
    EXPECT_EQ(TMKFileText(json), tool(good).out); // the report whole, the old text gone

    // A reader that takes a little and goes: a write error, not a SIGPIPE.
    const fs::path pipe = dir / "report.fifo";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Close-on-exec, or the tool itself would hold the FIFO open for reading.
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::thread leaves([reader] {
        char bytes[100];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (::read(reader, bytes, sizeof bytes) <= 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::close(reader);
    });
    // Six recordings' JSON is far more than a pipe holds.
    const ToolRun stopped = tool("--output '" + pipe.string() + "' " + card() + "/*.avi " + card() + "/sub/*.avi");
    leaves.join();
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.err.find("cannot write the report: write: Broken pipe"), std::string::npos) << stopped.err;
}

} // namespace
