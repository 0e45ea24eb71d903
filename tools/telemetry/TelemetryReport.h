#pragma once

#include "media/TMKBlackBoxData.h"

#include <ostream>
#include <string>
#include <string_view>

// What tamek-telemetry prints for one extracted recording. Kept apart from
// the program so the formats are tested without files.
struct TelemetryReport {
    std::string path;
    bool ok = false;
    std::string error; // why it failed, when !ok
    const TMKBlackBoxData* data = nullptr;
};

// One JSON object on one line.
void writeTelemetryJson(std::ostream& out, const TelemetryReport& report);

// One row per fix; the header is written by writeTelemetryCsvHeader.
void writeTelemetryCsvHeader(std::ostream& out);
void writeTelemetryCsvRows(std::ostream& out, const TelemetryReport& report);

// A GPX 1.1 document with one track per recording.
void writeGpxBegin(std::ostream& out);
void writeGpxTrack(std::ostream& out, const TelemetryReport& report);
void writeGpxEnd(std::ostream& out);

// "YYYY-MM-DDTHH:MM:SS.mmm"
[[nodiscard]] std::string formatSystemTime(const _SYSTEMTIME& time);
// Valid JSON string text (quotes included); invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::string jsonString(std::string_view text);
[[nodiscard]] std::string jsonNumber(double value);
[[nodiscard]] std::string jsonNumber(float value);
