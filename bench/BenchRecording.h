#pragma once

// The benchmarks' large recording: 60 s of front video at 30 frames per
// second, about 55 KB per frame, 16 kHz 16-bit audio and the camera's
// telemetry (600 G-sensor, 60 GPS records) interleaved by time, about
// 100 MB. Written once; an existing file of that size is reused.

#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

inline bool TMKWriteBenchRecording(const std::filesystem::path& file)
{
    if (std::filesystem::exists(file) && std::filesystem::file_size(file) > 90'000'000)
        return true;
    TMKAviWriter writer(TMKAviVideoFormat{1920, 1080, 30}, TMKAviAudioFormat{16000, 1, 16});
    std::mt19937 random(7);
    std::uniform_int_distribution<int> frameSize(45'000, 65'000);
    for (uint32_t frame = 0; frame < 60 * 30; ++frame) {
        std::vector<uint8_t> jpeg(static_cast<std::size_t>(frameSize(random)));
        for (auto& byte : jpeg)
            byte = static_cast<uint8_t>(random());
        writer.addVideoFrame(frame * 1000 / 30, std::move(jpeg));
    }
    for (uint32_t ms = 0; ms < 60'000; ms += 100)
        writer.addAudio(ms, std::vector<uint8_t>(3200, 0x10));
    for (uint32_t ms = 0; ms < 60'000; ms += 100)
        writer.addGSensor(_AVI_GSENSOR_DATA_T{171, ms, 10, -5, 256, 0});
    for (uint32_t s = 0; s < 60; ++s) {
        TMKNmeaFix fix;
        fix.utc = TMKUtcAddSeconds(TMKUtcTime{2026, 11, 7, 7, 15, 0, 0}, s);
        fix.latitude = 48.1173 + s * 1e-4;
        fix.longitude = 11.5167;
        fix.speedKnots = 25;
        fix.gpsPrns = {2, 5, 12, 15, 24, 29};
        fix.glonassPrns = {65, 66, 72};
        writer.addFix(fix, s * 1000);
    }
    std::string error;
    if (!writer.write(file.string(), &error)) {
        std::fprintf(stderr, "bench: cannot write %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    return true;
}
