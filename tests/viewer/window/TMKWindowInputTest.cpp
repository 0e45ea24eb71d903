// The main window driven as a user drives it: double-clicks and Enter on the
// list, folders opened while a pair plays, every shortcut key, and the map
// made only when it is first shown.

#include "TMKDriveRecording.h"
#include "TMKRecordingAlertService.h"
#include "TMKScriptedPlayer.h"
#include "TMKTestViewer.h"
#include "TMKViewerTestFiles.h"
#include "media/TMKTrackExport.h"
#include "viewer/TMKAppDelegate.h"
#include "map/TMKMapView.h"
#include "map/TMKTripMap.h"
#include "widgets/TMKImageButton.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonObject>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QUrl>
#include <QWebEngineView>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace {

using Viewer = TMKTestViewer;

QByteArray headOf(const QString& path, qint64 bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

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

class TMKWindowInputTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folderA;
    QString m_folderB;
    QString m_settings;
    Viewer m_viewer;

    TMKAppDelegate& app() { return *m_viewer.app; }

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
        // Rows of A: 0 081500_F, 1 081500_R, 2 081600_F. Rows of B: 0 091500_F.
        touch(m_folderA + "/alwa_20261107_081500_F.avi");
        touch(m_folderA + "/alwa_20261107_081500_R.avi");
        touch(m_folderA + "/alwa_20261107_081600_F.avi");
        touch(m_folderB + "/alwa_20261107_091500_F.avi");
    }

    void cleanup()
    {
        m_viewer.app.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // A click only selects; Enter plays the selected row.
    void enterPlaysTheSelectedRow()
    {
        launch(m_viewer, m_settings, m_folderA);
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

    // Every key of the table has exactly one meaning and reaches its action.
    void everyShortcutHasOneMeaning()
    {
        launch(m_viewer, m_settings, m_folderA);
        QWidget* window = app().window();

        // The key both the speed and the settings claimed: settings.
        QTest::keySequence(window, QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QTRY_VERIFY(app().lastDialogController() != nullptr);
        QCOMPARE(app().session()->playInfo()->speed(), 1.0);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        const QList<QPair<const char*, QList<QKeySequence>>> table{
            {"playAction", {QKeySequence(Qt::Key_Space)}},
            {"jumpForwardAction", {QKeySequence(Qt::Key_Right)}},
            {"jumpBackwardAction", {QKeySequence(Qt::Key_Left)}},
            {"frameForwardAction", {QKeySequence(Qt::Key_Period)}},
            {"nextMarkerAction", {QKeySequence(Qt::Key_N)}},
            {"previousMarkerAction", {QKeySequence(Qt::Key_P)}},
            {"frameBackwardAction", {QKeySequence(Qt::Key_Comma)}},
            {"increaseSpeedAction", {QKeySequence(Qt::Key_BracketRight), QKeySequence(Qt::CTRL | Qt::Key_Period)}},
            {"decreaseSpeedAction", {QKeySequence(Qt::Key_BracketLeft)}},
            {"resetSpeedAction", {QKeySequence(Qt::Key_Backspace)}},
            {"muteAction", {QKeySequence(Qt::Key_M)}},
            {"shortcutHelpAction", {QKeySequence(Qt::Key_Question), QKeySequence(Qt::Key_F1)}},
            {"sizeUpAction", {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)}},
            {"sizeDownAction", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
            {"fullScreenAction", {QKeySequence(Qt::Key_F), QKeySequence(Qt::Key_F11)}},
            {"swapAction", {QKeySequence(Qt::Key_S)}},
            {"captureAction", {QKeySequence(Qt::CTRL | Qt::Key_S)}},
            {"printAction", {QKeySequence(Qt::CTRL | Qt::Key_P)}},
            {"settingsAction", {QKeySequence(Qt::CTRL | Qt::Key_Comma)}},
            {"timeSetupAction", {QKeySequence(Qt::CTRL | Qt::Key_T)}},
            {"listViewAction", {QKeySequence(Qt::CTRL | Qt::Key_1)}},
            {"mapViewAction", {QKeySequence(Qt::CTRL | Qt::Key_2)}},
            {"volumeUpAction", {QKeySequence(Qt::Key_Up)}},
            {"volumeDownAction", {QKeySequence(Qt::Key_Down)}},
            {"openFolderAction", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
            {"exportTrackAction", {QKeySequence(Qt::CTRL | Qt::Key_E)}},
            {"clipStartAction", {QKeySequence(Qt::Key_I)}},
            {"clipEndAction", {QKeySequence(Qt::Key_O)}},
            {"clearClipMarksAction", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)}},
            {"exportClipAction", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}},
            {"leaveFullScreenAction", {QKeySequence(Qt::Key_Escape)}},
            {"quitAction", {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        };

        // No key is held by two actions, nor twice by one.
        QMap<QKeySequence, QString> owner;
        const QList<QAction*> actions = window->actions();
        for (QAction* action : actions) {
            for (const QKeySequence& key : action->shortcuts()) {
                QVERIFY2(!owner.contains(key), qPrintable(QStringLiteral("%1 is held by %2 and %3")
                                                              .arg(key.toString(), owner.value(key),
                                                                   action->objectName())));
                owner.insert(key, action->objectName());
            }
        }

        // Each key fires its own action and no other. The actions' own work
        // (dialogs, quitting) is cut off here; other tests cover it.
        QMap<QString, std::shared_ptr<QSignalSpy>> spies;
        for (QAction* action : actions) {
            QObject::disconnect(action, SIGNAL(triggered(bool)), nullptr, nullptr);
            spies.insert(action->objectName(), std::make_shared<QSignalSpy>(action, &QAction::triggered));
        }
        QCOMPARE(spies.size(), table.size());
        for (const auto& [name, keys] : table) {
            QVERIFY2(spies.contains(QLatin1String(name)), name);
            for (const QKeySequence& key : keys) {
                QTest::keySequence(window, key);
                for (auto it = spies.cbegin(); it != spies.cend(); ++it) {
                    const int expected = it.key() == QLatin1String(name) ? 1 : 0;
                    QVERIFY2(it.value()->count() == expected,
                             qPrintable(QStringLiteral("%1 fired %2 times on %3")
                                            .arg(it.key())
                                            .arg(it.value()->count())
                                            .arg(key.toString())));
                }
                spies.value(QLatin1String(name))->clear();
            }
        }
    }

    // The player keys reach the part whose job they are (what each part
    // does is its own test's): paused, . and , step a frame in both, ] and
    // Backspace set the speed, M mutes; muted or at volume 0 the speaker
    // says nothing is heard.
    void playerKeysReachTheirParts()
    {
        launch(m_viewer, m_settings, m_folderA);
        playRowByDoubleClick(0);
        QWidget* window = app().window();
        TMKScriptedPlayer* p1 = m_viewer.p1;
        p1->tick(1200);
        QTest::keyClick(window, Qt::Key_Space);
        QTRY_VERIFY(!app().session()->playInfo()->isPlaying());
        QTRY_COMPARE(m_viewer.p2->state(), TMKMediaPlayer::Paused);
        QTest::keyClick(window, Qt::Key_Period);
        QCOMPARE(p1->time(), 1300);
        QCOMPARE(m_viewer.p2->time(), 1300);
        QTest::keyClick(window, Qt::Key_Comma);
        QTest::keyClick(window, Qt::Key_Comma);
        QCOMPARE(p1->time(), 1100);
        QCOMPARE(app().window()->positionSliderValue(), std::round(1100.0 / 60000.0 * TMKMainWindow::kSliderSteps)
                                                            / TMKMainWindow::kSliderSteps);
        QTest::keyClick(window, Qt::Key_BracketRight);
        QCOMPARE(app().window()->speedText(), QStringLiteral("2.0x"));
        QTest::keyClick(window, Qt::Key_Backspace);
        QCOMPARE(p1->rate(), 1.0f);

        auto* speaker = window->findChild<TMKImageButton*>(QStringLiteral("audioToggleButton"));
        QVERIFY(speaker);
        QVERIFY(!p1->isMuted());
        QTest::keyClick(window, Qt::Key_M);
        QVERIFY(p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted"));
        QTest::keyClick(window, Qt::Key_M);
        QVERIFY(!p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume"));
        while (app().session()->sound()->volume() > 0)
            QTest::keyClick(window, Qt::Key_Down);
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted")); // at 0 nothing is heard either
    }

    // ? and F1 show every shortcut the window's keys are bound to, as the
    // bindings name them; Escape or the same key closes the list, and while
    // it is shown Escape does nothing else.
    void shortcutOverlayListsEveryBinding()
    {
        launch(m_viewer, m_settings, m_folderA);
        TMKMainWindow* window = app().window();
        QVERIFY(!window->isShortcutOverlayShown());
        QTest::keyClick(window, Qt::Key_Question);
        QVERIFY(window->isShortcutOverlayShown());
        QVERIFY(window->shortcutOverlay()->geometry().contains(window->centralWidget()->rect()));

        QList<TMKShortcutOverlay::Row> expected;
        for (const QAction* action : window->actions()) {
            QStringList keys;
            for (const QKeySequence& key : action->shortcuts())
                keys << key.toString(QKeySequence::NativeText);
            QVERIFY2(!keys.isEmpty(), qPrintable(action->objectName()));
            QVERIFY2(!action->text().isEmpty() && !action->text().startsWith(QLatin1String("shortcut.")),
                     qPrintable(action->objectName()));
            expected.push_back({keys.join(QStringLiteral(", ")), action->text()});
        }
        const QList<TMKShortcutOverlay::Row> shown = window->shortcutOverlay()->shownRows();
        QCOMPARE(shown.size(), expected.size());
        for (const TMKShortcutOverlay::Row& row : expected)
            QVERIFY2(shown.contains(row), qPrintable(row.keys + QStringLiteral(" ") + row.description));
        // The labels are on screen, inside the window.
        const auto labels = window->shortcutOverlay()->findChildren<QLabel*>(QStringLiteral("shortcutKeys"));
        QCOMPARE(labels.size(), expected.size());
        for (const QLabel* label : labels)
            QVERIFY(label->isVisible() && window->rect().contains(label->mapTo(window, label->rect().bottomRight())));

        QTest::keyClick(window, Qt::Key_Question);
        QVERIFY(!window->isShortcutOverlayShown());
        QTest::keyClick(window, Qt::Key_F1);
        QVERIFY(window->isShortcutOverlayShown());
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isShortcutOverlayShown());
        QTest::keyClick(window, Qt::Key_F1);
        QTest::keyClick(window, Qt::Key_F1);
        QVERIFY(!window->isShortcutOverlayShown());
        // A click on the backdrop closes it too.
        QTest::keyClick(window, Qt::Key_F1);
        QTest::mouseClick(window->shortcutOverlay(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!window->isShortcutOverlayShown());
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
        launch(m_viewer, m_settings, folder);
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
        launch(m_viewer, m_settings, folder);
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
        launch(m_viewer, m_settings, folder, options);
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
        launch(m_viewer, m_settings, m_folderA, options);
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
        answer = out.filePath(QStringLiteral("later.jpg"));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(QFileInfo(offered.value(3)).fileName(), QStringLiteral("tamek_capture_20261107_081552.png"));
        // A ".jpg" name gets the snapshot's JPEG bytes as they are; the
        // snapshot lives in a private folder of this run, not in /tmp itself.
        const QString snapshot = app().frameCapture()->captureTemporaryPath();
        QCOMPARE(QFileInfo(snapshot).fileName(), QStringLiteral("tamek_capture.jpg"));
        QVERIFY(QFileInfo(snapshot).absolutePath() != QDir::tempPath());
        QCOMPARE(QFileInfo(QFileInfo(snapshot).absolutePath()).permissions()
                     & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
        QCOMPARE(headOf(answer, 1 << 20), headOf(snapshot, 1 << 20));
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

    // A save that fails tells the user through the alert service, leaves
    // an existing picture of that name whole and opens nothing; a folder of
    // that name is not touched.
    void failedCaptureWarnsAndKeepsTheOldFile()
    {
        QString answer;
        QList<QUrl> opened;
        auto alerts = std::make_shared<TMKRecordingAlertService>();
        TMKAppDelegate::Options options;
        options.saveFileChooser = [&](QWidget*, const QString&, const QString&) { return answer; };
        options.urlOpener = [&](const QUrl& url) { opened << url; return true; };
        options.alerts = alerts;
        launch(m_viewer, m_settings, m_folderA, options);
        playRowByDoubleClick(0);

        QTemporaryDir out;
        answer = out.filePath(QStringLiteral("old.png"));
        {
            QFile old(answer);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the picture saved last week");
        }
        m_viewer.p1->snapshotBytes = QByteArray("no image at all");
        QTest::keySequence(app().window(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(headOf(answer, 100), QByteArray("the picture saved last week"));
        QCOMPARE(alerts->alerts.size(), 1);
        QCOMPARE(alerts->alerts.first().kind, TMKAlertService::Kind::Warning);
        QCOMPARE(alerts->alerts.first().window.data(), app().window());
        QVERIFY(alerts->alerts.first().informative.contains(answer));
        QVERIFY(opened.isEmpty());

        m_viewer.p1->snapshotBytes.clear();
        answer = out.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(answer + QStringLiteral("/inside")));
        QTest::mouseClick(app().window()->findChild<QAbstractButton*>(QStringLiteral("captureButton")), Qt::LeftButton);
        QVERIFY(QFileInfo(answer + QStringLiteral("/inside")).isDir());
        QCOMPARE(alerts->alerts.size(), 2);
        QVERIFY(opened.isEmpty());
    }

    // The web engine starts with the first look at the map, not with the
    // window. Shown while a pair plays, the page gets the pair's track and
    // the marker where playback is, then follows playback; the list and the
    // map then switch without making another view.
    void mapIsMadeWhenFirstShownDuringPlayback()
    {
        TMKAppDelegate::Options options;
        options.extractor = [](const QString&) { return drive(); };
        launch(m_viewer, m_settings, m_folderA, options);
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

    // Shown before anything plays, the map waits for the page and then gets
    // the track of the pair started afterwards.
    void mapShownBeforePlayGetsTheTrack()
    {
        TMKAppDelegate::Options options;
        options.extractor = [](const QString&) { return drive(); };
        launch(m_viewer, m_settings, m_folderA, options);
        QTest::keyClick(app().window(), Qt::Key_2, Qt::ControlModifier);
        TMKMapView* map = app().mapWebView();
        QVERIFY(map);
        QVERIFY(!map->isLoaded());
        app().showSideView(TMKMainWindow::SideView::List); // the pair is chosen from the list
        playRowByDoubleClick(0);
        QTest::keyClick(app().window(), Qt::Key_2, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(map->isLoaded(), 20000);
        QTRY_COMPARE(pageState(map)[QLatin1String("trackPoints")].toInt(), kDriveRecords);
        QTRY_VERIFY(markerAt(map, 0));
    }
};

QTEST_MAIN(TMKWindowInputTest)
#include "TMKWindowInputTest.moc"
