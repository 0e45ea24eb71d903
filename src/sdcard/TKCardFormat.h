#pragma once

#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKExternalCommand.h"
#include "sdcard/TKUSBDiskEntity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TKUserDefaults;

// Erasing the camera's card as FAT32 labelled "TAMEK" while keeping its
// config.bin. The sequence runs on a worker; the window only shows its step
// messages and its outcome.

// How the format reaches files at the root of the card. The app goes through
// the mount point; a test without a vfat driver goes through mtools.
class TKCardFiles {
public:
    virtual ~TKCardFiles() = default;
    [[nodiscard]] virtual bool exists(const TKUSBDiskEntity& disk, std::string_view name) = 0;
    // The file's bytes, or the reason it cannot be read.
    [[nodiscard]] virtual std::optional<std::string> read(const TKUSBDiskEntity& disk, std::string_view name,
        std::string& bytes) = 0;
    [[nodiscard]] virtual std::optional<std::string> write(const TKUSBDiskEntity& disk, std::string_view name,
        const std::string& bytes) = 0;
};

// Files under the disk's mount point. Only regular files are read (a FIFO
// named config.bin would block), at most kTKCardFileLimit bytes; writes
// replace the file atomically.
class TKMountedCardFiles final : public TKCardFiles {
public:
    [[nodiscard]] bool exists(const TKUSBDiskEntity& disk, std::string_view name) override;
    [[nodiscard]] std::optional<std::string> read(const TKUSBDiskEntity& disk, std::string_view name,
        std::string& bytes) override;
    [[nodiscard]] std::optional<std::string> write(const TKUSBDiskEntity& disk, std::string_view name,
        const std::string& bytes) override;
};

inline constexpr std::size_t kTKCardFileLimit = 16 << 20;

// Sectors per cluster for a card of that size: 32 under 7 GiB, else 128.
[[nodiscard]] int TKClusterSectorsForVolumeSize(uint64_t volumeSize);
// What that many 512-byte sectors make: 16 or 64 (KB).
[[nodiscard]] int TKClusterKilobytes(int sectorsPerCluster);

// The erase, as the window runs it (root or pkexec decide the caller).
[[nodiscard]] TKCommand TKEraseCommand(const std::string& devicePath, int sectorsPerCluster);

enum class TKFormatStatus {
    Completed,
    Refused, // not a USB disk of the search, or not a plain block device: nothing ran
    DiskChanged, // the device is no longer the disk that was chosen: not erased
    CopyAsideFailed, // config.bin could not be saved: not erased
    EraseFailed,
    EraseWriteProtected,
    EraseCancelled, // the user dismissed the password prompt
    EraseNotAuthorized, // no authority or agent to ask
    MountFailed, // erased, but the card could not be mounted again
    CopyBackFailed, // erased and mounted, but config.bin could not be put back
    DefaultWriteFailed,
};

struct TKFormatOutcome {
    TKFormatStatus status = TKFormatStatus::Refused;
    std::string detail; // the error text for the alert
    std::optional<std::string> savedPath; // the copy of config.bin kept aside
    std::vector<std::string> steps; // the step messages shown, in order
};

struct TKFormatServices {
    TKCommandRunner& commands;
    TKDiskSystem& disks;
    TKCardFiles& files;
    const TKUserDefaults& defaults;
    // The folder the private copy folder is made in.
    std::string temporaryRoot;
    // Shown before each step; the sequence goes on once it returns.
    std::function<void(const std::string& message)> message;
};

// The whole sequence for one disk of the search: save config.bin aside and
// check the copy, unmount, check it is still the same disk, erase, mount,
// put config.bin back (or a default record) and check it.
[[nodiscard]] TKFormatOutcome TKFormatCard(const TKUSBDiskEntity& disk, TKFormatServices& services);

// Relabels the card's FAT volume with fatlabel, run as administrator. Only a
// device the USB search lists now, named by a plain /dev/ path and a block
// device on stat, is touched; the label is at most 11 bytes without control
// characters. Returns the reason on failure.
[[nodiscard]] std::optional<std::string> TKRenameCard(const TKUSBDiskEntity& disk, const std::string& label,
    TKDiskSystem& disks, TKCommandRunner& commands);
