// tamek-log run as the user runs it: stdout, stderr and the exit status.

#include "TMKLogBytes.h"
#include "logs/TMKLogCsv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LogTool : public ::testing::Test {
protected:
    std::filesystem::path dir;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("tamek-log-tool-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string file(const std::string& name) const { return (dir / name).string(); }

    ToolRun run(const std::string& args, const std::string& stdoutTarget = {}) const
    {
        const std::string out = stdoutTarget.empty() ? file("stdout") : stdoutTarget;
        const std::string command = std::string(TAMEK_LOG_TOOL) + " " + args + " >" + out + " 2>" + file("stderr");
        const int raw = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (stdoutTarget.empty())
            result.out = readFile(out);
        result.err = readFile(file("stderr"));
        return result;
    }

    // A log of `records` numbered records announcing `announced`.
    TMKLogBytes log(TMKLogKind kind, std::uint32_t announced, std::size_t records) const
    {
        TMKLogBytes bytes = TMKLogBytes::withHeader(announced);
        const std::size_t size = TMKLogFormatOf(kind).recordSize;
        for (std::size_t i = 0; i < records; ++i) {
            const std::size_t r = bytes.addRecord(size);
            bytes.put(r, 100 + i, 2);
            bytes.put(r + (kind == TMKLogKind::Obd ? 12 : 10), 3733, 2);
        }
        return bytes;
    }

    static std::string expectedCsv(const TMKLogBytes& bytes, TMKLogKind kind)
    {
        return TMKCsvText(TMKParseDriveLog(bytes.bytes, kind).log, TMKLogColumnTitles(kind));
    }
};

} // namespace

TEST_F(LogTool, CsvOnStdoutIsThePagesExport)
{
    const TMKLogBytes flash = log(TMKLogKind::FlashData, 3, 3);
    flash.save(file("drive.DRV"));
    const ToolRun r = run("--csv " + file("drive.DRV"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedCsv(flash, TMKLogKind::FlashData));
    EXPECT_EQ(r.out.compare(0, 4, "No.,"), 0); // no byte-order mark
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;

    // The option wins over the file's type.
    const TMKLogBytes obd = log(TMKLogKind::Obd, 2, 2);
    obd.save(file("named.drv"));
    const ToolRun forced = run("--csv --obd " + file("named.drv"));
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.out, expectedCsv(obd, TMKLogKind::Obd));
}

TEST_F(LogTool, CsvWithoutTheOptionToo)
{
    const TMKLogBytes obd = log(TMKLogKind::Obd, 2, 2);
    obd.save(file("tamek_000.obd"));
    const ToolRun r = run(file("tamek_000.obd"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expectedCsv(obd, TMKLogKind::Obd));
    EXPECT_NE(r.out.find(",3733.0000,"), std::string::npos);
}

TEST_F(LogTool, BadFilesAreReportedAndTheOthersStillPrinted)
{
    const TMKLogBytes good = log(TMKLogKind::FlashData, 1, 1);
    good.save(file("good.drv"));
    TMKLogBytes cut = log(TMKLogKind::FlashData, 0xFFFFFFFFu, 2);
    cut.bytes.resize(cut.bytes.size() + 11);
    cut.save(file("cut.drv"));
    const ToolRun r = run("--csv " + file("missing.drv") + " " + file("cut.drv") + " " + file("good.drv") + " " + file("x.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.drv: cannot open: No such file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cut.drv: truncated: 2 of 4294967295 records"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("x.txt: not a .drv or .obd file"), std::string::npos) << r.err;
    // The two whole records of the cut file, then the good one.
    TMKLogBytes cutWhole = cut;
    cutWhole.bytes.resize(cutWhole.bytes.size() - 11);
    EXPECT_EQ(r.out, expectedCsv(cutWhole, TMKLogKind::FlashData) + expectedCsv(good, TMKLogKind::FlashData));
}

TEST_F(LogTool, TrailingBytesWarnButSucceed)
{
    TMKLogBytes bytes = log(TMKLogKind::Obd, 1, 2);
    bytes.save(file("long.obd"));
    const ToolRun r = run("--csv " + file("long.obd"));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: bytes after the 1 announced records are ignored"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
}

TEST_F(LogTool, UsageAndOutputErrors)
{
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--flash --obd x.drv").status, 2);
    EXPECT_EQ(run("--bogus x.drv").status, 2);
    log(TMKLogKind::FlashData, 5000, 5000).save(file("big.drv"));
    const ToolRun full = run("--csv " + file("big.drv"), "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write the output"), std::string::npos) << full.err;
}
