// What the viewer relies on from any TMKMediaPlayer, run against the
// scripted player the session tests use and against the libVLC player, so
// the double cannot drift from the real thing: a demo recording loads, plays
// with time and position moving forward, pauses with time standing still,
// steps a frame, seeks, stops.
// Built twice: TAMEK_CONTRACT_VLC chooses the player.

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKVideoView.h"

#if !TAMEK_CONTRACT_VLC
#include "TMKScriptedPlayer.h"
#endif

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace {

// The demo card's first front recording: 45 s.
const char* const kDemoRecording = "alwa_20261107_081500_F.avi";
constexpr int64_t kDemoLength = 45000;

} // namespace

class TMKPlayerContractTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    [[nodiscard]] QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcess demo;
        demo.start(QStringLiteral(TAMEK_MAKE_DEMO), {m_dir.path()});
        QVERIFY(demo.waitForFinished(120000));
        QCOMPARE(demo.exitCode(), 0);
    }

    void loadPlayPauseStepSeekStop()
    {
        TMKVideoView view;
        view.resize(320, 180);
        view.show();
#if TAMEK_CONTRACT_VLC
        const std::unique_ptr<TMKMediaPlayer> owned = TMKCreateMediaPlayer(&view);
#else
        const auto owned = std::make_unique<TMKScriptedPlayer>();
        owned->length = kDemoLength;
        QTimer clock; // time passes for the scripted player as it does for libVLC
        connect(&clock, &QTimer::timeout, owned.get(), [player = owned.get()] { player->tick(40); });
        clock.start(40);
#endif
        TMKMediaPlayer* player = owned.get();
        player->setVolume(0);
        QSignalSpy states(player, &TMKMediaPlayer::stateChanged);
        QSignalSpy times(player, &TMKMediaPlayer::timeChanged);

        player->setMedia(TMKPlayerMedia::mediaWithPath(path(kDemoRecording)));
        QVERIFY(!player->isPlaying());

        // Playing: a state event, then time and position move forward.
        states.clear();
        player->play();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Playing, 10000);
        QVERIFY(player->isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty(), 5000); // the event follows, also when the state is read at once
        QTRY_VERIFY_WITH_TIMEOUT(player->time() >= 600, 10000);
        QVERIFY(!times.isEmpty());
        QVERIFY(std::abs(player->mediaLength() - kDemoLength) <= 500);
        const float early = player->position();
        QVERIFY(early > 0.0f);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() > early, 5000);
        QVERIFY(player->remainingTime() < 0);

        // Paused: time stands still, which takes time to see.
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Paused, 5000);
        QVERIFY(!player->isPlaying());
        const int64_t pausedAt = player->time();
        const int timeEvents = static_cast<int>(times.count());
        QTest::qWait(500);
        QVERIFY2(std::abs(player->time() - pausedAt) < 100, qPrintable(QString::number(player->time() - pausedAt)));
        QVERIFY(times.count() <= timeEvents + 1);

        // A step is one frame's length on, and the player stays paused.
        const double frame = player->frameDurationMs();
        QVERIFY2(frame >= 10 && frame <= 200, qPrintable(QString::number(frame)));
        const int64_t stepFrom = player->time();
        for (int i = 0; i < 3; ++i)
            player->nextFrame();
        QTRY_VERIFY_WITH_TIMEOUT(static_cast<double>(player->time() - stepFrom) >= 2 * frame, 5000);
        QVERIFY2(static_cast<double>(player->time() - stepFrom) <= 5 * frame,
                 qPrintable(QString::number(player->time() - stepFrom)));
        QCOMPARE(player->state(), TMKMediaPlayer::Paused);

        // A seek while paused, at the end too, lands there; playing goes on
        // from there.
        player->setTime(kDemoLength);
        QTRY_VERIFY_WITH_TIMEOUT(player->position() >= 0.998f && player->state() == TMKMediaPlayer::Paused, 5000);
        player->setTime(20000);
        QCOMPARE(player->state(), TMKMediaPlayer::Paused);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(player->time() - 20000) < 1000, 5000);
        player->play();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Playing, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(player->time() > 20300, 5000);
        QVERIFY(player->time() < 30000);
        QVERIFY(std::abs(player->position() - float(player->time()) / float(kDemoLength)) < 0.05f);

        // Stopped: not playing, and a later play starts again.
        player->stop();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Stopped, 5000);
        QVERIFY(!player->isPlaying());
        player->play();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Playing, 10000);
        player->stop();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Stopped, 5000);
    }
};

QTEST_MAIN(TMKPlayerContractTest)
#include "TMKPlayerContractTest.moc"
