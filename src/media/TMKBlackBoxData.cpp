#include "TMKBlackBoxData.h"

#include "TMKLog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kU32Limit = 0x1'0000'0000ull;

// pread: one system call per read, no stdio buffer to refill after every
// seek (records are scattered over the whole file).
class FileByteSource final : public TMKByteSource {
public:
    explicit FileByteSource(int fd) : m_fd(fd)
    {
        struct stat info {};
        if (::fstat(m_fd, &info) == 0 && info.st_size > 0)
            m_length = static_cast<uint64_t>(info.st_size);
    }
    ~FileByteSource() override { ::close(m_fd); }
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

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
    uint64_t m_length = 0;
};

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

class MemoryByteSource final : public TMKByteSource {
public:
    MemoryByteSource(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    uint64_t length() const override { return m_size; }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        if (!m_data || offset >= m_size)
            return 0;
        const std::size_t count = std::min<std::size_t>(size, m_size - static_cast<std::size_t>(offset));
        std::memcpy(buffer, m_data + offset, count);
        return count;
    }

private:
    const uint8_t* m_data;
    std::size_t m_size;
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
    if (!path) {
        clear();
        return false;
    }
    // Without O_NONBLOCK a FIFO named like a recording would block the open
    // until some writer appears; only a regular file is a recording.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        TMKLogDebug("#############################   START\n");
        clear();
        return false;
    }
    FileByteSource source(fd);
    return ExtractStreamInformation(source);
}

bool TMKBlackBoxData::ExtractStreamInformationFromBuffer(const uint8_t* data, std::size_t size)
{
    MemoryByteSource source(data, size);
    return ExtractStreamInformation(source);
}

bool TMKBlackBoxData::ExtractStreamInformation(TMKByteSource& source)
{
    using namespace TMKAviLayout;

    TMKLogDebug("#############################   START\n");
    clear();

    unsigned char header[12];
    if (source.readAt(0, header, sizeof header) != sizeof header || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "AVI ", 4) != 0)
        return false;

    const uint32_t riffEnd = static_cast<uint32_t>(u32At(header + 4) + 8u);
    const uint64_t fileLength = source.length();

    std::vector<std::shared_ptr<const TMKAviGpsData>> gpsRecords;
    // A real index lists each chunk once and the chunks do not overlap, so
    // the records read never hold more bytes than the file. A crafted index
    // that points thousands of entries at one chunk, or at overlapping
    // bytes, stops adding records there.
    std::unordered_set<uint32_t> offsetsRead;
    uint64_t recordBytesLeft = fileLength;

    // Without the camera's fixed header there is no movi size to go by: the
    // file is an AVI, just not one with telemetry we can find.
    unsigned char moviSizeBytes[4];
    if (source.readAt(kMoviSizeOffset, moviSizeBytes, 4) == 4) {
        const uint32_t moviSize = u32At(moviSizeBytes);
        const uint64_t indexStart = uint64_t{kIndexBase} + moviSize;
        char line[80];
        std::snprintf(line, sizeof line, "Listmovsize=0x%x IdxAddr=0x%x\n", moviSize,
                      static_cast<uint32_t>(indexStart));
        TMKLogDebug(line);

        // A movi size so large that the index start wraps around 32 bits
        // would have us read movi data as index entries: nothing to walk.
        if (indexStart < kU32Limit) {
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
                    consumed += 12;
                    const uint32_t chunkOffset = u32At(rest + 4);
                    const uint32_t chunkLength = u32At(rest + 8);
                    const uint64_t dataAt = uint64_t{kIndexBase} + chunkOffset;
                    const std::size_t recordSize
                        = chunkLength > kGSensorChunkMax ? sizeof(_AVI_GPS_DATA_T) : sizeof(_AVI_GSENSOR_DATA_T);

                    if (recordSize > recordBytesLeft || !offsetsRead.insert(chunkOffset).second) {
                        // Not read again; the walk goes on with the next entry.
                    } else if (chunkLength > kGSensorChunkMax) {
                        _AVI_GPS_DATA_T record;
                        std::memset(&record, 0, sizeof record);
                        lastRead = source.readAt(dataAt, &record, sizeof record);
                        // A record cut short by the end of the file is dropped:
                        // its fields and text would be partly zeros.
                        if (lastRead == sizeof record) {
                            recordBytesLeft -= sizeof record;
                            const std::size_t textLength
                                = std::min<std::size_t>(record.nLen, _AVI_GPS_DATA_T::kRawDataSize);
                            if (textLength > 0)
                                ParseNMEA(record.RawData, textLength);
                            gpsRecords.push_back(TMKAviGpsData::aviGpsDataWithData(record));
                        }
                    } else {
                        _AVI_GSENSOR_DATA_T record;
                        std::memset(&record, 0, sizeof record);
                        lastRead = source.readAt(dataAt, &record, sizeof record);
                        if (lastRead == sizeof record) {
                            recordBytesLeft -= sizeof record;
                            m_vGSensorData.push_back(TMKAviGSensorData::aviGSensorDataWithData(record));
                            ParseGSensor(&record, sizeof record);
                        }
                    }
                }
                position = indexStart + consumed;
            } while (position <= riffEnd && lastRead > 0 && position < fileLength);
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
