#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

// The UTC offsets the camera knows, coded as hours * 100 + minutes with the
// offset's sign; time_gmt is an index into this list.
inline constexpr std::array<int32_t, 34> kTKTimeZoneCodes = {
    -1200, -1100, -1000, -900, -800, -700, -600, -500, -430, -400, -330, -300,
    -200, -100, 0, 100, 200, 300, 330, 400, 430, 500, 530, 545,
    600, 630, 700, 800, 900, 930, 1000, 1100, 1200, 1300,
};
inline constexpr int32_t kTKTimeZoneUTCIndex = 14;

// "-12:00" ... "00:00" ... "+13:00"; empty for an index outside the list.
[[nodiscard]] std::string TKTimeZoneText(int32_t index);

// Index of an offset east of UTC in seconds, or -1 when the camera has no
// entry for it.
[[nodiscard]] int32_t TKTimeZoneIndexForOffset(long offsetSeconds);

// Index of the local zone's offset at the given moment, daylight saving time
// included. Reads TZ afresh each call, so a changed zone is honoured.
[[nodiscard]] int32_t TKSystemTimeZoneIndex(std::time_t at);
// The same at the present moment.
[[nodiscard]] int32_t TKSystemTimeZoneIndex();
