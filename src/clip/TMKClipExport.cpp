#include "clip/TMKClipExport.h"

#include "base/TKAtomicFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FormatInputFree {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string clockText(double seconds)
{
    const auto s = static_cast<long>(std::floor(std::max(0.0, seconds)));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

int even(double value)
{
    return static_cast<int>(std::lround(value / 2)) * 2;
}

// Fits `source` into `cell`, kept in proportion and centred, on even pixels.
QRect fit(QSize source, QRect cell)
{
    if (source.isEmpty())
        return cell;
    const double scale = std::min(double(cell.width()) / source.width(), double(cell.height()) / source.height());
    const int w = std::min(cell.width(), std::max(2, even(source.width() * scale)));
    const int h = std::min(cell.height(), std::max(2, even(source.height() * scale)));
    return QRect(cell.x() + even((cell.width() - w) / 2.0), cell.y() + even((cell.height() - h) / 2.0), w, h);
}

// A recording named like one may be a FIFO or a device, which the demuxer
// would wait on or read forever.
std::optional<std::string> notRegular(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return path + ": " + std::strerror(errno);
    if (!S_ISREG(info.st_mode))
        return path + ": not a regular file";
    return std::nullopt;
}

// One recording opened for decoding: frames in time order, the one shown
// at any moment, its sound handed to a sink as it goes by.
class Source {
public:
    using AudioSink = std::function<void(AVFrame* frame, double seconds)>;

    std::optional<std::string> open(const std::string& path, AudioSink audio)
    {
        if (auto refusal = notRegular(path))
            return refusal;
        AVFormatContext* raw = nullptr;
        if (const int e = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); e < 0)
            return path + ": " + avError(e);
        m_format.reset(raw);
        if (const int e = avformat_find_stream_info(raw, nullptr); e < 0)
            return path + ": " + avError(e);
        m_video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (m_video < 0)
            return path + ": no video stream";
        if (auto e = openDecoder(m_video, m_videoCodec))
            return path + ": " + *e;
        if (audio) {
            m_audio = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            if (m_audio >= 0 && !openDecoder(m_audio, m_audioCodec))
                m_audioSink = std::move(audio);
            else
                m_audio = -1;
        }
        const AVRational rate = av_guess_frame_rate(raw, raw->streams[m_video], nullptr);
        m_rate = rate.num > 0 && rate.den > 0 ? rate : AVRational{30, 1};
        m_packet.reset(av_packet_alloc());
        m_path = path;
        return std::nullopt;
    }

    [[nodiscard]] QSize size() const { return {m_videoCodec->width, m_videoCodec->height}; }
    [[nodiscard]] AVRational rate() const { return m_rate; }
    [[nodiscard]] double frameSeconds() const { return av_q2d(av_inv_q(m_rate)); }
    [[nodiscard]] const std::string& path() const { return m_path; }
    // Past the last frame that could be read.
    [[nodiscard]] bool ended() const { return m_ended && !m_next; }
    [[nodiscard]] double lastSeconds() const { return m_currentSeconds; }
    [[nodiscard]] const std::string& readError() const { return m_readError; }

    // The frame shown at `seconds` of the file; null before its first.
    AVFrame* at(double seconds)
    {
        if (!m_started) {
            m_started = true;
            // Far into the file: start at the key frame before, not at 0.
            if (seconds > 2) {
                const AVStream* s = m_format->streams[m_video];
                const auto ts = static_cast<int64_t>(seconds / av_q2d(s->time_base));
                if (av_seek_frame(m_format.get(), m_video, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
                    avcodec_flush_buffers(m_videoCodec.get());
                    if (m_audioCodec)
                        avcodec_flush_buffers(m_audioCodec.get());
                }
            }
        }
        // Only rounding: a frame due a little after the moment is not shown yet.
        const double slack = 1e-3;
        for (;;) {
            if (!m_next && !m_ended)
                m_next = decodeNext(m_nextSeconds);
            if (!m_next || m_nextSeconds > seconds + slack)
                break;
            m_current = std::move(m_next);
            m_currentSeconds = m_nextSeconds;
        }
        return m_current.get();
    }

private:
    std::optional<std::string> openDecoder(int index, CodecPtr& codec)
    {
        const AVCodecParameters* par = m_format->streams[index]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
        if (!decoder)
            return std::string("no decoder for ") + avcodec_get_name(par->codec_id);
        codec.reset(avcodec_alloc_context3(decoder));
        avcodec_parameters_to_context(codec.get(), par);
        codec->thread_count = 0;
        codec->pkt_timebase = m_format->streams[index]->time_base;
        if (const int e = avcodec_open2(codec.get(), decoder, nullptr); e < 0)
            return avError(e);
        return std::nullopt;
    }

    double secondsOf(const AVFrame* frame, int stream) const
    {
        const AVStream* s = m_format->streams[stream];
        int64_t ts = frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE)
            ts = frame->pts;
        if (ts == AV_NOPTS_VALUE)
            return m_currentSeconds + frameSeconds();
        if (s->start_time != AV_NOPTS_VALUE)
            ts -= s->start_time;
        return static_cast<double>(ts) * av_q2d(s->time_base);
    }

    void feedAudio(const AVPacket* packet)
    {
        if (avcodec_send_packet(m_audioCodec.get(), packet) < 0)
            return;
        FramePtr frame(av_frame_alloc());
        while (avcodec_receive_frame(m_audioCodec.get(), frame.get()) >= 0) {
            m_audioSink(frame.get(), secondsOf(frame.get(), m_audio));
            av_frame_unref(frame.get());
        }
    }

    FramePtr decodeNext(double& seconds)
    {
        FramePtr frame(av_frame_alloc());
        for (;;) {
            if (avcodec_receive_frame(m_videoCodec.get(), frame.get()) >= 0) {
                seconds = secondsOf(frame.get(), m_video);
                return frame;
            }
            if (m_flushed) {
                m_ended = true;
                return nullptr;
            }
            const int got = av_read_frame(m_format.get(), m_packet.get());
            if (got < 0) {
                if (got != AVERROR_EOF)
                    m_readError = avError(got);
                avcodec_send_packet(m_videoCodec.get(), nullptr);
                m_flushed = true;
                continue;
            }
            if (m_packet->stream_index == m_video)
                avcodec_send_packet(m_videoCodec.get(), m_packet.get()); // a damaged packet is concealed or skipped
            else if (m_packet->stream_index == m_audio)
                feedAudio(m_packet.get());
            av_packet_unref(m_packet.get());
        }
    }

    std::unique_ptr<AVFormatContext, FormatInputFree> m_format;
    CodecPtr m_videoCodec;
    CodecPtr m_audioCodec;
    PacketPtr m_packet;
    AudioSink m_audioSink;
    std::string m_path;
    std::string m_readError;
    int m_video = -1;
    int m_audio = -1;
    AVRational m_rate{30, 1};
    bool m_started = false;
    bool m_flushed = false;
    bool m_ended = false;
    FramePtr m_current;
    FramePtr m_next;
    double m_currentSeconds = 0;
    double m_nextSeconds = 0;
};

