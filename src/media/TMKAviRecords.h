#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the camera's records are little-endian and read by copying");

// One G-sensor sample as the camera stores it in a "02sb" chunk.
struct _AVI_GSENSOR_DATA_T {
    int32_t header;      // 171 in a well-formed record
    uint32_t timestamp;  // ms
    int32_t xAxis;       // 1/256 g
    int32_t yAxis;
    int32_t zAxis;
    int32_t nTemprature; // not used
};
static_assert(sizeof(_AVI_GSENSOR_DATA_T) == 24);
static_assert(offsetof(_AVI_GSENSOR_DATA_T, timestamp) == 4);
static_assert(offsetof(_AVI_GSENSOR_DATA_T, xAxis) == 8);
static_assert(offsetof(_AVI_GSENSOR_DATA_T, zAxis) == 16);

// One GPS record: the NMEA text of one moment plus the camera's own summary.
struct _AVI_GPS_DATA_T {
    static constexpr std::size_t kRawDataSize = 508;

    int32_t header;      // 205 in a well-formed record
    uint32_t nTimestamp; // ms
    uint32_t nLen;       // bytes of NMEA text in RawData
    uint32_t sig;
    double fLatitude;    // ddmm.mmmm, magnitude
    double fLongitude;   // dddmm.mmmm, magnitude
    uint32_t fSpeed;     // whole units of KM
    uint32_t distance;
    char NS;
    char EW;
    char KM;             // '9' km/h, anything else mph
    char dummy;
    char RawData[kRawDataSize];
};
static_assert(sizeof(_AVI_GPS_DATA_T) == 552);
static_assert(offsetof(_AVI_GPS_DATA_T, nLen) == 8);
static_assert(offsetof(_AVI_GPS_DATA_T, fLatitude) == 16);
static_assert(offsetof(_AVI_GPS_DATA_T, fLongitude) == 24);
static_assert(offsetof(_AVI_GPS_DATA_T, fSpeed) == 32);
static_assert(offsetof(_AVI_GPS_DATA_T, NS) == 40);
static_assert(offsetof(_AVI_GPS_DATA_T, KM) == 42);
static_assert(offsetof(_AVI_GPS_DATA_T, RawData) == 44);

// The fixed positions of the camera's AVI layout.
namespace TMKAviLayout {
constexpr uint32_t kMoviSizeOffset = 14136;  // u32 size of the 'movi' list
constexpr uint32_t kMoviTagOffset = 14140;   // "movi"; chunk offsets count from here
constexpr uint32_t kChunkSizeBase = 14144;   // chunk size field = this + offset
constexpr uint32_t kIndexBase = 14148;       // index entries = this + movi size
constexpr uint32_t kIndexEntrySize = 16;
constexpr uint32_t kGSensorHeader = 171;
constexpr uint32_t kGpsHeader = 205;
constexpr uint32_t kGSensorChunkMax = 32;    // longer telemetry chunks are GPS records
constexpr char kTelemetryChunkId[4] = {'0', '2', 's', 'b'};
} // namespace TMKAviLayout
