// The frame capture on its own, with a scripted player and a recording
// alert service: the proposed names, and what is written where.

#include "TMKFileText.h"
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

class TMKFrameCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void proposedNames()
    {
        const struct {
            const char* file;
            qint64 timeMs;
            const char* name;
        } cases[] = {
            {"alwa_20261107_081500_F.avi", 0, "tamek_capture_20261107_081500.png"},
            {"alwa_20261107_081500_F.avi", 12999, "tamek_capture_20261107_081512.png"}, // ms cut
            {"event_20261231_235950_R.avi", 15000, "tamek_capture_20270101_000005.png"}, // a new year
            {"motion_20260301_120000_F.avi", -500, "tamek_capture_20260301_120000.png"}, // the start
            {"clip.avi", 5000, "tamek_capture.png"}, // no date in the name
            {"alwa_20261307_081500_F.avi", 0, "tamek_capture.png"}, // month 13
            {"alwa_20261107_251500_F.avi", 0, "tamek_capture.png"}, // hour 25
        };
        for (const auto& c : cases) {
            const auto media = TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/") + QLatin1String(c.file));
            QCOMPARE(TMKFrameCapture::proposedFileName(media, c.timeMs), QLatin1String(c.name));
        }
    }

    // A ".jpg" name gets the snapshot's JPEG bytes as they are, the snapshot
    // kept in a folder of this run only; a link to a picture is written
    // through (the link stays, the picture it names is replaced by a PNG,
    // the saved name is what is opened). A snapshot that is no picture
    // leaves an old file of that name whole, and a folder of that name is
    // not touched: both told, nothing opened.
    void savedAsTheSnapshotOrNotAtAll()
    {
        TMKScriptedPlayer player;
        player.setMedia(TMKPlayerMedia::mediaWithPath(QStringLiteral("/card/alwa_20261107_081500_F.avi")));
        player.play();
        const auto alerts = std::make_shared<TMKRecordingAlertService>();
        QString answer;
        QList<QUrl> opened;
        TMKFrameCapture::Services services;
        services.saveFileChooser = [&answer](QWidget*, const QString&, const QString&) { return answer; };
        services.urlOpener = [&opened](const QUrl& url) { opened << url; return true; };
        services.alerts = alerts;
        TMKFrameCapture capture(services, [&player] { return &player; });
        QTemporaryDir out;
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        QBuffer jpeg(&player.snapshotBytes);
        QVERIFY(jpeg.open(QIODevice::WriteOnly) && picture.save(&jpeg, "JPG"));
        player.snapshotBytes += "past the picture's end"; // only a copy as it is keeps this
        answer = out.filePath(QStringLiteral("frame.jpg"));
        capture.captureVideo();
        const QString snapshot = capture.captureTemporaryPath();
        QCOMPARE(QFileInfo(snapshot).fileName(), QStringLiteral("tamek_capture.jpg"));
        QVERIFY(QFileInfo(snapshot).absolutePath() != QDir::tempPath());
        QCOMPARE(QFileInfo(QFileInfo(snapshot).absolutePath()).permissions()
                     & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
        QCOMPARE(TMKFileBytes(answer), player.snapshotBytes);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(answer)});

        const QString real = out.filePath(QStringLiteral("real.png"));
        QVERIFY(TMKWriteFileBytes(real, "last week"));
        answer = out.filePath(QStringLiteral("link.png"));
        QVERIFY(QFile::link(real, answer));
        capture.captureVideo();
        QVERIFY(QFileInfo(answer).isSymLink());
        QCOMPARE(TMKFileBytes(real).left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        QCOMPARE(opened.last(), QUrl::fromLocalFile(answer));
        QVERIFY(alerts->alerts.isEmpty());

        QVERIFY(TMKWriteFileBytes(real, "last week"));
        answer = real;
        player.snapshotBytes = QByteArray("no image at all");
        capture.captureVideo();
        QCOMPARE(TMKFileBytes(real).left(100), QByteArray("last week"));
        player.snapshotBytes.clear();
        answer = out.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(answer + QStringLiteral("/inside")));
        capture.captureVideo();
        QVERIFY(QFileInfo(answer + QStringLiteral("/inside")).isDir());
        QCOMPARE(alerts->alerts.size(), 2);
        QCOMPARE(alerts->alerts.first().kind, TMKAlertService::Kind::Warning);
        QVERIFY(alerts->alerts.first().informative.contains(real));
        QCOMPARE(opened.size(), 2);
    }
};

QTEST_MAIN(TMKFrameCaptureTest)
#include "TMKFrameCaptureTest.moc"