// The file being made: ".NAME.part" beside the target, held under an
// exclusive lock so that a second export to the same name is refused; a part
// left by a crash is taken over. Renamed over the target when whole.
class OutputFile {
public:
    ~OutputFile() { abandon(); }

    std::optional<std::string> open(const std::string& path)
    {
        const std::optional<std::string> target = TKWriteTarget(path);
        if (!target)
            return path + ": too many levels of symbolic links";
        if (auto refusal = TKCheckReplaceable(*target))
            return refusal;
        m_target = *target;
        const std::size_t slash = m_target.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : m_target.substr(0, slash);
        const std::string name = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
        m_temp = dir + "/." + name + ".part";
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
        if (m_fd < 0)
            return dir + ": cannot write here (" + std::strerror(errno) + ")";
        struct stat info {};
        if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(m_fd);
            m_fd = -1;
            return m_temp + ": in the way, not a file of ours";
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
            m_temp.clear(); // the other export's
            return m_target + ": another export is writing this file";
        }
        if (::ftruncate(m_fd, 0) != 0)
            return fail("ftruncate");
        return std::nullopt;
    }

    [[nodiscard]] const std::string& temporaryPath() const { return m_temp; }

    std::optional<std::string> commit()
    {
        if (::fsync(m_fd) != 0)
            return fail("fsync");
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
            return fail("rename");
        m_temp.clear();
        const std::size_t slash = m_target.rfind('/');
        const int dir = ::open(slash == std::string::npos ? "." : m_target.substr(0, slash).c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        ::close(m_fd);
        m_fd = -1;
        return std::nullopt;
    }

    void abandon()
    {
        if (!m_temp.empty())
            ::unlink(m_temp.c_str());
        m_temp.clear();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    std::string fail(const char* step)
    {
        const std::string text = m_target + ": " + step + ": " + std::strerror(errno);
        abandon();
        return text;
    }

    std::string m_target;
    std::string m_temp;
    int m_fd = -1;
};

// The muxer over the output file, with its write errors kept.
class Muxer {
public:
    ~Muxer() { close(); }

    std::optional<std::string> open(const std::string& path, const char* format)
    {
        if (const int e = avformat_alloc_output_context2(&m_context, nullptr, format, path.c_str()); e < 0)
            return avError(e);
        if (const int e = avio_open(&m_context->pb, path.c_str(), AVIO_FLAG_WRITE); e < 0)
            return path + ": " + avError(e);
        return std::nullopt;
    }
    AVFormatContext* get() const { return m_context; }

    std::optional<std::string> write(AVPacket* packet)
    {
        const int e = av_interleaved_write_frame(m_context, packet);
        if (e < 0 || m_context->pb->error < 0)
            return "write: " + avError(e < 0 ? e : m_context->pb->error);
        return std::nullopt;
    }

    std::optional<std::string> finish()
    {
        int e = av_write_trailer(m_context);
        if (e >= 0)
            e = m_context->pb->error;
        if (e >= 0) {
            avio_flush(m_context->pb);
            e = m_context->pb->error;
        }
        const int closed = avio_closep(&m_context->pb);
        if (e >= 0)
            e = closed;
        if (e < 0)
            return "write: " + avError(e);
        return std::nullopt;
    }

    void close()
    {
        if (!m_context)
            return;
        if (m_context->pb)
            avio_closep(&m_context->pb);
        avformat_free_context(m_context);
        m_context = nullptr;
    }

private:
    AVFormatContext* m_context = nullptr;
};

// Copies `cell`-sized YUV 4:2:0 pictures into place in the frame.
void copyInto(AVFrame* out, const AVFrame* picture, QRect at)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        uint8_t* dst = out->data[plane] + static_cast<std::ptrdiff_t>(at.y() >> shift) * out->linesize[plane] + (at.x() >> shift);
        av_image_copy_plane(dst, out->linesize[plane], picture->data[plane], picture->linesize[plane],
                            at.width() >> shift, at.height() >> shift);
    }
}

