#include "base/TMKLog.h"
#include "sdcard/TKBlockDevices.h"
#include "sdcard/TKDiskSystem.h"

#include <filesystem>
#include <string>

TKLocalDiskSystem::TKLocalDiskSystem(std::shared_ptr<TKCommandRunner> runner)
    : m_runner(runner ? std::move(runner) : std::make_shared<TKProcessRunner>())
{
}

std::optional<std::string> TKLocalDiskSystem::blockDevicesJSON()
{
    const TKCommandResult result
        = m_runner->run({"lsblk", {"--json", "--bytes", "-o", std::string(kTKLsblkColumns)}, false});
    if (!result.succeeded()) {
        TMKLog("lsblk failed: " + result.message());
        return std::nullopt;
    }
    return result.output;
}

bool TKLocalDiskSystem::itemExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}
