// The one writer of every file: what stands at the path, failures at each
// step, two writers at once, the streaming form and the lock.

#include "TMKFileText.h"
#include "base/TKAtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

unsigned modeOf(const fs::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
}

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tamek-writer-" + std::to_string(::getpid()) + "-"
                  + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        target = dir / "out.txt";
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir;
    fs::path target;
};

// Each row: what is put at the path, the policy, and what must come of a
// write of "new": an error containing `refusal` (the old state kept), or
// success with `landed` holding "new" in the mode given (0 = not checked).
struct TargetCase {
    const char* what;
    std::function<void(const fs::path& dir, const fs::path& target)> setUp;
    bool streams;
    const char* refusal;   // nullptr: must succeed
    const char* landed;    // the file that must then hold "new", in dir
    unsigned mode;
    std::vector<std::string> listing; // the folder afterwards: no temporary file
};

TEST_F(AtomicFile, WhatStandsAtThePathDecides)
{
    const mode_t mask = ::umask(027);
    const auto old = [](const fs::path& path, unsigned mode) {
        writeText(path, "old");
        ::chmod(path.c_str(), mode);
    };
    // A writer killed half way leaves its temporary file, which the next
    // write removes once its process is gone.
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string working = ".out.txt." + std::to_string(::getpid()) + "-2e.tmp";
    const std::vector<TargetCase> cases = {
        {"a new file gets the umask's mode", [](auto&, auto&) {}, false, nullptr, "out.txt", 0640, {"out.txt"}},
        {"a replaced file keeps its mode and, where the process may give it away, its owner",
            [](auto&, auto& t) {
                writeText(t, "old");
                EXPECT_TRUE(::chown(t.c_str(), 4321, 4322) == 0 || ::geteuid() != 0);
                ::chmod(t.c_str(), 02750); // after the owner, which clears the set-group bit
            },
            false, nullptr, "out.txt", 02750, {"out.txt"}},
        {"a link is followed and stays", [&](auto& d, auto& t) { old(d / "real.txt", 0600); fs::create_symlink("real.txt", t); },
            false, nullptr, "real.txt", 0600, {"out.txt", "real.txt"}},
        {"a link to a file not there yet makes it",
            [](auto& d, auto& t) { fs::create_directory(d / "sub"); fs::create_symlink("sub/new.txt", t); }, false,
            nullptr, "sub/new.txt", 0640, {"out.txt", "sub"}},
        {"hard links are refused",
            [&](auto& d, auto& t) { old(t, 0644); fs::create_hard_link(t, d / "other.txt"); }, false, "2 hard links",
            nullptr, 0, {"other.txt", "out.txt"}},
        {"read-only is refused, by root too", [&](auto&, auto& t) { old(t, 0444); }, false, "read-only", nullptr, 0,
            {"out.txt"}},
        {"a folder", [](auto&, auto& t) { fs::create_directory(t); }, true, "is a folder", nullptr, 0, {"out.txt"}},
        {"a loop of links", [](auto& d, auto& t) { fs::create_symlink("loop", t); fs::create_symlink("out.txt", d / "loop"); },
            false, "Too many levels", nullptr, 0, {"loop", "out.txt"}},
        {"a FIFO nobody reads is refused at once", [](auto&, auto& t) { ::mkfifo(t.c_str(), 0600); }, true,
            "nothing reads from it", nullptr, 0, {"out.txt"}},
        {"a link to /dev/null, not a stream", [](auto&, auto& t) { fs::create_symlink("/dev/null", t); }, false,
            "not a regular file", nullptr, 0, {"out.txt"}},
        {"/dev/null as a stream", [](auto&, auto& t) { fs::create_symlink("/dev/null", t); }, true, nullptr, nullptr, 0,
            {"out.txt"}},
        {"a dead writer's leftover goes; one still at work and a look-alike of another file stay",
            [&](auto& d, auto&) {
                writeText(d / (".out.txt." + std::to_string(dead) + "-1f.tmp"), "half");
                writeText(d / working, "half");
                writeText(d / ".out.txt.1-x.tmp", "other");
            },
            false, nullptr, "out.txt", 0640, {".out.txt.1-x.tmp", working, "out.txt"}},
        {"/dev/full as a stream", [](auto&, auto& t) { fs::create_symlink("/dev/full", t); }, true,
            "write: No space left on device", nullptr, 0, {"out.txt"}},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir);
        fs::create_directories(dir);
        c.setUp(dir, target);
        const auto before = fs::exists(fs::symlink_status(target)) && fs::is_regular_file(fs::symlink_status(target))
                                ? TMKFileText(target) : std::string();
        struct stat owner {};
        const bool replaces = c.landed && ::stat((dir / c.landed).c_str(), &owner) == 0;
        const auto result = TKWriteFileAtomically(target.string(), "new", TKWritePolicy{c.streams});
        if (c.refusal) {
            ASSERT_TRUE(result);
            EXPECT_NE(result->find(c.refusal), std::string::npos) << *result;
            if (!before.empty()) {
                EXPECT_EQ(TMKFileText(target), before);
            }
        } else {
            EXPECT_FALSE(result) << *result;
            if (c.landed) {
                EXPECT_EQ(TMKFileText(dir / c.landed), "new");
                EXPECT_EQ(modeOf(dir / c.landed), c.mode);
                struct stat now {};
                EXPECT_TRUE(::stat((dir / c.landed).c_str(), &now) == 0 && (!replaces || now.st_uid == owner.st_uid));
                EXPECT_TRUE(!replaces || now.st_gid == owner.st_gid);
            }
        }
        EXPECT_EQ(listing(), c.listing);
    }
    EXPECT_TRUE(TKWriteFileAtomically("", "x"));
    EXPECT_TRUE(TKWriteFileAtomically((dir / "missing" / "x").string(), "x"));
    ::umask(mask);
}