FramePtr yuvOf(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = argb.width();
    frame->height = argb.height();
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    SwsContext* sws = sws_getContext(argb.width(), argb.height(), AV_PIX_FMT_BGRA, argb.width(), argb.height(),
                                     AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
    const uint8_t* src[1] = {argb.constBits()};
    const int stride[1] = {static_cast<int>(argb.bytesPerLine())};
    sws_scale(sws, src, stride, 0, argb.height(), frame->data, frame->linesize);
    sws_freeContext(sws);
    return frame;
}

// The camera's placeholder where it has no recording: the viewer's dark
// panel with the camera's name.
FramePtr placeholder(QSize size, TMKClipCamera camera)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(28, 30, 34));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, size.height() / 10));
    painter.setFont(font);
    painter.setPen(QColor(120, 124, 130));
    painter.drawText(image.rect(), Qt::AlignCenter,
                     camera == TMKClipCamera::Front ? QStringLiteral("FRONT: no recording")
                                                    : QStringLiteral("REAR: no recording"));
    painter.end();
    return yuvOf(image);
}

struct Camera {
    TMKClipCamera which = TMKClipCamera::Front;
    QRect rect;
    std::vector<TMKClipSegment> segments;
    std::size_t segment = 0;
    std::optional<std::size_t> openSegment;
    std::unique_ptr<Source> source;
    FramePtr placeholder;
    SwsContext* scaler = nullptr;
};

class Exporter {
public:
    Exporter(const TMKClipRequest& request, const TMKClipCallbacks& callbacks) : m_request(request), m_callbacks(callbacks) {}
    ~Exporter()
    {
        stopEncoder(false);
        for (Camera& c : m_cameras)
            sws_freeContext(c.scaler);
    }

    TMKClipResult run();

private:
    std::optional<std::string> prepare();
    std::optional<std::string> openEncoders(QSize frame, AVRational rate, int audioRate, int audioChannels);
    std::optional<std::string> sourceFrame(Camera& camera, double seconds, AVFrame*& picture);
    std::optional<std::string> encodeVideo(AVFrame* frame);
    std::optional<std::string> drain(AVCodecContext* codec, AVStream* stream, AVPacket* packet);
    void startEncoder();
    std::optional<std::string> submit(FramePtr frame);
    std::optional<std::string> stopEncoder(bool encodeQueued);
    void pushAudio(AVFrame* frame, double tripSeconds, double segmentEnd);
    std::optional<std::string> encodeAudio(bool all);
    TMKClipResult finish(std::optional<std::string> failure, bool damaged);
    TMKClipResult copy();
    bool cancelled() const { return m_callbacks.cancelled && m_callbacks.cancelled(); }
    void tell(int64_t done, int64_t total);

    const TMKClipRequest& m_request;
    const TMKClipCallbacks& m_callbacks;
    std::vector<Camera> m_cameras;
    OutputFile m_file;
    Muxer m_muxer;
    CodecPtr m_video;
    CodecPtr m_audio;
    AVStream* m_videoStream = nullptr;
    AVStream* m_audioStream = nullptr;
    PacketPtr m_packet{av_packet_alloc()};
    PacketPtr m_videoPacket{av_packet_alloc()};
    // The encoder runs on a thread of its own, a few frames behind the
    // decoding and composing, so that neither waits for the other.
    std::thread m_encoder;
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<FramePtr> m_queue;
    bool m_queueClosed = false;
    std::optional<std::string> m_encodeError;
    std::mutex m_muxMutex; // the muxer takes the video and the sound packets
    std::unique_ptr<SwrContext, SwrFree> m_swr;
    std::unique_ptr<AVAudioFifo, FifoFree> m_fifo;
    int64_t m_audioWritten = 0; // samples handed to the encoder
    int64_t m_frames = 0;
    std::unique_ptr<TMKClipOverlay> m_overlay;
    QString m_overlayKey;
    FramePtr m_overlayFrame;
    TMKTripTelemetry m_telemetry;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

void Exporter::tell(int64_t done, int64_t total)
{
    if (!m_callbacks.progress)
        return;
    TMKClipProgress p{done, total, -1};
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    if (done > 0)
        p.secondsLeft = elapsed / static_cast<double>(done) * static_cast<double>(total - done);
    m_callbacks.progress(p);
}

std::optional<std::string> Exporter::sourceFrame(Camera& camera, double seconds, AVFrame*& picture)
{
    picture = nullptr;
    while (camera.segment < camera.segments.size() && seconds >= camera.segments[camera.segment].end)
        ++camera.segment;
    if (camera.segment >= camera.segments.size() || seconds < camera.segments[camera.segment].start)
        return std::nullopt;
    const TMKClipSegment& segment = camera.segments[camera.segment];
    if (camera.openSegment != camera.segment) {
        camera.source = std::make_unique<Source>();
        camera.openSegment = camera.segment;
        Source::AudioSink sink;
        if (m_audio && camera.which == TMKClipCamera::Front) {
            const double offset = segment.offset;
            const double end = segment.end;
            sink = [this, offset, end](AVFrame* frame, double local) { pushAudio(frame, offset + local, end); };
        }
        if (auto error = camera.source->open(segment.path, std::move(sink)))
            return error;
    }
    Source& source = *camera.source;
    const double local = seconds - segment.offset;
    picture = source.at(local);
    // A file that stops giving frames before its length is damaged there.
    if (source.ended() && local - source.lastSeconds() > 1.5 * source.frameSeconds()) {
        const double at = segment.offset + (picture ? source.lastSeconds() + source.frameSeconds() : 0.0);
        return segment.path + ": the recording is damaged, unreadable from " + clockText(at - m_request.from)
               + " of the clip" + (source.readError().empty() ? "" : " (" + source.readError() + ")");
    }
    return std::nullopt;
}

std::optional<std::string> Exporter::openEncoders(QSize frame, AVRational rate, int audioRate, int audioChannels)
{
    AVFormatContext* fmt = m_muxer.get();
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264)
        return std::string("libavcodec has no libx264 encoder");
    m_video.reset(avcodec_alloc_context3(x264));
    m_video->width = frame.width();
    m_video->height = frame.height();
    m_video->pix_fmt = AV_PIX_FMT_YUV420P;
    m_video->time_base = av_inv_q(rate);
    m_video->framerate = rate;
    m_video->thread_count = 0;
    if (fmt->oformat->flags & AVFMT_GLOBALHEADER)
        m_video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(m_video->priv_data, "preset", m_request.preset.c_str(), 0);
    if (m_request.quality == TMKClipQuality::Share) {
        m_video->bit_rate = 4'000'000;
    } else {
        av_opt_set(m_video->priv_data, "crf", "20", 0);
    }
    if (const int e = avcodec_open2(m_video.get(), x264, nullptr); e < 0)
        return "H.264 encoder: " + avError(e);
    m_videoStream = avformat_new_stream(fmt, nullptr);
    avcodec_parameters_from_context(m_videoStream->codecpar, m_video.get());
    m_videoStream->time_base = m_video->time_base;
    m_videoStream->avg_frame_rate = rate;

