#include "sdcard/TKCardFormat.h"

#include "base/TKAtomicFile.h"
#include "base/TMKLog.h"
#include "sdcard/TKBlockDevices.h"
#include "sdcard/TKDiskDiscovery.h"
#include "settings/TKSettingFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string systemError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// The whole content of a regular file, at most `limit` bytes. Opened without
// blocking, so a FIFO in its place is refused instead of hanging the worker.
std::optional<std::string> readRegularFile(const std::string& path, std::string& bytes, std::size_t limit)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return systemError(path, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return path + ": not a regular file";
    }
    if (static_cast<uint64_t>(info.st_size) > limit) {
        ::close(fd);
        return path + ": too large for a settings file";
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return systemError(path, error);
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > limit) {
            ::close(fd);
            return path + ": too large for a settings file";
        }
    }
    ::close(fd);
    return std::nullopt;
}

// The folder and the folders above it that are missing, each made 0700 (the
// state home's own mode); the last must be a real folder of ours.
std::optional<std::string> makeBackupFolder(const std::string& folder)
{
    if (folder.empty() || folder.front() != '/')
        return "no folder to keep config.bin in (neither XDG_STATE_HOME nor HOME is set)";
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return systemError(part, errno);
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return systemError(folder, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return folder + ": not a folder of this user";
    return std::nullopt;
}

// config.bin as "config-YYYYMMDD-HHMMSS.bin" in the folder, never replacing
// an earlier copy, read back to be sure.
std::optional<std::string> keepCopy(const std::string& folder, const std::string& bytes, std::string& path)
{
    if (auto problem = makeBackupFolder(folder))
        return problem;
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = folder + "/config-" + stamp;
    struct stat info {};
    path = base + ".bin";
    for (int n = 2; ::lstat(path.c_str(), &info) == 0; ++n)
        path = base + "-" + std::to_string(n) + ".bin";
    if (auto problem = TKWriteFileAtomically(path, bytes.data(), bytes.size()))
        return path + ": " + *problem;
    std::string copy;
    if (auto problem = readRegularFile(path, copy, kTKCardFileLimit))
        return problem;
    if (copy != bytes)
        return path + ": the copy differs from the card's file";
    return std::nullopt;
}

// The disk must be one the search lists now, with the identity it had then.
std::optional<std::string> fromSearchProblem(TKDiskSystem& disks, const TKUSBDiskEntity& disk)
{
    for (const auto& listed : TKUSBDiskEntities(disks)) {
        if (listed.deviceFilePath() == disk.deviceFilePath() && listed.identity() == disk.identity())
            return std::nullopt;
    }
    return disk.deviceFilePath() + " is not a USB disk of the search";
}

// Notes the commands of a sequence that were stopped at their time limit, so
// the user is told which one even where its failure is otherwise tolerated.
class TimeLimitNotes final : public TKCommandRunner {
public:
    explicit TimeLimitNotes(TKCommandRunner& inner) : m_inner(inner) {}
    TKCommandResult run(const TKCommand& command) override
    {
        TKCommandResult result = m_inner.run(command);
        if (result.timedOut)
            notes.push_back(result.message());
        return result;
    }
    std::vector<std::string> notes;

private:
    TKCommandRunner& m_inner;
};

bool runLogged(TKCommandRunner& commands, const TKCommand& command, std::string* message = nullptr)
{
    const TKCommandResult result = commands.run(command);
    if (!result.succeeded()) {
        TMKLog(command.program + ": " + result.message());
        if (message)
            *message = result.message();
    }
    return result.succeeded();
}

// udisks unmounts as the desktop user without a password; where it is
// missing or refuses, umount does (as root, or through fstab "user").
bool unmountDevice(TKCommandRunner& commands, const std::string& device, std::string* message = nullptr)
{
    if (runLogged(commands, {"udisksctl", {"unmount", "--no-user-interaction", "-b", device}, false}, message))
        return true;
    return runLogged(commands, {"umount", {"--", device}, false}, message);
}

bool mountDevice(TKCommandRunner& commands, const std::string& device, const std::string& mountPoint,
    std::string* message)
{
    if (runLogged(commands, {"udisksctl", {"mount", "--no-user-interaction", "-b", device}, false}, message))
        return true;
    std::vector<std::string> arguments{"--", device};
    if (!mountPoint.empty())
        arguments.push_back(mountPoint);
    return runLogged(commands, {"mount", arguments, false}, message);
}

// The volumes the unmount step takes down: for a card whose file system is
// the whole medium, every mounted volume of that disk; for a partition, it.
std::vector<std::string> volumesToUnmount(TKDiskSystem& disks, const TKUSBDiskEntity& disk)
{
    std::vector<std::string> devices{disk.deviceFilePath()};
    if (!disk.mediaWhole())
        return devices;
    const auto json = disks.blockDevicesJSON();
    std::vector<TKBlockVolume> volumes;
    if (!json || !TKParseBlockVolumes(*json, volumes))
        return devices;
    for (const auto& volume : volumes) {
        if (volume.diskPath == disk.key() && volume.devicePath != disk.deviceFilePath()
            && TKIsPlainDevicePath(volume.devicePath))
            devices.push_back(volume.devicePath);
    }
    return devices;
}

TKFormatStatus eraseFailure(const TKCommand& erase, const TKCommandResult& result)
{
    if (result.started && erase.administrator && result.exitStatus == kTKPkexecDismissed)
        return TKFormatStatus::EraseCancelled;
    if (result.started && erase.administrator && result.exitStatus == kTKPkexecNotAuthorized)
        return TKFormatStatus::EraseNotAuthorized;
    if (result.errors.find("Read-only file system") != std::string::npos
        || result.errors.find("write-protected") != std::string::npos)
        return TKFormatStatus::EraseWriteProtected;
    return TKFormatStatus::EraseFailed;
}

} // namespace

