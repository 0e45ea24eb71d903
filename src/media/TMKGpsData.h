#pragma once

#include "media/TMKSystemTime.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The running GPS fix that NMEA sentences build up. Coordinates stay in the
// NMEA form ddmm.mmmm (degrees times 100 plus minutes).
class TMKGpsData {
public:
    static constexpr int kChannels = 12;

    TMKGpsData() = default;
    void clear() { *this = TMKGpsData(); }
    [[nodiscard]] TMKGpsData duplicate() const { return *this; }
    void updateFromObject(const TMKGpsData& other) { *this = other; }

    [[nodiscard]] uint8_t SatelliteUsedAtIndex(int channel) const;
    void setSatelliteUsed(uint8_t prn, int channel);

    _SYSTEMTIME Now;
    double Latitude = 0;
    char NS = 'N';
    double Longitude = 0;
    char EW = 'E';
    double SpeedOverGround = 0;
    double CourseOverGround = 0;
    double HDOP = 0;
    uint32_t SatelliteUsedCount = 0;
    std::array<uint8_t, kChannels> SatelliteUsed{};
    uint32_t SatelliteUsedCount_GPS = 0;
    uint32_t SatelliteUsedCount_GLONASS = 0;
    bool Enable_GNGNS = false;
    bool Enable_GNGSA = false;
    bool Cnt_GNGSA = false;

    friend bool operator==(const TMKGpsData&, const TMKGpsData&) = default;
};

// One G-sensor sample in g.
struct TMKGSensor {
    TMKGSensor() = default;
    TMKGSensor(float xValue, float yValue, float zValue) : x(xValue), y(yValue), z(zValue) {}
    void updateFromObject(const TMKGSensor& other) { *this = other; }

    float x = 0;
    float y = 0;
    float z = 0;

    friend bool operator==(const TMKGSensor&, const TMKGSensor&) = default;
};

// NMEA ddmm.mmmm to decimal degrees, keeping the sign of the value.
[[nodiscard]] double TKNmeaToDegrees(double value);

// The element a telemetry list shows at play position p (0..1): trunc(p * n),
// held below n; 0 for a negative position, -1 for an empty list. Each list
// is indexed by its own length.
[[nodiscard]] long long TMKIndexForPosition(double position, std::size_t count);
// Signed decimal degrees of a fix: south and west are negative.
[[nodiscard]] double TMKLatitudeDegrees(const TMKGpsData& fix);
[[nodiscard]] double TMKLongitudeDegrees(const TMKGpsData& fix);
