#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKTelemetryPrefetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& bytes, std::size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

void appendU32(Bytes& bytes, uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    putU32(bytes, bytes.size() - 4, value);
}

void appendId(Bytes& bytes, const char* id)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(id[i]));
}

// A minimal file in the camera's layout: fixed header, movi chunks, index.
// Only the bytes extraction relies on are meaningful.
class AviBuilder {
public:
    struct Entry {
        std::string id;
        uint32_t offset;
        uint32_t length;
    };

    AviBuilder() : m_bytes(TMKAviLayout::kMoviTagOffset, 0)
    {
        std::memcpy(m_bytes.data(), "RIFF", 4);
        std::memcpy(m_bytes.data() + 8, "AVI ", 4);
        std::memcpy(m_bytes.data() + 14132, "LIST", 4);
        appendId(m_bytes, "movi");
    }

    void chunk(const char* id, const void* data, uint32_t length)
    {
        m_entries.push_back({id, static_cast<uint32_t>(m_bytes.size() - TMKAviLayout::kMoviTagOffset), length});
        appendId(m_bytes, id);
        appendU32(m_bytes, length);
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + length);
        if (length % 2)
            m_bytes.push_back(0);
    }
    void gsensor(uint32_t ms, int32_t x, int32_t y, int32_t z)
    {
        const _AVI_GSENSOR_DATA_T record{171, ms, x, y, z, 0};
        chunk("02sb", &record, sizeof record);
    }
    void gps(uint32_t ms, const std::string& nmea)
    {
        _AVI_GPS_DATA_T record;
        std::memset(&record, 0, sizeof record);
        record.header = 205;
        record.nTimestamp = ms;
        record.nLen = static_cast<uint32_t>(nmea.size());
        record.KM = '9';
        std::memcpy(record.RawData, nmea.data(), std::min(nmea.size(), sizeof record.RawData));
        chunk("02sb", &record, sizeof record);
    }
    // The index lists the chunks written so far in `order` (positions in
    // the order written), as a card's index does once chunks were placed
    // wherever the camera found room.
    void reorderIndex(const std::vector<std::size_t>& order)
    {
        std::vector<Entry> entries;
        for (const std::size_t i : order)
            entries.push_back(m_entries.at(i));
        m_entries = std::move(entries);
    }
    [[nodiscard]] std::size_t chunkCount() const { return m_entries.size(); }
    void indexEntry(const char* id, uint32_t offset, uint32_t length)
    {
        m_extraEntries.push_back({id, offset, length});
    }

    Bytes build() const
    {
        Bytes bytes = m_bytes;
        putU32(bytes, TMKAviLayout::kMoviSizeOffset, static_cast<uint32_t>(bytes.size() - TMKAviLayout::kMoviTagOffset));
        appendId(bytes, "idx1");
        appendU32(bytes, static_cast<uint32_t>((m_entries.size() + m_extraEntries.size()) * 16));
        for (const auto* list : {&m_entries, &m_extraEntries}) {
            for (const auto& e : *list) {
                appendId(bytes, e.id.c_str());
                appendU32(bytes, 0x10);
                appendU32(bytes, e.offset);
                appendU32(bytes, e.length);
            }
        }
        putU32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
        return bytes;
    }

private:
    Bytes m_bytes;
    std::vector<Entry> m_entries;
    std::vector<Entry> m_extraEntries;
};

class TMKBlackBoxDataTest : public ::testing::Test {
protected:
    void SetUp() override { TMKSetLogSink({}); }
    void TearDown() override { TMKSetLogSink({}); }

    bool extract(const Bytes& bytes) { return data.ExtractStreamInformationFromBuffer(bytes.data(), bytes.size()); }
    void expectEmpty() const
    {
        EXPECT_TRUE(data.m_GSensors.empty());
        EXPECT_TRUE(data.m_vGSensorData.empty());
        EXPECT_TRUE(data.m_vGpsData.empty());
        EXPECT_TRUE(data.m_NMEAs.empty());
    }

    TMKBlackBoxData data;
};

const std::string kCycle = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
                           "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

