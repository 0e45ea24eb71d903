#include "media/TMKNMEASentenceParser.h"

#include "media/TMKMedia.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Fields past the end of a short sentence read as empty ones.
std::string_view field(const TMKNMEASentenceParser::Fields& fields, std::size_t index)
{
    return index < fields.size() ? fields[index] : std::string_view();
}

bool present(const TMKNMEASentenceParser::Fields& fields, std::size_t index)
{
    return !field(fields, index).empty();
}

bool allDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

int twoDigits(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

struct UtcTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// "hhmmss.sss" exactly as the camera's receivers send it, plus the shorter
// forms other receivers use ("hhmmss", "hhmmss.s", "hhmmss.ss").
bool readUtcTime(std::string_view text, UtcTime& time)
{
    if (text.size() == 10) {
        char buffer[11];
        std::memcpy(buffer, text.data(), 10);
        buffer[10] = '\0';
        return std::sscanf(buffer, "%02d%02d%02d.%03d", &time.hour, &time.minute, &time.second,
                           &time.milliseconds) == 4;
    }
    if (text.size() != 6 && text.size() != 8 && text.size() != 9)
        return false;
    if (!allDigits(text.substr(0, 6)))
        return false;
    time.hour = twoDigits(text, 0);
    time.minute = twoDigits(text, 2);
    time.second = twoDigits(text, 4);
    time.milliseconds = 0;
    if (text.size() > 6) {
        const std::string_view fraction = text.substr(7);
        if (text[6] != '.' || !allDigits(fraction))
            return false;
        int value = 0;
        for (char c : fraction)
            value = value * 10 + (c - '0');
        time.milliseconds = fraction.size() == 1 ? value * 100 : value * 10;
    }
    return true;
}

bool readUtcDate(std::string_view text, int& day, int& month, int& year)
{
    char buffer[7];
    std::memcpy(buffer, text.data(), 6);
    buffer[6] = '\0';
    return std::sscanf(buffer, "%02d%02d%02d", &day, &month, &year) == 3;
}

TMKNMEASentenceParser::Fields split(std::string_view text, char separator)
{
    TMKNMEASentenceParser::Fields parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

} // namespace

float TMKNmeaFloat(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
    }
    // from_chars: independent of the process locale, which the GUI sets.
    float value = 0;
    const auto result = std::from_chars(text.data() + start, text.data() + i, value);
    if (result.ec != std::errc())
        return 0;
    return negative ? -value : value;
}

int32_t TMKNmeaInt(std::string_view text)
{
    return TMKLeadingInt(text);
}

bool TMKNMEASentenceParser::parse(const char* sentence)
{
    if (!sentence)
        return false;
    return parse(std::string_view(sentence));
}

bool TMKNMEASentenceParser::parse(std::string_view sentence)
{
    // Exactly one asterisk; the checksum after it is not verified.
    const auto star = sentence.find('*');
    if (star == std::string_view::npos || sentence.find('*', star + 1) != std::string_view::npos)
        return false;

    const Fields fields = split(sentence.substr(0, star), ',');
    const std::string_view id = fields.front();
    if (id == "$GPRMC" || id == "$GNRMC")
        return parseGPRMC(fields);
    if (id == "$GPGGA" || id == "$GNGGA")
        return parseGPGGA(fields);
    if (id == "$GNGSA")
        return parseGNGSA(fields);
    if (id == "$GNGNS")
        return parseGNGNS(fields);
    return false;
}

