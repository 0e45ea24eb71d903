#include "settings/TKAtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string failure(const char* step, int error)
{
    return std::string(step) + ": " + std::strerror(error);
}

std::string directoryOf(const std::string& path)
{
    std::string dir = std::filesystem::path(path).parent_path().string();
    return dir.empty() ? std::string(".") : dir;
}

// Makes the rename itself durable. Some file systems (FAT through a few
// drivers) refuse fsync on a directory; the data is on the medium already.
void syncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Mode bits say read-only to the one who set them. Root may write anyway,
// so for root a file without any write bit counts as read-only too.
bool isReadOnly(const std::string& path, const struct stat& info)
{
    if (::geteuid() == 0)
        return (info.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

} // namespace

TKFileCalls TKFileCalls::system()
{
    return {
        [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return std::rename(from, to); },
    };
}

std::optional<std::string> TKWriteTarget(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

std::optional<std::string> TKCheckReplaceable(const std::string& path)
{
    const auto target = TKWriteTarget(path);
    if (!target)
        return path + ": a link to a file that does not exist";
    struct stat info {};
    if (::stat(target->c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return failure("stat", errno);
    }
    if (!S_ISREG(info.st_mode))
        return *target + ": not a regular file";
    if (info.st_nlink > 1)
        return *target + ": has " + std::to_string(info.st_nlink)
            + " hard links; a new file would leave the other names with the old settings";
    if (isReadOnly(*target, info))
        return *target + ": read-only; make it writable to replace it";
    return std::nullopt;
}

std::string TKTemporaryPathFor(const std::string& path)
{
    const std::filesystem::path target(path);
    return directoryOf(path) + "/." + target.filename().string() + ".tmp";
}

std::optional<std::string> TKWriteFileAtomically(const std::string& path, const void* data,
    std::size_t size, const TKFileCalls& calls)
{
    if (std::filesystem::path(path).filename().empty())
        return failure("open", EISDIR);
    if (auto refusal = TKCheckReplaceable(path))
        return refusal;
    const std::string target = *TKWriteTarget(path);
    const std::string dir = directoryOf(target);

    // One fixed name, so a writer killed half way leaves one file that this
    // write removes. It is created anew (O_EXCL, no links followed), so what
    // stood there cannot redirect the write.
    const std::string tempPath = TKTemporaryPathFor(target);
    if (::unlink(tempPath.c_str()) != 0 && errno != ENOENT)
        return failure("open", errno);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure("open", errno);

    auto abandon = [&](const char* step, int error) {
        ::close(fd);
        ::unlink(tempPath.c_str());
        return failure(step, error);
    };

    // The new file takes the old one's owner (only where the process may;
    // before the mode, since a change of owner clears set-id bits) and mode;
    // a new one gets the usual 0644. File systems without modes (FAT)
    // refuse, which does no harm.
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd, old.st_uid, old.st_gid);
        mode = old.st_mode & 07777;
    }
    ::fchmod(fd, mode);

    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = calls.write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon("write", errno);
        }
        if (n == 0)
            return abandon("write", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (calls.fsync(fd) != 0)
        return abandon("fsync", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failure("close", error);
    }
    if (calls.rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        return failure("rename", error);
    }
    syncDirectory(dir);
    return std::nullopt;
}

TKFileLock::~TKFileLock()
{
    release();
}

TKFileLock::TKFileLock(TKFileLock&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

TKFileLock& TKFileLock::operator=(TKFileLock&& other) noexcept
{
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void TKFileLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

std::optional<TKLockFailure> TKLockFileForUpdate(const std::string& path, TKFileLock& lock,
    std::chrono::milliseconds timeout)
{
    lock.release();
    const std::string target = TKWriteTarget(path).value_or(path);
    const std::string dir = directoryOf(target);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return TKLockFailure{false, dir + ": cannot be locked (" + std::strerror(errno) + ")"};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK) {
            ::close(fd);
            return TKLockFailure{false, dir + ": cannot be locked (" + std::strerror(error) + ")"};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return TKLockFailure{true, target + ": is being written by another program; try again"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    lock.m_fd = fd;
    return std::nullopt;
}