TEST_F(TMKBlackBoxDataTest, ReadsTelemetryChunksThroughTheIndex)
{
    AviBuilder avi;
    const uint8_t frame[7] = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
    avi.chunk("00dc", frame, sizeof frame);
    avi.gsensor(0, 256, 0, -128);
    avi.gps(0, kCycle);
    avi.chunk("01wb", frame, 4);
    avi.gsensor(100, -512, 64, 256);

    // The index address is tracing: the debug channel, never the error stream.
    std::string diagnostics;
    std::string errors;
    TMKSetLogSink([&](TMKLogChannel channel, std::string_view text) {
        if (channel == TMKLogChannel::Debug)
            diagnostics.append(text);
        else
            errors.append(text);
    });
    const Bytes bytes = avi.build();
    ASSERT_TRUE(extract(bytes));

    uint32_t moviSize;
    std::memcpy(&moviSize, bytes.data() + 14136, 4);
    char expected[80];
    std::snprintf(expected, sizeof expected, "Listmovsize=0x%x IdxAddr=0x%x\n", moviSize, 14148 + moviSize);
    EXPECT_NE(diagnostics.find(expected), std::string::npos) << diagnostics;
    EXPECT_EQ(errors, "");

    ASSERT_EQ(data.m_GSensors.size(), 2u);
    EXPECT_EQ(data.m_GSensors[0], TMKGSensor(1.0f, 0.0f, -0.5f));
    EXPECT_EQ(data.m_GSensors[1], TMKGSensor(-2.0f, 0.25f, 1.0f));
    EXPECT_EQ(data.m_vGSensorData[1]->data.timestamp, 100u);
    ASSERT_EQ(data.m_NMEAs.size(), 2u); // one per "$G" sentence
    EXPECT_EQ(data.m_NMEAs[0].SpeedOverGround, static_cast<double>(22.4f));
    EXPECT_EQ(data.m_NMEAs[0].Latitude, 0.0); // the fix as it stood after RMC
    EXPECT_EQ(data.m_NMEAs[1].Latitude, static_cast<double>(4807.038f));
    ASSERT_EQ(data.m_vGpsData.size(), 1u); // the sample at 0 ms closes the first run
    EXPECT_EQ(data.m_vGpsData[0]->data.header, 205);
    // The stored text carries the terminators the NMEA pass overwrote.
    EXPECT_EQ(data.m_vGpsData[0]->data.RawData[kCycle.find('\r')], '\0');
}

TEST_F(TMKBlackBoxDataTest, ChunkLengthDecidesTheRecordKind)
{
    AviBuilder avi;
    avi.gsensor(0, 256, 256, 256);
    avi.gps(1000, kCycle);
    Bytes bytes = avi.build();
    // Re-label the lengths of the two index entries as 32 and 33.
    const std::size_t index = bytes.size() - 32;
    putU32(bytes, index + 12, 32);
    putU32(bytes, index + 16 + 12, 33);
    ASSERT_TRUE(extract(bytes));
    EXPECT_EQ(data.m_GSensors.size(), 1u);
    EXPECT_EQ(data.m_NMEAs.size(), 2u);
    EXPECT_EQ(data.m_vGpsData.size(), 1u);
}

TEST_F(TMKBlackBoxDataTest, NotRiffAvi)
{
    EXPECT_FALSE(data.ExtractStreamInformation("/nonexistent/alwa_20150101_120000_F.avi"));
    EXPECT_FALSE(data.ExtractStreamInformation(static_cast<const char*>(nullptr)));
    Bytes shortFile = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I'};
    EXPECT_FALSE(extract(shortFile));
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    Bytes rifx = avi.build();
    rifx[3] = 'X';
    EXPECT_FALSE(extract(rifx));
    expectEmpty();
    Bytes wav = avi.build();
    std::memcpy(wav.data() + 8, "WAVE", 4);
    EXPECT_FALSE(extract(wav));
}

TEST_F(TMKBlackBoxDataTest, FailedCallClearsEarlierLists)
{
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    avi.gps(0, kCycle);
    ASSERT_TRUE(extract(avi.build()));
    ASSERT_FALSE(data.m_GSensors.empty());
    EXPECT_FALSE(extract(Bytes{1, 2, 3}));
    expectEmpty();
}

TEST_F(TMKBlackBoxDataTest, MalformedLayoutsEndCleanly)
{
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    avi.gps(0, kCycle);
    const Bytes good = avi.build();

    // Too short for the movi size: an AVI without telemetry we can find.
    Bytes header(good.begin(), good.begin() + 14000);
    EXPECT_TRUE(extract(header));
    expectEmpty();

    // A movi size pointing beyond the file.
    Bytes beyond = good;
    putU32(beyond, 14136, 0x7FFF0000);
    EXPECT_TRUE(extract(beyond));
    expectEmpty();

    // A movi size whose index start wraps around 32 bits into the header.
    Bytes wrapping = good;
    putU32(wrapping, 14136, 0xFFFFFFFFu - 14148u + 14160u);
    EXPECT_TRUE(extract(wrapping));
    expectEmpty();

    // Index cut short right after an entry's chunk id.
    Bytes cut(good.begin(), good.end() - 12);
    EXPECT_TRUE(extract(cut));
    EXPECT_EQ(data.m_GSensors.size(), 1u);
    EXPECT_TRUE(data.m_NMEAs.empty());
}

TEST_F(TMKBlackBoxDataTest, EntriesPointingOutsideTheFileStopTheWalk)
{
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    avi.indexEntry("02sb", 0x7FFFFFF0, 24);
    avi.indexEntry("02sb", 0, 24);
    ASSERT_TRUE(extract(avi.build()));
    EXPECT_EQ(data.m_GSensors.size(), 1u);
}