    if (audioRate > 0) {
        const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!aac)
            return std::string("libavcodec has no AAC encoder");
        m_audio.reset(avcodec_alloc_context3(aac));
        m_audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        m_audio->sample_rate = audioRate;
        av_channel_layout_default(&m_audio->ch_layout, audioChannels);
        m_audio->bit_rate = std::min<int64_t>(128'000, int64_t{audioRate} * audioChannels * 4);
        m_audio->time_base = AVRational{1, audioRate};
        if (fmt->oformat->flags & AVFMT_GLOBALHEADER)
            m_audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (const int e = avcodec_open2(m_audio.get(), aac, nullptr); e < 0)
            return "AAC encoder: " + avError(e);
        m_audioStream = avformat_new_stream(fmt, nullptr);
        avcodec_parameters_from_context(m_audioStream->codecpar, m_audio.get());
        m_audioStream->time_base = m_audio->time_base;
        m_fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, audioChannels, audioRate));
    }
    if (const int e = avformat_write_header(fmt, nullptr); e < 0)
        return "write: " + avError(e);
    return std::nullopt;
}

void Exporter::pushAudio(AVFrame* in, double tripSeconds, double segmentEnd)
{
    if (!m_audio || tripSeconds >= segmentEnd || tripSeconds >= m_request.to)
        return;
    const int rate = m_audio->sample_rate;
    if (!m_swr) {
        SwrContext* swr = nullptr;
        if (swr_alloc_set_opts2(&swr, &m_audio->ch_layout, AV_SAMPLE_FMT_FLTP, rate, &in->ch_layout,
                                static_cast<AVSampleFormat>(in->format), in->sample_rate, 0, nullptr) < 0
            || swr_init(swr) < 0) {
            swr_free(&swr);
            return;
        }
        m_swr.reset(swr);
    }
    FramePtr out(av_frame_alloc());
    out->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_copy(&out->ch_layout, &m_audio->ch_layout);
    out->sample_rate = rate;
    if (swr_convert_frame(m_swr.get(), out.get(), in) < 0 || out->nb_samples <= 0)
        return;
    const auto position = std::llround((tripSeconds - m_request.from) * rate);
    const auto limit = std::llround((std::min(segmentEnd, m_request.to) - m_request.from) * rate);
    const int64_t end = m_audioWritten + av_audio_fifo_size(m_fifo.get());
    // Silence up to a later start (a gap, a camera without sound for a while).
    if (position > end) {
        const auto gap = static_cast<int>(std::min<int64_t>(position - end, int64_t{rate} * 10));
        FramePtr silence(av_frame_alloc());
        silence->format = AV_SAMPLE_FMT_FLTP;
        silence->nb_samples = gap;
        av_channel_layout_copy(&silence->ch_layout, &m_audio->ch_layout);
        if (av_frame_get_buffer(silence.get(), 0) >= 0) {
            av_samples_set_silence(silence->data, 0, gap, m_audio->ch_layout.nb_channels, AV_SAMPLE_FMT_FLTP);
            av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(silence->data), gap);
        }
    }
    const int64_t from = std::max<int64_t>(position, m_audioWritten + av_audio_fifo_size(m_fifo.get()));
    const int64_t skip = from - position;
    const int64_t count = std::min<int64_t>(out->nb_samples - skip, limit - from);
    if (skip < 0 || count <= 0)
        return;
    void* planes[8];
    for (int c = 0; c < m_audio->ch_layout.nb_channels && c < 8; ++c)
        planes[c] = out->data[c] + skip * static_cast<int64_t>(sizeof(float));
    av_audio_fifo_write(m_fifo.get(), planes, static_cast<int>(count));
}

std::optional<std::string> Exporter::encodeAudio(bool all)
{
    if (!m_audio)
        return std::nullopt;
    const int frameSize = m_audio->frame_size > 0 ? m_audio->frame_size : 1024;
    while (av_audio_fifo_size(m_fifo.get()) >= frameSize || (all && av_audio_fifo_size(m_fifo.get()) > 0)) {
        const int n = std::min(frameSize, av_audio_fifo_size(m_fifo.get()));
        FramePtr frame(av_frame_alloc());
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->nb_samples = n;
        frame->sample_rate = m_audio->sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &m_audio->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return std::string("out of memory");
        av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame->data), n);
        frame->pts = m_audioWritten;
        m_audioWritten += n;
        if (avcodec_send_frame(m_audio.get(), frame.get()) < 0)
            return std::string("AAC encoding failed");
        if (auto e = drain(m_audio.get(), m_audioStream, m_packet.get()))
            return e;
    }
    return std::nullopt;
}

