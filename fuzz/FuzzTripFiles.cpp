// The trip files a user may hand back: a track CSV (read, written and read
// again, which must give the same tracks) and a recording's health check
// on the same bytes.

#include "media/TMKMediaHealth.h"
#include "media/TMKTrackExport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<TMKTrack> tracks;
    std::string error;
    if (TMKReadTrackCsv(text, tracks, &error)) {
        const std::string written = TMKTrackCsvText(tracks);
        std::vector<TMKTrack> again;
        if (!TMKReadTrackCsv(written, again, &error) || again.size() != tracks.size())
            std::abort();
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (again[t].name != tracks[t].name || again[t].points != tracks[t].points)
                std::abort();
        }
        // What was read is a track the other formats can carry.
        (void)TMKGpxText(tracks);
        (void)TMKKmlText(tracks);
    } else if (error.empty()) {
        std::abort(); // a refusal always says why
    }

    const TMKMediaHealth health = TMKCheckMediaBuffer(data, size);
    if (health.ok() != health.reason.empty())
        std::abort();
    return 0;
}