TEST_F(TMKBlackBoxDataTest, RecordCutShortByTheEndOfFileIsDropped)
{
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    Bytes bytes = avi.build();
    // An entry whose GPS record would start 100 bytes before the end.
    const uint32_t offset = static_cast<uint32_t>(bytes.size() + 16 - 100 - 14148);
    bytes.resize(bytes.size() + 16);
    std::memcpy(bytes.data() + bytes.size() - 16, "02sb", 4);
    putU32(bytes, bytes.size() - 12, 0x10);
    putU32(bytes, bytes.size() - 8, offset);
    putU32(bytes, bytes.size() - 4, 552);
    putU32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
    ASSERT_TRUE(extract(bytes));
    EXPECT_EQ(data.m_GSensors.size(), 1u);
    EXPECT_TRUE(data.m_vGpsData.empty());
    EXPECT_TRUE(data.m_NMEAs.empty());
}

TEST_F(TMKBlackBoxDataTest, OverlongNmeaLengthStaysInsideTheRecord)
{
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    _AVI_GPS_DATA_T record;
    std::memset(&record, 'A', sizeof record);
    record.header = 205;
    record.nTimestamp = 0;
    record.nLen = 0xFFFFFFFF;
    const std::string text = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\n";
    std::memcpy(record.RawData + 508 - text.size(), text.data(), text.size());
    avi.chunk("02sb", &record, sizeof record);
    ASSERT_TRUE(extract(avi.build()));
    ASSERT_EQ(data.m_vGpsData.size(), 1u);
    EXPECT_EQ(data.m_vGpsData[0]->data.nLen, 0xFFFFFFFFu); // the record keeps its own field
    ASSERT_EQ(data.m_NMEAs.size(), 1u);                  // the last sentence ends inside RawData
    EXPECT_EQ(data.m_NMEAs[0].SatelliteUsedCount, 8u);
    EXPECT_EQ(data.m_vGpsData[0]->data.RawData[507], '\0');
}

TEST_F(TMKBlackBoxDataTest, RiffEndStopsTheWalk)
{
    AviBuilder avi;
    for (uint32_t i = 0; i < 5; ++i)
        avi.gsensor(i * 100, 1, 2, 3);
    Bytes bytes = avi.build();
    // A RIFF that ends right after the movi list: the first entry is still read.
    uint32_t moviSize;
    std::memcpy(&moviSize, bytes.data() + 14136, 4);
    putU32(bytes, 4, 14148 + moviSize - 8);
    ASSERT_TRUE(extract(bytes));
    EXPECT_EQ(data.m_GSensors.size(), 1u);
}

TEST_F(TMKBlackBoxDataTest, ReadsFromAFile)
{
    AviBuilder avi;
    avi.gsensor(0, 256, 0, 0);
    const Bytes bytes = avi.build();
    const std::string path = (std::filesystem::temp_directory_path() / ("tamek-bb-" + std::to_string(getpid()) + ".avi")).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(data.ExtractStreamInformation(path.c_str()));
    std::filesystem::remove(path);
    EXPECT_EQ(data.m_GSensors.size(), 1u);
}

// Lining up: G-sensor records at the given times, GPS records at the others.
std::vector<uint32_t> lineUp(const std::vector<uint32_t>& samples, const std::vector<uint32_t>& gps)
{
    TMKBlackBoxData data;
    for (uint32_t t : samples)
        data.m_vGSensorData.push_back(TMKAviGSensorData::aviGSensorDataWithData({171, t, 0, 0, 0, 0}));
    std::vector<std::shared_ptr<const TMKAviGpsData>> records;
    for (uint32_t t : gps) {
        _AVI_GPS_DATA_T record{};
        record.nTimestamp = t;
        records.push_back(TMKAviGpsData::aviGpsDataWithData(record));
    }
    data.lineUpGpsRecords(records);
    std::vector<uint32_t> times;
    for (const auto& entry : data.m_vGpsData)
        times.push_back(entry->data.nTimestamp);
    return times;
}

TEST(TMKBlackBoxLineUp, WorkedExamples)
{
    EXPECT_EQ(lineUp({0, 100, 200, 300, 400, 500, 600, 700, 800, 900}, {500, 1500}),
              (std::vector<uint32_t>{500, 500, 500, 500, 500, 500, 1500, 1500, 1500, 1500}));
    EXPECT_EQ(lineUp({0, 100, 200}, {1000, 2000}), (std::vector<uint32_t>{1000, 1000, 1000, 2000, 2000, 2000}));
    // Tenths: 1099 ms and 1000 ms meet; the last samples may have no entry.
    EXPECT_EQ(lineUp({1000, 1099, 1200, 1300}, {1099}), (std::vector<uint32_t>{1099}));
    EXPECT_TRUE(lineUp({}, {1000}).empty());
    EXPECT_TRUE(lineUp({0, 100}, {}).empty());
}

