// The clip export end to end on tiny H.264 recordings: a trip of three
// front files of 3 s (192x108, 30 fps) and two rear ones (128x72, 25 fps),
// the rear missing for the last file.

#include "clip/TMKClipExport.h"
#include "TMKH264Recording.h"
#include "base/TMKLog.h"
#include "media/TMKMediaList.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr TMKH264Format kFront{192, 108, 30, 16};
constexpr TMKH264Format kRear{128, 72, 25, 16};
constexpr double kFileSeconds = 3;

struct Picture {
    double seconds = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> luma;
};

// The sound's bytes as stored, of the packets from `from` to `to` seconds.
struct Sound {
    double from = 0;
    double to = 1e9;
    std::vector<uint8_t> bytes;
};

// Every frame of a file's video as luma, in the order shown; its sound too
// when asked for.
std::vector<Picture> decodeAll(const std::string& path, Sound* sound = nullptr)
{
    std::vector<Picture> pictures;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return pictures;
    avformat_find_stream_info(format, nullptr);
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVStream* stream = format->streams[video];
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(stream->codecpar->codec_id));
    avcodec_parameters_to_context(codec, stream->codecpar);
    avcodec_open2(codec, nullptr, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto take = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            Picture p{double(frame->best_effort_timestamp) * av_q2d(stream->time_base), frame->width, frame->height, {}};
            for (int y = 0; y < frame->height; ++y)
                p.luma.insert(p.luma.end(), frame->data[0] + y * frame->linesize[0],
                              frame->data[0] + y * frame->linesize[0] + frame->width);
            pictures.push_back(std::move(p));
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
            avcodec_send_packet(codec, packet);
            take();
        } else if (sound && packet->stream_index == audio) {
            const double at = double(packet->pts) * av_q2d(format->streams[audio]->time_base);
            if (at >= sound->from - 1e-6 && at < sound->to - 1e-6)
                sound->bytes.insert(sound->bytes.end(), packet->data, packet->data + packet->size);
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return pictures;
}

// The luma of `source` scaled to `size`, as a camera's area of the clip.
std::vector<uint8_t> scaled(const Picture& source, QSize size)
{
    std::vector<uint8_t> out(static_cast<std::size_t>(size.width() * size.height()));
    SwsContext* sws = sws_getContext(source.width, source.height, AV_PIX_FMT_GRAY8, size.width(), size.height(),
                                     AV_PIX_FMT_GRAY8, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const uint8_t* src[1] = {source.luma.data()};
    const int srcStride[1] = {source.width};
    uint8_t* dst[1] = {out.data()};
    const int dstStride[1] = {size.width()};
    sws_scale(sws, src, srcStride, 0, source.height, dst, dstStride);
    sws_freeContext(sws);
    return out;
}

// PSNR of `rect` of a clip frame against a picture of the rect's size.
double psnr(const Picture& frame, QRect rect, const std::vector<uint8_t>& expected)
{
    double sum = 0;
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x) {
            const double d = frame.luma[static_cast<std::size_t>((rect.y() + y) * frame.width + rect.x() + x)]
                             - expected[static_cast<std::size_t>(y * rect.width() + x)];
            sum += d * d;
        }
    const double mse = sum / (rect.width() * rect.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string run(const std::string& command, int* status = nullptr)
{
    std::string text;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    const int rc = pipe ? ::pclose(pipe) : -1;
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return text;
}

class Clip : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / ("tamek-clip-" + std::to_string(::getpid()));
        fs::create_directories(s_dir / "damaged");
        TMKDriveOptions options;
        options.startUtc = {2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), TMKSpeedProfile(20).ramp(60, 8), options);
        for (int i = 0; i < 3; ++i) {
            const std::string stem = (s_dir / ("alwa_20261107_08150" + std::to_string(i * 3))).string();
            const auto ms = static_cast<uint32_t>(i * kFileSeconds * 1000);
            std::string error;
            ASSERT_TRUE(TMKWriteH264Recording(stem + "_F.avi", drive, ms, 3000, kFront, false, {}, true, &error)) << error;
            if (i < 2) {
                ASSERT_TRUE(TMKWriteH264Recording(stem + "_R.avi", drive, ms, 3000, kRear, true, {}, true, &error));
            }
            fs::copy_file(stem + "_F.avi", s_dir / "damaged" / fs::path(stem + "_F.avi").filename());
        }
        // The middle file of the damaged copy breaks off half-way.
        const fs::path cut = s_dir / "damaged" / "alwa_20261107_081503_F.avi";
        fs::resize_file(cut, fs::file_size(cut) / 2);
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }

    static TMKTrip trip(const fs::path& dir)
    {
        TMKMediaList list;
        list.setDirectoryPath(dir.string());
        list.waitUntilIdle();
        const std::vector<TMKTrip> trips = TMKGroupTrips(list);
        return trips.empty() ? TMKTrip{} : trips.front();
    }
    // A full-size clip of the trip in `dir`, from and to seconds into it.
    static TMKClipRequest request(const fs::path& dir, double from, double to, const fs::path& output)
    {
        TMKClipRequest request;
        request.trip = trip(dir);
        request.from = from;
        request.to = to;
        request.quality = TMKClipQuality::Full;
        request.output = output.string();
        return request;
    }
    static std::string source(int file, bool rear)
    {
        return (s_dir / ("alwa_20261107_08150" + std::to_string(file * 3) + (rear ? "_R.avi" : "_F.avi"))).string();
    }

    static inline fs::path s_dir;
};

