// The OBD page on a log of 100 000 records: from the open button's read to
// the first painted table, then paging through it with the wheel.

#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"
#include "map/TMKWebEngineSetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <fstream>
#include <vector>

namespace {

constexpr std::uint32_t kRecords = 100000;

QString makeLog(const QTemporaryDir& dir, TMKLogKind kind)
{
    const std::size_t size = TMKLogFormatOf(kind).recordSize;
    std::vector<unsigned char> bytes(kTMKLogHeaderSize + kRecords * size);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(kRecords >> (8 * i));
    for (std::size_t r = 0; r < kRecords; ++r) {
        for (std::size_t b = 0; b < size; ++b)
            bytes[kTMKLogHeaderSize + r * size + b] = static_cast<unsigned char>((r * 31 + b * 7) ^ (r >> 3));
    }
    const QString path = dir.filePath(kind == TMKLogKind::Obd ? QStringLiteral("log.obd") : QStringLiteral("log.drv"));
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void BM_OpenPage(benchmark::State& state, TMKLogKind kind)
{
    QTemporaryDir dir;
    const QString path = makeLog(dir, kind);
    double scrollMs = 0;
    int pages = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<TMKSettingForFlashDataViewController> page;
        if (kind == TMKLogKind::Obd)
            page = std::make_unique<TMKSettingForObdDriveInfoViewController>();
        else
            page = std::make_unique<TMKSettingForFlashDataViewController>();
        page->resize(1100, 700);
        page->setServices({[path](QWidget*, const QString&) { return path; }, {}, {}});
        page->show();
        QSignalSpy loaded(page.get(), &TMKSettingForFlashDataViewController::flashDataLoaded);
        page->openFileDialog();
        if (!loaded.wait(30000)) {
            state.SkipWithError("no load");
            return;
        }
        QTableView* table = page->tableView();
        table->viewport()->repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);

        // Wheel steps of three rows, as a mouse gives them, then page jumps.
        QElapsedTimer scroll;
        scroll.start();
        QWidget* viewport = table->viewport();
        const QPointF at(viewport->rect().center());
        pages = 0;
        for (int i = 0; i < 200; ++i, ++pages) {
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
            viewport->repaint();
        }
        QScrollBar* bar = table->verticalScrollBar();
        for (int i = 0; i < 100; ++i, ++pages) {
            bar->setValue(bar->maximum() * i / 100);
            viewport->repaint();
        }
        scrollMs = static_cast<double>(scroll.nsecsElapsed()) / 1e6;
    }
    state.counters["ms_per_repaint"] = pages > 0 ? scrollMs / pages : 0;
}

BENCHMARK_CAPTURE(BM_OpenPage, flash_100k, TMKLogKind::FlashData)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_OpenPage, obd_100k, TMKLogKind::Obd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.info=false");
    TMKPrepareWebEngine();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
