#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The columns the disk layer asks lsblk for; the parser reads these names.
inline constexpr std::string_view kTKLsblkColumns = "NAME,PATH,TYPE,TRAN,RM,HOTPLUG,RO,SIZE,MODEL,LABEL,FSTYPE,MOUNTPOINT,PKNAME,SERIAL,PTUUID,UUID";

// One mounted file system from the block device tree, with what it inherits
// from the disk it lives on (partitions carry no transport or model of their own).
struct TKBlockVolume {
    std::string name; // kernel name, "sdb1"
    std::string devicePath; // "/dev/sdb1"
    std::string mountPoint;
    std::optional<std::string> label; // null without udev or for an unlabelled card
    std::optional<std::string> fileSystem;
    std::string transport; // of the whole disk: "usb", "sata", "mmc", "" when unknown
    bool removable = false; // removable medium or hot-pluggable device, here or on the disk
    bool readOnly = false; // here or on the disk (a write-protected card)
    uint64_t size = 0; // of this medium (the partition for a partition)
    std::optional<std::string> model; // of the nearest device that reports one
    std::optional<std::string> serial; // the same
    std::optional<std::string> partitionTableUUID; // of the disk's partition table
    std::optional<std::string> uuid; // of this file system; null without udev
    bool mediaWhole = false; // the file system sits on the disk itself
    std::string diskPath; // the whole disk's device node

    // The label, else the mount point's last component, which is what the
    // file manager shows for an unlabelled card.
    [[nodiscard]] std::string volumeName() const;
};

// Reads the output of `lsblk --json --bytes -o <kTKLsblkColumns>` (the tree
// form, partitions in "children"). Only nodes mounted on a directory become
// volumes, in the tree's order. Older lsblk writes flags and sizes as strings; both forms
// are read. Returns false (and no volumes) when the text is not lsblk JSON.
[[nodiscard]] bool TKParseBlockVolumes(std::string_view json, std::vector<TKBlockVolume>& volumes);
// Every node of the tree, mounted or not (an unmounted one has an empty
// mountPoint), in the tree's order: what the format checks a disk against
// once its volumes are unmounted.
[[nodiscard]] bool TKParseBlockNodes(std::string_view json, std::vector<TKBlockVolume>& nodes);
