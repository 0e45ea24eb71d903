// A 60 s clip across two 40 s files: the front at 1080p with the 720p rear
// inset and the telemetry strip, shared at 1280x720 (x264 veryfast, 4
// Mbit/s, AAC), by tamek-clip and by the ffmpeg command line doing the same
// composition (scale, overlay, drawtext) in the same run, each twice in
// turn so that a change of load on a shared machine falls on both; then the
// copied path against `ffmpeg -c copy`. Both run as child processes: wall
// time, processor time and peak memory (ru_maxrss of the child).

#include "TMKH264Recording.h"

extern "C" {
#include <libavutil/log.h>
}

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::temp_directory_path() / "tamek-clip-bench";
constexpr uint32_t kFileSeconds = 40;
const char* const kStems[] = {"alwa_20261107_081500", "alwa_20261107_081540"};

// The trip, written once and reused.
bool writeTripHere()
{
    fs::create_directories(kDir);
    TMKDriveOptions options;
    options.startUtc = {2026, 11, 7, 7, 15, 0, 0};
    const TMKDriveSimulator drive(TMKMunichRoute(), TMKSpeedProfile(30).ramp(60, 20).hold(60), options);
    for (uint32_t i = 0; i < 2; ++i) {
        for (const bool rear : {false, true}) {
            const fs::path file = kDir / (std::string(kStems[i]) + (rear ? "_R.avi" : "_F.avi"));
            if (fs::exists(file))
                continue;
            std::string error;
            if (!TMKWriteH264Recording(file.string(), drive, i * kFileSeconds * 1000, kFileSeconds * 1000,
                                       rear ? kTMKRearH264 : kTMKFrontH264, rear, {}, true, &error)) {
                std::fprintf(stderr, "clip_bench: %s\n", error.c_str());
                return false;
            }
        }
    }
    for (const char* side : {"F", "R"}) {
        std::ofstream list(kDir / (std::string("list_") + side + ".txt"));
        for (const char* stem : kStems)
            list << "file '" << (kDir / (std::string(stem) + "_" + side + ".avi")).string() << "'\n";
    }
    return true;
}

// In a child of its own: the writer holds a recording in memory, and a
// spawned program's peak memory counts the parent's until it execs.
bool writeTrip()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(writeTripHere() ? 0 : 1);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a program to its end; its wall time and peak resident memory.
bool runChild(const std::vector<std::string>& argv, double& seconds, long& peakKb, double& cpuSeconds)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return false;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return false;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakKb = usage.ru_maxrss;
    cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                 + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void measure(benchmark::State& state, const std::vector<std::string>& argv)
{
    if (!writeTrip()) {
        state.SkipWithError("cannot write the recordings");
        return;
    }
    long peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!runChild(argv, seconds, peak, cpu)) {
            state.SkipWithError(("failed: " + argv[0]).c_str());
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["peak_MB"] = static_cast<double>(peak) / 1024.0;
    // Processor time of the last run: on a shared machine a steadier
    // figure than the wall time.
    state.counters["cpu_s"] = cpu;
}

const std::string kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

void BM_TamekClipPip(benchmark::State& state)
{
    measure(state, {TAMEK_CLIP_BIN, "--from", "10", "--to", "70", "--layout", "pip", "--overlay",
                    "time,speed,position,gforce", "--output", (kDir / "tamek.mp4").string(), kDir.string()});
}

// The same picture: the front scaled to 1280x720, the rear to a 384x216
// inset above the strip, a 44 px strip of text with the clock running.
void BM_FfmpegPip(benchmark::State& state)
{
    const std::string filter =
        "[0:v]scale=1280:720[f];[1:v]scale=384:216[r];[f][r]overlay=870:434[p];"
        "[p]drawbox=y=676:w=1280:h=44:color=0x101010:t=fill,"
        "drawtext=fontfile=" + kFont + ":fontsize=26:fontcolor=white:x=14:y=685:"
        "text='2026/11/07 %{pts\\:hms}   42 km/h   48.14516N 11.56789E   X -0.01 Y 0.02 Z 1.00 g'[v]";
    measure(state, {"ffmpeg", "-v", "error", "-y", "-ss", "10", "-t", "60", "-f", "concat", "-safe", "0", "-i",
                    (kDir / "list_F.txt").string(), "-ss", "10", "-t", "60", "-f", "concat", "-safe", "0", "-i",
                    (kDir / "list_R.txt").string(), "-filter_complex", filter, "-map", "[v]", "-map", "0:a",
                    "-c:v", "libx264", "-preset", "veryfast", "-b:v", "4M", "-c:a", "aac", (kDir / "ffmpeg.mp4").string()});
}

void BM_TamekClipCopy(benchmark::State& state)
{
    measure(state, {TAMEK_CLIP_BIN, "--from", "10", "--to", "70", "--copy", "--output", (kDir / "tamek.mkv").string(),
                    kDir.string()});
}

void BM_FfmpegCopy(benchmark::State& state)
{
    measure(state, {"ffmpeg", "-v", "error", "-y", "-ss", "10", "-t", "60", "-f", "concat", "-safe", "0", "-i",
                    (kDir / "list_F.txt").string(), "-map", "0:v", "-map", "0:a", "-c", "copy",
                    (kDir / "ffmpeg.mkv").string()});
}

} // namespace

BENCHMARK(BM_TamekClipPip)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FfmpegPip)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FfmpegPip)->Name("BM_FfmpegPip/again")->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_TamekClipPip)->Name("BM_TamekClipPip/again")->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_TamekClipCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FfmpegCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
