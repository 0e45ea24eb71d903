#pragma once

#include "media/TMKAviRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes recordings the way the camera lays them out: an MJPEG or H.264 video stream
// ("00dc"), a PCM audio stream ("01wb") and the telemetry stream ("02sb"),
// with the 'movi' list at the fixed offsets of TMKAviLayout and a legacy
// idx1 index after it.
//
// Everything is kept in memory until write(); chunks are put in time order
// there, whatever order they were added in.
struct TMKAviVideoFormat {
    uint32_t width = 320;
    uint32_t height = 180;
    uint32_t framesPerSecond = 10;
    // "MJPG" for JPEG frames, "H264" for an Annex B stream with its
    // parameter sets in every key frame, as the newer cameras write it.
    const char* fourcc = "MJPG";
};

struct TMKAviAudioFormat {
    uint32_t sampleRate = 8000;
    uint16_t channels = 1;
    uint16_t bitsPerSample = 8; // 8 = unsigned samples, 16 = signed little-endian

    [[nodiscard]] uint16_t blockAlign() const { return static_cast<uint16_t>(channels * (bitsPerSample / 8)); }
    [[nodiscard]] uint32_t bytesPerSecond() const { return sampleRate * blockAlign(); }
};

class TMKAviWriter {
public:
    enum class ChunkKind : uint8_t { Video, Audio, GSensor, Gps };

    // One chunk of the 'movi' list as the writer will place it.
    struct Chunk {
        ChunkKind kind;
        uint32_t timeMs;
        std::vector<uint8_t> data;
        bool key = true;
    };

    static constexpr uint32_t kKeyFrameFlag = 0x10; // AVIIF_KEYFRAME

    TMKAviWriter() = default;
    TMKAviWriter(TMKAviVideoFormat video, TMKAviAudioFormat audio) : m_video(video), m_audio(audio) {}

    // An already encoded frame shown at `ms` from the recording's start; only
    // key frames are marked as such in the index (every JPEG is one).
    void addVideoFrame(uint32_t ms, std::vector<uint8_t> frame, bool key = true);
    // A block of PCM samples in the audio format, starting at `ms`.
    void addAudio(uint32_t ms, std::vector<uint8_t> pcm);
    // Telemetry chunks are timed by their own timestamp field.
    void addGSensor(const _AVI_GSENSOR_DATA_T& record);
    void addGps(const _AVI_GPS_DATA_T& record);
    // The fix's sentences packed into one GPS record at `ms`; how many fitted.
    std::size_t addFix(const struct TMKNmeaFix& fix, uint32_t ms, bool withGns = false);

    void clear() { m_chunks.clear(); }

    [[nodiscard]] const TMKAviVideoFormat& videoFormat() const { return m_video; }
    [[nodiscard]] const TMKAviAudioFormat& audioFormat() const { return m_audio; }

    // The chunks in the order they will be written.
    [[nodiscard]] std::vector<const Chunk*> orderedChunks() const;

    // Both replace `out` / the file; on failure they return false and say why
    // in `error` when it is given. A failed write() may leave a partial file.
    bool writeToBuffer(std::vector<uint8_t>& out, std::string* error = nullptr) const;
    bool write(const std::string& path, std::string* error = nullptr) const;

private:
    TMKAviVideoFormat m_video;
    TMKAviAudioFormat m_audio;
    std::vector<Chunk> m_chunks;
};

// The four-character chunk id of a kind ("00dc", "01wb", "02sb", "02sb").
[[nodiscard]] const char* TMKAviChunkId(TMKAviWriter::ChunkKind kind);
