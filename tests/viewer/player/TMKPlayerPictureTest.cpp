// The real libVLC player against ffmpeg's decoding of the same clip: the
// picture keeps its own size and nothing of its bottom rows is lost.

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKVideoView.h"

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

class TMKPlayerPictureTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;
    QImage m_reference;

    // Mean absolute difference per channel, 0..255.
    static double meanDifference(const QImage& a, const QImage& b)
    {
        const QImage x = a.convertToFormat(QImage::Format_RGB32);
        const QImage y = b.convertToFormat(QImage::Format_RGB32);
        double sum = 0;
        for (int row = 0; row < x.height(); ++row) {
            const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
            const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
            for (int col = 0; col < x.width(); ++col)
                sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col]))
                       + std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
        return sum / (3.0 * x.width() * x.height());
    }

    static bool ffmpeg(const QStringList& args)
    {
        QProcess process;
        process.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y"} + args);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is not installed");
        QVERIFY(m_dir.isValid());
        // Still bars with a strip along the bottom rows, as the camera's
        // date/time line; 180 lines, which decoders pad to 192.
        m_clip = m_dir.filePath(QStringLiteral("clip_F.avi"));
        QVERIFY(ffmpeg({"-f", "lavfi", "-i",
                        "smptebars=size=320x180:rate=10,"
                        "drawbox=y=166:w=320:h=14:color=white:t=fill,"
                        "drawbox=x=8:y=169:w=100:h=8:color=black:t=fill,"
                        "drawbox=x=250:y=169:w=60:h=8:color=red:t=fill",
                        "-t", "3", "-c:v", "mjpeg", "-q:v", "2", m_clip}));
        const QString frame = m_dir.filePath(QStringLiteral("ffmpeg.png"));
        QVERIFY(ffmpeg({"-ss", "1", "-i", m_clip, "-frames:v", "1", frame}));
        QVERIFY(m_reference.load(frame));
        QCOMPARE(m_reference.size(), QSize(320, 180));
    }

    // One test: starting libVLC and decoding is the slow part.
    void captureMatchesTheDecodedFrame()
    {
        TMKVideoView view;
        view.resize(640, 360);
        view.show();
        std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(&view);
        QVERIFY(player);
        player->setMedia(TMKPlayerMedia::mediaWithPath(m_clip));
        player->setMute(true);
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(view.framesShown() >= 3, 15000);
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Paused, 5000);
        player->setTime(1000);
        QTest::qWait(300);

        QCOMPARE(player->videoSize(), QSize(320, 180));
        const QString path = m_dir.filePath(QStringLiteral("capture.png"));
        QVERIFY(player->saveVideoSnapshotAt(path, 0, 0));
        QImage capture;
        QVERIFY(capture.load(path));
        QCOMPARE(capture.size(), QSize(320, 180));
        const double difference = meanDifference(capture, m_reference);
        QVERIFY2(difference < 6.0, qPrintable(QStringLiteral("mean difference %1").arg(difference)));

        // The bottom strip is whole: white, with its black and red marks.
        auto near = [](QRgb c, int r, int g, int b) {
            return std::abs(qRed(c) - r) < 60 && std::abs(qGreen(c) - g) < 60 && std::abs(qBlue(c) - b) < 60;
        };
        QVERIFY(near(capture.pixel(160, 167), 255, 255, 255));
        QVERIFY(near(capture.pixel(160, 178), 255, 255, 255));
        QVERIFY(near(capture.pixel(50, 173), 0, 0, 0));
        QVERIFY(near(capture.pixel(280, 173), 255, 0, 0));

        // On screen the picture fills the 16:9 view without stretching: the
        // strip sits at the same share of the height.
        const QImage screen = view.grab().toImage();
        const double scale = double(screen.height()) / 180.0;
        QVERIFY(near(screen.pixel(screen.width() / 2, int(172 * scale)), 255, 255, 255));
        QVERIFY(near(screen.pixel(int(50 * screen.width() / 320.0), int(173 * scale)), 0, 0, 0));
        QVERIFY(!near(screen.pixel(screen.width() / 2, int(160 * scale)), 255, 255, 255));
        player->stop();
    }
};

QTEST_MAIN(TMKPlayerPictureTest)
#include "TMKPlayerPictureTest.moc"
