#include "TKBlockDevices.h"
#include "TKDiskSystem.h"
#include "TMKLog.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const char* lsblkPath()
{
    for (const char* candidate : { "/usr/bin/lsblk", "/bin/lsblk" }) {
        if (::access(candidate, X_OK) == 0)
            return candidate;
    }
    return nullptr;
}

} // namespace

std::optional<std::string> TKLocalDiskSystem::blockDevicesJSON()
{
    const char* program = lsblkPath();
    if (!program) {
        TMKLog("lsblk not found");
        return std::nullopt;
    }
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return std::nullopt;

    const std::string columns(kTKLsblkColumns);
    std::vector<std::string> args = { "lsblk", "--json", "--bytes", "-o", columns };
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        TMKLog(std::string("lsblk: ") + std::strerror(spawned));
        return std::nullopt;
    }

    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        TMKLog("lsblk failed");
        return std::nullopt;
    }
    return output;
}

bool TKLocalDiskSystem::itemExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}