TEST(ClipTimeline, SegmentsAndTimesFollowTheTripMerge)
{
    // Files at 0 (60.5 s long: it holds its boundary second), 60 and 125:
    // a second two files hold is the first one's; a gap has no piece.
    TMKTrip t;
    for (const auto& [start, name] : std::vector<std::pair<int, std::string>>{
             {0, "/c/alwa_20261107_081500_F.avi"}, {60, "/c/alwa_20261107_081600_F.avi"}, {125, "/c/alwa_20261107_081705_F.avi"}}) {
        TMKTripRecording r;
        r.pair = TMKMediaPair::mediaPair();
        r.pair->frontMedia = TMKMedia::mediaWithPath(name);
        r.startSeconds = 1'794'039'300 + start;
        r.offsetSeconds = start;
        r.lengthSeconds = start == 0 ? 60.5 : 60;
        t.recordings.push_back(r);
    }
    const TMKLengthReader none = [](const std::string&) { return std::nullopt; };
    const auto segments = TMKClipSegments(t, TMKClipCamera::Front, 30, 150, none);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].end, 60.5);
    EXPECT_EQ(segments[1].start, 60.5);
    EXPECT_EQ(segments[1].end, 120);
    EXPECT_EQ(segments[2].start, 125);
    const auto copied = TMKClipCopySegments(t, TMKClipCamera::Front, 30, 150, none);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0].end, 60);
    EXPECT_TRUE(TMKClipSegments(t, TMKClipCamera::Rear, 0, 100, none).empty());

    const struct {
        const char* text;
        std::optional<double> seconds;
    } times[] = {{"08:15:30", 30}, {"08:16", 60}, {"75.5", 75.5}, {"08:14:59", 86399}, {"8:61:00", {}}, {"soon", {}}};
    for (const auto& row : times)
        EXPECT_EQ(TMKClipParseTime(row.text, t), row.seconds) << row.text;
}

