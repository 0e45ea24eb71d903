// Child process of the sound output tests: starts the player library the
// way the viewer does, plays a clip and reports what it chose, so that the
// test can read everything the library printed on stderr.
//
//   viewer_sound_helper play (fail|real|default) CLIP MS
//
// MS is how long it plays on after its first frame (at most 10 s more
// waiting for one).

#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/player/TMKSoundOutput.h"
#include "viewer/player/TMKVideoView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <optional>

namespace {

void appLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The test reads the level of what is relayed: info, or anything else.
    std::fprintf(stderr, "APPLOG %s %s %s\n", context.category ? context.category : "-",
                 type == QtInfoMsg ? "info" : "not-info", message.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || qstrcmp(argv[1], "play") != 0)
        return 2;
    qInstallMessageHandler(&appLog);
    QApplication app(argc, argv);
    const QByteArray mode = argv[2];
    if (mode == "fail")
        TMKSetSoundOutputProbe([] { return false; });
    else if (mode == "default")
        TMKSetSoundOutputProbe([] { return true; });
    else if (mode != "real")
        return 2;

    TMKVideoView view;
    view.resize(320, 180);
    const std::unique_ptr<TMKMediaPlayer> player = TMKCreateMediaPlayer(&view);
    player->setMedia(TMKPlayerMedia::mediaWithPath(QString::fromLocal8Bit(argv[3])));
    player->play();
    bool played = false;
    QElapsedTimer timer;
    timer.start();
    std::optional<qint64> firstFrameAt;
    const qint64 playOn = QByteArray(argv[4]).toInt();
    while (firstFrameAt ? timer.elapsed() < *firstFrameAt + playOn : timer.elapsed() < 10000) {
        QTest::qWait(20);
        played = played || player->state() == TMKMediaPlayer::Playing;
        if (!firstFrameAt && view.hasFrame())
            firstFrameAt = timer.elapsed();
    }
    player->stop();
    std::printf("output=%s\nplayed=%d\nframes=%d\n", TMKMediaLibrarySoundOutput().constData(), played ? 1 : 0,
                view.hasFrame() ? 1 : 0);
    return 0;
}
