#include "TMKShell.h"
#include "base/TMKLog.h"
#include "TelemetryReport.h"
#include "TMKFileText.h"
#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TMKNmeaFix fixAt(int second, double lat, double lon)
{
    TMKNmeaFix fix;
    fix.utc = TMKUtcTime{2026, 11, 7, 7, 15, second, 0};
    fix.latitude = lat;
    fix.longitude = lon;
    fix.speedKnots = 20;
    fix.gpsPrns = {5, 12, 29};
    fix.glonassPrns = {67, 68};
    return fix;
}

// Two seconds of a drive south of the equator and west of Greenwich.
TMKAviWriter twoSecondRecording()
{
    TMKAviWriter writer;
    for (uint32_t ms = 0; ms < 2000; ms += 100)
        writer.addGSensor(_AVI_GSENSOR_DATA_T{171, ms, 256, -128, 64, 0});
    for (int s = 0; s < 2; ++s) {
        const TMKNmeaFix fix = fixAt(s, -33.8568, -70.6483 + s * 0.0001);
        writer.addFix(fix, static_cast<uint32_t>(s * 1000));
    }
    writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
    return writer;
}

TEST(TelemetryFormat, JsonTextIsAlwaysValid)
{
    EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(jsonString("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
    EXPECT_EQ(jsonString("bad\xff\xc3"), "\"bad\\ufffd\\ufffd\"");
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\""); // a lone surrogate
    EXPECT_EQ(jsonString(std::string_view("\0", 1)), "\"\\u0000\"");
    EXPECT_EQ(jsonNumber(0.25f), "0.25");
    EXPECT_EQ(jsonNumber(-0.5), "-0.5");
    EXPECT_EQ(jsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(jsonNumber(std::numeric_limits<float>::infinity()), "null");
    EXPECT_EQ(formatSystemTime(_SYSTEMTIME{2094, 3, 0, 23, 12, 35, 19, 7}), "2094-03-23T12:35:19.007");
}

class TelemetryReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMKSetLogSink({});
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(twoSecondRecording().writeToBuffer(bytes));
        ASSERT_TRUE(data.ExtractStreamInformationFromBuffer(bytes.data(), bytes.size()));
        report = TelemetryReport{"/card/alwa_20261107_081500_F.avi", true, {}, &data};
    }
    TMKBlackBoxData data;
    TelemetryReport report;
};

TEST_F(TelemetryReportTest, JsonCarriesEveryList)
{
    std::ostringstream out;
    writeTelemetryJson(out, report);
    const std::string json = out.str();
    EXPECT_EQ(json.rfind("{\"file\":\"/card/alwa_20261107_081500_F.avi\",\"ok\":true,\"gsensor\":[{\"t\":0,\"x\":1,"
                         "\"y\":-0.5,\"z\":0.25}",
                         0),
              0u);
    EXPECT_EQ(json.back(), '\n');
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1);
    // Each GPS record once, though m_vGpsData repeats the first.
    EXPECT_NE(json.find("\"gps_records\":[{\"t\":0,\"Latitude\":3351.408"), std::string::npos);
    EXPECT_NE(json.find("\"KM\":\"9\""), std::string::npos);
    EXPECT_NE(json.find("\"lined_up\":[0,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000]"), std::string::npos);
    EXPECT_NE(json.find("\"Now\":\"2026-11-07T07:15:01.000\""), std::string::npos);
    EXPECT_NE(json.find("\"NS\":\"S\""), std::string::npos);
    EXPECT_NE(json.find("\"SatelliteUsed\":[67,68,0,0,0,0,0,0,0,0,0,0]"), std::string::npos);
    // Single-precision reads of the coordinates move them by well under a metre.
    EXPECT_NE(json.find("\"lat_deg\":-33.85679"), std::string::npos);
    EXPECT_NE(json.find("\"lon_deg\":-70.6482"), std::string::npos);
    EXPECT_EQ(std::count(json.begin(), json.end(), '{'), std::count(json.begin(), json.end(), '}'));
}

TEST_F(TelemetryReportTest, FailedFileStillGivesAnObject)
{
    TMKBlackBoxData empty;
    std::ostringstream out;
    writeTelemetryJson(out, TelemetryReport{"x.avi", false, "not a RIFF/AVI file", &empty});
    EXPECT_EQ(out.str(), "{\"file\":\"x.avi\",\"ok\":false,\"error\":\"not a RIFF/AVI file\",\"gsensor\":[],"
                         "\"gps_records\":[],\"lined_up\":[],\"fixes\":[]}\n");
}

TEST_F(TelemetryReportTest, CsvHasOneRowPerFixAndQuotesFileNames)
{
    report.path = "/card/a,\"b\".avi";
    std::ostringstream out;
    writeTelemetryCsvHeader(out);
    writeTelemetryCsvRows(out, report);
    const std::string csv = out.str();
    EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), 1 + data.m_NMEAs.size());
    EXPECT_NE(csv.find("\n\"/card/a,\"\"b\"\".avi\",0,"), std::string::npos);
    EXPECT_NE(csv.find(",S,7038.8"), std::string::npos);
    EXPECT_NE(csv.find(",W,-33.85679"), std::string::npos);
}

