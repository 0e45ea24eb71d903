// The trip of the playing recording: grouped and read on a worker, read
// once per trip, then only the highlight moves; a newer request wins. On
// the map: one setTrip per trip, then only highlights; an empty one for a
// recording no trip holds.

#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKViewerTestFiles.h"
#include "media/TMKMediaList.h"
#include "map/TMKTripMap.h"
#include "viewer/session/TMKPlayingTrip.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

namespace {

TMKDriveSimulator drive()
{
    TMKSpeedProfile profile(0);
    profile.ramp(50, 10).hold(900);
    TMKDriveOptions options;
    options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    return TMKDriveSimulator(TMKMunichRoute(), profile, options);
}

} // namespace

class TMKPlayingTripTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_morning; // three recordings of one trip, front and rear
    QString m_evening;     // a recording hours later: a trip of its own

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const TMKDriveSimulator simulated = drive();
        for (int i = 0; i < 3; ++i)
            for (const char side : {'F', 'R'}) {
                const QString path = m_dir.filePath(QString::asprintf("alwa_20261107_07%02d00_%c.avi", 15 + i, side));
                QVERIFY(TMKWriteDriveRecording(path.toStdString(), simulated, uint32_t(i) * 60000, 60000));
                if (side == 'F')
                    m_morning << path;
            }
        m_evening = m_dir.filePath(QStringLiteral("alwa_20261107_191500_F.avi"));
        QVERIFY(TMKWriteDriveRecording(m_evening.toStdString(), simulated, 0, 30000));
    }

    void theTripOfTheRecordingThenOnlyItsHighlight()
    {
        auto list = scannedList(m_dir.path());
        TMKPlayingTrip trip;
        QSignalSpy read(&trip, &TMKPlayingTrip::tripRead);
        QSignalSpy moved(&trip, &TMKPlayingTrip::highlightMoved);
        trip.showTripOf(*list, m_morning[1]);
        QVERIFY(trip.isBusy());
        QVERIFY(read.wait(10000));
        QCOMPARE(trip.recordings(), m_morning);
        QCOMPARE(trip.highlighted(), 1);
        QVERIFY(trip.points().size() > 150); // a fix a second, no duplicates at the joins
        QVERIFY(trip.points().size() <= 181);

        // On the map: one setTrip naming the recordings, the second highlighted.
        TMKTripMap map;
        QSignalSpy scripts(&map, &TMKTripMap::scriptReady);
        map.showTrip(trip.recordings(), trip.points(), trip.highlighted());
        QVERIFY(scripts.first().first().toString().startsWith(QStringLiteral("setTrip(['")));
        QVERIFY(scripts.first().first().toString().endsWith(QStringLiteral("],1)")));

        // The rear recording of the third pair is in the same trip.
        QString rear = m_morning[2];
        rear.replace(QStringLiteral("_F.avi"), QStringLiteral("_R.avi"));
        trip.showTripOf(*list, rear);
        QVERIFY(!trip.isBusy());
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.first().first().toInt(), 2);
        QCOMPARE(read.size(), 1);

        // Another trip is read anew.
        trip.showTripOf(*list, m_evening);
        QVERIFY(read.wait(10000));
        QCOMPARE(trip.recordings(), QStringList{m_evening});
        QCOMPARE(trip.highlighted(), 0);

        // A recording no trip holds.
        trip.showTripOf(*list, m_dir.filePath(QStringLiteral("nowhere_F.avi")));
        QVERIFY(read.wait(10000));
        QVERIFY(trip.recordings().isEmpty());
        QVERIFY(trip.points().empty());
        map.showTrip(trip.recordings(), trip.points(), trip.highlighted());
        QCOMPARE(scripts.last().first().toString(), QStringLiteral("setTrip([],[],-1)"));

        // A new catalogue of the same folder: the trip is read again.
        trip.showTripOf(*list, m_morning[0]);
        QVERIFY(read.wait(10000));
        auto rescanned = scannedList(m_dir.path());
        trip.showTripOf(*rescanned, m_morning[1]);
        QVERIFY(trip.isBusy());
        QVERIFY(read.wait(10000));
        QCOMPARE(trip.highlighted(), 1);

        // A request while the one before is read or delivered: the first
        // one's trip never reaches the page.
        read.clear();
        trip.showTripOf(*list, m_morning[0]);
        // Its result is posted once the worker is done, but not yet delivered.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
        trip.showTripOf(*list, m_evening);
        QVERIFY(read.wait(10000));
        QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
        QCoreApplication::processEvents();
        QCOMPARE(read.count(), 1);
        QCOMPARE(trip.recordings(), QStringList{m_evening});

        // Gone while reading: nothing is delivered to it.
        auto going = std::make_unique<TMKPlayingTrip>();
        going->showTripOf(*list, m_morning[0]);
        going.reset();
    }
};

QTEST_GUILESS_MAIN(TMKPlayingTripTest)
#include "TMKPlayingTripTest.moc"