// Each layout at the source size across the first boundary (3 s): frame k
// is the moment from + k/30, its cameras the source frames of that moment,
// the timestamps one frame apart.
TEST_F(Clip, EveryLayoutShowsTheSourceFramesOfEachMoment)
{
    std::vector<Picture> front[2] = {decodeAll(source(0, false)), decodeAll(source(1, false))};
    std::vector<Picture> rear[2] = {decodeAll(source(0, true)), decodeAll(source(1, true))};
    for (const TMKClipLayout layout :
         {TMKClipLayout::Front, TMKClipLayout::Rear, TMKClipLayout::Side, TMKClipLayout::Stack, TMKClipLayout::Pip}) {
        TMKClipRequest request = Clip::request(s_dir, 2.5, 3.5, s_dir / "layout.mp4");
        request.layout = layout;
        request.sound = false;
        const TMKClipResult result = TMKExportClip(request);
        ASSERT_TRUE(result.ok) << result.error;
        const std::vector<Picture> clip = decodeAll(request.output);
        // The camera that fills the frame sets the rate.
        const double rate = layout == TMKClipLayout::Rear ? 25 : 30;
        ASSERT_NEAR(double(clip.size()), rate, 1) << int(layout);
        TMKClipGeometry g = TMKClipLayoutGeometry(layout, TMKClipQuality::Full, {192, 108}, {128, 72});
        QRect frontArea = g.front;
        if (layout == TMKClipLayout::Pip) // the front's area above the inset
            frontArea.setBottom(g.rear.top() - 1);
        for (std::size_t k = 0; k < clip.size(); ++k) {
            EXPECT_NEAR(clip[k].seconds - clip[0].seconds, double(k) / rate, 1e-3);
            const double t = request.from + double(k) / rate;
            const int file = t < kFileSeconds ? 0 : 1;
            const double local = t - file * kFileSeconds;
            if (!g.front.isEmpty()) {
                const Picture& want = front[file][std::size_t(std::floor(local * 30 + 1e-6))];
                EXPECT_GE(psnr(clip[k], frontArea, scaled(want, g.front.size())), 35) << int(layout) << " front " << k;
            }
            if (!g.rear.isEmpty()) {
                const Picture& want = rear[file][std::size_t(std::floor(local * 25 + 1e-6))];
                EXPECT_GE(psnr(clip[k], g.rear, scaled(want, g.rear.size())), 35) << int(layout) << " rear " << k;
            }
        }
    }
}

// The strip at t is the renderer's own for that moment's telemetry, not for
// a moment a second away.
TEST_F(Clip, OverlayShowsTheTelemetryOfTheMoment)
{
    TMKClipRequest request = Clip::request(s_dir, 2, 4, s_dir / "overlay.mp4");
    request.overlay = {true, true, true, true, false};
    request.units = TMKClipUnits::Mph;
    ASSERT_TRUE(TMKExportClip(request).ok);
    const std::vector<Picture> clip = decodeAll(request.output);
    const TMKTripTelemetry telemetry = TMKReadTripTelemetry(request.trip);
    const TMKClipOverlay overlay(request.overlay, request.units, {192, 108});
    const auto strip = [&](double t) {
        const QImage image = overlay.render(TMKClipOverlaySampleAt(request.trip, telemetry, t))
                                 .convertToFormat(QImage::Format_Grayscale8);
        std::vector<uint8_t> luma;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)  // limited range, as in the clip
                luma.push_back(uint8_t(16 + image.constScanLine(y)[x] * 219 / 255));
        return luma;
    };
    for (const double t : {2.5, 3.5}) {
        const Picture& frame = clip[std::size_t((t - request.from) * 30)];
        const double same = psnr(frame, overlay.rect(), strip(t));
        EXPECT_GE(same, 30) << t;
        EXPECT_GT(same, psnr(frame, overlay.rect(), strip(t + 1.0)) + 3) << t;
    }
}

// The copy from 1.2 s is the front's own pictures, bit for bit, from its
// key frame at 1 s to the end of the first file, then the second file's to
// 4.5 s: nothing re-encoded, nothing lost at the seam.
TEST_F(Clip, CopiedPathIsTheSourcesOwnPictures)
{
    TMKClipRequest request = Clip::request(s_dir, 1.2, 4.5, s_dir / "copy.mkv");
    request.copy = true;
    const TMKClipResult result = TMKExportClip(request);
    ASSERT_TRUE(result.ok) << result.error;
    // The front's sound from the same key frame, byte for byte.
    Sound sound{1.0, kFileSeconds, {}}, after{0, 1.5, {}}, copiedSound;
    const std::vector<Picture> first = decodeAll(source(0, false), &sound);
    const std::vector<Picture> second = decodeAll(source(1, false), &after);
    const std::vector<Picture> copied = decodeAll(request.output, &copiedSound);
    std::vector<Picture> expected(first.begin() + 30, first.end());
    expected.insert(expected.end(), second.begin(), second.begin() + 45);
    ASSERT_EQ(copied.size(), expected.size());
    for (std::size_t k = 0; k < copied.size(); ++k)
        EXPECT_TRUE(copied[k].luma == expected[k].luma) << k;
    EXPECT_NEAR(copied.back().seconds - copied.front().seconds, 3.5 - 1.0 / 30, 1e-3);
    sound.bytes.insert(sound.bytes.end(), after.bytes.begin(), after.bytes.end());
    EXPECT_FALSE(sound.bytes.empty());
    EXPECT_TRUE(copiedSound.bytes == sound.bytes) << copiedSound.bytes.size() << " bytes, " << sound.bytes.size();
}