TEST_F(TelemetryReportTest, GpxHasOnePointPerSecondWithSignedDegrees)
{
    std::ostringstream out;
    writeGpxBegin(out);
    writeGpxTrack(out, report);
    writeGpxEnd(out);
    const std::string gpx = out.str();
    std::size_t points = 0;
    for (auto at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1))
        ++points;
    EXPECT_EQ(points, 2u);
    EXPECT_NE(gpx.find("<trkpt lat=\"-33.85679"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-11-07T07:15:00.000Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-11-07T07:15:01.000Z</time>"), std::string::npos);
    EXPECT_NE(gpx.find("<gpxtpx:speed>10.28"), std::string::npos); // 20 kn in m/s
    EXPECT_EQ(gpx.substr(gpx.size() - 7), "</gpx>\n");
}

TEST(TelemetryGpx, FixesGpxCannotCarryAreLeftOut)
{
    TMKBlackBoxData data;
    TMKGpsData fix;
    fix.Now = _SYSTEMTIME{2026, 11, 0, 7, 7, 15, 0, 0};
    fix.Latitude = 4807.038;
    fix.Longitude = 1131.0;
    data.m_NMEAs.push_back(fix);
    fix.Now.wSecond = 1;
    fix.Latitude = 9500; // 95 degrees
    data.m_NMEAs.push_back(fix);
    fix.Now.wSecond = 2;
    fix.Latitude = 4807.038;
    fix.Longitude = 18000; // 180 degrees: GPX stops short of it
    data.m_NMEAs.push_back(fix);
    fix.Now = _SYSTEMTIME{2026, 13, 0, 7, 7, 15, 3, 0};
    fix.Longitude = 1131.0;
    data.m_NMEAs.push_back(fix);
    std::ostringstream out;
    writeGpxTrack(out, TelemetryReport{"x.avi", true, {}, &data});
    const std::string gpx = out.str();
    EXPECT_NE(gpx.find("<time>2026-11-07T07:15:00.000Z</time>"), std::string::npos);
    std::size_t points = 0;
    for (auto at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1))
        ++points;
    EXPECT_EQ(points, 1u) << gpx;
}

std::string runTool(const std::string& arguments, int& status)
{
    const std::string command = std::string(TAMEK_TELEMETRY_BIN) + " " + arguments + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        output.append(buffer.data(), n);
    status = WEXITSTATUS(pclose(pipe.release()));
    return output;
}

class TelemetryToolHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path()
            / ("tamek-tool-hostile-" + std::to_string(getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        good = (dir / "alwa_20261107_081500_F.avi").string();
        ASSERT_TRUE(twoSecondRecording().write(good));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::string good;
};

TEST_F(TelemetryToolHostile, GoesOnAfterAnUnreadableFileAndFailsAtTheEnd)
{
    int status = -1;
    const std::string json = runTool("/nonexistent.avi " + good, status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(json.rfind("{\"file\":\"/nonexistent.avi\",\"ok\":false,\"error\":\"No such file or directory\"", 0), 0u);
    EXPECT_NE(json.find("\n{\"file\":\"" + good + "\",\"ok\":true"), std::string::npos);

    runTool("--gpx " + good, status);
    EXPECT_EQ(status, 0);
    runTool("--bogus " + good, status);
    EXPECT_EQ(status, 2);
}

TEST_F(TelemetryToolHostile, FifoIsRefusedWithoutBlocking)
{
    const std::string fifo = (dir / "alwa_20261107_081600_F.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string err = (dir / "err").string();
    // timeout(1) ends a tool that blocks; its status is then 124.
    const int status = TMKShellStatus("timeout 5 " + std::string(TAMEK_TELEMETRY_BIN) + " '" + fifo + "' '" + good
                               + "' >/dev/null 2>'" + err + "'");
    EXPECT_EQ(status, 1);
    const std::string message = TMKFileText(err);
    EXPECT_NE(message.find(fifo + ": not a regular file"), std::string::npos) << message;
}

TEST_F(TelemetryToolHostile, EveryFormatReportsOutputThatCannotBeWritten)
{
    for (const char* format : {"--json", "--csv", "--gpx"}) {
        SCOPED_TRACE(format);
        const std::string tool = std::string(TAMEK_TELEMETRY_BIN) + " " + format + " '" + good + "'";
        EXPECT_EQ(TMKShellStatus(tool + " >/dev/null 2>/dev/null"), 0);
        EXPECT_EQ(TMKShellStatus(tool + " >/dev/full 2>/dev/null"), 1);
        EXPECT_EQ(TMKShellStatus(tool + " >&- 2>/dev/null"), 1);
    }
}

TEST_F(TelemetryToolHostile, GpxOfANameThatIsNotUtf8IsWellFormed)
{
    const std::string odd = (dir / "alwa_20261107_08\xef\xbf\xbf\xff\xfe_F.avi").string();
    std::filesystem::copy_file(good, odd);
    int status = -1;
    const std::string gpx = runTool("--gpx '" + odd + "'", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(gpx.find_first_of("\xff\xfe"), std::string::npos); // no raw invalid bytes left
    EXPECT_NE(gpx.find("<name>" + dir.string() + "/alwa_20261107_08\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD_F.avi</name>"),
              std::string::npos)
        << gpx;
}

TEST_F(TelemetryToolHostile, GpsRecordsAreListedAsReadWithoutSamples)
{
    TMKAviWriter writer;
    for (int s = 0; s < 3; ++s) {
        const TMKNmeaFix fix = fixAt(s, 48.1173, 11.5167);
        writer.addFix(fix, static_cast<uint32_t>(s * 1000));
    }
    writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
    const std::string gpsOnly = (dir / "alwa_20261107_081700_F.avi").string();
    ASSERT_TRUE(writer.write(gpsOnly));
    int status = -1;
    const std::string json = runTool("'" + gpsOnly + "'", status);
    EXPECT_EQ(status, 0);
    const auto at = json.find("\"gps_records\":[{\"t\":0,");
    ASSERT_NE(at, std::string::npos) << json;
    EXPECT_LT(at, json.find("{\"t\":1000,", at));
    EXPECT_LT(json.find("{\"t\":1000,", at), json.find("{\"t\":2000,", at));
    EXPECT_NE(json.find("\"lined_up\":[]"), std::string::npos);
}

} // namespace
