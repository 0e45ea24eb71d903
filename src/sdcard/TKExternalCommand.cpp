#include "sdcard/TKExternalCommand.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Paths = std::vector<std::string_view>;

// Debian keeps system tools in /usr/sbin and /sbin, others in /usr/bin and
// /bin (the same folders since the /usr merge, but not on every system).
const std::map<std::string_view, Paths>& allowList()
{
    static const std::map<std::string_view, Paths> list = {
        {"fatlabel", {"/usr/sbin/fatlabel", "/sbin/fatlabel"}},
        {"gnome-disks", {"/usr/bin/gnome-disks"}},
        {"gparted", {"/usr/sbin/gparted", "/usr/bin/gparted"}},
        {"kdepartitionmanager", {"/usr/bin/partitionmanager", "/usr/bin/kdepartitionmanager"}},
        {"lsblk", {"/usr/bin/lsblk", "/bin/lsblk"}},
        {"mcopy", {"/usr/bin/mcopy", "/bin/mcopy"}},
        {"mkfs.fat", {"/usr/sbin/mkfs.fat", "/sbin/mkfs.fat"}},
        {"mount", {"/usr/bin/mount", "/bin/mount"}},
        {"pkexec", {"/usr/bin/pkexec"}},
        {"tamek-erase-card", {kTKEraseHelperPath}},
        {"udisksctl", {"/usr/bin/udisksctl", "/bin/udisksctl"}},
        {"umount", {"/usr/bin/umount", "/bin/umount"}},
    };
    return list;
}

struct Overrides {
    std::mutex lock;
    std::map<std::string, Paths, std::less<>> paths;
    std::vector<std::unique_ptr<std::string>> keep; // what the views of `paths` point into
};

Overrides& overrides()
{
    static Overrides instance;
    return instance;
}

using Clock = std::chrono::steady_clock;

void closeQuietly(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The stop of a program past its limit: TERM to its group at the deadline,
// KILL once the grace has passed too.
struct Stopper {
    pid_t group;
    Clock::time_point deadline;
    std::chrono::milliseconds grace;
    int signalsSent = 0;

    // Signals when the deadline has passed; false once nothing is left to send.
    bool step()
    {
        if (Clock::now() < deadline)
            return true;
        if (signalsSent == 2)
            return false;
        ::kill(-group, signalsSent == 0 ? SIGTERM : SIGKILL);
        deadline = Clock::now() + (signalsSent == 0 ? grace : std::chrono::milliseconds(1000));
        ++signalsSent;
        return true;
    }
    [[nodiscard]] int millisecondsLeft() const
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60'000));
    }
};

// Reads both pipes until the program closes them; whatever passes the limit
// is dropped, so a chatty program neither blocks nor fills our memory. Pipes
// still open a moment after the KILL (held by a child that left the group)
// are abandoned.
void drain(Stopper& stopper, int outFd, int errFd, std::string& output, std::string& errors)
{
    std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
    std::array<std::string*, 2> sinks{&output, &errors};
    char buffer[8192];
    while ((fds[0].fd >= 0 || fds[1].fd >= 0) && stopper.step()) {
        const int ready = ::poll(fds.data(), fds.size(), stopper.millisecondsLeft());
        if (ready == 0)
            continue;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                const std::size_t room = kTKCommandOutputLimit - std::min(kTKCommandOutputLimit, sinks[i]->size());
                sinks[i]->append(buffer, std::min(room, static_cast<std::size_t>(n)));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (auto& fd : fds)
        closeQuietly(fd.fd);
}

// Waits for the program itself, stopping it the same way should it outlive
// its pipes and the deadline.
int reap(Stopper& stopper, pid_t pid)
{
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR)
            return -1;
        if (!stopper.step())
            stopper.deadline = Clock::now() + std::chrono::hours(1); // KILLed: only the kernel is left
        ::usleep(10'000);
    }
}

} // namespace

std::string TKCommandResult::message() const
{
    if (!started || timedOut)
        return failure;
    std::string text = errors;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty())
        return text;
    return "exit status " + std::to_string(exitStatus);
}

std::chrono::milliseconds TKDefaultTimeLimit(std::string_view program, bool administrator)
{
    using std::chrono::minutes;
    using std::chrono::seconds;
    std::chrono::milliseconds limit = minutes(1);
    if (program == "lsblk" || program == "udisksctl" || program == "mount" || program == "umount")
        limit = seconds(30);
    else if (program == "mkfs.fat")
        limit = minutes(5);
    else if (program == "tamek-erase-card")
        limit = minutes(10);
    // pkexec waits for the user at the password prompt.
    return administrator ? std::max<std::chrono::milliseconds>(limit, minutes(10)) : limit;
}

