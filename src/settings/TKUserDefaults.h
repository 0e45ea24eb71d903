#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Key of the user default that carries the external rear camera bits across
// cards: the camera on the car does not change when the card does.
inline constexpr std::string_view kTKExternalRearCameraKey = "7q20externalRearCamera";

// The application's persistent integer preferences. The app backs it with
// QSettings; the core only needs to read and store integers by key.
class TKUserDefaults {
public:
    virtual ~TKUserDefaults() = default;
    [[nodiscard]] virtual std::optional<int64_t> integerForKey(std::string_view key) const = 0;
    virtual void setInteger(std::string_view key, int64_t value) = 0;
    // Writes pending changes to permanent storage at once.
    virtual void synchronize() = 0;
};

// Keeps the values in memory only; for tests and tools.
class TKMemoryUserDefaults final : public TKUserDefaults {
public:
    [[nodiscard]] std::optional<int64_t> integerForKey(std::string_view key) const override;
    void setInteger(std::string_view key, int64_t value) override;
    void synchronize() override { ++synchronizeCount; }

    int synchronizeCount = 0;

private:
    std::map<std::string, int64_t, std::less<>> m_values;
};
