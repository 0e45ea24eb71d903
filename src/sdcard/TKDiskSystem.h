#pragma once

#include "sdcard/TKExternalCommand.h"

#include <memory>
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
    // Whether the path is a block device node; the disk commands run on
    // nothing else.
    [[nodiscard]] virtual bool isBlockDevice(const std::string& path) { return TKIsBlockDevice(path); }
};

// The running system: lsblk through the command layer (never a PATH lookup)
// and the real file system. Holds no state of its own; one instance serves
// every caller.
class TKLocalDiskSystem final : public TKDiskSystem {
public:
    explicit TKLocalDiskSystem(std::shared_ptr<TKCommandRunner> runner = {});
    [[nodiscard]] std::optional<std::string> blockDevicesJSON() override;
    [[nodiscard]] bool itemExists(const std::string& path) override;

private:
    std::shared_ptr<TKCommandRunner> m_runner;
};
