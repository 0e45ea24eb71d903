// Catalogue scans, telemetry extraction and NMEA parsing throughput.
// Trees and recordings are built once under the temporary folder and reused.

#include "base/TMKLog.h"
#include "BenchRecording.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaList.h"
#include "media/TMKNMEASentenceParser.h"
#include "TMKAviWriter.h"
#include "TMKNmeaBuilder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path benchRoot()
{
    const fs::path root = fs::temp_directory_path() / "tamek-bench";
    fs::create_directories(root);
    return root;
}

// 15000 recordings and 5000 other files spread over nested folders, the way
// a card fills up: one folder per day, one per hour inside.
const std::string& catalogueTree()
{
    static const std::string path = [] {
        const fs::path root = benchRoot() / "tree-15000";
        const fs::path done = root / ".complete";
        if (fs::exists(done))
            return root.string();
        fs::remove_all(root);
        int made = 0;
        for (int month = 10; month <= 11; ++month) {
            for (int day = 1; day <= 25; ++day) {
                for (int hour = 0; hour < 20; ++hour) {
                    char folder[64];
                    std::snprintf(folder, sizeof folder, "2026%02d/%02d/%02d", month, day, hour);
                    const fs::path dir = root / folder;
                    fs::create_directories(dir);
                    char name[64];
                    for (int i = 0; i < 15; ++i, ++made) {
                        std::snprintf(name, sizeof name, "alwa_2026%02d%02d_%02d%02d00_%c.avi", month, day, hour,
                                      i * 2, (made % 2) ? 'R' : 'F');
                        std::ofstream(dir / name).put('x');
                    }
                    // Five others per folder: thumbnails and names off the scheme.
                    for (int i = 0; i < 3; ++i) {
                        std::snprintf(name, sizeof name, "thumb_%02d%02d%02d.jpg", day, hour, i);
                        std::ofstream(dir / name).put('x');
                    }
                    std::snprintf(name, sizeof name, "clip_%02d%02d.avi", day, hour);
                    std::ofstream(dir / name).put('x');
                    std::snprintf(name, sizeof name, "alwa_2026%02d%02d_%02d0000_f.avi", month, day, hour);
                    std::ofstream(dir / name).put('x');
                }
            }
        }
        std::ofstream(done).put('x');
        return root.string();
    }();
    return path;
}

void BM_CatalogueScan(benchmark::State& state)
{
    TMKSetLogSink({});
    const std::string& tree = catalogueTree();
    std::size_t rows = 0;
    for (auto _ : state) {
        TMKMediaList list;
        list.setDirectoryPath(tree);
        list.waitUntilIdle();
        rows = list.count();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["files/s"] = benchmark::Counter(20000.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CatalogueScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick for the scan: find(1) over the same tree, output discarded.
// Real time, as for the scan, since the work happens in a child process.
void BM_FindAvi(benchmark::State& state)
{
    const std::string& tree = catalogueTree();
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char find[] = "find";
        char name[] = "-name";
        char pattern[] = "*.avi";
        std::string folder = tree;
        char* argv[] = {find, folder.data(), name, pattern, nullptr};
        pid_t child = 0;
        if (posix_spawnp(&child, "find", &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("find cannot be started");
            posix_spawn_file_actions_destroy(&actions);
            break;
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
    }
}
BENCHMARK(BM_FindAvi)->Unit(benchmark::kMillisecond)->UseRealTime();

// The large recording (BenchRecording.h), in the benchmark folder.
const std::string& sixtySecondRecording()
{
    static const std::string path = [] {
        const fs::path file = benchRoot() / "alwa_20261107_081500_F.avi";
        TMKWriteBenchRecording(file);
        return file.string();
    }();
    return path;
}

void BM_ExtractSixtySeconds(benchmark::State& state)
{
    TMKSetLogSink({});
    const std::string& file = sixtySecondRecording();
    TMKBlackBoxData data;
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.ExtractStreamInformation(file.c_str()));
    }
    state.counters["samples"] = static_cast<double>(data.m_GSensors.size());
    state.counters["fixes"] = static_cast<double>(data.m_NMEAs.size());
    state.counters["file MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
}
BENCHMARK(BM_ExtractSixtySeconds)->Unit(benchmark::kMillisecond);

// The baseline: reading every byte of the same file once, from the cache.
void BM_SequentialReadSixtySeconds(benchmark::State& state)
{
    const std::string& file = sixtySecondRecording();
    std::vector<char> buffer(1 << 20);
    uint64_t total = 0;
    for (auto _ : state) {
        std::FILE* f = std::fopen(file.c_str(), "rb");
        std::size_t n;
        total = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
            total += n;
        std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(total) * state.iterations());
}
BENCHMARK(BM_SequentialReadSixtySeconds)->Unit(benchmark::kMillisecond);

void BM_NmeaSentences(benchmark::State& state)
{
    TMKNmeaFix fix;
    fix.utc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    fix.latitude = 48.1173;
    fix.longitude = 11.5167;
    fix.gpsPrns = {2, 5, 12, 15, 24, 29, 30};
    fix.glonassPrns = {65, 66, 72, 80};
    std::vector<std::string> sentences = TMKNmeaSentencesForFix(fix, true);
    for (auto& s : sentences)
        s.erase(s.find_last_not_of("\r\n") + 1);
    TMKNMEASentenceParser parser;
    for (auto _ : state) {
        for (const auto& s : sentences)
            benchmark::DoNotOptimize(parser.parse(std::string_view(s)));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(sentences.size()));
}
BENCHMARK(BM_NmeaSentences);

} // namespace
