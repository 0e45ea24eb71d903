// Drive logs of 100 000 records of each kind: reading the file and writing
// its CSV export; and the export of a 40 MB log with the process's peak
// memory (run each alone: --benchmark_filter=export_40MB or export_400MiB).

#include "logs/TMKDriveLog.h"
#include "logs/TMKLogCsv.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kRecords = 100000;

// A log whose records change in every field the table shows.
std::string makeLog(TMKLogKind kind, std::uint32_t records = kRecords)
{
    const std::size_t size = TMKLogFormatOf(kind).recordSize;
    std::vector<unsigned char> bytes(kTMKLogHeaderSize + records * size);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(records >> (8 * i));
    for (std::size_t r = 0; r < records; ++r) {
        unsigned char* record = bytes.data() + kTMKLogHeaderSize + r * size;
        for (std::size_t b = 0; b < size; ++b)
            record[b] = static_cast<unsigned char>((r * 31 + b * 7) ^ (r >> 3));
    }
    const std::string path = (std::filesystem::temp_directory_path()
        / ("tamek-bench-" + std::to_string(::getpid()) + (kind == TMKLogKind::Obd ? ".obd" : ".drv"))).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void BM_Read(benchmark::State& state, TMKLogKind kind)
{
    const std::string path = makeLog(kind);
    for (auto _ : state) {
        const TMKLogReadResult result = TMKReadDriveLog(path, kind);
        if (result.log.count() != kRecords)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(result.log.count());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    std::remove(path.c_str());
}

void BM_Export(benchmark::State& state, TMKLogKind kind)
{
    const std::string path = makeLog(kind);
    const TMKDriveLog log = TMKReadDriveLog(path, kind).log;
    const std::string csv = path + ".csv";
    std::int64_t bytes = 0;
    for (auto _ : state) {
        if (TMKExportCsv(csv, log, TMKLogColumnTitles(kind)))
            state.SkipWithError("export failed");
        bytes = static_cast<std::int64_t>(std::filesystem::file_size(csv));
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["csv_MiB"] = static_cast<double>(bytes) / (1 << 20);
    std::remove(csv.c_str());
    std::remove(path.c_str());
}

double peakRssMb()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The log pages' export of an OBD log of the given size in bytes. The peak
// is the whole process's: the log held in memory, plus what the export adds.
void BM_ExportPeak(benchmark::State& state)
{
    const auto records
        = static_cast<std::uint32_t>(static_cast<std::size_t>(state.range(0)) / TMKLogFormatOf(TMKLogKind::Obd).recordSize);
    const std::string path = makeLog(TMKLogKind::Obd, records);
    const TMKDriveLog log = TMKReadDriveLog(path, TMKLogKind::Obd).log;
    const std::string csv = path + ".csv";
    for (auto _ : state) {
        if (TMKExportCsv(csv, log, TMKLogColumnTitles(TMKLogKind::Obd)))
            state.SkipWithError("export failed");
    }
    state.counters["log_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.counters["csv_MB"] = static_cast<double>(std::filesystem::file_size(csv)) / 1e6;
    state.counters["peak_rss_MB"] = peakRssMb();
    std::remove(csv.c_str());
    std::remove(path.c_str());
}

BENCHMARK_CAPTURE(BM_Read, flash_100k, TMKLogKind::FlashData)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, obd_100k, TMKLogKind::Obd)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, flash_100k, TMKLogKind::FlashData)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, obd_100k, TMKLogKind::Obd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPeak)->Name("export_40MB")->Arg(40'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPeak)->Name("export_400MiB")->Arg(400 << 20)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
