// tamek-make-demo OUTDIR: writes a demo memory card of the camera: a morning
// drive through central Munich, recorded front and rear, with its GPS and
// G-sensor telemetry, plus a few files the app has to ignore.

#include "base/TKAtomicFile.h"
#include "TMKAviWriter.h"
#include "TMKDemoFrames.h"
#include "TMKDriveSimulator.h"
#include "TMKH264Recording.h"

extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QString>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// File names and the overlay use the camera's clock, local time. Munich in
// November is on CET, UTC+1 (summer time ends on 25 October 2026); the GPS
// sentences carry UTC.
constexpr int kUtcOffsetHours = 1;
constexpr TMKUtcTime kDriveStartLocal{2026, 11, 7, 8, 15, 0, 0};

const TMKAviVideoFormat kVideo{320, 180, 10};
const TMKAviAudioFormat kAudio{8000, 1, 8};
constexpr int kJpegQuality = 25;
constexpr uint32_t kFrameMs = 1000 / 10;

struct Moment {
    const char* mode;      // alwa, motion, event
    uint32_t startSeconds; // drive time
    uint32_t durationSeconds;
    bool withRear;
    const char* folder;    // below OUTDIR, "" for the top
    const char* mustHold;  // a mark of the drive that has to fall inside
};

// alwa moments follow each other without a gap, as continuous recording
// does; the event recording cuts in where the hard brake triggered it.
const Moment kMoments[] = {
    {"alwa", 0, 45, true, "", nullptr},
    {"alwa", 45, 35, true, "", nullptr},
    {"event", 80, 30, true, "EVENT", "brake"},
    {"alwa", 110, 55, true, "", "turn"},
    {"alwa", 165, 50, false, "", "stopped"},
    {"motion", 900, 30, true, "", nullptr},
};

