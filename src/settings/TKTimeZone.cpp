#include "settings/TKTimeZone.h"

#include <cstdio>
#include <cstdlib>

std::string TKTimeZoneText(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(kTKTimeZoneCodes.size()))
        return {};
    const int32_t code = kTKTimeZoneCodes[static_cast<std::size_t>(index)];
    const int32_t magnitude = std::abs(code);
    char text[16];
    std::snprintf(text, sizeof text, "%s%02d:%02d", code < 0 ? "-" : (code > 0 ? "+" : ""),
        static_cast<int>(magnitude / 100), static_cast<int>(magnitude % 100));
    return text;
}

int32_t TKTimeZoneIndexForOffset(long offsetSeconds)
{
    // Both parts keep the offset's sign: -4:30 is -4 hours and -30 minutes.
    const long hours = offsetSeconds / 3600;
    const long minutes = (offsetSeconds - hours * 3600) / 60;
    const long code = hours * 100 + minutes;
    for (std::size_t i = 0; i < kTKTimeZoneCodes.size(); ++i) {
        if (kTKTimeZoneCodes[i] == code)
            return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TKSystemTimeZoneIndex(std::time_t at)
{
    tzset();
    std::tm local {};
    if (!localtime_r(&at, &local))
        return -1;
    return TKTimeZoneIndexForOffset(local.tm_gmtoff);
}

int32_t TKSystemTimeZoneIndex()
{
    return TKSystemTimeZoneIndex(std::time(nullptr));
}
