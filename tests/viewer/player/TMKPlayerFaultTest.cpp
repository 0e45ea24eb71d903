// The real libVLC player on what a card may hold besides good recordings:
// files cut short, without an index, of random bytes, empty, FIFOs, links;
// and a paused player, which must not keep repainting its picture.

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/player/TMKVideoView.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ffmpeg(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y"} + args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// The same recording with its index chunk taken out and the RIFF size
// told, as a camera that lost power before closing the file leaves it.
QByteArray withoutIndex(const QByteArray& avi)
{
    qsizetype offset = 12;
    while (offset + 8 <= avi.size()) {
        const qsizetype size = le32(avi, offset + 4);
        if (avi.mid(offset, 4) == "idx1") {
            QByteArray cut = avi.left(offset) + avi.mid(offset + 8 + size + (size & 1));
            const quint32 riff = quint32(cut.size() - 8);
            for (int i = 0; i < 4; ++i)
                cut[4 + i] = char((riff >> (8 * i)) & 0xff);
            return cut;
        }
        offset += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

class TMKPlayerFaultTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is not installed");
        QVERIFY(m_dir.isValid());
        // A moving picture, so every frame differs from the one before.
        m_clip = path("clip_F.avi");
        QVERIFY(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x180:rate=10", "-t", "4", "-c:v", "mjpeg", "-q:v",
                        "3", m_clip}));
        const QByteArray avi = readAll(m_clip);
        QVERIFY(avi.size() > 60000);
        QVERIFY(writeAll(path("cut_F.avi"), avi.left(50 * 1024)));
        const QByteArray unindexed = withoutIndex(avi);
        QVERIFY(!unindexed.isEmpty());
        QVERIFY(writeAll(path("noindex_F.avi"), unindexed));
        QByteArray noise(300000, Qt::Uninitialized);
        QRandomGenerator generator(17);
        for (char& byte : noise)
            byte = char(generator.bounded(256));
        QVERIFY(writeAll(path("noise_R.avi"), noise));
        QVERIFY(writeAll(path("empty_R.avi"), {}));
        QVERIFY(writeAll(path("riff_R.avi"), QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16)));
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo_R.avi")).constData(), 0600), 0);
        QVERIFY(QFile::link(m_clip, path("link_F.avi")));
    }

    // Each kind of file gets its reason at once after setMedia; of the
    // ones nothing can play the player is in Error and stays there.
    void faultsAreNamedFromTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("fault");
        QTest::newRow("good") << "clip_F.avi" << int(TMKRecordingFault::None);
        QTest::newRow("link to good") << "link_F.avi" << int(TMKRecordingFault::None);
        QTest::newRow("cut to 50 KB") << "cut_F.avi" << int(TMKRecordingFault::CutShort);
        QTest::newRow("no index") << "noindex_F.avi" << int(TMKRecordingFault::NoIndex);
        QTest::newRow("random bytes") << "noise_R.avi" << int(TMKRecordingFault::NotAvi);
        QTest::newRow("a WAVE file") << "riff_R.avi" << int(TMKRecordingFault::NotAvi);
        QTest::newRow("empty") << "empty_R.avi" << int(TMKRecordingFault::Unreadable);
        QTest::newRow("FIFO") << "fifo_R.avi" << int(TMKRecordingFault::NotRegularFile);
        QTest::newRow("missing") << "gone_R.avi" << int(TMKRecordingFault::Unreadable);
    }

    void faultsAreNamedFromTheFile()
    {
        QFETCH(QString, name);
        QFETCH(int, fault);
        const auto expected = static_cast<TMKRecordingFault>(fault);
        const QString file = m_dir.filePath(name);
        QCOMPARE(TMKCheckRecording(file), expected);

        std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(nullptr);
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
            QTest::qWait(300);
            QCOMPARE(player->state(), TMKMediaPlayer::Error);
            QVERIFY(!player->isPlaying());
        }
        player->stop();
        player->setMedia(std::nullopt);
        QVERIFY(player->errorText().isEmpty());
    }

    // Paused, the view gets no new frames and does not repaint; a seek
    // while paused still shows its picture.
    void aPausedPlayerDoesNotRepaint()
    {
        TMKVideoView view;
        view.resize(320, 180);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(&view);
        player->setMedia(TMKPlayerMedia::mediaWithPath(m_clip));
        player->setMute(true);
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(view.framesShown() >= 5, 15000);
        player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), TMKMediaPlayer::Paused, 5000);
        QTest::qWait(500);
        const quint64 frames = view.framesShown();
        const quint64 paints = view.paintCount();
        const QImage before = view.currentFrame();
        QTest::qWait(1500);
        QVERIFY2(view.framesShown() == frames,
                 qPrintable(QStringLiteral("%1 frames while paused").arg(view.framesShown() - frames)));
        QVERIFY2(view.paintCount() == paints,
                 qPrintable(QStringLiteral("%1 repaints while paused").arg(view.paintCount() - paints)));

        player->setTime(3000);
        QTRY_VERIFY_WITH_TIMEOUT(view.framesShown() > frames, 5000);
        QVERIFY(view.currentFrame() != before);
        QCOMPARE(player->state(), TMKMediaPlayer::Paused);
        player->stop();
    }
};

QTEST_MAIN(TMKPlayerFaultTest)
#include "TMKPlayerFaultTest.moc"
