// The viewer as a user starts it: `tamek --play DEMO` (and with --map), from
// the exec to the first painted frame of the main video, and the memory the
// process holds then and once the start has settled, its own and with the
// web engine's helper processes.
//
// The viewer runs as its own process, as memory and start time depend on
// what is loaded before main(). TAMEK_BENCH_APP names another build of the
// viewer to measure (one made from older sources, say); it must print the
// first-frame line that TAMEK_REPORT_FIRST_FRAME asks for.

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string appPath()
{
    const char* app = std::getenv("TAMEK_BENCH_APP");
    return app && *app ? app : TAMEK_APP;
}

std::string demoPath()
{
    const char* demo = std::getenv("TAMEK_BENCH_DEMO");
    return demo && *demo ? demo : TAMEK_DEMO_DIR;
}

// A field of /proc/PID/status in MiB (VmHWM, VmRSS); 0 when absent.
double statusMiB(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(key.size())) / 1024.0;
    }
    return 0;
}

// Proportional set size (shared pages split between their users), MiB.
double pssMiB(pid_t pid)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line)) {
        if (line.rfind("Pss:", 0) == 0)
            return std::stod(line.substr(4)) / 1024.0;
    }
    return 0;
}

// The process and every process below it (the web engine's zygotes and
// renderer).
std::vector<pid_t> processTree(pid_t root)
{
    std::map<pid_t, std::vector<pid_t>> children;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(proc)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
            if (pid <= 0)
                continue;
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            const auto close = text.rfind(')');
            if (close == std::string::npos)
                continue;
            std::istringstream rest(text.substr(close + 2));
            char state = 0;
            pid_t parent = 0;
            rest >> state >> parent;
            children[parent].push_back(pid);
        }
        ::closedir(proc);
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (pid_t child : children[tree[i]])
            tree.push_back(child);
    }
    return tree;
}

double treePssMiB(pid_t root)
{
    double total = 0;
    for (pid_t pid : processTree(root))
        total += pssMiB(pid);
    return total;
}

// Counts shared pages once per process: larger than the truth, but not
// moved by what other programs on the machine share.
double treeRssMiB(pid_t root)
{
    double total = 0;
    for (pid_t pid : processTree(root))
        total += statusMiB(pid, "VmRSS");
    return total;
}

struct Launch {
    pid_t pid = -1;
    int output = -1; // the viewer's stderr
};

Launch launch(const std::vector<std::string>& arguments)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        // Its own process group, so the web engine's helpers end with it.
        ::setpgid(0, 0);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Reads the viewer's stderr until `line` appears; false on timeout or exit.
bool waitForLine(int fd, const std::string& line, std::chrono::milliseconds timeout, std::string& seen)
{
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count()))) <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        seen.append(buffer, static_cast<std::size_t>(n));
        if (seen.find(line) != std::string::npos)
            return true;
        // Only the tail can still hold the start of the line.
        if (seen.size() > 1 << 16)
            seen.erase(0, seen.size() - line.size());
    }
    return false;
}

// Keeps the pipe drained so a chatty viewer never blocks on its stderr.
void drainFor(int fd, std::chrono::milliseconds span)
{
    const auto end = Clock::now() + span;
    char buffer[4096];
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::read(fd, buffer, sizeof buffer) <= 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void stop(const Launch& run)
{
    ::kill(-run.pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && ::waitpid(run.pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (::waitpid(run.pid, &status, WNOHANG) == 0) {
        ::kill(-run.pid, SIGKILL);
        ::waitpid(run.pid, &status, 0);
    }
    ::close(run.output);
}

// state.range(0): 0 list (the default side panel), 1 map.
void BM_LaunchToFirstFrame(benchmark::State& state)
{
    const bool map = state.range(0) == 1;
    state.SetLabel(map ? "map" : "list");
    std::vector<std::string> arguments{appPath(), "--play"};
    if (map)
        arguments.push_back("--map");
    arguments.push_back(demoPath());
    if (::access(arguments[0].c_str(), X_OK) != 0 || ::access(demoPath().c_str(), R_OK) != 0) {
        state.SkipWithError("viewer or demo card missing (build tamek and tamek-demo-card)");
        return;
    }
    ::setenv("TAMEK_REPORT_FIRST_FRAME", "1", 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("TAMEK_AUDIO_OUTPUT"))
        ::setenv("TAMEK_AUDIO_OUTPUT", "adummy", 1);
    ::setenv("QT_LOGGING_RULES", "*.info=false", 1);

    double hwmAtFrame = 0, rssAtFrame = 0, treeAtFrame = 0;
    double hwmSettled = 0, rssSettled = 0, treeSettled = 0, treeRssSettled = 0;
    double processes = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const Launch run = launch(arguments);
        if (run.pid <= 0) {
            state.SkipWithError("could not start the viewer");
            return;
        }
        std::string seen;
        const bool shown = waitForLine(run.output, "tamek: first frame", std::chrono::seconds(30), seen);
        const auto shownAt = Clock::now();
        if (!shown) {
            stop(run);
            state.SkipWithError(("no first frame; the viewer said: " + seen.substr(0, 400)).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(shownAt - start).count());
        hwmAtFrame += statusMiB(run.pid, "VmHWM");
        rssAtFrame += statusMiB(run.pid, "VmRSS");
        treeAtFrame += treePssMiB(run.pid);
        // Settled: the map page has loaded, both players run.
        drainFor(run.output, std::chrono::seconds(4));
        hwmSettled += statusMiB(run.pid, "VmHWM");
        rssSettled += statusMiB(run.pid, "VmRSS");
        treeSettled += treePssMiB(run.pid);
        treeRssSettled += treeRssMiB(run.pid);
        processes += static_cast<double>(processTree(run.pid).size());
        stop(run);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["hwm_frame_MiB"] = hwmAtFrame / n;
    state.counters["rss_frame_MiB"] = rssAtFrame / n;
    state.counters["tree_pss_frame_MiB"] = treeAtFrame / n;
    state.counters["hwm_4s_MiB"] = hwmSettled / n;
    state.counters["rss_4s_MiB"] = rssSettled / n;
    state.counters["tree_pss_4s_MiB"] = treeSettled / n;
    state.counters["tree_rss_4s_MiB"] = treeRssSettled / n;
    state.counters["processes"] = processes / n;
}
BENCHMARK(BM_LaunchToFirstFrame)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
