#include "base/TKAtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many links as the kernel follows before it says ELOOP.
constexpr int kMaxLinks = 40;
constexpr const char* kTempSuffix = ".tmp";

std::string failure(const char* step, int error)
{
    return std::string(step) + ": " + std::strerror(error);
}

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the rename itself durable. Some file systems (FAT through a few
// drivers) refuse fsync on a directory; the data is on the medium already.
void syncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
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

// ".NAME.PID-UNIQUE.tmp": the writer's own name, with the process that
// made it so that a later writer can tell the leftovers of a dead one.
std::string temporaryPrefix(const std::string& target)
{
    const std::string dir = directoryOf(target);
    return (dir == "/" ? std::string() : dir) + "/." + baseOf(target) + ".";
}

std::string uniqueTemporaryPath(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    char unique[64];
    std::snprintf(unique, sizeof unique, "%ld-%x%lx", static_cast<long>(::getpid()), counter.fetch_add(1),
        static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(now.tv_sec << 20));
    return temporaryPrefix(target) + unique + kTempSuffix;
}

// A writer killed between create and rename (a pulled card, a crash) leaves
// its temporary file; it is removed once the process that made it is gone.
// One whose process lives is another writer at work and stays.
void removeLeftovers(const std::string& target)
{
    const std::string dir = directoryOf(target);
    const std::string prefix = "." + baseOf(target) + ".";
    DIR* folder = ::opendir(dir.c_str());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(prefix) || !name.ends_with(kTempSuffix))
            continue;
        const std::string middle(name.substr(prefix.size(), name.size() - prefix.size() - std::strlen(kTempSuffix)));
        char* end = nullptr;
        const long pid = std::strtol(middle.c_str(), &end, 10);
        if (pid <= 0 || end == middle.c_str() || *end != '-' || end[1] == '\0'
            || std::strspn(end + 1, "0123456789abcdef") != std::strlen(end + 1))
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            (void)::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

// A write into a pipe whose reader has gone raises SIGPIPE, which would end
// the process without a word. It is held back for this thread and, where
// this write raised it, taken away again, so the write fails with EPIPE.
ssize_t writeWithoutSigpipe(const TKFileCalls& calls, int fd, const void* data, std::size_t size)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    const ssize_t n = calls.write(fd, data, size);
    const int error = errno;
    // Raised also by a write that got part of its bytes out before the
    // reader went; the next write then fails with EPIPE.
    sigemptyset(&pending);
    ::sigpending(&pending);
    if (!wasPending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec zero {};
        while (::sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return n;
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
    std::string current = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        char link[4096];
        const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
        if (n <= 0)
            return current;
        const std::string named(link, static_cast<std::size_t>(n));
        if (named.front() == '/') {
            current = named;
        } else {
            const std::string dir = directoryOf(current);
            current = (dir == "/" ? std::string() : dir) + "/" + named;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TKCheckReplaceable(const std::string& path, const TKWritePolicy& policy)
{
    if (path.empty())
        return std::string("no file name given");
    if (path.back() == '/')
        return path + ": " + std::strerror(EISDIR);
    const auto target = TKWriteTarget(path);
    if (!target)
        return path + ": " + std::strerror(ELOOP);
    // What the path leads to as the kernel sees it: /dev/stdout names a pipe
    // through a link (/proc/self/fd/1, "pipe:[…]") that no text resolves.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && ::stat(target->c_str(), &info) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return failure("stat", errno);
    }
    if (S_ISDIR(info.st_mode))
        return *target + ": is a folder";
    const bool stream = S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode);
    if (!S_ISREG(info.st_mode) && !(stream && policy.streams))
        return *target + ": not a regular file";
    if (S_ISREG(info.st_mode) && info.st_nlink > 1)
        return *target + ": has " + std::to_string(info.st_nlink)
            + " hard links; a new file would leave the other names with the old contents";
    if (isReadOnly(path, info))
        return *target + ": read-only; make it writable to replace it";
    return std::nullopt;
}

TKAtomicWriter::TKAtomicWriter(TKWritePolicy policy, TKFileCalls calls)
    : m_policy(policy), m_calls(std::move(calls))
{
}

TKAtomicWriter::~TKAtomicWriter()
{
    abandon();
}

void TKAtomicWriter::abandon()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
    m_target.clear();
    m_stream = false;
}

std::optional<std::string> TKAtomicWriter::fail(const char* step, int error)
{
    abandon();
    m_failure = failure(step, error);
    return m_failure;
}

std::optional<std::string> TKAtomicWriter::open(const std::string& path)
{
    abandon();
    m_failure.reset();
    if (auto refusal = TKCheckReplaceable(path, m_policy)) {
        m_failure = refusal;
        return refusal;
    }
    const std::string target = *TKWriteTarget(path);
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode)) {
        // Put there since the check: refused as the check would have.
        if (!m_policy.streams) {
            m_failure = path + ": not a regular file";
            return m_failure;
        }
        // Nothing to replace, only to write into, through the path itself.
        // O_NONBLOCK keeps a FIFO without a reader from hanging the open
        // (ENXIO); the writes then block as usual.
        m_fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0) {
            if (errno == ENXIO) {
                m_failure = path + ": nothing reads from it";
                return m_failure;
            }
            return fail("open", errno);
        }
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags >= 0)
            (void)::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK);
        m_stream = true;
        m_target = path;
        return std::nullopt;
    }
    const bool exists = ::stat(target.c_str(), &old) == 0;

    removeLeftovers(target);
    // Created anew (O_EXCL, no links followed) so nothing planted under the
    // name can redirect the write. A new file is made with 0666 for the
    // umask (and a folder's default ACL) to cut down; a replacement is
    // private until it has the old file's owner and mode.
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_tempPath = uniqueTemporaryPath(target);
        m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_tempPath.clear();
            return fail("open", errno);
        }
    }
    if (m_fd < 0) {
        m_tempPath.clear();
        return fail("open", EEXIST);
    }
    m_target = target;
    if (exists) {
        // The owner before the mode, since a change of owner clears set-id
        // bits. File systems without modes (FAT) refuse, which does no harm.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(m_fd, old.st_uid, old.st_gid);
        (void)::fchmod(m_fd, old.st_mode & 07777);
    }
    return std::nullopt;
}

