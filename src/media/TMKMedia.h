#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

enum TMKMediaDivision : int32_t {
    TMKMediaDivisionAlways = 0,
    TMKMediaDivisionMotion = 1,
    TMKMediaDivisionEvent = 2,
};

enum TMKMediaDirection : int32_t {
    TMKMediaDirectionFront = 0,
    TMKMediaDirectionRear = 1,
    TMKMediaDirectionUnknown = 2,
};

// One recording, described entirely by its path and name; the file itself is
// never opened.
class TMKMedia {
public:
    static std::shared_ptr<TMKMedia> mediaWithPath(std::string_view path);
    TMKMedia() = default;
    explicit TMKMedia(std::string_view path); // initWithPath

    void parsePath(std::string_view path);

    [[nodiscard]] bool isFrontMedia() const { return mediaDirection == TMKMediaDirectionFront; }
    [[nodiscard]] bool isRearMedia() const { return mediaDirection == TMKMediaDirectionRear; }
    [[nodiscard]] bool isAlwaysMedia() const { return mediaDivision == TMKMediaDivisionAlways; }
    [[nodiscard]] bool isMotionMedia() const { return mediaDivision == TMKMediaDivisionMotion; }
    [[nodiscard]] bool isEventMedia() const { return mediaDivision == TMKMediaDivisionEvent; }

    [[nodiscard]] std::string fileName() const;
    // Only meaningful for names ending in "_F" or "_R": the key under which
    // the front and rear recordings of one moment meet.
    [[nodiscard]] std::string mediaGroupName() const;
    [[nodiscard]] std::string yyyymmddhhmiss() const;
    // Negative when this recording sorts first, 0 when equal, positive after.
    [[nodiscard]] int compareDate(const TMKMedia& other) const;

    std::string path;
    std::string mediaName;
    std::string extension;
    std::string dir;
    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
    TMKMediaDivision mediaDivision = TMKMediaDivisionAlways;
    TMKMediaDirection mediaDirection = TMKMediaDirectionFront;
};

// The front and the rear recording of one moment; either may be absent.
struct TMKMediaPair {
    static std::shared_ptr<TMKMediaPair> mediaPair() { return std::make_shared<TMKMediaPair>(); }

    std::shared_ptr<TMKMedia> frontMedia;
    std::shared_ptr<TMKMedia> rearMedia;
};

// The rule the player's media objects use to tell front from rear: by the
// URL's path only, case-insensitive, and only for the "avi" extension.
// An empty URL means the media has none.
[[nodiscard]] TMKMediaDirection TMKPlayerMediaDirection(std::string_view url);
[[nodiscard]] inline bool TMKPlayerMediaIsFront(std::string_view url)
{
    return TMKPlayerMediaDirection(url) == TMKMediaDirectionFront;
}
[[nodiscard]] inline bool TMKPlayerMediaIsRear(std::string_view url)
{
    return TMKPlayerMediaDirection(url) == TMKMediaDirectionRear;
}

// Leading decimal number of a text: leading blanks skipped, an optional sign,
// then digits; no digits reads as 0, overflow saturates.
[[nodiscard]] int32_t TMKLeadingInt(std::string_view text);
