#include "sdcard/TKTimeSetFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

std::optional<std::string> TKTimeSetText(const TKTimeSetValue& v)
{
    const bool valid = v.year >= 1 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 && v.day <= 31
        && v.hour >= 0 && v.hour <= 23 && v.minute >= 0 && v.minute <= 59 && v.second >= 0 && v.second <= 59;
    if (!valid)
        return std::nullopt;
    // snprintf's %d never uses the locale's digits.
    char text[kTKTimeSetFileSize + 1];
    const int n = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour,
        v.minute, v.second);
    if (n != static_cast<int>(kTKTimeSetFileSize))
        return std::nullopt;
    return std::string(text, kTKTimeSetFileSize);
}

std::optional<std::string> TKWriteTimeSetFile(const std::string& path, const TKTimeSetValue& value,
    const TKFileCalls& calls)
{
    const auto text = TKTimeSetText(value);
    if (!text)
        return "not a valid date and time";
    // Root may replace anything; a file the user made read-only stays.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return path + ": not a regular file";
        if ((info.st_mode & 0222) == 0)
            return path + ": " + std::strerror(EACCES) + " (the file is read-only)";
    }
    if (auto error = TKWriteFileAtomically(path, text->data(), text->size(), calls))
        return path + ": " + *error;
    return std::nullopt;
}
