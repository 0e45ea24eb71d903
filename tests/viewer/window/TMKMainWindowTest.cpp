// The main window with a scripted player: regions in both layouts, the side
// panel, opening folders, drops, keys, remembered state, the languages.

#include "TMKAviWriter.h"
#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKNmeaBuilder.h"
#include "TMKScriptedPlayer.h"
#include "TMKTestViewer.h"
#include "TMKViewerTestFiles.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"
#include "viewer/TMKAppDelegate.h"
#include "viewer/window/TMKMainWindow.h"
#include "viewer/window/TMKWindowLayout.h"
#include "map/TMKMapView.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"
#include "viewer/telemetry/GraphView.h"

#include <QAction>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QFile>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

std::shared_ptr<const TMKAviGpsData> gpsRecord(double latitude, double longitude, char ns, char ew, char km,
                                               uint32_t speed, const char* text = "")
{
    _AVI_GPS_DATA_T record{};
    record.header = 205;
    record.fLatitude = latitude;
    record.fLongitude = longitude;
    record.NS = ns;
    record.EW = ew;
    record.KM = km;
    record.fSpeed = speed;
    std::strncpy(record.RawData, text, sizeof record.RawData - 1);
    record.nLen = static_cast<uint32_t>(std::strlen(record.RawData));
    return TMKAviGpsData::aviGpsDataWithData(record);
}

QByteArray headOf(const QString& path, int bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

// A printer that takes JPEG and remembers what it printed.
class TMKRecordingPrintSystem : public TMKPrintSystem {
public:
    std::optional<TMKPrintDestination> destinationType(const TMKPrintSettings&) override
    {
        return TMKPrintDestination::Printer;
    }
    int currentPrinter(const TMKPrintSettings&, QString* printer) override
    {
        *printer = QStringLiteral("officejet");
        return 0;
    }
    std::optional<QStringList> acceptedDocumentFormats(const QString&) override
    {
        return QStringList{QStringLiteral("application/pdf"), QStringLiteral("image/jpeg")};
    }
    TMKPrintJob printFile(const QString& printer, const QString& path, const QString& mimeType,
                          const TMKPrintSettings& settings) override
    {
        jobs << QStringList{printer, path, mimeType, settings.option(QStringLiteral("fit-to-page"))};
        jpegHeads << headOf(path, 3);
        return TMKPrintJob{static_cast<int>(jobs.size()), 0, {}};
    }
    QList<QStringList> jobs;
    QList<QByteArray> jpegHeads;
};

QRect geometryOf(QWidget* window, const char* name)
{
    auto* widget = window->findChild<QWidget*>(QLatin1String(name));
    return widget ? widget->geometry() : QRect();
}

} // namespace

class TMKMainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folderA;
    QString m_folderB;
    TMKTestViewer m_viewer;

    void launch(const QString& folder, bool restore = false, TMKAppDelegate::Options options = {})
    {
        ::launch(m_viewer, m_dir.filePath(QStringLiteral("settings.ini")), folder, std::move(options), restore);
    }

    void startFirstPair()
    {
        QSignalSpy started(m_viewer.app->session()->sequence(), &TMKPairSequence::pairStarted);
        QVERIFY(m_viewer.app->session()->sequence()->playAtIndex(0));
        QVERIFY(started.wait(5000));
        QTRY_VERIFY(!m_viewer.app->session()->sequence()->waitingForPlayStart());
    }

