#pragma once

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
};

struct TKCommandResult {
    bool started = false; // false: refused or could not be spawned (see failure)
    int exitStatus = -1; // the program's exit status; 128 + signal when killed
    std::string output; // standard output, at most kTKCommandOutputLimit bytes
    std::string errors; // standard error, the same limit
    std::string failure; // why it did not start

    [[nodiscard]] bool succeeded() const { return started && exitStatus == 0; }
    // The text to show for a failed command: the failure, else its error
    // output, else its exit status.
    [[nodiscard]] std::string message() const;
};

// pkexec's own exit statuses: the user dismissed the password prompt, or no
// authentication agent or authority could be reached.
inline constexpr int kTKPkexecDismissed = 126;
inline constexpr int kTKPkexecNotAuthorized = 127;
inline constexpr std::size_t kTKCommandOutputLimit = 4 << 20;
inline constexpr std::size_t kTKCommandArgumentLimit = 4096;

// The one interface the card tools run programs through; tests put a fake in
// its place.
class TKCommandRunner {
public:
    virtual ~TKCommandRunner() = default;
    [[nodiscard]] virtual TKCommandResult run(const TKCommand& command) = 0;
};

// The programs the card tools may run, each with the places it may live.
[[nodiscard]] const std::vector<std::string_view>& TKAllowedCommandPaths(std::string_view program);
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

// Spawns the program on the calling thread and waits for it. Standard input
// is /dev/null; output beyond the limit is read and dropped so the program
// never blocks on a full pipe.
class TKProcessRunner final : public TKCommandRunner {
public:
    [[nodiscard]] TKCommandResult run(const TKCommand& command) override;
};

// A device node name the disk commands accept: "/dev/" followed by one plain
// name of letters, digits, "_", "-" and "." (not "." or ".."), as the kernel
// names block devices ("sdb1", "mmcblk0p1", "loop3").
[[nodiscard]] bool TKIsPlainDevicePath(std::string_view path);
// Whether the path names a block device (stat, following no more than the
// node itself).
[[nodiscard]] bool TKIsBlockDevice(const std::string& path);
