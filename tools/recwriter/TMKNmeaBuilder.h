#pragma once

#include "media/TMKAviRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// NMEA 0183 text as the camera's GPS+GLONASS receiver sends it: $GPRMC,
// $GPGGA, a $GNGSA pair (GPS, then GLONASS) and optionally $GNGNS.
struct TMKUtcTime {
    int year = 2000; // four digits
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const TMKUtcTime&, const TMKUtcTime&) = default;
};

// `seconds` later (or earlier), across days, months and years.
[[nodiscard]] TMKUtcTime TMKUtcAddSeconds(const TMKUtcTime& time, long long seconds);

struct TMKNmeaFix {
    TMKUtcTime utc;
    bool valid = true;          // RMC 'A'/'V'; GGA quality 0 when false
    double latitude = 0;        // decimal degrees, south negative
    double longitude = 0;       // decimal degrees, west negative
    double speedKnots = 0;
    double courseDegrees = 0;   // true course, 0..360
    int fixQuality = 1;         // GGA: 1 GPS fix, 2 DGPS
    double hdop = 0.9;
    double pdop = 1.6;
    double vdop = 1.3;
    double altitudeMeters = 520;
    double geoidSeparationMeters = 47.9;
    std::vector<int> gpsPrns;     // used satellites, 1..32
    std::vector<int> glonassPrns; // used satellites, 65..96
    std::string talker = "GP";    // of RMC and GGA

    [[nodiscard]] int satellitesUsed() const { return static_cast<int>(gpsPrns.size() + glonassPrns.size()); }
};

// XOR of the bytes between '$' and '*'; `body` is that text.
[[nodiscard]] uint8_t TMKNmeaChecksum(std::string_view body);
// "$" body "*HH" CR LF.
[[nodiscard]] std::string TMKNmeaSentence(std::string_view body);

// ddmm.mmmm / dddmm.mmmm of a magnitude, minutes rounded to 4 places.
[[nodiscard]] std::string TMKNmeaLatitudeField(double degrees);
[[nodiscard]] std::string TMKNmeaLongitudeField(double degrees);
// The same value as the camera's records hold it: degrees * 100 + minutes.
[[nodiscard]] double TMKNmeaCoordinate(double degrees);

[[nodiscard]] std::string TMKNmeaRMC(const TMKNmeaFix& fix);
[[nodiscard]] std::string TMKNmeaGGA(const TMKNmeaFix& fix);
// One $GNGSA over up to 12 PRNs (more are dropped); fix type 3 (3D) when
// the fix is valid, 1 otherwise.
[[nodiscard]] std::string TMKNmeaGSA(const std::vector<int>& prns, const TMKNmeaFix& fix);
[[nodiscard]] std::string TMKNmeaGNS(const TMKNmeaFix& fix);

// RMC, GGA, GSA (GPS), GSA (GLONASS) and, when asked, GNS.
[[nodiscard]] std::vector<std::string> TMKNmeaSentencesForFix(const TMKNmeaFix& fix, bool withGns = false);

// Fills a GPS record: header, timestamp, the camera's summary of the fix
// (ddmm.mmmm magnitudes, hemisphere letters, whole km/h, KM '9') and as many
// whole sentences as fit into RawData, in order. Returns how many went in;
// text that would not fit is left out, never cut.
std::size_t TMKPackGpsRecord(const std::vector<std::string>& sentences, const TMKNmeaFix& fix, uint32_t timestampMs,
                             _AVI_GPS_DATA_T& record, uint32_t distanceMeters = 0);
