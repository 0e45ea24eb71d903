#pragma once

#include "clip/TMKClipOverlay.h"
#include "clip/TMKClipTimeline.h"

#include <QRect>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

enum class TMKClipLayout { Front, Rear, Side, Stack, Pip };
enum class TMKClipCorner { TopLeft, TopRight, BottomLeft, BottomRight };
enum class TMKClipQuality { Share, Full };

// One clip of a trip: the span, how the cameras are laid out, what is
// burned in, and where it goes.
struct TMKClipRequest {
    TMKTrip trip;
    double from = 0; // seconds on the trip's axis
    double to = 0;
    TMKClipLayout layout = TMKClipLayout::Front;
    TMKClipCorner pipCorner = TMKClipCorner::BottomRight;
    double pipScale = 0.3; // the inset's width as a part of the frame's
    TMKClipOverlayParts overlay;
    TMKClipUnits units = TMKClipUnits::Kmh;
    // "share": 1280×720 at about 4 Mbit/s; "full": the source's size at
    // constant quality.
    TMKClipQuality quality = TMKClipQuality::Share;
    bool sound = true; // the front recording's, as AAC
    // The lossless path: one camera (layout front or rear), no overlay; its
    // packets from the key frame at or before `from`, into Matroska.
    bool copy = false;
    std::string output;
    std::string preset = "veryfast"; // x264's
    TMKLengthReader lengthOf = TMKAviLengthSeconds;
};

struct TMKClipProgress {
    int64_t done = 0;  // frames (packets on the copied path)
    int64_t total = 0;
    double secondsLeft = -1; // -1 until it can be told
};

struct TMKClipCallbacks {
    std::function<void(const TMKClipProgress&)> progress; // on the exporting thread
    std::function<bool()> cancelled;                       // polled once a frame
    // Asked once when the clip cannot be made whole (a recording damaged in
    // mid-span): true keeps the part made so far, false leaves no file.
    std::function<bool(const std::string& error)> keepPartial;
};

struct TMKClipResult {
    bool ok = false;        // the whole clip was written
    bool cancelled = false; // nothing was left behind
    bool partial = false;   // the readable part was kept (ok is false)
    std::string error;
    int64_t frames = 0;     // written: frames, or packets when copied
};

// Where each camera goes in the frame. `rearOnTop` for the inset.
struct TMKClipGeometry {
    QSize frame;
    QRect front; // empty when the layout has no front
    QRect rear;
};
// `reserveBottom` keeps the lower edge free for the overlay's strip: the
// inset sits above it, the stacked rear ends above it.
[[nodiscard]] TMKClipGeometry TMKClipLayoutGeometry(TMKClipLayout layout, TMKClipQuality quality, QSize frontSource,
                                                    QSize rearSource, TMKClipCorner corner = TMKClipCorner::BottomRight,
                                                    double pipScale = 0.3, int reserveBottom = 0);

// Writes the clip on the calling thread. The file appears at `output` only
// whole (or, when the caller agreed, as the readable part); it is made under
// a private name beside it, synced and renamed. A second export to the same
// file while one runs is refused.
[[nodiscard]] TMKClipResult TMKExportClip(const TMKClipRequest& request, const TMKClipCallbacks& callbacks = {});

// The same on a worker thread, for a window: progress to poll, cancel.
class TMKClipWorker {
public:
    TMKClipWorker() = default;
    ~TMKClipWorker();
    TMKClipWorker(const TMKClipWorker&) = delete;
    TMKClipWorker& operator=(const TMKClipWorker&) = delete;

    // `keepPartial` and `finished` are called on the worker.
    void start(TMKClipRequest request, std::function<bool(const std::string&)> keepPartial = {},
               std::function<void(const TMKClipResult&)> finished = {});
    void cancel() { m_cancel = true; }
    void wait();
    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] TMKClipProgress progress() const;
    [[nodiscard]] TMKClipResult result() const; // after wait()

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    TMKClipProgress m_progress;
    TMKClipResult m_result;
};
