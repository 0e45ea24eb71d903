// Telemetry extraction from a cold page cache, as from a card just put in:
// the two read plans of TMKBlackBoxData side by side (one read per record in
// index order, as before; sorted, announced and coalesced, now), counting
// the read calls made, the read system calls and the bytes fetched from the
// device, and the device's own read requests.
//
// Three devices:
//  - Cold: the recording on the build's disk, page cache dropped before each
//    run (needs root: `echo 3 > /proc/sys/vm/drop_caches`; skipped otherwise).
//  - Throttled: the recording on an ext4 image on a loop device (direct I/O
//    to its backing file) whose reads a blkio cgroup limits to
//    TAMEK_BENCH_IOPS requests per second (default 200, a slow SD card in a
//    USB reader); skipped where loop devices, ext4 mounts or the blkio
//    throttle are missing.
//  - Delayed: every read call waits TAMEK_BENCH_READ_DELAY_US (default 1000)
//    before it is served from the warm cache: a device with a fixed latency
//    per request and no queue, the worst case for many small reads.
// And the start of the next pair on the throttled device, with and without
// its telemetry read ahead while the pair before played.

#include "base/TMKLog.h"
#include "BenchRecording.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKTelemetryPrefetch.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path benchRoot()
{
    const char* dir = std::getenv("TAMEK_BENCH_DIR");
    // Not /tmp: that may be a tmpfs, whose pages cannot be dropped.
    const fs::path root = dir && *dir ? fs::path(dir) : fs::path("/var/tmp/tamek-cold-bench");
    fs::create_directories(root);
    return root;
}

bool dropPageCache()
{
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    if (!drop)
        return false;
    drop << "3\n";
    drop.flush();
    return static_cast<bool>(drop);
}

// This thread's read system calls and bytes fetched from storage.
struct ThreadIo {
    uint64_t syscr = 0;
    uint64_t readBytes = 0;
};

ThreadIo threadIo()
{
    std::ifstream io("/proc/thread-self/io");
    ThreadIo result;
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "syscr:")
            result.syscr = value;
        else if (key == "read_bytes:")
            result.readBytes = value;
    }
    return result;
}

// The block device a file lives on, as /sys/dev/block/MAJ:MIN; requests
// completed and sectors read from its stat file.
struct DeviceReads {
    uint64_t requests = 0;
    uint64_t sectors = 0;
};

std::string deviceOf(const fs::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return {};
    return std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
}

DeviceReads deviceReads(const std::string& device)
{
    DeviceReads reads;
    std::ifstream stat("/sys/dev/block/" + device + "/stat");
    uint64_t merged = 0;
    stat >> reads.requests >> merged >> reads.sectors;
    return reads;
}

// Counts the read calls extraction makes and, if asked, holds each one.
class CountingSource final : public TMKByteSource {
public:
    CountingSource(std::unique_ptr<TMKByteSource> inner, std::chrono::microseconds delay)
        : m_inner(std::move(inner)), m_delay(delay)
    {
    }
    uint64_t length() const override { return m_inner->length(); }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override
    {
        ++reads;
        if (m_delay.count() > 0)
            std::this_thread::sleep_for(m_delay);
        return m_inner->readAt(offset, buffer, size);
    }
    void willNeed(uint64_t offset, uint64_t size) override
    {
        ++hints;
        m_inner->willNeed(offset, size);
    }
    uint64_t reads = 0;
    uint64_t hints = 0;

private:
    std::unique_ptr<TMKByteSource> m_inner;
    std::chrono::microseconds m_delay;
};

long envNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

using Plan = TMKBlackBoxData::ReadPlan;

