#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What makes a card this card, read at the search and compared again in the
// erase's own privileged step: a same-size card put in the reader, or another
// stick that took the freed /dev name, differs in one of these. A field the
// system does not report (no udev: no label or UUID) matches only itself.
struct TKCardIdentity {
    std::string device;
    uint64_t size = 0;
    std::string transport;
    std::optional<std::string> model;
    std::optional<std::string> serial;
    std::optional<std::string> partitionTableUUID;
    std::optional<std::string> uuid;
    std::optional<std::string> label;

    bool operator==(const TKCardIdentity&) const = default;
    // "“TAMEK” (Card Reader, 7.4 GB)", "an unlabelled card (7.4 GB)".
    [[nodiscard]] std::string description() const;
};

// "“name” (model, size)", or "“name” (size)" without a model.
[[nodiscard]] std::string TKCardDescription(const std::string& name, const std::optional<std::string>& model,
    uint64_t size);

// One mounted volume of a USB disk, as the format and settings windows show it.
// Values are fixed at construction: the disk is described afresh at each search.
class TKUSBDiskEntity {
public:
    TKUSBDiskEntity(std::string volumeName, std::string mountedURL, std::string deviceFilePath,
        std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable, bool mediaWhole,
        std::string key, TKCardIdentity identity = {});

    // The label, or the mount point's last component for an unlabelled card.
    [[nodiscard]] const std::string& volumeName() const { return m_volumeName; }
    // The mount point: the card's root folder.
    [[nodiscard]] const std::string& mountedURL() const { return m_mountedURL; }
    // Device node of the medium holding the file system ("/dev/sdb1"): the
    // argument of the unmount, format and mount commands.
    [[nodiscard]] const std::string& deviceFilePath() const { return m_deviceFilePath; }
    [[nodiscard]] const std::optional<std::string>& deviceModel() const { return m_deviceModel; }
    [[nodiscard]] uint64_t volumeSize() const { return m_volumeSize; }
    [[nodiscard]] bool writable() const { return m_writable; }
    // True when the file system sits on the disk itself, without partitions.
    [[nodiscard]] bool mediaWhole() const { return m_mediaWhole; }
    // The whole disk's device node; kept for diagnostics.
    [[nodiscard]] const std::string& key() const { return m_key; }
    // As the search read it; empty for an entity not made by the search.
    [[nodiscard]] const TKCardIdentity& identity() const { return m_identity; }

    // "[7.4 GB] TAMEK <Model>", or "[7.4 GB] TAMEK " without a model.
    [[nodiscard]] std::string displayString() const;

    bool operator==(const TKUSBDiskEntity&) const = default;

private:
    std::string m_volumeName;
    std::string m_mountedURL;
    std::string m_deviceFilePath;
    std::optional<std::string> m_deviceModel;
    uint64_t m_volumeSize;
    bool m_writable;
    bool m_mediaWhole;
    std::string m_key;
    TKCardIdentity m_identity;
};

// A byte count as a short text: "0 B", "1023 B", "1.5 kB", "7.4 GB", "119 GB".
// Units are powers of 1024 with the letters "kMGTPEZY". Six characters at
// most, but for 1000 to 1023 of a unit that stay below the next one, which
// keep their four digits ("1000 kB") as the camera tool's formatter does.
[[nodiscard]] std::string TKByteSizeText(uint64_t bytes);
