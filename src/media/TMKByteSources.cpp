#include "media/TMKByteSources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TMKFileByteSource::TMKFileByteSource(int fd) : m_fd(fd)
{
    struct stat info {};
    if (::fstat(m_fd, &info) == 0 && info.st_size > 0)
        m_length = static_cast<uint64_t>(info.st_size);
}

TMKFileByteSource::~TMKFileByteSource()
{
    ::close(m_fd);
}

std::size_t TMKFileByteSource::readAt(uint64_t offset, void* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size && offset + done < m_length) {
        const ssize_t n =
            ::pread(m_fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void TMKFileByteSource::willNeed(uint64_t offset, uint64_t size)
{
    // Only a hint: a failure changes nothing but the speed.
    (void)::posix_fadvise(m_fd, static_cast<off_t>(offset), static_cast<off_t>(size), POSIX_FADV_WILLNEED);
}

std::size_t TMKMemoryByteSource::readAt(uint64_t offset, void* buffer, std::size_t size)
{
    if (offset >= m_size)
        return 0;
    const std::size_t count = std::min<std::size_t>(size, m_size - static_cast<std::size_t>(offset));
    std::memcpy(buffer, m_data + offset, count);
    return count;
}
