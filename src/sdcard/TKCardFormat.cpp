#include "sdcard/TKCardFormat.h"

#include "media/TMKLog.h"
#include "sdcard/TKBlockDevices.h"
#include "sdcard/TKDiskDiscovery.h"
#include "media/TKAtomicFile.h"
#include "settings/TKSettingFile.h"

#include <cerrno>
#include <cstring>
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

// A fresh folder only this user can enter, so nobody can swap the saved copy.
std::optional<std::string> makePrivateFolder(const std::string& root, std::string& folder)
{
    std::string base = root.empty() ? std::string("/tmp") : root;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    std::string templ = base + "/tamek-format-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        return systemError(templ, errno);
    folder.assign(name.data());
    return std::nullopt;
}

// The node of the device as the system lists it now, mounted or not.
std::optional<TKBlockVolume> currentNode(TKDiskSystem& disks, const std::string& device)
{
    const auto json = disks.blockDevicesJSON();
    std::vector<TKBlockVolume> nodes;
    if (!json || !TKParseBlockNodes(*json, nodes))
        return std::nullopt;
    for (auto& node : nodes) {
        if (node.devicePath == device)
            return node;
    }
    return std::nullopt;
}

// Still the disk that was chosen: the same block device node, the same size,
// still on USB. A card swapped for another in the reader, or a name that now
// points elsewhere, is not erased.
std::optional<std::string> sameDiskProblem(TKDiskSystem& disks, const TKUSBDiskEntity& disk)
{
    const std::string& device = disk.deviceFilePath();
    if (!disks.isBlockDevice(device))
        return device + " is not a block device";
    const auto node = currentNode(disks, device);
    if (!node)
        return device + " is no longer attached";
    if (node->size != disk.volumeSize())
        return device + " now has another size: another card is in the reader";
    if (node->transport != "usb" || !node->removable)
        return device + " is no longer a removable USB disk";
    return std::nullopt;
}

std::optional<std::string> fromSearchProblem(TKDiskSystem& disks, const TKUSBDiskEntity& disk)
{
    for (const auto& listed : TKUSBDiskEntities(disks)) {
        if (listed.deviceFilePath() == disk.deviceFilePath() && listed.volumeSize() == disk.volumeSize())
            return std::nullopt;
    }
    return disk.deviceFilePath() + " is not a USB disk of the search";
}

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

std::string savedNote(const std::optional<std::string>& savedPath)
{
    return savedPath ? "\nThe settings file is kept in " + *savedPath : std::string();
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
        true};
}