bool TKMountedCardFiles::exists(const TKUSBDiskEntity& disk, std::string_view name)
{
    if (disk.mountedURL().empty())
        return false;
    struct stat info {};
    return ::lstat(TKVolumeItemPath(disk.mountedURL(), name).c_str(), &info) == 0;
}

std::optional<std::string> TKMountedCardFiles::read(const TKUSBDiskEntity& disk, std::string_view name,
    std::string& bytes)
{
    if (disk.mountedURL().empty())
        return disk.deviceFilePath() + " is not mounted";
    return readRegularFile(TKVolumeItemPath(disk.mountedURL(), name), bytes, kTKCardFileLimit);
}

std::optional<std::string> TKMountedCardFiles::write(const TKUSBDiskEntity& disk, std::string_view name,
    const std::string& bytes)
{
    if (disk.mountedURL().empty())
        return disk.deviceFilePath() + " is not mounted";
    return TKWriteFileAtomically(TKVolumeItemPath(disk.mountedURL(), name), bytes.data(), bytes.size());
}

int TKClusterSectorsForVolumeSize(uint64_t volumeSize)
{
    return (volumeSize >> 30) < 7 ? 32 : 128;
}

int TKClusterKilobytes(int sectorsPerCluster)
{
    return sectorsPerCluster * 512 / 1024;
}

TKCommand TKEraseCommand(const std::string& devicePath, int sectorsPerCluster)
{
    // -a keeps the 32 reserved sectors: without it mkfs.fat raises them to
    // align the data area to the cluster size.
    return {"mkfs.fat",
        {"-a", "-F", "32", "-n", std::string(kTKCardVolumeName), "-f", "2", "-b", "6", "-R", "32", "-s",
            std::to_string(sectorsPerCluster), "--", devicePath},
        false};
}

