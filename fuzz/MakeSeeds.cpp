// Writes small recordings in the camera's layout as the extraction fuzzer's
// seed corpus: fuzz_make_seeds OUTDIR

#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    for (int variant = 0; variant < 3; ++variant) {
        TMKAviWriter writer(TMKAviVideoFormat{32, 18, 5}, TMKAviAudioFormat{8000, 1, 8});
        const uint32_t seconds = static_cast<uint32_t>(variant + 1);
        for (uint32_t ms = 0; ms < seconds * 1000; ms += 200)
            writer.addVideoFrame(ms, {0xFF, 0xD8, 0xFF, 0xD9});
        for (uint32_t ms = 0; ms < seconds * 1000; ms += 500)
            writer.addAudio(ms, std::vector<uint8_t>(16, 0x80));
        for (uint32_t ms = 0; ms < seconds * 1000; ms += 100)
            writer.addGSensor(_AVI_GSENSOR_DATA_T{171, ms, 256, -64, 250, 0});
        for (uint32_t s = 0; s < seconds; ++s) {
            TMKNmeaFix fix;
            fix.utc = TMKUtcAddSeconds(TMKUtcTime{2026, 11, 7, 7, 15, 0, 0}, s);
            fix.latitude = variant == 2 ? -33.85 : 48.1173;
            fix.longitude = variant == 2 ? -70.65 : 11.5167;
            fix.gpsPrns = {5, 12, 29};
            fix.glonassPrns = {67, 68};
            _AVI_GPS_DATA_T record{};
            TMKPackGpsRecord(TMKNmeaSentencesForFix(fix, variant == 1), fix, s * 1000, record);
            writer.addGps(record);
        }
        const std::string path = dir + "/seed" + std::to_string(variant) + ".avi";
        std::string error;
        if (!writer.write(path, &error)) {
            std::fprintf(stderr, "fuzz_make_seeds: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
    }
    // Few samples, many GPS records after them: the line-up repeats each
    // record over the samples, which is where memory grows with the input.
    {
        TMKAviWriter writer(TMKAviVideoFormat{32, 18, 5}, TMKAviAudioFormat{8000, 1, 8});
        writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
        writer.addGSensor(_AVI_GSENSOR_DATA_T{171, 0, 256, -64, 250, 0});
        writer.addGSensor(_AVI_GSENSOR_DATA_T{171, 100, 256, -64, 250, 0});
        for (uint32_t s = 1; s <= 80; ++s) {
            TMKNmeaFix fix;
            fix.utc = TMKUtcAddSeconds(TMKUtcTime{2026, 11, 7, 7, 15, 0, 0}, s);
            fix.latitude = 48.1173;
            fix.longitude = 11.5167;
            _AVI_GPS_DATA_T record{};
            TMKPackGpsRecord(TMKNmeaSentencesForFix(fix, false), fix, s * 1000, record);
            writer.addGps(record);
        }
        const std::string path = dir + "/seed-many-records.avi";
        std::string error;
        if (!writer.write(path, &error)) {
            std::fprintf(stderr, "fuzz_make_seeds: %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
    }
    return 0;
}