private slots:
    void initTestCase()
    {
        m_folderA = m_dir.filePath(QStringLiteral("a"));
        m_folderB = m_dir.filePath(QStringLiteral("b"));
        QDir().mkpath(m_folderA);
        QDir().mkpath(m_folderB);
        touch(m_folderA + "/alwa_20261107_081500_F.avi");
        touch(m_folderA + "/alwa_20261107_081500_R.avi");
        touch(m_folderB + "/alwa_20261107_091500_F.avi");
        touch(m_folderB + "/event_20261107_091600_F.avi");
        touch(m_folderB + "/event_20261107_091600_R.avi");
    }

    void cleanup()
    {
        m_viewer.app.reset();
        m_viewer.p1 = m_viewer.p2 = nullptr;
    }

    void regionsInBothLayouts()
    {
        launch(m_folderA);
        QWidget* window = m_viewer.app->window();
        window->resize(TMKWindowLayout::kMinWindowSize);
        QTRY_COMPARE(window->size(), TMKWindowLayout::kMinWindowSize);
        const TMKWindowLayout windowed = TMKWindowLayout::compute(TMKWindowLayout::kMinWindowSize, false);
        QCOMPARE(geometryOf(window, "headBox"), windowed.headBox);
        QCOMPARE(geometryOf(window, "videoBox"), windowed.videoBox);
        QCOMPARE(geometryOf(window, "subVideoBox"), windowed.subVideoBox);
        QCOMPARE(geometryOf(window, "bodyRightBox").width(), 334);
        QVERIFY(window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());

        m_viewer.app->window()->toggleFullScreen();
        QTRY_VERIFY(window->isFullScreen());
        QTRY_VERIFY(!window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());
        QVERIFY(window->findChild<QWidget*>(QStringLiteral("mediaControlBoxForFullScreen"))->isVisible());
        QVERIFY(!window->findChild<QWidget*>(QStringLiteral("mediaControlBox"))->isVisible());
        QCOMPARE(geometryOf(window, "mediaControlBoxForFullScreen").height(), 36);

        m_viewer.app->window()->toggleFullScreen();
        QTRY_VERIFY(!window->isFullScreen());
        QTRY_VERIFY(window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());
        QVERIFY(!window->findChild<QWidget*>(QStringLiteral("mediaControlBoxForFullScreen"))->isVisible());
    }

    void droppedFilesOpenNothing()
    {
        launch(m_folderA);
        QTableView* table = m_viewer.app->window()->tableView();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_folderB + "/alwa_20261107_091500_F.avi")});
        const QPoint at = table->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table->viewport(), &drop);
        QCoreApplication::processEvents();
        QCOMPARE(m_viewer.app->session()->sequence()->mediaIndex(), -1);
        QVERIFY(!m_viewer.p1->media());
        QCOMPARE(QString::fromStdString(m_viewer.app->session()->mediaList()->directoryPath().value_or("")), m_folderA);
        QCOMPARE(table->model()->rowCount(), 2);
    }

    // The readouts at a play position, from the telemetry display: X/Y/Z of
    // the sample there; without samples nothing changes.
    void gsensorReadouts()
    {
        TMKTelemetryDisplay display;
        TMKBlackBoxData data;
        for (int i = 0; i < 600; ++i)
            data.m_GSensors.emplace_back(i == 300 ? 0.5f : 0.0f, i == 300 ? -1.25f : 0.0f, i == 599 ? 1.0f : 0.0f);
        const TMKTelemetryReadout middle = display.gsensorReadout(data, 0.5);
        QCOMPARE(middle.x.value_or(QString()), QStringLiteral("X=+0.50"));
        QCOMPARE(middle.y.value_or(QString()), QStringLiteral("Y=-1.25"));
        QCOMPARE(middle.z.value_or(QString()), QStringLiteral("Z=0.00"));
        QCOMPARE(display.gsensorReadout(data, 1.0).z.value_or(QString()), QStringLiteral("Z=+1.00"));
        QVERIFY(!display.gsensorReadout(TMKBlackBoxData{}, 0.2).z);
    }

    // Three minutes of one drive in three recordings: the map shows the
    // trip with the playing one highlighted, and a click on the trip's
    // track (the map view's signal) plays the recording clicked from the
    // moment clicked.
    void aClickOnTheTripStartsThatRecordingThere()
    {
        const QString folder = m_dir.filePath(QStringLiteral("trip"));
        QDir().mkpath(folder);
        TMKSpeedProfile profile(0);
        profile.ramp(50, 10).hold(600);
        TMKDriveOptions driveOptions;
        driveOptions.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), profile, driveOptions);
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            paths << folder + QString::asprintf("/alwa_20261107_07%02d00_F.avi", 15 + i);
            QVERIFY(TMKWriteDriveRecording(paths.back().toStdString(), drive, uint32_t(i) * 60000, 60000));
        }
        launch(folder);
        startFirstPair();
        QCOMPARE(m_viewer.p1->media()->path(), paths[0]);
        const auto tripScript = [this] {
            for (const QString& script : m_viewer.scripts)
                if (script.startsWith(QStringLiteral("setTrip([")))
                    return script;
            return QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!tripScript().isEmpty(), 10000);
        for (const QString& path : paths)
            QVERIFY(tripScript().contains(QLatin1Char('\'') + path + QLatin1Char('\'')));
        QVERIFY(tripScript().endsWith(QStringLiteral("],0)")));
        // About one fix a second over three minutes.
        QVERIFY(tripScript().count(QLatin1Char('[')) > 150);

        m_viewer.app->showSideView(TMKMainWindow::SideView::Map);
        QVERIFY(m_viewer.app->mapWebView());
        QSignalSpy started(m_viewer.app->session()->sequence(), &TMKPairSequence::pairStarted);
        emit m_viewer.app->mapWebView()->tripPointClicked(paths[2], 12.5);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 2);
        QTRY_VERIFY(!m_viewer.app->session()->sequence()->waitingForPlayStart());
        QCOMPARE(m_viewer.p1->media()->path(), paths[2]);
        m_viewer.p1->sendTimeEvent(); // the first time event: the length is known
        QCOMPARE(m_viewer.p1->time(), 12500);
        // The same trip: only the highlight moved.
        QTRY_VERIFY(m_viewer.scripts.contains(QStringLiteral("setTripHighlight(2)")));

        // On the recording playing: a seek, no new start.
        const int plays = m_viewer.p1->plays;
        emit m_viewer.app->mapWebView()->tripPointClicked(paths[2], 40.0);
        QCOMPARE(m_viewer.p1->time(), 40000);
        QCOMPARE(m_viewer.app->session()->sequence()->mediaIndex(), 2);
        QVERIFY(!started.wait(50));
        QVERIFY(m_viewer.p1->plays >= plays);

        // A path the list does not hold starts nothing.
        emit m_viewer.app->mapWebView()->tripPointClicked(m_dir.filePath(QStringLiteral("elsewhere_F.avi")), 1.0);
        QVERIFY(!started.wait(50));
        QCOMPARE(m_viewer.p1->time(), 40000);
    }

    // Map position, speed (as stored), HDOP and satellites at a position;
    // without GPS records the page hears so and HDOP and satellites still
    // follow. The hemisphere comes from the record itself, so a drive south
    // and west is never shown north or east, from the first update on; a
    // record without a position leaves the marker alone.
    void gpsReadouts()
    {
        TMKTelemetryDisplay display;
        TMKBlackBoxData data;
        data.m_vGpsData.push_back(gpsRecord(4807.038, 1131.0, 'N', 'E', '9', 57));
        data.m_vGpsData.push_back(gpsRecord(4807.038, 1131.0, 'N', 'E', '1', 57));
        TMKGpsData fix;
        fix.HDOP = 0.94;
        fix.SatelliteUsedCount = 8;
        data.m_NMEAs = {fix, fix, fix};
        QVERIFY(TMKTelemetryDisplay::trackScript(TMKTelemetryDisplay::trackPoints(data))
                    .startsWith(QStringLiteral("setTrack([[48.117300,11.516667]")));
        TMKTelemetryReadout r = display.gpsReadout(data, 0.1);
        QCOMPARE(r.mapScripts, QStringList{QStringLiteral("setLatLag('11.516667','48.117300')")});
        QCOMPARE(r.speed.value_or(QString()), QStringLiteral("57 Km/h"));
        QCOMPARE(r.hdop.value_or(QString()), QStringLiteral("0.9"));
        QCOMPARE(r.satellites.value_or(QString()), QStringLiteral("8"));
        QCOMPARE(display.gpsReadout(data, 0.9).speed.value_or(QString()), QStringLiteral("57 Mi/h"));

        TMKBlackBoxData noGps;
        fix.HDOP = 2.26;
        fix.SatelliteUsedCount = 4;
        noGps.m_NMEAs = {fix};
        r = display.gpsReadout(noGps, 0.4);
        QCOMPARE(r.mapScripts, QStringList{QStringLiteral("TMKDebug('GPS Data Count=Zero')")});
        QCOMPARE(r.hdop.value_or(QString()), QStringLiteral("2.3"));
        QCOMPARE(r.satellites.value_or(QString()), QStringLiteral("4"));
        QVERIFY(!r.speed);

        TMKBlackBoxData south;
        south.m_vGpsData.push_back(gpsRecord(3351.6, 15112.8, 'S', 'W', '9', 30)); // letters on the record
        south.m_vGpsData.push_back(gpsRecord( // no letters, but its own sentence says S and W
            3351.6, 15112.8, 0, 0, '9', 30,
            "$GPRMC,081500.00,A,3351.6000,S,15112.8000,W,16.2,90.0,071126,,,A*00\r\n"
            "$GPGGA,081500.00,3351.6000,S,15112.8000,W,1,08,0.9,30.0,M,0.0,M,,*00\r\n"));
        south.m_vGpsData.push_back(gpsRecord(0, 0, 'N', 'E', '9', 0)); // void fix
        south.m_NMEAs.resize(5); // the fixes at these indexes have not seen a position yet: N and E
        QCOMPARE(TMKTelemetryDisplay::trackScript(TMKTelemetryDisplay::trackPoints(south)),
                 QStringLiteral("setTrack([[-33.860000,-151.213333]])"));
        const QStringList southWest{QStringLiteral("setLatLag('-151.213333','-33.860000')")};
        QCOMPARE(display.gpsReadout(south, 0.0).mapScripts, southWest);
        QCOMPARE(display.gpsReadout(south, 0.5).mapScripts, southWest);
        r = display.gpsReadout(south, 0.9);
        QVERIFY(r.mapScripts.isEmpty());
        QCOMPARE(r.speed.value_or(QString()), QStringLiteral("0 Km/h"));
        // A record saying N again turns the position positive.
        TMKBlackBoxData north;
        north.m_vGpsData.push_back(gpsRecord(4807.038, 1131.0, 'N', 'E', '9', 50));
        QCOMPARE(display.gpsReadout(north, 0.3).mapScripts, QStringList{QStringLiteral("setLatLag('11.516667','48.117300')")});
    }

    // A recording whose line-up is thousands of entries per GPS record: the
    // track is built once per record on the extraction worker, so the main
    // thread keeps serving events while a double-clicked row starts.
    void hostileRecordingStartsWithoutStallingTheWindow()
    {
        QTemporaryDir folder;
        TMKAviWriter writer;
        writer.addVideoFrame(0, {0xFF, 0xD8, 0xFF, 0xD9});
        for (uint32_t i = 0; i < 2000; ++i)
            writer.addGSensor(_AVI_GSENSOR_DATA_T{171, i / 20, 256, 0, 0, 0});
        for (int s = 0; s < 1500; ++s) {
            TMKNmeaFix fix;
            fix.utc = TMKUtcAddSeconds(TMKUtcTime{2026, 11, 7, 7, 15, 0, 0}, s);
            fix.latitude = 48.1 + s * 0.0001;
            fix.longitude = 11.5;
            _AVI_GPS_DATA_T record{};
            TMKPackGpsRecord(TMKNmeaSentencesForFix(fix), fix, static_cast<uint32_t>(1000 + s * 1000), record);
            writer.addGps(record);
        }
        QVERIFY(writer.write(folder.filePath(QStringLiteral("alwa_20261107_081500_F.avi")).toStdString()));
        launch(folder.path());

        auto* table = m_viewer.app->window()->findChild<QTableView*>(QStringLiteral("mediaListTableView"));
        QVERIFY(table);
        const QRect row = table->visualRect(table->model()->index(0, 0));
        QSignalSpy started(m_viewer.app->session()->sequence(), &TMKPairSequence::pairStarted);
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longestGap = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        ticker.start(10);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(started.wait(20000));
        ticker.stop();
        QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("main thread stalled %1 ms").arg(longestGap)));

        // One point per record read, in file order.
        const QString track = m_viewer.scripts.filter(QStringLiteral("setTrack(")).constLast();
        QCOMPARE(track.count(QLatin1Char('[')) - 1, 1500);
        QVERIFY(track.startsWith(QStringLiteral("setTrack([[48.100000,11.500000],")));
        QVERIFY(m_viewer.app->session()->telemetry()->data().m_vGpsData.size()
                <= TMKBlackBoxData::kLineUpFactor * (2000 + 1500));
    }

    // Print: the shown frame, paused or playing, as JPEG scaled to the page;
    // nothing without a recording or when the dialog is cancelled.
    void printSendsTheShownFrame()
    {
        auto printer = std::make_shared<TMKRecordingPrintSystem>();
        int panelAnswer = 0;
        int panels = 0;
        TMKAppDelegate::Options options;
        options.printPanel = [&](QPrinter&) {
            ++panels;
            return panelAnswer;
        };
        options.printSystem = printer;
        launch(m_folderA, false, options);

        m_viewer.app->frameCapture()->print();
        QCOMPARE(panels, 0);

        startFirstPair();
        m_viewer.p1->pause();
        QTRY_VERIFY(!m_viewer.p1->isPlaying());
        m_viewer.app->frameCapture()->print();
        QCOMPARE(panels, 1);
        QVERIFY(printer->jobs.isEmpty()); // cancelled

        panelAnswer = 1;
        m_viewer.app->frameCapture()->print();
        QCOMPARE(printer->jobs.size(), 1);
        const QStringList job = printer->jobs.first();
        QCOMPARE(job.value(0), QStringLiteral("officejet"));
        QCOMPARE(job.value(1), m_viewer.app->frameCapture()->captureTemporaryPath());
        QCOMPARE(job.value(2), QStringLiteral("image/jpeg"));
        QCOMPARE(job.value(3), QStringLiteral("true"));
        QCOMPARE(printer->jpegHeads.first(), QByteArray("\xFF\xD8\xFF", 3));
    }

    void lastFolderIsReopened()
    {
        launch(m_folderB, true);
        startFirstPair();
        m_viewer.app->window()->close(); // closing the window stops both players
        QVERIFY(!m_viewer.p1->media() && !m_viewer.p2->media());
        m_viewer.app.reset();
        launch(QString(), true);
        QCOMPARE(QString::fromStdString(m_viewer.app->session()->mediaList()->directoryPath().value_or("")), m_folderB);
        auto* hint = m_viewer.app->window()->findChild<QLabel*>(QStringLiteral("openFolderHint"));
        QVERIFY(hint);
        QVERIFY(!hint->isVisible());
    }

    // No folder given and none remembered: the empty list says how to fill
    // it, with the key that does, until a folder is open.
    void emptyListSaysHowToOpenAFolder()
    {
        launch(QString());
        QTableView* table = m_viewer.app->window()->tableView();
        QCOMPARE(table->model()->rowCount(), 0);
        auto* hint = m_viewer.app->window()->findChild<QLabel*>(QStringLiteral("openFolderHint"));
        QVERIFY(hint);
        QTRY_VERIFY(hint->isVisible());
        QCOMPARE(hint->text(), TMKLocalizedString("main.open_folder_hint"));
        QVERIFY(hint->text().contains(QStringLiteral("Ctrl+O")));
        QCOMPARE(hint->parentWidget(), table->viewport());
        QVERIFY(hint->geometry().contains(table->viewport()->rect().center()));
        int openers = 0;
        for (const QAction* action : m_viewer.app->window()->findChildren<QAction*>()) {
            if (action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_O)))
                openers += action->objectName() == QLatin1String("openFolderAction") ? 1 : 100;
        }
        QCOMPARE(openers, 1);

        QSignalSpy listed(m_viewer.app.get(), &TMKAppDelegate::mediaListReloaded);
        m_viewer.app->openMediaDirectory(m_folderA);
        QVERIFY(listed.wait(5000));
        QCOMPARE(table->model()->rowCount(), 2);
        QVERIFY(!hint->isVisible());
    }

    // The preferred languages are logged, then only English is stored.
    void languagesAreLoggedThenEnglishStored()
    {
        const QString path = m_dir.filePath(QStringLiteral("languages.ini"));
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("ko"), QStringLiteral("en")});
        }
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=ko");
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=en");
        TMKAppDelegate::Options options;
        options.restoreState = false;
        options.settingsPath = path;
        options.playerFactory = [](TMKVideoView*, QObject* parent) { return std::make_unique<TMKScriptedPlayer>(parent); };
        TMKAppDelegate app(options);
        app.applicationDidFinishLaunching(m_folderA);
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("AppleLanguages")).toStringList(), QStringList{QStringLiteral("en")});
    }

    // The settings and the clock window each live until the user closes
    // them: opening one (button, Ctrl+, or Ctrl+T, each held by one action)
    // leaves the other open with its edits; opening one again brings it
    // forward; once closed, the next opening makes a new one.
    void secondaryWindowsLiveUntilClosed()
    {
        launch(m_folderA);
        QWidget* window = m_viewer.app->window();
        for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_T), QKeySequence(Qt::CTRL | Qt::Key_Comma)}) {
            int holders = 0;
            for (const QAction* action : window->findChildren<QAction*>())
                holders += action->shortcuts().contains(keys) ? 1 : 0;
            QCOMPARE(holders, 1);
        }
        const auto press = [window](Qt::Key key) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, key, Qt::ControlModifier);
        };
        auto* settingsButton = window->findChild<QPushButton*>(QStringLiteral("settingsButton"));
        auto* clockButton = window->findChild<QPushButton*>(QStringLiteral("timeSetupButton"));
        QVERIFY(settingsButton && clockButton && clockButton->isVisible());
        QVERIFY(!clockButton->geometry().intersects(settingsButton->geometry()));

        press(Qt::Key_Comma);
        QPointer<TMKSettingController> settings = qobject_cast<TMKSettingController*>(m_viewer.app->lastDialogController());
        QVERIFY(settings);
        QTRY_VERIFY(settings->isVisible());
        QTabBar* tabs = settings->functionSegmentedControl();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        QWidget* page = settings->targetController();

        QTest::mouseClick(clockButton, Qt::LeftButton);
        auto* clock = qobject_cast<TMKTimeSetupController*>(m_viewer.app->lastDialogController());
        QVERIFY(clock);
        QVERIFY(clock->isVisible());
        QVERIFY(settings && settings->isVisible()); // not closed behind the user's back
        QCOMPARE(settings->targetController(), page);

        QTest::mouseClick(settingsButton, Qt::LeftButton);
        QCOMPARE(m_viewer.app->lastDialogController(), settings);
        QCOMPARE(settings->targetController(), page);
        press(Qt::Key_T);
        QCOMPARE(m_viewer.app->lastDialogController(), clock);
        QVERIFY(settings->isVisible());

        settings->close();
        QTest::mouseClick(settingsButton, Qt::LeftButton);
        auto* reopened = qobject_cast<TMKSettingController*>(m_viewer.app->lastDialogController());
        QVERIFY(reopened);
        QTRY_VERIFY(reopened->isVisible());
        QCOMPARE(reopened->lastSelectedTabIndex(), 0);
        QVERIFY(clock->isVisible());
        reopened->close();
        clock->close();
    }
};

QTEST_MAIN(TMKMainWindowTest)
#include "TMKMainWindowTest.moc"
