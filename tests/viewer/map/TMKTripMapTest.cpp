// The trip the map shows for the playing recording: grouped and read on a
// worker, one setTrip per trip, then only highlights; a newer request wins.

#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "media/TMKMediaList.h"
#include "map/TMKTripMap.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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

std::unique_ptr<TMKMediaList> scannedList(const QString& folder)
{
    auto list = TMKMediaList::mediaList();
    list->setDirectoryPath(folder.toStdString());
    list->waitUntilIdle();
    return list;
}

} // namespace

class TMKTripMapTest : public QObject {
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
        TMKTripMap map;
        QSignalSpy scripts(&map, &TMKTripMap::scriptReady);
        QSignalSpy shown(&map, &TMKTripMap::tripShown);
        map.showTripOf(*list, m_morning[1]);
        QVERIFY(map.isBusy());
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.first().at(0).toInt(), 3);
        QVERIFY(shown.first().at(1).toInt() > 150); // a fix a second, no duplicates at the joins
        QVERIFY(shown.first().at(1).toInt() <= 181);
        QCOMPARE(map.recordings(), m_morning);
        QCOMPARE(map.highlighted(), 1);
        QCOMPARE(scripts.size(), 1);
        QVERIFY(scripts.first().first().toString().startsWith(QStringLiteral("setTrip(['")));
        QVERIFY(scripts.first().first().toString().endsWith(QStringLiteral("],1)")));

        // The rear recording of the third pair is in the same trip.
        QString rear = m_morning[2];
        rear.replace(QStringLiteral("_F.avi"), QStringLiteral("_R.avi"));
        map.showTripOf(*list, rear);
        QVERIFY(!map.isBusy());
        QCOMPARE(scripts.size(), 2);
        QCOMPARE(scripts.last().first().toString(), QStringLiteral("setTripHighlight(2)"));

        // Another trip is read anew.
        map.showTripOf(*list, m_evening);
        QVERIFY(shown.wait(10000));
        QCOMPARE(map.recordings(), QStringList{m_evening});
        QCOMPARE(map.highlighted(), 0);
    }

    // A request while the one before is read or delivered: the first one's
    // trip never reaches the page.
    void aNewerRequestWins()
    {
        auto list = scannedList(m_dir.path());
        TMKTripMap map;
        QSignalSpy scripts(&map, &TMKTripMap::scriptReady);
        QSignalSpy shown(&map, &TMKTripMap::tripShown);
        map.showTripOf(*list, m_morning[0]);
        // Its result is posted meanwhile, but not yet delivered.
        QThread::msleep(1500);
        map.showTripOf(*list, m_evening);
        QVERIFY(shown.wait(10000));
        QTest::qWait(300);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(scripts.size(), 1);
        QVERIFY(scripts.first().first().toString().contains(QStringLiteral("191500")));
        QVERIFY(!scripts.first().first().toString().contains(QStringLiteral("071500")));

        // Gone while reading: nothing is delivered to it.
        auto going = std::make_unique<TMKTripMap>();
        going->showTripOf(*list, m_morning[0]);
        going.reset();
    }

    // A recording no trip holds, or a new catalogue of the same folder:
    // the map is told so, and the trip is read again.
    void unknownRecordingAndNewCatalogue()
    {
        auto list = scannedList(m_dir.path());
        TMKTripMap map;
        QSignalSpy scripts(&map, &TMKTripMap::scriptReady);
        QSignalSpy shown(&map, &TMKTripMap::tripShown);
        map.showTripOf(*list, m_dir.filePath(QStringLiteral("nowhere_F.avi")));
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.last().at(1).toInt(), 0);
        QCOMPARE(scripts.last().first().toString(), QStringLiteral("setTrip([],[],-1)"));

        map.showTripOf(*list, m_morning[0]);
        QVERIFY(shown.wait(10000));
        auto rescanned = scannedList(m_dir.path());
        map.showTripOf(*rescanned, m_morning[1]);
        QVERIFY(map.isBusy());
        QVERIFY(shown.wait(10000));
        QCOMPARE(map.highlighted(), 1);
    }
};

QTEST_GUILESS_MAIN(TMKTripMapTest)
#include "TMKTripMapTest.moc"
