#include "TelemetryReport.h"

#include "base/TMKText.h"
#include "media/TMKTrip.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

std::string charText(char c)
{
    return std::string(1, c);
}

std::string degreesText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7f", value);
    return text;
}

bool hasPosition(const TMKGpsData& fix)
{
    return fix.Latitude != 0 || fix.Longitude != 0;
}

} // namespace

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = TMKUtf8SequenceLength(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        ++i;
    }
    out.push_back('"');
    return out;
}

std::string jsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string jsonNumber(float value)
{
    if (!std::isfinite(value))
        return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string formatSystemTime(const _SYSTEMTIME& time)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

void writeTelemetryJson(std::ostream& out, const TelemetryReport& report)
{
    out << "{\"file\":" << jsonString(report.path) << ",\"ok\":" << (report.ok ? "true" : "false");
    if (!report.ok)
        out << ",\"error\":" << jsonString(report.error);

    const TMKBlackBoxData* data = report.data;
    out << ",\"gsensor\":[";
    if (data) {
        for (std::size_t i = 0; i < data->m_GSensors.size(); ++i) {
            const TMKGSensor& g = data->m_GSensors[i];
            out << (i ? "," : "") << "{\"t\":" << data->m_vGSensorData[i]->data.timestamp
                << ",\"x\":" << jsonNumber(g.x) << ",\"y\":" << jsonNumber(g.y) << ",\"z\":" << jsonNumber(g.z) << "}";
        }
    }
    out << "],\"gps_records\":[";
    if (data) {
        // As read, in file order: the lined-up list is empty without
        // G-sensor samples and repeats records over their runs.
        bool first = true;
        for (const auto& entry : data->m_vGpsRecords) {
            const _AVI_GPS_DATA_T& r = entry->data;
            out << (first ? "" : ",") << "{\"t\":" << r.nTimestamp << ",\"Latitude\":" << jsonNumber(r.fLatitude)
                << ",\"Longitude\":" << jsonNumber(r.fLongitude) << ",\"fSpeed\":" << r.fSpeed
                << ",\"KM\":" << jsonString(charText(r.KM)) << ",\"nLen\":" << r.nLen << "}";
            first = false;
        }
    }
    out << "],\"lined_up\":[";
    if (data) {
        for (std::size_t i = 0; i < data->m_vGpsData.size(); ++i)
            out << (i ? "," : "") << data->m_vGpsData[i]->data.nTimestamp;
    }
    out << "],\"fixes\":[";
    if (data) {
        for (std::size_t i = 0; i < data->m_NMEAs.size(); ++i) {
            const TMKGpsData& f = data->m_NMEAs[i];
            out << (i ? "," : "") << "{\"Now\":" << jsonString(formatSystemTime(f.Now))
                << ",\"Latitude\":" << jsonNumber(f.Latitude) << ",\"NS\":" << jsonString(charText(f.NS))
                << ",\"Longitude\":" << jsonNumber(f.Longitude) << ",\"EW\":" << jsonString(charText(f.EW))
                << ",\"SpeedOverGround\":" << jsonNumber(f.SpeedOverGround)
                << ",\"CourseOverGround\":" << jsonNumber(f.CourseOverGround) << ",\"HDOP\":" << jsonNumber(f.HDOP)
                << ",\"SatelliteUsedCount\":" << f.SatelliteUsedCount << ",\"SatelliteUsed\":[";
            for (int c = 0; c < TMKGpsData::kChannels; ++c)
                out << (c ? "," : "") << static_cast<unsigned>(f.SatelliteUsedAtIndex(c));
            out << "],\"SatelliteUsedCount_GPS\":" << f.SatelliteUsedCount_GPS
                << ",\"SatelliteUsedCount_GLONASS\":" << f.SatelliteUsedCount_GLONASS
                << ",\"Enable_GNGNS\":" << (f.Enable_GNGNS ? "true" : "false")
                << ",\"Enable_GNGSA\":" << (f.Enable_GNGSA ? "true" : "false")
                << ",\"Cnt_GNGSA\":" << (f.Cnt_GNGSA ? "true" : "false")
                << ",\"lat_deg\":" << jsonNumber(TMKLatitudeDegrees(f))
                << ",\"lon_deg\":" << jsonNumber(TMKLongitudeDegrees(f)) << "}";
        }
    }
    out << "]}\n";
}

void writeTelemetryCsvHeader(std::ostream& out)
{
    out << "file,index,Now,Latitude,NS,Longitude,EW,lat_deg,lon_deg,SpeedOverGround,CourseOverGround,HDOP,"
           "SatelliteUsedCount,SatelliteUsedCount_GPS,SatelliteUsedCount_GLONASS\n";
}

void writeTelemetryCsvRows(std::ostream& out, const TelemetryReport& report)
{
    if (!report.data)
        return;
    const std::string file = TMKCsvField(report.path);
    for (std::size_t i = 0; i < report.data->m_NMEAs.size(); ++i) {
        const TMKGpsData& f = report.data->m_NMEAs[i];
        out << file << ',' << i << ',' << formatSystemTime(f.Now) << ',' << jsonNumber(f.Latitude) << ','
            << TMKCsvField(charText(f.NS)) << ',' << jsonNumber(f.Longitude) << ',' << TMKCsvField(charText(f.EW)) << ','
            << degreesText(TMKLatitudeDegrees(f)) << ',' << degreesText(TMKLongitudeDegrees(f)) << ','
            << jsonNumber(f.SpeedOverGround) << ',' << jsonNumber(f.CourseOverGround) << ',' << jsonNumber(f.HDOP)
            << ',' << f.SatelliteUsedCount << ',' << f.SatelliteUsedCount_GPS << ','
            << f.SatelliteUsedCount_GLONASS << '\n';
    }
}

void writeGpxBegin(std::ostream& out)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"tamek-telemetry\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n";
}

void writeGpxTrack(std::ostream& out, const TelemetryReport& report)
{
    if (!report.data)
        return;
    const auto& fixes = report.data->m_NMEAs;
    out << " <trk>\n  <name>" << TMKXmlText(report.path) << "</name>\n  <trkseg>\n";
    // A fix is stored after every sentence; the last one stored under a time
    // carries that cycle's position. Fixes without a date or a position (no
    // signal yet) are not points of the track.
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        const TMKGpsData& f = fixes[i];
        if (i + 1 < fixes.size() && fixes[i + 1].Now == f.Now)
            continue;
        // Nor are fixes GPX cannot carry: a date that does not exist, a
        // position off the globe (damaged or crafted text).
        if (!TMKIsValidUtc(f.Now) || !hasPosition(f) || std::fabs(TMKLatitudeDegrees(f)) > 90
            || !(std::fabs(TMKLongitudeDegrees(f)) < 180))
            continue;
        out << "   <trkpt lat=\"" << degreesText(TMKLatitudeDegrees(f)) << "\" lon=\""
            << degreesText(TMKLongitudeDegrees(f)) << "\"><time>" << formatSystemTime(f.Now)
            << "Z</time><extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>"
            << jsonNumber(f.SpeedOverGround * kMetresPerSecondPerKnot) << "</gpxtpx:speed><gpxtpx:course>"
            << jsonNumber(f.CourseOverGround) << "</gpxtpx:course></gpxtpx:TrackPointExtension></extensions></trkpt>\n";
    }
    out << "  </trkseg>\n </trk>\n";
}

void writeGpxEnd(std::ostream& out)
{
    out << "</gpx>\n";
}
