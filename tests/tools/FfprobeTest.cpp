// A recording written with real JPEG frames opens in a real demuxer.

#include "TMKAviWriter.h"
#include "TMKDemoFrames.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FfprobeCheck, WrittenRecordingHasTheVideoAndAudioStreams)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        GTEST_SKIP() << "ffprobe is not installed";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    TMKAviWriter writer(TMKAviVideoFormat{320, 180, 10}, TMKAviAudioFormat{8000, 1, 8});
    constexpr int kFrames = 25;
    for (int i = 0; i < kFrames; ++i) {
        TMKDemoFrame frame;
        frame.rear = i % 2;
        frame.dateTime = QStringLiteral("2026/11/07 08:15:%1").arg(i / 10, 2, 10, QLatin1Char('0'));
        frame.kmh = i;
        const auto jpeg = TMKEncodeJpeg(TMKDrawDemoFrame(frame, QSize(320, 180)), 60);
        ASSERT_FALSE(jpeg.empty());
        writer.addVideoFrame(static_cast<uint32_t>(i * 100), jpeg);
    }
    writer.addAudio(0, std::vector<uint8_t>(20000, 0x80));
    writer.addGSensor(_AVI_GSENSOR_DATA_T{171, 0, 0, 0, 256, 0});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alwa_20261107_081500_F.avi"));
    ASSERT_TRUE(writer.write(path.toStdString()));

    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                 QStringLiteral("-show_entries"), QStringLiteral("stream=codec_type,codec_name,nb_read_frames,width,height"),
                 QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitCode(), 0);
    const QString errors = QString::fromUtf8(probe.readAllStandardError());
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("mjpeg,video,320,180,%1").arg(kFrames))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(",audio,"))) << out.toStdString();
    EXPECT_EQ(out.count(QStringLiteral(",video,")), 1);
}

} // namespace
