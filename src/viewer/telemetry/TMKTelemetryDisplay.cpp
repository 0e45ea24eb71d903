#include "viewer/telemetry/TMKTelemetryDisplay.h"

#include "map/TMKMapScripts.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

// A record's own hemisphere letter when it carries one.
std::optional<bool> recordSouth(char ns)
{
    if (ns == 'N' || ns == 'S')
        return ns == 'S';
    return std::nullopt;
}

std::optional<bool> recordWest(char ew)
{
    if (ew == 'E' || ew == 'W')
        return ew == 'W';
    return std::nullopt;
}

struct Hemisphere {
    bool south;
    bool west;
};

// The hemisphere a record says, by its letters, else by the position
// sentences in its own text; nothing when it says neither.
std::optional<Hemisphere> recordHemisphere(const _AVI_GPS_DATA_T& record)
{
    const auto south = recordSouth(record.NS);
    const auto west = recordWest(record.EW);
    if (south && west)
        return Hemisphere{*south, *west};
    const std::size_t length = std::min<std::size_t>(record.nLen, _AVI_GPS_DATA_T::kRawDataSize);
    const std::string_view text(record.RawData, strnlen(record.RawData, length));
    TMKNMEASentenceParser parser;
    bool positioned = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view sentence = text.substr(start, end - start);
        if (sentence.substr(0, 2) == "$G" && parser.parse(sentence)
            && (parser.m_Current.Latitude != 0 || parser.m_Current.Longitude != 0))
            positioned = true;
        start = end + 1;
    }
    if (!positioned)
        return std::nullopt;
    return Hemisphere{south.value_or(parser.m_Current.NS == 'S'), west.value_or(parser.m_Current.EW == 'W')};
}

// A void fix stores no position: both coordinates 0.
bool hasPosition(const _AVI_GPS_DATA_T& record)
{
    return record.fLatitude != 0 || record.fLongitude != 0;
}

// Decimal degrees, x latitude and y longitude, negative south and west.
QPointF signedDegrees(const _AVI_GPS_DATA_T& record, bool south, bool west)
{
    const double latitude = std::fabs(record.fLatitude) * (south ? -1 : 1);
    const double longitude = std::fabs(record.fLongitude) * (west ? -1 : 1);
    return {TKNmeaToDegrees(latitude), TKNmeaToDegrees(longitude)};
}

} // namespace

QString TMKGSensorText(char axis, double value)
{
    return QString::asprintf("%c=%s%.2lf", axis, value > 0 ? "+" : "", value);
}

TMKTelemetryReadout TMKTelemetryDisplay::gsensorReadout(const TMKBlackBoxData& data, double position) const
{
    TMKTelemetryReadout readout;
    const auto& samples = data.m_GSensors;
    if (samples.empty())
        return readout;
    const TMKGSensor& sample = samples[static_cast<std::size_t>(TMKIndexForPosition(position, samples.size()))];
    readout.x = TMKGSensorText('X', sample.x);
    readout.y = TMKGSensorText('Y', sample.y);
    readout.z = TMKGSensorText('Z', sample.z);
    return readout;
}

TMKTelemetryReadout TMKTelemetryDisplay::gpsReadout(const TMKBlackBoxData& data, double position)
{
    TMKTelemetryReadout readout;
    const auto& records = data.m_vGpsData;
    const auto& fixes = data.m_NMEAs;
    if (records.empty()) {
        readout.mapScripts << TMKDebugScript(QStringLiteral("GPS Data Count=Zero"));
    } else {
        const auto index = static_cast<std::size_t>(TMKIndexForPosition(position, records.size()));
        const _AVI_GPS_DATA_T& record = records[index]->data;

        // The record itself says its hemisphere. Only a record that does
        // not falls back to the fix at the same index, whose list has
        // another length and may not have seen a position yet.
        if (const auto hemisphere = recordHemisphere(record)) {
            m_south = hemisphere->south;
            m_west = hemisphere->west;
        } else if (index < fixes.size()) {
            m_south = fixes[index].NS != 'N';
            m_west = fixes[index].EW != 'E';
        }
        // A record without a position (a void fix) leaves the marker where it is.
        if (hasPosition(record)) {
            const QPointF degrees = signedDegrees(record, m_south, m_west);
            readout.mapScripts << TMKSetLatLagScript(degrees.x(), degrees.y());
        }
        // The camera says its unit: '9' kilometres an hour, else miles.
        constexpr double kKmPerMile = 1.609344;
        const bool recordedKm = record.KM == '9';
        const bool mph = m_mph.value_or(!recordedKm);
        double speed = record.fSpeed;
        if (recordedKm && mph)
            speed /= kKmPerMile;
        else if (!recordedKm && !mph)
            speed *= kKmPerMile;
        readout.speed = QString::asprintf(mph ? "%d Mi/h" : "%d Km/h", static_cast<int>(std::lround(speed)));
    }
    if (!fixes.empty()) {
        const TMKGpsData& fix = fixes[static_cast<std::size_t>(TMKIndexForPosition(position, fixes.size()))];
        readout.hdop = QString::asprintf("%.1f", fix.HDOP);
        readout.satellites = QString::asprintf("%d", static_cast<int>(fix.SatelliteUsedCount));
    }
    return readout;
}

QList<QPointF> TMKTelemetryDisplay::trackPoints(const TMKBlackBoxData& data)
{
    // A holder filled by hand has no records-as-read list; its lined-up
    // entries then stand for the records.
    const auto& records = data.m_vGpsRecords.empty() ? data.m_vGpsData : data.m_vGpsRecords;
    QList<QPointF> points;
    bool south = false;
    bool west = false;
    const TMKAviGpsData* previous = nullptr;
    for (const auto& entry : records) {
        if (entry.get() == previous)
            continue;
        previous = entry.get();
        const _AVI_GPS_DATA_T& record = entry->data;
        if (!hasPosition(record))
            continue;
        if (const auto hemisphere = recordHemisphere(record)) {
            south = hemisphere->south;
            west = hemisphere->west;
        }
        const QPointF degrees = signedDegrees(record, south, west);
        // Consecutive records at one place add nothing to the line.
        if (points.isEmpty() || points.back() != degrees)
            points.push_back(degrees);
    }
    return points;
}

QString TMKTelemetryDisplay::trackScript(const QList<QPointF>& track)
{
    return TMKSetTrackScript(track);
}
