#pragma once

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

// Writes the bytes to a new file beside the target, flushes it to the medium
// and renames it over the target, so the target is always either the old file
// or the whole new one. An existing target keeps its permission bits.
// Returns a description of the step that failed ("write: No space left on
// device"), or nothing on success; on failure the temporary file is removed.
[[nodiscard]] std::optional<std::string> TKWriteFileAtomically(const std::string& path,
    const void* data, std::size_t size, const TKFileCalls& calls = TKFileCalls::system());
