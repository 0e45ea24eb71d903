#include "sdcard/TKExternalCommand.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <poll.h>
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
        {"lsblk", {"/usr/bin/lsblk", "/bin/lsblk"}},
        {"mcopy", {"/usr/bin/mcopy", "/bin/mcopy"}},
        {"mkfs.fat", {"/usr/sbin/mkfs.fat", "/sbin/mkfs.fat"}},
        {"mount", {"/usr/bin/mount", "/bin/mount"}},
        {"pkexec", {"/usr/bin/pkexec"}},
        {"sh", {"/bin/sh", "/usr/bin/sh"}},
        {"udisksctl", {"/usr/bin/udisksctl", "/bin/udisksctl"}},
        {"umount", {"/usr/bin/umount", "/bin/umount"}},
    };
    return list;
}

void closeQuietly(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Reads both pipes until the program closes them; whatever passes the limit
// is dropped, so a chatty program neither blocks nor fills our memory.
void drain(int outFd, int errFd, std::string& output, std::string& errors)
{
    std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
    std::array<std::string*, 2> sinks{&output, &errors};
    char buffer[8192];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
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
}

} // namespace

std::string TKCommandResult::message() const
{
    if (!started)
        return failure;
    std::string text = errors;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (!text.empty())
        return text;
    return "exit status " + std::to_string(exitStatus);
}

const std::vector<std::string_view>& TKAllowedCommandPaths(std::string_view program)
{
    static const Paths none;
    const auto found = allowList().find(program);
    return found == allowList().end() ? none : found->second;
}

std::optional<std::string> TKResolveCommand(std::string_view program)
{
    for (const std::string_view candidate : TKAllowedCommandPaths(program)) {
        const std::string path(candidate);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return std::nullopt;
}

std::optional<std::string> TKCommandProblem(const TKCommand& command)
{
    if (TKAllowedCommandPaths(command.program).empty())
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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args.front(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    closeQuietly(outPipe[1]);
    closeQuietly(errPipe[1]);
    if (spawned != 0) {
        closeQuietly(outPipe[0]);
        closeQuietly(errPipe[0]);
        result.failure = argv->front() + ": " + std::strerror(spawned);
        return result;
    }
    result.started = true;
    drain(outPipe[0], errPipe[0], result.output, result.errors);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.exitStatus = -1;
            return result;
        }
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
