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
    }

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
        QCOMPARE(TMKFileBytes(m_answer), m_player.snapshotBytes);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(m_answer)});

        const QString real = out.filePath(QStringLiteral("real.png"));
        QVERIFY(TMKWriteFileBytes(real, "last week"));
        m_answer = out.filePath(QStringLiteral("link.png"));
        QVERIFY(QFile::link(real, m_answer));
        m_capture->captureVideo();
        QVERIFY(QFileInfo(m_answer).isSymLink());
        QCOMPARE(TMKFileBytes(real).left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        QCOMPARE(m_opened.last(), QUrl::fromLocalFile(m_answer));
        QVERIFY(m_alerts->alerts.isEmpty());

        QVERIFY(TMKWriteFileBytes(real, "last week"));
        m_answer = real;
        m_player.snapshotBytes = QByteArray("no image at all");
        m_capture->captureVideo();
        QCOMPARE(TMKFileBytes(real).left(100), QByteArray("last week"));
        m_player.snapshotBytes.clear();
        m_answer = out.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkpath(m_answer + QStringLiteral("/inside")));
        m_capture->captureVideo();
        QVERIFY(QFileInfo(m_answer + QStringLiteral("/inside")).isDir());
        QCOMPARE(m_alerts->alerts.size(), 2);
        QCOMPARE(m_alerts->alerts.first().kind, TMKAlertService::Kind::Warning);
        QVERIFY(m_alerts->alerts.first().informative.contains(real));
        QCOMPARE(m_opened.size(), 2);
    }
};

QTEST_MAIN(TMKFrameCaptureTest)
#include "TMKFrameCaptureTest.moc"
