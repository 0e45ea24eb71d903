#include "media/TMKBlackBoxData.h"

#include "base/TMKLog.h"
#include "media/TMKByteSources.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kU32Limit = 0x1'0000'0000ull;

// Without O_NONBLOCK a FIFO named like a recording would block the open
// until some writer appears; only a regular file is a recording.
std::unique_ptr<TMKFileByteSource> openRecording(const char* path)
{
    if (!path)
        return nullptr;
    // A FIFO or device named like a recording is a list row: never opened.
    struct stat before {};
    if (::stat(path, &before) != 0 || !S_ISREG(before.st_mode))
        return nullptr;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    return std::make_unique<TMKFileByteSource>(fd);
}

// The index is read 16 bytes at a time; serve those reads from blocks.
class BlockReader {
public:
    explicit BlockReader(TMKByteSource& source) : m_source(source) {}

    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size)
    {
        if (offset < m_start || offset + size > m_start + m_filled) {
            m_start = offset;
            m_filled = m_source.readAt(offset, m_block.data(), m_block.size());
        }
        const std::size_t available = offset >= m_start + m_filled
                                          ? 0
                                          : std::min<std::size_t>(size, static_cast<std::size_t>(m_start + m_filled - offset));
        if (available > 0)
            std::memcpy(buffer, m_block.data() + (offset - m_start), available);
        return available;
    }

private:
    TMKByteSource& m_source;
    std::array<unsigned char, 64 * 1024> m_block{};
    uint64_t m_start = 0;
    std::size_t m_filled = 0;
};

uint32_t u32At(const unsigned char* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

bool isTerminator(char c)
{
    return c == '\r' || c == '\n' || c == '\0';
}

} // namespace

void TMKBlackBoxData::clear()
{
    m_NMEAParser.clear();
    m_NMEAs.clear();
    m_GSensors.clear();
    m_vGSensorData.clear();
    m_vGpsData.clear();
    m_vGpsRecords.clear();
}

bool TMKBlackBoxData::ExtractStreamInformation(const char* path)
{
    auto source = openRecording(path);
    if (!source) {
        if (path)
            TMKLogDebug("#############################   START\n");
        clear();
        return false;
    }
    return ExtractStreamInformation(*source);
}

bool TMKBlackBoxData::ExtractStreamInformationFromBuffer(const uint8_t* data, std::size_t size)
{
    TMKMemoryByteSource source(data, size);
    return ExtractStreamInformation(source);
}

namespace {

struct IndexWalk {
    bool isAvi = false;
    std::vector<TMKTelemetryRange> records;
};

// Walks the index and lists the telemetry records to read, without reading
// them. The walk ends where reading the records one by one in index order
// would have ended it: a record lying wholly past the end of the file stops
// it, so the length the source reports stands in for the read's result.
IndexWalk walkIndex(TMKByteSource& source, bool log)
{
    using namespace TMKAviLayout;

    IndexWalk walk;
    unsigned char header[12];
    if (source.readAt(0, header, sizeof header) != sizeof header || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "AVI ", 4) != 0)
        return walk;
    walk.isAvi = true;

    const uint32_t riffEnd = static_cast<uint32_t>(u32At(header + 4) + 8u);
    const uint64_t fileLength = source.length();

    // A real index lists each chunk once and the chunks do not overlap, so
    // the records read never hold more bytes than the file. A crafted index
    // that points thousands of entries at one chunk, or at overlapping
    // bytes, stops adding records there.
    std::unordered_set<uint32_t> offsetsRead;
    uint64_t recordBytesLeft = fileLength;

    // Without the camera's fixed header there is no movi size to go by: the
    // file is an AVI, just not one with telemetry we can find.
    unsigned char moviSizeBytes[4];
    if (source.readAt(kMoviSizeOffset, moviSizeBytes, 4) != 4)
        return walk;
    const uint32_t moviSize = u32At(moviSizeBytes);
    const uint64_t indexStart = uint64_t{kIndexBase} + moviSize;
    if (log) {
        char line[80];
        std::snprintf(line, sizeof line, "Listmovsize=0x%x IdxAddr=0x%x\n", moviSize,
                      static_cast<uint32_t>(indexStart));
        TMKLogDebug(line);
    }

    // A movi size so large that the index start wraps around 32 bits
    // would have us read movi data as index entries: nothing to walk.
    if (indexStart >= kU32Limit)
        return walk;

