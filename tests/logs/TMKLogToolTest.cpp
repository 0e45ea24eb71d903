// tamek-log run as the user runs it: stdout, stderr and the exit status,
// held to the memory and time a hostile log must stay within.

#include "TMKFileText.h"
#include "TMKLogBytes.h"
#include "logs/TMKLogCsv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// 64 MiB and 10 s whatever the log. ASan reserves terabytes of address
// space for itself, so its build is held to the time only, and a log
// larger than the memory limit proves nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kLimits = "timeout -s KILL 10 ";
constexpr long kSparse = 1 << 20;
#else
constexpr const char* kLimits = "timeout -s KILL 10 prlimit --as=67108864 ";
constexpr long kSparse = 24 << 20;
#endif

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

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

    // The status is 128 + the signal that ended the tool, 137 after the time limit.
    ToolRun run(const std::string& args, const std::string& stdoutTarget = {}, const std::string& in = "/dev/null") const
    {
        const std::string out = stdoutTarget.empty() ? file("stdout") : stdoutTarget;
        const std::string command = kLimits + std::string(TAMEK_LOG_TOOL) + " " + args + " <" + in + " >" + out + " 2>"
            + file("stderr");
        const int raw = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (stdoutTarget.empty())
            result.out = TMKFileText(out);
        result.err = TMKFileText(file("stderr"));
        return result;
    }

    // A log of `records` numbered records announcing `announced`.
    static TMKLogBytes log(TMKLogKind kind, std::uint32_t announced, std::size_t records)
    {
        TMKLogBytes bytes = TMKLogBytes::withHeader(announced);
        const std::size_t size = TMKLogFormatOf(kind).recordSize;
        for (std::size_t i = 0; i < records; ++i)
            bytes.addRecord(size, {{0, static_cast<std::int64_t>(100 + i), 2}, {kind == TMKLogKind::Obd ? 12u : 10u, 3733, 2}});
        return bytes;
    }

    static std::string expectedCsv(const TMKLogBytes& bytes, TMKLogKind kind)
    {
        return TMKCsvText(TMKParseDriveLog(bytes.bytes, kind).log, TMKLogColumnTitles(kind));
    }
};

} // namespace

TEST_F(LogTool, CsvOnStdoutHostileLogsBadFilesAndUsage)
{
    // The option wins over the file's type.
    const TMKLogBytes obd = log(TMKLogKind::Obd, 2, 2);
    obd.save(file("named.drv"));
    const ToolRun forced = run("--csv --obd " + file("named.drv"));
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.out, expectedCsv(obd, TMKLogKind::Obd));
    EXPECT_TRUE(forced.err.empty()) << forced.err;

    // How the tool tells each outcome of a read (which the reader's own tests
    // go through case by case), and what is not a file at all: the whole
    // records there are printed, the rest reported, nothing waited for.
    // A writer that sent a whole log and keeps the FIFO open; it is stdin too.
    const std::string fifo = file("written.obd");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    const TMKLogBytes whole = log(TMKLogKind::Obd, 1, 1);
    ASSERT_EQ(::write(writer, whole.bytes.data(), whole.bytes.size()), static_cast<ssize_t>(whole.bytes.size()));
    ASSERT_EQ(::mkfifo(file("unwritten.obd").c_str(), 0600), 0);
    // Sparse zeros that claim four billion records: at 24 MiB, holding them
    // whole, let alone doubling a buffer past them, does not fit the limit.
    log(TMKLogKind::Obd, 0xFFFFFFFFu, 0).save(file("sparse.obd"));
    std::filesystem::resize_file(file("sparse.obd"), kSparse);
    const long sparseRows = (kSparse - 12) / 68;
    std::filesystem::create_symlink(file("sparse.obd"), file("link.obd"));

    struct Case {
        const char* name;
        TMKLogBytes bytes; // saved as the file unless `path` is given
        std::string path;
        int status;
        long rows;         // CSV lines after the header; -1 for no output
        std::string err;   // part of stderr; "" for none
    };
    const char* refused = "cannot open: not a regular file";
    const std::vector<Case> cases{
        {"count 1, two records", log(TMKLogKind::Obd, 1, 2), {}, 0, 1, "warning: bytes after the 1 announced records are ignored"},
        {"FIFO with a writer", {}, fifo, 1, -1, "written.obd: cannot open: not a regular file"},
        {"FIFO without a writer", {}, file("unwritten.obd"), 1, -1, refused},
        {"zeros", {}, "/dev/zero", 1, -1, refused},
        {"stdin, that FIFO", {}, "/dev/stdin", 1, -1, refused},
        {"directory", {}, dir.string(), 1, -1, "cannot open: Is a directory"},
        {"sparse, by a symlink", {}, file("link.obd"), 1, sparseRows,
         "truncated: " + std::to_string(sparseRows) + " of 4294967295 records are complete"},
    };
    for (const Case& c : cases) {
        const std::string path = c.path.empty() ? file("log.obd") : c.path;
        if (c.path.empty())
            c.bytes.save(path);
        const ToolRun r = run("--obd " + path, {}, fifo);
        SCOPED_TRACE(std::string(c.name) + ": " + r.err);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.empty(), c.err.empty());
        EXPECT_NE(r.err.find(c.err), std::string::npos);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), c.rows + 1);
        if (c.path.empty()) {
            EXPECT_EQ(r.out, expectedCsv(c.bytes, TMKLogKind::Obd));
        } else if (c.rows > 0) { // the sparse zeros up to the last whole record
            const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
            EXPECT_EQ(last.substr(0, last.find(',')), std::to_string(c.rows));
        }
    }
    ::close(writer);

    // Bad files are reported and the others still printed.
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

    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("--flash --obd x.drv").status, 2);
    EXPECT_EQ(run("--bogus x.drv").status, 2);
    log(TMKLogKind::FlashData, 5000, 5000).save(file("big.drv"));
    const ToolRun full = run("--csv " + file("big.drv"), "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write the output"), std::string::npos) << full.err;
}
