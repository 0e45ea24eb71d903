#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TMKByteSource;

enum class TMKMediaProblem {
    None,
    CannotOpen,  // missing, empty or unreadable
    NotRegularFile,    // a FIFO, a device, a folder: never opened, it could block or never end
    LinkTargetMissing, // a link whose target is gone
    NotAvi,      // no RIFF/AVI header
    CutShort,    // ends before its sizes say, or its sizes were never written
    NoIndex,     // no index after the 'movi' list: players cannot seek, telemetry cannot be found
    NoTelemetry, // an index without any telemetry record
};

struct TMKMediaHealth {
    TMKMediaProblem problem = TMKMediaProblem::None;
    std::string reason; // English, for the log and the command line; empty when ok

    [[nodiscard]] bool ok() const { return problem == TMKMediaProblem::None; }
};

// How far the check reads: the file's structure only (its header and
// top-level chunks, a few dozen bytes, quick enough for the main thread),
// or its index too, for telemetry.
enum class TMKMediaCheckDepth { Structure, Telemetry };

// Whether a recording can be played and its telemetry read, from its header
// and index only (no record is read), so a whole card can be checked in the
// background after a scan. Never blocks on a FIFO. With Structure, a file
// without telemetry is ok.
[[nodiscard]] TMKMediaHealth TMKCheckMedia(const std::string& path,
                                           TMKMediaCheckDepth depth = TMKMediaCheckDepth::Telemetry);
// Only what the file system says of `path`, without opening it: a regular
// file (links followed) is ok, whatever its contents.
[[nodiscard]] TMKMediaHealth TMKCheckMediaFile(const std::string& path);
[[nodiscard]] TMKMediaHealth TMKCheckMedia(TMKByteSource& source,
                                           TMKMediaCheckDepth depth = TMKMediaCheckDepth::Telemetry);
[[nodiscard]] TMKMediaHealth TMKCheckMediaBuffer(const uint8_t* data, std::size_t size,
                                                 TMKMediaCheckDepth depth = TMKMediaCheckDepth::Telemetry);

[[nodiscard]] const char* TMKMediaProblemName(TMKMediaProblem problem);
