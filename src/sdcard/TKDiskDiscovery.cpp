#include "sdcard/TKDiskDiscovery.h"

#include "base/TMKLog.h"
#include "sdcard/TKBlockDevices.h"

#include <array>
#include <functional>

namespace {

std::vector<TKBlockVolume> removableVolumes(TKDiskSystem& system)
{
    std::vector<TKBlockVolume> volumes;
    const auto json = system.blockDevicesJSON();
    if (!json)
        return volumes;
    if (!TKParseBlockVolumes(*json, volumes)) {
        TMKLog("cannot read the block device list");
        return volumes;
    }
    std::erase_if(volumes, [](const TKBlockVolume& volume) { return !volume.removable; });
    return volumes;
}

std::vector<TKBlockVolume> usbVolumes(TKDiskSystem& system)
{
    auto volumes = removableVolumes(system);
    std::erase_if(volumes, [](const TKBlockVolume& volume) { return volume.transport != "usb"; });
    return volumes;
}

bool isSinglePathComponent(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

} // namespace

std::string TKVolumeItemPath(const std::string& mountPoint, std::string_view name)
{
    std::string path = mountPoint;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
}

std::vector<std::string> TKRemovableVolumeURLs(TKDiskSystem& system)
{
    std::vector<std::string> urls;
    for (const auto& volume : removableVolumes(system))
        urls.push_back(volume.mountPoint);
    return urls;
}

std::vector<std::string> TKUSBVolumeURLs(TKDiskSystem& system)
{
    std::vector<std::string> urls;
    for (const auto& volume : usbVolumes(system))
        urls.push_back(volume.mountPoint);
    return urls;
}

TKCardIdentity TKCardIdentityOf(const TKBlockVolume& volume)
{
    return {volume.devicePath, volume.size, volume.transport, volume.model, volume.serial,
        volume.partitionTableUUID, volume.uuid, volume.label};
}

std::vector<TKUSBDiskEntity> TKUSBDiskEntities(TKDiskSystem& system)
{
    std::vector<TKUSBDiskEntity> entities;
    for (const auto& volume : usbVolumes(system)) {
        if (volume.devicePath.empty())
            continue;
        TMKLog(volume.mountPoint);
        entities.emplace_back(volume.volumeName(), volume.mountPoint, volume.devicePath, volume.model,
            volume.size, !volume.readOnly, volume.mediaWhole, volume.diskPath, TKCardIdentityOf(volume));
    }
    return entities;
}

std::optional<std::string> TKFindVolumeWithFile(TKDiskSystem& system, std::string_view fileName)
{
    if (!isSinglePathComponent(fileName))
        return std::nullopt;
    for (const auto& url : TKUSBVolumeURLs(system)) {
        if (system.itemExists(TKVolumeItemPath(url, fileName)))
            return url;
    }
    return std::nullopt;
}

std::optional<TKUSBDiskEntity> TKFindCardDisk(TKDiskSystem& system)
{
    const auto disks = TKUSBDiskEntities(system);
    const auto labelled = [](const TKUSBDiskEntity& disk) { return disk.volumeName() == kTKCardVolumeName; };
    const std::array<std::function<bool(const TKUSBDiskEntity&)>, 5> passes = {
        [&](const TKUSBDiskEntity& disk) {
            return labelled(disk) && disk.writable()
                && system.itemExists(TKVolumeItemPath(disk.mountedURL(), "config.bin"));
        },
        [&](const TKUSBDiskEntity& disk) { return labelled(disk) && disk.writable(); },
        [&](const TKUSBDiskEntity& disk) { return labelled(disk); },
        [](const TKUSBDiskEntity& disk) { return disk.writable(); },
        [](const TKUSBDiskEntity&) { return true; },
    };
    for (const auto& pass : passes) {
        for (const auto& disk : disks) {
            if (pass(disk))
                return disk;
        }
    }
    return std::nullopt;
}
