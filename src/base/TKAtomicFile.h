#pragma once

// The one writer of every file the app and its tools write (settings, time
// file, exports, reports). The target is always either the old file or the
// whole new one: the bytes go to a temporary file of this writer's own
// beside the target, reach the medium (fsync) and are renamed over it. Each
// writer has its own temporary name, so two writers of one file at once each
// place a whole file of their own and the later rename wins.
//
// What stands at the path decides the rest, the same for every caller:
// - a symbolic link is followed, also one whose file does not exist yet; the
//   link stays and names the new file;
// - an existing file keeps its mode and, where the process may set it, its
//   owner; a new file gets the mode the umask gives it;
// - refused: a file with other hard links (a new file would split them from
//   the new contents), a file the user made read-only (for root: one without
//   any write bit), a folder, a block device, and unless the policy allows
//   streams, anything else that is not a regular file.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

// The system calls the writer depends on for its durability. Tests put
// failing ones in their place to play a pulled card or a full disk.
struct TKFileCalls {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;

    [[nodiscard]] static TKFileCalls system();
};

struct TKWritePolicy {
    // A FIFO or a character device at the path (a pipe, a terminal,
    // /dev/null, /dev/stdout) is written into in place rather than refused,
    // for a tool's --output. It cannot be replaced, so that write is not
    // atomic; a FIFO nobody reads is refused at once rather than waited on,
    // and a reader that goes away is a write error, not a SIGPIPE.
    bool streams = false;
};

// Files the user names for output (exports, a tool's --output), where a
// pipe or a terminal is as good a destination as a file.
inline constexpr TKWritePolicy kTKOutputPolicy{.streams = true};

// The file a write to the path lands in: the path itself, or what the
// symbolic links there lead to (the last of them may name a file that does
// not exist yet). Nothing for a loop of links.
[[nodiscard]] std::optional<std::string> TKWriteTarget(const std::string& path);

// Why the file at the path must not be replaced under the policy, or nothing
// when it may (see the rules above).
[[nodiscard]] std::optional<std::string> TKCheckReplaceable(const std::string& path, const TKWritePolicy& policy = {});

// The streaming form: open, append the pieces as they are made, commit. Only
// a successful commit() changes the target; a writer destroyed or abandoned
// before it removes its temporary file and leaves the target as it was.
// Every step returns the reason it failed ("write: No space left on device",
// or a refusal naming the file), or nothing; after a failure the writer is
// abandoned and the later steps fail too.
class TKAtomicWriter {
public:
    explicit TKAtomicWriter(TKWritePolicy policy = {}, TKFileCalls calls = TKFileCalls::system());
    ~TKAtomicWriter();
    TKAtomicWriter(const TKAtomicWriter&) = delete;
    TKAtomicWriter& operator=(const TKAtomicWriter&) = delete;

    [[nodiscard]] std::optional<std::string> open(const std::string& path);
    [[nodiscard]] std::optional<std::string> append(std::string_view bytes);
    [[nodiscard]] std::optional<std::string> commit();
    void abandon();

    // The temporary file being written, empty for a stream or when closed.
    [[nodiscard]] const std::string& temporaryPath() const { return m_tempPath; }

private:
    std::optional<std::string> fail(const char* step, int error);

    TKWritePolicy m_policy;
    TKFileCalls m_calls;
    int m_fd = -1;
    bool m_stream = false;
    std::string m_target;
    std::string m_tempPath;
    std::optional<std::string> m_failure;
};

// The whole-buffer form of the same writer.
[[nodiscard]] std::optional<std::string> TKWriteFileAtomically(const std::string& path, const void* data,
    std::size_t size, const TKFileCalls& calls = TKFileCalls::system(), const TKWritePolicy& policy = {});
[[nodiscard]] std::optional<std::string> TKWriteFileAtomically(const std::string& path, std::string_view bytes,
    const TKWritePolicy& policy = {});

// Why a TKFileLock could not be had: another writer held it past the
// timeout (busy), or the folder cannot be opened or locked at all.
struct TKLockFailure {
    bool busy = false;
    std::string text;
};

// An advisory lock that every writer of a file holds across its
// read-modify-write, so two at once never lose one update (the writer alone
// only keeps each write whole). It is taken on the folder that holds the
// target: the target itself is replaced by each write (a lock on it would
// guard the old file) and may not exist yet.
class TKFileLock {
public:
    TKFileLock() = default;
    ~TKFileLock();
    TKFileLock(TKFileLock&& other) noexcept;
    TKFileLock& operator=(TKFileLock&& other) noexcept;
    TKFileLock(const TKFileLock&) = delete;
    TKFileLock& operator=(const TKFileLock&) = delete;

    [[nodiscard]] bool held() const { return m_fd >= 0; }
    void release();

private:
    friend std::optional<TKLockFailure> TKLockFileForUpdate(const std::string&, TKFileLock&, std::chrono::milliseconds);
    int m_fd = -1;
};

// Waits up to the timeout for the lock guarding writes to the path. Returns
// why it could not be had, or nothing with the lock held in `lock` until it
// is released or destroyed.
[[nodiscard]] std::optional<TKLockFailure> TKLockFileForUpdate(const std::string& path, TKFileLock& lock,
    std::chrono::milliseconds timeout);
