// The recording writer: the camera's fixed layout, the index, NMEA text
// with correct checksums, and recordings that extraction reads back as
// they were written.

#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

uint32_t u32(const std::vector<uint8_t>& b, std::size_t at)
{
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::string id(const std::vector<uint8_t>& b, std::size_t at)
{
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

struct Written {
    std::vector<_AVI_GSENSOR_DATA_T> samples;
    std::vector<_AVI_GPS_DATA_T> gps;
    std::size_t gSentences = 0;
    TMKNmeaFix last;
    std::vector<uint8_t> bytes;
};

Written writeRecording(int seconds, double startLat, bool withGns)
{
    Written w;
    TMKAviWriter writer;
    for (uint32_t ms = 0; ms < static_cast<uint32_t>(seconds) * 1000; ms += 100) {
        const auto i = static_cast<int32_t>(ms / 100);
        w.samples.push_back(_AVI_GSENSOR_DATA_T{171, ms, i % 50 - 25, -(i % 7), 256 + i % 3, 30});
        writer.addGSensor(w.samples.back());
        // Odd-sized frames need a pad byte each.
        writer.addVideoFrame(ms, {0xFF, 0xD8, static_cast<uint8_t>(i), 0xFF, 0xD9});
    }
    writer.addAudio(0, std::vector<uint8_t>(8000, 0x80));
    writer.addAudio(1000, std::vector<uint8_t>(8000, 0x80));
    for (int s = 0; s < seconds; ++s) {
        TMKNmeaFix fix;
        fix.utc = TMKUtcAddSeconds(TMKUtcTime{2026, 11, 7, 7, 15, 0, 0}, s);
        fix.latitude = startLat + s * 0.0002;
        fix.longitude = 11.5167 - s * 0.0001;
        fix.speedKnots = 10 + s;
        fix.courseDegrees = 45;
        fix.gpsPrns = {2, 5, 12, 29};
        fix.glonassPrns = {65, 70};
        const auto sentences = TMKNmeaSentencesForFix(fix, withGns);
        _AVI_GPS_DATA_T record{};
        const std::size_t packed = TMKPackGpsRecord(sentences, fix, static_cast<uint32_t>(s) * 1000, record);
        w.gSentences += packed;
        w.gps.push_back(record);
        writer.addGps(record);
        w.last = fix;
    }
    EXPECT_TRUE(writer.writeToBuffer(w.bytes));
    return w;
}

TEST(TMKAviWriter, LayoutNmeaTextAndExtractionGiveBackWhatWasWritten)
{
    const std::vector<uint8_t> b = writeRecording(2, 48.1173, false).bytes;
    ASSERT_GT(b.size(), 14148u);
    EXPECT_EQ(id(b, 0), "RIFF");
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_EQ(id(b, 8), "AVI ");
    EXPECT_EQ(id(b, 12), "LIST");
    EXPECT_EQ(id(b, 20), "hdrl");
    EXPECT_EQ(id(b, 14132), "LIST");
    EXPECT_EQ(id(b, 14140), "movi");
    const uint32_t moviSize = u32(b, 14136);
    const std::size_t idx1 = 14140 + moviSize;
    ASSERT_LE(idx1 + 8, b.size());
    EXPECT_EQ(id(b, idx1), "idx1");
    const uint32_t indexSize = u32(b, idx1 + 4);
    EXPECT_EQ(idx1 + 8 + indexSize, b.size());
    ASSERT_EQ(indexSize % 16, 0u);

    // Every entry points at a chunk of its id and length, in file order,
    // each chunk starting on an even offset; every frame is a key frame.
    // Chunks go in time order, the frame first at equal times.
    std::map<std::string, int> counts;
    std::vector<int> framesBeforeAudio;
    uint32_t lastOffset = 0;
    for (std::size_t e = idx1 + 8; e < b.size(); e += 16) {
        const std::string entry = id(b, e);
        const uint32_t offset = u32(b, e + 8);
        const uint32_t length = u32(b, e + 12);
        EXPECT_EQ(id(b, 14140 + offset), entry);
        EXPECT_EQ(u32(b, 14144 + offset), length);
        EXPECT_EQ(offset % 2, 0u);
        EXPECT_GT(offset, lastOffset);
        lastOffset = offset;
        if (entry == "01wb")
            framesBeforeAudio.push_back(counts["00dc"]);
        ++counts[entry + (entry == "02sb" ? "/" + std::to_string(length) : "")];
        if (entry == "00dc") {
            EXPECT_EQ(u32(b, e + 4) & TMKAviWriter::kKeyFrameFlag, TMKAviWriter::kKeyFrameFlag);
        }
    }
    EXPECT_EQ(counts, (std::map<std::string, int>{{"00dc", 20}, {"01wb", 2}, {"02sb/24", 20}, {"02sb/552", 2}}));
    EXPECT_EQ(framesBeforeAudio, (std::vector<int>{1, 11}));

    TMKAviWriter writer;
    std::string error;
    EXPECT_FALSE(writer.write("/nonexistent-folder/x_F.avi", &error));
    EXPECT_FALSE(error.empty());

    // NMEA text with the worked checksums, packed in whole sentences.
    EXPECT_EQ(TMKNmeaChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), 0x47);
    EXPECT_EQ(TMKNmeaSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    EXPECT_EQ(TMKNmeaSentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W").substr(65), "*6A\r\n");

    TMKNmeaFix fix;
    fix.utc = TMKUtcTime{2026, 11, 7, 23, 59, 59, 0};
    EXPECT_EQ(TMKNmeaLatitudeField(33.8568), "3351.4080");
    EXPECT_EQ(TMKNmeaLongitudeField(11.5167), "01131.0020");
    EXPECT_EQ(TMKUtcAddSeconds(fix.utc, 1), (TMKUtcTime{2026, 11, 8, 0, 0, 0, 0}));

    std::vector<std::string> many(20, TMKNmeaSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    _AVI_GPS_DATA_T record{};
    const std::size_t packed = TMKPackGpsRecord(many, fix, 1000, record);
    EXPECT_LT(packed, many.size());
    EXPECT_EQ(record.nLen, packed * many[0].size());
    EXPECT_LE(record.nLen, 508u);
    EXPECT_EQ(record.header, 205);
    EXPECT_EQ(record.nTimestamp, 1000u);
    EXPECT_EQ(record.KM, '9');

    // Extraction gives back what was written.
    TMKSetLogSink({});
    const Written w = writeRecording(5, 48.1173, false);
    TMKBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformationFromBuffer(w.bytes.data(), w.bytes.size()));
    ASSERT_EQ(data.m_vGSensorData.size(), w.samples.size());
    for (std::size_t i = 0; i < w.samples.size(); ++i) {
        EXPECT_EQ(std::memcmp(&data.m_vGSensorData[i]->data, &w.samples[i], sizeof w.samples[i]), 0);
        EXPECT_EQ(data.m_GSensors[i].x, static_cast<float>(w.samples[i].xAxis) / 256.0f);
        EXPECT_EQ(data.m_GSensors[i].z, static_cast<float>(w.samples[i].zAxis) / 256.0f);
    }

    // The distinct records of the lined-up list are the records written.
    std::vector<const TMKAviGpsData*> distinct;
    for (const auto& entry : data.m_vGpsData) {
        if (distinct.empty() || distinct.back() != entry.get())
            distinct.push_back(entry.get());
    }
    ASSERT_EQ(distinct.size(), w.gps.size());
    for (std::size_t i = 0; i < w.gps.size(); ++i)
        EXPECT_EQ(std::memcmp(&distinct[i]->data, &w.gps[i], offsetof(_AVI_GPS_DATA_T, RawData)), 0) << i;
    ASSERT_EQ(data.m_NMEAs.size(), w.gSentences);
    EXPECT_NEAR(TMKLatitudeDegrees(data.m_NMEAs.back()), w.last.latitude, 1e-5);

    // A southern drive with GNS sentences.
    const Written e = writeRecording(3, -33.85, true);
    ASSERT_TRUE(data.ExtractStreamInformationFromBuffer(e.bytes.data(), e.bytes.size()));
    ASSERT_EQ(data.m_NMEAs.size(), e.gSentences);
    EXPECT_EQ(data.m_NMEAs.back().NS, 'S');
    EXPECT_TRUE(data.m_NMEAs.back().Enable_GNGNS);
    EXPECT_NEAR(TMKLatitudeDegrees(data.m_NMEAs.back()), e.last.latitude, 1e-5);
}

} // namespace
