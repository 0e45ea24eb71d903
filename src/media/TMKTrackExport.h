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

// Replaces the file at `path` with `contents` so that no reader ever sees a
// half-written file: written to a temporary file beside it, flushed to the
// device, then renamed over it (a link is followed to the file it names; an
// existing file keeps its permissions). A character device or a FIFO cannot
// be replaced; it is written in place, and a FIFO without a reader is
// refused rather than waited for. Block devices, folders and read-only files
// are refused.
// Returns the reason of a failure, nothing on success.
[[nodiscard]] std::optional<std::string> TMKWriteFileAside(const std::string& path, std::string_view contents);

[[nodiscard]] std::optional<std::string> TMKWriteTrackFile(const std::string& path, TMKTrackFormat format,
                                                           const std::vector<TMKTrack>& tracks);
