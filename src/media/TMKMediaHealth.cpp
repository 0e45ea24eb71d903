#include "TMKMediaHealth.h"

#include "TMKBlackBoxData.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileSource final : public TMKByteSource {
public:
    FileSource(int fd, uint64_t length) : m_fd(fd), m_length(length) {}
    ~FileSource() override { ::close(m_fd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    uint64_t length() const override { return m_length; }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        std::size_t done = 0;
        while (done < size && offset + done < m_length) {
            const ssize_t n = ::pread(m_fd, static_cast<char*>(buffer) + done, size - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

private:
    int m_fd;
    uint64_t m_length;
};

class BufferSource final : public TMKByteSource {
public:
    BufferSource(const uint8_t* data, std::size_t size) : m_data(data), m_size(data ? size : 0) {}
    uint64_t length() const override { return m_size; }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        if (offset >= m_size)
            return 0;
        const std::size_t count = std::min<std::size_t>(size, m_size - static_cast<std::size_t>(offset));
        std::memcpy(buffer, m_data + offset, count);
        return count;
    }

private:
    const uint8_t* m_data;
    std::size_t m_size;
};

TMKMediaHealth problem(TMKMediaProblem kind, std::string reason)
{
    return {kind, std::move(reason)};
}

uint32_t u32At(const unsigned char* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

TMKMediaHealth TMKCheckMedia(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return problem(TMKMediaProblem::CannotOpen, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return problem(TMKMediaProblem::CannotOpen, "not a regular file");
    }
    FileSource source(fd, static_cast<uint64_t>(info.st_size));
    return TMKCheckMedia(source);
}

TMKMediaHealth TMKCheckMediaBuffer(const uint8_t* data, std::size_t size)
{
    BufferSource source(data, size);
    return TMKCheckMedia(source);
}

TMKMediaHealth TMKCheckMedia(TMKByteSource& source)
{
    using namespace TMKAviLayout;
    const uint64_t length = source.length();
    unsigned char header[12];
    if (source.readAt(0, header, sizeof header) != sizeof header || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "AVI ", 4) != 0)
        return problem(TMKMediaProblem::NotAvi, "not a RIFF/AVI file");

    // The camera writes its sizes when it closes a recording; one cut off by
    // a power loss keeps zeros there, or ends before them.
    const uint64_t riffEnd = uint64_t{u32At(header + 4)} + 8;
    if (u32At(header + 4) == 0 || riffEnd > length)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends before its RIFF size");
    unsigned char movi[12];
    if (source.readAt(kMoviSizeOffset - 4, movi, sizeof movi) != sizeof movi)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its header");
    if (std::memcmp(movi, "LIST", 4) != 0 || std::memcmp(movi + 8, "movi", 4) != 0)
        return problem(TMKMediaProblem::NoTelemetry, "no telemetry: not the camera's recording layout");
    const uint32_t moviSize = u32At(movi + 4);
    const uint64_t indexTag = uint64_t{kMoviTagOffset} + moviSize;
    if (moviSize < 4)
        return problem(TMKMediaProblem::CutShort, "cut short: its movi size was never written");
    if (indexTag > length)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its movi list");

    unsigned char idx1[8];
    if (source.readAt(indexTag, idx1, sizeof idx1) != sizeof idx1 || std::memcmp(idx1, "idx1", 4) != 0)
        return problem(TMKMediaProblem::NoIndex, "no index after the movi list");
    if (indexTag + 8 + u32At(idx1 + 4) > length)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its index");

    if (TMKBlackBoxData::telemetryRanges(source).empty())
        return problem(TMKMediaProblem::NoTelemetry, "no telemetry in its index");
    return {};
}

const char* TMKMediaProblemName(TMKMediaProblem kind)
{
    switch (kind) {
    case TMKMediaProblem::None: return "ok";
    case TMKMediaProblem::CannotOpen: return "cannot open";
    case TMKMediaProblem::NotAvi: return "not RIFF/AVI";
    case TMKMediaProblem::CutShort: return "cut short";
    case TMKMediaProblem::NoIndex: return "no index";
    case TMKMediaProblem::NoTelemetry: return "no telemetry";
    }
    return "unknown";
}