    BlockReader index(source);
    uint64_t consumed = 0;
    uint64_t position = indexStart;
    std::size_t lastRead = 0;
    do {
        unsigned char id[4];
        lastRead = index.readAt(position, id, 4);
        consumed += lastRead;
        if (lastRead < 4)
            break; // an entry cut short by the end of the file

        if (std::memcmp(id, kTelemetryChunkId, 4) != 0) {
            if (position + kIndexEntrySize > fileLength)
                break;
            consumed += 12;
        } else {
            unsigned char rest[12];
            if (index.readAt(position + 4, rest, sizeof rest) != sizeof rest)
                break;
            lastRead = sizeof rest;
            consumed += 12;
            const uint32_t chunkOffset = u32At(rest + 4);
            const uint32_t chunkLength = u32At(rest + 8);
            const uint64_t dataAt = uint64_t{kIndexBase} + chunkOffset;
            const bool gps = chunkLength > kGSensorChunkMax;
            const std::size_t recordSize = gps ? sizeof(_AVI_GPS_DATA_T) : sizeof(_AVI_GSENSOR_DATA_T);

            if (recordSize <= recordBytesLeft && offsetsRead.insert(chunkOffset).second) {
                lastRead = dataAt >= fileLength ? 0 : static_cast<std::size_t>(std::min<uint64_t>(recordSize, fileLength - dataAt));
                // A record cut short by the end of the file is dropped: its
                // fields and text would be partly zeros.
                if (lastRead == recordSize) {
                    recordBytesLeft -= recordSize;
                    walk.records.push_back({dataAt, static_cast<uint32_t>(recordSize), gps});
                }
            }
        }
        position = indexStart + consumed;
    } while (position <= riffEnd && lastRead > 0 && position < fileLength);
    return walk;
}

// Reads the listed records into `bytes`, packed in index order (record i
// at `at[i]`, so no more bytes than the records hold), in file order:
// sorted by offset, all ranges announced first, neighbours fetched by one
// covering read. Returns per record whether it was read whole.
std::vector<bool> readRecords(TMKByteSource& source, const std::vector<TMKTelemetryRange>& records,
                              std::vector<unsigned char>& bytes, std::vector<std::size_t>& at,
                              TMKBlackBoxData::ReadPlan plan)
{
    std::vector<bool> complete(records.size(), false);
    at.assign(records.size(), 0);
    std::size_t total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        at[i] = total;
        total += records[i].size;
    }
    if (records.empty())
        return complete;
    bytes.assign(total, 0);

    if (plan == TMKBlackBoxData::ReadPlan::OneReadPerRecord) {
        for (std::size_t i = 0; i < records.size(); ++i)
            complete[i] = source.readAt(records[i].offset, bytes.data() + at[i], records[i].size) == records[i].size;
        return complete;
    }

    std::vector<std::size_t> order(records.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return records[a].offset < records[b].offset; });

    struct Span {
        uint64_t start;
        uint64_t end;
        std::size_t first; // into order
        std::size_t last;  // one past
    };
    std::vector<Span> spans;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const TMKTelemetryRange& r = records[order[k]];
        const uint64_t end = r.offset + r.size;
        if (!spans.empty()) {
            Span& span = spans.back();
            if (r.offset <= span.end + TMKBlackBoxData::kCoalesceGap
                && std::max(span.end, end) - span.start <= TMKBlackBoxData::kMaxSpan) {
                span.end = std::max(span.end, end);
                span.last = k + 1;
                continue;
            }
        }
        spans.push_back({r.offset, end, k, k + 1});
    }

    for (const Span& span : spans)
        source.willNeed(span.start, span.end - span.start);

    std::vector<unsigned char> buffer;
    for (const Span& span : spans) {
        if (span.last - span.first == 1) {
            const std::size_t i = order[span.first];
            complete[i] = source.readAt(records[i].offset, bytes.data() + at[i], records[i].size) == records[i].size;
            continue;
        }
        buffer.resize(static_cast<std::size_t>(span.end - span.start));
        const std::size_t got = source.readAt(span.start, buffer.data(), buffer.size());
        for (std::size_t k = span.first; k < span.last; ++k) {
            const std::size_t i = order[k];
            const uint64_t from = records[i].offset - span.start;
            if (from + records[i].size <= got) {
                std::memcpy(bytes.data() + at[i], buffer.data() + from, records[i].size);
                complete[i] = true;
            }
        }
    }
    return complete;
}

} // namespace

std::vector<TMKTelemetryRange> TMKBlackBoxData::telemetryRanges(TMKByteSource& source)
{
    return walkIndex(source, false).records;
}

