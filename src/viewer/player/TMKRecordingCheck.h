#pragma once

#include "media/TMKMediaHealth.h"

#include <QString>

// The player's view of the one file check, TMKCheckMedia: what of a
// recording can be played, and the reason as the user reads it. The player
// library reports little more than "error", and nothing for a file it plays
// only in part; this names the reason a user can act on.
//
// Any thread; reads the header and the top-level chunk headers only (at
// most 256 of them), never blocks on a FIFO or device.
enum class TMKRecordingFault {
    None,
    Unreadable, // missing, empty or unreadable
    NotRegularFile,    // a FIFO, a device: never opened
    LinkTargetMissing, // a dangling link
    NotAvi,     // no RIFF "AVI " signature or no header list
    CutShort,   // shorter than its header says: the end is missing
    NoIndex,    // complete, but without the index that seeking needs
};

// A recording without telemetry plays: that is no fault of the player's.
[[nodiscard]] TMKRecordingFault TMKRecordingFaultOf(TMKMediaProblem problem);
[[nodiscard]] TMKRecordingFault TMKCheckRecording(const QString& path);
// Nothing can be played of a file with this fault.
[[nodiscard]] bool TMKRecordingFaultIsFatal(TMKRecordingFault fault);
// The reason as the user reads it; empty for None.
[[nodiscard]] QString TMKRecordingFaultText(TMKRecordingFault fault);
// The same for every problem the check finds, "no telemetry" included.
[[nodiscard]] QString TMKMediaProblemText(TMKMediaProblem problem);
