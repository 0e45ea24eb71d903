#pragma once

#include "sdcard/TKBlockDevices.h"
#include "sdcard/TKDiskSystem.h"
#include "sdcard/TKUSBDiskEntity.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The card searches. Nothing is cached: each call lists the disks afresh, so a
// card pulled or put in between two calls is seen.

// Mount points of mounted volumes on removable or hot-pluggable devices, in
// the system's order.
[[nodiscard]] std::vector<std::string> TKRemovableVolumeURLs(TKDiskSystem& system);
// Those of them on a USB device. Internal card slots and other buses are not
// offered: the camera's card reaches the computer through a USB reader.
[[nodiscard]] std::vector<std::string> TKUSBVolumeURLs(TKDiskSystem& system);
// The identity of a node of the block device tree.
[[nodiscard]] TKCardIdentity TKCardIdentityOf(const TKBlockVolume& volume);
// One entity per USB volume that has a device node, same order, each with
// the identity read in the same listing.
[[nodiscard]] std::vector<TKUSBDiskEntity> TKUSBDiskEntities(TKDiskSystem& system);
// The first USB volume whose root holds an item of that name. The name must be
// one path component; anything else ("../x", "a/b") finds nothing.
[[nodiscard]] std::optional<std::string> TKFindVolumeWithFile(TKDiskSystem& system, std::string_view fileName);
// The disk most likely to be the camera's card: labelled "TAMEK", writable and
// holding config.bin, then labelled and writable, then labelled, then
// writable, then the first.
[[nodiscard]] std::optional<TKUSBDiskEntity> TKFindCardDisk(TKDiskSystem& system);

// Path of an item at the root of a mounted volume.
[[nodiscard]] std::string TKVolumeItemPath(const std::string& mountPoint, std::string_view name);

inline constexpr std::string_view kTKCardVolumeName = "TAMEK";
