#pragma once

#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKExternalCommand.h"
#include "sdcard/TKUSBDiskEntity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
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

// The mkfs.fat command line of the erase, as the erase helper runs it (as root).
[[nodiscard]] TKCommand TKEraseCommand(const std::string& devicePath, int sectorsPerCluster);

// The erase helper (tamek-erase-card), run through pkexec under its own
// polkit action: after the password, in the privileged process itself, it
// reads the block devices again and erases only the card the user chose.
struct TKEraseRequest {
    TKCardIdentity card;
    int sectorsPerCluster = 32;
};
// Its exit statuses (pkexec keeps 126 and 127 for a dismissed prompt and a
// missing authority).
inline constexpr int kTKEraseFailed = 1;
inline constexpr int kTKEraseUsage = 2;
inline constexpr int kTKEraseCardChanged = 3;

// "--device=/dev/sdb1" "--size=N" "--transport=usb" "--sectors=32", then
// "--model=", "--serial=", "--ptuuid=", "--uuid=", "--label=" for each field
// the system reported (an absent one is null).
[[nodiscard]] std::vector<std::string> TKEraseHelperArguments(const TKEraseRequest& request);
// Nothing for an unknown, repeated or missing option or a bad number.
[[nodiscard]] std::optional<TKEraseRequest> TKParseEraseHelperArguments(std::span<const std::string> arguments);

// Why the device is no longer the card of that identity (or no longer a
// removable USB block device), naming both cards; nothing when it is.
[[nodiscard]] std::optional<std::string> TKCardChange(const TKCardIdentity& card, TKDiskSystem& disks);

struct TKEraseResult {
    int status = kTKEraseFailed; // 0, or one of the helper's statuses
    std::string errors; // for its standard error
};
// The helper's work: compares every field of the identity with the listing
// of now, then runs mkfs.fat; a changed card is not touched.
[[nodiscard]] TKEraseResult TKEraseIfSameCard(const TKEraseRequest& request, TKDiskSystem& disks,
    TKCommandRunner& commands);

// Where copies of config.bin are kept: "tamek" under $XDG_STATE_HOME, else
// under ~/.local/state (a relative $XDG_STATE_HOME is ignored, as the base
// directory rules say). Empty when neither is known. Not the temporary
// folder: many systems clear it at boot, and the copy may be all that is
// left of the camera's settings.
[[nodiscard]] std::string TKSettingsBackupFolder(const char* stateHome, const char* home);

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
    std::optional<std::string> savedPath; // the copy of config.bin kept aside, named in the detail
    std::vector<std::string> steps; // the step messages shown, in order
    std::string stopped; // a line for each command stopped at its time limit (also in the detail)
};

struct TKFormatServices {
    TKCommandRunner& commands;
    TKDiskSystem& disks;
    TKCardFiles& files;
    const TKUserDefaults& defaults;
    // The folder the dated copy of config.bin is kept in (made 0700 when missing).
    std::string backupFolder;
    // Shown before each step; the sequence goes on once it returns.
    std::function<void(const std::string& message)> message;
};

// The whole sequence for one disk of the search: save config.bin aside and
// check the copy, unmount, check it is still the same card, erase through
// the helper (which checks again after the password), mount, put config.bin
// back (or a default record) and check it. A command stopped at its time
// limit is named in the detail.
[[nodiscard]] TKFormatOutcome TKFormatCard(const TKUSBDiskEntity& disk, TKFormatServices& services);

// Relabels the card's FAT volume with fatlabel, run as administrator. Only a
// device the USB search lists now, named by a plain /dev/ path and a block
// device on stat, is touched; the label is at most 11 bytes without control
// characters. Returns the reason on failure.
[[nodiscard]] std::optional<std::string> TKRenameCard(const TKUSBDiskEntity& disk, const std::string& label,
    TKDiskSystem& disks, TKCommandRunner& commands);
