#include "sdcard/TKCardFormat.h"
#include "TKCardTestSupport.h"
#include "sdcard/TKDiskDiscovery.h"
#include "settings/TKSettingFile.h"
#include "settings/TKUserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string settingsBytes(unsigned char seed)
{
    std::string bytes(kTKSettingFileSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + seed) & 0xff);
    return bytes;
}

// A card mounted on a private folder, its disk listed as a USB partition,
// and a command layer whose erase empties the folder as mkfs.fat would.
class CardFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("tamek-format-test-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "card");
        fs::create_directories(root / "tmp");
        TestDisk disk;
        disk.mountPoint = (root / "card").string();
        disks.disks = {disk};
        commands.answers["udisksctl"] = [](const TKCommand&) { return TKCommandResult{false, -1, {}, {}, "udisksctl not found"}; };
        commands.answers["mkfs.fat"] = [this](const TKCommand&) {
            for (const auto& entry : fs::directory_iterator(root / "card"))
                fs::remove_all(entry.path());
            return exitWith(0);
        };
    }
    void TearDown() override { fs::remove_all(root); }

    TKUSBDiskEntity entity()
    {
        const auto listed = TKUSBDiskEntities(disks);
        EXPECT_EQ(listed.size(), 1u);
        return listed.at(0);
    }

    TKFormatOutcome format(const std::optional<TKUSBDiskEntity>& chosen = std::nullopt)
    {
        TKFormatServices services{commands, disks, files, defaults, (root / "tmp").string(),
            [this](const std::string& message) { messages.push_back(message); }};
        return TKFormatCard(chosen ? *chosen : entity(), services);
    }

    fs::path cardFile() const { return root / "card" / "config.bin"; }

    fs::path root;
    FakeDisks disks;
    FakeCommands commands;
    TKMountedCardFiles files;
    TKMemoryUserDefaults defaults;
    std::vector<std::string> messages;
};

} // namespace

