#include "TMKH264Recording.h"

#include "TMKAviWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include <cmath>
#include <memory>

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

// Moves every packet the encoder has ready into the writer.
bool drain(AVCodecContext* codec, AVPacket* packet, TMKAviWriter& writer, uint32_t fps)
{
    for (;;) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return false;
        const auto ms = static_cast<uint32_t>(packet->pts * 1000 / fps);
        writer.addVideoFrame(ms, std::vector<uint8_t>(packet->data, packet->data + packet->size),
                             (packet->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(packet);
    }
}

} // namespace

void TMKPaintTestFrame(uint32_t index, bool rear, uint32_t width, uint32_t height, uint8_t* const planes[3],
                       const int strides[3])
{
    const uint32_t shift = index * 3;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = planes[0] + static_cast<std::ptrdiff_t>(y) * strides[0];
        for (uint32_t x = 0; x < width; ++x)
            row[x] = static_cast<uint8_t>(40 + ((x * 160 / width + y * 80 / height + shift) % 160));
    }
    // The walking block: an eighth of the picture, a step of a quarter of
    // its width per frame.
    const uint32_t bw = std::max(width / 8, 2u);
    const uint32_t bh = std::max(height / 4, 2u);
    const uint32_t bx = (index * bw / 4) % (width - bw);
    const uint32_t by = (index / 7 * bh / 2) % (height - bh);
    for (uint32_t y = by; y < by + bh; ++y)
        std::fill_n(planes[0] + static_cast<std::ptrdiff_t>(y) * strides[0] + bx, bw, static_cast<uint8_t>(rear ? 60 : 230));
    for (uint32_t y = 0; y < height / 2; ++y) {
        uint8_t* u = planes[1] + static_cast<std::ptrdiff_t>(y) * strides[1];
        uint8_t* v = planes[2] + static_cast<std::ptrdiff_t>(y) * strides[2];
        for (uint32_t x = 0; x < width / 2; ++x) {
            const bool block = x * 2 >= bx && x * 2 < bx + bw && y * 2 >= by && y * 2 < by + bh;
            u[x] = static_cast<uint8_t>(block ? (rear ? 200 : 60) : 128 + (rear ? 20 : -20) + (x * 40 / width));
            v[x] = static_cast<uint8_t>(block ? (rear ? 80 : 200) : 128 + (rear ? -10 : 10) + (y * 40 / height));
        }
    }
}

bool TMKWriteH264Recording(const std::string& path, const TMKDriveSimulator& drive, uint32_t startMs,
                           uint32_t durationMs, const TMKH264Format& format, bool rear, const TMKYuvPainter& painter,
                           bool repeatBoundary, std::string* error)
{
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264) {
        setError(error, "libavcodec has no libx264 encoder");
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecContextFree> codec(avcodec_alloc_context3(x264));
    codec->width = static_cast<int>(format.width);
    codec->height = static_cast<int>(format.height);
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = AVRational{1, static_cast<int>(format.framesPerSecond)};
    codec->framerate = AVRational{static_cast<int>(format.framesPerSecond), 1};
    codec->gop_size = static_cast<int>(format.framesPerSecond);
    codec->max_b_frames = 0;
    av_opt_set(codec->priv_data, "preset", format.preset, 0);
    av_opt_set_int(codec->priv_data, "crf", format.crf, 0);
    // Parameter sets before every key frame: each file, and each copy cut
    // at a key frame, decodes on its own.
    av_opt_set(codec->priv_data, "x264-params", "repeat-headers=1:scenecut=0", 0);
    if (avcodec_open2(codec.get(), x264, nullptr) < 0) {
        setError(error, "cannot open the H.264 encoder");
        return false;
    }

    TMKAviVideoFormat video{format.width, format.height, format.framesPerSecond, "H264"};
    const TMKAviAudioFormat audio{8000, 1, 8};
    TMKAviWriter writer(video, audio);
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = codec->width;
    frame->height = codec->height;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        setError(error, "out of memory");
        return false;
    }
    const auto frames = static_cast<uint32_t>(uint64_t{durationMs} * format.framesPerSecond / 1000);
    for (uint32_t i = 0; i < frames; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            setError(error, "out of memory");
            return false;
        }
        const uint32_t index = static_cast<uint32_t>(uint64_t{startMs} * format.framesPerSecond / 1000) + i;
        const int strides[3] = {frame->linesize[0], frame->linesize[1], frame->linesize[2]};
        if (painter)
            painter(index, frame->data, strides);
        else
            TMKPaintTestFrame(index, rear, format.width, format.height, frame->data, strides);
        frame->pts = i;
        if (avcodec_send_frame(codec.get(), frame.get()) < 0 || !drain(codec.get(), packet.get(), writer, format.framesPerSecond)) {
            setError(error, "H.264 encoding failed");
            return false;
        }
    }
    if (avcodec_send_frame(codec.get(), nullptr) < 0 || !drain(codec.get(), packet.get(), writer, format.framesPerSecond)) {
        setError(error, "H.264 encoding failed");
        return false;
    }

    // A quiet tone whose pitch follows the drive time, in 100 ms blocks.
    for (uint32_t ms = 0; ms < durationMs; ms += 100) {
        std::vector<uint8_t> pcm(800);
        for (std::size_t s = 0; s < pcm.size(); ++s) {
            const double t = (startMs + ms) / 1000.0 + static_cast<double>(s) / 8000.0;
            pcm[s] = static_cast<uint8_t>(std::lround(128 + 20 * std::sin(2 * 3.14159265358979 * 220 * t)));
        }
        writer.addAudio(ms, std::move(pcm));
    }
    const TMKTelemetry telemetry = drive.record(startMs, durationMs + (repeatBoundary ? 1u : 0u));
    for (const auto& sample : telemetry.gsensor)
        writer.addGSensor(sample);
    for (const auto& gps : telemetry.gps)
        writer.addGps(gps);
    return writer.write(path, error);
}
