#pragma once

#include <QString>

// What the structure of a recording's file says about whether it can be
// played, read from its first bytes and its top-level RIFF chunks. The
// player library reports little more than "error", and nothing for a file
// it plays only in part; this names the reason a user can act on.
//
// Any thread; reads a few dozen bytes, never blocks on a FIFO or device.
enum class TMKRecordingFault {
    None,
    Unreadable, // missing, not a regular file, empty or unreadable
    NotAvi,     // no RIFF "AVI " signature or no header list
    CutShort,   // shorter than its header says: the end is missing
    NoIndex,    // complete, but without the index that seeking needs
};

[[nodiscard]] TMKRecordingFault TMKCheckRecording(const QString& path);
// Nothing can be played of a file with this fault.
[[nodiscard]] bool TMKRecordingFaultIsFatal(TMKRecordingFault fault);
// The reason as the user reads it; empty for None.
[[nodiscard]] QString TMKRecordingFaultText(TMKRecordingFault fault);