// A card pulled or a disk full at each step: the old file survives whole and
// no temporary file is left beside it.
TEST_F(AtomicFile, FailureAtEachStepKeepsTheOldFile)
{
    enum class Failure { WriteAfter100Bytes, WriteReturnsZero, Fsync, Rename, NotCommitted };
    for (const Failure failure :
        {Failure::WriteAfter100Bytes, Failure::WriteReturnsZero, Failure::Fsync, Failure::Rename, Failure::NotCommitted}) {
        SCOPED_TRACE(static_cast<int>(failure));
        writeText(target, "old");
        TKFileCalls calls = TKFileCalls::system();
        std::size_t written = 0;
        calls.write = [&](int fd, const void* data, std::size_t size) -> ssize_t {
            if (failure == Failure::WriteReturnsZero)
                return 0;
            if (failure == Failure::WriteAfter100Bytes && written >= 100) {
                errno = ENOSPC;
                return -1;
            }
            // Short writes, as on a slow card; the writer must carry on.
            const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, 50));
            written += static_cast<std::size_t>(n);
            return n;
        };
        if (failure == Failure::Fsync)
            calls.fsync = [](int) { errno = EIO; return -1; };
        if (failure == Failure::Rename)
            calls.rename = [](const char*, const char*) { errno = EROFS; return -1; };
        {
            TKAtomicWriter writer({}, calls);
            ASSERT_FALSE(writer.open(target.string()));
            EXPECT_TRUE(fs::exists(writer.temporaryPath()));
            std::optional<std::string> error;
            for (int piece = 0; piece < 10 && !error; ++piece)
                error = writer.append(std::string(80, 'n'));
            if (failure != Failure::NotCommitted && !error)
                error = writer.commit();
            EXPECT_EQ(!error, failure == Failure::NotCommitted) << error.value_or("");
            if (error) {
                EXPECT_TRUE(writer.commit()) << "a failed writer stays failed";
            }
        }
        EXPECT_EQ(TMKFileText(target), "old");
        EXPECT_EQ(listing(), std::vector<std::string>{"out.txt"});
    }
}