TMKSpeedProfile demoProfile(const TMKRoute& route)
{
    constexpr std::size_t corner = kTMKMunichOdeonsplatzCorner;
    TMKSpeedProfile p(0);
    // Green light at Giselastraße, then down Leopoldstraße, briefly at 90
    // on the open stretch.
    p.hold(3).ramp(50, 9).hold(20).ramp(90, 10).hold(12).ramp(50, 10).hold(23).ramp(60, 4);
    // Someone steps out on Ludwigstraße: 60 to 0 in 2.5 s, about 0.7 g.
    p.mark("brake").ramp(0, 2.5).hold(3).ramp(50, 8);
    // Slow down for the right turn at Odeonsplatz, take it at 20 km/h.
    p.holdUntilDistance(route.cornerStart(corner) - p.rampDistance(20, 5)).ramp(20, 5);
    p.mark("turn").holdUntilDistance(route.cornerEnd(corner)).ramp(45, 6);
    // Along Brienner Straße into a parking space past Karolinenplatz.
    const double parking = route.length() - 180;
    p.holdUntilDistance(parking - p.rampDistance(0, 7)).ramp(0, 7).mark("stopped");
    return p;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

TMKUtcTime localAt(uint32_t driveSeconds)
{
    return TMKUtcAddSeconds(kDriveStartLocal, driveSeconds);
}

QString overlayTime(const TMKUtcTime& t)
{
    return QStringLiteral("%1/%2/%3 %4:%5:%6")
        .arg(t.year)
        .arg(twoDigits(t.month), twoDigits(t.day), twoDigits(t.hour), twoDigits(t.minute), twoDigits(t.second));
}

QString fileStem(const char* mode, const TMKUtcTime& t)
{
    return QStringLiteral("%1_%2%3%4_%5%6%7")
        .arg(QLatin1String(mode))
        .arg(t.year)
        .arg(twoDigits(t.month), twoDigits(t.day), twoDigits(t.hour), twoDigits(t.minute), twoDigits(t.second));
}

// A quiet engine: a low firing tone rising with speed, a little rumble;
// silence with the engine off.
class EngineSound {
public:
    std::vector<uint8_t> block(double kmh, bool engineOn, std::size_t samples)
    {
        std::vector<uint8_t> pcm(samples);
        const double frequency = 30.0 + kmh * 0.9;
        const double level = engineOn ? 5.0 + kmh / 15.0 : 0.0;
        for (uint8_t& sample : pcm) {
            m_phase = std::fmod(m_phase + 2 * 3.14159265358979 * frequency / kAudio.sampleRate, 2 * 3.14159265358979);
            m_rng = m_rng * 1664525u + 1013904223u;
            const double rumble = engineOn ? static_cast<double>(m_rng >> 29) - 3.5 : 0.0;
            const double value = level * (std::sin(m_phase) + 0.4 * std::sin(2 * m_phase)) + rumble * 0.5;
            sample = static_cast<uint8_t>(std::lround(128.0 + value));
        }
        return pcm;
    }

private:
    double m_phase = 0;
    uint32_t m_rng = 12345;
};

struct Writer {
    QString outDir;
    long long totalBytes = 0;
    QStringList written;

    bool write(const TMKAviWriter& avi, const QString& relative)
    {
        std::string error;
        const QString path = outDir + QLatin1Char('/') + relative;
        if (!avi.write(path.toStdString(), &error)) {
            std::fprintf(stderr, "tamek-make-demo: %s\n", error.c_str());
            return false;
        }
        return record(relative);
    }

    bool record(const QString& relative)
    {
        totalBytes += QFile(outDir + QLatin1Char('/') + relative).size();
        written << relative;
        return true;
    }
};

// One camera's recording of [start, start + duration) of the drive.
TMKAviWriter recording(const TMKDriveSimulator& drive, uint32_t startSeconds, uint32_t durationSeconds, bool rear,
                       bool telemetry)
{
    TMKAviWriter avi(kVideo, kAudio);
    EngineSound engine;
    const uint32_t durationMs = durationSeconds * 1000;
    for (uint32_t t = 0; t < durationMs; t += kFrameMs) {
        const uint32_t driveMs = startSeconds * 1000 + t;
        const TMKDriveSample s = drive.sampleAt(driveMs / 1000.0);
        TMKDemoFrame frame;
        frame.rear = rear;
        frame.dateTime = overlayTime(localAt(driveMs / 1000));
        frame.kmh = s.kmh;
        frame.distance = s.distance;
        frame.yawDegrees = s.yawRate;
        frame.latitude = s.pose.latitude;
        frame.longitude = s.pose.longitude;
        avi.addVideoFrame(t, TMKEncodeJpeg(TMKDrawDemoFrame(frame, QSize(int(kVideo.width), int(kVideo.height))),
                                           kJpegQuality));
        // The engine is off once the car is parked for good.
        const bool engineOn = driveMs < drive.profile().markSeconds("stopped") * 1000 + 5000;
        avi.addAudio(t, engine.block(s.kmh, engineOn, kAudio.sampleRate * kFrameMs / 1000));
    }
    if (telemetry) {
        const TMKTelemetry data = drive.record(startSeconds * 1000, durationMs);
        for (const auto& g : data.gsensor)
            avi.addGSensor(g);
        for (const auto& g : data.gps)
            avi.addGps(g);
    }
    return avi;
}

// The newer cameras' H.264 pair of a short moment, at their real sizes,
// drawn like the MJPEG recordings.
bool writeH264(Writer& out, const TMKDriveSimulator& drive, uint32_t startSeconds, uint32_t durationSeconds,
               bool rear)
{
    const TMKH264Format format = rear ? kTMKRearH264 : kTMKFrontH264;
    const QSize size(int(format.width), int(format.height));
    SwsContext* sws = sws_getContext(size.width(), size.height(), AV_PIX_FMT_BGRA, size.width(), size.height(),
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const TMKYuvPainter paint = [&](uint32_t index, uint8_t* const planes[3], const int strides[3]) {
        const double seconds = index / double(format.framesPerSecond);
        const TMKDriveSample s = drive.sampleAt(seconds);
        TMKDemoFrame frame;
        frame.rear = rear;
        frame.dateTime = overlayTime(localAt(static_cast<uint32_t>(seconds)));
        frame.kmh = s.kmh;
        frame.distance = s.distance;
        frame.yawDegrees = s.yawRate;
        frame.latitude = s.pose.latitude;
        frame.longitude = s.pose.longitude;
        const QImage image = TMKDrawDemoFrame(frame, size).convertToFormat(QImage::Format_RGB32);
        const uint8_t* src[1] = {image.constBits()};
        const int stride[1] = {static_cast<int>(image.bytesPerLine())};
        sws_scale(sws, src, stride, 0, size.height(), planes, strides);
    };
    const QString relative = fileStem("alwa", localAt(startSeconds)) + (rear ? QStringLiteral("_R.avi") : QStringLiteral("_F.avi"));
    std::string error;
    const bool ok = TMKWriteH264Recording((out.outDir + QLatin1Char('/') + relative).toStdString(), drive,
                                          startSeconds * 1000, durationSeconds * 1000, format, rear, paint, true, &error);
    sws_freeContext(sws);
    if (!ok) {
        std::fprintf(stderr, "tamek-make-demo: %s\n", error.c_str());
        return false;
    }
    return out.record(relative);
}

} // namespace

int main(int argc, char** argv)
{
    // Frames are drawn into images only; no display is needed or wanted.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder Qt makes its own and warns about it on every
    // build; make it quietly, the same way.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
        if (::mkdir(runtime.constData(), 0700) == 0 || errno == EEXIST)
            qputenv("XDG_RUNTIME_DIR", runtime);
    }
    QGuiApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR); // x264's statistics are build noise
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamek-make-demo OUTDIR\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();

    Writer out;
    out.outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out.outDir + QStringLiteral("/EVENT"))) {
        std::fprintf(stderr, "tamek-make-demo: cannot create %s\n", argv[1]);
        return 1;
    }

    TMKDriveOptions options;
    options.startUtc = TMKUtcAddSeconds(kDriveStartLocal, -kUtcOffsetHours * 3600);
    options.seed = 20261107;
    const TMKRoute route = TMKMunichRoute();
    const TMKDriveSimulator drive(route, demoProfile(route), options);

    for (const Moment& m : kMoments) {
        if (m.mustHold) {
            const double at = drive.profile().markSeconds(m.mustHold);
            if (at < m.startSeconds || at >= m.startSeconds + m.durationSeconds) {
                std::fprintf(stderr, "tamek-make-demo: '%s' at %.1f s is outside the %s moment at %u s\n", m.mustHold,
                             at, m.mode, m.startSeconds);
                return 1;
            }
        }
        const QString folder = *m.folder ? QString::fromLatin1(m.folder) + QLatin1Char('/') : QString();
        const QString stem = folder + fileStem(m.mode, localAt(m.startSeconds));
        if (!out.write(recording(drive, m.startSeconds, m.durationSeconds, false, true), stem + QStringLiteral("_F.avi")))
            return 1;
        if (m.withRear &&
            !out.write(recording(drive, m.startSeconds, m.durationSeconds, true, true), stem + QStringLiteral("_R.avi")))
            return 1;
    }

    // A short H.264 pair of the parked car, after the drive.
    if (!writeH264(out, drive, 600, 3, false) || !writeH264(out, drive, 600, 3, true))
        return 1;

    // Files the catalogue has to pass over: a real recording whose name has a
    // lower-case channel letter, a clip from elsewhere, and a note.
    if (!out.write(recording(drive, 0, 2, false, true), fileStem("alwa", localAt(0)) + QStringLiteral("_f.avi")) ||
        !out.write(recording(drive, 900, 3, false, false), QStringLiteral("clip_0001.avi")))
        return 1;
    if (const auto failure = TKWriteFileAtomically((out.outDir + QStringLiteral("/notes.txt")).toStdString(),
            "Demo card: a drive through central Munich on 7 November 2026, 08:15 CET.\n"
            "Times in file names are local (UTC+1); GPS times are UTC.\n")) {
        std::fprintf(stderr, "tamek-make-demo: cannot write notes.txt: %s\n", failure->c_str());
        return 1;
    }
    out.record(QStringLiteral("notes.txt"));

    for (const QString& name : out.written)
        std::printf("  %s\n", qPrintable(name));
    std::printf("tamek-make-demo: %lld files, %.1f MB in %.1f s\n", static_cast<long long>(out.written.size()),
                static_cast<double>(out.totalBytes) / 1e6, static_cast<double>(clock.elapsed()) / 1000.0);
    return 0;
}
