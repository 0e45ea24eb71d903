#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every external program the card tools run goes through here: a program is
// named by its tool name, found only at the absolute paths of the allow-list
// (never through PATH), and gets its arguments as an argv, not a shell line.

struct TKCommand {
    std::string program; // a tool name of the allow-list: "mkfs.fat", "udisksctl"...
    std::vector<std::string> arguments;
    bool administrator = false; // through pkexec unless already root
    // How long it may run before it is stopped; zero takes TKDefaultTimeLimit.
    std::chrono::milliseconds timeLimit{0};
};

struct TKCommandResult {
    bool started = false; // false: refused or could not be spawned (see failure)
    int exitStatus = -1; // the program's exit status; 128 + signal when killed
    std::string output; // standard output, at most kTKCommandOutputLimit bytes
    std::string errors; // standard error, the same limit
    std::string failure; // why it did not start, or that it was stopped
    bool timedOut = false; // ran past its limit and was stopped (TERM, then KILL)

    [[nodiscard]] bool succeeded() const { return started && !timedOut && exitStatus == 0; }
    // The text to show for a failed command: the failure (or the stop),
    // else its error output, else its exit status.
    [[nodiscard]] std::string message() const;
};

// pkexec's own exit statuses: the user dismissed the password prompt, or no
// authentication agent or authority could be reached.
inline constexpr int kTKPkexecDismissed = 126;
inline constexpr int kTKPkexecNotAuthorized = 127;
inline constexpr std::size_t kTKCommandOutputLimit = 4 << 20;
inline constexpr std::size_t kTKCommandArgumentLimit = 4096;
// After TERM a stopped program gets this long to end before KILL.
inline constexpr std::chrono::milliseconds kTKCommandKillGrace{2000};

// The limit that fits the program's work: lsblk, udisks and mount ~30 s,
// the erase minutes (cards are slow), the erase helper 10 min since it waits
// for the password prompt, as does any command run through pkexec.
[[nodiscard]] std::chrono::milliseconds TKDefaultTimeLimit(std::string_view program, bool administrator);
// The command's own limit, else the default.
[[nodiscard]] std::chrono::milliseconds TKTimeLimit(const TKCommand& command);
// "30 s", "10 min", "0.2 s".
[[nodiscard]] std::string TKDurationText(std::chrono::milliseconds duration);

// The installed erase helper; the polkit action names the same path.
inline constexpr std::string_view kTKEraseHelperPath = "/usr/libexec/tamek/tamek-erase-card";

// The one interface the card tools run programs through; tests put a fake in
// its place.
class TKCommandRunner {
public:
    virtual ~TKCommandRunner() = default;
    [[nodiscard]] virtual TKCommandResult run(const TKCommand& command) = 0;
};

// The programs the card tools may run, each with the places it may live.
[[nodiscard]] const std::vector<std::string_view>& TKAllowedCommandPaths(std::string_view program);
// Points a program name at one absolute path instead (the erase helper of
// the build tree, a test's own programs); nothing removes the override.
// Set by code only, never from the environment.
void TKSetCommandPathOverride(std::string_view program, std::optional<std::string> path);
// The first allowed path that is an executable file; nothing for a program
// off the list or not installed.
[[nodiscard]] std::optional<std::string> TKResolveCommand(std::string_view program);
// Why the command may not run (unknown program, an argument with a NUL byte
// or longer than kTKCommandArgumentLimit), or nothing when it may.
[[nodiscard]] std::optional<std::string> TKCommandProblem(const TKCommand& command);

// The argv that runs the command: the program by absolute path, behind
// pkexec (by absolute path) when it needs rights and we are not root.
// Nothing, with the reason in `problem`, when it may not run.
[[nodiscard]] std::optional<std::vector<std::string>> TKCommandArgv(const TKCommand& command, bool runningAsRoot,
    std::string* problem = nullptr);

// Spawns the program on the calling thread and waits for it, at most its
// time limit: then its process group gets TERM, and KILL after the grace.
// Standard input is /dev/null; output beyond the limit is read and dropped
// so the program never blocks on a full pipe.
class TKProcessRunner final : public TKCommandRunner {
public:
    explicit TKProcessRunner(std::chrono::milliseconds killGrace = kTKCommandKillGrace) : m_killGrace(killGrace) {}
    [[nodiscard]] TKCommandResult run(const TKCommand& command) override;

private:
    std::chrono::milliseconds m_killGrace; // from TERM to KILL
};

// A device node name the disk commands accept: "/dev/" followed by one plain
// name of letters, digits, "_", "-" and "." (not "." or ".."), as the kernel
// names block devices ("sdb1", "mmcblk0p1", "loop3").
[[nodiscard]] bool TKIsPlainDevicePath(std::string_view path);
// Whether the path names a block device (stat, following no more than the
// node itself).
[[nodiscard]] bool TKIsBlockDevice(const std::string& path);
