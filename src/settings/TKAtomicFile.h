#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <sys/types.h>

// The system calls the atomic writer depends on for its durability. Tests put
// failing ones in their place to play a pulled card or a full disk.
struct TKFileCalls {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;

    [[nodiscard]] static TKFileCalls system();
};

// The file a write to the path lands in: the path itself, or the regular
// file a symbolic link there points to (the link is kept). Nothing when the
// path is a link that leads nowhere.
[[nodiscard]] std::optional<std::string> TKWriteTarget(const std::string& path);

// Why the file at the path must not be replaced, or nothing when it may (it
// is a regular file, or there is none). Refused: anything but a regular file
// (a device, FIFO, socket or folder), a file the user made read-only, and a
// file with other hard links, which a replacement would silently split from
// the new contents.
[[nodiscard]] std::optional<std::string> TKCheckReplaceable(const std::string& path);

// The name of the one temporary file a write to the path uses beside its
// target: ".NAME.tmp". A writer killed half way leaves at most this file,
// and the next write removes it.
[[nodiscard]] std::string TKTemporaryPathFor(const std::string& path);

// Writes the bytes to the temporary file beside the target, flushes it to the
// medium and renames it over the target, so the target is always either the
// old file or the whole new one. A link is written through; an existing
// target keeps its mode and, where the process may set it, its owner.
// Returns a description of the step that failed ("write: No space left on
// device") or of the refusal (see TKCheckReplaceable), or nothing on success;
// on failure the temporary file is removed.
// Writers of one target share the temporary name, so they must hold its
// TKFileLock.
[[nodiscard]] std::optional<std::string> TKWriteFileAtomically(const std::string& path,
    const void* data, std::size_t size, const TKFileCalls& calls = TKFileCalls::system());

// Why a TKFileLock could not be had: another writer held it past the
// timeout (busy), or the folder cannot be opened or locked at all.
struct TKLockFailure {
    bool busy = false;
    std::string text;
};

// An advisory lock that every writer of a file holds across its
// read-modify-write, so two at once never lose one update. It is taken on
// the folder that holds the target: the target itself is replaced by each
// write (a lock on it would guard the old file) and may not exist yet.
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
