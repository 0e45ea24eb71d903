// The drive log pages offscreen: the table model, the OBD page under the
// settings window's "Drive Info" tab reading the card's log, the flash data
// page from the open panel, double clicks that send the row's degrees to the
// map window, and exports that succeed, fail, and ignore the locale.

#include "TMKFileText.h"
#include "kit/TMKAppSettings.h"
#include "logs/TMKLogCsv.h"
#include "logs/ui/TMKDriveLogModel.h"
#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"
#include "map/TMKMapView.h"
#include "map/TMKMapWindowController.h"
#include "map/TMKWebEngineSetup.h"
#include "settings/TKSettingFile.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"
#include "TMKFakeDisks.h"
#include "TMKLogBytes.h"
#include "TMKRecordingAlertService.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <sys/stat.h>

namespace {

// OBD records at 37°33.1234' N 127°02.5678' E, every third without a fix.
TMKLogBytes obdBytes(std::uint32_t count)
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool fix = i % 3 != 2;
        bytes.addRecord(68, {{0, 1000 + i, 4}, {5, 126, 1}, {6, 5, 1}, {7, 1 + i % 28, 1}, {12, fix ? 3733 : 0, 2},
                             {14, fix ? 1234 : 0, 2}, {16, fix ? 12702 : 0, 2}, {18, fix ? 5678 : 0, 2},
                             {24, i % 120, 2}, {32, 12650, 2}, {60, -96, 2}});
    }
    return bytes;
}

TMKLogBytes flashBytes(std::uint32_t count)
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(count);
    for (std::uint32_t i = 0; i < count; ++i)
        bytes.addRecord(40, {{0, 7 + i, 2}, {3, 1, 1}, {10, 4807, 2}, {12, 482, 2}, {14, 1131, 2}, {16, 20, 2}, {38, 125, 2}});
    return bytes;
}

} // namespace

class TMKDriveLogPageTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_card;
    std::shared_ptr<FakeDisks> m_disks;
    std::shared_ptr<TMKRecordingAlertService> m_alerts;
    std::unique_ptr<TMKSettingController> m_window;
    QStringList m_saveProposals;
    QString m_savePath, m_openPath; // what the user picks in the save and open panels

    QString obdPath() const { return m_card->filePath(QStringLiteral("obd/tamek_000.obd")); }

    void openWindow()
    {
        TMKSettingController::Services s;
        s.disks = m_disks;
        s.defaults = std::make_shared<TKMemoryUserDefaults>();
        s.renameVolume = [](const TKUSBDiskEntity&, const QString&, QString*) { return true; };
        s.alerts = m_alerts;
        m_window = std::make_unique<TMKSettingController>(s);
        QSignalSpy loaded(m_window.get(), &TMKSettingController::settingFileLoaded);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        // The read may have ended while the window was being exposed.
        if (m_window->settingFilePath() && loaded.isEmpty())
            QVERIFY(loaded.wait(5000));
    }

    // Clicks the "Drive Info" tab as the user does.
    TMKSettingForObdDriveInfoViewController* clickDriveInfoTab()
    {
        QTabBar* tabs = m_window->functionSegmentedControl();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(6).center());
        auto* page = qobject_cast<TMKSettingForObdDriveInfoViewController*>(m_window->targetController());
        if (page) {
            page->setServices({[this](QWidget*, const QString&) { return m_openPath; },
                               [this](QWidget*, const QString& proposed) {
                                   m_saveProposals << proposed;
                                   return m_savePath;
                               },
                               m_alerts});
        }
        return page;
    }

    // The last alert's informative text; empty when none was shown.
    QString lastAlert() const { return m_alerts->alerts.isEmpty() ? QString() : m_alerts->alerts.last().informative; }

    // What the window system delivers for a double click: QTest's
    // mouseDClick alone sends only the double-click event, which the view
    // takes as a press unless the same cell was pressed just before.
    static void doubleClick(QWidget* viewport, const QPoint& at)
    {
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    }

    QString loadingTitle() const
    {
        auto* panel = m_window->findChild<QWidget*>(QStringLiteral("progressPanel"));
        auto* label = panel ? panel->findChild<QLabel*>() : nullptr;
        return label ? label->text() : QString();
    }

    static QPoint cellCenter(QTableView* table, int row, int column)
    {
        return table->visualRect(table->model()->index(row, column)).center();
    }

