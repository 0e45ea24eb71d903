#include "TMKNmeaBuilder.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Text of numbers without the process locale: the demo tool runs inside a
// Qt application, which sets it from the environment.
std::string fixed(double value, int precision)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    return std::string(buffer, result.ptr);
}

std::string padded(long long value, int width)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

// Magnitude in units of 1/10000 minute, so that degrees, minutes and their
// fraction all come from one rounding and never show "60.0000".
long long coordinateUnits(double degrees)
{
    return std::llround(std::fabs(degrees) * 600000.0);
}

std::string coordinateField(double degrees, int degreeDigits)
{
    const long long units = coordinateUnits(degrees);
    const long long minuteUnits = units % 600000;
    return padded(units / 600000, degreeDigits) + padded(minuteUnits / 10000, 2) + "." +
           padded(minuteUnits % 10000, 4);
}

std::string timeField(const TMKUtcTime& t)
{
    return padded(t.hour, 2) + padded(t.minute, 2) + padded(t.second, 2) + "." + padded(t.millisecond, 3);
}

std::string dateField(const TMKUtcTime& t)
{
    return padded(t.day, 2) + padded(t.month, 2) + padded(t.year % 100, 2);
}

std::string positionFields(const TMKNmeaFix& fix)
{
    if (!fix.valid)
        return ",,,";
    return TMKNmeaLatitudeField(fix.latitude) + (fix.latitude < 0 ? ",S," : ",N,") +
           TMKNmeaLongitudeField(fix.longitude) + (fix.longitude < 0 ? ",W" : ",E");
}

// Days since 1970-01-01 of a civil date and back (proleptic Gregorian).
long long daysFromCivil(long long y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

} // namespace

TMKUtcTime TMKUtcAddSeconds(const TMKUtcTime& time, long long seconds)
{
    long long total = daysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600LL +
                      time.minute * 60LL + time.second + seconds;
    long long days = total / 86400;
    long long rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    TMKUtcTime result = time;
    civilFromDays(days, result.year, result.month, result.day);
    result.hour = static_cast<int>(rest / 3600);
    result.minute = static_cast<int>(rest / 60 % 60);
    result.second = static_cast<int>(rest % 60);
    return result;
}

uint8_t TMKNmeaChecksum(std::string_view body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
    return sum;
}

std::string TMKNmeaSentence(std::string_view body)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const uint8_t sum = TMKNmeaChecksum(body);
    std::string sentence;
    sentence.reserve(body.size() + 6);
    sentence.push_back('$');
    sentence.append(body);
    sentence.push_back('*');
    sentence.push_back(kHex[sum >> 4]);
    sentence.push_back(kHex[sum & 0xF]);
    sentence.append("\r\n");
    return sentence;
}

std::string TMKNmeaLatitudeField(double degrees)
{
    return coordinateField(degrees, 2);
}

std::string TMKNmeaLongitudeField(double degrees)
{
    return coordinateField(degrees, 3);
}

double TMKNmeaCoordinate(double degrees)
{
    const long long units = coordinateUnits(degrees);
    return static_cast<double>(units / 600000 * 100) + static_cast<double>(units % 600000) / 10000.0;
}

std::string TMKNmeaRMC(const TMKNmeaFix& fix)
{
    std::string body = fix.talker + "RMC," + timeField(fix.utc) + (fix.valid ? ",A," : ",V,") + positionFields(fix);
    if (fix.valid)
        body += "," + fixed(fix.speedKnots, 2) + "," + fixed(fix.courseDegrees, 2) + ",";
    else
        body += ",,,";
    body += dateField(fix.utc) + ",,," + (fix.valid ? "A" : "N");
    return TMKNmeaSentence(body);
}

std::string TMKNmeaGGA(const TMKNmeaFix& fix)
{
    std::string body = fix.talker + "GGA," + timeField(fix.utc) + "," + positionFields(fix) + ",";
    if (!fix.valid)
        return TMKNmeaSentence(body + "0,00,,,M,,M,,");
    body += std::to_string(fix.fixQuality) + "," + padded(fix.satellitesUsed(), 2) + "," + fixed(fix.hdop, 2) + "," +
            fixed(fix.altitudeMeters, 1) + ",M," + fixed(fix.geoidSeparationMeters, 1) + ",M,,";
    return TMKNmeaSentence(body);
}

std::string TMKNmeaGSA(const std::vector<int>& prns, const TMKNmeaFix& fix)
{
    std::string body = fix.valid ? "GNGSA,A,3" : "GNGSA,A,1";
    for (std::size_t channel = 0; channel < 12; ++channel) {
        body.push_back(',');
        if (fix.valid && channel < prns.size())
            body += padded(prns[channel], 2);
    }
    if (fix.valid)
        body += "," + fixed(fix.pdop, 2) + "," + fixed(fix.hdop, 2) + "," + fixed(fix.vdop, 2);
    else
        body += ",,,";
    return TMKNmeaSentence(body);
}

std::string TMKNmeaGNS(const TMKNmeaFix& fix)
{
    std::string body = "GNGNS," + timeField(fix.utc) + "," + positionFields(fix) + ",";
    if (!fix.valid)
        return TMKNmeaSentence(body + "NN,00,,,,,");
    body.push_back(fix.gpsPrns.empty() ? 'N' : 'A');
    body.push_back(fix.glonassPrns.empty() ? 'N' : 'A');
    body += "," + padded(fix.satellitesUsed(), 2) + "," + fixed(fix.hdop, 2) + "," + fixed(fix.altitudeMeters, 1) +
            "," + fixed(fix.geoidSeparationMeters, 1) + ",,";
    return TMKNmeaSentence(body);
}

std::vector<std::string> TMKNmeaSentencesForFix(const TMKNmeaFix& fix, bool withGns)
{
    std::vector<std::string> sentences{TMKNmeaRMC(fix), TMKNmeaGGA(fix), TMKNmeaGSA(fix.gpsPrns, fix),
                                       TMKNmeaGSA(fix.glonassPrns, fix)};
    if (withGns)
        sentences.push_back(TMKNmeaGNS(fix));
    return sentences;
}

std::size_t TMKPackGpsRecord(const std::vector<std::string>& sentences, const TMKNmeaFix& fix, uint32_t timestampMs,
                             _AVI_GPS_DATA_T& record, uint32_t distanceMeters)
{
    record = _AVI_GPS_DATA_T{};
    record.header = static_cast<int32_t>(TMKAviLayout::kGpsHeader);
    record.nTimestamp = timestampMs;
    record.sig = fix.valid ? 1 : 0;
    record.distance = distanceMeters;
    record.KM = '9';
    if (fix.valid) {
        record.fLatitude = TMKNmeaCoordinate(fix.latitude);
        record.fLongitude = TMKNmeaCoordinate(fix.longitude);
        record.fSpeed = static_cast<uint32_t>(std::lround(fix.speedKnots * 1.852));
        record.NS = fix.latitude < 0 ? 'S' : 'N';
        record.EW = fix.longitude < 0 ? 'W' : 'E';
    }

    std::size_t used = 0;
    std::size_t packed = 0;
    for (const std::string& sentence : sentences) {
        if (used + sentence.size() > _AVI_GPS_DATA_T::kRawDataSize)
            break;
        std::memcpy(record.RawData + used, sentence.data(), sentence.size());
        used += sentence.size();
        ++packed;
    }
    record.nLen = static_cast<uint32_t>(used);
    return packed;
}