// Two processes write the one file 200 times each at once: every write is
// told success, and the file is always one writer's whole text in its mode.
TEST_F(AtomicFile, TwoWritersAtOnceEachPlaceAWholeFile)
{
    const std::string a(200000, 'a');
    const std::string b(300000, 'b');
    writeText(target, a);
    ::chmod(target.c_str(), 0640);
    constexpr int kRounds = 200;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int failures = 0;
        for (int i = 0; i < kRounds; ++i)
            failures += TKWriteFileAtomically(target.string(), b).has_value();
        ::_exit(failures == 0 ? 0 : 1);
    }
    int failures = 0;
    int torn = 0;
    for (int i = 0; i < kRounds; ++i) {
        failures += TKWriteFileAtomically(target.string(), a).has_value();
        const std::string text = TMKFileText(target);
        torn += text != a && text != b;
        if (modeOf(target) != 0640)
            ++torn;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other writer was told of a failure";
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(listing(), std::vector<std::string>{"out.txt"});
}

TEST_F(AtomicFile, StreamsGetEveryByteAndAReaderThatLeavesIsAnError)
{
    const fs::path fifo = dir / "report.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string text(300000, 'k');
    for (const bool readerLeaves : {false, true}) {
        SCOPED_TRACE(readerLeaves);
        std::string received;
        // The reader is there before the writer opens (else: "nothing reads
        // from it") and reads until the writer closes, or leaves early.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        TKAtomicWriter writer(kTKOutputPolicy);
        ASSERT_FALSE(writer.open(fifo.string()));
        EXPECT_TRUE(writer.temporaryPath().empty());
        ::fcntl(reader, F_SETFL, ::fcntl(reader, F_GETFL) & ~O_NONBLOCK);
        std::thread drain([&] {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = ::read(reader, buffer, sizeof buffer)) > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                if (readerLeaves && received.size() >= 4096)
                    break;
            }
            ::close(reader);
        });
        auto error = writer.append(text);
        if (!error)
            error = writer.commit();
        drain.join();
        if (readerLeaves) {
            // Still here: no SIGPIPE ended the process.
            ASSERT_TRUE(error);
            EXPECT_NE(error->find("Broken pipe"), std::string::npos) << *error;
        } else {
            EXPECT_FALSE(error) << *error;
            EXPECT_EQ(received, text);
        }
        EXPECT_TRUE(fs::is_fifo(fifo));
    }
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

TEST_F(AtomicFile, LockMakesASecondWriterWaitOrGiveUp)
{
    const std::string file = target.string();
    TKFileLock first;
    ASSERT_FALSE(TKLockFileForUpdate(file, first, std::chrono::milliseconds(0)));
    ASSERT_TRUE(first.held());

    TKFileLock second;
    const auto start = std::chrono::steady_clock::now();
    const auto busy = TKLockFileForUpdate(file, second, std::chrono::milliseconds(150));
    ASSERT_TRUE(busy);
    EXPECT_TRUE(busy->busy);
    EXPECT_NE(busy->text.find("another program"), std::string::npos);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_FALSE(second.held());

    // Released half way through the wait: the second writer goes on.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        first.release();
    });
    EXPECT_FALSE(TKLockFileForUpdate(file, second, std::chrono::seconds(5)));
    releaser.join();
    EXPECT_TRUE(second.held());

    // A link and its target are one file, guarded by one lock.
    const std::string link = (dir / "link.txt").string();
    fs::create_symlink(file, link);
    TKFileLock third;
    EXPECT_TRUE(TKLockFileForUpdate(link, third, std::chrono::milliseconds(0)));

    // No folder to lock is not "busy".
    const auto missing = TKLockFileForUpdate((dir / "gone/x").string(), third, std::chrono::milliseconds(0));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->busy);
}

} // namespace
