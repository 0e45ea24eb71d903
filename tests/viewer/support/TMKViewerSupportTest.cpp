// The string table against the code, the recording list model and its
// marks of what cannot be played (found in the background, never a new
// folder's rows marked with the old one's results), the named images, the
// telemetry readouts, the player's own small rules (time text, camera) and a
// normal run's quiet terminal.

#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKFileText.h"
#include "TMKViewerTestFiles.h"
#include "media/TMKMediaList.h"
#include "strings/TMKStrings.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKMediaListModel.h"
#include "widgets/TMKImages.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstring>
#include <memory>

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

int rowOf(const TMKMediaListModel& model, const QString& fileName)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, TMKMediaListModel::FileColumn).data().toString() == fileName)
            return row;
    return -1;
}

// A whole recording of 10 s of a drive, made once.
QByteArray goodRecording()
{
    static const QByteArray bytes = [] {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("good.avi"));
        TMKSpeedProfile profile(0);
        profile.ramp(50, 10).hold(600);
        TMKDriveOptions options;
        options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), profile, options);
        return TMKWriteDriveRecording(path.toStdString(), drive, 0, 10000) ? TMKFileBytes(path) : QByteArray();
    }();
    return bytes;
}

} // namespace

class TMKViewerSupportTest : public QObject {
    Q_OBJECT

private slots:
    // Every string key the code names has its text. Keys are found as the
    // literals of the table's own prefixes, so keys chosen at run time
    // (a ternary, a table of keys) are checked too.
    void everyStringKeyInTheCodeHasText()
    {
        const auto& table = TMKStringTable();
        QSet<QString> prefixes;
        for (auto it = table.begin(); it != table.end(); ++it) {
            QVERIFY2(!it.value().trimmed().isEmpty(), qPrintable(it.key()));
            prefixes.insert(it.key().section(QLatin1Char('.'), 0, 0));
        }
        const QRegularExpression literal(QStringLiteral("\"([a-z]+)\\.([a-z0-9_.]+)\""));
        const QRegularExpression call(QStringLiteral("TMKLocalizedString\\(\"([^\"]+)\"\\)"));
        QStringList missing;
        int found = 0;
        QDirIterator files(QStringLiteral(TAMEK_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                           QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            for (const auto& match : literal.globalMatch(text)) {
                if (!prefixes.contains(match.captured(1)))
                    continue;
                const QString key = match.captured(1) + QLatin1Char('.') + match.captured(2);
                ++found;
                if (!table.contains(key))
                    missing << QStringLiteral("%1 in %2").arg(key, file.fileName());
            }
            for (const auto& match : call.globalMatch(text)) {
                if (!table.contains(match.captured(1)))
                    missing << QStringLiteral("%1 in %2").arg(match.captured(1), file.fileName());
            }
        }
        QVERIFY(found > 20);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
        // An unknown key shows itself rather than nothing.
        QCOMPARE(TMKLocalizedString("no.such_key"), QStringLiteral("no.such_key"));
    }

    void imagesTheWindowNamesExist()
    {
        QStringList names{QStringLiteral("record_p.png"), QStringLiteral("record_n.png"),
                          QStringLiteral("information_p.png"), QStringLiteral("information_n.png"),
                          QStringLiteral("bottom-background"), QStringLiteral("v1"), QStringLiteral("v2")};
        for (const char* camera : {"front", "rear"}) {
            names << QStringLiteral("v1_%1_logo").arg(QLatin1String(camera))
                  << QStringLiteral("v2_%1_logo").arg(QLatin1String(camera));
            for (const char* mode : {"alwa", "motion", "event"})
                names << QStringLiteral("car_%1_%2").arg(QLatin1String(camera), QLatin1String(mode));
        }
        for (const QString& name : names) {
            const QImage image = TMKImageNamed(name, QSize(32, 32));
            QImage blank(image.size(), QImage::Format_ARGB32);
            blank.fill(Qt::transparent);
            // Something is drawn: not every pixel transparent.
            QVERIFY2(!image.isNull() && image.convertToFormat(QImage::Format_ARGB32) != blank, qPrintable(name));
        }
        QVERIFY(TMKImageNamed(QStringLiteral("no_such_image"), QSize(32, 32)).isNull());
        // The two cameras' icons differ.
        QVERIFY(TMKImageNamed(QStringLiteral("car_front_alwa"), QSize(32, 32))
                != TMKImageNamed(QStringLiteral("car_rear_alwa"), QSize(32, 32)));
    }

    // Map position, speed (as stored), HDOP and satellites at a position;
    // without GPS records the page hears so and HDOP and satellites still
    // follow. The hemisphere comes from the record itself, so a drive south
    // and west is never shown north or east, from the first update on; a
    // record without a position leaves the marker alone.
    //
    // G-sensor: X/Y/Z of the sample there; without samples nothing changes.
    void readoutsAtAPosition()
    {
        TMKTelemetryDisplay display;
        TMKBlackBoxData samples;
        for (int i = 0; i < 600; ++i)
            samples.m_GSensors.emplace_back(i == 300 ? 0.5f : 0.0f, i == 300 ? -1.25f : 0.0f, i == 599 ? 1.0f : 0.0f);
        const TMKTelemetryReadout middle = display.gsensorReadout(samples, 0.5);
        QCOMPARE(middle.x.value_or(QString()), QStringLiteral("X=+0.50"));
        QCOMPARE(middle.y.value_or(QString()), QStringLiteral("Y=-1.25"));
        QCOMPARE(middle.z.value_or(QString()), QStringLiteral("Z=0.00"));
        QCOMPARE(display.gsensorReadout(samples, 1.0).z.value_or(QString()), QStringLiteral("Z=+1.00"));
        QVERIFY(!display.gsensorReadout(TMKBlackBoxData{}, 0.2).z);

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

    void graphGeometry()
    {
        const QSizeF bounds(440, 130);
        QCOMPARE(GraphView::gridLineHeights(bounds), (std::vector<double>{8, 36.5, 65, 93.5, 122}));
        QCOMPARE(GraphView::timeBar(bounds, 0.5), QRectF(220, 8, 2, 114));

        // 440 wide: up to 4001 points, 0.1 apart, +-2 g over the area.
        std::vector<TMKGSensor> samples;
        for (int i = 0; i < 600; ++i)
            samples.emplace_back(1.0f, -2.0f, static_cast<float>(i) / 600.0f);
        const auto x = GraphView::curvePoints(samples, 0, bounds);
        QCOMPARE(x.size(), 4001u);
        QCOMPARE(x.front(), QPointF(21, 65 + 114.0 / 4));
        QVERIFY(std::abs(x[1].x() - x[0].x() - 0.1) < 1e-9);
        QVERIFY(std::abs(x.back().x() - 421.0) < 1e-6);
        QCOMPARE(GraphView::curvePoints(samples, 1, bounds).front().y(), 8.0); // -2 g on the bottom line
        // The z curve walks the samples in order: its middle point shows the middle sample.
        const auto z = GraphView::curvePoints(samples, 2, bounds);
        QVERIFY(std::abs(z[2000].y() - (65 + 0.5 * 114.0 / 4)) < 0.1);
        QVERIFY(GraphView::curvePoints({}, 0, bounds).empty());

        // Drawn: the time bar is white at its place, the grid grey.
        GraphView view;
        view.resize(440, 130);
        view.setGraphData(samples);
        view.updateTimePosition(0.5);
        const QImage image = view.grab().toImage();
        QCOMPARE(image.pixelColor(221, 130 - 40).rgb(), QColor(Qt::white).rgb());
        const QColor grid = image.pixelColor(300, 130 - 122); // top grid line, +2 g
        QVERIFY(grid.red() > 150 && std::abs(grid.red() - grid.blue()) < 30);
    }

    void timeTextAndCamera()
    {
        QCOMPARE(TMKMediaPlayer::timeString(0), QStringLiteral("00:00"));
        QCOMPARE(TMKMediaPlayer::timeString(59999), QStringLiteral("00:59"));
        QCOMPARE(TMKMediaPlayer::timeString(-61000), QStringLiteral("01:01"));
        QCOMPARE(TMKMediaPlayer::timeString(-400), QStringLiteral("00:00"));
        QCOMPARE(TMKMediaPlayer::timeString(3600000 + 62000), QStringLiteral("1:01:02"));
        // A folder named like a rear recording does not make its files rear.
        const auto inFolder = TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/a_R.avi/b.avi"));
        QVERIFY(!inFolder.isRearMedia());
        // Names with spaces and '#' stay one local file.
        const auto odd = TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/my drive #2_R.avi"));
        QVERIFY(odd.url().isLocalFile());
        QCOMPARE(odd.url().toLocalFile(), QStringLiteral("/card/my drive #2_R.avi"));
        QVERIFY(odd.isRearMedia());
    }

    // A card with a good pair and one recording cut short: that one is
    // greyed, carries the warning icon and tells its reason in the tooltip.
    // (What each kind of damage is called is the media check's own test.)
    // The cells follow the names of the recordings, and the rows change only
    // at a reload.
    void damagedRecordingsAreMarkedAndOldResultsNeverMarkNewRows()
    {
        const QByteArray recording = goodRecording();
        QVERIFY(recording.size() > 20000);
        QTemporaryDir card;
        const QString d = card.path() + QLatin1Char('/');
        QVERIFY(TMKWriteFileBytes(d + "alwa_20261107_071500_F.avi", recording));
        QVERIFY(TMKWriteFileBytes(d + "alwa_20261107_071500_R.avi", recording));
        QVERIFY(TMKWriteFileBytes(d + "alwa_20261107_071600_F.avi", recording.left(recording.size() / 2)));
        touch(d + "motion_20261107_081500_R.avi");
        touch(d + "event_20261107_081530_F.avi");
        touch(d + "clipxx_recording0001_F.avi"); // no date in the name

        auto list = scannedList(card.path());
        TMKMediaListModel model(list.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy checked(&model, &TMKMediaListModel::healthChecked);
        QVERIFY(model.isChecking());
        QVERIFY(checked.wait(10000));
        QVERIFY(!model.isChecking());

        const int good = rowOf(model, QStringLiteral("alwa_20261107_071500_F.avi"));
        const int cut = rowOf(model, QStringLiteral("alwa_20261107_071600_F.avi"));
        QVERIFY(good >= 0 && cut >= 0);

        QCOMPARE(model.problem(good), TMKMediaProblem::None);
        QCOMPARE(model.index(good, 0).data(Qt::ToolTipRole).toString(), d + "alwa_20261107_071500_F.avi");
        QVERIFY(!model.index(good, 1).data(Qt::ForegroundRole).isValid());

        QCOMPARE(model.problem(cut), TMKMediaProblem::CutShort);
        QCOMPARE(model.index(cut, TMKMediaListModel::ModeColumn).data(TMKMediaListModel::ProblemRole).toInt(),
                 int(TMKMediaProblem::CutShort));
        const QString reason = model.problemText(cut);
        QVERIFY(!reason.isEmpty());
        for (int column = 0; column < 4; ++column) {
            QVERIFY(model.index(cut, column).data(Qt::ToolTipRole).toString().contains(reason));
            QVERIFY(model.index(cut, column).data(Qt::ForegroundRole).isValid());
        }
        // The mode column shows a warning instead of the camera's icon.
        const QIcon warning = model.index(cut, 0).data(Qt::DecorationRole).value<QIcon>();
        const QIcon camera = model.index(good, 0).data(Qt::DecorationRole).value<QIcon>();
        QVERIFY(!warning.isNull() && !camera.isNull());
        QVERIFY(warning.pixmap(16).toImage() != camera.pixmap(16).toImage());

        // What the list tells is what the player tells when the row plays.
        QCOMPARE(TMKRecordingFaultText(TMKCheckRecording(d + "alwa_20261107_071600_F.avi")), reason);

        // The cells follow the recording's name.
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.columnCount(), 4);
        const int rearMotion = rowOf(model, QStringLiteral("motion_20261107_081500_R.avi"));
        const int event = rowOf(model, QStringLiteral("event_20261107_081530_F.avi"));
        const int undated = rowOf(model, QStringLiteral("clipxx_recording0001_F.avi"));
        QVERIFY(rearMotion >= 0 && event >= 0 && undated >= 0);

        QCOMPARE(model.iconName(rearMotion), QStringLiteral("car_rear_motion"));
        QCOMPARE(model.index(rearMotion, 0).data().toString(), TMKLocalizedString("media.motion"));
        QVERIFY(!model.index(rearMotion, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(model.index(rearMotion, 1).data().toString(), QStringLiteral("2026-11-07"));
        QCOMPARE(model.index(rearMotion, 2).data().toString(), QStringLiteral("08:15:00"));
        QCOMPARE(model.iconName(event), QStringLiteral("car_front_event"));
        // No year: no date, no time.
        QCOMPARE(model.index(undated, 1).data().toString(), QString());
        QCOMPARE(model.index(undated, 2).data().toString(), QString());
        // Rows are never editable and take no drops.
        QVERIFY(!(model.flags(model.index(0, 0)) & (Qt::ItemIsEditable | Qt::ItemIsDropEnabled)));

        // The row count changes only at a reload, even when the catalogue
        // publishes a new scan behind the view.
        touch(d + "alwa_20261107_081600_F.avi");
        list->setDirectoryPath(card.path().toStdString());
        list->waitUntilIdle();
        QCOMPARE(model.rowCount(), 6);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.reload();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 7);

        QTemporaryDir empty;
        list->setDirectoryPath(empty.path().toStdString());
        list->waitUntilIdle();
        model.reload();
        QCOMPARE(model.rowCount(), 0);

        // A reload while the check of the old rows is under way: the old
        // results, posted but not yet delivered, must not mark the new rows;
        // nor may those of a model destroyed mid-check reach anything.
        QTemporaryDir damaged;
        QTemporaryDir sound;
        const QByteArray head = recording.left(5000);
        for (int i = 0; i < 200; ++i) {
            const QString name = QString::asprintf("alwa_20261107_07%02d%02d_F.avi", i / 60, i % 60);
            QVERIFY(TMKWriteFileBytes(damaged.filePath(name), head));
            if (i < 20)
                QVERIFY(TMKWriteFileBytes(sound.filePath(name), recording));
        }
        list->setDirectoryPath(damaged.path().toStdString());
        list->waitUntilIdle();
        model.reload();
        // The worker posts its first batches meanwhile; none is delivered.
        QThread::msleep(300);

        list->setDirectoryPath(sound.path().toStdString());
        list->waitUntilIdle();
        checked.clear();
        model.reload();
        QCOMPARE(model.rowCount(), 20);
        QVERIFY(checked.wait(10000));
        QTest::qWait(200); // anything the old check might still deliver
        QCOMPARE(checked.count(), 1);
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.problem(row), TMKMediaProblem::None);
            QVERIFY(!model.index(row, 0).data(Qt::ToolTipRole).toString().contains(QLatin1Char('\n')));
        }

        // And back: the damaged card is marked in full again.
        list->setDirectoryPath(damaged.path().toStdString());
        list->waitUntilIdle();
        model.reload();
        QVERIFY(checked.wait(10000));
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.problem(row), TMKMediaProblem::CutShort);

        // A model that goes while its check still runs: nothing is
        // delivered to it.
        auto gone = std::make_unique<TMKMediaListModel>(list.get());
        QVERIFY(gone->isChecking());
        gone.reset();
        QTest::qWait(100); // a result posted to it would be delivered here
    }

