#include "TMKRecordingCheck.h"

#include "strings/TMKStrings.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A hostile file of many tiny chunks is not walked to its end; a camera's
// recording has four or five.
constexpr int kMaxChunks = 256;

uint32_t littleEndian32(const unsigned char* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Reads exactly `size` bytes at `offset`; false on a short read.
bool readAt(int fd, int64_t offset, void* buffer, std::size_t size)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + int64_t(done)));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

TMKRecordingFault checkOpen(int fd, int64_t fileSize)
{
    unsigned char head[24];
    if (fileSize < 12 || !readAt(fd, 0, head, 12))
        return fileSize == 0 ? TMKRecordingFault::Unreadable : TMKRecordingFault::NotAvi;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "AVI ", 4) != 0)
        return TMKRecordingFault::NotAvi;
    // The first chunk of an AVI is its header list.
    if (fileSize < 24 || !readAt(fd, 12, head + 12, 12))
        return TMKRecordingFault::CutShort;
    if (std::memcmp(head + 12, "LIST", 4) != 0 || std::memcmp(head + 20, "hdrl", 4) != 0)
        return TMKRecordingFault::NotAvi;

    const int64_t declaredEnd = int64_t(littleEndian32(head + 4)) + 8;
    bool cutShort = declaredEnd > fileSize;
    bool hasIndex = false;
    const int64_t end = std::min(declaredEnd, fileSize);
    int64_t offset = 12;
    for (int chunks = 0; offset < end && chunks < kMaxChunks; ++chunks) {
        unsigned char chunk[8];
        if (offset + 8 > fileSize || !readAt(fd, offset, chunk, 8)) {
            cutShort = true;
            break;
        }
        const int64_t size = littleEndian32(chunk + 4);
        if (std::memcmp(chunk, "idx1", 4) == 0)
            hasIndex = true;
        const int64_t next = offset + 8 + size + (size & 1);
        // The last chunk's pad byte may be missing; its data may not.
        if (offset + 8 + size > fileSize) {
            cutShort = true;
            break;
        }
        offset = next;
    }
    if (cutShort)
        return TMKRecordingFault::CutShort;
    if (!hasIndex)
        return TMKRecordingFault::NoIndex;
    return TMKRecordingFault::None;
}

} // namespace

TMKRecordingFault TMKCheckRecording(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return TMKRecordingFault::Unreadable;
    struct stat info {};
    TMKRecordingFault fault = TMKRecordingFault::Unreadable;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        fault = checkOpen(fd, static_cast<int64_t>(info.st_size));
    ::close(fd);
    return fault;
}

bool TMKRecordingFaultIsFatal(TMKRecordingFault fault)
{
    return fault == TMKRecordingFault::Unreadable || fault == TMKRecordingFault::NotAvi;
}

QString TMKRecordingFaultText(TMKRecordingFault fault)
{
    switch (fault) {
    case TMKRecordingFault::None: return {};
    case TMKRecordingFault::Unreadable: return TMKLocalizedString("player.fault.unreadable");
    case TMKRecordingFault::NotAvi: return TMKLocalizedString("player.fault.not_avi");
    case TMKRecordingFault::CutShort: return TMKLocalizedString("player.fault.cut_short");
    case TMKRecordingFault::NoIndex: return TMKLocalizedString("player.fault.no_index");
    }
    return {};
}
