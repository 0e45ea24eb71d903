// The frame capture on its own, with a scripted player and a recording
// alert service: the proposed names, and targets that are not plain files.

#include "TMKRecordingAlertService.h"
#include "TMKScriptedPlayer.h"
#include "viewer/capture/TMKFrameCapture.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray headOf(const QString& path, qint64 bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
}

} // namespace

class TMKFrameCaptureTest : public QObject {
    Q_OBJECT

private:
    TMKScriptedPlayer m_player;
    std::shared_ptr<TMKRecordingAlertService> m_alerts;
    QString m_answer;
    QList<QUrl> m_opened;
    std::unique_ptr<TMKFrameCapture> m_capture;

private slots:
    void init()
    {
        m_alerts = std::make_shared<TMKRecordingAlertService>();
        m_opened.clear();
        TMKFrameCapture::Services services;
        services.saveFileChooser = [this](QWidget*, const QString&, const QString&) { return m_answer; };
        services.urlOpener = [this](const QUrl& url) { m_opened << url; return true; };
        services.alerts = m_alerts;
        m_capture = std::make_unique<TMKFrameCapture>(services, [this] { return &m_player; });
        m_player.setMedia(TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/alwa_20261107_081500_F.avi")));
        m_player.play();
        QVERIFY(m_player.isPlaying());
    }

    void proposedNames_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("timeMs");
        QTest::addColumn<QString>("name");
        QTest::newRow("start") << "alwa_20261107_081500_F.avi" << qint64(0) << "tamek_capture_20261107_081500.png";
        QTest::newRow("into the recording, ms cut") << "alwa_20261107_081500_F.avi" << qint64(12999)
                                                    << "tamek_capture_20261107_081512.png";
        QTest::newRow("rear, past midnight and new year") << "event_20261231_235950_R.avi" << qint64(15000)
                                                         << "tamek_capture_20270101_000005.png";
        QTest::newRow("negative time is the start") << "motion_20260301_120000_F.avi" << qint64(-500)
                                                    << "tamek_capture_20260301_120000.png";
        QTest::newRow("no date in the name") << "clip.avi" << qint64(5000) << "tamek_capture.png";
        QTest::newRow("month 13") << "alwa_20261307_081500_F.avi" << qint64(0) << "tamek_capture.png";
        QTest::newRow("hour 25") << "alwa_20261107_251500_F.avi" << qint64(0) << "tamek_capture.png";
    }

    void proposedNames()
    {
        QFETCH(QString, file);
        QFETCH(qint64, timeMs);
        QFETCH(QString, name);
        const auto media = TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/") + file);
        QCOMPARE(TMKFrameCapture::proposedFileName(media, timeMs), name);
    }

    // Targets that are not plain files: a link to a picture is written
    // through (the link stays, the picture it names is replaced, the saved
    // name is what is opened); a pipe is refused at once, without waiting
    // for a reader, and the user is told.
    void targetsThatAreNotPlainFiles()
    {
        QTemporaryDir out;
        const QString real = out.filePath(QStringLiteral("real.png"));
        QFile old(real);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        m_answer = out.filePath(QStringLiteral("link.png"));
        QVERIFY(QFile::link(real, m_answer));
        m_capture->captureVideo();
        QVERIFY(QFileInfo(m_answer).isSymLink());
        QCOMPARE(headOf(real, 8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        QVERIFY(m_alerts->alerts.isEmpty());
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_answer)});

        m_answer = out.filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(m_answer).constData(), 0600), 0);
        m_capture->captureVideo();
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(m_answer).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
        QCOMPARE(m_alerts->alerts.size(), 1);
        QCOMPARE(m_alerts->alerts.first().kind, TMKAlertService::Kind::Warning);
        QCOMPARE(m_alerts->alerts.first().message, QStringLiteral("TAMEK"));
        QCOMPARE(m_opened.size(), 1);
    }

    // A ".jpg" name gets the snapshot's JPEG bytes as they are, the snapshot
    // kept in a folder of this run only; a snapshot that is no picture
    // leaves an old file of that name whole, and a folder of that name is
    // not touched: both told, nothing opened.
    void savedAsTheSnapshotOrNotAtAll()
    {
        QTemporaryDir out;
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        QBuffer jpeg(&m_player.snapshotBytes);
        QVERIFY(jpeg.open(QIODevice::WriteOnly) && picture.save(&jpeg, "JPG"));
        m_player.snapshotBytes += "past the picture's end"; // only a copy as it is keeps this
        m_answer = out.filePath(QStringLiteral("frame.jpg"));
        m_capture->captureVideo();
        const QString snapshot = m_capture->captureTemporaryPath();
        QCOMPARE(QFileInfo(snapshot).fileName(), QStringLiteral("tamek_capture.jpg"));
        QVERIFY(QFileInfo(snapshot).absolutePath() != QDir::tempPath());
        QCOMPARE(QFileInfo(QFileInfo(snapshot).absolutePath()).permissions()
                     & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
        QCOMPARE(headOf(m_answer, 1 << 20), m_player.snapshotBytes);
        QCOMPARE(m_opened.size(), 1);

        const QString old = out.filePath(QStringLiteral("old.png"));
        QFile oldFile(old);
        QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write("last week") == 9);
        oldFile.close();
        m_answer = old;
        m_player.snapshotBytes = QByteArray("no image at all");
        m_capture->captureVideo();
        QCOMPARE(headOf(old, 100), QByteArray("last week"));
        m_player.snapshotBytes.clear();
        m_answer = out.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(m_answer + QStringLiteral("/inside")));
        m_capture->captureVideo();
        QVERIFY(QFileInfo(m_answer + QStringLiteral("/inside")).isDir());
        QCOMPARE(m_alerts->alerts.size(), 2);
        QVERIFY(m_alerts->alerts.first().informative.contains(old));
        QCOMPARE(m_opened.size(), 1);
    }
};

QTEST_MAIN(TMKFrameCaptureTest)
#include "TMKFrameCaptureTest.moc"