std::optional<std::string> Exporter::drain(AVCodecContext* codec, AVStream* stream, AVPacket* packet)
{
    for (;;) {
        const int got = avcodec_receive_packet(codec, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return std::nullopt;
        if (got < 0)
            return "encoding: " + avError(got);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        const std::lock_guard lock(m_muxMutex);
        if (auto e = m_muxer.write(packet))
            return e;
    }
}

std::optional<std::string> Exporter::encodeVideo(AVFrame* frame)
{
    if (avcodec_send_frame(m_video.get(), frame) < 0)
        return std::string("H.264 encoding failed");
    return drain(m_video.get(), m_videoStream, m_videoPacket.get());
}

void Exporter::startEncoder()
{
    m_encoder = std::thread([this] {
        for (;;) {
            FramePtr frame;
            {
                std::unique_lock lock(m_queueMutex);
                m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_queueClosed; });
                if (m_queue.empty())
                    return;
                frame = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_queueChanged.notify_all();
            auto error = encodeVideo(frame.get());
            if (error) {
                const std::lock_guard lock(m_queueMutex);
                m_encodeError = std::move(error);
                m_queue.clear();
                m_queueClosed = true;
                m_queueChanged.notify_all();
                return;
            }
        }
    });
}

std::optional<std::string> Exporter::submit(FramePtr frame)
{
    constexpr std::size_t kAhead = 3;
    std::unique_lock lock(m_queueMutex);
    m_queueChanged.wait(lock, [this] { return m_queue.size() < kAhead || m_encodeError; });
    if (m_encodeError)
        return m_encodeError;
    m_queue.push_back(std::move(frame));
    m_queueChanged.notify_all();
    return std::nullopt;
}

std::optional<std::string> Exporter::stopEncoder(bool encodeQueued)
{
    if (!m_encoder.joinable())
        return std::nullopt;
    {
        const std::lock_guard lock(m_queueMutex);
        if (!encodeQueued)
            m_queue.clear();
        m_queueClosed = true;
    }
    m_queueChanged.notify_all();
    m_encoder.join();
    return m_encodeError;
}

std::optional<std::string> Exporter::prepare()
{
    if (!(m_request.to > m_request.from) || m_request.from < 0)
        return std::string("the clip's end must come after its start");
    if (m_request.trip.recordings.empty())
        return std::string("no recordings");
    return m_file.open(m_request.output);
}

TMKClipResult Exporter::finish(std::optional<std::string> failure, bool damaged)
{
    // What was composed is encoded before the end is written; a failure of
    // the encoder itself outranks the reason given.
    if (auto e = stopEncoder(!cancelled() && (!failure || damaged)))
        failure = e;
    TMKClipResult result;
    result.frames = m_frames;
    if (cancelled()) {
        m_file.abandon();
        result.cancelled = true;
        result.error = "cancelled";
        return result;
    }
    // The part made so far is kept only when it is readable (damage in a
    // recording, not a failing disk) and the caller wants it.
    bool keep = !failure;
    if (failure && damaged && m_frames > 0 && m_callbacks.keepPartial)
        keep = m_callbacks.keepPartial(*failure);
    if (keep) {
        std::optional<std::string> end;
        if (m_video) {
            if (!(end = encodeVideo(nullptr)))
                end = encodeAudio(true);
            if (!end && m_audio && avcodec_send_frame(m_audio.get(), nullptr) >= 0)
                end = drain(m_audio.get(), m_audioStream, m_packet.get());
        }
        if (!end)
            end = m_muxer.finish();
        if (!end)
            end = m_file.commit();
        if (end) {
            failure = failure ? *failure + "; " + *end : *end;
            keep = false;
        }
    }
    if (!keep) {
        m_muxer.close();
        m_file.abandon();
    }
    result.ok = !failure;
    result.partial = keep && failure;
    if (failure)
        result.error = *failure;
    return result;
}

