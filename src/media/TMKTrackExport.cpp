#include "media/TMKTrackExport.h"

#include "base/TKAtomicFile.h"
#include "base/TMKText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

const char* const kTMKTrackCsvHeader =
    "track,seconds,recording,seconds_in_recording,utc,latitude,longitude,altitude,speed_kmh,course,hdop,satellites";

namespace {

constexpr std::size_t kCsvColumns = 12;

// Fixed notation: xsd:decimal has no exponent. Shortest text that reads
// back to the same double, so CSV round-trips exactly.
std::string decimal(double value)
{
    if (!std::isfinite(value))
        value = 0;
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return "0";
    return std::string(text, result.ptr);
}

std::string utcText(const _SYSTEMTIME& t)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// Splits one CSV record starting at `at`; moves `at` past its line end.
bool csvRecord(std::string_view text, std::size_t& at, std::vector<std::string>& fields, std::string& why)
{
    fields.clear();
    std::string current;
    bool quoted = false;
    bool wasQuoted = false;
    while (at < text.size()) {
        const char c = text[at];
        if (quoted) {
            if (c == '"') {
                if (at + 1 < text.size() && text[at + 1] == '"') {
                    current.push_back('"');
                    at += 2;
                    continue;
                }
                quoted = false;
                ++at;
                continue;
            }
            current.push_back(c);
            ++at;
            continue;
        }
        if (c == '"') {
            if (!current.empty() || wasQuoted) {
                why = "a quote inside an unquoted field";
                return false;
            }
            quoted = wasQuoted = true;
            ++at;
            continue;
        }
        if (c == ',') {
            fields.push_back(std::move(current));
            current.clear();
            wasQuoted = false;
            ++at;
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            ++at;
            fields.push_back(std::move(current));
            return true;
        }
        if (wasQuoted) {
            why = "text after a closing quote";
            return false;
        }
        current.push_back(c);
        ++at;
    }
    if (quoted) {
        why = "a quoted field is not closed";
        return false;
    }
    fields.push_back(std::move(current));
    return true;
}

bool readDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

template <typename T>
bool readUnsigned(const std::string& text, T& value)
{
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool readUtc(const std::string& text, _SYSTEMTIME& t)
{
    // YYYY-MM-DDTHH:MM:SS.mmmZ, 24 characters, every digit where it belongs.
    static constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z";
    if (text.size() != kShape.size())
        return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == '0' ? !digit : text[i] != kShape[i])
            return false;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        uint16_t v = 0;
        for (std::size_t i = at; i < at + length; ++i)
            v = static_cast<uint16_t>(v * 10 + (text[i] - '0'));
        return v;
    };
    t = _SYSTEMTIME{};
    t.wYear = number(0, 4);
    t.wMonth = number(5, 2);
    t.wDay = number(8, 2);
    t.wHour = number(11, 2);
    t.wMinute = number(14, 2);
    t.wSecond = number(17, 2);
    t.wMilliseconds = number(20, 3);
    return TMKIsValidUtc(t);
}

} // namespace

std::string TMKGpxText(const std::vector<TMKTrack>& tracks)
{
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"tamek\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\"\n"
        "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    for (const TMKTrack& track : tracks) {
        out += " <trk>\n  <name>" + TMKXmlText(track.name) + "</name>\n  <trkseg>\n";
        for (const TMKTrackPoint& p : track.points) {
            // The elements of a point come in the order the schema fixes.
            out += "   <trkpt lat=\"" + decimal(p.latitude) + "\" lon=\"" + decimal(p.longitude) + "\">";
            if (p.hasAltitude)
                out += "<ele>" + decimal(p.altitude) + "</ele>";
            if (p.hasUtc)
                out += "<time>" + utcText(p.utc) + "</time>";
            out += "<sat>" + std::to_string(p.satellites) + "</sat>";
            if (p.hdop >= 0)
                out += "<hdop>" + decimal(p.hdop) + "</hdop>";
            // GPX 1.1 has no speed or course; the Garmin extension carries
            // them in metres per second and degrees.
            out += "<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>" + decimal(p.speedKmh / 3.6)
                   + "</gpxtpx:speed><gpxtpx:course>" + decimal(p.course)
                   + "</gpxtpx:course></gpxtpx:TrackPointExtension></extensions></trkpt>\n";
        }
        out += "  </trkseg>\n </trk>\n";
    }
    out += "</gpx>\n";
    return out;
}

