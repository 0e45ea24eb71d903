// The whole viewer with the real libVLC player on short generated recordings,
// only where real decoding matters: the frames both players show after
// seeks, jumps and a swap, and the end of the last recording. The session's
// rules are tested with the scripted player.

#include "TMKViewerTestFiles.h"
#include "viewer/TMKAppDelegate.h"
#include "viewer/window/TMKMainWindow.h"
#include "viewer/player/TMKVideoView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

constexpr int kFps = 10;
constexpr int kFrameMs = 1000 / kFps;

bool makeClip(const QString& path, int seconds)
{
    // Every frame is one flat grey whose level tells its number, so the
    // frame a view shows can be read back exactly; a tone for the sound.
    const QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                           QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("color=c=black:size=320x180:rate=%1,format=yuvj422p,"
                                          "geq=lum='16+N*1.5':cb=128:cr=128")
                               .arg(kFps),
                           QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine"),
                           QStringLiteral("-t"), QString::number(seconds), QStringLiteral("-c:v"),
                           QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("2"),
                           QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path};
    return QProcess::execute(QStringLiteral("ffmpeg"), args) == 0;
}

// The number of the frame a view shows (grey level 1.5 * 255 / 219 per frame).
int shownFrame(const TMKVideoView* view)
{
    const QImage frame = view->currentFrame();
    if (frame.isNull())
        return -1;
    const int level = qBlue(frame.pixel(frame.width() / 2, frame.height() / 2));
    return static_cast<int>(std::lround(level / (1.5 * 255.0 / 219.0)));
}

// No state restored, settings in the test's own file.
TMKAppDelegate::Options quietOptions(const QString& settingsPath)
{
    TMKAppDelegate::Options options;
    options.restoreState = false;
    options.settingsPath = settingsPath;
    // Real players keep the real timing: cut waits let a pair start
    // before libVLC has settled, and the two players drift apart.
    return options;
}

} // namespace

class TMKVlcPlaybackSmokeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_settings;
    std::unique_ptr<TMKAppDelegate> m_app;

    // Rows, oldest first: 0 081500_F, 1 081500_R, 2 081545_F (corrupt), 3 081600_F, 4 081600_R.
    void openFolder()
    {
        m_app = std::make_unique<TMKAppDelegate>(quietOptions(m_settings));
        QSignalSpy reloaded(m_app.get(), &TMKAppDelegate::mediaListReloaded);
        m_app->applicationDidFinishLaunching(m_dir.path());
        QVERIFY(reloaded.wait(5000));
        QCOMPARE(m_app->session()->mediaList()->count(), 5u);
    }

    void startRow(qint64 row)
    {
        QSignalSpy started(m_app->session()->sequence(), &TMKPairSequence::pairStarted);
        QVERIFY(m_app->session()->sequence()->playAtIndex(row));
        QVERIFY(started.wait(8000));
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->session()->sequence()->waitingForPlayStart(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->session()->playInfo()->isPlaying(), 5000);
    }

    // The follow-up puts the partner at the main player's position; both then
    // show the same frame, give or take one frame interval.
    void verifyInStep(int maxFrames = 1)
    {
        TMKMediaPlayer* p1 = m_app->session()->player1();
        TMKMediaPlayer* p2 = m_app->session()->player2();
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->session()->sync()->isMoving(), 3000);
        QTest::qWait(400);
        p1->pause();
        p2->pause();
        QTRY_VERIFY_WITH_TIMEOUT(!p1->isPlaying() && !p2->isPlaying(), 3000);
        QTest::qWait(300);
        const int frame1 = shownFrame(m_app->window()->video1View());
        const int frame2 = shownFrame(m_app->window()->video2View());
        QVERIFY(frame1 >= 0 && frame2 >= 0);
        QVERIFY2(std::abs(frame1 - frame2) <= maxFrames,
                 qPrintable(QStringLiteral("frames %1 and %2 shown at %3 and %4 ms")
                                .arg(frame1)
                                .arg(frame2)
                                .arg(p1->time())
                                .arg(p2->time())));
        // The players' own clocks agree with what they show.
        const auto gap = std::llabs(static_cast<long long>(p1->time() - p2->time()));
        QVERIFY2(gap <= kFrameMs * (maxFrames + 2), qPrintable(QStringLiteral("players %1 ms apart").arg(gap)));
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is needed to make the test recordings");
        QVERIFY(m_dir.isValid());
        m_settings = m_dir.filePath(QStringLiteral("settings.ini"));
        const QString d = m_dir.path() + QLatin1Char('/');
        QVERIFY(makeClip(d + "alwa_20261107_081500_F.avi", 14));
        QVERIFY(makeClip(d + "alwa_20261107_081500_R.avi", 14));
        QFile corrupt(d + "alwa_20261107_081545_F.avi");
        QVERIFY(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray(20000, 'x'));
        corrupt.close();
        QVERIFY(makeClip(d + "alwa_20261107_081600_F.avi", 3));
        QVERIFY(makeClip(d + "alwa_20261107_081600_R.avi", 3));
    }

    void cleanup() { m_app.reset(); }

    // After a seek, a jump and a swap both players show one frame.
    void seeksJumpsAndASwapKeepThePlayersInStep()
    {
        openFolder();
        startRow(0);
        TMKMediaPlayer* p1 = m_app->session()->player1();
        const auto playOn = [this, p1] {
            m_app->session()->sequence()->playOrPause();
            QTRY_VERIFY_WITH_TIMEOUT(p1->isPlaying() && m_app->session()->player2()->isPlaying(), 3000);
        };
        m_app->session()->sync()->seekTo(0.5);
        QVERIFY(m_app->session()->sync()->isMoving());
        verifyInStep();
        QVERIFY(std::abs(p1->time() - 7000) < 1500);

        playOn();
        const auto before = p1->time();
        m_app->session()->sync()->jumpBackward();
        verifyInStep();
        QVERIFY(p1->time() < before - 5000 + 1500);

        playOn();
        m_app->session()->sync()->seekTo(0.4);
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->session()->sync()->isMoving(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->session()->player2()->isPlaying(), 3000);
        const float at = p1->position();
        m_app->session()->sync()->swap();
        QVERIFY(m_app->session()->sync()->isSwapping());
        QCOMPARE(fileOf(p1), QStringLiteral("alwa_20261107_081500_R.avi"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_app->session()->sync()->isSwapping(), 3000);
        QVERIFY(std::abs(p1->position() - at) < 0.12f);
        // Both restart from one seek each, so they stay within a couple of
        // frames; only seeks and jumps get the partner's follow-up.
        verifyInStep(2);
    }

    void lastPairStaysPausedAtTheEnd()
    {
        openFolder();
        startRow(3);
        QSignalSpy started(m_app->session()->sequence(), &TMKPairSequence::pairStarted);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->session()->player1()->state() == TMKMediaPlayer::Paused, 8000);
        QVERIFY(m_app->session()->player1()->position() >= 0.998f);
        QVERIFY(!started.wait(500)); // past the watch and the advance
        QCOMPARE(m_app->session()->sequence()->mediaIndex(), 3);
        QVERIFY(!m_app->session()->playInfo()->isPlaying());

        // The handle dragged back and a frame back with ",": shown there;
        // Space plays on from there, not from the start.
        m_app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_app->window()));
        m_app->session()->sync()->seekTo(0.5);
        QTest::keyClick(m_app->window(), Qt::Key_Comma);
        QVERIFY(std::abs(m_app->window()->positionSliderValue() - 1400.0 / 3000.0) < 0.01);
        // The picture of that frame, not one of the restart's first.
        QTRY_COMPARE_WITH_TIMEOUT(shownFrame(m_app->window()->video1View()), 14, 3000);
        QTest::keyClick(m_app->window(), Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(m_app->session()->player1()->time() > 1800, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->window()->positionSliderValue(), 1.0, 5000); // and ends again
        QCOMPARE(started.count(), 0);

        // Play at the end with the slider there: the pair again from the start.
        QCOMPARE(m_app->window()->positionSliderValue(), 1.0);
        m_app->session()->sequence()->playOrPause();
        QVERIFY(started.wait(8000));
        QCOMPARE(m_app->session()->sequence()->mediaIndex(), 3);
    }
};

QTEST_MAIN(TMKVlcPlaybackSmokeTest)
#include "TMKVlcPlaybackSmokeTest.moc"
