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

TEST_F(DiskDiscovery, WholeMediumCardWithoutModel)
{
    FakeDisks system(recorded("whole_medium.json"), {});
    const auto disks = TKUSBDiskEntities(system);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_TRUE(disks[0].mediaWhole());
    EXPECT_EQ(disks[0].deviceFilePath(), "/dev/sdb");
    EXPECT_EQ(disks[0].displayString(), "[30 GB] TAMEK ");
}

TEST_F(DiskDiscovery, WriteProtectedCardWinsOverAnotherName)
{
    FakeDisks system(recorded("write_protected.json"), { "/media/driver/TAMEK/config.bin" });
    const auto disks = TKUSBDiskEntities(system);
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_FALSE(disks[0].writable()) << "read-only is inherited from the disk";
    EXPECT_TRUE(disks[1].writable());
    // Pass 1 wants a writable card; pass 3 takes the protected TAMEK before pass 4 looks at BACKUP.
    system.listings = 0;
    const auto card = TKFindCardDisk(system);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->mountedURL(), "/media/driver/TAMEK");
    EXPECT_EQ(system.listings, 1) << "the disks are listed once for all five passes";
}

TEST_F(DiskDiscovery, SecondTamekCardHoldingConfigIsChosen)
{
    FakeDisks withFile(recorded("two_tamek.json"), { "/media/driver/TAMEK1/config.bin" });
    auto card = TKFindCardDisk(withFile);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->deviceFilePath(), "/dev/sdc1");

    // Without the file anywhere pass 2 takes the first writable TAMEK.
    FakeDisks withoutFile(recorded("two_tamek.json"), {});
    card = TKFindCardDisk(withoutFile);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->mountedURL(), "/media/driver/TAMEK");

    // The first card write-protected: pass 2 skips it for the writable second one.
    auto tree = nlohmann::json::parse(recorded("two_tamek.json"));
    tree["blockdevices"][1]["ro"] = true;
    FakeDisks firstProtected(tree.dump(), {});
    card = TKFindCardDisk(firstProtected);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->mountedURL(), "/media/driver/TAMEK1");
}

TEST_F(DiskDiscovery, InternalCardSlotIsNeverOffered)
{
    FakeDisks system(recorded("internal_slot.json"),
        { "/media/driver/TAMEK/config.bin", "/media/driver/TAMEK/timeset.cfg" });
    EXPECT_EQ(TKRemovableVolumeURLs(system), Paths({ "/media/driver/TAMEK", "/media/driver/3A1B-2C4D" }));
    EXPECT_EQ(TKUSBVolumeURLs(system), Paths({ "/media/driver/3A1B-2C4D" }));
    EXPECT_EQ(TKFindVolumeWithFile(system, "timeset.cfg"), std::nullopt);
    // The unlabelled USB card is named after its mount point and found by pass 4.
    const auto card = TKFindCardDisk(system);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->volumeName(), "3A1B-2C4D");
    EXPECT_EQ(card->displayString(), "[7.4 GB] 3A1B-2C4D <USB3.0 CRW-SD>");
}

TEST_F(DiskDiscovery, UnlabelledWriteProtectedCardIsTheLastChoice)
{
    FakeDisks system(recorded("unlabelled.json"), {});
    // The USB hard disk is hot-pluggable, so it is listed too, and it is writable: pass 4.
    EXPECT_EQ(TKUSBVolumeURLs(system), Paths({ "/media/driver/6F2E-11A0", "/media/driver/Backup Plus" }));
    auto card = TKFindCardDisk(system);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->volumeName(), "Backup Plus");

    // With only the protected card left, pass 5 takes it.
    std::string json = recorded("unlabelled.json");
    const auto hdd = json.find("},{\n         \"name\": \"sdd\"");
    ASSERT_NE(hdd, std::string::npos);
    json = json.substr(0, hdd) + "}\n   ]\n}\n";
    FakeDisks cardOnly(json, {});
    card = TKFindCardDisk(cardOnly);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->volumeName(), "6F2E-11A0");
    EXPECT_FALSE(card->writable());
    EXPECT_EQ(card->deviceModel(), "Card Reader") << "padding of the model text is trimmed";
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
