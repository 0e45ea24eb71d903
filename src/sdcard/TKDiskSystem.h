#pragma once

#include <optional>
#include <string>

// What disk discovery asks of the operating system. The searches run on
// recorded lsblk output in tests and on the live system in the app.
class TKDiskSystem {
public:
    virtual ~TKDiskSystem() = default;
    // The block device tree as `lsblk --json --bytes -o <kTKLsblkColumns>`
    // prints it; nothing when it cannot be listed.
    [[nodiscard]] virtual std::optional<std::string> blockDevicesJSON() = 0;
    // Whether a file or folder exists at the path.
    [[nodiscard]] virtual bool itemExists(const std::string& path) = 0;
};

// The running system: lsblk from /usr/bin or /bin (never a PATH lookup) and
// the real file system. Holds no state; one instance serves every caller.
class TKLocalDiskSystem final : public TKDiskSystem {
public:
    [[nodiscard]] std::optional<std::string> blockDevicesJSON() override;
    [[nodiscard]] bool itemExists(const std::string& path) override;
};
