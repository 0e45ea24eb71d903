// The viewer's start: launch to the first decoded frame of the first pair
// on the demo card, the memory a catalogue of 15000 recordings costs, and
// the processor time the viewer takes playing and paused.

#include "map/TMKWebEngineSetup.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/TMKAppDelegate.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <fstream>
#include <string>

namespace {

double residentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

TMKAppDelegate::Options benchOptions(const QTemporaryDir& dir)
{
    TMKAppDelegate::Options options;
    options.restoreState = false;
    options.settingsPath = dir.filePath(QStringLiteral("settings.ini"));
    return options;
}

// From making the window to the first frame of the first pair on screen.
// The camera's one-second settling pause after extraction is included.
void BM_LaunchToFirstFrame(benchmark::State& state)
{
    const QString demo = QStringLiteral(TAMEK_DEMO_DIR);
    if (!QDir(demo).exists()) {
        state.SkipWithError("demo card missing (build the tamek-demo-card target)");
        return;
    }
    QTemporaryDir dir;
    double listMs = 0;
    double startMs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        TMKAppDelegate app(benchOptions(dir));
        QSignalSpy listed(&app, &TMKAppDelegate::mediaListReloaded);
        app.applicationDidFinishLaunching(demo);
        if (!listed.wait(10000)) {
            state.SkipWithError("the list never loaded");
            return;
        }
        listMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QSignalSpy started(app.session()->sequence(), &TMKPairSequence::pairStarted);
        QSignalSpy shown(app.window()->video1View(), &TMKVideoView::frameShown);
        app.session()->sequence()->playAtIndex(0);
        if (!started.wait(10000)) {
            state.SkipWithError("the pair never started");
            return;
        }
        startMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (!shown.wait(10000)) {
            state.SkipWithError("no frame shown");
            return;
        }
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["list_ms"] = listMs / n;
    state.counters["players_told_ms"] = startMs / n;
}
BENCHMARK(BM_LaunchToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A card folder of 15000 recordings (7500 pairs over 100 folders): the
// memory the listed catalogue takes, and one scroll through the whole list.
void BM_Catalogue15000(benchmark::State& state)
{
    QTemporaryDir dir;
    for (int folder = 0; folder < 100; ++folder) {
        const QString sub = dir.filePath(QStringLiteral("%1").arg(folder, 3, 10, QLatin1Char('0')));
        QDir().mkpath(sub);
        for (int i = 0; i < 75; ++i) {
            const int second = folder * 75 + i;
            const QString stamp = QString::asprintf("alwa_20261107_%02d%02d%02d", second / 3600 % 24,
                                                    second / 60 % 60, second % 60);
            for (const char* camera : {"_F.avi", "_R.avi"}) {
                QFile file(sub + QLatin1Char('/') + stamp + QLatin1String(camera));
                if (!file.open(QIODevice::WriteOnly)) {
                    state.SkipWithError("cannot write the test folder");
                    return;
                }
            }
        }
    }
    QTemporaryDir settings;
    for (auto _ : state) {
        const double before = residentMiB();
        TMKAppDelegate app(benchOptions(settings));
        const double withWindow = residentMiB();
        QElapsedTimer timer;
        timer.start();
        QSignalSpy listed(&app, &TMKAppDelegate::mediaListReloaded);
        app.applicationDidFinishLaunching(dir.path());
        if (!listed.wait(30000)) {
            state.SkipWithError("the list never loaded");
            return;
        }
        const double listMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
        // Page through the whole list as a user dragging the scroll bar would.
        QTableView* table = app.window()->tableView();
        QScrollBar* bar = table->verticalScrollBar();
        timer.restart();
        int pages = 0;
        for (int value = 0; value <= bar->maximum(); value += bar->pageStep(), ++pages) {
            bar->setValue(value);
            table->viewport()->repaint();
        }
        const double scrollMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        state.SetIterationTime(listMs / 1000.0);
        state.counters["rows"] = static_cast<double>(app.session()->mediaList()->count());
        state.counters["rss_window_MiB"] = withWindow - before;
        state.counters["rss_catalogue_MiB"] = residentMiB() - withWindow;
        state.counters["rss_total_MiB"] = residentMiB();
        state.counters["pages"] = pages;
        state.counters["ms_per_page"] = pages > 0 ? scrollMs / pages : 0;
    }
}
BENCHMARK(BM_Catalogue15000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Processor time of the whole process (all threads: libVLC's decoders,
// Qt's painting), user and system, in seconds.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Paint events of the watched widgets.
class PaintCounter : public QObject {
public:
    using QObject::QObject;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// The demo pair playing, then paused: processor time per wall second (100
// is one core busy) and repaints of the two video views per second, each
// over `state.range(0)` ms with the event loop running as the app's does.
void BM_PlayingVsPausedCpu(benchmark::State& state)
{
    const QString demo = QStringLiteral(TAMEK_DEMO_DIR);
    if (!QDir(demo).exists()) {
        state.SkipWithError("demo card missing (build the tamek-demo-card target)");
        return;
    }
    const int spanMs = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    for (auto _ : state) {
        TMKAppDelegate app(benchOptions(dir));
        QSignalSpy listed(&app, &TMKAppDelegate::mediaListReloaded);
        app.applicationDidFinishLaunching(demo);
        if (!listed.wait(10000)) {
            state.SkipWithError("the list never loaded");
            return;
        }
        QSignalSpy shown(app.window()->video2View(), &TMKVideoView::frameShown);
        app.session()->sequence()->playAtIndex(0);
        if (!shown.wait(15000) || !app.session()->playInfo()->isPlaying()) {
            QTest::qWait(1000);
            if (!app.session()->playInfo()->isPlaying()) {
                state.SkipWithError("the pair never played");
                return;
            }
        }
        PaintCounter counter;
        app.window()->video1View()->installEventFilter(&counter);
        app.window()->video2View()->installEventFilter(&counter);
        QTest::qWait(1000); // past the start

        const auto measure = [&](double& cpuPercent, double& paintsPerSecond) {
            counter.paints = 0;
            QElapsedTimer wall;
            wall.start();
            const double cpu0 = processCpuSeconds();
            QTest::qWait(spanMs);
            const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
            cpuPercent = (processCpuSeconds() - cpu0) / seconds * 100.0;
            paintsPerSecond = static_cast<double>(counter.paints) / seconds;
        };
        double playingCpu = 0;
        double playingPaints = 0;
        measure(playingCpu, playingPaints);

        app.session()->sequence()->playOrPause();
        QElapsedTimer settle;
        settle.start();
        while (app.session()->playInfo()->isPlaying() && settle.elapsed() < 5000)
            QTest::qWait(20);
        if (app.session()->playInfo()->isPlaying()) {
            state.SkipWithError("the pair did not pause");
            return;
        }
        QTest::qWait(500);
        double pausedCpu = 0;
        double pausedPaints = 0;
        measure(pausedCpu, pausedPaints);

        state.SetIterationTime(2.0 * spanMs / 1000.0);
        state.counters["cpu_playing_pct"] = playingCpu;
        state.counters["cpu_paused_pct"] = pausedCpu;
        state.counters["repaints_playing_per_s"] = playingPaints;
        state.counters["repaints_paused_per_s"] = pausedPaints;
    }
}
BENCHMARK(BM_PlayingVsPausedCpu)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    if (qEnvironmentVariableIsEmpty("TAMEK_AUDIO_OUTPUT"))
        qputenv("TAMEK_AUDIO_OUTPUT", "adummy");
    qputenv("QT_LOGGING_RULES", "*.info=false");
    TMKPrepareWebEngine();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