// One extraction per iteration, after `prepare` (outside the timing).
template <typename Prepare>
void runExtraction(benchmark::State& state, const fs::path& file, std::chrono::microseconds delay, Prepare prepare)
{
    TMKSetLogSink({});
    const Plan plan = state.range(0) == 0 ? Plan::OneReadPerRecord : Plan::Coalesced;
    state.SetLabel(plan == Plan::OneReadPerRecord ? "one read per record (before)" : "coalesced (now)");
    const std::string device = deviceOf(file);
    TMKBlackBoxData data;
    data.m_readPlan = plan;
    double calls = 0, hints = 0, syscalls = 0, fetchedKiB = 0, requests = 0, deviceKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!prepare()) {
            state.SkipWithError("could not drop the page cache (needs root)");
            return;
        }
        auto inner = TMKBlackBoxData::openRecordingSource(file.c_str());
        if (!inner) {
            state.SkipWithError("recording missing");
            return;
        }
        CountingSource source(std::move(inner), delay);
        const ThreadIo ioBefore = threadIo();
        const DeviceReads deviceBefore = deviceReads(device);
        state.ResumeTiming();

        benchmark::DoNotOptimize(data.ExtractStreamInformation(source));

        state.PauseTiming();
        const ThreadIo ioAfter = threadIo();
        const DeviceReads deviceAfter = deviceReads(device);
        calls += static_cast<double>(source.reads);
        hints += static_cast<double>(source.hints);
        // Less the two reads of this file's own counters.
        syscalls += static_cast<double>(ioAfter.syscr - ioBefore.syscr) - 1;
        fetchedKiB += static_cast<double>(ioAfter.readBytes - ioBefore.readBytes) / 1024.0;
        requests += static_cast<double>(deviceAfter.requests - deviceBefore.requests);
        deviceKiB += static_cast<double>(deviceAfter.sectors - deviceBefore.sectors) / 2.0;
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["read_calls"] = calls / n;
    state.counters["hints"] = hints / n;
    state.counters["read_syscalls"] = syscalls / n;
    state.counters["fetched_KiB"] = fetchedKiB / n;
    state.counters["device_reads"] = requests / n;
    state.counters["device_KiB"] = deviceKiB / n;
    state.counters["samples"] = static_cast<double>(data.m_GSensors.size());
}

