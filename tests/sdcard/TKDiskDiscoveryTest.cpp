#include "TMKFileText.h"
#include "base/TMKLog.h"
#include "sdcard/TKBlockDevices.h"
#include "sdcard/TKDiskDiscovery.h"
#include "TMKFakeDisks.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <set>

namespace {

std::string recorded(const char* name)
{
    return TMKFileText(std::string(TAMEK_LSBLK_DATA) + "/" + name);
}

// lsblk output recorded from real readers, and the files that exist on the cards.

class DiskDiscovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        TMKSetLogSink([this](TMKLogChannel, std::string_view line) { log.emplace_back(line); });
    }
    void TearDown() override { TMKSetLogSink({}); }
    std::vector<std::string> log;
};

using Paths = std::vector<std::string>;

} // namespace

TEST_F(DiskDiscovery, PartitionedCardInAUSBReader)
{
    FakeDisks system(recorded("reader_partitioned.json"), {});
    EXPECT_EQ(TKRemovableVolumeURLs(system), Paths({ "/media/driver/TAMEK" }))
        << "system partitions, swap and unmounted partitions are not volumes";
    const auto disks = TKUSBDiskEntities(system);
    ASSERT_EQ(disks.size(), 1u);
    const TKUSBDiskEntity& disk = disks[0];
    EXPECT_EQ(disk.mountedURL(), "/media/driver/TAMEK");
    EXPECT_EQ(disk.deviceFilePath(), "/dev/sdb1");
    EXPECT_EQ(disk.deviceModel(), "Generic STORAGE DEVICE") << "the partition takes the reader's model";
    EXPECT_EQ(disk.volumeSize(), 7948206080u) << "the size of the partition, not the disk";
    EXPECT_TRUE(disk.writable());
    EXPECT_FALSE(disk.mediaWhole());
    EXPECT_EQ(disk.key(), "/dev/sdb");
    // The serial and partition table are the disk's; the reader's own model, no UUID where lsblk has none.
    EXPECT_EQ(disk.identity(), (TKCardIdentity{ "/dev/sdb1", 7948206080u, "usb", "Generic STORAGE DEVICE", "000000000819", "4b3e0a1c", "6A1B-2C3D", "TAMEK" }));
    EXPECT_EQ(log, Paths({ "/media/driver/TAMEK" }));
}

// Which card the five passes choose, from recorded listings and the files on the cards.
TEST_F(DiskDiscovery, PassesChooseTheCard)
{
    auto firstProtected = nlohmann::json::parse(recorded("two_tamek.json"));
    firstProtected["blockdevices"][1]["ro"] = true;
    // The unlabelled listing without its USB hard disk.
    std::string cardOnly = recorded("unlabelled.json");
    const auto hdd = cardOnly.find("},{\n         \"name\": \"sdd\"");
    ASSERT_NE(hdd, std::string::npos);
    cardOnly = cardOnly.substr(0, hdd) + "}\n   ]\n}\n";
    const struct {
        const char* why;
        std::string json;
        std::set<std::string> files;
        std::string chosen;
    } cases[] = {
        {"pass 1 wants a writable card; pass 3 takes the protected TAMEK before pass 4 looks at BACKUP",
         recorded("write_protected.json"), {"/media/driver/TAMEK/config.bin"}, "/media/driver/TAMEK"},
        {"pass 1: the second TAMEK holds config.bin", recorded("two_tamek.json"), {"/media/driver/TAMEK1/config.bin"},
         "/media/driver/TAMEK1"},
        {"pass 2: the first writable TAMEK", recorded("two_tamek.json"), {}, "/media/driver/TAMEK"},
        {"pass 2 skips a write-protected TAMEK", firstProtected.dump(), {}, "/media/driver/TAMEK1"},
        {"pass 4: the unlabelled USB card, not the internal slot's TAMEK", recorded("internal_slot.json"),
         {"/media/driver/TAMEK/config.bin"}, "/media/driver/3A1B-2C4D"},
        {"pass 4: the USB hard disk is hot-pluggable and writable", recorded("unlabelled.json"), {},
         "/media/driver/Backup Plus"},
        {"pass 5: only the protected card is left", cardOnly, {}, "/media/driver/6F2E-11A0"},
    };
    for (const auto& c : cases) {
        FakeDisks system(c.json, c.files);
        const auto card = TKFindCardDisk(system);
        EXPECT_EQ(card ? card->mountedURL() : "none", c.chosen) << c.why;
        EXPECT_EQ(system.listings, 1) << "the disks are listed once for all five passes";
    }
}

