#include "TMKDriveRecording.h"

#include "TMKAviWriter.h"

bool TMKWriteDriveRecording(const std::string& path, const TMKDriveSimulator& drive, uint32_t startMs,
                            uint32_t durationMs, bool repeatBoundary, std::string* error)
{
    TMKAviWriter writer;
    const TMKTelemetry telemetry = drive.record(startMs, durationMs + (repeatBoundary ? 1u : 0u));
    for (const auto& sample : telemetry.gsensor)
        writer.addGSensor(sample);
    for (const auto& gps : telemetry.gps)
        writer.addGps(gps);
    const uint32_t frameMs = 1000 / writer.videoFormat().framesPerSecond;
    for (uint32_t ms = 0; ms < durationMs; ms += frameMs)
        writer.addVideoFrame(ms, {0xFF, 0xD8, 0xFF, 0xD9});
    return writer.write(path, error);
}
