#pragma once

// The one stand-in disk system of the tests: readers described field by
// field (or a real lsblk's recorded answer), and the files on the cards
// either the real ones or a given set.

#include "sdcard/TKDiskSystem.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct TestDisk {
    std::string path = "/dev/sdb1";
    std::string diskPath = "/dev/sdb";
    std::string mountPoint;
    uint64_t size = 4'000'000'000;
    std::string transport = "usb";
    bool removable = true;
    bool readOnly = false;
    bool partition = true;
    std::string label = "TAMEK";
    std::string serial = "0001";
    std::string uuid = "1A2B-3C4D";
};

// lsblk's tree for the disks: a partition sits under its disk node.
inline std::string lsblkJSON(const std::vector<TestDisk>& disks)
{
    nlohmann::json devices = nlohmann::json::array();
    const auto mount = [](const std::string& point) { return point.empty() ? nlohmann::json() : nlohmann::json(point); };
    for (const auto& d : disks) {
        nlohmann::json volume = {{"name", d.path.substr(d.path.rfind('/') + 1)}, {"path", d.path}, {"type", "part"},
            {"tran", nullptr}, {"rm", d.removable}, {"hotplug", d.removable}, {"ro", d.readOnly}, {"size", d.size},
            {"model", nullptr}, {"label", d.label}, {"fstype", "vfat"}, {"mountpoint", mount(d.mountPoint)},
            {"pkname", nullptr}, {"serial", nullptr}, {"ptuuid", "ab12cd34"}, {"uuid", d.uuid}};
        if (!d.partition) {
            volume["type"] = "disk";
            volume["tran"] = d.transport;
            volume["model"] = "Card Reader";
            volume["serial"] = d.serial;
            volume["ptuuid"] = nullptr;
            devices.push_back(volume);
            continue;
        }
        devices.push_back({{"name", d.diskPath.substr(5)}, {"path", d.diskPath}, {"type", "disk"},
            {"tran", d.transport}, {"rm", d.removable}, {"hotplug", d.removable}, {"ro", d.readOnly},
            {"size", d.size + 1'048'576}, {"model", "Card Reader"}, {"label", nullptr}, {"fstype", nullptr},
            {"mountpoint", nullptr}, {"pkname", nullptr}, {"serial", d.serial}, {"ptuuid", "ab12cd34"},
            {"uuid", nullptr}, {"children", {volume}}});
    }
    return nlohmann::json{{"blockdevices", devices}}.dump();
}

class FakeDisks final : public TKDiskSystem {
public:
    FakeDisks() = default;
    FakeDisks(std::string json, std::set<std::string> files) : recordedJSON(std::move(json)), items(std::move(files)) {}

    std::vector<TestDisk> disks;
    std::optional<std::string> recordedJSON;    // answered in place of `disks`
    std::optional<std::set<std::string>> items; // the files that exist; unset: the real ones
    std::set<std::string> notBlockDevices;
    bool useRealStat = false;
    int listings = 0;
    std::vector<std::string> asked;

    std::optional<std::string> blockDevicesJSON() override
    {
        ++listings;
        return recordedJSON ? *recordedJSON : lsblkJSON(disks);
    }
    bool itemExists(const std::string& path) override
    {
        asked.push_back(path);
        if (items)
            return items->contains(path);
        std::error_code error;
        return std::filesystem::exists(path, error);
    }
    bool isBlockDevice(const std::string& path) override
    {
        if (useRealStat)
            return TKIsBlockDevice(path);
        return !notBlockDevices.contains(path);
    }
};