// A card on the whole medium, without a model; read-only is inherited from
// the disk; an unlabelled card is named after its mount point; padding of
// the model text is trimmed.
TEST_F(DiskDiscovery, NamesAndFlagsOfTheListedCards)
{
    FakeDisks whole(recorded("whole_medium.json"), {});
    auto disks = TKUSBDiskEntities(whole);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_TRUE(disks[0].mediaWhole());
    EXPECT_EQ(disks[0].deviceFilePath(), "/dev/sdb");
    EXPECT_EQ(disks[0].displayString(), "[30 GB] TAMEK ");

    FakeDisks internal(recorded("internal_slot.json"), {"/media/driver/TAMEK/timeset.cfg"});
    EXPECT_EQ(TKRemovableVolumeURLs(internal), Paths({ "/media/driver/TAMEK", "/media/driver/3A1B-2C4D" }));
    EXPECT_EQ(TKUSBVolumeURLs(internal), Paths({ "/media/driver/3A1B-2C4D" }));
    EXPECT_EQ(TKFindVolumeWithFile(internal, "timeset.cfg"), std::nullopt);
    disks = TKUSBDiskEntities(internal);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].volumeName(), "3A1B-2C4D");
    EXPECT_EQ(disks[0].displayString(), "[7.4 GB] 3A1B-2C4D <USB3.0 CRW-SD>");

    FakeDisks unlabelled(recorded("unlabelled.json"), {});
    EXPECT_EQ(TKUSBVolumeURLs(unlabelled), Paths({ "/media/driver/6F2E-11A0", "/media/driver/Backup Plus" }));
    disks = TKUSBDiskEntities(unlabelled);
    ASSERT_FALSE(disks.empty());
    EXPECT_FALSE(disks[0].writable());
    EXPECT_EQ(disks[0].deviceModel(), "Card Reader");
}

TEST_F(DiskDiscovery, VolumeWithFileLooksAtTheRootOfEachUSBVolume)
{
    FakeDisks system(recorded("two_tamek.json"), { "/media/driver/TAMEK1/timeset.cfg" });
    EXPECT_EQ(TKFindVolumeWithFile(system, "timeset.cfg"), "/media/driver/TAMEK1");
    EXPECT_EQ(TKFindVolumeWithFile(system, "config.bin"), std::nullopt);
    system.asked.clear();
    for (const char* name : { "", ".", "..", "../TAMEK1/timeset.cfg", "a/b", "/etc/passwd" })
        EXPECT_EQ(TKFindVolumeWithFile(system, name), std::nullopt) << name;
    EXPECT_TRUE(system.asked.empty()) << "names that are not one path component are not looked up";
}

TEST_F(DiskDiscovery, NoDisksOrUnreadableListing)
{
    FakeDisks none(R"({"blockdevices": []})", {});
    EXPECT_TRUE(TKUSBDiskEntities(none).empty());
    EXPECT_EQ(TKFindCardDisk(none), std::nullopt);
    for (const char* bad : { "", "lsblk: unknown column", R"({"blockdevices": 5})", R"({"blockdevices": [{"children": 1, "name": "sdb"}]})" }) {
        std::vector<TKBlockVolume> volumes { TKBlockVolume {} };
        EXPECT_FALSE(TKParseBlockVolumes(bad, volumes)) << bad;
        EXPECT_TRUE(volumes.empty());
    }
}

TEST_F(DiskDiscovery, OlderLsblkWritesFlagsAndSizesAsStrings)
{
    FakeDisks system(R"({"blockdevices": [
        {"name":"sdb", "path":"/dev/sdb", "type":"disk", "tran":"usb", "rm":"1", "hotplug":"1", "ro":"1",
         "size":"7952400384", "model":"Reader", "label":null, "fstype":null, "mountpoint":null, "pkname":null,
         "children": [
            {"name":"sdb1", "path":"/dev/sdb1", "type":"part", "tran":null, "rm":"1", "hotplug":"1", "ro":"0",
             "size":"7948206080", "model":null, "label":"TAMEK", "fstype":"vfat", "mountpoint":"/media/TAMEK", "pkname":"sdb"}
         ]}
    ]})", {});
    const auto disks = TKUSBDiskEntities(system);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].volumeSize(), 7948206080u);
    EXPECT_FALSE(disks[0].writable());
    EXPECT_EQ(disks[0].displayString(), "[7.4 GB] TAMEK <Reader>");
}

TEST(LocalDiskSystem, ListsThisMachinesDevices)
{
    TKLocalDiskSystem system;
    const auto json = system.blockDevicesJSON();
    if (!json)
        GTEST_SKIP() << "lsblk cannot list block devices here";
    std::vector<TKBlockVolume> volumes;
    EXPECT_TRUE(TKParseBlockVolumes(*json, volumes)) << *json;
    EXPECT_TRUE(system.itemExists("/"));
    EXPECT_FALSE(system.itemExists("/no/such/item"));
}
