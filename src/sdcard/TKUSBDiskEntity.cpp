#include "sdcard/TKUSBDiskEntity.h"

#include <cstdio>
#include <utility>

TKUSBDiskEntity::TKUSBDiskEntity(std::string volumeName, std::string mountedURL, std::string deviceFilePath,
    std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable, bool mediaWhole, std::string key,
    TKCardIdentity identity)
    : m_volumeName(std::move(volumeName))
    , m_mountedURL(std::move(mountedURL))
    , m_deviceFilePath(std::move(deviceFilePath))
    , m_deviceModel(std::move(deviceModel))
    , m_volumeSize(volumeSize)
    , m_writable(writable)
    , m_mediaWhole(mediaWhole)
    , m_key(std::move(key))
    , m_identity(std::move(identity))
{
}

std::string TKCardDescription(const std::string& name, const std::optional<std::string>& model, uint64_t size)
{
    std::string text = "\u201c" + name + "\u201d (";
    if (model)
        text += *model + ", ";
    return text + TKByteSizeText(size) + ")";
}

std::string TKCardIdentity::description() const
{
    if (label && !label->empty())
        return TKCardDescription(*label, model, size);
    std::string text = "an unlabelled card (";
    if (model)
        text += *model + ", ";
    return text + TKByteSizeText(size) + ")";
}

std::string TKUSBDiskEntity::displayString() const
{
    std::string line = "[" + TKByteSizeText(m_volumeSize) + "] " + m_volumeName + " ";
    if (m_deviceModel)
        line += "<" + *m_deviceModel + ">";
    return line;
}

std::string TKByteSizeText(uint64_t bytes)
{
    static constexpr char kUnits[] = "kMGTPEZY";
    static constexpr int kMaxDivisions = 8;
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
        return text;
    }

    uint64_t q = bytes;
    uint64_t r = 0;
    bool sticky = false; // an earlier division left a remainder
    int divisions = 0;
    do {
        sticky = sticky || r != 0;
        r = q & 1023;
        q >>= 10;
        ++divisions;
    } while (q >= 1024 && divisions < kMaxDivisions);
    const char unit = kUnits[divisions - 1];
    const auto value = static_cast<unsigned long long>(q);

    if (q >= 10) {
        // Round half to even, where "half" with lower remainders is above half.
        if (r > 512 || (r == 512 && ((q & 1) != 0 || sticky)))
            ++q;
        if (q == 1024 && divisions < kMaxDivisions)
            std::snprintf(text, sizeof text, "1.0 %cB", kUnits[divisions]);
        else
            std::snprintf(text, sizeof text, "%llu %cB", static_cast<unsigned long long>(q), unit);
        return text;
    }
    if (r >= 950) {
        if (q == 9)
            std::snprintf(text, sizeof text, "10 %cB", unit);
        else
            std::snprintf(text, sizeof text, "%llu.0 %cB", value + 1, unit);
        return text;
    }
    uint64_t tenths = r / 100;
    const uint64_t leftover = r % 100;
    if (leftover > 50 || (leftover == 50 && ((tenths & 1) != 0 || sticky)))
        ++tenths;
    std::snprintf(text, sizeof text, "%llu.%llu %cB", value, static_cast<unsigned long long>(tenths), unit);
    return text;
}