TEST(CardFormatFigures, ClusterSectorsAndTheirSize)
{
    EXPECT_EQ(TKClusterSectorsForVolumeSize(4'000'000'000), 32);
    EXPECT_EQ(TKClusterSectorsForVolumeSize((7ull << 30) - 1), 32);
    EXPECT_EQ(TKClusterSectorsForVolumeSize(7ull << 30), 128);
    EXPECT_EQ(TKClusterSectorsForVolumeSize(128'043'712'512), 128);
    // 512-byte sectors: the figure is not the size in KB.
    EXPECT_EQ(TKClusterKilobytes(32), 16);
    EXPECT_EQ(TKClusterKilobytes(128), 64);

    const TKCommand erase = TKEraseCommand("/dev/sdb1", 128);
    EXPECT_EQ(erase.program, "mkfs.fat");
    EXPECT_TRUE(erase.administrator);
    EXPECT_EQ(erase.arguments, (std::vector<std::string>{"-a", "-F", "32", "-n", "TAMEK", "-f", "2", "-b", "6", "-R",
                                   "32", "-s", "128", "--", "/dev/sdb1"}));
}

TEST_F(CardFormat, KeepsTheSettingsFileThroughTheErase)
{
    const std::string original = settingsBytes(3);
    writeAll(cardFile(), original);
    const auto outcome = format();
    ASSERT_EQ(outcome.status, TKFormatStatus::Completed) << outcome.detail;
    EXPECT_EQ(readAll(cardFile()), original);
    EXPECT_EQ(messages, (std::vector<std::string>{"unmount disk...", "formatting...", "try mount...", "Format completed!"}));
    // udisks is missing here: umount and mount take over, device after "--".
    EXPECT_EQ(commands.programs(), (std::vector<std::string>{"udisksctl", "umount", "mkfs.fat", "udisksctl", "mount"}));
    EXPECT_EQ(commands.log[1].arguments, (std::vector<std::string>{"--", "/dev/sdb1"}));
    EXPECT_EQ(commands.log[2].arguments.back(), "/dev/sdb1");
    EXPECT_EQ(commands.log[2].arguments.at(12), "32"); // a 4 GB card
    // The saved copy sits in a fresh folder only we can enter, and stays.
    ASSERT_TRUE(outcome.savedPath);
    EXPECT_EQ(readAll(*outcome.savedPath), original);
    EXPECT_EQ(fs::path(*outcome.savedPath).parent_path().parent_path(), root / "tmp");
    EXPECT_EQ(fs::status(fs::path(*outcome.savedPath).parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(CardFormat, CardWithoutSettingsGetsTheDefaultRecord)
{
    defaults.setInteger(kTKExternalRearCameraKey, 2);
    const auto outcome = format();
    ASSERT_EQ(outcome.status, TKFormatStatus::Completed) << outcome.detail;
    EXPECT_FALSE(outcome.savedPath);
    _FILEDATA expected;
    TKMakeDefaultSettings(expected, defaults);
    const std::string written = readAll(cardFile());
    ASSERT_EQ(written.size(), kTKSettingFileSize);
    EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
}

TEST_F(CardFormat, SettingsThatCannotBeSavedStopBeforeAnyCommand)
{
    // A FIFO named config.bin: reading it must neither block nor count as saved.
    ASSERT_EQ(::mkfifo(cardFile().c_str(), 0600), 0);
    auto outcome = format();
    EXPECT_EQ(outcome.status, TKFormatStatus::CopyAsideFailed);
    EXPECT_NE(outcome.detail.find("not a regular file"), std::string::npos) << outcome.detail;
    EXPECT_TRUE(commands.log.empty());
    fs::remove(cardFile());

    // No private folder can be made: the card stays as it is.
    writeAll(cardFile(), settingsBytes(1));
    TKFormatServices services{commands, disks, files, defaults, (root / "missing" / "deeper").string(), {}};
    outcome = TKFormatCard(entity(), services);
    EXPECT_EQ(outcome.status, TKFormatStatus::CopyAsideFailed);
    EXPECT_TRUE(commands.log.empty());
    EXPECT_EQ(readAll(cardFile()), settingsBytes(1));
}

TEST_F(CardFormat, FailedEraseIsNeverReportedAsComplete)
{
    const std::string original = settingsBytes(9);
    struct Case {
        TKCommandResult result;
        TKFormatStatus status;
        std::string inDetail;
    };
    const std::vector<Case> cases = {
        {exitWith(1, "mkfs.fat: unable to open /dev/sdb1: Read-only file system\n"), TKFormatStatus::EraseWriteProtected, "Read-only"},
        {exitWith(1, "mkfs.fat: /dev/sdb1 contains a mounted filesystem.\n"), TKFormatStatus::EraseFailed, "mounted filesystem"},
        {exitWith(kTKPkexecDismissed), TKFormatStatus::EraseCancelled, "password was not given"},
        {exitWith(kTKPkexecNotAuthorized, "Error getting authority"), TKFormatStatus::EraseNotAuthorized, "authority"},
        {TKCommandResult{false, -1, {}, {}, "mkfs.fat not found"}, TKFormatStatus::EraseFailed, "not found"},
    };
    for (const auto& c : cases) {
        writeAll(cardFile(), original);
        commands.log.clear();
        commands.answers["mkfs.fat"] = [&](const TKCommand&) { return c.result; };
        const auto outcome = format();
        EXPECT_EQ(outcome.status, c.status) << outcome.detail;
        EXPECT_NE(outcome.detail.find(c.inDetail), std::string::npos) << outcome.detail;
        // The card is mounted again, nothing is written back, the copy is kept.
        EXPECT_EQ(commands.programs().back(), "mount");
        ASSERT_TRUE(outcome.savedPath);
        EXPECT_EQ(readAll(*outcome.savedPath), original);
        EXPECT_NE(outcome.detail.find(*outcome.savedPath), std::string::npos);
        EXPECT_EQ(std::count(messages.begin(), messages.end(), "Format completed!"), 0);
    }
}

TEST_F(CardFormat, MountFailingAfterTheEraseSaysWhereTheSettingsAre)
{
    writeAll(cardFile(), settingsBytes(5));
    commands.answers["mount"] = [](const TKCommand&) { return exitWith(32, "mount: unknown filesystem type 'vfat'"); };
    const auto outcome = format();
    EXPECT_EQ(outcome.status, TKFormatStatus::MountFailed);
    ASSERT_TRUE(outcome.savedPath);
    EXPECT_NE(outcome.detail.find("unknown filesystem type"), std::string::npos);
    EXPECT_NE(outcome.detail.find(*outcome.savedPath), std::string::npos);
    EXPECT_EQ(readAll(*outcome.savedPath), settingsBytes(5));
    EXPECT_FALSE(fs::exists(cardFile()));
}

TEST_F(CardFormat, CardPulledBeforeTheCopyBack)
{
    writeAll(cardFile(), settingsBytes(6));
    commands.answers["mount"] = [this](const TKCommand&) {
        disks.disks.clear();
        return exitWith(0);
    };
    const auto outcome = format();
    EXPECT_EQ(outcome.status, TKFormatStatus::CopyBackFailed);
    ASSERT_TRUE(outcome.savedPath);
    EXPECT_NE(outcome.detail.find("no longer attached"), std::string::npos);
    EXPECT_EQ(readAll(*outcome.savedPath), settingsBytes(6));

    // Mounted read-only after the erase: the write back fails, not "complete".
    fs::remove_all(root / "card");
    fs::create_directories(root / "card");
    TestDisk disk;
    disk.mountPoint = (root / "card").string();
    disks.disks = {disk};
    writeAll(cardFile(), settingsBytes(7));
    commands.answers["mount"] = [this](const TKCommand&) {
        disks.disks.at(0).mountPoint = (root / "gone").string();
        return exitWith(0);
    };
    const auto second = format();
    EXPECT_EQ(second.status, TKFormatStatus::CopyBackFailed) << second.detail;
    ASSERT_TRUE(second.savedPath);
    EXPECT_EQ(readAll(*second.savedPath), settingsBytes(7));
}

TEST_F(CardFormat, OnlyTheSameUsbDiskOfTheSearchIsErased)
{
    const TKUSBDiskEntity listed = entity();
    // Names that are not a plain device node never reach a command.
    for (const std::string name : {"/dev/sdb1; reboot", "/tmp/card.img", "/dev/../tmp/card.img", "sdb1", "/dev/-rf",
             "/dev/mapper/x", "/dev/"}) {
        const TKUSBDiskEntity crafted("TAMEK", listed.mountedURL(), name, std::nullopt, listed.volumeSize(), true,
            false, "/dev/sdb");
        EXPECT_EQ(format(crafted).status, TKFormatStatus::Refused) << name;
    }
    // A disk the search does not list (an internal one, or another size).
    const TKUSBDiskEntity internal("TAMEK", listed.mountedURL(), "/dev/sda1", std::nullopt, listed.volumeSize(),
        true, false, "/dev/sda");
    EXPECT_EQ(format(internal).status, TKFormatStatus::Refused);
    disks.notBlockDevices.insert("/dev/sdb1");
    EXPECT_EQ(format(listed).status, TKFormatStatus::Refused);
    disks.notBlockDevices.clear();
    EXPECT_TRUE(commands.log.empty());

    // Another card in the reader by the time the erase would run.
    writeAll(cardFile(), settingsBytes(8));
    commands.answers["umount"] = [this](const TKCommand&) {
        disks.disks.at(0).size = 64'000'000'000;
        disks.disks.at(0).mountPoint.clear();
        return exitWith(0);
    };
    auto outcome = format(listed);
    EXPECT_EQ(outcome.status, TKFormatStatus::DiskChanged);
    EXPECT_FALSE(commands.ran("mkfs.fat"));
    EXPECT_EQ(readAll(cardFile()), settingsBytes(8));

    // Or the reader now says it is not USB.
    disks.disks.at(0).size = listed.volumeSize();
    commands.log.clear();
    commands.answers["umount"] = [this](const TKCommand&) {
        disks.disks.at(0).transport = "sata";
        return exitWith(0);
    };
    disks.disks.at(0).mountPoint = listed.mountedURL();
    outcome = format(listed);
    EXPECT_EQ(outcome.status, TKFormatStatus::DiskChanged);
    EXPECT_FALSE(commands.ran("mkfs.fat"));
}

TEST_F(CardFormat, WholeMediumUnmountsEveryVolumeOfTheDisk)
{
    // Partition: just that one volume, though its disk has a second.
    TestDisk second;
    second.path = "/dev/sdb2";
    second.mountPoint = (root / "other").string();
    TestDisk first = disks.disks.at(0);
    disks.disks = {first};
    auto json = nlohmann::json::parse(lsblkJSON({first}));
    auto child = json["blockdevices"][0]["children"][0];
    child["name"] = "sdb2";
    child["path"] = "/dev/sdb2";
    child["mountpoint"] = second.mountPoint;
    json["blockdevices"][0]["children"].push_back(child);

    class TreeDisks final : public TKDiskSystem {
    public:
        std::string json;
        std::optional<std::string> blockDevicesJSON() override { return json; }
        bool itemExists(const std::string& path) override { return fs::exists(path); }
        bool isBlockDevice(const std::string&) override { return true; }
    } tree;
    tree.json = json.dump();

    const auto unmounted = [&](bool whole) {
        const TKUSBDiskEntity disk("TAMEK", first.mountPoint, "/dev/sdb1", std::nullopt, first.size, true, whole,
            "/dev/sdb");
        FakeCommands recorder;
        recorder.answers["mkfs.fat"] = [](const TKCommand&) { return exitWith(1, "stop here"); };
        TKFormatServices services{recorder, tree, files, defaults, (root / "tmp").string(), {}};
        (void)TKFormatCard(disk, services);
        std::vector<std::string> devices;
        for (const auto& command : recorder.log) {
            if (command.program == "udisksctl" && command.arguments.front() == "unmount")
                devices.push_back(command.arguments.back());
        }
        return devices;
    };
    EXPECT_EQ(unmounted(false), (std::vector<std::string>{"/dev/sdb1"}));
    EXPECT_EQ(unmounted(true), (std::vector<std::string>{"/dev/sdb1", "/dev/sdb2"}));
}

TEST(CardRename, OnlyBlockDevicesOfTheSearchAreRelabelled)
{
    FakeDisks disks;
    TestDisk card;
    card.mountPoint = "/media/driver/NO NAME";
    card.label = "NO NAME";
    disks.disks = {card};
    FakeCommands commands;
    const auto listed = TKUSBDiskEntities(disks).at(0);
    EXPECT_EQ(TKRenameCard(listed, "TAMEK", disks, commands), std::nullopt);
    ASSERT_EQ(commands.log.size(), 1u);
    EXPECT_EQ(commands.log[0].program, "fatlabel");
    EXPECT_TRUE(commands.log[0].administrator);
    EXPECT_EQ(commands.log[0].arguments, (std::vector<std::string>{"--", "/dev/sdb1", "TAMEK"}));

    commands.log.clear();
    for (const std::string name : {"/tmp/card.img", "/dev/../tmp/card.img", "-n", "/dev/sdb1 x"}) {
        const TKUSBDiskEntity crafted("NO NAME", card.mountPoint, name, std::nullopt, card.size, true, false, "/dev/sdb");
        EXPECT_TRUE(TKRenameCard(crafted, "TAMEK", disks, commands)) << name;
    }
    EXPECT_TRUE(TKRenameCard(listed, "TAMEK\nX", disks, commands));
    EXPECT_TRUE(TKRenameCard(listed, "TWELVE_CHARS", disks, commands));
    disks.notBlockDevices.insert("/dev/sdb1");
    EXPECT_TRUE(TKRenameCard(listed, "TAMEK", disks, commands));
    EXPECT_TRUE(commands.log.empty());

    commands.answers["fatlabel"] = [](const TKCommand&) { return exitWith(1, "fatlabel: Permission denied"); };
    disks.notBlockDevices.clear();
    EXPECT_EQ(TKRenameCard(listed, "TAMEK", disks, commands), "fatlabel: Permission denied");
}