TMKClipResult Exporter::run()
{
    if (auto e = prepare()) {
        TMKClipResult r;
        r.error = *e;
        return r;
    }
    if (m_request.copy)
        return copy();

    const TMKClipLayout layout = m_request.layout;
    const bool wantFront = layout != TMKClipLayout::Rear;
    const bool wantRear = layout != TMKClipLayout::Front;
    std::vector<TMKClipSegment> front = TMKClipSegments(m_request.trip, TMKClipCamera::Front, m_request.from,
                                                        m_request.to, m_request.lengthOf);
    std::vector<TMKClipSegment> rear = TMKClipSegments(m_request.trip, TMKClipCamera::Rear, m_request.from, m_request.to,
                                                       m_request.lengthOf);
    if ((!wantFront || front.empty()) && (!wantRear || rear.empty()))
        return finish("no recording of the chosen camera in the span", false);

    // Sizes and the rate from the first file of each camera; the output runs
    // at the rate of the camera that fills the frame.
    QSize frontSize;
    QSize rearSize;
    AVRational rate{0, 1};
    int audioRate = 0;
    int audioChannels = 1;
    for (const auto* list : {&front, &rear}) {
        if (list->empty())
            continue;
        Source probe;
        if (auto e = probe.open(list->front().path, {}))
            return finish(e, false);
        (list == &front ? frontSize : rearSize) = probe.size();
        const bool lead = list == &front ? wantFront : !wantFront || front.empty();
        if (lead && rate.num == 0)
            rate = probe.rate();
    }
    if (rate.num == 0)
        rate = AVRational{30, 1};
    if (m_request.sound && !front.empty() && !notRegular(front.front().path)) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, front.front().path.c_str(), nullptr, nullptr) >= 0) {
            if (avformat_find_stream_info(raw, nullptr) >= 0) {
                const int a = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
                if (a >= 0) {
                    audioRate = raw->streams[a]->codecpar->sample_rate;
                    audioChannels = std::clamp(raw->streams[a]->codecpar->ch_layout.nb_channels, 1, 2);
                }
            }
            avformat_close_input(&raw);
        }
    }
    if (frontSize.isEmpty())
        frontSize = rearSize;
    if (rearSize.isEmpty())
        rearSize = frontSize;

    const QSize outSize = TMKClipLayoutGeometry(layout, m_request.quality, frontSize, rearSize).frame;
    if (m_request.overlay.any())
        m_overlay = std::make_unique<TMKClipOverlay>(m_request.overlay, m_request.units, outSize);
    const TMKClipGeometry geometry =
        TMKClipLayoutGeometry(layout, m_request.quality, frontSize, rearSize, m_request.pipCorner, m_request.pipScale,
                              m_overlay ? m_overlay->rect().height() : 0);
    // Drawn in order: the inset last, over the front.
    const auto add = [this](TMKClipCamera which, QRect rect, std::vector<TMKClipSegment> segments) {
        Camera& c = m_cameras.emplace_back();
        c.which = which;
        c.rect = rect;
        c.segments = std::move(segments);
    };
    if (wantFront)
        add(TMKClipCamera::Front, geometry.front, std::move(front));
    if (wantRear)
        add(TMKClipCamera::Rear, geometry.rear, std::move(rear));
    for (Camera& c : m_cameras)
        c.placeholder = placeholder(c.rect.size(), c.which);
    if (m_overlay)
        m_telemetry = TMKReadTripTelemetry(m_request.trip, [this](std::size_t, std::size_t) { return !cancelled(); });

    if (auto e = m_muxer.open(m_file.temporaryPath(), "mp4"))
        return finish(e, false);
    if (auto e = openEncoders(outSize, rate, audioRate, audioChannels))
        return finish(e, false);
    startEncoder();

    const auto total = static_cast<int64_t>(std::llround((m_request.to - m_request.from) * av_q2d(rate)));
    const double frameSeconds = av_q2d(av_inv_q(rate));
    FramePtr frame;
    for (int64_t k = 0; k < total; ++k) {
        if (cancelled())
            return finish(std::string("cancelled"), false);
        const double t = m_request.from + static_cast<double>(k) * frameSeconds;
        frame.reset(av_frame_alloc());
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = outSize.width();
        frame->height = outSize.height();
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return finish(std::string("out of memory"), false);
        // Black bars where the cameras do not fill the frame.
        std::memset(frame->data[0], 16, static_cast<std::size_t>(frame->linesize[0]) * static_cast<std::size_t>(outSize.height()));
        std::memset(frame->data[1], 128, static_cast<std::size_t>(frame->linesize[1]) * static_cast<std::size_t>(outSize.height() / 2));
        std::memset(frame->data[2], 128, static_cast<std::size_t>(frame->linesize[2]) * static_cast<std::size_t>(outSize.height() / 2));
        for (Camera& camera : m_cameras) {
            AVFrame* picture = nullptr;
            if (auto e = sourceFrame(camera, t, picture))
                return finish(e, true);
            if (!picture) {
                copyInto(frame.get(), camera.placeholder.get(), camera.rect);
                continue;
            }
            camera.scaler = sws_getCachedContext(camera.scaler, picture->width, picture->height,
                                                 static_cast<AVPixelFormat>(picture->format), camera.rect.width(),
                                                 camera.rect.height(), AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                                 nullptr, nullptr);
            if (!camera.scaler)
                return finish(std::string("cannot scale the recording's frames"), false);
            uint8_t* dst[4] = {};
            for (int plane = 0; plane < 3; ++plane) {
                const int shift = plane == 0 ? 0 : 1;
                dst[plane] = frame->data[plane] + static_cast<std::ptrdiff_t>(camera.rect.y() >> shift) * frame->linesize[plane]
                             + (camera.rect.x() >> shift);
            }
            sws_scale(camera.scaler, picture->data, picture->linesize, 0, picture->height, dst, frame->linesize);
        }
        if (m_overlay) {
            const TMKClipOverlaySample sample = TMKClipOverlaySampleAt(m_request.trip, m_telemetry, t);
            const QString key = m_overlay->key(sample);
            if (!m_overlayFrame || key != m_overlayKey) {
                m_overlayFrame = yuvOf(m_overlay->render(sample));
                m_overlayKey = key;
            }
            copyInto(frame.get(), m_overlayFrame.get(), m_overlay->rect());
        }
        frame->pts = k;
        if (auto e = submit(std::move(frame)))
            return finish(e, false);
        m_frames = k + 1;
        if (auto e = encodeAudio(false))
            return finish(e, false);
        if (k % 10 == 0 || k + 1 == total)
            tell(k + 1, total);
    }
    // Sound to the clip's end, silence where the front had none.
    if (m_audio) {
        const auto want = std::llround((m_request.to - m_request.from) * m_audio->sample_rate);
        const int64_t have = m_audioWritten + av_audio_fifo_size(m_fifo.get());
        if (want > have) {
            FramePtr silence(av_frame_alloc());
            silence->format = AV_SAMPLE_FMT_FLTP;
            silence->nb_samples = static_cast<int>(want - have);
            av_channel_layout_copy(&silence->ch_layout, &m_audio->ch_layout);
            if (av_frame_get_buffer(silence.get(), 0) >= 0) {
                av_samples_set_silence(silence->data, 0, silence->nb_samples, m_audio->ch_layout.nb_channels,
                                       AV_SAMPLE_FMT_FLTP);
                av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(silence->data), silence->nb_samples);
            }
        }
    }
    return finish(std::nullopt, false);
}