namespace {

using OptionalField = std::optional<std::string> TKCardIdentity::*;
struct NamedField {
    std::string_view option;
    std::string_view shown; // in the message of a changed card
    OptionalField field;
};
constexpr NamedField kOptionalFields[] = {
    {"model", "model", &TKCardIdentity::model},
    {"serial", "serial number", &TKCardIdentity::serial},
    {"ptuuid", "partition table", &TKCardIdentity::partitionTableUUID},
    {"uuid", "file system UUID", &TKCardIdentity::uuid},
    {"label", "label", &TKCardIdentity::label},
};

template <typename Number>
bool parseNumber(const std::string& text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

} // namespace

std::vector<std::string> TKEraseHelperArguments(const TKEraseRequest& request)
{
    const TKCardIdentity& card = request.card;
    std::vector<std::string> arguments{"--device=" + card.device, "--size=" + std::to_string(card.size),
        "--transport=" + card.transport, "--sectors=" + std::to_string(request.sectorsPerCluster)};
    for (const auto& named : kOptionalFields) {
        if (const auto& value = card.*named.field)
            arguments.push_back("--" + std::string(named.option) + "=" + *value);
    }
    return arguments;
}

std::optional<TKEraseRequest> TKParseEraseHelperArguments(std::span<const std::string> arguments)
{
    TKEraseRequest request;
    std::set<std::string, std::less<>> seen;
    for (const auto& argument : arguments) {
        const auto equals = argument.find('=');
        if (!argument.starts_with("--") || equals == std::string::npos)
            return std::nullopt;
        const std::string key = argument.substr(2, equals - 2);
        const std::string value = argument.substr(equals + 1);
        if (!seen.insert(key).second)
            return std::nullopt;
        bool ok = true;
        if (key == "device")
            request.card.device = value;
        else if (key == "transport")
            request.card.transport = value;
        else if (key == "size")
            ok = parseNumber(value, request.card.size);
        else if (key == "sectors")
            ok = parseNumber(value, request.sectorsPerCluster) && (request.sectorsPerCluster == 32 || request.sectorsPerCluster == 128);
        else {
            ok = false;
            for (const auto& named : kOptionalFields) {
                if (key == named.option) {
                    request.card.*named.field = value;
                    ok = true;
                }
            }
        }
        if (!ok)
            return std::nullopt;
    }
    for (const char* required : {"device", "size", "transport", "sectors"}) {
        if (!seen.contains(required))
            return std::nullopt;
    }
    return request;
}

std::optional<std::string> TKCardChange(const TKCardIdentity& card, TKDiskSystem& disks)
{
    const std::string& device = card.device;
    if (!TKIsPlainDevicePath(device))
        return "not a device name: " + device;
    if (!disks.isBlockDevice(device))
        return device + " is not a block device";
    const auto json = disks.blockDevicesJSON();
    std::vector<TKBlockVolume> nodes;
    if (!json || !TKParseBlockNodes(*json, nodes))
        return "the block devices cannot be listed";
    const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const auto& n) { return n.devicePath == device; });
    if (node == nodes.end())
        return device + " is no longer attached: " + card.description() + " was removed";
    if (node->transport != "usb" || !node->removable)
        return device + " is no longer a removable USB disk";
    const TKCardIdentity now = TKCardIdentityOf(*node);
    if (now == card)
        return std::nullopt;
    std::string differs;
    const auto note = [&](bool changed, std::string_view what) {
        if (changed)
            differs += (differs.empty() ? "" : ", ") + std::string(what);
    };
    note(now.size != card.size, "size");
    note(now.transport != card.transport, "transport");
    for (const auto& named : kOptionalFields)
        note(now.*named.field != card.*named.field, named.shown);
    return "Another card is in the reader: " + device + " now holds " + now.description() + ", not "
        + card.description() + " (" + differs + " differ). Nothing was erased.";
}

TKEraseResult TKEraseIfSameCard(const TKEraseRequest& request, TKDiskSystem& disks, TKCommandRunner& commands)
{
    if (auto change = TKCardChange(request.card, disks))
        return {kTKEraseCardChanged, *change};
    const TKCommandResult erased = commands.run(TKEraseCommand(request.card.device, request.sectorsPerCluster));
    if (!erased.succeeded())
        return {kTKEraseFailed, erased.message()};
    return {0, {}};
}

std::string TKSettingsBackupFolder(const char* stateHome, const char* home)
{
    if (stateHome && stateHome[0] == '/')
        return std::string(stateHome) + "/tamek";
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/tamek";
    return {};
}

