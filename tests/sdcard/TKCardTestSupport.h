#pragma once

// Stand-ins for the card tools' collaborators: a disk list the test edits
// between commands, and a command layer that records what it is asked. The
// tests' own shell is theirs alone: "sh" is no program the card tools run.

#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKExternalCommand.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

inline const bool kTestShell = (TKSetCommandPathOverride("sh", "/bin/sh"), true);

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
    std::vector<TestDisk> disks;
    std::set<std::string> notBlockDevices;
    bool useRealStat = false;

    std::optional<std::string> blockDevicesJSON() override { return lsblkJSON(disks); }
    bool itemExists(const std::string& path) override
    {
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

inline TKCommandResult exitWith(int status, std::string errors = {})
{
    TKCommandResult result;
    result.started = true;
    result.exitStatus = status;
    result.errors = std::move(errors);
    return result;
}

class FakeCommands final : public TKCommandRunner {
public:
    std::vector<TKCommand> log;
    // Answers by program name; a program without one succeeds.
    std::map<std::string, std::function<TKCommandResult(const TKCommand&)>> answers;
    // The erase helper's disks: with them it does its real work in-process,
    // its mkfs.fat coming back through this layer.
    TKDiskSystem* helperDisks = nullptr;

    TKCommandResult run(const TKCommand& command) override
    {
        log.push_back(command);
        if (const auto found = answers.find(command.program); found != answers.end())
            return found->second(command);
        if (command.program == "tamek-erase-card" && helperDisks)
            return runHelper(command);
        TKCommandResult ok;
        ok.started = true;
        ok.exitStatus = 0;
        return ok;
    }
    TKCommandResult runHelper(const TKCommand& command)
    {
        const auto request = TKParseEraseHelperArguments(command.arguments);
        if (!request)
            return exitWith(kTKEraseUsage);
        const TKEraseResult erased = TKEraseIfSameCard(*request, *helperDisks, *this);
        return exitWith(erased.status, erased.errors);
    }

    [[nodiscard]] std::vector<std::string> programs() const
    {
        std::vector<std::string> names;
        for (const auto& command : log)
            names.push_back(command.program);
        return names;
    }
    [[nodiscard]] bool ran(const std::string& program) const
    {
        for (const auto& command : log) {
            if (command.program == program)
                return true;
        }
        return false;
    }
};

