#include "TMKAviWriter.h"

#include "TMKNmeaBuilder.h"

#include "base/TKAtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Little-endian serialisation with back-patching of size fields.
class ByteOut {
public:
    explicit ByteOut(std::vector<uint8_t>& bytes) : m_bytes(bytes) {}

    [[nodiscard]] std::size_t position() const { return m_bytes.size(); }

    void u8(uint8_t value) { m_bytes.push_back(value); }
    void u16(uint16_t value)
    {
        u8(static_cast<uint8_t>(value));
        u8(static_cast<uint8_t>(value >> 8));
    }
    void u32(uint32_t value)
    {
        u16(static_cast<uint16_t>(value));
        u16(static_cast<uint16_t>(value >> 16));
    }
    void fourcc(const char* tag) { bytes(tag, 4); }
    void bytes(const void* data, std::size_t size)
    {
        const auto* first = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), first, first + size);
    }
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }

    void patch32(std::size_t at, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }

    // Opens "tag" + size (+ list type); close() fills in the size.
    std::size_t open(const char* tag, const char* listType = nullptr)
    {
        fourcc(tag);
        const std::size_t sizeAt = position();
        u32(0);
        if (listType)
            fourcc(listType);
        return sizeAt;
    }
    void close(std::size_t sizeAt) { patch32(sizeAt, static_cast<uint32_t>(position() - sizeAt - 4)); }

private:
    std::vector<uint8_t>& m_bytes;
};

struct StreamHeader {
    const char* type;
    const char* handler;
    uint32_t scale;
    uint32_t rate;
    uint32_t length;
    uint32_t suggestedBufferSize;
    uint32_t sampleSize;
    uint16_t frameRight;
    uint16_t frameBottom;
};

void writeStreamHeader(ByteOut& out, const StreamHeader& h)
{
    const std::size_t strh = out.open("strh");
    out.fourcc(h.type);
    if (h.handler)
        out.fourcc(h.handler);
    else
        out.u32(0);
    out.u32(0); // dwFlags
    out.u16(0); // wPriority
    out.u16(0); // wLanguage
    out.u32(0); // dwInitialFrames
    out.u32(h.scale);
    out.u32(h.rate);
    out.u32(0); // dwStart
    out.u32(h.length);
    out.u32(h.suggestedBufferSize);
    out.u32(0xFFFFFFFFu); // dwQuality: default
    out.u32(h.sampleSize);
    out.u16(0);
    out.u16(0);
    out.u16(h.frameRight);
    out.u16(h.frameBottom);
    out.close(strh);
}

template <typename T>
std::vector<uint8_t> recordBytes(const T& record)
{
    std::vector<uint8_t> data(sizeof(T));
    std::memcpy(data.data(), &record, sizeof(T));
    return data;
}

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;

} // namespace

const char* TMKAviChunkId(TMKAviWriter::ChunkKind kind)
{
    switch (kind) {
    case TMKAviWriter::ChunkKind::Video:
        return "00dc";
    case TMKAviWriter::ChunkKind::Audio:
        return "01wb";
    case TMKAviWriter::ChunkKind::GSensor:
    case TMKAviWriter::ChunkKind::Gps:
        break;
    }
    return "02sb";
}

void TMKAviWriter::addVideoFrame(uint32_t ms, std::vector<uint8_t> frame, bool key)
{
    m_chunks.push_back({ChunkKind::Video, ms, std::move(frame), key});
}

void TMKAviWriter::addAudio(uint32_t ms, std::vector<uint8_t> pcm)
{
    m_chunks.push_back({ChunkKind::Audio, ms, std::move(pcm), true});
}

void TMKAviWriter::addGSensor(const _AVI_GSENSOR_DATA_T& record)
{
    m_chunks.push_back({ChunkKind::GSensor, record.timestamp, recordBytes(record), false});
}

void TMKAviWriter::addGps(const _AVI_GPS_DATA_T& record)
{
    m_chunks.push_back({ChunkKind::Gps, record.nTimestamp, recordBytes(record), false});
}

std::size_t TMKAviWriter::addFix(const TMKNmeaFix& fix, uint32_t ms, bool withGns)
{
    _AVI_GPS_DATA_T record{};
    const std::size_t packed = TMKPackGpsRecord(TMKNmeaSentencesForFix(fix, withGns), fix, ms, record);
    addGps(record);
    return packed;
}

