#pragma once

#include "base/TKAtomicFile.h"

#include <optional>
#include <string>
#include <string_view>

// The camera sets its clock from timeset.cfg at the root of its card:
// "yyyy/MM/dd HH:mm:ss", 19 ASCII bytes, no line break.

inline constexpr std::string_view kTKTimeSetFileName = "timeset.cfg";
inline constexpr std::size_t kTKTimeSetFileSize = 19;

// A Gregorian date and a 24-hour time of day, as the camera reads them.
struct TKTimeSetValue {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The 19 bytes, with ASCII digits whatever the user's locale; nothing for a
// value out of range (years 1 to 9999).
[[nodiscard]] std::optional<std::string> TKTimeSetText(const TKTimeSetValue& value);

// Replaces the file with the text atomically, so a card pulled mid-write
// holds the old file or the new one. A read-only file is left alone. Returns
// the reason on failure.
[[nodiscard]] std::optional<std::string> TKWriteTimeSetFile(const std::string& path, const TKTimeSetValue& value,
    const TKFileCalls& calls = TKFileCalls::system());