TKFormatOutcome TKFormatCard(const TKUSBDiskEntity& disk, TKFormatServices& s)
{
    TKFormatOutcome outcome;
    const auto say = [&](const std::string& message) {
        outcome.steps.push_back(message);
        if (s.message)
            s.message(message);
    };
    const auto end = [&](TKFormatStatus status, std::string detail) {
        outcome.status = status;
        outcome.detail = std::move(detail);
        TMKLog("format " + disk.deviceFilePath() + ": " + outcome.detail);
        return outcome;
    };
    const std::string& device = disk.deviceFilePath();

    // Checked before any command is built from the name.
    if (!TKIsPlainDevicePath(device))
        return end(TKFormatStatus::Refused, "not a device name: " + device);
    if (auto problem = fromSearchProblem(s.disks, disk))
        return end(TKFormatStatus::Refused, *problem);
    if (auto problem = sameDiskProblem(s.disks, disk))
        return end(TKFormatStatus::Refused, *problem);

    // 1. config.bin aside, checked byte for byte: without a good copy the
    //    card is not erased, or the camera's settings would be lost.
    std::string folder;
    const std::string fileName(kTKSettingFileName);
    if (auto problem = makePrivateFolder(s.temporaryRoot, folder))
        return end(TKFormatStatus::CopyAsideFailed, *problem);
    const std::string localCopy = folder + "/" + fileName;
    if (s.files.exists(disk, fileName)) {
        std::string original;
        if (auto problem = s.files.read(disk, fileName, original))
            return end(TKFormatStatus::CopyAsideFailed, *problem);
        if (auto problem = TKWriteFileAtomically(localCopy, original.data(), original.size()))
            return end(TKFormatStatus::CopyAsideFailed, localCopy + ": " + *problem);
        std::string copy;
        if (auto problem = readRegularFile(localCopy, copy, kTKCardFileLimit))
            return end(TKFormatStatus::CopyAsideFailed, *problem);
        if (copy != original)
            return end(TKFormatStatus::CopyAsideFailed, localCopy + ": the copy differs from the card's file");
        outcome.savedPath = localCopy;
    }

    // 2-3. A volume that stays mounted makes mkfs.fat refuse, which the
    //      erase's own status then reports.
    say("unmount disk...");
    for (const auto& volume : volumesToUnmount(s.disks, disk))
        (void)unmountDevice(s.commands, volume);

    // 4-6. The disk is looked at again just before it is erased.
    const int sectors = TKClusterSectorsForVolumeSize(disk.volumeSize());
    say("formatting...");
    if (auto problem = sameDiskProblem(s.disks, disk))
        return end(TKFormatStatus::DiskChanged, *problem + savedNote(outcome.savedPath));
    const TKCommand erase = TKEraseCommand(device, sectors);
    const TKCommandResult erased = s.commands.run(erase);
    if (!erased.succeeded()) {
        TMKLog("mkfs.fat: " + erased.message());
        std::string ignored;
        (void)mountDevice(s.commands, device, disk.mountedURL(), &ignored);
        const TKFormatStatus status = eraseFailure(erase, erased);
        std::string detail = erased.message();
        if (status == TKFormatStatus::EraseCancelled)
            detail = "The administrator password was not given; the card was not formatted.";
        else if (status == TKFormatStatus::EraseNotAuthorized)
            detail = "No administrator authority could be asked (" + erased.message()
                + "); the card was not formatted.";
        return end(status, detail + savedNote(outcome.savedPath));
    }

    // 7-8. Mount and find the card again: it may come back at another mount point.
    say("try mount...");
    std::string mountError;
    if (!mountDevice(s.commands, device, disk.mountedURL(), &mountError))
        return end(TKFormatStatus::MountFailed, mountError + savedNote(outcome.savedPath));
    say("Format completed!");
    std::optional<TKUSBDiskEntity> card;
    for (auto& listed : TKUSBDiskEntities(s.disks)) {
        if (listed.deviceFilePath() == device) {
            card = std::move(listed);
            break;
        }
    }
    if (!card)
        return end(TKFormatStatus::CopyBackFailed, device + " is no longer attached" + savedNote(outcome.savedPath));

    // 9-10. The saved file back, else a default record; read back to be sure.
    std::string bytes;
    if (outcome.savedPath) {
        if (auto problem = readRegularFile(*outcome.savedPath, bytes, kTKCardFileLimit))
            return end(TKFormatStatus::CopyBackFailed, *problem + savedNote(outcome.savedPath));
    } else {
        if (auto failure = TKWriteDefaultSettingFile(localCopy, s.defaults))
            return end(TKFormatStatus::DefaultWriteFailed, *failure);
        if (auto problem = readRegularFile(localCopy, bytes, kTKCardFileLimit))
            return end(TKFormatStatus::DefaultWriteFailed, *problem);
    }
    const TKFormatStatus copyFailure
        = outcome.savedPath ? TKFormatStatus::CopyBackFailed : TKFormatStatus::DefaultWriteFailed;
    if (auto problem = s.files.write(*card, fileName, bytes))
        return end(copyFailure, *problem + savedNote(outcome.savedPath));
    std::string check;
    if (auto problem = s.files.read(*card, fileName, check))
        return end(copyFailure, *problem + savedNote(outcome.savedPath));
    if (check != bytes)
        return end(copyFailure, "config.bin on the card differs from the saved file" + savedNote(outcome.savedPath));
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
