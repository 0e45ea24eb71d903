#include "TKCardTestSupport.h"
#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskDiscovery.h"
#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKExternalCommand.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;

TEST(ExternalCommand, OnlyAllowListedProgramsByAbsolutePath)
{
    for (const std::string program : {"rm", "bash", "../sbin/mkfs.fat", "/usr/sbin/mkfs.fat", "mkfs.fat "}) {
        std::string problem;
        EXPECT_FALSE(TKCommandArgv({program, {}, false}, true, &problem)) << program;
        EXPECT_NE(problem.find("not allowed"), std::string::npos) << problem;
    }
    // No shell: the tests' own "sh" is an override.
    EXPECT_TRUE(TKAllowedCommandPaths("sh").empty());
    EXPECT_EQ(TKAllowedCommandPaths("tamek-erase-card"), std::vector<std::string_view>{kTKEraseHelperPath});
    const auto argv = TKCommandArgv({"sh", {"-c", "true"}, false}, true);
    ASSERT_TRUE(argv);
    EXPECT_EQ(argv->front(), "/bin/sh");

    EXPECT_TRUE(TKCommandProblem({"sh", {std::string("a\0b", 3)}, false}));
    EXPECT_TRUE(TKCommandProblem({"sh", {std::string(kTKCommandArgumentLimit + 1, 'x')}, false}));
    EXPECT_FALSE(TKCommandProblem({"sh", {std::string(kTKCommandArgumentLimit, 'x')}, false}));
}

TEST(ExternalCommand, AdministratorRightsGoThroughPkexecUnlessRoot)
{
    const auto asRoot = TKCommandArgv({"sh", {"-c", "id"}, true}, true);
    ASSERT_TRUE(asRoot);
    EXPECT_EQ(asRoot->size(), 3u);
    std::string problem;
    const auto asUser = TKCommandArgv({"sh", {"-c", "id"}, true}, false, &problem);
    if (TKResolveCommand("pkexec")) {
        ASSERT_TRUE(asUser);
        EXPECT_EQ(asUser->front(), "/usr/bin/pkexec");
        EXPECT_EQ(asUser->at(1), asRoot->front());
    } else {
        // Without pkexec the command must not quietly run without the rights.
        EXPECT_FALSE(asUser);
        EXPECT_NE(problem.find("pkexec"), std::string::npos);
    }
}

TEST(ExternalCommand, RunsArgvAndReturnsStatusAndOutput)
{
    TKProcessRunner runner;
    // An argument is one word, never a shell line.
    auto result = runner.run({"sh", {"-c", "printf '%s|' \"$@\"; echo oops >&2; exit 3", "sh", "a b", "$(id)", ";x"}, false});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.output, "a b|$(id)|;x|");
    EXPECT_EQ(result.errors, "oops\n");
    EXPECT_EQ(result.message(), "oops");
    EXPECT_FALSE(result.succeeded());

    // Standard input is empty, so a program that reads it does not hang.
    const auto start = std::chrono::steady_clock::now();
    result = runner.run({"sh", {"-c", "cat; echo done"}, false});
    EXPECT_EQ(result.output, "done\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // A killed program is not a success.
    result = runner.run({"sh", {"-c", "kill -9 $$"}, false});
    EXPECT_EQ(result.exitStatus, 128 + 9);
    EXPECT_FALSE(result.succeeded());

    // Output beyond the limit is dropped, both pipes are drained.
    result = runner.run({"sh", {"-c", "head -c 9000000 /dev/zero; head -c 9000000 /dev/zero >&2; exit 0"}, false});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.output.size(), kTKCommandOutputLimit);
    EXPECT_EQ(result.errors.size(), kTKCommandOutputLimit);
}

// A hung program is stopped at its limit, TERM first, KILL for one that
// ignores TERM, and with it what it started.
TEST(ExternalCommand, HungProgramIsStoppedAtItsLimit)
{
    const std::chrono::milliseconds grace(200);
    TKProcessRunner runner(grace);
    for (const std::string script : {"sleep 30", "trap '' TERM; sleep 30 & echo $!; wait"}) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = runner.run({"sh", {"-c", script}, false, std::chrono::milliseconds(300)});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300) + grace + std::chrono::seconds(1));
        EXPECT_TRUE(result.timedOut) << script;
        EXPECT_FALSE(result.succeeded());
        EXPECT_EQ(result.message(), "sh did not finish within 0.3 s and was stopped");
        if (!result.output.empty()) {
            // A killed process may still be on its way out for a moment.
            std::string state;
            for (int i = 0; i < 100; ++i) {
                std::ifstream stat("/proc/" + result.output.substr(0, result.output.find('\n')) + "/stat");
                std::string pid, name;
                if (!(stat >> pid >> name >> state) || state == "Z") {
                    state.clear();
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_TRUE(state.empty()) << "the background sleep outlived the stop: " << state;
        }
    }
    using std::chrono::minutes;
    using std::chrono::seconds;
    EXPECT_EQ(TKTimeLimit({"udisksctl", {}, false}), seconds(30));
    EXPECT_EQ(TKTimeLimit({"mkfs.fat", {}, false}), minutes(5));
    EXPECT_EQ(TKTimeLimit({"fatlabel", {}, true}), minutes(10)) << "the password prompt waits for the user";
    EXPECT_EQ(TKDurationText(TKTimeLimit({"tamek-erase-card", {}, true})), "10 min");
}

TEST(ExternalCommand, PathNeverChoosesTheProgram)
{
    // A fake lsblk and fatlabel earlier in PATH: the disk layer must not run them.
    const fs::path dir = fs::temp_directory_path() / ("tamek-path-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path marker = dir / "ran";
    for (const char* name : {"lsblk", "fatlabel", "mkfs.fat"}) {
        std::ofstream script(dir / name);
        script << "#!/bin/sh\necho '{\"blockdevices\":[]}'\ntouch " << marker.string() << "\n";
        script.close();
        fs::permissions(dir / name, fs::perms::owner_all);
    }
    const std::string oldPath = std::getenv("PATH");
    ::setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);
    TKLocalDiskSystem local;
    (void)local.blockDevicesJSON();
    TKProcessRunner runner;
    (void)runner.run({"fatlabel", {"--", "/dev/null-no-such"}, false});
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(fs::exists(marker));
    fs::remove_all(dir);
}

TEST(ExternalCommand, DeviceNamesAndNodes)
{
    for (const std::string ok : {"/dev/sdb", "/dev/sdb1", "/dev/mmcblk0p1", "/dev/loop7", "/dev/nvme0n1p2", "/dev/sr_0"})
        EXPECT_TRUE(TKIsPlainDevicePath(ok)) << ok;
    for (const std::string& bad : std::vector<std::string>{"", "/dev/", "/dev/.", "/dev/..", "/dev/../etc/passwd", "/dev/disk/by-id/x", "dev/sdb",
             "/tmp/sdb", "/dev/-f", "/dev/sdb 1", "/dev/sdb;id", "/dev/$(id)", std::string("/dev/sd\0b", 9),
             "/dev/" + std::string(65, 'a')})
        EXPECT_FALSE(TKIsPlainDevicePath(bad)) << bad;
    EXPECT_FALSE(TKIsBlockDevice("/dev/null")); // a character device
    EXPECT_FALSE(TKIsBlockDevice("/etc/hostname"));
    EXPECT_FALSE(TKIsBlockDevice("/dev/no-such-device"));
}