TMKClipResult Exporter::copy()
{
    if (m_request.layout != TMKClipLayout::Front && m_request.layout != TMKClipLayout::Rear)
        return finish(std::string("the copied path takes one camera: layout front or rear"), false);
    if (m_request.overlay.any())
        return finish(std::string("the copied path cannot burn in an overlay"), false);
    const TMKClipCamera camera = m_request.layout == TMKClipLayout::Front ? TMKClipCamera::Front : TMKClipCamera::Rear;
    const std::vector<TMKClipSegment> segments =
        TMKClipCopySegments(m_request.trip, camera, m_request.from, m_request.to, m_request.lengthOf);
    if (segments.empty())
        return finish(std::string("no recording of the chosen camera in the span"), false);
    if (auto e = m_muxer.open(m_file.temporaryPath(), "matroska"))
        return finish(e, false);

    double base = 0; // trip time of the first packet copied: the output's 0
    int64_t total = 0;
    bool started = false;
    std::vector<PacketPtr> sinceKey; // before `from`: the packets since the last key frame
    std::vector<std::pair<PacketPtr, double>> soundBefore; // and the sound since then, with its trip time
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const TMKClipSegment& segment = segments[s];
        if (auto refusal = notRegular(segment.path))
            return finish(refusal, true);
        AVFormatContext* raw = nullptr;
        if (const int e = avformat_open_input(&raw, segment.path.c_str(), nullptr, nullptr); e < 0)
            return finish(segment.path + ": " + avError(e), true);
        std::unique_ptr<AVFormatContext, FormatInputFree> input(raw);
        if (avformat_find_stream_info(raw, nullptr) < 0)
            return finish(segment.path + ": unreadable", true);
        const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video < 0)
            return finish(segment.path + ": no video stream", true);
        const AVStream* in = raw->streams[video];
        // The sound is the front camera's: copied too when asked for.
        const int audio = m_request.sound && camera == TMKClipCamera::Front
                              ? av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                              : -1;
        if (!m_videoStream) {
            m_videoStream = avformat_new_stream(m_muxer.get(), nullptr);
            avcodec_parameters_copy(m_videoStream->codecpar, in->codecpar);
            m_videoStream->codecpar->codec_tag = 0;
            m_videoStream->time_base = AVRational{1, 1000};
            if (audio >= 0) {
                m_audioStream = avformat_new_stream(m_muxer.get(), nullptr);
                avcodec_parameters_copy(m_audioStream->codecpar, raw->streams[audio]->codecpar);
                m_audioStream->codecpar->codec_tag = 0;
                m_audioStream->time_base = AVRational{1, 1000};
            }
            if (const int e = avformat_write_header(m_muxer.get(), nullptr); e < 0)
                return finish("write: " + avError(e), false);
        }
        const auto tripOf = [&](const AVPacket* p, int index) {
            const AVStream* stream = raw->streams[index];
            const int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            return segment.offset
                   + static_cast<double>(ts - (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0))
                         * av_q2d(stream->time_base);
        };
        // Sound read before the first key frame's time is known waits here.
        const auto writeSound = [&](PacketPtr& p, double trip) -> std::optional<std::string> {
            p->duration = av_rescale_q(p->duration, raw->streams[audio]->time_base, AVRational{1, 1000});
            p->pts = p->dts = std::llround((trip - base) * 1000);
            p->stream_index = m_audioStream->index;
            p->pos = -1;
            return m_muxer.write(p.get());
        };
        const AVRational rate = av_guess_frame_rate(raw, const_cast<AVStream*>(in), nullptr);
        const double frame = rate.num > 0 ? av_q2d(av_inv_q(rate)) : 1.0 / 30;
        if (s == 0) // from the key frame at most a second or two before
            total = std::llround((m_request.to - m_request.from) / frame);
        double last = segment.localStart() - frame;
        bool done = false;
        while (!done) {
            if (cancelled())
                return finish(std::string("cancelled"), false);
            PacketPtr packet(av_packet_alloc());
            const int got = av_read_frame(raw, packet.get());
            if (got < 0)
                break;
            if (packet->stream_index == audio && m_audioStream) {
                const double trip = tripOf(packet.get(), audio);
                if (trip >= segment.end)
                    continue;
                if (!started) {
                    soundBefore.emplace_back(std::move(packet), trip);
                } else if (trip >= base) {
                    if (auto e = writeSound(packet, trip))
                        return finish(e, false);
                }
                continue;
            }
            if (packet->stream_index != video)
                continue;
            // AVI gives decode times only; without B-frames they are the
            // presentation times.
            packet->pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const double trip = tripOf(packet.get(), video);
            if (trip >= segment.end - frame / 4) {
                done = true;
                break;
            }
            if (!started) {
                if (trip < m_request.from - frame / 4) {
                    if (packet->flags & AV_PKT_FLAG_KEY) {
                        sinceKey.clear();
                        std::erase_if(soundBefore, [trip](const auto& p) { return p.second < trip; });
                    }
                    if (!sinceKey.empty() || (packet->flags & AV_PKT_FLAG_KEY))
                        sinceKey.push_back(std::move(packet));
                    continue;
                }
                if (!(packet->flags & AV_PKT_FLAG_KEY) && sinceKey.empty())
                    continue; // no key frame before: wait for one
                started = true;
                if (!sinceKey.empty()) {
                    const AVPacket* key = sinceKey.front().get();
                    base = segment.offset + static_cast<double>(key->pts) * av_q2d(in->time_base);
                } else {
                    base = trip;
                }
                sinceKey.push_back(std::move(packet));
                for (auto& [sound, at] : soundBefore) {
                    if (at < base)
                        continue;
                    if (auto e = writeSound(sound, at))
                        return finish(e, false);
                }
                soundBefore.clear();
            } else {
                sinceKey.push_back(std::move(packet));
            }
            for (PacketPtr& p : sinceKey) {
                const double at = segment.offset + static_cast<double>(p->pts) * av_q2d(in->time_base) - base;
                p->pts = p->dts = std::llround(at * 1000);
                p->duration = std::llround(frame * 1000);
                p->stream_index = m_videoStream->index;
                p->pos = -1;
                if (auto e = m_muxer.write(p.get()))
                    return finish(e, false);
                ++m_frames;
                last = at + base - segment.offset;
            }
            sinceKey.clear();
            if (m_frames % 30 == 0)
                tell(m_frames, std::max(total, m_frames));
        }
        if (segment.end - segment.offset - last > 1.5 * frame)
            return finish(segment.path + ": the recording is damaged, unreadable from "
                              + clockText(segment.offset + last + frame - m_request.from) + " of the clip",
                          true);
    }
    return finish(std::nullopt, false);
}

} // namespace

