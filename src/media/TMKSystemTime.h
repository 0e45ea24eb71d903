#pragma once

#include <cstdint>

// A date and time as the camera stores it: eight little-endian u16 fields.
struct _SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    friend bool operator==(const _SYSTEMTIME&, const _SYSTEMTIME&) = default;
};
static_assert(sizeof(_SYSTEMTIME) == 16);
