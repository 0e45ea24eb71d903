#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TMKByteSource;

enum class TMKMediaProblem {
    None,
    CannotOpen,  // missing, unreadable, or not a regular file
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

// Whether a recording can be played and its telemetry read, from its header
// and index only (no record is read), so a whole card can be checked in the
// background after a scan. Never blocks on a FIFO.
[[nodiscard]] TMKMediaHealth TMKCheckMedia(const std::string& path);
[[nodiscard]] TMKMediaHealth TMKCheckMedia(TMKByteSource& source);
[[nodiscard]] TMKMediaHealth TMKCheckMediaBuffer(const uint8_t* data, std::size_t size);

[[nodiscard]] const char* TMKMediaProblemName(TMKMediaProblem problem);