TMKClipGeometry TMKClipLayoutGeometry(TMKClipLayout layout, TMKClipQuality quality, QSize frontSource, QSize rearSource,
                                      TMKClipCorner corner, double pipScale, int reserveBottom)
{
    const QSize lead = layout == TMKClipLayout::Rear ? rearSource : frontSource;
    QSize frame(even(lead.width()), even(lead.height()));
    if (quality == TMKClipQuality::Share) {
        frame = QSize(1280, 720);
    } else if (layout == TMKClipLayout::Side) {
        frame = QSize(frame.width() * 2, frame.height());
    } else if (layout == TMKClipLayout::Stack) {
        frame = QSize(frame.width(), frame.height() * 2);
    }
    TMKClipGeometry g;
    g.frame = frame;
    const QRect all(QPoint(0, 0), frame);
    switch (layout) {
    case TMKClipLayout::Front:
        g.front = fit(frontSource, all);
        break;
    case TMKClipLayout::Rear:
        g.rear = fit(rearSource, all);
        break;
    case TMKClipLayout::Side: {
        const int half = even(frame.width() / 2.0);
        g.front = fit(frontSource, QRect(0, 0, half, frame.height()));
        g.rear = fit(rearSource, QRect(half, 0, frame.width() - half, frame.height()));
        break;
    }
    case TMKClipLayout::Stack: {
        // The strip goes below the rear, not over it.
        const int height = frame.height() - reserveBottom;
        const int half = even(height / 2.0);
        g.front = fit(frontSource, QRect(0, 0, frame.width(), half));
        g.rear = fit(rearSource, QRect(0, half, frame.width(), height - half));
        break;
    }
    case TMKClipLayout::Pip: {
        g.front = fit(frontSource, all);
        const double scale = std::clamp(pipScale, 0.1, 0.5);
        const int w = even(frame.width() * scale);
        const int h = rearSource.isEmpty() ? even(w * 9.0 / 16) : even(w * double(rearSource.height()) / rearSource.width());
        const int margin = even(frame.width() * 0.02);
        const bool right = corner == TMKClipCorner::TopRight || corner == TMKClipCorner::BottomRight;
        const bool bottom = corner == TMKClipCorner::BottomLeft || corner == TMKClipCorner::BottomRight;
        const int x = right ? frame.width() - margin - w : margin;
        const int y = bottom ? frame.height() - reserveBottom - margin - h : margin;
        g.rear = QRect(x, std::max(0, y), w, h);
        break;
    }
    }
    return g;
}

TMKClipResult TMKExportClip(const TMKClipRequest& request, const TMKClipCallbacks& callbacks)
{
    Exporter exporter(request, callbacks);
    return exporter.run();
}

TMKClipWorker::~TMKClipWorker()
{
    cancel();
    wait();
}

void TMKClipWorker::start(TMKClipRequest request, std::function<bool(const std::string&)> keepPartial,
                          std::function<void(const TMKClipResult&)> finished)
{
    wait();
    m_cancel = false;
    m_running = true;
    m_thread = std::thread([this, request = std::move(request), keepPartial = std::move(keepPartial),
                            finished = std::move(finished)] {
        TMKClipCallbacks callbacks;
        callbacks.cancelled = [this] { return m_cancel.load(); };
        callbacks.progress = [this](const TMKClipProgress& p) {
            const std::lock_guard lock(m_mutex);
            m_progress = p;
        };
        callbacks.keepPartial = keepPartial;
        TMKClipResult result = TMKExportClip(request, callbacks);
        {
            const std::lock_guard lock(m_mutex);
            m_result = result;
        }
        m_running = false;
        if (finished)
            finished(result);
    });
}

void TMKClipWorker::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

TMKClipProgress TMKClipWorker::progress() const
{
    const std::lock_guard lock(m_mutex);
    return m_progress;
}

TMKClipResult TMKClipWorker::result() const
{
    const std::lock_guard lock(m_mutex);
    return m_result;
}
