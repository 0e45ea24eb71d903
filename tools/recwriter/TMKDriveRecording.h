#pragma once

#include "TMKDriveSimulator.h"

#include <cstdint>
#include <string>

// Writes [startMs, startMs + durationMs) of a drive as one recording: the
// drive's telemetry and a 10 fps stub video (frames are not decoded by the
// telemetry code), so the AVI header gives the length. With
// `repeatBoundary` the closing moment's GPS record and sample are written as
// well, the way consecutive files share their boundary second.
bool TMKWriteDriveRecording(const std::string& path, const TMKDriveSimulator& drive, uint32_t startMs,
                            uint32_t durationMs, bool repeatBoundary = true, std::string* error = nullptr);
