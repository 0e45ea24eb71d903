#pragma once

#include "media/TMKTrip.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class TMKClipUnits { Kmh, Mph };

struct TMKClipOverlayParts {
    bool time = false;
    bool speed = false;
    bool position = false;
    bool gforce = false;
    bool gforceTrace = false; // a small trace of the last seconds rather than values

    [[nodiscard]] bool any() const { return time || speed || position || gforce; }
};

// What the overlay shows at one moment of a trip.
struct TMKClipOverlaySample {
    bool hasTime = false;
    int64_t cameraMilliseconds = 0; // since 1970 on the camera's clock
    bool hasFix = false;            // speed and position of the last fix
    double speedKmh = 0;
    double latitude = 0;
    double longitude = 0;
    bool hasG = false;
    std::array<float, 3> g{};       // the sample in effect
    std::vector<std::array<float, 3>> trace; // the samples of the last seconds, oldest first
};

// The telemetry in effect at `seconds` of the trip: the camera's clock is
// the trip's start (from the first file's name) plus the moment; the fix and
// the G sample are the last ones at or before it (a fix more than 3 s old is
// none: the receiver lost it).
[[nodiscard]] TMKClipOverlaySample TMKClipOverlaySampleAt(const TMKTrip& trip, const TMKTripTelemetry& telemetry,
                                                          double seconds);

// The strip of text burned into a clip, the same from the window and from the
// command line: opaque so that what is under it never changes how it reads.
class TMKClipOverlay {
public:
    TMKClipOverlay(TMKClipOverlayParts parts, TMKClipUnits units, QSize frame);

    [[nodiscard]] bool empty() const { return !m_parts.any(); }
    // Where the strip lies in the frame (even coordinates, for 4:2:0).
    [[nodiscard]] QRect rect() const { return m_rect; }
    // The strip for a sample, ARGB32 premultiplied at rect().size().
    [[nodiscard]] QImage render(const TMKClipOverlaySample& sample) const;
    // The texts the strip shows, joined; equal texts draw equal strips
    // (lets a caller draw again only when something changed).
    [[nodiscard]] QString key(const TMKClipOverlaySample& sample) const;

private:
    [[nodiscard]] QStringList texts(const TMKClipOverlaySample& sample) const;

    TMKClipOverlayParts m_parts;
    TMKClipUnits m_units;
    QSize m_frame;
    QRect m_rect;
};
