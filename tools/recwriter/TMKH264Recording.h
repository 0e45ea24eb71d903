#pragma once

#include "TMKDriveSimulator.h"

#include <cstdint>
#include <functional>
#include <string>

// Recordings as the newer cameras write them: H.264 (libx264, no B-frames,
// a key frame each second) in the camera's AVI layout with 8 kHz PCM sound
// and the drive's telemetry, for the clip tests, benchmarks and the demo.
struct TMKH264Format {
    uint32_t width = 1920;
    uint32_t height = 1080;
    uint32_t framesPerSecond = 30;
    int crf = 18;
    const char* preset = "veryfast";
};

// The camera's real sizes.
inline constexpr TMKH264Format kTMKFrontH264{1920, 1080, 30};
inline constexpr TMKH264Format kTMKRearH264{1280, 720, 30};

// Fills frame `index` (YUV 4:2:0, planes with their line strides).
using TMKYuvPainter = std::function<void(uint32_t index, uint8_t* const planes[3], const int strides[3])>;

// A test picture that changes from frame to frame everywhere: a diagonal
// gradient that drifts and a bright block that walks, the rear camera's in
// other colours, so that a frame taken from the wrong moment or camera shows.
void TMKPaintTestFrame(uint32_t index, bool rear, uint32_t width, uint32_t height, uint8_t* const planes[3],
                       const int strides[3]);

// Writes [startMs, startMs + durationMs) of the drive as one camera's
// recording: `painter` draws the frames (TMKPaintTestFrame when empty).
// With `repeatBoundary` the closing moment's telemetry is written as well,
// as consecutive files share their boundary second.
bool TMKWriteH264Recording(const std::string& path, const TMKDriveSimulator& drive, uint32_t startMs,
                           uint32_t durationMs, const TMKH264Format& format, bool rear, const TMKYuvPainter& painter = {},
                           bool repeatBoundary = true, std::string* error = nullptr);