std::vector<const TMKAviWriter::Chunk*> TMKAviWriter::orderedChunks() const
{
    std::vector<const Chunk*> ordered;
    ordered.reserve(m_chunks.size());
    for (const Chunk& chunk : m_chunks)
        ordered.push_back(&chunk);
    // At equal times the frame comes first, as the camera writes it; within a
    // kind the order of adding stays.
    std::stable_sort(ordered.begin(), ordered.end(), [](const Chunk* a, const Chunk* b) {
        if (a->timeMs != b->timeMs)
            return a->timeMs < b->timeMs;
        return a->kind < b->kind;
    });
    return ordered;
}

bool TMKAviWriter::writeToBuffer(std::vector<uint8_t>& bytes, std::string* error) const
{
    bytes.clear();
    if (m_video.width == 0 || m_video.height == 0 || m_video.framesPerSecond == 0 || m_video.width > 0xFFFF ||
        m_video.height > 0xFFFF || !m_video.fourcc || std::strlen(m_video.fourcc) != 4) {
        setError(error, "unusable video format");
        return false;
    }
    if (m_audio.sampleRate == 0 || m_audio.blockAlign() == 0 ||
        (m_audio.bitsPerSample != 8 && m_audio.bitsPerSample != 16)) {
        setError(error, "unusable audio format");
        return false;
    }

    const std::vector<const Chunk*> ordered = orderedChunks();
    uint64_t moviBytes = 4;
    uint32_t frames = 0;
    uint64_t audioBytes = 0;
    uint32_t telemetryChunks = 0;
    uint32_t largestVideo = 0;
    uint32_t largestAudio = 0;
    uint32_t largestTelemetry = 0;
    uint32_t lastTimeMs = 0;
    for (const Chunk* chunk : ordered) {
        if (chunk->data.size() > std::numeric_limits<uint32_t>::max() - 1u) {
            setError(error, "chunk too large for AVI");
            return false;
        }
        const auto size = static_cast<uint32_t>(chunk->data.size());
        moviBytes += 8 + size + (size & 1u);
        lastTimeMs = std::max(lastTimeMs, chunk->timeMs);
        switch (chunk->kind) {
        case ChunkKind::Video:
            ++frames;
            largestVideo = std::max(largestVideo, size);
            break;
        case ChunkKind::Audio:
            audioBytes += size;
            largestAudio = std::max(largestAudio, size);
            break;
        case ChunkKind::GSensor:
        case ChunkKind::Gps:
            ++telemetryChunks;
            largestTelemetry = std::max(largestTelemetry, size);
            break;
        }
    }
    const uint64_t indexBytes = uint64_t{TMKAviLayout::kIndexEntrySize} * ordered.size();
    const uint64_t fileBytes = TMKAviLayout::kMoviTagOffset + moviBytes + 8 + indexBytes;
    if (fileBytes > std::numeric_limits<uint32_t>::max()) {
        setError(error, "recording too large for a RIFF file");
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(fileBytes));

    ByteOut out(bytes);
    const std::size_t riff = out.open("RIFF", "AVI ");

    const uint32_t usPerFrame = 1000000u / m_video.framesPerSecond;
    const uint64_t durationMs =
        std::max<uint64_t>({uint64_t{frames} * 1000u / m_video.framesPerSecond,
                            audioBytes * 1000u / m_audio.bytesPerSecond(), uint64_t{lastTimeMs}, 1});
    const auto maxBytesPerSec = static_cast<uint32_t>(
        std::min<uint64_t>(moviBytes * 1000u / durationMs, std::numeric_limits<uint32_t>::max()));

    const std::size_t hdrl = out.open("LIST", "hdrl");
    const std::size_t avih = out.open("avih");
    out.u32(usPerFrame);
    out.u32(maxBytesPerSec);
    out.u32(0); // dwPaddingGranularity
    out.u32(kAvifHasIndex | kAvifIsInterleaved);
    out.u32(frames);
    out.u32(0); // dwInitialFrames
    out.u32(3); // dwStreams
    out.u32(std::max({largestVideo, largestAudio, largestTelemetry}) + 8u);
    out.u32(m_video.width);
    out.u32(m_video.height);
    out.zeros(16); // dwReserved
    out.close(avih);

    const auto width16 = static_cast<uint16_t>(m_video.width);
    const auto height16 = static_cast<uint16_t>(m_video.height);

    std::size_t strl = out.open("LIST", "strl");
    writeStreamHeader(out, {"vids", m_video.fourcc, 1, m_video.framesPerSecond, frames, largestVideo, 0, width16, height16});
    std::size_t strf = out.open("strf");
    out.u32(40); // biSize
    out.u32(m_video.width);
    out.u32(m_video.height);
    out.u16(1);  // biPlanes
    out.u16(24); // biBitCount
    out.fourcc(m_video.fourcc);
    out.u32(m_video.width * m_video.height * 3u);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.close(strf);
    out.close(strl);

    const uint16_t blockAlign = m_audio.blockAlign();
    strl = out.open("LIST", "strl");
    writeStreamHeader(out, {"auds", nullptr, blockAlign, m_audio.bytesPerSecond(),
                            static_cast<uint32_t>(audioBytes / blockAlign), largestAudio, blockAlign, 0, 0});
    strf = out.open("strf");
    out.u16(1); // WAVE_FORMAT_PCM
    out.u16(m_audio.channels);
    out.u32(m_audio.sampleRate);
    out.u32(m_audio.bytesPerSecond());
    out.u16(blockAlign);
    out.u16(m_audio.bitsPerSample);
    out.u16(0); // cbSize
    out.close(strf);
    out.close(strl);

    // 'dats' makes players take the telemetry for a data stream and leave it
    // alone. Players time its chunks by count, so the rate spreads them over
    // the recording's length rather than past it.
    const uint64_t mediaMs = std::max(uint64_t{frames} * 1000u / m_video.framesPerSecond,
                                      audioBytes * 1000u / m_audio.bytesPerSecond());
    const uint64_t telemetryMs = mediaMs > 0 ? mediaMs : uint64_t{lastTimeMs} + 100u;
    const bool rateFits = telemetryChunks > 0 && telemetryMs <= std::numeric_limits<uint32_t>::max() &&
                          uint64_t{telemetryChunks} * 1000u <= std::numeric_limits<uint32_t>::max();
    strl = out.open("LIST", "strl");
    writeStreamHeader(out, {"dats", nullptr, rateFits ? static_cast<uint32_t>(telemetryMs) : 1u,
                            rateFits ? telemetryChunks * 1000u : 10u, telemetryChunks, largestTelemetry, 0, 0, 0});
    strf = out.open("strf");
    out.u32(0);
    out.close(strf);
    out.close(strl);
    out.close(hdrl);

    // JUNK up to the camera's fixed 'movi' position.
    constexpr std::size_t kMoviListOffset = TMKAviLayout::kMoviSizeOffset - 4;
    if (out.position() + 8 > kMoviListOffset) {
        setError(error, "headers do not fit before the movi list");
        bytes.clear();
        return false;
    }
    const std::size_t junk = out.open("JUNK");
    out.zeros(kMoviListOffset - out.position());
    out.close(junk);

    const std::size_t movi = out.open("LIST", "movi");
    std::vector<uint32_t> offsets;
    offsets.reserve(ordered.size());
    for (const Chunk* chunk : ordered) {
        offsets.push_back(static_cast<uint32_t>(out.position() - TMKAviLayout::kMoviTagOffset));
        out.fourcc(TMKAviChunkId(chunk->kind));
        out.u32(static_cast<uint32_t>(chunk->data.size()));
        out.bytes(chunk->data.data(), chunk->data.size());
        if (chunk->data.size() & 1u)
            out.u8(0);
    }
    out.close(movi);

    const std::size_t idx1 = out.open("idx1");
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        const Chunk* chunk = ordered[i];
        const bool key = (chunk->kind == ChunkKind::Video && chunk->key) || chunk->kind == ChunkKind::Audio;
        out.fourcc(TMKAviChunkId(chunk->kind));
        out.u32(key ? kKeyFrameFlag : 0u);
        out.u32(offsets[i]);
        out.u32(static_cast<uint32_t>(chunk->data.size()));
    }
    out.close(idx1);
    out.close(riff);
    return true;
}

bool TMKAviWriter::write(const std::string& path, std::string* error) const
{
    std::vector<uint8_t> bytes;
    if (!writeToBuffer(bytes, error))
        return false;
    if (const auto failure = TKWriteFileAtomically(path, bytes.data(), bytes.size())) {
        setError(error, path + ": " + *failure);
        return false;
    }
    return true;
}