std::string TMKKmlText(const std::vector<TMKTrack>& tracks)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n";
    for (const TMKTrack& track : tracks) {
        out += " <Placemark>\n  <name>" + TMKXmlText(track.name) + "</name>\n";
        bool allAltitudes = !track.points.empty();
        for (const TMKTrackPoint& p : track.points)
            allAltitudes = allAltitudes && p.hasAltitude;
        // KML tuples are longitude,latitude[,altitude]; the altitude is
        // written only when every point has one, so the tuples agree.
        const auto tuple = [&](const TMKTrackPoint& p) {
            std::string t = decimal(p.longitude) + "," + decimal(p.latitude);
            if (allAltitudes)
                t += "," + decimal(p.altitude);
            return t;
        };
        if (track.points.size() == 1) {
            out += "  <Point><coordinates>" + tuple(track.points.front()) + "</coordinates></Point>\n";
        } else if (track.points.size() > 1) {
            out += "  <LineString>\n   <tessellate>1</tessellate>\n   <coordinates>\n";
            for (const TMKTrackPoint& p : track.points)
                out += "    " + tuple(p) + "\n";
            out += "   </coordinates>\n  </LineString>\n";
        }
        out += " </Placemark>\n";
    }
    out += "</Document>\n</kml>\n";
    return out;
}

std::string TMKTrackCsvText(const std::vector<TMKTrack>& tracks)
{
    std::string out = std::string(kTMKTrackCsvHeader) + "\n";
    for (const TMKTrack& track : tracks) {
        const std::string name = TMKCsvField(track.name);
        for (const TMKTrackPoint& p : track.points) {
            out += name + ',' + decimal(p.seconds) + ',' + std::to_string(p.recording) + ','
                   + decimal(p.secondsInRecording) + ',' + (p.hasUtc ? utcText(p.utc) : std::string()) + ','
                   + decimal(p.latitude) + ',' + decimal(p.longitude) + ','
                   + (p.hasAltitude ? decimal(p.altitude) : std::string()) + ',' + decimal(p.speedKmh) + ','
                   + decimal(p.course) + ',' + decimal(p.hdop) + ',' + std::to_string(p.satellites) + '\n';
        }
    }
    return out;
}

std::string TMKTrackText(TMKTrackFormat format, const std::vector<TMKTrack>& tracks)
{
    switch (format) {
    case TMKTrackFormat::Gpx: return TMKGpxText(tracks);
    case TMKTrackFormat::Kml: return TMKKmlText(tracks);
    case TMKTrackFormat::Csv: break;
    }
    return TMKTrackCsvText(tracks);
}

bool TMKReadTrackCsv(std::string_view text, std::vector<TMKTrack>& tracks, std::string* error)
{
    tracks.clear();
    std::size_t at = 0;
    std::size_t line = 0;
    std::vector<std::string> fields;
    std::string why;
    const auto fail = [&](const std::string& reason) {
        if (error)
            *error = "line " + std::to_string(line) + ": " + reason;
        return false;
    };

    ++line;
    if (!csvRecord(text, at, fields, why))
        return fail(why);
    std::string header;
    for (std::size_t i = 0; i < fields.size(); ++i)
        header += (i ? "," : "") + fields[i];
    if (header != kTMKTrackCsvHeader)
        return fail("not a track CSV header");

    while (at < text.size()) {
        ++line;
        if (!csvRecord(text, at, fields, why))
            return fail(why);
        if (fields.size() == 1 && fields[0].empty())
            continue; // a blank line
        if (fields.size() != kCsvColumns)
            return fail("expected " + std::to_string(kCsvColumns) + " fields, found " + std::to_string(fields.size()));
        TMKTrackPoint p;
        if (!readDouble(fields[1], p.seconds))
            return fail("bad seconds");
        if (!readUnsigned(fields[2], p.recording))
            return fail("bad recording");
        if (!readDouble(fields[3], p.secondsInRecording))
            return fail("bad seconds_in_recording");
        p.hasUtc = !fields[4].empty();
        if (p.hasUtc && !readUtc(fields[4], p.utc))
            return fail("bad utc");
        if (!readDouble(fields[5], p.latitude) || std::fabs(p.latitude) > 90)
            return fail("bad latitude");
        if (!readDouble(fields[6], p.longitude) || std::fabs(p.longitude) > 180)
            return fail("bad longitude");
        p.hasAltitude = !fields[7].empty();
        if (p.hasAltitude && !readDouble(fields[7], p.altitude))
            return fail("bad altitude");
        if (!readDouble(fields[8], p.speedKmh))
            return fail("bad speed_kmh");
        if (!readDouble(fields[9], p.course))
            return fail("bad course");
        if (!readDouble(fields[10], p.hdop))
            return fail("bad hdop");
        if (!readUnsigned(fields[11], p.satellites))
            return fail("bad satellites");
        if (tracks.empty() || tracks.back().name != fields[0])
            tracks.push_back({fields[0], {}});
        tracks.back().points.push_back(p);
    }
    return true;
}

std::optional<std::string> TMKWriteTrackFile(const std::string& path, TMKTrackFormat format,
                                             const std::vector<TMKTrack>& tracks)
{
    return TKWriteFileAtomically(path, TMKTrackText(format, tracks), kTKOutputPolicy);
}
