#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKTelemetryPrefetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void putU32(Bytes& bytes, std::size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }
void append(Bytes& bytes, const void* data, std::size_t size)
{
    bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}
void appendU32(Bytes& bytes, uint32_t value) { append(bytes, &value, 4); }

// A minimal file in the camera's layout: fixed header, movi chunks, index.
// Only the bytes extraction relies on are meaningful.
class AviBuilder {
public:
    AviBuilder() : m_bytes(TMKAviLayout::kMoviTagOffset, 0)
    {
        std::memcpy(m_bytes.data(), "RIFF", 4);
        std::memcpy(m_bytes.data() + 8, "AVI ", 4);
        std::memcpy(m_bytes.data() + 14132, "LIST", 4);
        append(m_bytes, "movi", 4);
    }
    void chunk(const char* id, const void* data, uint32_t length)
    {
        m_entries.push_back({id, static_cast<uint32_t>(m_bytes.size() - TMKAviLayout::kMoviTagOffset), length});
        append(m_bytes, id, 4);
        appendU32(m_bytes, length);
        append(m_bytes, data, length);
        if (length % 2)
            m_bytes.push_back(0);
    }
    void gsensor(uint32_t ms, int32_t x, int32_t y, int32_t z)
    {
        const _AVI_GSENSOR_DATA_T record{171, ms, x, y, z, 0};
        chunk("02sb", &record, sizeof record);
    }
    void gps(uint32_t ms, const std::string& nmea, uint32_t nLen = 0, char fill = 0)
    {
        _AVI_GPS_DATA_T record;
        std::memset(&record, fill, sizeof record);
        record.header = 205;
        record.nTimestamp = ms;
        record.nLen = nLen ? nLen : static_cast<uint32_t>(nmea.size());
        record.KM = '9';
        // Given its own (overlong) nLen, the text ends where RawData ends.
        const std::size_t n = std::min(nmea.size(), sizeof record.RawData);
        std::memcpy(record.RawData + (nLen ? sizeof record.RawData - n : 0), nmea.data(), n);
        chunk("02sb", &record, sizeof record);
    }
    // The index lists the chunks written so far in `order` (positions in the
    // order written), as a card's index does once chunks were placed
    // wherever the camera found room.
    void reorderIndex(const std::vector<std::size_t>& order)
    {
        std::vector<Entry> entries;
        for (const std::size_t i : order)
            entries.push_back(m_entries.at(i));
        m_entries = std::move(entries);
    }
    void indexEntry(const char* id, uint32_t offset, uint32_t length) { m_extra.push_back({id, offset, length}); }
    Bytes build() const
    {
        Bytes bytes = m_bytes;
        putU32(bytes, TMKAviLayout::kMoviSizeOffset, static_cast<uint32_t>(bytes.size() - TMKAviLayout::kMoviTagOffset));
        append(bytes, "idx1", 4);
        appendU32(bytes, static_cast<uint32_t>((m_entries.size() + m_extra.size()) * 16));
        for (const auto* list : {&m_entries, &m_extra}) {
            for (const auto& e : *list) {
                append(bytes, e.id.c_str(), 4);
                for (const uint32_t v : {0x10u, e.offset, e.length})
                    appendU32(bytes, v);
            }
        }
        putU32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
        return bytes;
    }

private:
    struct Entry {
        std::string id;
        uint32_t offset, length;
    };
    Bytes m_bytes;
    std::vector<Entry> m_entries, m_extra;
};

const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const std::string kCycle = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n" + kGga;

std::string rmcAt(int s)
{
    return "$GPRMC,1235" + std::to_string(100 + s).substr(1) + ".000,A,4807." + std::to_string(1000 + s * 7).substr(1)
        + ",N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
}
// 169 three-byte "$G\r" sentences fill one record's text.
const std::string kPacked = [] {
    std::string text;
    while (text.size() + 3 <= 508)
        text += "$G\r";
    return text;
}();

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint32_t> linedUpTimes(const TMKBlackBoxData& data)
{
    std::vector<uint32_t> times;
    for (const auto& entry : data.m_vGpsData)
        times.push_back(entry->data.nTimestamp);
    return times;
}

