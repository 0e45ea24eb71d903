// The playback session alone, with scripted players and no window: every
// rule of starting, following, advancing, swapping, speed, scale, sound and
// recovery, observed through its signals.

#include "TMKQuickTiming.h"
#include "TMKScriptedPlayer.h"
#include "TMKViewerTestFiles.h"
#include "media/TMKMediaList.h"
#include "viewer/session/TMKPlaybackSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

namespace {

// The paths the extraction was asked for, from the worker.
struct ExtractLog {
    QMutex mutex;
    QStringList paths;
};

} // namespace

class TMKPlaybackSessionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<TMKPlaybackSession> m_session;
    TMKScriptedPlayer* m_p1 = nullptr;
    TMKScriptedPlayer* m_p2 = nullptr;
    std::shared_ptr<ExtractLog> m_extracts;

    // Rows: 0 081500_F, 1 081500_R, 2 081515_F (alone), 3 081530_F, 4 081530_R.
    // `produce` gives the telemetry of the n-th extraction (from 0); empty:
    // three samples each time.
    void makeSession(const QString& folder, std::function<TMKBlackBoxData(int n)> produce = {})
    {
        auto p1 = std::make_unique<TMKScriptedPlayer>();
        auto p2 = std::make_unique<TMKScriptedPlayer>();
        m_p1 = p1.get();
        m_p2 = p2.get();
        m_extracts = std::make_shared<ExtractLog>();
        auto extracts = m_extracts;
        m_session = std::make_unique<TMKPlaybackSession>(
            std::move(p1), std::move(p2), [extracts, produce](const QString& path) {
                int n = 0;
                {
                    QMutexLocker lock(&extracts->mutex);
                    n = static_cast<int>(extracts->paths.size());
                    extracts->paths << QFileInfo(path).fileName();
                }
                if (produce)
                    return produce(n);
                TMKBlackBoxData data;
                data.m_GSensors.assign(3, TMKGSensor{0.25f, 0.0f, 0.0f});
                return data;
            },
            TMKTelemetryLoader::TrackBuilder{}, TMKQuickTiming());
        if (!folder.isEmpty())
            openFolder(folder);
    }

    void openFolder(const QString& folder)
    {
        m_session->mediaList()->setDirectoryPath(folder.toStdString());
        m_session->mediaList()->waitUntilIdle();
        QCOMPARE(m_session->mediaList()->count(), 5u);
    }

    void start(qint64 row, qint64 expected)
    {
        QSignalSpy started(m_session->sequence(), &TMKPairSequence::pairStarted);
        QVERIFY(m_session->sequence()->playAtIndex(row));
        QVERIFY(started.wait(4000));
        QCOMPARE(started.first().first().toLongLong(), expected);
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        QVERIFY(m_session->playInfo()->isPlaying());
    }

    QStringList extracted()
    {
        QMutexLocker lock(&m_extracts->mutex);
        return m_extracts->paths;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.path();
        for (const char* name : {"alwa_20261107_081500_F.avi", "alwa_20261107_081500_R.avi",
                                 "alwa_20261107_081515_F.avi", "alwa_20261107_081530_F.avi",
                                 "alwa_20261107_081530_R.avi"})
            touch(m_dir.filePath(QLatin1String(name)));
    }

    void cleanup()
    {
        m_session.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // An empty catalogue refuses. The players start only after the
    // telemetry was read and the settling second passed; a second request
    // meanwhile is refused.
    void startRearRowAndLoneRow()
    {
        makeSession(QString());
        QSignalSpy selected(m_session->sequence(), &TMKPairSequence::rowSelected);
        QVERIFY(!m_session->sequence()->playAtIndex(0));
        QCOMPARE(m_session->sequence()->mediaIndex(), -1);
        QCOMPARE(selected.count(), 0);
        openFolder(m_folder);
        QSignalSpy extractedSpy(m_session->telemetry(), &TMKTelemetryLoader::telemetryChanged);
        QSignalSpy started(m_session->sequence(), &TMKPairSequence::pairStarted);
        QSignalSpy reset(m_session->sequence(), &TMKPairSequence::controlsReset);
        QSignalSpy partner(m_session->loader(), &TMKPairLoader::partnerLoaded);
        QVERIFY(m_session->sequence()->playAtIndex(-5));
        QCOMPARE(m_session->sequence()->mediaIndex(), 0);
        QCOMPARE(selected.value(0).value(0).toLongLong(), 0);
        QCOMPARE(partner.value(0).value(0).toBool(), true);
        QVERIFY(m_session->loading()->isShown());
        QVERIFY(!m_session->sequence()->playAtIndex(3)); // a start is under way
        QVERIFY(extractedSpy.wait(2000));
        QCOMPARE(m_session->telemetry()->data().m_GSensors.size(), 3u);
        QCOMPARE(m_p1->plays, 0); // still settling
        QVERIFY(started.wait(1000));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(m_p1->plays, 1);
        QCOMPARE(m_p2->plays, 1);
        QVERIFY(m_session->loader()->hasPartnerRow());
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        // The first time event hides the loading indicator.
        m_p1->tick();
        QVERIFY(!m_session->loading()->isShown());
        QCOMPARE(m_session->playInfo()->position(), static_cast<double>(m_p1->position()));

        // A rear row plays large with its front in the small area; the
        // telemetry still comes from the front recording. A lone front plays
        // alone.
        QSignalSpy logos(m_session->loader(), &TMKPairLoader::logosChanged);
        start(99, 4); // clamped to the last row
        QCOMPARE(fileOf(m_p1), QStringLiteral("alwa_20261107_081530_R.avi"));
        QCOMPARE(fileOf(m_p2), QStringLiteral("alwa_20261107_081530_F.avi"));
        QCOMPARE(logos.last().value(0).toString(), QStringLiteral("v1_rear_logo"));
        QCOMPARE(logos.last().value(1).toString(), QStringLiteral("v2_front_logo"));
        QVERIFY(extracted().contains(QStringLiteral("alwa_20261107_081530_F.avi")));
        QVERIFY(!extracted().contains(QStringLiteral("alwa_20261107_081530_R.avi")));

        partner.clear();
        m_p1->tick(60000); // to the end: paused there
        QTRY_COMPARE(m_p1->state(), TMKMediaPlayer::Paused);
        m_session->sequence()->changeAndPlay(2);
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        QCOMPARE(fileOf(m_p1), QStringLiteral("alwa_20261107_081515_F.avi"));
        QVERIFY(!m_p2->media());
        QCOMPARE(partner.last().value(0).toBool(), false);
        QVERIFY(!m_session->loader()->hasPartnerRow());
        QVERIFY(!m_session->sound()->isToggleVisible());
    }

    // Each pair resets the size; the speed steps hold both players to one
    // rate. A seek puts both players at the slider; 0.3 s later the partner
    // takes the main player's position. Jumps go 10 s, or to the ends. A swap
    // exchanges the cameras and restores their place.
    void speedSeeksJumpsAndSwap()
    {
        makeSession(m_folder);
        QSignalSpy steps(m_session->sequence(), &TMKPairSequence::scaleStepRequested);
        m_session->sequence()->sizeUp(); // nothing plays
        QCOMPARE(steps.count(), 0);
        start(0, 0);
        QCOMPARE(steps.count(), 1);
        QCOMPARE(steps.first().first().toInt(), 0); // each pair resets the size
        // 1x and 2x only; Backspace goes back to 1x.
        using Step = void (TMKPairSync::*)();
        const std::pair<Step, double> speeds[] = {
            {&TMKPairSync::decreaseSpeed, 1.0}, {&TMKPairSync::increaseSpeed, 2.0}, {&TMKPairSync::increaseSpeed, 2.0},
            {&TMKPairSync::decreaseSpeed, 1.0}, {&TMKPairSync::increaseSpeed, 2.0}, {&TMKPairSync::resetSpeed, 1.0},
        };
        for (const auto& [step, speed] : speeds) {
            (m_session->sync()->*step)();
            QCOMPARE(m_session->playInfo()->speed(), speed);
            QCOMPARE(m_p1->rate(), static_cast<float>(speed));
            QCOMPARE(m_p2->rate(), static_cast<float>(speed));
        }

        m_session->sequence()->setVideoAreaHeight(540);
        QCOMPARE(m_session->playInfo()->scale(), 0.5);

        m_session->sync()->seekTo(0.5);
        QVERIFY(m_session->sync()->isMoving());
        QCOMPARE(m_p1->time(), 30000);
        QCOMPARE(m_p2->time(), 30000);
        m_p1->tick(1000); // the main player runs ahead; the time event shows the seek target
        QCOMPARE(m_session->playInfo()->position(), 0.5);
        const auto followUps = m_p2->positionsSet.size();
        QTRY_VERIFY(!m_session->sync()->isMoving());
        QCOMPARE(m_p2->positionsSet.size(), followUps + 1);
        QCOMPARE(m_p2->time(), m_p1->time());
        m_session->sync()->seekTo(0.5); // no move under way: a new seek
        QVERIFY(m_session->sync()->isMoving());
        QTRY_VERIFY(!m_session->sync()->isMoving());

        // A jump is followed up the same way; a press during the follow-up
        // counts from where the jump went.
        m_p1->setTime(20000);
        m_session->sync()->jumpForward();
        m_p1->tick(200);
        m_session->sync()->jumpForward();
        QCOMPARE(m_p1->time(), 40000);
        QTRY_VERIFY(!m_session->sync()->isMoving());
        QCOMPARE(m_p2->time(), 40000);
        // Under 10 s left or played: the end or the start.
        for (const auto& [from, forward, to] : {std::tuple{55000, true, 60000}, {25000, false, 15000}, {9000, false, 0}}) {
            m_p1->setTime(from);
            forward ? m_session->sync()->jumpForward() : m_session->sync()->jumpBackward();
            QCOMPARE(m_p1->timesSet.back(), to);
            QTRY_VERIFY(!m_session->sync()->isMoving());
            QCOMPARE(m_p2->time(), to);
        }

        m_p1->setTime(24000);
        m_p2->setTime(24000);
        QSignalSpy swapped(m_session->sync(), &TMKPairSync::swapStarted);
        QSignalSpy logos(m_session->loader(), &TMKPairLoader::logosChanged);
        m_session->sync()->swap();
        QCOMPARE(swapped.count(), 1);
        QVERIFY(m_session->sync()->isSwapping());
        m_session->sync()->swap();
        QCOMPARE(swapped.count(), 1); // a second within 1.7 s does nothing
        QCOMPARE(fileOf(m_p1), QStringLiteral("alwa_20261107_081500_R.avi"));
        QCOMPARE(fileOf(m_p2), QStringLiteral("alwa_20261107_081500_F.avi"));
        QCOMPARE(logos.last().value(0).toString(), QStringLiteral("v1_rear_logo"));
        QCOMPARE(logos.last().value(1).toString(), QStringLiteral("v2_front_logo"));
        QVERIFY(m_p1->isMuted() && m_p2->isMuted());
        QTRY_VERIFY(!m_session->sync()->isMoving());
        QCOMPARE(m_p1->time(), 24000);
        QCOMPARE(m_p2->time(), 24000);
        QTRY_VERIFY(!m_session->sync()->isSwapping());
        // The front camera is still heard, now from the small area.
        QVERIFY(m_p1->isMuted());
        QVERIFY(!m_p2->isMuted());
        QCOMPARE(m_session->sequence()->mediaIndex(), 0);

        m_p2->pause();
        QTRY_VERIFY(!m_p2->isPlaying());
        m_session->sync()->swap();
        QCOMPARE(swapped.count(), 1); // one paused: no swap
    }

    // The sound choice alone: sound comes from the first recording that has
    // it, the toggle picks a camera, the volume stays within 0..200; the
    // user's mute holds over the automatic choice, the toggle and volume
    // steps until it is lifted; during a swap nothing is heard.
    void soundChoice()
    {
        TMKScriptedPlayer front;
        TMKScriptedPlayer rear;
        TMKPlayInfo info;
        TMKSoundChoice sound({&front, &rear}, &info);
        front.setMedia(TMKPlayerMedia::mediaWithPath(m_dir.filePath(QStringLiteral("alwa_20261107_081500_F.avi"))));
        rear.setMedia(TMKPlayerMedia::mediaWithPath(m_dir.filePath(QStringLiteral("alwa_20261107_081500_R.avi"))));
        front.withSound = false;
        sound.chooseAuto();
        QCOMPARE(info.audioMediaDirection(), 1);
        QVERIFY(front.isMuted() && !rear.isMuted());
        QCOMPARE(rear.volume(), 70);
        QCOMPARE(sound.toggleState(), 1);
        QVERIFY(sound.isToggleVisible());

        sound.choose(0);
        QVERIFY(!front.isMuted() && rear.isMuted()); // the front player, sound track or not
        sound.setVolume(195);
        sound.volumeUp();
        QCOMPARE(sound.volume(), 200);
        QCOMPARE(front.volume(), 200);
        sound.setVolume(5);
        sound.volumeDown();
        QCOMPARE(sound.volume(), 0);
        sound.setVolume(70);

        QSignalSpy muted(&sound, &TMKSoundChoice::mutedChanged);
        sound.toggleMute();
        QCOMPARE(muted.last().first().toBool(), true);
        sound.volumeUp();
        sound.chooseAuto();
        sound.choose(1);
        QVERIFY(front.isMuted() && rear.isMuted());
        sound.toggleMute();
        QVERIFY(front.isMuted() && !rear.isMuted()); // the rear, chosen meanwhile
        QCOMPARE(rear.volume(), 80);
        sound.setSilenced(true);
        QVERIFY(front.isMuted() && rear.isMuted());
        sound.setSilenced(false);
        QVERIFY(!rear.isMuted());

        rear.withSound = false;
        sound.chooseAuto();
        QCOMPARE(info.audioMediaDirection(), 2);
        QVERIFY(front.isMuted() && rear.isMuted());
        QVERIFY(!sound.isToggleVisible());
    }

    // Paused, a frame step moves both players by one frame from the main
    // player's frame, so a partner that drifted a little is on the same
    // frame afterwards; playing, nothing steps. Paused by the user the end
    // watch rests; a seek to the end while paused wakes it, and the next
    // pair follows as it does when playing. At the end of the last pair,
    // with the slider moved back, play resumes there (what else the last
    // pair does is the libVLC smoke test's). Closing (a new folder) drops a
    // start under way.
    void frameStepSeekToTheEndWhilePausedThenClose()
    {
        makeSession(m_folder);
        start(0, 0);
        m_p1->tick(2000);
        m_p2->tick(1930);
        m_session->sync()->stepFrame(1);
        QCOMPARE(m_p1->nextFrames, 0);
        QCOMPARE(m_p1->time(), 2000);

        m_session->sequence()->playOrPause();
        QTRY_VERIFY(!m_session->playInfo()->isPlaying());
        QSignalSpy slider(m_session->playInfo(), &TMKPlayInfo::positionChanged);
        m_session->sync()->stepFrame(1);
        QCOMPARE(m_p1->time(), 2100);
        QCOMPARE(m_p2->time(), 2100);
        m_session->sync()->stepFrame(1);
        m_session->sync()->stepFrame(-1);
        m_session->sync()->stepFrame(-1);
        m_session->sync()->stepFrame(-1);
        QCOMPARE(m_p1->time(), 1900);
        QCOMPARE(m_p2->time(), 1900);
        QCOMPARE(slider.count(), 5);
        QCOMPARE(slider.last().first().toDouble(), 1900.0 / 60000.0);
        // Still paused, both.
        QCOMPARE(m_p1->state(), TMKMediaPlayer::Paused);
        QVERIFY(!m_session->playInfo()->isPlaying());

        // A partner on the same frame is stepped, not re-seeked.
        m_p2->setTime(1930);
        m_p2->timesSet.clear();
        m_session->sync()->stepFrame(1);
        QVERIFY(m_p2->timesSet.empty());
        QCOMPARE(m_p2->nextFrames, 3);

        // Alone, the main player steps by itself.
        m_session->sequence()->playAtIndex(2);
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        QVERIFY(!m_p2->media());
        m_session->sequence()->playOrPause();
        QTRY_COMPARE(m_p1->state(), TMKMediaPlayer::Paused);
        m_session->sync()->stepFrame(1);
        QCOMPARE(m_p1->time(), 100);

        QSignalSpy started(m_session->sequence(), &TMKPairSequence::pairStarted);
        m_session->sync()->seekTo(1.0);
        QCOMPARE(m_session->playInfo()->position(), 1.0);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 3);
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        m_p1->tick(60000);
        m_p2->tick(60000);
        QTRY_VERIFY(!m_session->playInfo()->isPlaying());
        m_session->playInfo()->setPosition(0.25); // the slider moved back
        m_session->sequence()->playOrPause();
        QCOMPARE(m_p1->timesSet.back(), 15000);
        QCOMPARE(m_p2->timesSet.back(), 15000);
        QTRY_VERIFY(m_p1->isPlaying() && m_p2->isPlaying());

        started.clear();
        QVERIFY(m_session->sequence()->playAtIndex(0));
        m_session->sequence()->closeMedia();
        QVERIFY(!started.wait(200)); // past the extraction and the settling pause
        QVERIFY(!m_p1->media());
        QVERIFY(!m_session->sequence()->waitingForPlayStart());
    }

    // The loading progress ends by itself after its time and says so.
    void loadingTimesOut()
    {
        TMKLoadingProgress loading;
        QSignalSpy progress(&loading, &TMKLoadingProgress::progressChanged);
        QSignalSpy timedOut(&loading, &TMKLoadingProgress::timedOut);
        loading.setTickMs(10);
        loading.start(0.03); // three ticks
        QVERIFY(timedOut.wait(2000));
        QCOMPARE(progress.count(), 3);
        QVERIFY(std::abs(progress.last().first().toDouble() - 100.0) < 1e-9);
        QVERIFY(!loading.isShown());
        loading.start(0.03);
        loading.hide();
        QVERIFY(!timedOut.wait(100)); // hidden in time: no timeout, its ticks dropped
        QCOMPARE(progress.count(), 3);
    }

    // While a pair plays the next pair's telemetry is read, once, and its
    // start takes that instead of reading the card again.
    void nextPairIsReadAheadOnceAndUsed()
    {
        const auto samples = [](int n) {
            TMKBlackBoxData data;
            data.m_GSensors.assign(static_cast<std::size_t>(10 + n), TMKGSensor{0.5f, 0.0f, 0.0f});
            return data;
        };
        makeSession(m_folder, samples);
        start(0, 0); // a pair: row 2 is next
        QTRY_COMPARE(m_session->telemetry()->readAheadCache().readsAhead(), 1u);
        QCOMPARE(extracted(), (QStringList{QStringLiteral("alwa_20261107_081500_F.avi"),
                                           QStringLiteral("alwa_20261107_081515_F.avi")}));
        QCOMPARE(m_session->telemetry()->data().m_GSensors.size(), 10u);

        QSignalSpy started(m_session->sequence(), &TMKPairSequence::pairStarted);
        QSignalSpy extractedSpy(m_session->telemetry(), &TMKTelemetryLoader::telemetryChanged);
        m_p1->tick(60000);
        m_p2->tick(60000);
        QVERIFY(extractedSpy.wait(4000));
        // The read-ahead, not a new read.
        QCOMPARE(m_session->telemetry()->data().m_GSensors.size(), 11u);
        QCOMPARE(m_session->telemetry()->readAheadCache().readsTaken(), 1u);
        QVERIFY(started.wait(3000));
        QCOMPARE(started.first().first().toLongLong(), 2);
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        QCOMPARE(extracted().count(QStringLiteral("alwa_20261107_081515_F.avi")), 1);
        // Row 2 plays alone: row 3's pair is read ahead next.
        QTRY_COMPARE(m_session->telemetry()->readAheadCache().readsAhead(), 2u);
        QCOMPARE(extracted().last(), QStringLiteral("alwa_20261107_081530_F.avi"));

        // Another row than the one read ahead is read as ever.
        m_session->sequence()->stopPlay();
        QSignalSpy again(m_session->telemetry(), &TMKTelemetryLoader::telemetryChanged);
        QVERIFY(m_session->sequence()->playAtIndex(0));
        QVERIFY(again.wait(4000));
        QCOMPARE(m_session->telemetry()->data().m_GSensors.size(), 13u);
        QCOMPARE(m_session->telemetry()->readAheadCache().readsTaken(), 1u);

        // What was read ahead is forgotten with the rows: the same names may
        // be other files now.
        QTRY_VERIFY(!m_session->sequence()->waitingForPlayStart());
        QTRY_COMPARE(m_session->telemetry()->readAheadCache().readsAhead(), 3u);
        m_session->sequence()->stopPlay();
        m_session->sequence()->forgetMediaIndex();
        start(2, 2);
        QCOMPARE(m_session->telemetry()->readAheadCache().readsTaken(), 1u);
        QCOMPARE(extracted().count(QStringLiteral("alwa_20261107_081515_F.avi")), 3);
    }

    // Each session thins out its own position updates: one that has seen
    // time events does not shift the updates of the next. A session gone
    // while its extraction runs is never touched by the result.
    void positionUpdatesPerSessionAndASessionGoneDuringExtraction()
    {
        makeSession(m_folder);
        start(0, 0);
        m_p1->tick(6000);
        QVERIFY(std::abs(m_session->playInfo()->position() - 0.1) < 1e-6);
        m_p1->tick(6000);
        QVERIFY(std::abs(m_session->playInfo()->position() - 0.1) < 1e-6); // thinned out
        auto first = std::move(m_session);
        makeSession(m_folder);
        start(0, 0);
        m_p1->tick(30000);
        QVERIFY(std::abs(m_session->playInfo()->position() - 0.5) < 1e-6); // its first event updates
        m_p1->tick(6000);
        m_p1->tick(6000);
        QVERIFY(std::abs(m_session->playInfo()->position() - 0.5) < 1e-6);
        m_p1->tick(6000);
        QVERIFY(std::abs(m_session->playInfo()->position() - 0.8) < 1e-6);

        makeSession(m_folder);
        QVERIFY(m_session->sequence()->playAtIndex(0));
        m_session.reset();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(3000));
        QTest::qWait(50);
        QCOMPARE(extracted().size(), 1);
    }
};

QTEST_MAIN(TMKPlaybackSessionTest)
#include "TMKPlaybackSessionTest.moc"
