#pragma once

#include "TMKAviRecords.h"
#include "TMKGpsData.h"
#include "TMKNMEASentenceParser.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct TMKAviGSensorData {
    static std::shared_ptr<const TMKAviGSensorData> aviGSensorDataWithData(const _AVI_GSENSOR_DATA_T& record)
    {
        return std::make_shared<const TMKAviGSensorData>(TMKAviGSensorData{record});
    }
    _AVI_GSENSOR_DATA_T data;
};

struct TMKAviGpsData {
    static std::shared_ptr<const TMKAviGpsData> aviGpsDataWithData(const _AVI_GPS_DATA_T& record)
    {
        return std::make_shared<const TMKAviGpsData>(TMKAviGpsData{record});
    }
    _AVI_GPS_DATA_T data;
};

// Where extraction reads bytes from: a file, or memory (tests, fuzzing).
class TMKByteSource {
public:
    virtual ~TMKByteSource() = default;
    [[nodiscard]] virtual uint64_t length() const = 0;
    // Reads up to `size` bytes at `offset`; returns the count read (0 at or
    // past the end).
    virtual std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) = 0;
};

// The telemetry of the recording being played.
class TMKBlackBoxData {
public:
    void clear();

    // True when the file is a RIFF/AVI file, whether or not it held
    // telemetry; false when it cannot be opened or is not RIFF/AVI. Always
    // clears first, so a failed call leaves empty lists.
    bool ExtractStreamInformation(const char* path);
    bool ExtractStreamInformation(TMKByteSource& source);
    bool ExtractStreamInformationFromBuffer(const uint8_t* data, std::size_t size);

    // Splits NMEA text into sentences in place and feeds those starting with
    // "$G" to the parser, storing the fix after each.
    bool ParseNMEA(char* buffer, std::size_t bufferSize);
    bool ParseGSensor(const _AVI_GSENSOR_DATA_T* record, std::size_t bufferSize);

    // Lines the GPS records up with the G-sensor records into m_vGpsData.
    void lineUpGpsRecords(const std::vector<std::shared_ptr<const TMKAviGpsData>>& gpsRecords);

    TMKNMEASentenceParser m_NMEAParser;
    std::vector<TMKGpsData> m_NMEAs;
    std::vector<TMKGSensor> m_GSensors;
    std::vector<std::shared_ptr<const TMKAviGSensorData>> m_vGSensorData;
    std::vector<std::shared_ptr<const TMKAviGpsData>> m_vGpsData;
};