TKFormatOutcome TKFormatCard(const TKUSBDiskEntity& disk, TKFormatServices& s)
{
    TKFormatOutcome outcome;
    TimeLimitNotes commands(s.commands);
    const auto say = [&](const std::string& message) {
        outcome.steps.push_back(message);
        if (s.message)
            s.message(message);
    };
    const auto end = [&](TKFormatStatus status, std::string detail) {
        outcome.status = status;
        outcome.detail = std::move(detail);
        for (const auto& note : commands.notes) {
            outcome.stopped += "\n" + note;
            if (outcome.detail.find(note) == std::string::npos)
                outcome.detail += "\n" + note;
        }
        if (status != TKFormatStatus::Completed && outcome.savedPath)
            outcome.detail += "\nThe settings file is kept in " + *outcome.savedPath;
        TMKLog("format " + disk.deviceFilePath() + ": " + outcome.detail);
        return outcome;
    };
    const std::string& device = disk.deviceFilePath();

    // Checked before any command is built from the name.
    if (!TKIsPlainDevicePath(device))
        return end(TKFormatStatus::Refused, "not a device name: " + device);
    if (auto problem = fromSearchProblem(s.disks, disk))
        return end(TKFormatStatus::Refused, *problem);
    if (auto problem = TKCardChange(disk.identity(), s.disks))
        return end(TKFormatStatus::Refused, *problem);

    // 1. config.bin aside, checked byte for byte: without a good copy the
    //    card is not erased, or the camera's settings would be lost.
    const std::string fileName(kTKSettingFileName);
    if (s.files.exists(disk, fileName)) {
        std::string original;
        std::string copyPath;
        if (auto problem = s.files.read(disk, fileName, original))
            return end(TKFormatStatus::CopyAsideFailed, *problem);
        if (auto problem = keepCopy(s.backupFolder, original, copyPath))
            return end(TKFormatStatus::CopyAsideFailed, *problem);
        outcome.savedPath = copyPath;
    }

    // 2-3. A volume that stays mounted makes mkfs.fat refuse, which the
    //      erase's own status then reports.
    say("unmount disk...");
    for (const auto& volume : volumesToUnmount(s.disks, disk))
        (void)unmountDevice(commands, volume);

    // 4-6. Looked at here so a card swapped meanwhile costs no password
    //      prompt, and again by the helper after the prompt.
    say("formatting...");
    if (auto problem = TKCardChange(disk.identity(), s.disks))
        return end(TKFormatStatus::DiskChanged, *problem);
    const TKCommand erase{"tamek-erase-card",
        TKEraseHelperArguments({disk.identity(), TKClusterSectorsForVolumeSize(disk.volumeSize())}), true};
    const TKCommandResult erased = commands.run(erase);
    if (erased.started && !erased.timedOut && erased.exitStatus == kTKEraseCardChanged)
        return end(TKFormatStatus::DiskChanged, erased.message());
    if (!erased.succeeded()) {
        TMKLog("tamek-erase-card: " + erased.message());
        std::string ignored;
        (void)mountDevice(commands, device, disk.mountedURL(), &ignored);
        const TKFormatStatus status = eraseFailure(erase, erased);
        std::string detail = erased.message();
        if (status == TKFormatStatus::EraseCancelled)
            detail = "The administrator password was not given; the card was not formatted.";
        else if (status == TKFormatStatus::EraseNotAuthorized)
            detail = "No administrator authority could be asked (" + erased.message()
                + "); the card was not formatted.";
        return end(status, detail);
    }

    // 7-8. Mount and find the card again: it may come back at another mount point.
    say("try mount...");
    std::string mountError;
    if (!mountDevice(commands, device, disk.mountedURL(), &mountError))
        return end(TKFormatStatus::MountFailed, mountError);
    say("Format completed!");
    std::optional<TKUSBDiskEntity> card;
    for (auto& listed : TKUSBDiskEntities(s.disks)) {
        if (listed.deviceFilePath() == device) {
            card = std::move(listed);
            break;
        }
    }
    if (!card)
        return end(TKFormatStatus::CopyBackFailed, device + " is no longer attached");

    // 9-10. The saved file back, else a default record; read back to be sure.
    std::string bytes;
    if (outcome.savedPath) {
        if (auto problem = readRegularFile(*outcome.savedPath, bytes, kTKCardFileLimit))
            return end(TKFormatStatus::CopyBackFailed, *problem);
    } else {
        _FILEDATA record;
        TKMakeDefaultSettings(record, s.defaults);
        bytes.assign(reinterpret_cast<const char*>(&record), sizeof record);
    }
    const TKFormatStatus copyFailure
        = outcome.savedPath ? TKFormatStatus::CopyBackFailed : TKFormatStatus::DefaultWriteFailed;
    if (auto problem = s.files.write(*card, fileName, bytes))
        return end(copyFailure, *problem);
    std::string check;
    if (auto problem = s.files.read(*card, fileName, check))
        return end(copyFailure, *problem);
    if (check != bytes)
        return end(copyFailure, "config.bin on the card differs from the saved file");
    return end(TKFormatStatus::Completed, card->displayString());
}

std::optional<std::string> TKRenameCard(const TKUSBDiskEntity& disk, const std::string& label, TKDiskSystem& disks,
    TKCommandRunner& commands)
{
    const std::string& device = disk.deviceFilePath();
    if (!TKIsPlainDevicePath(device))
        return "not a device name: " + device;
    if (label.empty() || label.size() > 11)
        return "a FAT label has 1 to 11 characters";
    for (const char c : label) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "a FAT label holds no control characters";
    }
    if (auto problem = fromSearchProblem(disks, disk))
        return problem;
    if (!disks.isBlockDevice(device))
        return device + " is not a block device";
    const TKCommandResult result = commands.run({"fatlabel", {"--", device, label}, true});
    if (!result.succeeded())
        return result.message();
    return std::nullopt;
}