std::size_t TMKBlackBoxData::prefetchTelemetry(TMKByteSource& source)
{
    // The index is read to find the records; announcing it first lets the
    // device fetch it in one go as well.
    unsigned char moviSizeBytes[4];
    if (source.readAt(TMKAviLayout::kMoviSizeOffset, moviSizeBytes, 4) == 4) {
        const uint64_t indexStart = uint64_t{TMKAviLayout::kIndexBase} + u32At(moviSizeBytes);
        if (indexStart < source.length())
            source.willNeed(indexStart, source.length() - indexStart);
    }
    const IndexWalk walk = walkIndex(source, false);
    for (const TMKTelemetryRange& range : walk.records)
        source.willNeed(range.offset, range.size);
    return walk.records.size();
}

std::unique_ptr<TMKByteSource> TMKBlackBoxData::openRecordingSource(const char* path)
{
    return openRecording(path);
}

std::size_t TMKBlackBoxData::prefetchTelemetry(const char* path)
{
    auto source = openRecording(path);
    return source ? prefetchTelemetry(*source) : 0;
}

bool TMKBlackBoxData::ExtractStreamInformation(TMKByteSource& source)
{
    TMKLogDebug("#############################   START\n");
    clear();

    const IndexWalk walk = walkIndex(source, true);
    if (!walk.isAvi)
        return false;

    std::vector<unsigned char> bytes;
    std::vector<std::size_t> recordAt;
    const std::vector<bool> complete = readRecords(source, walk.records, bytes, recordAt, m_readPlan);

    // Parsed in index order: the NMEA parser carries state from one record
    // to the next, and the lists keep the order the camera wrote.
    std::vector<std::shared_ptr<const TMKAviGpsData>> gpsRecords;
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        if (!complete[i])
            continue;
        const unsigned char* at = bytes.data() + recordAt[i];
        if (walk.records[i].gps) {
            _AVI_GPS_DATA_T record;
            std::memcpy(&record, at, sizeof record);
            const std::size_t textLength = std::min<std::size_t>(record.nLen, _AVI_GPS_DATA_T::kRawDataSize);
            if (textLength > 0)
                ParseNMEA(record.RawData, textLength);
            gpsRecords.push_back(TMKAviGpsData::aviGpsDataWithData(record));
        } else {
            _AVI_GSENSOR_DATA_T record;
            std::memcpy(&record, at, sizeof record);
            m_vGSensorData.push_back(TMKAviGSensorData::aviGSensorDataWithData(record));
            ParseGSensor(&record, sizeof record);
        }
    }

    if (!gpsRecords.empty())
        lineUpGpsRecords(gpsRecords);
    m_vGpsRecords = std::move(gpsRecords);

    TMKLogDebug("#############################  FINISH\n");
    return true;
}

bool TMKBlackBoxData::ParseNMEA(char* buffer, std::size_t bufferSize)
{
    if (!buffer || bufferSize == 0)
        return false;
    std::size_t start = 0;
    std::size_t fixes = 0;
    for (std::size_t i = 0; i < bufferSize && fixes < kMaxFixesPerRecord; ++i) {
        const char c = buffer[i];
        if (c == '$') {
            start = i;
            continue;
        }
        if (!isTerminator(c))
            continue;
        buffer[i] = '\0';
        if (start + 1 < i && buffer[start] == '$' && buffer[start + 1] == 'G') {
            m_NMEAParser.parse(std::string_view(buffer + start, i - start));
            m_NMEAs.push_back(m_NMEAParser.m_Current.duplicate());
            ++fixes;
        }
        start = i + 1;
    }
    return true;
}

bool TMKBlackBoxData::ParseGSensor(const _AVI_GSENSOR_DATA_T* record, std::size_t bufferSize)
{
    if (!record || bufferSize < sizeof(_AVI_GSENSOR_DATA_T))
        return false;
    constexpr float kScale = 0.00390625f; // 1/256 g
    m_GSensors.emplace_back(static_cast<float>(record->xAxis) * kScale, static_cast<float>(record->yAxis) * kScale,
                            static_cast<float>(record->zAxis) * kScale);
    return true;
}

void TMKBlackBoxData::lineUpGpsRecords(const std::vector<std::shared_ptr<const TMKAviGpsData>>& gpsRecords)
{
    const std::size_t samples = m_vGSensorData.size();
    const std::size_t limit = kLineUpFactor * (samples + gpsRecords.size());
    std::size_t next = 0;
    for (const auto& record : gpsRecords) {
        const uint32_t recordTenths = record->data.nTimestamp / 100;
        for (std::size_t i = next; i < samples; ++i) {
            if (m_vGpsData.size() >= limit)
                return;
            m_vGpsData.push_back(record);
            if (m_vGSensorData[i]->data.timestamp / 100 >= recordTenths) {
                next = i + 1;
                break;
            }
        }
    }
}
