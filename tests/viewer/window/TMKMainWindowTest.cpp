// The whole viewer as a user drives it (keys, clicks, double-clicks) on a
// 1280x800 screen with scripted players: what needs the wiring of the parts
// and the window. Each scenario launches once and goes through its checks
// in order: a folder played and browsed (capture, print, the map made when
// first shown, jumps and frame steps while paused, the speaker, the size
// steps, full screen across a recording boundary, a new folder while
// playing, the secondary windows), damaged recordings and files that are no
// recordings, a trip (markers across recordings, a click on the map's trip,
// track export), a hostile recording, the empty list and the remembered
// folder. What a part does alone is its own test's; what every key tells is
// the window part test's.

#include "TMKAviWriter.h"
#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKNmeaBuilder.h"
#include "TMKRecordingAlertService.h"
#include "TMKScriptedPlayer.h"
#include "TMKTestViewer.h"
#include "TMKViewerTestFiles.h"
#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"
#include "media/TMKTrackExport.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKSettingController.h"
#include "viewer/TMKAppDelegate.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/window/TMKMainWindow.h"
#include "widgets/TMKImageButton.h"
#include "widgets/TMKLogoView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace {

QByteArray headOf(const QString& path, qint64 bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

const QByteArray kPngHead("\x89PNG\r\n\x1a\n", 8);

// A printer that takes JPEG and remembers the files it printed and their
// first bytes.
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
    TMKPrintJob printFile(const QString&, const QString& path, const QString&, const TMKPrintSettings&) override
    {
        jobs << path;
        jpegHeads << headOf(path, 3);
        return TMKPrintJob{static_cast<int>(jobs.size()), 0, {}};
    }
    QStringList jobs;
    QList<QByteArray> jpegHeads;
};

// A drive north along 11°31' E: record k at 48°(7 + k)' N.
constexpr int kDriveRecords = 4;
double driveLatitude(int k) { return 48.0 + (7.0 + k) / 60.0; }
constexpr double kDriveLongitude = 11.0 + 31.0 / 60.0;