std::chrono::milliseconds TKTimeLimit(const TKCommand& command)
{
    return command.timeLimit.count() > 0 ? command.timeLimit
                                         : TKDefaultTimeLimit(command.program, command.administrator);
}

std::string TKDurationText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    if (ms >= 60'000 && ms % 60'000 == 0)
        return std::to_string(ms / 60'000) + " min";
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + " s";
    const auto tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

const std::vector<std::string_view>& TKAllowedCommandPaths(std::string_view program)
{
    static const Paths none;
    const auto found = allowList().find(program);
    return found == allowList().end() ? none : found->second;
}

void TKSetCommandPathOverride(std::string_view program, std::optional<std::string> path)
{
    Overrides& o = overrides();
    const std::lock_guard guard(o.lock);
    if (!path) {
        o.paths.erase(std::string(program));
        return;
    }
    o.keep.push_back(std::make_unique<std::string>(std::move(*path)));
    o.paths[std::string(program)] = Paths{*o.keep.back()};
}

namespace {

// The override, else the allow-list.
Paths candidatePaths(std::string_view program)
{
    {
        Overrides& o = overrides();
        const std::lock_guard guard(o.lock);
        if (const auto found = o.paths.find(program); found != o.paths.end())
            return found->second;
    }
    return TKAllowedCommandPaths(program);
}

} // namespace

std::optional<std::string> TKResolveCommand(std::string_view program)
{
    for (const std::string_view candidate : candidatePaths(program)) {
        const std::string path(candidate);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> TKCommandProblem(const TKCommand& command)
{
    if (candidatePaths(command.program).empty())
        return "program not allowed: " + command.program;
    for (const auto& argument : command.arguments) {
        if (argument.find('\0') != std::string::npos)
            return "argument holds a NUL byte";
        if (argument.size() > kTKCommandArgumentLimit)
            return "argument too long";
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> TKCommandArgv(const TKCommand& command, bool runningAsRoot,
    std::string* problem)
{
    const auto fail = [problem](std::string why) {
        if (problem)
            *problem = std::move(why);
        return std::nullopt;
    };
    if (auto refused = TKCommandProblem(command))
        return fail(*refused);
    const auto program = TKResolveCommand(command.program);
    if (!program)
        return fail(command.program + " not found");
    std::vector<std::string> argv;
    if (command.administrator && !runningAsRoot) {
        const auto pkexec = TKResolveCommand("pkexec");
        if (!pkexec)
            return fail("pkexec not found: administrator rights are needed");
        argv.push_back(*pkexec);
    }
    argv.push_back(*program);
    argv.insert(argv.end(), command.arguments.begin(), command.arguments.end());
    return argv;
}

TKCommandResult TKProcessRunner::run(const TKCommand& command)
{
    TKCommandResult result;
    auto argv = TKCommandArgv(command, ::geteuid() == 0, &result.failure);
    if (!argv)
        return result;

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        result.failure = std::string("pipe: ") + std::strerror(errno);
        closeQuietly(outPipe[0]);
        closeQuietly(outPipe[1]);
        return result;
    }
    std::vector<char*> args;
    for (auto& arg : *argv)
        args.push_back(arg.data());
    args.push_back(nullptr);

    // Its own process group, so a stop reaches what it started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = 0;
    const auto limit = TKTimeLimit(command);
    const auto deadline = Clock::now() + limit;
    const int spawned = ::posix_spawn(&pid, args.front(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeQuietly(outPipe[1]);
    closeQuietly(errPipe[1]);
    if (spawned != 0) {
        closeQuietly(outPipe[0]);
        closeQuietly(errPipe[0]);
        result.failure = argv->front() + ": " + std::strerror(spawned);
        return result;
    }
    result.started = true;
    Stopper stopper{pid, deadline, m_killGrace};
    drain(stopper, outPipe[0], errPipe[0], result.output, result.errors);
    result.exitStatus = reap(stopper, pid);
    if (stopper.signalsSent > 0) {
        result.timedOut = true;
        result.failure = command.program + " did not finish within " + TKDurationText(limit) + " and was stopped";
    }
    return result;
}

bool TKIsPlainDevicePath(std::string_view path)
{
    constexpr std::string_view prefix = "/dev/";
    if (!path.starts_with(prefix))
        return false;
    const std::string_view name = path.substr(prefix.size());
    if (name.empty() || name.size() > 64 || name == "." || name == "..")
        return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
            || c == '-' || c == '.';
        if (!plain)
            return false;
    }
    return name.front() != '-' && name.front() != '.';
}

bool TKIsBlockDevice(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}