void BM_ColdExtract(benchmark::State& state)
{
    const fs::path file = benchRoot() / "alwa_20261107_081500_F.avi";
    if (!TMKWriteBenchRecording(file)) {
        state.SkipWithError("cannot write the recording");
        return;
    }
    runExtraction(state, file, std::chrono::microseconds(0), dropPageCache);
}
BENCHMARK(BM_ColdExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_DelayedExtract(benchmark::State& state)
{
    const fs::path file = benchRoot() / "alwa_20261107_081500_F.avi";
    if (!TMKWriteBenchRecording(file)) {
        state.SkipWithError("cannot write the recording");
        return;
    }
    const auto delay = std::chrono::microseconds(envNumber("TAMEK_BENCH_READ_DELAY_US", 1000));
    state.counters["delay_us"] = static_cast<double>(delay.count());
    runExtraction(state, file, delay, [] { return true; });
}
BENCHMARK(BM_DelayedExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The throttled device: an ext4 image on a loop device, the recording on it,
// reads limited by a blkio cgroup. Set up once; everything is undone when
// the program ends.
class ThrottledDevice {
public:
    static ThrottledDevice& instance()
    {
        static ThrottledDevice device;
        return device;
    }
    [[nodiscard]] bool ready() const { return m_ready; }
    [[nodiscard]] const std::string& why() const { return m_why; }
    [[nodiscard]] fs::path recording() const { return m_mount / "alwa_20261107_081500_F.avi"; }

    ~ThrottledDevice()
    {
        leaveCgroup();
        if (!m_mount.empty())
            ::umount(m_mount.c_str());
        if (!m_loop.empty())
            run("losetup -d " + m_loop);
        if (!m_cgroup.empty())
            ::rmdir(m_cgroup.c_str());
    }

    void enterCgroup() const
    {
        std::ofstream(m_cgroup / "tasks") << ::gettid() << "\n";
    }
    void leaveCgroup() const
    {
        if (!m_cgroup.empty())
            std::ofstream("/sys/fs/cgroup/blkio/tasks") << ::gettid() << "\n";
    }

private:
    ThrottledDevice() { m_ready = setUp(); }

    static bool run(const std::string& command, std::string* output = nullptr)
    {
        FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
        if (!pipe)
            return false;
        char buffer[256];
        std::string text;
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        const int status = ::pclose(pipe);
        if (output) {
            while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
                text.pop_back();
            *output = text;
        }
        return status == 0;
    }

    bool setUp()
    {
        if (::geteuid() != 0)
            return fail("needs root");
        const fs::path blkio = "/sys/fs/cgroup/blkio";
        if (!fs::exists(blkio / "blkio.throttle.read_iops_device"))
            return fail("no blkio throttle (cgroup v1 blkio) here");
        const fs::path image = benchRoot() / "throttled.ext4";
        if (!fs::exists(image)
            && !(run("truncate -s 256M " + image.string()) && run("mkfs.ext4 -q -F " + image.string())))
            return fail("cannot make the ext4 image");
        if (!run("losetup -f --show --direct-io=on " + image.string(), &m_loop) || m_loop.empty())
            return fail("no loop device");
        m_mount = benchRoot() / "throttled";
        fs::create_directories(m_mount);
        if (::mount(m_loop.c_str(), m_mount.c_str(), "ext4", 0, nullptr) != 0) {
            m_mount.clear();
            return fail("cannot mount the ext4 image");
        }
        if (!TMKWriteBenchRecording(recording()))
            return fail("cannot write the recording onto the image");
        struct stat info {};
        if (::stat(m_loop.c_str(), &info) != 0)
            return fail("loop device vanished");
        m_cgroup = blkio / ("tamek-bench-" + std::to_string(::getpid()));
        if (::mkdir(m_cgroup.c_str(), 0755) != 0) {
            m_cgroup.clear();
            return fail("cannot make a blkio cgroup");
        }
        const long iops = envNumber("TAMEK_BENCH_IOPS", 200);
        std::ofstream limit(m_cgroup / "blkio.throttle.read_iops_device");
        limit << major(info.st_rdev) << ":" << minor(info.st_rdev) << " " << iops << "\n";
        limit.flush();
        if (!limit)
            return fail("the kernel refused the read limit");
        return true;
    }

    bool fail(const std::string& why)
    {
        m_why = why;
        return false;
    }

    bool m_ready = false;
    std::string m_why;
    std::string m_loop;
    fs::path m_mount;
    fs::path m_cgroup;
};

void BM_ThrottledExtract(benchmark::State& state)
{
    ThrottledDevice& device = ThrottledDevice::instance();
    if (!device.ready()) {
        state.SkipWithError(("no throttled device: " + device.why()).c_str());
        return;
    }
    state.counters["iops_limit"] = static_cast<double>(envNumber("TAMEK_BENCH_IOPS", 200));
    device.enterCgroup();
    runExtraction(state, device.recording(), std::chrono::microseconds(0), dropPageCache);
    device.leaveCgroup();
}
BENCHMARK(BM_ThrottledExtract)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The start of the next pair on the throttled device, cold: what the start
// waits for when it reads the telemetry itself (0), and when the telemetry
// was read ahead while the pair before played (1; the reading ahead itself,
// done during playback, is not timed).
void BM_ThrottledNextPairStart(benchmark::State& state)
{
    ThrottledDevice& device = ThrottledDevice::instance();
    if (!device.ready()) {
        state.SkipWithError(("no throttled device: " + device.why()).c_str());
        return;
    }
    TMKSetLogSink({});
    const bool ahead = state.range(0) == 1;
    state.SetLabel(ahead ? "read ahead during playback" : "read at the start");
    const std::string path = device.recording().string();
    const auto extract = [](const std::string& file) {
        TMKBlackBoxData data;
        data.ExtractStreamInformation(file.c_str());
        return data;
    };
    std::size_t samples = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!dropPageCache()) {
            state.SkipWithError("could not drop the page cache (needs root)");
            return;
        }
        TMKTelemetryPrefetcher prefetcher;
        device.enterCgroup();
        if (ahead) {
            prefetcher.readAhead(path, extract);
            prefetcher.waitUntilIdle(); // the pair before plays meanwhile
        }
        state.ResumeTiming();

        std::optional<TMKBlackBoxData> data = prefetcher.take(path);
        if (!data)
            data = extract(path);

        state.PauseTiming();
        device.leaveCgroup();
        samples = data->m_GSensors.size();
        state.ResumeTiming();
    }
    state.counters["samples"] = static_cast<double>(samples);
}
BENCHMARK(BM_ThrottledNextPairStart)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
