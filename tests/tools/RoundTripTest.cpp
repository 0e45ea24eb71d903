// Recordings written in the camera's layout, catalogued and extracted, give
// back exactly what was written.

#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaList.h"
#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Written {
    std::vector<_AVI_GSENSOR_DATA_T> samples;
    std::vector<_AVI_GPS_DATA_T> gps;
    std::size_t gSentences = 0;
    TMKNmeaFix last;
};

Written writeRecording(const std::string& path, int seconds, double startLat, bool withGns)
{
    Written w;
    TMKAviWriter writer;
    for (uint32_t ms = 0; ms < static_cast<uint32_t>(seconds) * 1000; ms += 100) {
        const auto i = static_cast<int32_t>(ms / 100);
        w.samples.push_back(_AVI_GSENSOR_DATA_T{171, ms, i % 50 - 25, -(i % 7), 256 + i % 3, 30});
        writer.addGSensor(w.samples.back());
        writer.addVideoFrame(ms, {0xFF, 0xD8, static_cast<uint8_t>(i), 0xFF, 0xD9});
    }
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
    EXPECT_TRUE(writer.write(path));
    return w;
}

TEST(RoundTrip, CatalogueAndExtractionGiveBackWhatWasWritten)
{
    TMKSetLogSink({});
    const fs::path dir = fs::temp_directory_path() / ("tamek-roundtrip-" + std::to_string(getpid()));
    fs::create_directories(dir / "EVENT");
    const std::string front = (dir / "alwa_20261107_081500_F.avi").string();
    const std::string rear = (dir / "alwa_20261107_081500_R.avi").string();
    const std::string event = (dir / "EVENT" / "event_20261107_081400_F.avi").string();
    const Written w = writeRecording(front, 5, 48.1173, false);
    writeRecording(rear, 5, 48.1173, false);
    const Written e = writeRecording(event, 3, -33.85, true);

    TMKMediaList list;
    list.setDirectoryPath(dir.string());
    list.waitUntilIdle();
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(list.mediaAtIndex(0)->path, event);
    const auto pair = list.findMediaPairWithFileName(front);
    ASSERT_TRUE(pair && pair->frontMedia && pair->rearMedia);

    TMKBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(pair->frontMedia->path.c_str()));
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
    for (std::size_t i = 0; i < w.gps.size(); ++i) {
        const _AVI_GPS_DATA_T& got = distinct[i]->data;
        EXPECT_EQ(got.nTimestamp, w.gps[i].nTimestamp);
        EXPECT_EQ(got.nLen, w.gps[i].nLen);
        EXPECT_EQ(got.fLatitude, w.gps[i].fLatitude);
        EXPECT_EQ(got.fSpeed, w.gps[i].fSpeed);
        // The NMEA pass ends sentences with NUL in place; the text is the same.
        for (std::size_t c = 0; c < got.nLen; ++c) {
            const char wrote = w.gps[i].RawData[c];
            const char read = got.RawData[c];
            EXPECT_TRUE(read == wrote || (read == '\0' && (wrote == '\r' || wrote == '\n')));
        }
    }

    ASSERT_EQ(data.m_NMEAs.size(), w.gSentences);
    const TMKGpsData& fix = data.m_NMEAs.back();
    EXPECT_NEAR(TMKLatitudeDegrees(fix), w.last.latitude, 1e-5);
    EXPECT_NEAR(TMKLongitudeDegrees(fix), w.last.longitude, 1e-5);
    EXPECT_NEAR(fix.SpeedOverGround, w.last.speedKnots, 1e-3);
    EXPECT_EQ(fix.Now.wYear, 2026);
    EXPECT_EQ(fix.Now.wSecond, 4);
    EXPECT_EQ(fix.SatelliteUsedCount, 6u);

    // The southern drive with GNS sentences.
    ASSERT_TRUE(data.ExtractStreamInformation(event.c_str()));
    ASSERT_EQ(data.m_NMEAs.size(), e.gSentences);
    EXPECT_EQ(data.m_NMEAs.back().NS, 'S');
    EXPECT_TRUE(data.m_NMEAs.back().Enable_GNGNS);
    EXPECT_NEAR(TMKLatitudeDegrees(data.m_NMEAs.back()), e.last.latitude, 1e-5);

    fs::remove_all(dir);
}

} // namespace