private slots:
    void init()
    {
        m_card = std::make_unique<QTemporaryDir>();
        m_disks = std::make_shared<FakeDisks>();
        m_disks->disks = {TestDisk{.mountPoint = m_card->path().toStdString()}};
        m_alerts = std::make_shared<TMKRecordingAlertService>();
        QVERIFY(!TKWriteDefaultSettingFile(m_card->filePath(QStringLiteral("config.bin")).toStdString()));
        QVERIFY(QDir(m_card->path()).mkdir(QStringLiteral("obd")));
        obdBytes(40).save(obdPath().toStdString());
        m_saveProposals = {};
        m_savePath = m_openPath = {};
    }

    void cleanup() { m_window.reset(); }

    void cardWithoutTheLogAlerts()
    {
        QVERIFY(QFile::remove(obdPath()));
        openWindow();
        auto* page = clickDriveInfoTab();
        QVERIFY(page);
        QVERIFY(page->flashDataFilePath().isEmpty());
        QTRY_COMPARE(m_alerts->alerts.size(), 1);
        QCOMPARE(m_alerts->alerts.at(0).message, QStringLiteral("Alarm"));
        QCOMPARE(lastAlert(), TMKLocalizedString("setting.flashdata.warning"));
        QCOMPARE(page->tableView()->model()->rowCount(), 0);
        // Export with no records is not offered.
        QVERIFY(!page->exportButton()->isEnabled());
    }

    void modelPassesTheTesterAndTheWheelScrollsALargeLog()
    {
        TMKDriveLogModel model(TMKLogKind::Obd);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 26);
        const TMKLogBytes bytes = obdBytes(30);
        model.setLog(std::make_shared<TMKDriveLog>(TMKParseDriveLog(bytes.bytes, TMKLogKind::Obd).log));
        QCOMPARE(model.rowCount(), 30);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("1000"));
        QCOMPARE(model.index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignVCenter);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.headerData(23, Qt::Horizontal).toString(), QStringLiteral("X"));
        model.setLog(nullptr); // back to empty, still the OBD columns
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 26);

        // The column keys have the texts the tool prints.
        for (const TMKLogKind kind : {TMKLogKind::FlashData, TMKLogKind::Obd}) {
            for (const TMKLogColumn& column : TMKLogFormatOf(kind).columns) {
                const QString key = QString::fromUtf8(column.key);
                if (key.size() == 1)
                    continue; // X, Y, Z
                QCOMPARE(TMKLocalizedString(key), QString::fromUtf8(column.title));
            }
        }

        // The wheel scrolls a large log in its page.
        TMKSettingForObdDriveInfoViewController page;
        page.resize(900, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const TMKLogBytes large = obdBytes(100000);
        page.model()->setLog(std::make_shared<TMKDriveLog>(TMKParseDriveLog(large.bytes, TMKLogKind::Obd).log));
        QTableView* table = page.tableView();
        QCOMPARE(table->model()->rowCount(), 100000);
        QScrollBar* bar = table->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0); // the view lays its rows out later
        QCOMPARE(bar->value(), 0);
        QWidget* viewport = table->viewport();
        const QPointF at = QPointF(viewport->rect().center());
        for (int i = 0; i < 20; ++i) {
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        }
        QVERIFY(bar->value() > 0);
        const int top = table->indexAt(QPoint(5, 5)).row();
        QVERIFY(top > 0);
        QCOMPARE(table->model()->index(top, 0).data().toString(), QString::number(top + 1));
    }

    // The card's log under the "Drive Info" tab: read under the loading
    // sheet, double clicks that send a row's degrees to the map window,
    // exports, the same page with its rows when the tab is left and clicked
    // again, and logs from the open panel.
    void driveInfoTabReadsMapsExportsKeepsAndOpensLogs()
    {
        openWindow();
        auto* page = clickDriveInfoTab();
        QVERIFY(page);
        QCOMPARE(page->flashDataFilePath(), obdPath());
        QSignalSpy loaded(page, &TMKSettingForFlashDataViewController::flashDataLoaded);
        // The read runs under the settings window's loading sheet, which
        // stays until its next tick at the earliest.
        QTRY_VERIFY(m_window->isLoadingShown());
        QCOMPARE(loadingTitle(), QStringLiteral("Loading..."));
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 5000);
        QCOMPARE(loaded.first().first().toLongLong(), 40);
        QCOMPARE(page->flashDataNum(), 40);
        QVERIFY(page->flashDataAccess());
        QVERIFY(page->exportButton()->isEnabled());
        QCOMPARE(page->tableView()->model()->rowCount(), 40);
        for (int c = 0; c < 26; ++c) // no cell of the first screen is cut short
            QVERIFY(page->tableView()->horizontalHeader()->sectionSize(c) >= static_cast<const QAbstractItemView*>(page->tableView())->sizeHintForColumn(c));
        QCOMPARE(page->stringForColumnIndex(1, 39), QStringLiteral("1039"));
        QCOMPARE(page->stringForColumnIndex(26, 0), QStringLiteral("X"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isLoadingShown(), 3000);

        QTableView* table = page->tableView();
        QVERIFY(!page->mapWindowController());
        doubleClick(table->viewport(), cellCenter(table, 0, 3));
        TMKMapWindowController* map = page->mapWindowController();
        QVERIFY(map);
        QVERIFY(map->isVisible());
        // On the 1024×600 screen the settings window leaves no room beside it.
        QVERIFY(m_window->screen()->availableGeometry().contains(map->frameGeometry()));
        QSignalSpy scripts(map->mapWebView(), &TMKMapView::scriptRequested);
        doubleClick(table->viewport(), cellCenter(table, 1, 6));
        QCOMPARE(page->mapWindowController(), map); // reused
        QCOMPARE(scripts.count(), 1);
        // Longitude first, in degrees: 127°02.5678' and 37°33.1234'.
        QCOMPARE(scripts.first().first().toString(), QStringLiteral("setLatLag('127.042797','37.552057')"));
        // Row 3 has no fix: the map window shows, the map does not move.
        doubleClick(table->viewport(), cellCenter(table, 2, 1));
        QCOMPARE(scripts.count(), 1);
        // Below the last row: nothing.
        table->scrollToBottom();
        const QPoint below(10, table->viewport()->height() - 2);
        if (!table->indexAt(below).isValid()) {
            doubleClick(table->viewport(), below);
            QCOMPARE(scripts.count(), 1);
        }

        // A written table is the parsed log as CSV (the text itself, under
        // any locale, is the core's to check); a folder that cannot take it
        // reports the path and leaves no file.
        QTemporaryDir out;
        std::vector<std::string> titles;
        for (const QString& name : page->columnNames())
            titles.push_back(name.toStdString());
        const std::string expected = TMKCsvText(TMKParseDriveLog(obdBytes(40).bytes, TMKLogKind::Obd).log, titles);
        for (const QString& path : {out.filePath(QStringLiteral("drive.csv")), m_card->filePath(QStringLiteral("no/such/dir/x.csv"))}) {
            const bool writable = path.startsWith(out.path());
            m_savePath = path;
            m_saveProposals.clear();
            QSignalSpy written(page, &TMKSettingForFlashDataViewController::csvFileWritten);
            QTest::mouseClick(page->exportButton(), Qt::LeftButton);
            QCOMPARE(m_saveProposals, QStringList{QStringLiteral("tamek_obd.csv")});
            QVERIFY(m_window->isLoadingShown());
            QCOMPARE(loadingTitle(), QStringLiteral("Saving..."));
            QVERIFY(!written.isEmpty() || written.wait(5000));
            QCOMPARE(written.first().at(1).toString().isEmpty(), writable);
            QCOMPARE(QFile::exists(path), writable);
            if (writable) {
                QCOMPARE(TMKFileBytes(path), QByteArray::fromStdString(expected));
                QTRY_COMPARE(lastAlert(), QStringLiteral("The table was written to %1.").arg(path));
            } else {
                QTRY_VERIFY2(lastAlert().contains(path), qPrintable(lastAlert()));
            }
            QCOMPARE(m_alerts->alerts.last().kind, writable ? TMKAlertService::Kind::Information : TMKAlertService::Kind::Warning);
            QTRY_VERIFY(!m_window->isLoadingShown());
        }

        // Away and back: the same page with its rows, not read again; hiding
        // it dropped the map window.
        const auto alerts = m_alerts->alerts.size();
        QTabBar* tabs = m_window->functionSegmentedControl();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QVERIFY(m_window->targetController() != page);
        QVERIFY(!page->mapWindowController());
        QFile::remove(obdPath());
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(6).center());
        QCOMPARE(m_window->targetController(), page);
        QVERIFY(page->isVisible());
        QCOMPARE(page->tableView()->model()->rowCount(), 40);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(m_alerts->alerts.size(), alerts);

        // The open panel: OBD logs read here, whatever they hold.
        QTemporaryDir logs;

        // A file cut inside its header announces nothing to count against.
        TMKLogBytes cut = obdBytes(5);
        cut.put(0, 9, 4);
        m_openPath = logs.filePath(QStringLiteral("cut.obd"));
        TMKLogBytes{std::vector<unsigned char>(cut.bytes.begin(), cut.bytes.begin() + 7)}.save(m_openPath.toStdString());
        QTest::mouseClick(page->openButton(), Qt::LeftButton);
        QTRY_COMPARE(lastAlert(), TMKLocalizedString("setting.flashdata.header_cut"));

        // A truncated OBD log: the whole records and a message.
        cut.bytes.resize(cut.bytes.size() - 20);
        cut.save(m_openPath.toStdString());
        QTest::mouseClick(page->openButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 3, 5000);
        QCOMPARE(page->flashDataNum(), 4);
        QCOMPARE(page->tableView()->model()->rowCount(), 4);
        QTRY_COMPARE(lastAlert(), TMKLocalizedString("setting.flashdata.truncated").arg(4).arg(9));

        // A file that cannot be opened keeps the rows.
        m_openPath = logs.filePath(QStringLiteral("gone.obd"));
        QTest::mouseClick(page->openButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 4, 5000);
        QCOMPARE(loaded.last().first().toLongLong(), -1);
        QCOMPARE(page->tableView()->model()->rowCount(), 4);

        // A FIFO is not read: nobody may ever write to it.
        m_openPath = logs.filePath(QStringLiteral("pipe.obd"));
        QVERIFY(::mkfifo(QFile::encodeName(m_openPath).constData(), 0600) == 0);
        QTest::mouseClick(page->openButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 5, 2000);
        QCOMPARE(loaded.last().first().toLongLong(), -1);
        QVERIFY(page->openButton()->isEnabled());
        QCOMPARE(page->tableView()->model()->rowCount(), 4);

        // A flash data log opens in the flash data page, in its own window
        // in front of the settings window, there while it reads, and on the
        // 1024×600 screen.
        m_openPath = logs.filePath(QStringLiteral("drive.drv"));
        flashBytes(12).save(m_openPath.toStdString());
        QTRY_VERIFY(!m_window->isLoadingShown());
        QTest::mouseClick(page->openButton(), Qt::LeftButton);
        TMKSettingForFlashDataViewController* flash = page->flashDataPage();
        QVERIFY(flash);
        QVERIFY(flash->isWindow());
        QSignalSpy flashLoaded(flash, &TMKSettingForFlashDataViewController::flashDataLoaded);
        QVERIFY(!m_window->isLoadingShown());
        QVERIFY(flash->isLoadingShown());
        QVERIFY(!flashLoaded.isEmpty() || flashLoaded.wait(5000));
        QTRY_VERIFY(!flash->isLoadingShown());
        QTRY_COMPARE(QApplication::activeWindow(), flash);
        QVERIFY(flash->screen()->availableGeometry().contains(flash->frameGeometry()));
        QCOMPARE(flash->logKind(), TMKLogKind::FlashData);
        QCOMPARE(flash->tableView()->model()->rowCount(), 12);
        QCOMPARE(flash->tableView()->model()->columnCount(), 15);
        QCOMPARE(page->tableView()->model()->rowCount(), 4); // the OBD table is untouched

        // Its own double click and export.
        QVERIFY(QTest::qWaitForWindowExposed(flash));
        QTableView* flashTable = flash->tableView();
        doubleClick(flashTable->viewport(), cellCenter(flashTable, 0, 2));
        QVERIFY(flash->mapWindowController());
        QVERIFY(flash->screen()->availableGeometry().contains(flash->mapWindowController()->frameGeometry()));
        m_savePath = out.filePath(QStringLiteral("flash.csv"));
        QSignalSpy written(flash, &TMKSettingForFlashDataViewController::csvFileWritten);
        QTest::mouseClick(flash->exportButton(), Qt::LeftButton);
        QVERIFY(!written.isEmpty() || written.wait(5000));
        QCOMPARE(m_saveProposals.last(), QStringLiteral("tamek_000.csv"));
        QVERIFY(QFile::exists(m_savePath));
    }
};

int main(int argc, char** argv)
{
    TMKPrepareWebEngine();
    QApplication app(argc, argv);
    TMKDriveLogPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TMKDriveLogPageTest.moc"