// That drive, and a G-sensor that reads X +0.5 throughout.
TMKBlackBoxData drive()
{
    TMKBlackBoxData data;
    for (int k = 0; k < kDriveRecords; ++k)
        data.m_vGpsData.push_back(TMKAviGpsData::aviGpsDataWithData(
            {.header = 205, .nTimestamp = static_cast<uint32_t>(1000 * k), .nLen = 0, .sig = 0,
             .fLatitude = 4807.0 + k, .fLongitude = 1131.0, .fSpeed = 40, .distance = 0, .NS = 'N', .EW = 'E',
             .KM = '9', .dummy = 0, .RawData = {}}));
    data.m_GSensors.assign(600, TMKGSensor(0.5f, -0.25f, 1.0f));
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
    QString m_folderA;  // 0 081500_F, 1 081500_R, 2 081600_F, 3 081600_R
    QString m_folderB;  // 0 091500_F, 1 091600_F (event), 2 091600_R
    QString m_empty;
    QString m_damaged;  // 0 100000_F (cut), 1 100000_R, 2 100100_F, 3 100100_R (noise), 4 100200_F
    QString m_notFiles; // 0 110000_F, 1 110000_R (a FIFO), 2 110100_R (a dangling link)
    QString m_chosenFolder; // what the folder chooser answers
    TMKTestViewer m_viewer;

    TMKAppDelegate& app() { return *m_viewer.app; }
    TMKMainWindow* window() { return m_viewer.app->window(); }
    TMKPairSequence* sequence() { return m_viewer.app->session()->sequence(); }
    bool playing() { return m_viewer.app->session()->playInfo()->isPlaying(); }

    void launch(const QString& folder, TMKAppDelegate::Options options = {}, bool restore = false)
    {
        options.folderChooser = [this](QWidget*, const QString&, const QString&) { return m_chosenFolder; };
        ::launch(m_viewer, m_settings, folder, std::move(options), restore);
    }

    template <typename T = QWidget>
    T* child(const char* name)
    {
        auto* widget = window()->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no %s in the window", name);
        return widget;
    }

    QPoint rowCentre(int row)
    {
        QTableView* table = window()->tableView();
        return table->visualRect(table->model()->index(row, 3)).center();
    }

    // `act`, then the pair of `row` seen started.
    void startsAfter(const std::function<void()>& act, qint64 row)
    {
        QSignalSpy started(sequence(), &TMKPairSequence::pairStarted);
        act();
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), row);
        QTRY_VERIFY(!sequence()->waitingForPlayStart());
    }

    // A double-click on `row`, then the pair seen started.
    void playRow(int row)
    {
        startsAfter([&] { QTest::mouseDClick(window()->tableView()->viewport(), Qt::LeftButton, {}, rowCentre(row)); }, row);
    }

    // The banner is up and names the file and why.
    bool bannerTells(const QString& file, const QString& reason)
    {
        return banner()->isVisible() && banner()->text().contains(file) && banner()->text().contains(reason);
    }

    // `key` on the window once it is active again (a dialog or the page may
    // have taken it).
    void press(const QKeySequence& key)
    {
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        QTest::keySequence(window(), key);
    }

    // Ctrl+O with the chooser answering `folder`, until the list is read.
    void openFolderByKey(const QString& folder)
    {
        m_chosenFolder = folder;
        QSignalSpy listed(&app(), &TMKAppDelegate::mediaListReloaded);
        press(QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(listed.wait(5000));
    }

    QString timeText() { return child<QLabel>("timeLabel")->text(); }
    QString playImage() { return child<TMKImageButton>("playButton")->image(); }
    QString message() { return child<QLabel>("messageLabel")->toolTip(); }
    QLabel* banner() { return child<QLabel>("playbackMessageLabel"); }

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
        for (uint32_t i = 0; i < 3; ++i)
            QVERIFY(TMKWriteDriveRecording(
                QDir(folder).filePath(QString::asprintf("alwa_20261107_07%02u00_F.avi", 15 + i)).toStdString(),
                simulated, i * 60000, 60000));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings = m_dir.filePath(QStringLiteral("settings.ini"));
        m_folderA = m_dir.filePath(QStringLiteral("a"));
        m_folderB = m_dir.filePath(QStringLiteral("b"));
        m_empty = m_dir.filePath(QStringLiteral("empty"));
        m_damaged = m_dir.filePath(QStringLiteral("damaged"));
        m_notFiles = m_dir.filePath(QStringLiteral("notfiles"));
        for (const QString& folder : {m_folderA, m_folderB, m_empty, m_damaged, m_notFiles})
            QVERIFY(QDir().mkpath(folder));
        for (const char* name : {"a/alwa_20261107_081500_F.avi", "a/alwa_20261107_081500_R.avi",
                                 "a/alwa_20261107_081600_F.avi", "a/alwa_20261107_081600_R.avi",
                                 "b/alwa_20261107_091500_F.avi", "b/event_20261107_091600_F.avi",
                                 "b/event_20261107_091600_R.avi", "damaged/alwa_20261107_100000_F.avi",
                                 "damaged/alwa_20261107_100000_R.avi", "damaged/alwa_20261107_100100_F.avi",
                                 "damaged/alwa_20261107_100100_R.avi", "damaged/alwa_20261107_100200_F.avi",
                                 "notfiles/alwa_20261107_110000_F.avi"})
            touch(m_dir.filePath(QLatin1String(name)));
        QCOMPARE(::mkfifo(QFile::encodeName(m_notFiles + "/alwa_20261107_110000_R.avi").constData(), 0600), 0);
        QVERIFY(QFile::link(m_notFiles + "/gone.avi", m_notFiles + "/alwa_20261107_110100_R.avi"));
        // The players' verdict on the files (the libVLC player derives it
        // from the file; its own test covers that).
        TMKScriptedPlayer::faults.insert(QStringLiteral("alwa_20261107_100000_F.avi"),
                                         {QStringLiteral("the file is cut short"), false, 1000});
        TMKScriptedPlayer::faults.insert(QStringLiteral("alwa_20261107_100100_R.avi"),
                                         {QStringLiteral("not an AVI recording"), true, 0});
        QVERIFY(QGuiApplication::primaryScreen());
        QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(1280, 800));
    }

    void cleanup()
    {
        m_viewer.app.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    void aFolderPlayedAndBrowsed()
    {
        QStringList offered; // title, proposed name, for each save dialog
        QString answer;
        QList<QUrl> opened;
        bool noViewer = false;
        auto printer = std::make_shared<TMKRecordingPrintSystem>();
        int panelAnswer = 0;
        int panels = 0;
        TMKAppDelegate::Options options;
        options.extractor = [](const QString&) { return drive(); };
        options.saveFileChooser = [&](QWidget*, const QString& title, const QString& proposed) {
            offered << title << proposed;
            return answer;
        };
        options.urlOpener = [&](const QUrl& url) {
            opened << url;
            return !noViewer;
        };
        options.printPanel = [&](QPrinter&) {
            ++panels;
            return panelAnswer;
        };
        options.printSystem = printer;
        launch(m_folderA, options);
        TMKMainWindow* w = window();
        QTableView* table = w->tableView();
        const QKeySequence capture(Qt::CTRL | Qt::Key_S);
        const QKeySequence print(Qt::CTRL | Qt::Key_P);

        // The web engine starts with the first look at the map, not with
        // the window. Nothing plays: nothing to save or print.
        QVERIFY(w->findChildren<QWebEngineView*>().isEmpty());
        QTest::keySequence(w, capture);
        QTest::keySequence(w, print);
        QVERIFY(offered.isEmpty());
        QCOMPARE(panels, 0);

        // A click only selects; Enter plays the selected row.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1));
        QCoreApplication::processEvents();
        QCOMPARE(sequence()->mediaIndex(), -1);
        QVERIFY(!m_viewer.p1->media());
        table->setFocus();
        startsAfter([&] { QTest::keyClick(table, Qt::Key_Return); }, 1);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_081500_R.avi"));

        // The map's position follows every third time event, the readouts
        // from the same place; still no web engine.
        m_viewer.p1->tick(40000); // 2/3 of the way: record 2
        m_viewer.p1->sendTimeEvent();
        m_viewer.p1->sendTimeEvent();
        QTRY_COMPARE(m_viewer.scripts.filter(QStringLiteral("setLatLag(")).constLast(),
                     QStringLiteral("setLatLag('%1','%2')")
                         .arg(kDriveLongitude, 0, 'f', 6)
                         .arg(driveLatitude(2), 0, 'f', 6));
        QCOMPARE(w->speedFieldText(), QStringLiteral("40 Km/h"));
        QTRY_COMPARE(child<QLabel>("xLabel")->text(), QStringLiteral("X=+0.50"));
        QVERIFY(!w->graphView()->values().empty());
        QVERIFY(!app().mapWebView());

        // Shown while the pair plays, the page gets the pair's track and the
        // marker where playback is, then follows playback; the list and the
        // map then switch without making another view.
        QTest::mouseClick(child<QAbstractButton>("informationButton"), Qt::LeftButton);
        QCOMPARE(w->sideView(), TMKMainWindow::SideView::Map);
        TMKMapView* map = app().mapWebView();
        QVERIFY(map && map->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(map->isLoaded(), 20000);
        QTRY_COMPARE(pageState(map)[QLatin1String("trackPoints")].toInt(), kDriveRecords);
        QTRY_VERIFY(markerAt(map, 2));
        QCOMPARE(map->errorCount(), 0);
        m_viewer.p1->tick(15000); // 55 of 60 s: record 3
        m_viewer.p1->sendTimeEvent();
        m_viewer.p1->sendTimeEvent();
        QTRY_VERIFY(markerAt(map, 3));
        press(QKeySequence(Qt::CTRL | Qt::Key_1));
        QCOMPARE(w->sideView(), TMKMainWindow::SideView::List);
        QVERIFY(!map->isVisible());
        press(QKeySequence(Qt::CTRL | Qt::Key_2));
        QCOMPARE(w->sideView(), TMKMainWindow::SideView::Map);
        QCOMPARE(app().mapWebView(), map);
        QCOMPARE(w->findChildren<QWebEngineView*>().size(), 1);

        // Ctrl+S and the capture button: the save dialog proposes a name
        // with the moment the frame shows (so two captures do not propose
        // one name), and the file the user saved is the one opened.
        QTemporaryDir out;
        answer = out.filePath(QStringLiteral("frame.png"));
        press(capture);
        QCOMPARE(offered.value(0), QStringLiteral("Save Settings"));
        QCOMPARE(QFileInfo(offered.value(1)).fileName(), QStringLiteral("tamek_capture_20261107_081555.png"));
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(answer)});
        m_viewer.p1->tick(3000);
        answer = out.filePath(QStringLiteral("later.png"));
        QTest::mouseClick(child<QAbstractButton>("captureButton"), Qt::LeftButton);
        QCOMPARE(QFileInfo(offered.value(3)).fileName(), QStringLiteral("tamek_capture_20261107_081558.png"));
        QCOMPARE(opened.value(1), QUrl::fromLocalFile(answer));
        answer.clear(); // cancelled: nothing written, nothing opened
        press(capture);
        QCOMPARE(opened.size(), 2);

        // Paused: the frame shown is saved; with no image viewer, the
        // message says where it went.
        QTest::keyClick(w, Qt::Key_Space);
        QTRY_VERIFY(!m_viewer.p1->isPlaying());
        QTRY_VERIFY(!playing());
        noViewer = true;
        answer = out.filePath(QStringLiteral("paused.png"));
        press(capture);
        QCOMPARE(QFileInfo(offered.value(7)).fileName(), QStringLiteral("tamek_capture_20261107_081558.png"));
        QCOMPARE(headOf(answer, 8), kPngHead);
        QCOMPARE(message(), QStringLiteral("Frame saved: %1").arg(QDir::toNativeSeparators(answer)));

        // Print: the shown frame as JPEG; nothing when the dialog is
        // cancelled.
        press(print);
        QCOMPARE(panels, 1);
        QVERIFY(printer->jobs.isEmpty());
        panelAnswer = 1;
        press(print);
        QCOMPARE(printer->jobs, QStringList{app().frameCapture()->captureTemporaryPath()});
        QCOMPARE(printer->jpegHeads.value(0), QByteArray("\xFF\xD8\xFF", 3));

        // ← and → while paused: the time text and the slider follow each
        // jump at once, however quick the presses.
        for (const auto& [key, seconds] : {std::pair{Qt::Key_Left, 48}, std::pair{Qt::Key_Left, 38},
                                           std::pair{Qt::Key_Right, 48}, std::pair{Qt::Key_Left, 38}}) {
            QTest::keyClick(w, key);
            QCOMPARE(timeText(), QStringLiteral("00:%1 / 01:00").arg(seconds));
            QCOMPARE(child<QSlider>("videoPositionSlider")->value(), static_cast<int>(std::lround(seconds * 10000.0 / 60.0)));
        }
        QVERIFY(!playing());

        // The keys reach the players through the app's wiring (the part
        // test sees them only up to the window's intents), and the speaker
        // shows what is heard.
        QTRY_COMPARE(m_viewer.p2->state(), TMKMediaPlayer::Paused);
        QTest::keyClick(w, Qt::Key_Period);
        QCOMPARE(m_viewer.p2->time(), 38100);
        QTest::keyClick(w, Qt::Key_Comma);
        QTest::keyClick(w, Qt::Key_Comma);
        QCOMPARE(m_viewer.p1->time(), 37900);
        QTest::keyClick(w, Qt::Key_BracketRight);
        QCOMPARE(m_viewer.p1->rate(), 2.0f);
        QTest::keyClick(w, Qt::Key_Backspace);
        QCOMPARE(m_viewer.p1->rate(), 1.0f);
        auto* speaker = child<TMKImageButton>("audioToggleButton");
        QTest::keyClick(w, Qt::Key_M);
        QVERIFY(m_viewer.p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted"));
        QTest::keyClick(w, Qt::Key_M);
        QVERIFY(!m_viewer.p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume"));
        while (app().session()->sound()->volume() > 0)
            QTest::keyClick(w, Qt::Key_Down); // at volume 0 nothing is heard either
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted"));

        // A click on the bar's middle seeks both there, paused too.
        auto* slider = child<QSlider>("videoPositionSlider");
        QTRY_VERIFY(!app().session()->sync()->isMoving()); // the jumps' follow-up is over
        QTest::mouseClick(slider, Qt::LeftButton, {}, slider->rect().center());
        QVERIFY(std::abs(m_viewer.p1->time() - 30000) < 2000);
        QVERIFY(!playing());

        QTest::keyClick(w, Qt::Key_Space);
        QTRY_VERIFY(m_viewer.p1->isPlaying());
        // Each Ctrl+= grows the window inside the screen; only from the
        // screen's size does it go full screen. The size button shows the
        // scale and says what it does.
        const QRect available = w->screen()->availableGeometry();
        QSize before = w->size();
        int steps = 0;
        while (!w->isFullScreen() && steps < 6) {
            press(QKeySequence(Qt::CTRL | Qt::Key_Equal));
            QTRY_VERIFY(w->isFullScreen() || w->size() != before);
            ++steps;
            if (w->isFullScreen())
                break;
            QVERIFY2(available.contains(w->frameGeometry()), qPrintable(QStringLiteral("step %1").arg(steps)));
            QVERIFY(w->width() > before.width() || w->height() > before.height());
            before = w->size();
        }
        QVERIFY2(steps >= 2, "the first step went straight to full screen");
        QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_Minus));
        QTRY_VERIFY(!w->isFullScreen());
        auto* size = child<QPushButton>("sizeTextButton");
        QVERIFY(app().session()->playInfo()->scale() > 0);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\dx$")).match(size->text()).hasMatch());
        QVERIFY(size->toolTip().contains(QString::asprintf("%.2f", app().session()->playInfo()->scale())));
        QVERIFY(size->toolTip().contains(QStringLiteral("Ctrl+=")));

        // Full screen stays when the next pair starts; only the user leaves it.
        QTest::keyClick(w, Qt::Key_F);
        QTRY_VERIFY(w->isFullScreen());
        startsAfter([this] { m_viewer.p1->tick(60000); }, 3); // the rear camera's next
        QVERIFY(w->isFullScreen());
        QVERIFY(child("mediaControlBoxForFullScreen")->isVisible());
        QVERIFY(!child("bodyRightBox")->isVisible() && !child("mediaControlBox")->isVisible());
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(!w->isFullScreen());
        QVERIFY(child("bodyRightBox")->isVisible());

        // Ctrl+O while a pair plays: the controls show the stopped state and
        // nothing of the old recording stays: readouts, graph, scale,
        // markers, the map, the list is shown again.
        m_viewer.p1->tick(12000);
        QTRY_VERIFY(playing());
        QCOMPARE(playImage(), QStringLiteral("icon_pause"));
        QVERIFY(w->video1View()->isVisible());
        QCOMPARE(w->sideView(), TMKMainWindow::SideView::Map);
        QTRY_COMPARE(child<QLabel>("xLabel")->text(), QStringLiteral("X=+0.50"));
        app().session()->playInfo()->setScale(0.5);
        w->setSliderMarkers({{0.5, true}});
        openFolderByKey(m_empty);
        QVERIFY(!m_viewer.p1->media() && !m_viewer.p2->media());
        QCOMPARE(sequence()->mediaIndex(), -1);
        QCOMPARE(playImage(), QStringLiteral("icon_play"));
        QCOMPARE(timeText(), QStringLiteral("00:00 / 00:00"));
        QCOMPARE(slider->value(), 0);
        QVERIFY(!w->video1View()->isVisible());
        QVERIFY(!w->video1View()->hasFrame());
        QCOMPARE(w->sideView(), TMKMainWindow::SideView::List);
        QCOMPARE(child<QLabel>("xLabel")->text(), QStringLiteral("X=+0.00"));
        QCOMPARE(child<QLabel>("zLabel")->text(), QStringLiteral("Z=+0.00"));
        QVERIFY(w->graphView()->values().empty());
        QCOMPARE(size->text(), QStringLiteral("\u2013"));
        QVERIFY(w->sliderMarkers().isEmpty());
        QVERIFY(m_viewer.scripts.contains(TMKClearMapScript()));

        // Nothing to play in an empty folder: Space does nothing. In a folder
        // with recordings Space plays its first row, and pauses it.
        QTest::keyClick(w, Qt::Key_Space);
        QCoreApplication::processEvents();
        QVERIFY(!m_viewer.p1->media());
        openFolderByKey(m_folderB);
        startsAfter([w] { QTest::keyClick(w, Qt::Key_Space); }, 0);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_091500_F.avi"));
        QTRY_COMPARE(playImage(), QStringLiteral("icon_pause"));
        QTest::keyClick(w, Qt::Key_Space);
        QTRY_VERIFY(!playing());

        // The settings and the clock window each live until the user closes
        // them: opening one leaves the other open with its edits; opening
        // one again brings it forward; once closed, the next opening makes a
        // new one.
        auto* settingsButton = child<QPushButton>("settingsButton");
        auto* clockButton = child<QPushButton>("timeSetupButton");
        press(QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QPointer<TMKSettingController> settings = qobject_cast<TMKSettingController*>(app().lastDialogController());
        QVERIFY(settings);
        QTRY_VERIFY(settings->isVisible());
        QTabBar* tabs = settings->functionSegmentedControl();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        QWidget* page = settings->targetController();
        QTest::mouseClick(clockButton, Qt::LeftButton);
        auto* clock = qobject_cast<TMKTimeSetupController*>(app().lastDialogController());
        QVERIFY(clock && clock->isVisible());
        QVERIFY(settings && settings->isVisible()); // not closed behind the user's back
        QTest::mouseClick(settingsButton, Qt::LeftButton);
        QCOMPARE(app().lastDialogController(), settings);
        QCOMPARE(settings->targetController(), page);
        settings->close();
        QTest::mouseClick(settingsButton, Qt::LeftButton);
        auto* reopened = qobject_cast<TMKSettingController*>(app().lastDialogController());
        QVERIFY(reopened);
        QTRY_VERIFY(reopened->isVisible());
        QCOMPARE(reopened->lastSelectedTabIndex(), 0);
        QVERIFY(clock->isVisible());
        reopened->close();
        clock->close();
    }

    // A damaged front: said at once with the reason; the rear takes the main
    // area and the clock, the controls work, and the next pair follows. A
    // rear of noise: said at once, the front plays alone, the next follows.
    // A pair of which nothing plays fails at once and is skipped. A FIFO and
    // a dangling link named as recordings are rows, the FIFO greyed with its
    // reason; its partner plays alone and says why.
    void damagedRecordingsAreToldAndTheRestPlays()
    {
        launch(m_damaged);
        startsAfter([this] { // told at once, before the start
            QTest::mouseDClick(window()->tableView()->viewport(), Qt::LeftButton, {}, rowCentre(0));
            QTRY_VERIFY_WITH_TIMEOUT(banner()->isVisible(), 200);
            QVERIFY(bannerTells(QStringLiteral("alwa_20261107_100000_F.avi"), QStringLiteral("cut short")));
        }, 0);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_100000_R.avi"));
        QCOMPARE(window()->findChildren<TMKLogoView*>().value(0)->logoImage(), QStringLiteral("v1_rear_logo"));

        // The cut front ends after its one second; the rear goes on.
        m_viewer.p1->tick(1500);
        m_viewer.p2->tick(1500);
        QCOMPARE(m_viewer.p2->state(), TMKMediaPlayer::Paused);
        QTRY_VERIFY(window()->video2View()->isHidden()); // its logo, not its last broken picture
        QTRY_VERIFY(playing());
        QCOMPARE(timeText(), QStringLiteral("00:01 / 01:00"));
        QTest::keyClick(window(), Qt::Key_Space);
        QTRY_COMPARE(playImage(), QStringLiteral("icon_play"));
        QTest::mouseClick(child<TMKImageButton>("playButton"), Qt::LeftButton);
        QTRY_COMPARE(m_viewer.p1->state(), TMKMediaPlayer::Playing);
        m_viewer.p1->tick(250); // the play state shows from the next time event
        QTRY_VERIFY(playing());

        // At the end of the rear the next pair follows: its rear is noise.
        startsAfter([this] { m_viewer.p1->tick(60000); }, 2);
        QVERIFY(bannerTells(QStringLiteral("alwa_20261107_100100_R.avi"), QStringLiteral("not an AVI recording")));
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_100100_F.avi"));
        QVERIFY(!m_viewer.p2->media());
        QVERIFY(window()->video2View()->isHidden());
        QVERIFY(playing());
        startsAfter([this] { m_viewer.p1->tick(60000); }, 4);
        QVERIFY(!banner()->isVisible()); // a healthy pair: nothing of the one before

        // Nothing of pair 2 plays now: told with its reason, the pair after
        // it starts.
        const QString unreadable = QStringLiteral("alwa_20261107_100100_F.avi");
        TMKScriptedPlayer::faults.insert(unreadable, {QStringLiteral("the file cannot be read"), true, 0});
        QSignalSpy failed(sequence(), &TMKPairSequence::pairFailed);
        startsAfter([&] {
            QTest::mouseDClick(window()->tableView()->viewport(), Qt::LeftButton, {}, rowCentre(2));
            TMKScriptedPlayer::faults.remove(unreadable);
            QCOMPARE(failed.count(), 1);
            QVERIFY(!window()->isLoadingShown());
            QVERIFY(bannerTells(unreadable, QStringLiteral("cannot be read")));
        }, 4);
        QVERIFY(!banner()->isVisible());

        openFolderByKey(m_notFiles);
        QCOMPARE(window()->tableView()->model()->rowCount(), 3);
        const QModelIndex fifo = window()->tableView()->model()->index(1, 3);
        QTRY_VERIFY(fifo.data(Qt::ToolTipRole).toString().contains(QStringLiteral("not a regular file")));
        QCOMPARE(fifo.data(Qt::ForegroundRole).value<QBrush>().color(),
                 QApplication::palette().brush(QPalette::Disabled, QPalette::Text).color());
        playRow(0);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_110000_F.avi"));
        QVERIFY(!m_viewer.p2->media());
        QVERIFY(bannerTells(QStringLiteral("alwa_20261107_110000_R.avi"), QStringLiteral("not a regular file")));
    }

    // Three one-minute recordings of a trip with a hard brake in the second,
    // and a drive of its own two hours later. The brake's tick is on the
    // slider while the second plays; N from the first goes to its own
    // marker, then starts the second at the brake; P from the third goes
    // back to it. A click on the map's trip plays the recording clicked from
    // the moment clicked. Export Track… from the list's menu (that row's
    // trip) and by Ctrl+E (the playing one's), cancelled, to a folder that
    // is not there. A threshold above every event shows nothing.
    void aTripWithItsMarkersMapAndExport()
    {
        const QString folder = m_dir.filePath(QStringLiteral("trip"));
        double brakeAt = 0;
        writeBrakeTrip(folder, brakeAt);
        TMKSpeedProfile later(30);
        later.hold(60);
        TMKDriveOptions laterOptions;
        laterOptions.startUtc = TMKUtcTime{2026, 11, 7, 9, 15, 0, 0};
        QVERIFY(TMKWriteDriveRecording(QDir(folder).filePath(QStringLiteral("alwa_20261107_091500_F.avi")).toStdString(),
                                       TMKDriveSimulator(TMKMunichRoute(), later, laterOptions), 0, 60000));
        QStringList paths;
        for (int i = 0; i < 3; ++i)
            paths << folder + QString::asprintf("/alwa_20261107_07%02d00_F.avi", 15 + i);
        auto alerts = std::make_shared<TMKRecordingAlertService>();
        auto target = std::make_shared<QString>();
        auto gate = std::make_shared<QSemaphore>(1000);
        TMKAppDelegate::Options options;
        options.alerts = alerts;
        options.trackFileChooser = [target](QWidget*, const QString&, const QString&) { return *target; };
        options.exportWorkerStarted = [gate] { gate->acquire(); };
        launch(folder, options);
        TMKMainWindow* w = window();
        QSignalSpy shown(&app(), &TMKAppDelegate::sliderMarkersShown);
        playRow(0);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000); // may already have come during the start
        // The route's corners are sharp turns: one in the first recording,
        // one in the third; the brake is the second's only marker.
        const std::vector<TMKEventMarker> markers = app().playingTrip()->markers();
        QCOMPARE(markers.size(), std::size_t{3});
        QCOMPARE(markers[1].kind, TMKEventKind::HardBraking);
        QCOMPARE(markers[1].recording, std::size_t{1});
        QVERIFY(markers[1].seconds > brakeAt && markers[1].seconds < brakeAt + 2.6);
        QCOMPARE(shown.last().first().toInt(), 1);
        QCOMPARE(w->sliderMarkers().size(), 1);
        QVERIFY(std::abs(w->sliderMarkers().first().position - markers[0].secondsInRecording / 60.0) < 0.01);

        // N: the turn in this recording, then the second from the brake.
        QTest::keyClick(w, Qt::Key_N);
        QVERIFY(std::abs(static_cast<double>(m_viewer.p1->time()) / 1000.0 - markers[0].secondsInRecording) < 0.05);
        QCOMPARE(sequence()->mediaIndex(), 0);
        QTRY_VERIFY(!app().session()->sync()->isMoving()); // the follow-up of the seek
        startsAfter([w] { QTest::keyClick(w, Qt::Key_N); }, 1);
        m_viewer.p1->tick(0); // the first time event: the start seeks to the marker
        const double inSecond = static_cast<double>(m_viewer.p1->time()) / 1000.0;
        QVERIFY2(std::abs(inSecond - markers[1].secondsInRecording) < 0.05, qPrintable(QString::number(inSecond)));
        QTRY_COMPARE(w->sliderMarkers().size(), 1);
        const TMKMarkerSlider::Marker tick = w->sliderMarkers().first();
        QVERIFY(!tick.eventRecording);
        QVERIFY(std::abs(tick.position - inSecond / 60.0) < 0.01);
        // Drawn where the slider shows that moment.
        TMKMarkerSlider* slider = w->positionSlider();
        const QImage picture = slider->grab().toImage();
        const int x = slider->tickX(tick.position) * picture.width() / slider->width();
        int tickPixels = 0;
        for (int y = 0; y < picture.height(); ++y)
            tickPixels += picture.pixelColor(x, y) == TMKMarkerSlider::kEventColor ? 1 : 0;
        QVERIFY2(tickPixels >= 6, qPrintable(QString::number(tickPixels)));

        // The map shows the trip; a click on its track (the map view's
        // signal) starts the third before its turn; the same trip: only the
        // highlight moves. P goes back to the brake.
        QTRY_VERIFY(!app().session()->sync()->isMoving());
        QTRY_VERIFY_WITH_TIMEOUT(!m_viewer.scripts.filter(QStringLiteral("setTrip([")).isEmpty(), 10000);
        QVERIFY(m_viewer.scripts.filter(QStringLiteral("setTrip([")).constLast().contains(paths[2]));
        app().showSideView(TMKMainWindow::SideView::Map);
        QVERIFY(app().mapWebView());
        const double beforeTurn = std::floor(markers[2].secondsInRecording * 5.0) / 10.0;
        startsAfter([&] { emit app().mapWebView()->tripPointClicked(paths[2], beforeTurn); }, 2);
        QCOMPARE(m_viewer.p1->media()->path(), paths[2]);
        m_viewer.p1->sendTimeEvent(); // the first time event: the length is known
        QCOMPARE(m_viewer.p1->time(), std::llround(beforeTurn * 1000));
        QTRY_VERIFY(m_viewer.scripts.contains(QStringLiteral("setTripHighlight(2)")));
        QTRY_VERIFY(!app().session()->sync()->isMoving());
        startsAfter([w] { QTest::keyClick(w, Qt::Key_P); }, 1);
        m_viewer.p1->tick(0);
        QVERIFY(std::abs(static_cast<double>(m_viewer.p1->time()) / 1000.0 - inSecond) < 0.05);
        // On the recording playing: a seek, no new start; a path the list
        // does not hold starts nothing.
        QSignalSpy started(sequence(), &TMKPairSequence::pairStarted);
        emit app().mapWebView()->tripPointClicked(paths[1], 40.0);
        QCOMPARE(m_viewer.p1->time(), 40000);
        QCOMPARE(sequence()->mediaIndex(), 1);
        emit app().mapWebView()->tripPointClicked(m_dir.filePath(QStringLiteral("elsewhere_F.avi")), 1.0);
        QVERIFY(!started.wait(50) && started.isEmpty());
        QCOMPARE(m_viewer.p1->time(), 40000);

        // From the list's menu, on the later drive's row (the last): its one
        // minute, one fix a second.
        QSignalSpy finished(app().trackExporter(), &TMKTrackExporter::finished);
        QTableView* table = w->tableView();
        *target = m_dir.filePath(QStringLiteral("trip.gpx"));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, rowCentre(3), table->viewport()->mapToGlobal(rowCentre(3)));
        QApplication::sendEvent(table->viewport(), &menuEvent);
        QMenu* menu = table->findChild<QMenu*>(QStringLiteral("mediaListMenu"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(table->currentIndex().row(), 3);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Export Track…"));
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), true);
        QFile gpx(*target);
        QVERIFY(gpx.open(QIODevice::ReadOnly));
        const auto points = QString::fromUtf8(gpx.readAll()).count(QStringLiteral("<trkpt "));
        QVERIFY2(points >= 55 && points <= 61, qPrintable(QString::number(points)));
        QVERIFY(message().contains(QStringLiteral("trip.gpx")));

        // Ctrl+E once the progress dialog has gone, to CSV: the playing
        // trip, one fix a second over three minutes, the shared boundary
        // seconds once.
        const auto exportTo = [&](const char* name) {
            QTRY_VERIFY(!w->findChild<QProgressDialog*>(QStringLiteral("exportProgress")));
            *target = m_dir.filePath(QLatin1String(name));
            press(QKeySequence(Qt::CTRL | Qt::Key_E));
        };
        exportTo("trip.csv");
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), true);
        QFile csv(*target);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        std::vector<TMKTrack> tracks;
        std::string error;
        QVERIFY2(TMKReadTrackCsv(csv.readAll().toStdString(), tracks, &error), error.c_str());
        QCOMPARE(tracks.size(), std::size_t{1});
        QVERIFY2(tracks.front().points.size() >= 170 && tracks.front().points.size() <= 181,
                 qPrintable(QString::number(tracks.front().points.size())));

        // Cancelled while the worker waits to read: nothing is written.
        gate->acquire(gate->available());
        exportTo("cancelled.kml");
        QProgressDialog* progress = w->findChild<QProgressDialog*>(QStringLiteral("exportProgress"));
        QVERIFY(progress);
        QTRY_VERIFY(progress->isVisible());
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        gate->release(1000);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY(finished.last().at(2).toString().isEmpty());
        QVERIFY(!QFileInfo::exists(*target));
        QVERIFY(alerts->alerts.isEmpty());

        // A folder that is not there: told, not reported written.
        const QString before = message();
        exportTo("no/such/folder/trip.gpx");
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QVERIFY(!finished.last().at(2).toString().isEmpty());
        QCOMPARE(alerts->alerts.size(), 1);
        QVERIFY(alerts->alerts.first().informative.startsWith(QStringLiteral("The track could not be written")));
        QCOMPARE(message(), before);
        QVERIFY(!QFileInfo::exists(*target));
        cleanup();

        // The threshold is the user's: 2 g hides the brake.
        QSettings(m_settings, QSettings::IniFormat).setValue(QStringLiteral("viewer/eventThresholdG"), 2.0);
        launch(folder);
        QSignalSpy shownAgain(&app(), &TMKAppDelegate::sliderMarkersShown);
        playRow(1);
        QTRY_VERIFY_WITH_TIMEOUT(!shownAgain.isEmpty(), 10000);
        QCOMPARE(shownAgain.last().first().toInt(), 0);
        QSettings(m_settings, QSettings::IniFormat).remove(QStringLiteral("viewer/eventThresholdG"));
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
        QSignalSpy started(sequence(), &TMKPairSequence::pairStarted);
        QTest::mouseDClick(window()->tableView()->viewport(), Qt::LeftButton, {}, rowCentre(0));
        QVERIFY(started.wait(20000));
        ticker.stop();
        QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("main thread stalled %1 ms").arg(longestGap)));

        // One point per record read, in file order.
        const QString track = m_viewer.scripts.filter(QStringLiteral("setTrack(")).constLast();
        QCOMPARE(track.count(QLatin1Char('[')) - 1, 1500);
        QVERIFY(track.startsWith(QStringLiteral("setTrack([[48.100000,11.500000],")));
    }

    // The folder played last is opened at the next start, and closing the
    // window stops both players. At a start the preferred languages are
    // logged, then only English is stored.
    void theLastFolderReopened()
    {
        launch(m_folderB, {}, true);
        playRow(0);
        window()->close();
        QVERIFY(!m_viewer.p1->media() && !m_viewer.p2->media());
        cleanup();
        QSettings(m_settings, QSettings::IniFormat)
            .setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("ko"), QStringLiteral("en")});
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=ko");
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=en");
        launch(QString(), {}, true);
        QCOMPARE(QSettings(m_settings, QSettings::IniFormat).value(QStringLiteral("AppleLanguages")).toStringList(),
                 QStringList{QStringLiteral("en")});
        QCOMPARE(QString::fromStdString(app().session()->mediaList()->directoryPath().value_or("")), m_folderB);
        QCOMPARE(window()->tableView()->model()->rowCount(), 3);
        QVERIFY(!child<QLabel>("openFolderHint")->isVisible());
    }
};

QTEST_MAIN(TMKMainWindowTest)
#include "TMKMainWindowTest.moc"
