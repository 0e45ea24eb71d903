#pragma once

#include "TMKDriveSimulator.h"
#include "TMKFileText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

// A fresh folder per test under the temporary folder.
inline std::filesystem::path tripTestDir(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path()
                     / ("tamek-" + name + "-" + std::to_string(::getpid()) + "-"
                        + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Driving along the Munich route at town speed, starting 07:15:00 UTC.
inline TMKDriveSimulator tripTestDrive()
{
    TMKSpeedProfile profile(0);
    profile.ramp(50, 10).hold(3600);
    TMKDriveOptions options;
    options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    return TMKDriveSimulator(TMKMunichRoute(), profile, options);
}

inline std::vector<uint8_t> readTripFile(const std::filesystem::path& path)
{
    const std::string text = TMKFileText(path);
    return {text.begin(), text.end()};
}

inline void writeTripFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