    // The viewer as a user starts it, playing a pair: the terminal gets
    // only what the user can act on, no tracing and no media library log.
    void aNormalRunKeepsTheTerminalQuiet()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is needed to make the test recordings");
        QTemporaryDir dir;
        for (const char* side : {"F", "R"}) {
            QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                                       QStringList{"-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x180:rate=10",
                                                   "-t", "4", "-c:v", "mjpeg",
                                                   dir.filePath(QStringLiteral("alwa_20261107_081500_%1.avi").arg(side))}),
                     0);
        }
        QProcess app;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), dir.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        // A desktop session has one; without it Qt itself warns.
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // made for the owner alone
        environment.insert(QStringLiteral("TAMEK_REPORT_FIRST_FRAME"), QStringLiteral("1"));
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(TAMEK_APP), {QStringLiteral("--play"), dir.path()});
        QVERIFY(app.waitForStarted());
        QByteArray errors;
        QElapsedTimer timer;
        timer.start();
        // Past the first frame and a couple of seconds of play and seeks' logs.
        while (timer.elapsed() < 15000 && !errors.contains("tamek: first frame\n")) {
            app.waitForReadyRead(200);
            errors += app.readAllStandardError();
        }
        QTest::qWait(2500);
        app.terminate();
        QVERIFY(app.waitForFinished(5000));
        errors += app.readAllStandardError();
        QVERIFY2(errors.contains("tamek: first frame\n"), errors.constData());
        QStringList lines = QString::fromLocal8Bit(errors).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.removeAll(QStringLiteral("tamek: first frame"));
        lines.removeAll(QStringLiteral("tamek: the default sound output cannot be opened; playing without sound"));
        // The offscreen test platform's own notes are not the viewer's.
        lines.removeIf([](const QString& line) { return line.contains(QStringLiteral("propagateSizeHints")); });
        QVERIFY2(lines.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TMKViewerSupportTest)
#include "TMKViewerSupportTest.moc"
