// The whole viewer as a user drives it, with scripted players: what needs
// the wiring of the parts (a row played by Enter or a double-click, a click
// on the map's trip, markers across recordings, track export, capture and
// print, the map made when first shown, the remembered folder, the
// secondary windows, the languages). What a part does alone is its own
// test's; what every key tells is the window part test's.

#include "TMKAviWriter.h"
#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKNmeaBuilder.h"
#include "TMKRecordingAlertService.h"
#include "TMKScriptedPlayer.h"
#include "TMKTestViewer.h"
#include "TMKViewerTestFiles.h"
#include "map/TMKMapView.h"
#include "map/TMKTripMap.h"
#include "media/TMKTrackExport.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"
#include "viewer/TMKAppDelegate.h"
#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"
#include "viewer/window/TMKMainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {

QByteArray headOf(const QString& path, qint64 bytes)
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

QPoint rowCentre(QTableView* table, int row)
{
    return table->visualRect(table->model()->index(row, 3)).center();
}

void doubleClickRow(TMKAppDelegate& app, int row)
{
    QTableView* table = app.window()->tableView();
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(table, row));
}

// A drive north along 11°31' E: record k at 48°(7 + k)' N.
constexpr int kDriveRecords = 4;
double driveLatitude(int k) { return 48.0 + (7.0 + k) / 60.0; }
constexpr double kDriveLongitude = 11.0 + 31.0 / 60.0;

TMKBlackBoxData drive()
{
    TMKBlackBoxData data;
    for (int k = 0; k < kDriveRecords; ++k) {
        _AVI_GPS_DATA_T record{};
        record.header = 205;
        record.nTimestamp = static_cast<uint32_t>(1000 * k);
        record.fLatitude = 4807.0 + k;
        record.fLongitude = 1131.0;
        record.NS = 'N';
        record.EW = 'E';
        record.KM = '9';
        record.fSpeed = 40;
        data.m_vGpsData.push_back(TMKAviGpsData::aviGpsDataWithData(record));
    }
    return data;
}

// The page's state as window.__tamekState() gives it; empty when it did not
// answer.
QJsonObject pageState(TMKMapView* view)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(QStringLiteral("window.__tamekState()"),
                                [result](const QVariant& value) { *result = value; });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, 5000))
        return {};
    return QJsonDocument::fromJson((*result)->toString().toUtf8()).object();
}

bool markerAt(TMKMapView* view, int record)
{
    const QJsonValue marker = pageState(view)[QLatin1String("marker")];
    return std::abs(marker[QLatin1String("lat")].toDouble() - driveLatitude(record)) < 1e-5
        && std::abs(marker[QLatin1String("lng")].toDouble() - kDriveLongitude) < 1e-5;
}

} // namespace

class TMKMainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_settings;
    QString m_folderA; // 0 081500_F, 1 081500_R
    QString m_folderB; // 0 091500_F, 1 091600_F (event), 2 091600_R
    TMKTestViewer m_viewer;

    TMKAppDelegate& app() { return *m_viewer.app; }

    void launch(const QString& folder, bool restore = false, TMKAppDelegate::Options options = {})
    {
        ::launch(m_viewer, m_settings, folder, std::move(options), restore);
    }

    void startFirstPair()
    {
        QSignalSpy started(m_viewer.app->session()->sequence(), &TMKPairSequence::pairStarted);
        QVERIFY(m_viewer.app->session()->sequence()->playAtIndex(0));
        QVERIFY(started.wait(5000));
        QTRY_VERIFY(!m_viewer.app->session()->sequence()->waitingForPlayStart());
    }

    // A double-click on `row`, then the pair seen started.
    void playRowByDoubleClick(int row)
    {
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        doubleClickRow(app(), row);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), row);
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
    }

    // Three one-minute recordings of one drive, a hard brake in the second.
    void writeBrakeTrip(const QString& folder, double& brakeAt)
    {
        QDir().mkpath(folder);
        TMKSpeedProfile profile(0);
        profile.ramp(60, 10).holdUntilDistance(1100).ramp(0, 2.5).hold(5).ramp(30, 10).hold(200);
        TMKDriveOptions options;
        options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator simulated(TMKMunichRoute(), profile, options);
        brakeAt = profile.endSeconds() - 200 - 10 - 5 - 2.5;
        QVERIFY(brakeAt > 60 && brakeAt < 118);
        const char* const names[] = {"alwa_20261107_071500_F.avi", "alwa_20261107_071600_F.avi",
                                     "alwa_20261107_071700_F.avi"};
        for (uint32_t i = 0; i < 3; ++i)
            QVERIFY(TMKWriteDriveRecording(QDir(folder).filePath(QLatin1String(names[i])).toStdString(), simulated,
                                           i * 60000, 60000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings = m_dir.filePath(QStringLiteral("settings.ini"));
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
        QThreadPool::globalInstance()->waitForDone();
    }

    // A click only selects; Enter plays the selected row.
    void enterPlaysTheSelectedRow()
    {
        ::launch(m_viewer, m_settings, m_folderA);
        QTableView* table = app().window()->tableView();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(table, 1));
        QCoreApplication::processEvents();
        QCOMPARE(app().session()->sequence()->mediaIndex(), -1);
        QVERIFY(!m_viewer.p1->media());

        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 1);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_081500_R.avi"));
        QCOMPARE(m_viewer.p1->plays, 1);
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

    // A trip of three one-minute recordings with a hard brake in the
    // second: its tick is on the slider while the second plays; N from the
    // first goes to its own marker, then starts the second at the brake; P
    // from the third goes back to it. A threshold above every event shows
    // nothing.
    void markersOnTheSliderAndAcrossRecordings()
    {
        const QString folder = m_dir.filePath(QStringLiteral("trip"));
        double brakeAt = 0;
        writeBrakeTrip(folder, brakeAt);
        ::launch(m_viewer, m_settings, folder);
        TMKMainWindow* window = app().window();
        QSignalSpy shown(&app(), &TMKAppDelegate::sliderMarkersShown);
        playRowByDoubleClick(0);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000); // may already have come during the start
        // The route's corners are sharp turns: one in the first recording,
        // one in the third; the brake is the second's only marker.
        const std::vector<TMKEventMarker> markers = app().playingTrip()->markers();
        QCOMPARE(markers.size(), std::size_t{3});
        QCOMPARE(markers[1].kind, TMKEventKind::HardBraking);
        QCOMPARE(markers[1].recording, std::size_t{1});
        QVERIFY(markers[1].seconds > brakeAt && markers[1].seconds < brakeAt + 2.6);
        QCOMPARE(shown.last().first().toInt(), 1);
        QCOMPARE(window->sliderMarkers().size(), 1);
        QVERIFY(std::abs(window->sliderMarkers().first().position - markers[0].secondsInRecording / 60.0) < 0.01);

        // N: the turn in this recording, then the second recording from the
        // brake.
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        QTest::keyClick(window, Qt::Key_N);
        QVERIFY(std::abs(static_cast<double>(m_viewer.p1->time()) / 1000.0 - markers[0].secondsInRecording) < 0.05);
        QCOMPARE(app().session()->sequence()->mediaIndex(), 0);
        QTRY_VERIFY(!app().session()->sync()->isMoving()); // the follow-up of the seek
        QTest::keyClick(window, Qt::Key_N);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.last().first().toLongLong(), 1);
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        m_viewer.p1->tick(0); // the first time event: the start seeks to the marker
        const double inSecond = static_cast<double>(m_viewer.p1->time()) / 1000.0;
        QVERIFY2(std::abs(inSecond - markers[1].secondsInRecording) < 0.05, qPrintable(QString::number(inSecond)));
        QTRY_COMPARE(window->sliderMarkers().size(), 1);
        const TMKMarkerSlider::Marker tick = window->sliderMarkers().first();
        QVERIFY(!tick.eventRecording);
        QVERIFY(std::abs(tick.position - inSecond / 60.0) < 0.01);
        // Drawn where the slider shows that moment.
        TMKMarkerSlider* slider = window->positionSlider();
        const QImage picture = slider->grab().toImage();
        const int x = slider->tickX(tick.position) * picture.width() / slider->width();
        int tickPixels = 0;
        for (int y = 0; y < picture.height(); ++y)
            tickPixels += picture.pixelColor(x, y) == TMKMarkerSlider::kEventColor ? 1 : 0;
        QVERIFY2(tickPixels >= 6, qPrintable(QString::number(tickPixels)));
        // P from the third, before its turn: back to the second at the brake.
        QTRY_VERIFY(!app().session()->sync()->isMoving());
        playRowByDoubleClick(2);
        QTRY_COMPARE(app().tripMap()->highlighted(), 2);
        QTest::keyClick(window, Qt::Key_P);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.last().first().toLongLong(), 1);
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        m_viewer.p1->tick(0);
        QVERIFY(std::abs(static_cast<double>(m_viewer.p1->time()) / 1000.0 - inSecond) < 0.05);
        cleanup();

        // The threshold is the user's: 2 g hides the brake.
        QSettings(m_settings, QSettings::IniFormat).setValue(QStringLiteral("viewer/eventThresholdG"), 2.0);
        ::launch(m_viewer, m_settings, folder);
        QSignalSpy shownAgain(&app(), &TMKAppDelegate::sliderMarkersShown);
        playRowByDoubleClick(1);
        QTRY_VERIFY_WITH_TIMEOUT(!shownAgain.isEmpty(), 10000);
        QCOMPARE(shownAgain.last().first().toInt(), 0);
        QSettings(m_settings, QSettings::IniFormat).remove(QStringLiteral("viewer/eventThresholdG"));
    }

    // Export Track… from the list's menu (that row's trip) and by Ctrl+E (the playing one's):
    // merged into a GPX that parses and a CSV that reads back; a
    // cancel while it reads leaves no file; a folder that is not there is
    // told, not reported written.
    void exportTrackWritesOrCancels()
    {
        const QString folder = m_dir.filePath(QStringLiteral("export"));
        double brakeAt = 0;
        writeBrakeTrip(folder, brakeAt);
        // A drive of its own, two hours later: the menu on its row must export it, not the selected trip.
        {
            TMKSpeedProfile profile(30);
            profile.hold(60);
            TMKDriveOptions drive;
            drive.startUtc = TMKUtcTime{2026, 11, 7, 9, 15, 0, 0};
            QVERIFY(TMKWriteDriveRecording(QDir(folder).filePath(QStringLiteral("alwa_20261107_091500_F.avi")).toStdString(),
                                           TMKDriveSimulator(TMKMunichRoute(), profile, drive), 0, 60000));
        }
        auto alerts = std::make_shared<TMKRecordingAlertService>();
        auto target = std::make_shared<QString>();
        auto gate = std::make_shared<QSemaphore>(1000);
        TMKAppDelegate::Options options;
        options.alerts = alerts;
        options.trackFileChooser = [target](QWidget*, const QString&, const QString&) { return *target; };
        options.exportWorkerStarted = [gate] { gate->acquire(); };
        ::launch(m_viewer, m_settings, folder, options);
        TMKMainWindow* window = app().window();
        QTableView* table = app().window()->tableView();
        playRowByDoubleClick(1); // the brake trip plays
        QSignalSpy finished(app().trackExporter(), &TMKTrackExporter::finished);

        // From the list's menu, on the later drive's row (the last).
        *target = m_dir.filePath(QStringLiteral("trip.gpx"));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, rowCentre(table, 3), table->viewport()->mapToGlobal(rowCentre(table, 3)));
        QApplication::sendEvent(table->viewport(), &menuEvent);
        QMenu* menu = table->findChild<QMenu*>(QStringLiteral("mediaListMenu"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Export Track…"));
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), true);
        QVERIFY(alerts->alerts.isEmpty());
        QFile gpx(*target);
        QVERIFY(gpx.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&gpx);
        int points = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("trkpt"))
                ++points;
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // One fix a second over the one minute of that drive.
        QVERIFY2(points >= 55 && points <= 61, qPrintable(QString::number(points)));
        QVERIFY(app().window()->findChild<QLabel*>(QStringLiteral("messageLabel"))->toolTip().contains(QStringLiteral("trip.gpx")));

        // Ctrl+E, to CSV, once the progress dialog has gone.
        QTRY_VERIFY(!window->findChild<QProgressDialog*>(QStringLiteral("exportProgress")));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        *target = m_dir.filePath(QStringLiteral("trip.csv"));
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_E));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), true);
        QFile csv(*target);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        std::vector<TMKTrack> tracks;
        std::string error;
        QVERIFY2(TMKReadTrackCsv(csv.readAll().toStdString(), tracks, &error), error.c_str());
        QCOMPARE(tracks.size(), std::size_t{1});
        // The playing trip: one fix a second over three minutes, the shared boundary seconds once.
        const auto tripPoints = tracks.front().points.size();
        QVERIFY2(tripPoints >= 170 && tripPoints <= 181, qPrintable(QString::number(tripPoints)));

        // Cancelled while the worker waits to read: nothing is written.
        QTRY_VERIFY(!window->findChild<QProgressDialog*>(QStringLiteral("exportProgress")));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        gate->acquire(gate->available());
        *target = m_dir.filePath(QStringLiteral("cancelled.kml"));
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_E));
        QProgressDialog* progress = window->findChild<QProgressDialog*>(QStringLiteral("exportProgress"));
        QVERIFY(progress);
        QTRY_VERIFY(progress->isVisible());
        QPushButton* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        gate->release(1000);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY(finished.last().at(2).toString().isEmpty());
        QVERIFY(!QFileInfo::exists(*target));
        QVERIFY(alerts->alerts.isEmpty());

        // A folder that is not there.
        QTRY_VERIFY(!window->findChild<QProgressDialog*>(QStringLiteral("exportProgress")));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        *target = m_dir.filePath(QStringLiteral("no/such/folder/trip.gpx"));
        const QString before = app().window()->findChild<QLabel*>(QStringLiteral("messageLabel"))->toolTip();
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_E));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY(!finished.last().at(2).toString().isEmpty());
        QCOMPARE(alerts->alerts.size(), 1);
        QVERIFY(alerts->alerts.first().informative.startsWith(QStringLiteral("The track could not be written")));
        QCOMPARE(app().window()->findChild<QLabel*>(QStringLiteral("messageLabel"))->toolTip(), before);
        QVERIFY(!QFileInfo::exists(*target));
    }

    // Ctrl+S and the capture button, while a pair plays: the save dialog
    // proposes a name with the moment the frame shows (so two captures do
    // not propose one name), and the file the user saved is the one opened.
    void captureNamesTheMomentAndOpensTheSavedFile()
    {
        QStringList offered;
        QString answer;
        QList<QUrl> opened;
        TMKAppDelegate::Options options;
        options.saveFileChooser = [&](QWidget*, const QString& title, const QString& proposed) {
            offered << title << proposed;
            return answer;
        };
        bool noViewer = false;
        options.urlOpener = [&](const QUrl& url) {
            opened << url;
            return !noViewer;
        };
        ::launch(m_viewer, m_settings, m_folderA, options);
        QWidget* window = app().window();
        const QKeySequence capture(Qt::CTRL | Qt::Key_S);

        QTest::keySequence(window, capture); // nothing plays: nothing to save
        QVERIFY(offered.isEmpty());

        playRowByDoubleClick(0);
        m_viewer.p1->tick(12300);
        QTemporaryDir out;
        answer = out.filePath(QStringLiteral("frame.png"));
        QTest::keySequence(window, capture);
        QCOMPARE(offered.value(0), QStringLiteral("Save Settings"));
        QCOMPARE(QFileInfo(offered.value(1)).fileName(), QStringLiteral("tamek_capture_20261107_081512.png"));
        QCOMPARE(headOf(answer, 8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(answer)});

        auto* button = window->findChild<QAbstractButton*>(QStringLiteral("captureButton"));
        QVERIFY(button);
        m_viewer.p1->tick(40000);
        answer = out.filePath(QStringLiteral("later.png"));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(QFileInfo(offered.value(3)).fileName(), QStringLiteral("tamek_capture_20261107_081552.png"));
        QCOMPARE(opened.value(1), QUrl::fromLocalFile(answer));
        answer.clear(); // cancelled: nothing written, nothing opened
        QTest::keySequence(window, capture);
        QCOMPARE(opened.size(), 2);

        // Paused: the frame shown is saved; with no image viewer, the
        // message says where it went.
        QTest::keyClick(window, Qt::Key_Space);
        QTRY_VERIFY(!m_viewer.p1->isPlaying());
        noViewer = true;
        answer = out.filePath(QStringLiteral("paused.png"));
        QTest::keySequence(window, capture);
        QCOMPARE(QFileInfo(offered.value(7)).fileName(), QStringLiteral("tamek_capture_20261107_081552.png"));
        QCOMPARE(headOf(answer, 8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        QCOMPARE(app().window()->findChild<QLabel*>(QStringLiteral("messageLabel"))->toolTip(), QStringLiteral("Frame saved: %1").arg(QDir::toNativeSeparators(answer)));
    }

    // The web engine starts with the first look at the map, not with the
    // window. Shown while a pair plays, the page gets the pair's track and
    // the marker where playback is, then follows playback; the list and the
    // map then switch without making another view.
    void mapIsMadeWhenFirstShownDuringPlayback()
    {
        TMKAppDelegate::Options options;
        options.extractor = [](const QString&) { return drive(); };
        ::launch(m_viewer, m_settings, m_folderA, options);
        QWidget* window = app().window();
        QVERIFY(!app().mapWebView());
        QVERIFY(window->findChildren<QWebEngineView*>().isEmpty());

        playRowByDoubleClick(0);
        // The position follows every third time event.
        m_viewer.p1->tick(40000); // 2/3 of the way: record 2
        m_viewer.p1->sendTimeEvent();
        m_viewer.p1->sendTimeEvent();
        QTRY_COMPARE(m_viewer.scripts.filter(QStringLiteral("setLatLag(")).constLast(),
                     QStringLiteral("setLatLag('%1','%2')")
                         .arg(kDriveLongitude, 0, 'f', 6)
                         .arg(driveLatitude(2), 0, 'f', 6));
        QCOMPARE(app().window()->speedFieldText(), QStringLiteral("40 Km/h")); // the readouts from the same place
        QVERIFY(!app().mapWebView());
        QVERIFY(window->findChildren<QWebEngineView*>().isEmpty());

        auto* mapButton = window->findChild<QAbstractButton*>(QStringLiteral("informationButton"));
        QVERIFY(mapButton);
        QTest::mouseClick(mapButton, Qt::LeftButton);
        QCOMPARE(app().window()->sideView(), TMKMainWindow::SideView::Map);
        TMKMapView* map = app().mapWebView();
        QVERIFY(map);
        QVERIFY(map->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(map->isLoaded(), 20000);
        QTRY_COMPARE(pageState(map)[QLatin1String("trackPoints")].toInt(), kDriveRecords);
        QTRY_VERIFY(markerAt(map, 2));
        QCOMPARE(map->errorCount(), 0);

        m_viewer.p1->tick(15000); // 55 of 60 s: record 3
        m_viewer.p1->sendTimeEvent();
        m_viewer.p1->sendTimeEvent();
        QTRY_VERIFY(markerAt(map, 3));

        QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(app().window()->sideView(), TMKMainWindow::SideView::List);
        QVERIFY(!map->isVisible());
        QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(app().window()->sideView(), TMKMainWindow::SideView::Map);
        QCOMPARE(app().mapWebView(), map);
        QCOMPARE(window->findChildren<QWebEngineView*>().size(), 1);
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
        ::launch(m_viewer, path, m_folderA);
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("AppleLanguages")).toStringList(), QStringList{QStringLiteral("en")});
    }

    // The settings and the clock window each live until the user closes
    // them: opening one (button, Ctrl+, or Ctrl+T)
    // leaves the other open with its edits; opening one again brings it
    // forward; once closed, the next opening makes a new one.
    void secondaryWindowsLiveUntilClosed()
    {
        launch(m_folderA);
        QWidget* window = m_viewer.app->window();
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