TEST(TMKBlackBoxNmeaPass, SplitsAtTerminatorsAndSkipsOtherTalkers)
{
    TMKSetLogSink({});
    TMKBlackBoxData data;
    std::string text = "$PMTK001,1*00\r\n" + kCycle + "$GPGGA,unterminated*00";
    EXPECT_TRUE(data.ParseNMEA(text.data(), text.size()));
    EXPECT_EQ(data.m_NMEAs.size(), 2u);
    // Junk before a sentence, and an unhandled $G type, still store a fix.
    std::string junk = "xx$GPGSV,3,1,11*74\n$G\n\n";
    EXPECT_TRUE(data.ParseNMEA(junk.data(), junk.size()));
    EXPECT_EQ(data.m_NMEAs.size(), 4u);
    EXPECT_FALSE(data.ParseNMEA(nullptr, 4));
    EXPECT_FALSE(data.ParseNMEA(text.data(), 0));
}

// Crafted files: an index may list one chunk thousands of times, point
// entries at overlapping bytes, or carry far more GPS records than samples;
// NMEA text may be packed with three-byte "$G\r" sentences. Memory and time
// must stay proportional to the file.
class TMKBlackBoxHostile : public TMKBlackBoxDataTest {
protected:
    // What the lists hold, in bytes, as the viewer and the tool keep them.
    std::size_t listBytes() const
    {
        return data.m_NMEAs.size() * sizeof(TMKGpsData) + data.m_GSensors.size() * sizeof(TMKGSensor)
            + data.m_vGSensorData.size() * (sizeof(TMKAviGSensorData) + 2 * sizeof(void*))
            + data.m_vGpsData.size() * 2 * sizeof(void*);
    }
    static std::string packedSentences()
    {
        std::string text;
        while (text.size() + 3 <= 508)
            text += "$G\r";
        return text;
    }
    // extract(), timed.
    double timedExtract(const Bytes& bytes)
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(extract(bytes));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(TMKBlackBoxHostile, OneChunkListedThousandsOfTimesIsReadOnce)
{
    // 143 KB: one sample and one GPS record of 169 sentences, each listed
    // 4400 times. Read as listed, that is 16 million lined-up entries.
    AviBuilder avi;
    avi.gsensor(0, 1, 2, 3);
    avi.gps(1000, packedSentences());
    const Bytes plain = avi.build();
    AviBuilder crafted;
    crafted.gsensor(0, 1, 2, 3);
    crafted.gps(1000, packedSentences());
    const uint32_t gsensorOffset = 4;
    const uint32_t gpsOffset = 4 + 8 + 24;
    for (int i = 0; i < 4400; ++i) {
        crafted.indexEntry("02sb", gsensorOffset, 24);
        crafted.indexEntry("02sb", gpsOffset, 552);
    }
    const Bytes bytes = crafted.build();
    ASSERT_GT(bytes.size(), 140'000u);

    ASSERT_TRUE(extract(plain));
    const auto plainNmeas = data.m_NMEAs;
    const auto plainLinedUp = data.m_vGpsData.size();

    EXPECT_LT(timedExtract(bytes), 0.5);
    EXPECT_EQ(data.m_vGSensorData.size(), 1u);
    EXPECT_EQ(data.m_GSensors.size(), 1u);
    EXPECT_EQ(data.m_NMEAs, plainNmeas);
    EXPECT_EQ(data.m_vGpsData.size(), plainLinedUp);
    EXPECT_LT(listBytes(), 1u << 20);
}

TEST_F(TMKBlackBoxHostile, OverlappingEntriesNeverHoldMoreThanTheFile)
{
    // Entries one byte apart over the movi data: each offset differs, but
    // the records they would give overlap.
    AviBuilder avi;
    for (uint32_t i = 0; i < 200; ++i)
        avi.gsensor(i * 100, 1, 2, 3);
    for (uint32_t i = 0; i < 20; ++i)
        avi.gps(i * 1000, packedSentences());
    for (uint32_t offset = 4; offset < 12'000; ++offset)
        avi.indexEntry("02sb", offset, offset % 2 ? 552 : 24);
    const Bytes bytes = avi.build();

    EXPECT_LT(timedExtract(bytes), 0.5);
    const std::size_t gpsRecords = data.m_vGpsRecords.size();
    EXPECT_LE(data.m_vGSensorData.size() * sizeof(_AVI_GSENSOR_DATA_T) + gpsRecords * sizeof(_AVI_GPS_DATA_T),
              bytes.size());
    EXPECT_LE(data.m_vGpsData.size(),
              TMKBlackBoxData::kLineUpFactor * (data.m_vGSensorData.size() + bytes.size() / sizeof(_AVI_GPS_DATA_T)));
    EXPECT_LT(listBytes(), 16 * bytes.size());
}

TEST_F(TMKBlackBoxHostile, ManyRecordsPastFewSamplesStayLinear)
{
    // 2000 samples in the first 0.2 s, then 2000 GPS records: every record
    // would be repeated over all samples (4 million entries).
    AviBuilder avi;
    for (uint32_t i = 0; i < 2000; ++i)
        avi.gsensor(i / 10, 1, 2, 3);
    for (uint32_t i = 0; i < 2000; ++i)
        avi.gps(1000 + i * 1000, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    const Bytes bytes = avi.build();

    EXPECT_LT(timedExtract(bytes), 0.5);
    EXPECT_EQ(data.m_vGSensorData.size(), 2000u);
    EXPECT_EQ(data.m_NMEAs.size(), 2000u);
    EXPECT_EQ(data.m_vGpsData.size(), TMKBlackBoxData::kLineUpFactor * 4000);
    // The entries that are kept are the ones the unbounded rule starts with.
    EXPECT_EQ(data.m_vGpsData.front()->data.nTimestamp, 1000u);
    EXPECT_EQ(data.m_vGpsData[1999]->data.nTimestamp, 1000u);
    EXPECT_EQ(data.m_vGpsData[2000]->data.nTimestamp, 2000u);
    EXPECT_LT(listBytes(), 4u << 20);
}

TEST_F(TMKBlackBoxHostile, PackedSentencesGiveBoundedFixes)
{
    std::string packed = packedSentences();
    EXPECT_TRUE(data.ParseNMEA(packed.data(), packed.size()));
    EXPECT_EQ(data.m_NMEAs.size(), TMKBlackBoxData::kMaxFixesPerRecord);

    // A receiver's full cycle in one record is far below the bound.
    data.clear();
    std::string cycle;
    for (const char* id : {"RMC", "GGA", "GSA", "GSA", "GSV", "GSV", "GSV", "GSV", "GSV", "GSV", "VTG", "GLL"})
        cycle += std::string("$GP") + id + ",,,,*00\r\n";
    EXPECT_TRUE(data.ParseNMEA(cycle.data(), cycle.size()));
    EXPECT_EQ(data.m_NMEAs.size(), 12u);
}

// Lists as the camera's recordings give them, by the unbounded rule.
TEST(TMKBlackBoxLineUp, GpsOutlastingTheSamplesByTenRecordsIsUnchanged)
{
    const std::vector<uint32_t> samples = {0, 100, 200, 300, 400, 500, 600, 700, 800, 900};
    // The first record closes its run at 500 ms; ten more come after the
    // last sample and each covers the samples 6 to 9.
    std::vector<uint32_t> gps = {500};
    std::vector<uint32_t> expected(6, 500);
    for (uint32_t k = 1; k <= 10; ++k) {
        gps.push_back(500 + k * 1000);
        expected.insert(expected.end(), 4, 500 + k * 1000);
    }
    EXPECT_EQ(lineUp(samples, gps), expected);

    // No record is ever reached: each of ten covers all ten samples.
    std::vector<uint32_t> late;
    std::vector<uint32_t> allRuns;
    for (uint32_t k = 1; k <= 10; ++k) {
        late.push_back(5000 + k * 1000);
        allRuns.insert(allRuns.end(), 10, 5000 + k * 1000);
    }
    EXPECT_EQ(lineUp(samples, late), allRuns);
}

TEST_F(TMKBlackBoxDataTest, GpsRecordsAsReadWithoutSamples)
{
    AviBuilder avi;
    avi.gps(0, kCycle);
    avi.gps(1000, kCycle);
    avi.gps(2000, kCycle);
    ASSERT_TRUE(extract(avi.build()));
    EXPECT_TRUE(data.m_vGpsData.empty());
    ASSERT_EQ(data.m_vGpsRecords.size(), 3u);
    EXPECT_EQ(data.m_vGpsRecords[2]->data.nTimestamp, 2000u);
    EXPECT_EQ(data.m_NMEAs.size(), 6u);
    data.clear();
    EXPECT_TRUE(data.m_vGpsRecords.empty());
}

// Opened with a timeout: a FIFO must not block, and the test must not hang
// if it does.
TEST_F(TMKBlackBoxDataTest, FifoAndDevicesAreNotRecordings)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tamek-bb-fifo-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string fifo = (dir / "alwa_20150101_120000_F.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    auto result = std::async(std::launch::async, [&] {
        TMKBlackBoxData local;
        return local.ExtractStreamInformation(fifo.c_str());
    });
    const bool finished = result.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    if (!finished) {
        // Let the blocked open return so the test can end.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_TRUE(finished) << "extraction blocked on a FIFO";
    EXPECT_FALSE(result.get());
    EXPECT_FALSE(data.ExtractStreamInformation("/dev/null"));
    EXPECT_FALSE(data.ExtractStreamInformation(dir.c_str()));
    std::filesystem::remove_all(dir);
}

// Serves a buffer and keeps what was asked of it, in order.
class RecordingSource final : public TMKByteSource {
public:
    struct Call {
        bool hint;
        uint64_t offset;
        uint64_t size;
    };
    explicit RecordingSource(Bytes bytes) : m_bytes(std::move(bytes)) {}
    uint64_t length() const override { return m_bytes.size(); }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        calls.push_back({false, offset, size});
        if (offset >= m_bytes.size())
            return 0;
        const std::size_t count = std::min<std::size_t>(size, m_bytes.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, m_bytes.data() + offset, count);
        return count;
    }
    void willNeed(uint64_t offset, uint64_t size) override { calls.push_back({true, offset, size}); }

    // Reads that touch the movi data, where the records lie.
    std::vector<Call> recordReads() const
    {
        std::vector<Call> reads;
        for (const auto& call : calls) {
            if (!call.hint && call.offset >= TMKAviLayout::kMoviTagOffset && call.offset < indexStart())
                reads.push_back(call);
        }
        return reads;
    }
    uint64_t indexStart() const
    {
        uint32_t moviSize;
        std::memcpy(&moviSize, m_bytes.data() + TMKAviLayout::kMoviSizeOffset, 4);
        return uint64_t{TMKAviLayout::kIndexBase} + moviSize;
    }

    std::vector<Call> calls;

private:
    Bytes m_bytes;
};

std::string rmcAt(int second)
{
    char line[96];
    std::snprintf(line, sizeof line, "$GPRMC,1235%02d.000,A,4807.%03d,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n",
                  second, second * 7);
    return line;
}

// Chunks written last to first while the index lists them first to last:
// the results must follow the index, not where the bytes lie.
TEST_F(TMKBlackBoxDataTest, FragmentedIndexGivesTheSameResults)
{
    const auto fill = [](AviBuilder& avi, bool reversed) {
        std::vector<std::function<void()>> chunks;
        for (int i = 0; i < 40; ++i)
            chunks.push_back([&avi, i] { avi.gsensor(static_cast<uint32_t>(i) * 100, i, -i, 256 + i); });
        for (int s = 0; s < 4; ++s) {
            // A fix whose position comes in one record and whose height
            // comes in the next: the parser carries state across records.
            chunks.push_back([&avi, s] { avi.gps(static_cast<uint32_t>(s) * 1000, rmcAt(s)); });
        }
        chunks.push_back([&avi] { avi.gps(4000, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"); });
        std::vector<std::size_t> order(chunks.size());
        for (std::size_t i = 0; i < chunks.size(); ++i)
            order[i] = reversed ? chunks.size() - 1 - i : i;
        for (const std::size_t i : order)
            chunks[i]();
        if (reversed)
            avi.reorderIndex(order); // written position k holds chunk order[k]; list them back in chunk order
    };
    AviBuilder plain;
    fill(plain, false);
    AviBuilder fragmented;
    fill(fragmented, true);

    ASSERT_TRUE(extract(plain.build()));
    const auto nmeas = data.m_NMEAs;
    const auto gsensors = data.m_GSensors;
    std::vector<uint32_t> linedUp;
    for (const auto& r : data.m_vGpsData)
        linedUp.push_back(r->data.nTimestamp);
    ASSERT_EQ(nmeas.size(), 5u);
    ASSERT_EQ(gsensors.size(), 40u);

    RecordingSource source(fragmented.build());
    ASSERT_TRUE(data.ExtractStreamInformation(source));
    EXPECT_EQ(data.m_NMEAs, nmeas);
    EXPECT_EQ(data.m_GSensors, gsensors);
    std::vector<uint32_t> fragmentedLinedUp;
    for (const auto& r : data.m_vGpsData)
        fragmentedLinedUp.push_back(r->data.nTimestamp);
    EXPECT_EQ(fragmentedLinedUp, linedUp);
    ASSERT_EQ(data.m_vGSensorData.size(), 40u);
    EXPECT_EQ(data.m_vGSensorData.front()->data.timestamp, 0u);
    EXPECT_EQ(data.m_vGSensorData.back()->data.timestamp, 3900u);
    // All 45 records lie together: one read fetches them.
    EXPECT_EQ(source.recordReads().size(), 1u);
}

TEST_F(TMKBlackBoxDataTest, RecordReadsAreAnnouncedSortedAndCoalesced)
{
    // Three groups of records, apart by more than the gap worth reading
    // across; the index lists the last group first.
    AviBuilder avi;
    const Bytes filler(TMKBlackBoxData::kCoalesceGap + 1000, 0x55);
    for (int group = 0; group < 3; ++group) {
        for (int i = 0; i < 5; ++i)
            avi.gsensor(static_cast<uint32_t>(group * 500 + i * 100), group, i, 0);
        avi.gps(static_cast<uint32_t>(group * 500), rmcAt(group));
        avi.chunk("00dc", filler.data(), static_cast<uint32_t>(filler.size()));
    }
    // Written order per group: 5 samples, 1 GPS, 1 frame.
    std::vector<std::size_t> order;
    for (int group = 2; group >= 0; --group) {
        for (std::size_t i = 0; i < 7; ++i)
            order.push_back(static_cast<std::size_t>(group) * 7 + i);
    }
    avi.reorderIndex(order);
    RecordingSource source(avi.build());
    ASSERT_TRUE(data.ExtractStreamInformation(source));
    ASSERT_EQ(data.m_vGSensorData.size(), 15u);
    EXPECT_EQ(data.m_vGSensorData.front()->data.timestamp, 1000u); // index order kept
    EXPECT_EQ(data.m_NMEAs.size(), 3u);

    const auto reads = source.recordReads();
    ASSERT_EQ(reads.size(), 3u);
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_LT(reads[i - 1].offset, reads[i].offset) << "record reads out of file order";
    for (const auto& read : reads)
        EXPECT_LT(read.size, 5 * 24 + 552 + 64u) << "a read spans the frame between groups";

    // Every range is announced before the first record is read.
    const auto firstRead = std::find_if(source.calls.begin(), source.calls.end(), [&](const auto& call) {
        return !call.hint && call.offset == reads.front().offset;
    });
    const auto hints = std::count_if(source.calls.begin(), firstRead, [](const auto& call) { return call.hint; });
    EXPECT_EQ(hints, 3);
    EXPECT_TRUE(std::none_of(firstRead, source.calls.end(), [](const auto& call) { return call.hint; }));
}

// The plain plan, kept for comparison: the same lists, one read per record in
// index order, nothing announced.
TEST_F(TMKBlackBoxDataTest, OneReadPerRecordPlanGivesTheSameLists)
{
    AviBuilder avi;
    const Bytes filler(1000, 0x22);
    for (int i = 0; i < 20; ++i) {
        avi.gsensor(static_cast<uint32_t>(i) * 100, i, -i, 0);
        if (i % 10 == 0)
            avi.gps(static_cast<uint32_t>(i) * 100, rmcAt(i / 10));
        avi.chunk("00dc", filler.data(), static_cast<uint32_t>(filler.size()));
    }
    std::vector<std::size_t> order(avi.chunkCount());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = order.size() - 1 - i;
    avi.reorderIndex(order);
    const Bytes file = avi.build();

    RecordingSource coalesced(file);
    ASSERT_TRUE(data.ExtractStreamInformation(coalesced));
    const auto nmeas = data.m_NMEAs;
    const auto gsensors = data.m_GSensors;
    ASSERT_EQ(gsensors.size(), 20u);
    ASSERT_EQ(nmeas.size(), 2u);
    EXPECT_EQ(coalesced.recordReads().size(), 1u);

    data.m_readPlan = TMKBlackBoxData::ReadPlan::OneReadPerRecord;
    RecordingSource plain(file);
    ASSERT_TRUE(data.ExtractStreamInformation(plain));
    EXPECT_EQ(data.m_NMEAs, nmeas);
    EXPECT_EQ(data.m_GSensors, gsensors);
    const auto reads = plain.recordReads();
    ASSERT_EQ(reads.size(), 22u);
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_GT(reads[i - 1].offset, reads[i].offset) << "not in index order";
    EXPECT_TRUE(std::none_of(plain.calls.begin(), plain.calls.end(), [](const auto& call) { return call.hint; }));
}

TEST_F(TMKBlackBoxDataTest, CoveringReadsStayWithinTheSpanLimit)
{
    // 400 samples 10 KB apart: close enough to join, too many for one read.
    AviBuilder avi;
    const Bytes filler(10 * 1024, 0x11);
    for (uint32_t i = 0; i < 400; ++i) {
        avi.gsensor(i * 100, static_cast<int32_t>(i), 0, 0);
        avi.chunk("00dc", filler.data(), static_cast<uint32_t>(filler.size()));
    }
    RecordingSource source(avi.build());
    ASSERT_TRUE(data.ExtractStreamInformation(source));
    ASSERT_EQ(data.m_GSensors.size(), 400u);
    EXPECT_FLOAT_EQ(data.m_GSensors[399].x, 399.0f / 256.0f);
    const auto reads = source.recordReads();
    for (const auto& read : reads)
        EXPECT_LE(read.size, TMKBlackBoxData::kMaxSpan);
    // 4 MB of movi data in spans of at most 256 KB: about 16 reads, not 400.
    EXPECT_GE(reads.size(), 400u * (10 * 1024 + 32) / TMKBlackBoxData::kMaxSpan);
    EXPECT_LE(reads.size(), 20u);
}

TEST_F(TMKBlackBoxDataTest, PrefetchAnnouncesTheRecordsWithoutReadingThem)
{
    AviBuilder avi;
    const Bytes filler(40 * 1024, 0x22);
    for (uint32_t i = 0; i < 10; ++i) {
        avi.gsensor(i * 100, 1, 2, 3);
        avi.chunk("00dc", filler.data(), static_cast<uint32_t>(filler.size()));
    }
    avi.gps(0, kCycle);
    const Bytes bytes = avi.build();

    RecordingSource walker(bytes);
    const auto ranges = TMKBlackBoxData::telemetryRanges(walker);
    ASSERT_EQ(ranges.size(), 11u);
    EXPECT_TRUE(ranges.back().gps);
    EXPECT_EQ(ranges.back().size, sizeof(_AVI_GPS_DATA_T));

    RecordingSource source(bytes);
    EXPECT_EQ(TMKBlackBoxData::prefetchTelemetry(source), 11u);
    EXPECT_TRUE(source.recordReads().empty());
    for (const auto& range : ranges) {
        EXPECT_TRUE(std::any_of(source.calls.begin(), source.calls.end(), [&](const auto& call) {
            return call.hint && call.offset <= range.offset && range.offset + range.size <= call.offset + call.size;
        })) << "range at " << range.offset << " not announced";
    }

    // Not a recording: nothing announced.
    RecordingSource text(Bytes(20000, 'x'));
    EXPECT_EQ(TMKBlackBoxData::prefetchTelemetry(text), 0u);
}

TEST_F(TMKBlackBoxDataTest, PrefetcherReadsAheadFilesAndSkipsTheRest)
{
    const auto dir = std::filesystem::temp_directory_path() / ("tamek-bb-ahead-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> paths;
    for (int f = 0; f < 3; ++f) {
        AviBuilder avi;
        for (int i = 0; i <= f; ++i)
            avi.gsensor(static_cast<uint32_t>(i) * 100, 1, 2, 3);
        const Bytes bytes = avi.build();
        paths.push_back((dir / ("alwa_2015010" + std::to_string(f) + "_120000_F.avi")).string());
        std::ofstream(paths.back(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
    }
    const std::string fifo = (dir / "alwa_20150109_120000_F.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    paths.insert(paths.begin() + 1, fifo);
    paths.push_back((dir / "missing.avi").string());
    paths.push_back(dir.string());

    auto finished = std::async(std::launch::async, [&] {
        TMKTelemetryPrefetcher prefetcher;
        prefetcher.prefetch(paths);
        prefetcher.waitUntilIdle();
        return std::make_pair(prefetcher.filesDone(), prefetcher.rangesAnnounced());
    });
    const bool ready = finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ready) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    ASSERT_TRUE(ready) << "read-ahead blocked";
    const auto [files, ranges] = finished.get();
    EXPECT_EQ(files, paths.size());
    EXPECT_EQ(ranges, 1u + 2u + 3u);

    // A newer wish replaces what is queued; destroying mid-queue is safe.
    {
        TMKTelemetryPrefetcher prefetcher;
        prefetcher.prefetch(std::vector<std::string>(200, paths[0]));
        prefetcher.prefetch({paths[2]});
        prefetcher.waitUntilIdle();
        EXPECT_LT(prefetcher.filesDone(), 200u);
        prefetcher.prefetch(std::vector<std::string>(200, paths[0]));
    }
    std::filesystem::remove_all(dir);
}

// A recording read whole ahead: handed over once, waited for while being
// read, dropped when replaced or forgotten; a failed read hands nothing.
TEST(TMKTelemetryReadAhead, HandsOverOnceAndOnlyTheCurrentRead)
{
    TMKTelemetryPrefetcher prefetcher;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<int> calls{0};
    const auto slow = [&](const std::string& path) {
        ++calls;
        gate.wait();
        TMKBlackBoxData data;
        data.m_GSensors.assign(path.size(), TMKGSensor{1.0f, 0.0f, 0.0f});
        return data;
    };

    EXPECT_FALSE(prefetcher.take("a.avi").has_value()); // nothing asked
    prefetcher.readAhead("a.avi", slow);
    while (calls == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(prefetcher.take("other.avi").has_value());
    // Being read: take waits for it.
    auto taken = std::async(std::launch::async, [&] { return prefetcher.take("a.avi"); });
    EXPECT_EQ(taken.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    const auto data = taken.get();
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->m_GSensors.size(), 5u);
    EXPECT_FALSE(prefetcher.take("a.avi").has_value()); // once
    EXPECT_EQ(prefetcher.readsAhead(), 1u);
    EXPECT_EQ(prefetcher.readsTaken(), 1u);

    // Replaced: only the newer one is kept.
    prefetcher.readAhead("b.avi", slow);
    prefetcher.readAhead("cc.avi", slow);
    prefetcher.waitUntilIdle();
    EXPECT_FALSE(prefetcher.take("b.avi").has_value());
    const auto cc = prefetcher.take("cc.avi");
    ASSERT_TRUE(cc.has_value());
    EXPECT_EQ(cc->m_GSensors.size(), 6u);

    // Forgotten, or failed: nothing.
    prefetcher.readAhead("d.avi", slow);
    prefetcher.waitUntilIdle();
    prefetcher.forget();
    EXPECT_FALSE(prefetcher.take("d.avi").has_value());
    prefetcher.readAhead("e.avi", [](const std::string&) -> TMKBlackBoxData { throw std::bad_alloc(); });
    prefetcher.waitUntilIdle();
    EXPECT_FALSE(prefetcher.take("e.avi").has_value());
    EXPECT_EQ(prefetcher.readsTaken(), 2u);

    // Destroyed while a read runs: waits for it, nothing leaks or crashes.
    std::promise<void> never;
    std::shared_future<void> late = never.get_future().share();
    auto pending = std::make_unique<TMKTelemetryPrefetcher>();
    std::atomic<bool> began{false};
    pending->readAhead("f.avi", [&](const std::string&) {
        began = true;
        late.wait_for(std::chrono::milliseconds(200));
        return TMKBlackBoxData{};
    });
    while (!began)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pending.reset();
}

} // namespace
