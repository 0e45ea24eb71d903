#pragma once

#include "media/TMKTrip.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TMKClipCamera { Front, Rear };

// The part of a clip's span that one recording gives, on the trip's time
// axis (seconds from the trip's first recording).
struct TMKClipSegment {
    std::size_t recording = 0; // index into the trip's recordings
    std::string path;
    double start = 0;          // first moment taken from this file
    double end = 0;            // first moment not taken from it
    double offset = 0;         // the file's own start: its time 0

    [[nodiscard]] double localStart() const { return start - offset; }
};

// The pieces of [from, to) that one camera's recordings give, in time order,
// by the trip merge's rule for a boundary second: a moment belongs to the
// first recording of the trip that covers it (by that file's own length);
// the next one gives only what is later. Moments no file of the camera
// covers have no piece (the clip shows the camera's placeholder there).
[[nodiscard]] std::vector<TMKClipSegment> TMKClipSegments(const TMKTrip& trip, TMKClipCamera camera, double from,
                                                          double to, const TMKLengthReader& lengthOf = TMKAviLengthSeconds);

// The same for packets copied without decoding: a copy can only begin at a
// key frame, and every file begins with one, so at a boundary the next file
// takes over at its own start and the earlier file gives up to there.
[[nodiscard]] std::vector<TMKClipSegment> TMKClipCopySegments(const TMKTrip& trip, TMKClipCamera camera, double from,
                                                              double to,
                                                              const TMKLengthReader& lengthOf = TMKAviLengthSeconds);

// A time of the drive as the user gives it: "HH:MM:SS" (or "HH:MM") on the
// camera's clock, as the file names and the overlay show it, or plain
// seconds from the trip's start ("75", "75.5"). A clock time before the
// trip's start time of day falls on the next day (a drive past midnight).
// The result is on the trip's axis; nothing for text of neither form.
[[nodiscard]] std::optional<double> TMKClipParseTime(std::string_view text, const TMKTrip& trip);

// The trip among `trips` that holds the moment `text` names, with the moment
// on that trip's axis. Clock times are tried against each trip in turn; plain
// seconds count from the first trip's start.
struct TMKClipMoment {
    std::size_t trip = 0;
    double seconds = 0;
};
[[nodiscard]] std::optional<TMKClipMoment> TMKClipFindMoment(std::string_view text, const std::vector<TMKTrip>& trips);
