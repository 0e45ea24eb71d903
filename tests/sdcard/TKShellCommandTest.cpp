#include "sdcard/TKShellCommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// What /bin/sh makes of a command line: runs it and returns its output.
std::string runShell(const std::string& line)
{
    std::string output;
    std::FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe)
        return "<popen failed>";
    char buffer[256];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

} // namespace

TEST(ShellCommand, QuotedWordsReachTheCommandUnchanged)
{
    for (const std::string word : { "/media/driver/TAMEK", "/media/driver/MY CARD", "it's", "$(touch /tmp/x)",
             "`id`", "a;b|c&d", "\"quoted\"", "back\\slash", "new\nline", "*", "" }) {
        const auto quoted = TKShellQuote(word);
        ASSERT_TRUE(quoted) << word;
        EXPECT_EQ(runShell("printf '%s' " + *quoted), word) << *quoted;
    }
    EXPECT_EQ(TKShellQuote(std::string("a\0b", 3)), std::nullopt);
}

TEST(ShellCommand, CommandLineJoinsQuotedWords)
{
    const std::vector<std::string> words = { "printf", "%s|", "/dev/sdb1", "/media/driver/MY CARD" };
    const auto line = TKShellCommandLine(words);
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "'printf' '%s|' '/dev/sdb1' '/media/driver/MY CARD'");
    EXPECT_EQ(runShell(*line), "/dev/sdb1|/media/driver/MY CARD|");
    const std::vector<std::string> bad = { "umount", std::string("x\0y", 3) };
    EXPECT_EQ(TKShellCommandLine(bad), std::nullopt);
}

TEST(ShellCommand, AdministratorRightsThroughPkexecUnlessRoot)
{
    using Argv = std::vector<std::string>;
    EXPECT_EQ(TKShellScriptArgv("mkfs.fat -F 32 /dev/sdb1", true, false),
        Argv({ "/usr/bin/pkexec", "/bin/sh", "-c", "mkfs.fat -F 32 /dev/sdb1" }));
    EXPECT_EQ(TKShellScriptArgv("mkfs.fat -F 32 /dev/sdb1", true, true), Argv({ "/bin/sh", "-c", "mkfs.fat -F 32 /dev/sdb1" }));
    EXPECT_EQ(TKShellScriptArgv("udisksctl unmount -b /dev/sdb1", false, false),
        Argv({ "/bin/sh", "-c", "udisksctl unmount -b /dev/sdb1" }));
}
