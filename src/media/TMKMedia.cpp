#include "media/TMKMedia.h"

#include <array>
#include <cctype>
#include <climits>
#include <cstdio>

namespace {

struct NameTemplate {
    std::string_view prefix;
    TMKMediaDivision division;
    std::size_t dateStart;
};

// Looked at in this order; the lengths of "alwa_yyyymmdd_hhmiss_F",
// "event_yyyymmdd_hhmiss_F" and "motion_yyyymmdd_hhmiss_F" admit a name.
constexpr std::array<NameTemplate, 3> kTemplates{{
    {"alwa_", TMKMediaDivisionAlways, 5},
    {"motion_", TMKMediaDivisionMotion, 7},
    {"event_", TMKMediaDivisionEvent, 6},
}};
constexpr std::size_t kDateBlockLength = 15; // "yyyymmdd_hhmiss"

bool hasAdmittedLength(std::size_t length)
{
    return length == 22 || length == 23 || length == 24;
}

std::string_view stripTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

std::string_view lastComponent(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// The path part of a URL; a plain path is its own path.
std::string urlPath(std::string_view url)
{
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return std::string(url);
    std::string_view rest = url.substr(scheme + 3);
    const auto pathStart = rest.find('/');
    if (pathStart == std::string_view::npos)
        return {};
    rest = rest.substr(pathStart);
    rest = rest.substr(0, rest.find_first_of("?#"));
    return percentDecoded(rest);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

int32_t TMKLeadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int32_t>(value);
}

std::shared_ptr<TMKMedia> TMKMedia::mediaWithPath(std::string_view path)
{
    return std::make_shared<TMKMedia>(path);
}

TMKMedia::TMKMedia(std::string_view filePath)
{
    parsePath(filePath);
}

void TMKMedia::parsePath(std::string_view filePath)
{
    const std::string_view trimmed = stripTrailingSlashes(filePath);
    path = std::string(trimmed);

    const std::string_view component = lastComponent(trimmed);
    const auto slash = trimmed.rfind('/');
    if (slash == std::string_view::npos)
        dir.clear();
    else
        dir = std::string(slash == 0 ? trimmed.substr(0, 1) : trimmed.substr(0, slash));

    // A leading dot marks a hidden file, not an extension.
    const auto dot = component.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        mediaName = std::string(component);
        extension.clear();
    } else {
        mediaName = std::string(component.substr(0, dot));
        extension = std::string(component.substr(dot + 1));
    }

    if (!hasAdmittedLength(mediaName.size())) {
        year = month = day = hour = minute = second = 0;
        return;
    }

    mediaDirection = TMKMediaDirectionUnknown;

    const std::string_view name = mediaName;
    for (const auto& tmpl : kTemplates) {
        if (name.substr(0, tmpl.prefix.size()) != tmpl.prefix)
            continue;
        mediaDivision = tmpl.division;
        const std::size_t p = tmpl.dateStart;
        if (name.size() < p + kDateBlockLength) {
            year = month = day = hour = minute = second = 0;
            return;
        }
        year = TMKLeadingInt(name.substr(p, 4));
        month = TMKLeadingInt(name.substr(p + 4, 2));
        day = TMKLeadingInt(name.substr(p + 6, 2));
        hour = TMKLeadingInt(name.substr(p + 9, 2));
        minute = TMKLeadingInt(name.substr(p + 11, 2));
        second = TMKLeadingInt(name.substr(p + 13, 2));
        break;
    }

    if (endsWith(name, "_F"))
        mediaDirection = TMKMediaDirectionFront;
    else if (endsWith(name, "_R"))
        mediaDirection = TMKMediaDirectionRear;
}

std::string TMKMedia::fileName() const
{
    return mediaName + "." + extension;
}

std::string TMKMedia::mediaGroupName() const
{
    return mediaName.size() >= 2 ? mediaName.substr(0, mediaName.size() - 2) : std::string();
}

std::string TMKMedia::yyyymmddhhmiss() const
{
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
    return text;
}

int TMKMedia::compareDate(const TMKMedia& other) const
{
    const int byDate = yyyymmddhhmiss().compare(other.yyyymmddhhmiss());
    if (byDate != 0)
        return byDate < 0 ? -1 : 1;
    // Event before motion before always.
    if (mediaDivision != other.mediaDivision)
        return mediaDivision > other.mediaDivision ? -1 : 1;
    if (mediaDirection != other.mediaDirection)
        return mediaDirection < other.mediaDirection ? -1 : 1;
    return 0;
}

TMKMediaDirection TMKPlayerMediaDirection(std::string_view url)
{
    if (url.empty())
        return TMKMediaDirectionUnknown;
    const std::string path = urlPath(url);
    if (path.size() < 6)
        return TMKMediaDirectionUnknown;
    const std::string_view tail = std::string_view(path).substr(path.size() - 6);
    if (equalsIgnoringCase(tail, "_R.avi"))
        return TMKMediaDirectionRear;
    if (equalsIgnoringCase(tail, "_F.avi"))
        return TMKMediaDirectionFront;
    return TMKMediaDirectionUnknown;
}