bool TMKNMEASentenceParser::parseGPRMC(const Fields& fields)
{
    m_Current.SpeedOverGround = TMKNmeaFloat(field(fields, 7));
    m_Current.CourseOverGround = TMKNmeaFloat(field(fields, 8));

    const std::string_view timeField = field(fields, 1);
    const std::string_view dateField = field(fields, 9);
    UtcTime time;
    int day = 0;
    int month = 0;
    int year = 0;
    if (dateField.size() == 6 && readUtcTime(timeField, time) && readUtcDate(dateField, day, month, year)) {
        _SYSTEMTIME& now = m_Current.Now;
        now.wYear = static_cast<uint16_t>(2000 + year);
        now.wMonth = static_cast<uint16_t>(month);
        now.wDayOfWeek = 0;
        now.wDay = static_cast<uint16_t>(day);
        now.wHour = static_cast<uint16_t>(time.hour);
        now.wMinute = static_cast<uint16_t>(time.minute);
        now.wSecond = static_cast<uint16_t>(time.second);
        now.wMilliseconds = static_cast<uint16_t>(time.milliseconds);
    }

    m_Current.Cnt_GNGSA = false;
    return true;
}

bool TMKNMEASentenceParser::parseGPGGA(const Fields& fields)
{
    // A hemisphere other than N/S or E/W comes from a garbled sentence;
    // taking it would put the position on the other side of the earth.
    if (present(fields, 2))
        m_Current.Latitude = TMKNmeaFloat(field(fields, 2));
    if (present(fields, 3) && (field(fields, 3)[0] == 'N' || field(fields, 3)[0] == 'S'))
        m_Current.NS = field(fields, 3)[0];
    if (present(fields, 4))
        m_Current.Longitude = TMKNmeaFloat(field(fields, 4));
    if (present(fields, 5) && (field(fields, 5)[0] == 'E' || field(fields, 5)[0] == 'W'))
        m_Current.EW = field(fields, 5)[0];

    if (fields.front() == "$GPGGA" && !m_Current.Enable_GNGNS && !m_Current.Enable_GNGSA)
        m_Current.SatelliteUsedCount = static_cast<uint32_t>(TMKNmeaInt(field(fields, 7)));
    if (!m_Current.Enable_GNGNS && present(fields, 8))
        m_Current.HDOP = TMKNmeaFloat(field(fields, 8));

    m_Current.Cnt_GNGSA = false;
    return true;
}

bool TMKNMEASentenceParser::parseGNGNS(const Fields& fields)
{
    m_Current.Enable_GNGNS = true;
    m_Current.SatelliteUsedCount = static_cast<uint32_t>(TMKNmeaInt(field(fields, 7)));
    if (present(fields, 8))
        m_Current.HDOP = TMKNmeaFloat(field(fields, 8));
    return true;
}

bool TMKNMEASentenceParser::parseGNGSA(const Fields& fields)
{
    m_Current.Enable_GNGSA = true;
    if (m_Current.Enable_GNGNS)
        return true;

    uint32_t used = 0;
    for (int channel = 0; channel < TMKGpsData::kChannels; ++channel) {
        const std::size_t index = static_cast<std::size_t>(channel) + 3;
        const uint8_t prn = present(fields, index)
                                ? static_cast<uint8_t>(static_cast<uint32_t>(TMKNmeaInt(field(fields, index))) % 256u)
                                : 0;
        m_Current.setSatelliteUsed(prn, channel);
        if (prn != 0)
            ++used;
    }

    // The first channel tells the constellation; without it, the toggle
    // left by the previous GSA sentence decides.
    const uint8_t first = m_Current.SatelliteUsedAtIndex(0);
    if (first >= 1 && first <= 64)
        m_Current.Cnt_GNGSA = false;
    else if (first >= 65)
        m_Current.Cnt_GNGSA = true;

    if (m_Current.Cnt_GNGSA) {
        m_Current.SatelliteUsedCount_GLONASS = used;
        m_Current.Cnt_GNGSA = false;
        m_Current.SatelliteUsedCount = m_Current.SatelliteUsedCount_GPS + m_Current.SatelliteUsedCount_GLONASS;
    } else {
        m_Current.SatelliteUsedCount_GPS = used;
        m_Current.Cnt_GNGSA = true;
    }
    return true;
}
