#include "media/TMKGpsData.h"

#include <cmath>

uint8_t TMKGpsData::SatelliteUsedAtIndex(int channel) const
{
    if (channel < 0 || channel >= kChannels)
        return 0;
    return SatelliteUsed[static_cast<std::size_t>(channel)];
}

void TMKGpsData::setSatelliteUsed(uint8_t prn, int channel)
{
    if (channel < 0 || channel >= kChannels)
        return;
    SatelliteUsed[static_cast<std::size_t>(channel)] = prn;
}

double TKNmeaToDegrees(double value)
{
    const double d = std::trunc(value / 100);
    return d + (value / 100 - d) * 100 / 60;
}

long long TMKIndexForPosition(double position, std::size_t count)
{
    if (count == 0)
        return -1;
    const double scaled = std::trunc(position * static_cast<double>(count));
    if (!(scaled >= 0)) // negative or NaN
        return 0;
    if (scaled >= static_cast<double>(count))
        return static_cast<long long>(count) - 1;
    return static_cast<long long>(scaled);
}

double TMKLatitudeDegrees(const TMKGpsData& fix)
{
    const double degrees = TKNmeaToDegrees(fix.Latitude);
    return fix.NS == 'S' ? -degrees : degrees;
}

double TMKLongitudeDegrees(const TMKGpsData& fix)
{
    const double degrees = TKNmeaToDegrees(fix.Longitude);
    return fix.EW == 'W' ? -degrees : degrees;
}
