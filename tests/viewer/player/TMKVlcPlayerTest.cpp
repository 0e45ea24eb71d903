// The real libVLC player on files a card may hold (cut short, without an
// index, bytes that are no AVI, empty, FIFOs, links), on its picture's
// colours and bottom rows, and paused, when it must not keep repainting.

#include "TMKFileText.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/player/TMKVideoView.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

#include <sys/stat.h>

namespace {

bool ffmpeg(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y"} + args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool near(QRgb c, int r, int g, int b)
{
    return std::abs(qRed(c) - r) < 60 && std::abs(qGreen(c) - g) < 60 && std::abs(qBlue(c) - b) < 60;
}

} // namespace

class TMKVlcPlayerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_moving; // every frame differs from the one before
    QString m_still;  // bars with a strip along the bottom rows

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is not installed");
        QVERIFY(m_dir.isValid());
        m_moving = path("clip_F.avi");
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x180:rate=10", "-t", "4", "-c:v", "mjpeg", "-q:v",
                        "3", m_moving}));
        const QByteArray avi = TMKFileBytes(m_moving);
        QVERIFY(TMKWriteFileBytes(path("cut_F.avi"), avi.left(50 * 1024)));
        // Without its index chunk (the last one), the RIFF size told, as a
        // camera that lost power before closing the file leaves it.
        QByteArray unindexed = avi.left(avi.lastIndexOf("idx1"));
        qToLittleEndian(quint32(unindexed.size() - 8), unindexed.data() + 4);
        QVERIFY(TMKWriteFileBytes(path("noindex_F.avi"), unindexed));
        QVERIFY(TMKWriteFileBytes(path("noise_R.avi"), QByteArray(300000, 'x')));
        QVERIFY(TMKWriteFileBytes(path("empty_R.avi"), {}));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo_R.avi")).constData(), 0600), 0);
        QVERIFY(QFile::link(m_moving, path("link_F.avi")));

        // The camera's date/time line sits in the bottom rows; 180 lines,
        // which decoders pad to 192.
        m_still = path("bars_F.avi");
        QVERIFY(ffmpeg({"-f", "lavfi", "-i",
                        "smptebars=size=320x180:rate=10,"
                        "drawbox=y=166:w=320:h=14:color=white:t=fill,"
                        "drawbox=x=8:y=169:w=100:h=8:color=black:t=fill,"
                        "drawbox=x=250:y=169:w=60:h=8:color=red:t=fill",
                        "-t", "3", "-c:v", "mjpeg", "-q:v", "2", m_still}));
    }

    // Each kind of file gets its reason at once after setMedia; of the
    // ones nothing can play the player is in Error and stays there.
    void faultsAreNamedFromTheFile()
    {
        const struct {
            const char* name;
            TMKRecordingFault expected;
        } cases[] = {
            {"clip_F.avi", TMKRecordingFault::None},
            {"link_F.avi", TMKRecordingFault::None}, // a link to it
            {"cut_F.avi", TMKRecordingFault::CutShort}, // to 50 KB
            {"noindex_F.avi", TMKRecordingFault::NoIndex},
            {"noise_R.avi", TMKRecordingFault::NotAvi},
            {"empty_R.avi", TMKRecordingFault::Unreadable},
            {"fifo_R.avi", TMKRecordingFault::NotRegularFile},
        };
        for (const auto& [name, expected] : cases) {
            const QString file = path(name);
            std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(nullptr);
            QSignalSpy states(player.get(), &TMKMediaPlayer::stateChanged);
            QElapsedTimer timer;
            timer.start();
            player->setMedia(TMKPlayerMedia::mediaWithPath(file));
            QVERIFY2(timer.elapsed() < 1000, "setMedia waited on the file");
            QCOMPARE(player->errorText(), TMKRecordingFaultText(expected));
            QCOMPARE(player->errorText().isEmpty(), expected == TMKRecordingFault::None);
            const bool fatal = TMKRecordingFaultIsFatal(expected);
            QCOMPARE(player->state() == TMKMediaPlayer::Error, fatal);
            player->setMute(true);
            player->play();
            if (fatal) {
                QVERIFY(!states.wait(300)); // play leaves a file nothing can play alone
                QCOMPARE(player->state(), TMKMediaPlayer::Error);
            }
            player->stop();
            player->setMedia(std::nullopt);
            QVERIFY(player->errorText().isEmpty());
        }
    }

    // The capture is the picture at its own size, bottom rows whole, and
    // on screen it fills the 16:9 view without stretching; in the format its
    // name says; past the end, playing starts over.
    void captureSnapshotAndPause()
    {
        TMKVideoView view;
        view.resize(640, 360);
        view.show();
        std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(&view);
        QVERIFY(!player->saveVideoSnapshotAt(path("none.png"), 0, 0)); // nothing shown yet
        player->setMedia(TMKPlayerMedia::mediaWithPath(m_still));
        player->setMute(true);
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(view.framesShown() >= 3, 15000);
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Paused, 5000);

        QCOMPARE(player->videoSize(), QSize(320, 180));
        QVERIFY(player->hasVideoOut());
        const QString capturePath = path("capture.png");
        QVERIFY(player->saveVideoSnapshotAt(capturePath, 0, 0));
        QImage capture;
        QVERIFY(capture.load(capturePath));
        QCOMPARE(capture.size(), QSize(320, 180));
        QVERIFY(near(capture.pixel(70, 40), 191, 191, 0)); // the yellow bar
        QVERIFY(near(capture.pixel(115, 40), 0, 191, 191)); // the cyan one
        QVERIFY(near(capture.pixel(160, 167), 255, 255, 255));
        QVERIFY(near(capture.pixel(160, 178), 255, 255, 255));
        QVERIFY(near(capture.pixel(50, 173), 0, 0, 0));
        QVERIFY(near(capture.pixel(280, 173), 255, 0, 0));

        const QImage screen = view.grab().toImage();
        const double scale = double(screen.height()) / 180.0;
        QVERIFY(near(screen.pixel(screen.width() / 2, int(172 * scale)), 255, 255, 255));
        QVERIFY(near(screen.pixel(int(50 * screen.width() / 320.0), int(173 * scale)), 0, 0, 0));
        QVERIFY(!near(screen.pixel(screen.width() / 2, int(160 * scale)), 255, 255, 255));

        // A ".jpg" name gets a JPEG, not the PNG bytes under that name.
        QVERIFY(player->saveVideoSnapshotAt(path("capture.jpg"), 0, 0));
        QCOMPARE(TMKFileBytes(path("capture.jpg")).left(3), QByteArray("\xFF\xD8\xFF", 3));

        // Past the end: paused at the end, nothing left, and play starts over.
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaLength() > 0, 3000);
        player->setTime(player->mediaLength() + 500);
        QCOMPARE(player->state(), TMKMediaPlayer::Paused);
        QCOMPARE(player->position(), 1.0f);
        QCOMPARE(TMKMediaPlayer::timeString(player->remainingTime()), QStringLiteral("00:00"));
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying(), 5000);
        QVERIFY(player->time() < 1500);

        // Paused, the view gets no new frames and does not repaint; a seek
        // while paused still shows its picture.
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        player->setMedia(TMKPlayerMedia::mediaWithPath(m_moving));
        QSignalSpy shown(&view, &TMKVideoView::frameShown);
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 5, 15000); // frames of this recording
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Paused, 5000);
        // The frames decoded before the pause may still come in, briefly.
        for (int late = 0; late < 5 && shown.wait(300); ++late) {
        }
        const quint64 frames = view.framesShown();
        const quint64 paints = view.paintCount();
        const QImage before = view.currentFrame();
        QVERIFY2(!shown.wait(1500), qPrintable(QStringLiteral("%1 frames while paused").arg(view.framesShown() - frames)));
        QVERIFY2(view.paintCount() == paints,
                 qPrintable(QStringLiteral("%1 repaints while paused").arg(view.paintCount() - paints)));

        player->setTime(3000);
        QTRY_VERIFY_WITH_TIMEOUT(view.framesShown() > frames, 5000);
        QVERIFY(view.currentFrame() != before);
        QCOMPARE(player->state(), TMKMediaPlayer::Paused);
        player->stop();
    }
};

QTEST_MAIN(TMKVlcPlayerTest)
#include "TMKVlcPlayerTest.moc"