std::optional<std::string> TKAtomicWriter::append(std::string_view bytes)
{
    if (m_fd < 0)
        return m_failure ? m_failure : failure("write", EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = m_stream ? writeWithoutSigpipe(m_calls, m_fd, bytes.data() + done, bytes.size() - done)
                                   : m_calls.write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail("write", errno);
        }
        if (n == 0)
            return fail("write", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

std::optional<std::string> TKAtomicWriter::commit()
{
    if (m_fd < 0)
        return m_failure ? m_failure : failure("close", EBADF);
    if (m_stream) {
        const int closed = ::close(m_fd);
        const int error = errno;
        m_fd = -1;
        abandon();
        if (closed != 0 && error != EINTR)
            return failure("close", error);
        return std::nullopt;
    }
    if (m_calls.fsync(m_fd) != 0)
        return fail("fsync", errno);
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0)
        return fail("close", errno);
    if (m_calls.rename(m_tempPath.c_str(), m_target.c_str()) != 0)
        return fail("rename", errno);
    // The file is in place under its name; only now is the write done.
    m_tempPath.clear();
    syncDirectory(directoryOf(m_target));
    abandon();
    return std::nullopt;
}

std::optional<std::string> TKWriteFileAtomically(const std::string& path, const void* data, std::size_t size,
    const TKFileCalls& calls, const TKWritePolicy& policy)
{
    TKAtomicWriter writer(policy, calls);
    if (auto error = writer.open(path))
        return error;
    if (auto error = writer.append(std::string_view(static_cast<const char*>(data), size)))
        return error;
    return writer.commit();
}

std::optional<std::string> TKWriteFileAtomically(const std::string& path, std::string_view bytes,
    const TKWritePolicy& policy)
{
    return TKWriteFileAtomically(path, bytes.data(), bytes.size(), TKFileCalls::system(), policy);
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