// Serves a buffer and keeps what was asked of it, in order.
class RecordingSource final : public TMKByteSource {
public:
    struct Call {
        bool hint;
        uint64_t offset, size;
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
        uint32_t moviSize;
        std::memcpy(&moviSize, m_bytes.data() + TMKAviLayout::kMoviSizeOffset, 4);
        std::vector<Call> reads;
        for (const auto& call : calls) {
            if (!call.hint && call.offset >= TMKAviLayout::kMoviTagOffset && call.offset < TMKAviLayout::kIndexBase + moviSize)
                reads.push_back(call);
        }
        return reads;
    }
    std::vector<Call> calls;

private:
    Bytes m_bytes;
};

class TMKBlackBoxDataTest : public ::testing::Test {
protected:
    void SetUp() override { TMKSetLogSink({}); }
    void TearDown() override { TMKSetLogSink({}); }
    bool extract(const Bytes& bytes) { return data.ExtractStreamInformationFromBuffer(bytes.data(), bytes.size()); }
    std::string lists() const
    {
        return "gs=" + std::to_string(data.m_GSensors.size()) + "/" + std::to_string(data.m_vGSensorData.size())
            + " nmea=" + std::to_string(data.m_NMEAs.size()) + " gps=" + std::to_string(data.m_vGpsRecords.size())
            + " linedUp=" + std::to_string(data.m_vGpsData.size());
    }
    // What the lists hold, in bytes, as the viewer and the tool keep them.
    std::size_t listBytes() const
    {
        return data.m_NMEAs.size() * sizeof(TMKGpsData) + data.m_GSensors.size() * sizeof(TMKGSensor)
            + data.m_vGSensorData.size() * (sizeof(TMKAviGSensorData) + 2 * sizeof(void*))
            + data.m_vGpsData.size() * 2 * sizeof(void*);
    }
    double timedExtract(const Bytes& bytes)
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(extract(bytes));
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    TMKBlackBoxData data;
};

