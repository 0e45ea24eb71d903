#pragma once

#include "media/TMKTrip.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A merged track under a name (a trip's, or a recording's).
struct TMKTrack {
    std::string name;
    std::vector<TMKTrackPoint> points;
};

enum class TMKTrackFormat { Gpx, Kml, Csv };

// The documents as text, one track each (GPX trk, KML Placemark, CSV rows
// under the track's name).
[[nodiscard]] std::string TMKGpxText(const std::vector<TMKTrack>& tracks);
[[nodiscard]] std::string TMKKmlText(const std::vector<TMKTrack>& tracks);
[[nodiscard]] std::string TMKTrackCsvText(const std::vector<TMKTrack>& tracks);
[[nodiscard]] std::string TMKTrackText(TMKTrackFormat format, const std::vector<TMKTrack>& tracks);

// The header line TMKTrackCsvText writes and TMKReadTrackCsv expects.
extern const char* const kTMKTrackCsvHeader;

// Reads what TMKTrackCsvText wrote (rows of one name, one after the other,
// make one track) exactly back. False on anything else, with the line and
// the reason in `error`; `tracks` then holds what was read before it.
[[nodiscard]] bool TMKReadTrackCsv(std::string_view text, std::vector<TMKTrack>& tracks, std::string* error = nullptr);

// Writes the document through the one writer (media/TKAtomicFile.h) under
// kTKOutputPolicy: a file is replaced whole, a FIFO or a terminal is
// written into. The reason of a failure, nothing on success.
[[nodiscard]] std::optional<std::string> TMKWriteTrackFile(const std::string& path, TMKTrackFormat format,
                                                           const std::vector<TMKTrack>& tracks);
