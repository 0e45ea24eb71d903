#pragma once

#include "media/TMKAviRecords.h"
#include "media/TMKGpsData.h"
#include "media/TMKNMEASentenceParser.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct TMKAviGSensorData {
    static std::shared_ptr<const TMKAviGSensorData> aviGSensorDataWithData(const _AVI_GSENSOR_DATA_T& record)
    {
        return std::make_shared<const TMKAviGSensorData>(TMKAviGSensorData{record});
    }
    _AVI_GSENSOR_DATA_T data;
};

struct TMKAviGpsData {
    static std::shared_ptr<const TMKAviGpsData> aviGpsDataWithData(const _AVI_GPS_DATA_T& record)
    {
        return std::make_shared<const TMKAviGpsData>(TMKAviGpsData{record});
    }
    _AVI_GPS_DATA_T data;
};

// Where extraction reads bytes from: a file, or memory (tests, fuzzing).
class TMKByteSource {
public:
    virtual ~TMKByteSource() = default;
    [[nodiscard]] virtual uint64_t length() const = 0;
    // Reads up to `size` bytes at `offset`; returns the count read (0 at or
    // past the end).
    virtual std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) = 0;
    // Says the range will be read soon. A file hands it to the kernel, so a
    // slow device (an SD card in a USB reader) can fetch all of a
    // recording's scattered records in one go instead of one per read.
    virtual void willNeed(uint64_t offset, uint64_t size)
    {
        (void)offset;
        (void)size;
    }
};

// Where one telemetry record lies, as the index lists it.
struct TMKTelemetryRange {
    uint64_t offset = 0;
    uint32_t size = 0;
    bool gps = false;
    bool operator==(const TMKTelemetryRange&) const = default;
};

// The telemetry of the recording being played.
class TMKBlackBoxData {
public:
    void clear();

    // True when the file is a RIFF/AVI file, whether or not it held
    // telemetry; false when it cannot be opened or is not RIFF/AVI. Always
    // clears first, so a failed call leaves empty lists.
    bool ExtractStreamInformation(const char* path);
    bool ExtractStreamInformation(TMKByteSource& source);
    bool ExtractStreamInformationFromBuffer(const uint8_t* data, std::size_t size);

    // The records extraction would read, in index order, each offset once
    // and never more bytes than the file holds; empty for a file that is not
    // RIFF/AVI or has no index to walk. Reads the header and the index only.
    [[nodiscard]] static std::vector<TMKTelemetryRange> telemetryRanges(TMKByteSource& source);
    // Announces a recording's index and telemetry records to the source
    // (to the kernel for a file) without reading the records, so a later
    // extraction finds them in the page cache. Returns the ranges announced;
    // nothing for a path that is not a regular file.
    static std::size_t prefetchTelemetry(TMKByteSource& source);
    static std::size_t prefetchTelemetry(const char* path);

    // How extraction fetches the records. Coalesced: sorted by offset, all
    // ranges announced to the source first, close ones by one covering read
    // (below). OneReadPerRecord: one read per record in index order and
    // nothing announced, as a plain reader does; kept to measure the two
    // against each other on slow media.
    enum class ReadPlan { Coalesced, OneReadPerRecord };
    ReadPlan m_readPlan = ReadPlan::Coalesced;

    // The recording at `path` as extraction reads it; nothing when it cannot
    // be opened or is not a regular file.
    [[nodiscard]] static std::unique_ptr<TMKByteSource> openRecordingSource(const char* path);

    // Records closer than kCoalesceGap are fetched by one read of the span
    // covering them, up to kMaxSpan bytes: a slow device serves one larger
    // read faster than several small ones, and the gap bytes read in vain
    // stay small.
    static constexpr uint64_t kCoalesceGap = 16 * 1024;
    static constexpr uint64_t kMaxSpan = 256 * 1024;

    // Splits NMEA text into sentences in place and feeds those starting with
    // "$G" to the parser, storing the fix after each. A receiver's sentences
    // of one moment fit a record's 508 bytes about twenty times at most; text
    // packed with more (three bytes "$G\r" each) is crafted, and the sentences
    // past kMaxFixesPerRecord are not parsed, so the fixes stay proportional to
    // the records read.
    static constexpr std::size_t kMaxFixesPerRecord = 32;
    bool ParseNMEA(char* buffer, std::size_t bufferSize);
    bool ParseGSensor(const _AVI_GSENSOR_DATA_T* record, std::size_t bufferSize);

    // Lines the GPS records up with the G-sensor records into m_vGpsData.
    // Records left over when the samples run out are each repeated over the
    // last run of samples; a GPS track that outlasts the G-sensor by a few
    // records gives a few extra runs, but thousands of records past thousands
    // of samples would give millions of entries. The list therefore stops at
    // kLineUpFactor entries per record and sample read: eleven covers a track
    // that outlasts the samples by ten records with every sample still in the
    // last run, and keeps the list linear in the size of the file.
    static constexpr std::size_t kLineUpFactor = 11;
    void lineUpGpsRecords(const std::vector<std::shared_ptr<const TMKAviGpsData>>& gpsRecords);

    TMKNMEASentenceParser m_NMEAParser;
    std::vector<TMKGpsData> m_NMEAs;
    std::vector<TMKGSensor> m_GSensors;
    std::vector<std::shared_ptr<const TMKAviGSensorData>> m_vGSensorData;
    std::vector<std::shared_ptr<const TMKAviGpsData>> m_vGpsData;
    // The GPS records as read, in file order, each once.
    std::vector<std::shared_ptr<const TMKAviGpsData>> m_vGpsRecords;
};