TEST_F(TMKBlackBoxDataTest, ReadsThroughTheIndexAndCraftedLayoutsEndCleanly)
{
    AviBuilder chunks;
    const uint8_t frame[7] = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
    chunks.chunk("00dc", frame, sizeof frame);
    chunks.gsensor(0, 256, 0, -128);
    chunks.gps(0, kCycle);
    chunks.chunk("01wb", frame, 4);
    chunks.gsensor(100, -512, 64, 256);

    // The index address is tracing: the debug channel, never the error stream.
    std::string diagnostics, errors;
    TMKSetLogSink([&](TMKLogChannel channel, std::string_view text) {
        (channel == TMKLogChannel::Debug ? diagnostics : errors).append(text);
    });
    const Bytes file = chunks.build();
    ASSERT_TRUE(extract(file));
    uint32_t listSize;
    std::memcpy(&listSize, file.data() + 14136, 4);
    char expected[80];
    std::snprintf(expected, sizeof expected, "Listmovsize=0x%x IdxAddr=0x%x\n", listSize, 14148 + listSize);
    EXPECT_NE(diagnostics.find(expected), std::string::npos) << diagnostics;
    EXPECT_EQ(errors, "");

    ASSERT_EQ(lists(), "gs=2/2 nmea=2 gps=1 linedUp=1"); // one fix per "$G" sentence; 0 ms closes the first run
    EXPECT_EQ(data.m_GSensors[0], TMKGSensor(1.0f, 0.0f, -0.5f));
    EXPECT_EQ(data.m_GSensors[1], TMKGSensor(-2.0f, 0.25f, 1.0f));
    EXPECT_EQ(data.m_vGSensorData[1]->data.timestamp, 100u);
    EXPECT_EQ(data.m_NMEAs[0].SpeedOverGround, static_cast<double>(22.4f));
    EXPECT_EQ(data.m_NMEAs[0].Latitude, 0.0); // the fix as it stood after RMC
    EXPECT_EQ(data.m_NMEAs[1].Latitude, static_cast<double>(4807.038f));
    EXPECT_EQ(data.m_vGpsData[0]->data.header, 205);
    // The stored text carries the terminators the NMEA pass overwrote.
    EXPECT_EQ(data.m_vGpsData[0]->data.RawData[kCycle.find('\r')], '\0');

    // Each row first reads a good file, so a row expecting empty lists also
    // checks that a later call clears what an earlier one found.
    const auto base = [] {
        AviBuilder avi;
        avi.gsensor(0, 1, 2, 3);
        avi.gps(0, kCycle);
        return avi;
    };
    const Bytes good = base().build();
    const auto edited = [&](const std::function<void(Bytes&)>& edit) {
        Bytes bytes = good;
        edit(bytes);
        return bytes;
    };
    uint32_t moviSize;
    std::memcpy(&moviSize, good.data() + 14136, 4);
    const std::string none = "gs=0/0 nmea=0 gps=0 linedUp=0";
    const struct {
        const char* name;
        Bytes bytes;
        bool ok;
        std::string lists;
    } cases[] = {
        {"too short for RIFF", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I'}, false, none},
        {"RIFX", edited([](Bytes& b) { b[3] = 'X'; }), false, none},
        {"WAVE", edited([](Bytes& b) { std::memcpy(b.data() + 8, "WAVE", 4); }), false, none},
        {"too short for the movi size", Bytes(good.begin(), good.begin() + 14000), true, none},
        {"movi size beyond the file", edited([](Bytes& b) { putU32(b, 14136, 0x7FFF0000); }), true, none},
        {"index start wraps 32 bits", edited([](Bytes& b) { putU32(b, 14136, 0xFFFFFFFFu - 14148u + 14160u); }), true, none},
        {"index cut after a chunk id", Bytes(good.begin(), good.end() - 12), true, "gs=1/1 nmea=0 gps=0 linedUp=0"},
        {"RIFF ends after the movi list", edited([&](Bytes& b) { putU32(b, 4, 14148 + moviSize - 8); }), true,
         "gs=1/1 nmea=0 gps=0 linedUp=0"},
        // Lengths 32 and 33: the length, not the content, makes a GPS record.
        {"lengths relabelled", edited([](Bytes& b) { putU32(b, b.size() - 20, 32); putU32(b, b.size() - 4, 33); }), true,
         "gs=1/1 nmea=2 gps=1 linedUp=1"},
        // A record cut short by the end is dropped; an entry outside the
        // file stops the walk (else the last entry adds a sample).
        {"cut short, then outside the file", [&] {
             AviBuilder avi = base();
             avi.indexEntry("02sb", static_cast<uint32_t>(good.size() + 3 * 16 - 100 - 14148), 552);
             avi.indexEntry("02sb", 0x7FFFFFF0, 24);
             avi.indexEntry("02sb", 0, 24);
             return avi.build();
         }(), true, "gs=1/1 nmea=2 gps=1 linedUp=1"},
        {"GPS records without samples", [] {
             AviBuilder avi;
             for (uint32_t ms : {0u, 1000u, 2000u})
                 avi.gps(ms, kCycle);
             return avi.build();
         }(), true, "gs=0/0 nmea=6 gps=3 linedUp=0"},
        // nLen far past the record: the text read stays inside RawData.
        {"overlong NMEA length", [] {
             AviBuilder avi;
             avi.gsensor(0, 1, 2, 3);
             avi.gps(0, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\n", 0xFFFFFFFF, 'A');
             return avi.build();
         }(), true, "gs=1/1 nmea=1 gps=1 linedUp=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(extract(good));
        ASSERT_EQ(lists(), "gs=1/1 nmea=2 gps=1 linedUp=1");
        EXPECT_EQ(extract(c.bytes), c.ok);
        EXPECT_EQ(lists(), c.lists);
    }

    // Crafted files: an index may list one chunk thousands of times, point
    // entries at overlapping bytes, or carry far more GPS records than samples.
    // Memory and time must stay proportional to the file.
    // 143 KB: one sample and one GPS record of 169 sentences, each listed
    // 4400 times. Read as listed, that is 16 million lined-up entries.
    AviBuilder listed;
    listed.gsensor(0, 1, 2, 3);
    listed.gps(1000, kPacked);
    ASSERT_TRUE(extract(listed.build()));
    const auto plainNmeas = data.m_NMEAs;
    const std::string plainLists = lists();
    for (int i = 0; i < 4400; ++i) {
        listed.indexEntry("02sb", 4, 24);
        listed.indexEntry("02sb", 4 + 8 + 24, 552);
    }
    EXPECT_LT(timedExtract(listed.build()), 0.5);
    EXPECT_EQ(lists(), plainLists);
    EXPECT_EQ(data.m_NMEAs, plainNmeas);
    EXPECT_LT(listBytes(), 1u << 20);

    // Entries one byte apart over the movi data: each offset differs, but
    // the records they would give overlap.
    AviBuilder overlapping;
    for (uint32_t i = 0; i < 200; ++i)
        overlapping.gsensor(i * 100, 1, 2, 3);
    for (uint32_t i = 0; i < 20; ++i)
        overlapping.gps(i * 1000, kPacked);
    for (uint32_t offset = 4; offset < 12'000; ++offset)
        overlapping.indexEntry("02sb", offset, offset % 2 ? 552 : 24);
    const Bytes crafted = overlapping.build();
    EXPECT_LT(timedExtract(crafted), 0.5);
    EXPECT_LE(data.m_vGSensorData.size() * sizeof(_AVI_GSENSOR_DATA_T) + data.m_vGpsRecords.size() * sizeof(_AVI_GPS_DATA_T),
              crafted.size());
    EXPECT_LE(data.m_vGpsData.size(),
              TMKBlackBoxData::kLineUpFactor * (data.m_vGSensorData.size() + crafted.size() / sizeof(_AVI_GPS_DATA_T)));
    EXPECT_LT(listBytes(), 16 * crafted.size());

    // 2000 samples in the first 0.2 s, then 2000 GPS records: every record
    // would be repeated over all samples (4 million entries). The entries
    // kept are the ones the unbounded rule starts with.
    AviBuilder late;
    for (uint32_t i = 0; i < 2000; ++i)
        late.gsensor(i / 10, 1, 2, 3);
    for (uint32_t i = 0; i < 2000; ++i)
        late.gps(1000 + i * 1000, kGga);
    EXPECT_LT(timedExtract(late.build()), 0.5);
    ASSERT_EQ(lists(), "gs=2000/2000 nmea=2000 gps=2000 linedUp=" + std::to_string(TMKBlackBoxData::kLineUpFactor * 4000));
    std::vector<uint32_t> start(2000, 1000);
    start.push_back(2000);
    auto times = linedUpTimes(data);
    times.resize(2001);
    EXPECT_EQ(times, start);
    EXPECT_LT(listBytes(), 4u << 20);
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
    return linedUpTimes(data);
}

TEST_F(TMKBlackBoxDataTest, ListsAndReadsFollowTheRulesAndTheIndex)
{
    using V = std::vector<uint32_t>;
    const V tenSamples = {0, 100, 200, 300, 400, 500, 600, 700, 800, 900};
    // Ten records after the last sample each cover samples 6 to 9; ten that
    // no sample reaches each cover all ten.
    V trailing = {500}, trailingRuns(6, 500), late, lateRuns;
    for (uint32_t k = 1; k <= 10; ++k) {
        trailing.push_back(500 + k * 1000);
        trailingRuns.insert(trailingRuns.end(), 4, 500 + k * 1000);
        late.push_back(5000 + k * 1000);
        lateRuns.insert(lateRuns.end(), 10, 5000 + k * 1000);
    }
    const struct {
        V samples, gps, expected;
    } cases[] = {
        {tenSamples, {500, 1500}, {500, 500, 500, 500, 500, 500, 1500, 1500, 1500, 1500}},
        {{0, 100, 200}, {1000, 2000}, {1000, 1000, 1000, 2000, 2000, 2000}},
        {{1000, 1099, 1200, 1300}, {1099}, {1099}}, // tenths: 1099 and 1000 meet; later samples get no entry
        {{}, {1000}, {}},
        {{0, 100}, {}, {}},
        {tenSamples, trailing, trailingRuns},
        {tenSamples, late, lateRuns},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(lineUp(cases[i].samples, cases[i].gps), cases[i].expected) << "row " << i;

    // The NMEA pass splits at terminators, skips other talkers and bounds the fixes.
    TMKSetLogSink({});
    std::string cycle12;
    for (const char* id : {"RMC", "GGA", "GSA", "GSA", "GSV", "GSV", "GSV", "GSV", "GSV", "GSV", "VTG", "GLL"})
        cycle12 += std::string("$GP") + id + ",,,,*00\r\n";
    const struct {
        std::string text;
        std::size_t fixes;
    } texts[] = {
        {"$PMTK001,1*00\r\n" + kCycle + "$GPGGA,unterminated*00", 2},
        {"xx$GPGSV,3,1,11*74\n$G\n\n", 2}, // junk before a sentence, and an unhandled $G type, still store a fix
        {kPacked, TMKBlackBoxData::kMaxFixesPerRecord},
        {cycle12, 12}, // a receiver's full cycle is far below the bound
    };
    for (auto c : texts) {
        TMKBlackBoxData pass;
        EXPECT_TRUE(pass.ParseNMEA(c.text.data(), c.text.size()));
        EXPECT_EQ(pass.m_NMEAs.size(), c.fixes) << c.text;
        EXPECT_FALSE(pass.ParseNMEA(nullptr, 4));
        EXPECT_FALSE(pass.ParseNMEA(c.text.data(), 0));
    }

    // Three groups of records, apart by more than the gap worth reading across,
    // the index listing the last group first. Each group's fix has its
    // position in one record and its height in the next: the parser carries
    // state across records. The results follow the index, not where the bytes
    // lie, by either plan; the coalesced plan announces every range before the
    // first read, then reads each group once, in file order.
    const Bytes filler(TMKBlackBoxData::kCoalesceGap + 1000, 0x55);
    const auto group = [&](AviBuilder& avi, int g) {
        for (int i = 0; i < 5; ++i)
            avi.gsensor(static_cast<uint32_t>(g * 500 + i * 100), g, i, 256 + i);
        avi.gps(static_cast<uint32_t>(g * 500), rmcAt(g));
        avi.gps(static_cast<uint32_t>(g * 500 + 100), kGga);
        avi.chunk("00dc", filler.data(), static_cast<uint32_t>(filler.size()));
    };
    AviBuilder plain, fragmented;
    std::vector<std::size_t> order;
    for (int g = 0; g < 3; ++g) {
        group(plain, 2 - g);
        group(fragmented, g);
        for (std::size_t i = 0; i < 8; ++i) // 5 samples, 2 GPS records, 1 frame
            order.insert(order.begin() + static_cast<std::ptrdiff_t>(i), static_cast<std::size_t>(g) * 8 + i);
    }
    fragmented.reorderIndex(order);
    ASSERT_TRUE(extract(plain.build()));
    ASSERT_EQ(lists().substr(0, 22), "gs=15/15 nmea=6 gps=6 ");
    EXPECT_EQ(data.m_vGSensorData.front()->data.timestamp, 1000u);
    const auto nmeas = data.m_NMEAs;
    const auto gsensors = data.m_GSensors;
    const auto linedUp = linedUpTimes(data);

    for (const auto plan : {TMKBlackBoxData::ReadPlan::Coalesced, TMKBlackBoxData::ReadPlan::OneReadPerRecord}) {
        const bool coalesced = plan == TMKBlackBoxData::ReadPlan::Coalesced;
        SCOPED_TRACE(coalesced ? "coalesced" : "one read per record");
        data.m_readPlan = plan;
        RecordingSource source(fragmented.build());
        ASSERT_TRUE(data.ExtractStreamInformation(source));
        EXPECT_EQ(data.m_NMEAs, nmeas);
        EXPECT_EQ(data.m_GSensors, gsensors);
        EXPECT_EQ(linedUpTimes(data), linedUp);
        const auto reads = source.recordReads();
        ASSERT_EQ(reads.size(), coalesced ? 3u : 21u);
        EXPECT_EQ(std::is_sorted(reads.begin(), reads.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; }),
                  coalesced);
        for (const auto& read : reads)
            EXPECT_LT(read.size, 5 * 24 + 2 * 552 + 64u) << "a read spans the frame between groups";
        // Every range is announced before the first record is read.
        const auto firstRead = std::find_if(source.calls.begin(), source.calls.end(), [&](const auto& call) {
            return !call.hint && call.offset == reads.front().offset;
        });
        EXPECT_EQ(std::count_if(source.calls.begin(), firstRead, [](const auto& call) { return call.hint; }), coalesced ? 3 : 0);
        EXPECT_TRUE(std::none_of(firstRead, source.calls.end(), [](const auto& call) { return call.hint; }));
    }

    // 400 samples 10 KB apart and a GPS record: close enough to join, too many
    // for one read; the prefetch announces the same records without reading.
    data.m_readPlan = TMKBlackBoxData::ReadPlan::Coalesced;
    AviBuilder avi;
    const Bytes frame(10 * 1024, 0x11);
    for (uint32_t i = 0; i < 400; ++i) {
        avi.gsensor(i * 100, static_cast<int32_t>(i), 0, 0);
        avi.chunk("00dc", frame.data(), static_cast<uint32_t>(frame.size()));
    }
    avi.gps(0, kCycle);
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

    RecordingSource walker(avi.build());
    const auto ranges = TMKBlackBoxData::telemetryRanges(walker);
    ASSERT_EQ(ranges.size(), 401u);
    EXPECT_TRUE(ranges.back().gps && !ranges.front().gps);
    EXPECT_EQ(ranges.back().size, sizeof(_AVI_GPS_DATA_T));
    RecordingSource ahead(avi.build());
    EXPECT_EQ(TMKBlackBoxData::prefetchTelemetry(ahead), 401u);
    EXPECT_TRUE(ahead.recordReads().empty());
    for (const auto& range : ranges) {
        EXPECT_TRUE(std::any_of(ahead.calls.begin(), ahead.calls.end(), [&](const auto& call) {
            return call.hint && call.offset <= range.offset && range.offset + range.size <= call.offset + call.size;
        })) << "range at " << range.offset << " not announced";
    }
    RecordingSource text(Bytes(20000, 'x')); // not a recording: nothing announced
    EXPECT_EQ(TMKBlackBoxData::prefetchTelemetry(text), 0u);

    // Only a regular file is a recording, for extraction and read-ahead alike;
    // a FIFO must not block the open, and the test must not hang if it does.
    const auto dir = fs::temp_directory_path() / ("tamek-bb-ahead-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string fifo = (dir / "alwa_20150109_120000_F.avi").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> paths = {fifo, (dir / "missing.avi").string(), dir.string(), "/dev/null"};
    AviBuilder growing;
    for (int f = 0; f < 3; ++f) { // files of 1, 2 and 3 samples
        growing.gsensor(static_cast<uint32_t>(f) * 100, 1, 2, 3);
        paths.insert(paths.begin() + 2 * f, (dir / ("alwa_2015010" + std::to_string(f) + "_120000_F.avi")).string());
        writeFile(paths[static_cast<std::size_t>(2 * f)], growing.build());
    }
    auto finished = std::async(std::launch::async, [&] {
        std::string samples;
        for (const auto& path : paths) {
            TMKBlackBoxData local;
            samples += (local.ExtractStreamInformation(path.c_str()) ? std::to_string(local.m_GSensors.size()) : "-");
        }
        TMKTelemetryPrefetcher prefetcher;
        prefetcher.prefetch(paths);
        prefetcher.waitUntilIdle();
        return std::make_tuple(samples, prefetcher.filesDone(), prefetcher.rangesAnnounced());
    });
    const bool ready = finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    // Each blocked open needs a writer to return, or the test would not end.
    while (finished.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0)
            ::close(writer);
    }
    ASSERT_TRUE(ready) << "blocked on a FIFO";
    EXPECT_EQ(finished.get(), std::make_tuple(std::string("1-2-3--"), paths.size(), std::size_t{1 + 2 + 3}));
    EXPECT_FALSE(data.ExtractStreamInformation(static_cast<const char*>(nullptr)));

    // A newer wish replaces what is queued; destroying mid-queue is safe.
    {
        TMKTelemetryPrefetcher prefetcher;
        prefetcher.prefetch(std::vector<std::string>(200, paths[0]));
        prefetcher.prefetch({paths[2]});
        prefetcher.waitUntilIdle();
        EXPECT_LT(prefetcher.filesDone(), 200u);
        prefetcher.prefetch(std::vector<std::string>(200, paths[0]));
    }
    fs::remove_all(dir);

    // A recording read whole ahead: handed over once, waited for while being
    // read, dropped when replaced or forgotten; a failed read hands nothing.
    TMKTelemetryPrefetcher prefetcher;
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<int> calls{0};
    const auto slow = [&](const std::string& path) {
        ++calls;
        gate.wait();
        TMKBlackBoxData read;
        read.m_GSensors.assign(path.size(), TMKGSensor{1.0f, 0.0f, 0.0f});
        return read;
    };
    const auto taken = [&](const char* path) {
        const auto got = prefetcher.take(path);
        return got ? static_cast<int>(got->m_GSensors.size()) : -1;
    };
    const auto readAhead = [&](const char* path) {
        prefetcher.readAhead(path, slow);
        prefetcher.waitUntilIdle();
    };

    EXPECT_EQ(taken("a.avi"), -1); // nothing asked
    prefetcher.readAhead("a.avi", slow);
    while (calls == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(taken("other.avi"), -1);
    auto waiting = std::async(std::launch::async, [&] { return taken("a.avi"); }); // being read: take waits
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    EXPECT_EQ(waiting.get(), 5);
    EXPECT_EQ(taken("a.avi"), -1); // once
    EXPECT_EQ(prefetcher.readsAhead(), 1u);

    prefetcher.readAhead("b.avi", slow); // replaced: only the newer one is kept
    readAhead("cc.avi");
    EXPECT_EQ(taken("b.avi"), -1);
    EXPECT_EQ(taken("cc.avi"), 6);
    readAhead("d.avi"); // forgotten, or failed: nothing
    prefetcher.forget();
    EXPECT_EQ(taken("d.avi"), -1);
    prefetcher.readAhead("e.avi", [](const std::string&) -> TMKBlackBoxData { throw std::bad_alloc(); });
    prefetcher.waitUntilIdle();
    EXPECT_EQ(taken("e.avi"), -1);
    EXPECT_EQ(prefetcher.readsTaken(), 2u);
}

} // namespace