// Cancel leaves no file, nor a part of one; a recording broken off in
// mid-span is told, and its readable part kept only when the caller agrees.
TEST_F(Clip, CancelAndDamageLeaveOnlyWhatTheCallerWants)
{
    const fs::path out = s_dir / "damaged" / "clip.mp4";
    const TMKClipRequest request = Clip::request(s_dir / "damaged", 1, 8, out);

    TMKClipWorker worker;
    worker.start(request);
    worker.cancel();
    worker.wait();
    EXPECT_TRUE(worker.result().cancelled);
    EXPECT_FALSE(fs::exists(out));

    for (const bool keep : {false, true}) {
        TMKClipCallbacks callbacks;
        std::string told;
        callbacks.keepPartial = [&](const std::string& e) { return told = e, keep; };
        const TMKClipResult result = TMKExportClip(request, callbacks);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(told.find("alwa_20261107_081503_F.avi: the recording is damaged"), std::string::npos) << told;
        EXPECT_EQ(result.partial, keep);
        EXPECT_EQ(fs::exists(out), keep);
        if (keep) { // 2 s of the first file and what the second gave up to its break
            EXPECT_LT(decodeAll(out.string()).size(), 30u * 4);
        }
    }
    for (const auto& entry : fs::directory_iterator(s_dir / "damaged"))
        EXPECT_EQ(entry.path().extension(), entry.path() == out ? ".mp4" : ".avi") << entry.path();
}

// The command line: clock times, ffprobe's view of the file, and outputs
// that cannot be written.
TEST_F(Clip, CommandLineWritesWholeFilesOrSaysWhyNot)
{
    const std::string clip = std::string(TAMEK_CLIP_BIN) + " --from 08:15:02 --to 08:15:04 --layout pip "
                             "--overlay time,speed,gtrace " + s_dir.string() + " --output ";
    int status = -1;
    const fs::path out = s_dir / "cli.mp4";
    fs::create_symlink(out, s_dir / "link.mp4"); // dangling: names the new file
    EXPECT_EQ(run(clip + (s_dir / "link.mp4").string(), &status), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run("ffprobe -v error -show_entries stream=codec_name,width,height:format=duration -of csv=p=0 " + out.string()),
              "h264,1280,720\naac\n2.000000\n");

    ASSERT_EQ(::mkfifo((s_dir / "fifo.mp4").c_str(), 0600), 0);
    const int held = ::open((s_dir / ".busy.mp4.part").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const struct {
        std::string output;
        const char* says;
    } refused[] = {{"/dev/full", "/dev/full"}, {(s_dir / "fifo.mp4").string(), "fifo.mp4"},
                   {"/proc/clip.mp4", "cannot write here"}, {(s_dir / "busy.mp4").string(), "another export"}};
    for (const auto& row : refused) {
        const std::string text = run(clip + row.output, &status);
        EXPECT_EQ(status, 1) << row.output;
        EXPECT_NE(text.find(row.says), std::string::npos) << text;
    }
    ::close(held);
    EXPECT_FALSE(fs::exists(s_dir / "busy.mp4"));

    // A FIFO named like a recording is refused, not waited on.
    fs::create_directories(s_dir / "pipe");
    ASSERT_EQ(::mkfifo((s_dir / "pipe" / "alwa_20261107_090000_F.avi").c_str(), 0600), 0);
    const std::string text = run(std::string(TAMEK_CLIP_BIN) + " --from 0 --to 1 --output " + (s_dir / "p.mp4").string()
                                 + " " + (s_dir / "pipe").string(), &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find("not a regular file"), std::string::npos) << text;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TMKSetLogSink({});
    av_log_set_level(AV_LOG_ERROR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
