#include "media/TMKMediaHealth.h"

#include "media/TMKBlackBoxData.h"
#include "media/TMKByteSources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TMKMediaHealth problem(TMKMediaProblem kind, std::string reason)
{
    return {kind, std::move(reason)};
}

// A hostile file of many tiny chunks is not walked to its end; a camera's
// recording has four or five.
constexpr int kMaxTopLevelChunks = 256;

uint32_t u32At(const unsigned char* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

} // namespace

TMKMediaHealth TMKCheckMediaFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return problem(TMKMediaProblem::LinkTargetMissing, "link target missing");
        return problem(TMKMediaProblem::CannotOpen, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode))
        return problem(TMKMediaProblem::NotRegularFile, "not a regular file");
    return {};
}

TMKMediaHealth TMKCheckMedia(const std::string& path, TMKMediaCheckDepth depth)
{
    // What is no regular file is never opened: a FIFO's writer would see a
    // reader, a device may do anything on open.
    if (TMKMediaHealth file = TMKCheckMediaFile(path); !file.ok())
        return file;
    // O_NONBLOCK: a FIFO put in the file's place since must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return problem(TMKMediaProblem::CannotOpen, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return problem(TMKMediaProblem::NotRegularFile, "not a regular file");
    }
    TMKFileByteSource source(fd);
    return TMKCheckMedia(source, depth);
}

TMKMediaHealth TMKCheckMediaBuffer(const uint8_t* data, std::size_t size, TMKMediaCheckDepth depth)
{
    TMKMemoryByteSource source(data, size);
    return TMKCheckMedia(source, depth);
}

TMKMediaHealth TMKCheckMedia(TMKByteSource& source, TMKMediaCheckDepth depth)
{
    using namespace TMKAviLayout;
    const uint64_t length = source.length();
    if (length == 0)
        return problem(TMKMediaProblem::CannotOpen, "the file is empty");
    unsigned char header[24];
    if (source.readAt(0, header, 12) != 12 || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "AVI ", 4) != 0)
        return problem(TMKMediaProblem::NotAvi, "not a RIFF/AVI file");
    // The first chunk of an AVI is its header list.
    if (source.readAt(12, header + 12, 12) != 12)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its header");
    if (std::memcmp(header + 12, "LIST", 4) != 0 || std::memcmp(header + 20, "hdrl", 4) != 0)
        return problem(TMKMediaProblem::NotAvi, "not a RIFF/AVI file: no header list");

    // The camera writes its sizes when it closes a recording; one cut off by
    // a power loss keeps zeros there, or ends before them.
    const uint64_t riffEnd = uint64_t{u32At(header + 4)} + 8;
    if (u32At(header + 4) == 0 || riffEnd > length)
        return problem(TMKMediaProblem::CutShort, "cut short: the file ends before its RIFF size");

    // The top-level chunks, wherever a writer put them: players need the
    // movi list and the index after it, whatever else the file holds.
    bool hasIndex = false;
    std::optional<uint64_t> moviAt;
    uint64_t offset = 12;
    for (int chunks = 0; offset < riffEnd && chunks < kMaxTopLevelChunks; ++chunks) {
        unsigned char chunk[12];
        if (source.readAt(offset, chunk, 8) != 8)
            return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside a chunk header");
        const uint64_t size = u32At(chunk + 4);
        const bool isList = std::memcmp(chunk, "LIST", 4) == 0;
        const bool isMovi = isList && source.readAt(offset + 8, chunk + 8, 4) == 4
                            && std::memcmp(chunk + 8, "movi", 4) == 0;
        if (isMovi && size < 4)
            return problem(TMKMediaProblem::CutShort, "cut short: its movi size was never written");
        // The last chunk's pad byte may be missing; its data may not.
        if (offset + 8 + size > length) {
            if (isMovi)
                return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its movi list");
            if (std::memcmp(chunk, "idx1", 4) == 0)
                return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside its index");
            return problem(TMKMediaProblem::CutShort, "cut short: the file ends inside a chunk");
        }
        if (isMovi && !moviAt)
            moviAt = offset;
        if (std::memcmp(chunk, "idx1", 4) == 0 && moviAt)
            hasIndex = true;
        offset += 8 + size + (size & 1);
    }
    if (!moviAt)
        return problem(TMKMediaProblem::NotAvi, "not a RIFF/AVI file: no movi list");
    if (!hasIndex)
        return problem(TMKMediaProblem::NoIndex, "no index after the movi list");

    if (depth == TMKMediaCheckDepth::Structure)
        return {};
    // Telemetry is found through the camera's fixed layout only.
    if (*moviAt + 8 != kMoviTagOffset)
        return problem(TMKMediaProblem::NoTelemetry, "no telemetry: not the camera's recording layout");
    if (TMKBlackBoxData::telemetryRanges(source).empty())
        return problem(TMKMediaProblem::NoTelemetry, "no telemetry in its index");
    return {};
}

const char* TMKMediaProblemName(TMKMediaProblem kind)
{
    switch (kind) {
    case TMKMediaProblem::None: return "ok";
    case TMKMediaProblem::CannotOpen: return "cannot open";
    case TMKMediaProblem::NotRegularFile: return "not a regular file";
    case TMKMediaProblem::LinkTargetMissing: return "link target missing";
    case TMKMediaProblem::NotAvi: return "not RIFF/AVI";
    case TMKMediaProblem::CutShort: return "cut short";
    case TMKMediaProblem::NoIndex: return "no index";
    case TMKMediaProblem::NoTelemetry: return "no telemetry";
    }
    return "unknown";
}
