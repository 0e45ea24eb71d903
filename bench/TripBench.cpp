// Trips over a two-hour drive: 120 one-minute recordings from each camera,
// written once with the recording writer under the temporary folder.
// Frames are stubs: the trip code reads headers, indexes and telemetry
// records only, never video.

#include "base/TKAtomicFile.h"
#include "base/TMKLog.h"
#include "media/TMKEventMarkers.h"
#include "media/TMKMediaList.h"
#include "media/TMKTrackExport.h"
#include "media/TMKTrip.h"
#include "TMKDriveRecording.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRecordings = 120;

const std::string& twoHourCard()
{
    static const std::string path = [] {
        const fs::path root = fs::temp_directory_path() / "tamek-bench" / "trip-2h";
        const fs::path done = root / ".complete";
        if (fs::exists(done))
            return root.string();
        fs::remove_all(root);
        fs::create_directories(root / "front");
        fs::create_directories(root / "rear");
        TMKSpeedProfile profile(0);
        profile.ramp(50, 10);
        // Town traffic: stop, go, cruise, for two hours.
        for (int i = 0; i < 120; ++i)
            profile.hold(30).ramp(0, 4).hold(8).ramp(50, 10).hold(8);
        TMKDriveOptions options;
        options.startUtc = TMKUtcTime{2026, 11, 7, 6, 0, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), profile, options);
        for (int i = 0; i < kRecordings; ++i) {
            const TMKUtcTime start = TMKUtcAddSeconds(options.startUtc, i * 60LL);
            char stem[64];
            std::snprintf(stem, sizeof stem, "alwa_%04d%02d%02d_%02d%02d%02d", start.year, start.month, start.day,
                          start.hour, start.minute, start.second);
            for (const char side : {'F', 'R'}) {
                const fs::path file = root / (side == 'F' ? "front" : "rear") / (std::string(stem) + "_" + side + ".avi");
                std::string error;
                if (!TMKWriteDriveRecording(file.string(), drive, static_cast<uint32_t>(i) * 60000, 60000, true, &error))
                    std::fprintf(stderr, "bench: %s\n", error.c_str());
            }
        }
        std::ofstream(done).put('x');
        return root.string();
    }();
    return path;
}

double peakRssMb()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Scan the card and group its 240 recordings (reading each header).
void BM_TripScanAndGroup(benchmark::State& state)
{
    TMKSetLogSink({});
    const std::string& card = twoHourCard();
    std::size_t trips = 0;
    std::size_t recordings = 0;
    for (auto _ : state) {
        TMKMediaList list;
        list.setDirectoryPath(card);
        list.waitUntilIdle();
        const auto grouped = TMKGroupTrips(list);
        trips = grouped.size();
        recordings = grouped.empty() ? 0 : grouped.front().recordings.size();
    }
    state.counters["trips"] = static_cast<double>(trips);
    state.counters["pairs"] = static_cast<double>(recordings);
    state.counters["peak_rss_MB"] = peakRssMb();
}
BENCHMARK(BM_TripScanAndGroup)->Unit(benchmark::kMillisecond)->UseRealTime();

// Grouping alone on a scanned catalogue: 240 header reads.
void BM_TripGroup(benchmark::State& state)
{
    TMKSetLogSink({});
    TMKMediaList list;
    list.setDirectoryPath(twoHourCard());
    list.waitUntilIdle();
    for (auto _ : state)
        benchmark::DoNotOptimize(TMKGroupTrips(list));
    state.counters["peak_rss_MB"] = peakRssMb();
}
BENCHMARK(BM_TripGroup)->Unit(benchmark::kMillisecond);

// Read the trip's telemetry once per recording, merge it and write it as
// GPX beside its name.
void BM_TripMergedGpxExport(benchmark::State& state)
{
    TMKSetLogSink({});
    TMKMediaList list;
    list.setDirectoryPath(twoHourCard());
    list.waitUntilIdle();
    const auto trips = TMKGroupTrips(list);
    if (trips.size() != 1) {
        state.SkipWithError("the drive is not one trip");
        return;
    }
    const std::string out = (fs::temp_directory_path() / "tamek-bench" / "trip-2h.gpx").string();
    std::size_t points = 0;
    std::size_t samples = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        TMKTripTelemetry telemetry = TMKReadTripTelemetry(trips.front());
        points = telemetry.points.size();
        samples = telemetry.samples.size();
        const std::string gpx = TMKGpxText({{trips.front().name(), std::move(telemetry.points)}});
        bytes = gpx.size();
        if (const auto error = TKWriteFileAtomically(out, gpx, kTKOutputPolicy)) {
            state.SkipWithError(error->c_str());
            break;
        }
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["gpx_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_rss_MB"] = peakRssMb();
}
BENCHMARK(BM_TripMergedGpxExport)->Unit(benchmark::kMillisecond)->UseRealTime();

// The markers of the merged drive (72 000 samples).
void BM_TripEventMarkers(benchmark::State& state)
{
    TMKSetLogSink({});
    TMKMediaList list;
    list.setDirectoryPath(twoHourCard());
    list.waitUntilIdle();
    const auto trips = TMKGroupTrips(list);
    const TMKTripTelemetry telemetry = TMKReadTripTelemetry(trips.front());
    std::size_t markers = 0;
    for (auto _ : state)
        markers = TMKTripEventMarkers(trips.front(), telemetry).size();
    state.counters["markers"] = static_cast<double>(markers);
}
BENCHMARK(BM_TripEventMarkers)->Unit(benchmark::kMillisecond);

} // namespace
