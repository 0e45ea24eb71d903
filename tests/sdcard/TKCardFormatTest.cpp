#include "TMKFileText.h"
#include "sdcard/TKCardFormat.h"
#include "TKCardTestSupport.h"
#include "sdcard/TKDiskDiscovery.h"
#include "settings/TKSettingFile.h"
#include "settings/TKUserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

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
        TestDisk disk;
        disk.mountPoint = (root / "card").string();
        disks.disks = {disk};
        commands.helperDisks = &disks;
        // udisks hangs: stopped at its limit each time, umount and mount take over.
        commands.answers["udisksctl"] = [](const TKCommand&) {
            return TKCommandResult{true, 143, {}, {}, "udisksctl did not finish within 30 s and was stopped", true};
        };
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
        TKFormatServices services{commands, disks, files, defaults, (root / "state" / "tamek").string(),
            [this](const std::string& message) { messages.push_back(message); }};
        return TKFormatCard(chosen ? *chosen : entity(), services);
    }

    fs::path cardFile() const { return root / "card" / "config.bin"; }

    // The card as it was before a case, with settings of that seed.
    void freshCard(unsigned char seed)
    {
        disks.disks = {TestDisk{.mountPoint = (root / "card").string()}};
        writeAll(cardFile(), settingsBytes(seed));
        commands.log.clear();
        messages.clear();
    }

    fs::path root;
    FakeDisks disks;
    FakeCommands commands;
    TKMountedCardFiles files;
    TKMemoryUserDefaults defaults;
    std::vector<std::string> messages;
};

} // namespace

TEST_F(CardFormat, KeepsTheSettingsFileThroughTheErase)
{
    const std::string original = settingsBytes(3);
    writeAll(cardFile(), original);
    const auto outcome = format();
    ASSERT_EQ(outcome.status, TKFormatStatus::Completed) << outcome.detail;
    EXPECT_EQ(TMKFileText(cardFile()), original);
    EXPECT_EQ(messages, (std::vector<std::string>{"unmount disk...", "formatting...", "try mount...", "Format completed!"}));
    // umount and mount in udisks' place, device after "--"; the helper, as
    // administrator, erases with mkfs.fat. The user is told udisks hung.
    const std::string hung = "\nudisksctl did not finish within 30 s and was stopped";
    EXPECT_EQ(outcome.stopped, hung + hung);
    EXPECT_EQ(commands.programs(),
        (std::vector<std::string>{"udisksctl", "umount", "tamek-erase-card", "mkfs.fat", "udisksctl", "mount"}));
    EXPECT_EQ(commands.log[1].arguments, (std::vector<std::string>{"--", "/dev/sdb1"}));
    EXPECT_TRUE(commands.log[2].administrator);
    EXPECT_EQ(commands.log[2].arguments, (std::vector<std::string>{"--device=/dev/sdb1", "--size=4000000000",
        "--transport=usb", "--sectors=32", "--model=Card Reader", "--serial=0001", "--ptuuid=ab12cd34",
        "--uuid=1A2B-3C4D", "--label=TAMEK"}));
    EXPECT_EQ(commands.log[3].arguments.back(), "/dev/sdb1");
    EXPECT_EQ(commands.log[3].arguments.at(12), "32"); // a 4 GB card
    // The dated copy stays in the state folder (made private), not in /tmp.
    ASSERT_TRUE(outcome.savedPath);
    EXPECT_EQ(TMKFileText(*outcome.savedPath), original);
    EXPECT_EQ(fs::path(*outcome.savedPath).parent_path(), root / "state" / "tamek");
    EXPECT_TRUE(std::regex_match(fs::path(*outcome.savedPath).filename().string(), std::regex(R"(config-\d{8}-\d{6}\.bin)")));
    EXPECT_EQ(fs::status(root / "state" / "tamek").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_NE(format().savedPath, outcome.savedPath) << "a second format keeps the first copy";
    EXPECT_EQ(TKSettingsBackupFolder("/xdg/state", "/home/u"), "/xdg/state/tamek");
    EXPECT_EQ(TKSettingsBackupFolder("relative", "/home/u"), "/home/u/.local/state/tamek");
    EXPECT_EQ(TKSettingsBackupFolder(nullptr, nullptr), "");

    // A card without settings gets the default record, with the user's rear camera.
    fs::remove(cardFile());
    defaults.setInteger(kTKExternalRearCameraKey, 2);
    const auto bare = format();
    ASSERT_EQ(bare.status, TKFormatStatus::Completed) << bare.detail;
    EXPECT_FALSE(bare.savedPath);
    _FILEDATA expected;
    TKMakeDefaultSettings(expected, defaults);
    EXPECT_EQ(TMKFileText(cardFile()), std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
}

// Only the same USB disk of the search is erased, and only once its
// settings are saved.
TEST_F(CardFormat, NothingRunsForAnotherDiskOrSettingsThatCannotBeSaved)
{
    const TKUSBDiskEntity listed = entity();
    // A disk the search does not list (an internal one, or another size).
    const TKUSBDiskEntity internal("TAMEK", listed.mountedURL(), "/dev/sda1", std::nullopt, listed.volumeSize(),
        true, false, "/dev/sda");
    EXPECT_EQ(format(internal).status, TKFormatStatus::Refused);
    disks.notBlockDevices.insert("/dev/sdb1");
    EXPECT_EQ(format(listed).status, TKFormatStatus::Refused);
    disks.notBlockDevices.clear();

    // A FIFO named config.bin: reading it must neither block nor count as saved.
    ASSERT_EQ(::mkfifo(cardFile().c_str(), 0600), 0);
    auto outcome = format();
    EXPECT_EQ(outcome.status, TKFormatStatus::CopyAsideFailed);
    EXPECT_NE(outcome.detail.find("not a regular file"), std::string::npos) << outcome.detail;
    EXPECT_TRUE(commands.log.empty());
    fs::remove(cardFile());

    // No folder for the copy can be made: the card stays as it is.
    writeAll(cardFile(), settingsBytes(1));
    writeAll(root / "file", "");
    TKFormatServices services{commands, disks, files, defaults, (root / "file" / "tamek").string(), {}};
    outcome = TKFormatCard(entity(), services);
    EXPECT_EQ(outcome.status, TKFormatStatus::CopyAsideFailed);
    EXPECT_TRUE(commands.log.empty());
    EXPECT_EQ(TMKFileText(cardFile()), settingsBytes(1));
}

// The erase fails (mkfs.fat inside the helper, or the helper itself), or
// after it the mount fails, the card is pulled, or it comes back where it
// cannot be written. Never "complete"; the copy is kept and named.
TEST_F(CardFormat, FailuresNeverReportCompleteAndSayWhereTheSettingsAre)
{
    const auto answer = [](TKCommandResult result) { return [result] { return result; }; };
    struct Case {
        std::string program;
        std::function<TKCommandResult()> result;
        TKFormatStatus status;
        std::string inDetail;
    };
    const std::vector<Case> cases = {
        {"mkfs.fat", answer(exitWith(1, "mkfs.fat: unable to open /dev/sdb1: Read-only file system\n")), TKFormatStatus::EraseWriteProtected, "Read-only"},
        {"mkfs.fat", answer(exitWith(1, "mkfs.fat: /dev/sdb1 contains a mounted filesystem.\n")), TKFormatStatus::EraseFailed, "mounted filesystem"},
        {"mkfs.fat", answer(TKCommandResult{false, -1, {}, {}, "mkfs.fat not found"}), TKFormatStatus::EraseFailed, "not found"},
        {"tamek-erase-card", answer(exitWith(kTKPkexecDismissed)), TKFormatStatus::EraseCancelled, "password was not given"},
        {"tamek-erase-card", answer(exitWith(kTKPkexecNotAuthorized, "Error getting authority")), TKFormatStatus::EraseNotAuthorized, "authority"},
        {"tamek-erase-card", answer(TKCommandResult{true, 137, {}, {}, "tamek-erase-card did not finish within 10 min and was stopped", true}),
            TKFormatStatus::EraseFailed, "tamek-erase-card did not finish within 10 min"},
        {"mount", answer(exitWith(32, "mount: unknown filesystem type 'vfat'")), TKFormatStatus::MountFailed, "unknown filesystem type"},
        {"mount", [this] { disks.disks.clear(); return exitWith(0); }, TKFormatStatus::CopyBackFailed, "no longer attached"},
        {"mount", [this] { disks.disks.at(0).mountPoint = (root / "gone").string(); return exitWith(0); }, TKFormatStatus::CopyBackFailed, "No such file"},
    };
    const auto erase = commands.answers["mkfs.fat"];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inDetail);
        freshCard(9);
        commands.answers["mkfs.fat"] = erase;
        commands.answers[c.program] = [&](const TKCommand&) { return c.result(); };
        const auto outcome = format();
        commands.answers.erase(c.program);
        EXPECT_EQ(outcome.status, c.status) << outcome.detail;
        EXPECT_NE(outcome.detail.find(c.inDetail), std::string::npos) << outcome.detail;
        ASSERT_TRUE(outcome.savedPath);
        EXPECT_EQ(TMKFileText(*outcome.savedPath), settingsBytes(9));
        EXPECT_NE(outcome.detail.find(*outcome.savedPath), std::string::npos);
        // A failed erase mounts the card again and writes nothing back.
        if (c.program != "mount") {
            EXPECT_EQ(commands.programs().back(), "mount");
            EXPECT_EQ(std::count(messages.begin(), messages.end(), "Format completed!"), 0);
        } else {
            EXPECT_FALSE(fs::exists(cardFile()));
        }
    }
}

// Another card in the reader by the time the erase would run: swapped while
// the card is unmounted, or while the user types the password (the helper,
// which reads the disks again only after it). Same size, same /dev name.
TEST_F(CardFormat, AnotherCardInTheReaderIsNeverErased)
{
    const auto holiday = [](TestDisk& d) {
        d.label = "HOLIDAY2026";
        d.serial = "0002";
        d.uuid = "77EE-0011";
    };
    struct Case {
        std::string at;
        std::function<void(TestDisk&)> swap;
        std::string inDetail;
    };
    const std::vector<Case> cases = {
        {"umount", holiday, "now holds \u201cHOLIDAY2026\u201d (Card Reader, 3.7 GB), not \u201cTAMEK\u201d (Card Reader, 3.7 GB)"},
        {"umount", [](TestDisk& d) { d.size = 64'000'000'000; }, "size differ"},
        {"umount", [](TestDisk& d) { d.transport = "sata"; }, "no longer a removable USB disk"},
        {"tamek-erase-card", holiday, "\u201cHOLIDAY2026\u201d"},
        // A copy of the card in a second reader of the same model: only the serial tells.
        {"tamek-erase-card", [](TestDisk& d) { d.serial = "0002"; }, "(serial number differ)"},
        {"tamek-erase-card", [](TestDisk& d) { d.uuid.clear(); d.label.clear(); }, "an unlabelled card"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at + " " + c.inDetail);
        freshCard(8);
        const TKUSBDiskEntity listed = entity();
        commands.answers[c.at] = [&](const TKCommand& command) {
            c.swap(disks.disks.at(0));
            return c.at == "tamek-erase-card" ? commands.runHelper(command) : exitWith(0);
        };
        const auto outcome = format(listed);
        commands.answers.erase(c.at);
        EXPECT_EQ(outcome.status, TKFormatStatus::DiskChanged);
        EXPECT_NE(outcome.detail.find(c.inDetail), std::string::npos) << outcome.detail;
        EXPECT_FALSE(commands.ran("mkfs.fat"));
        EXPECT_EQ(commands.ran("tamek-erase-card"), c.at == "tamek-erase-card") << "no password asked for a changed card";
        EXPECT_EQ(TMKFileText(cardFile()), settingsBytes(8));
        ASSERT_TRUE(outcome.savedPath);
        EXPECT_NE(outcome.detail.find(*outcome.savedPath), std::string::npos);
    }
}

// The helper takes only what it can check, and as its own program refuses a
// device that is no block device after the password as a changed card.
TEST(EraseHelper, RefusesWhatItCannotCheck)
{
    using Args = std::vector<std::string>;
    const Args good{"--device=/dev/sdb1", "--size=4000000000", "--transport=usb", "--sectors=32", "--label=A=B"};
    const auto parsed = TKParseEraseHelperArguments(good);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->card.label, "A=B");
    EXPECT_EQ(parsed->card.uuid, std::nullopt);
    EXPECT_EQ(TKEraseHelperArguments(*parsed), good);
    for (const Args& bad : {Args{"--device=/dev/sdb1", "--size=4000000000", "--transport=usb"},
             Args{"--device=/dev/sdb1", "--size=4e9", "--transport=usb", "--sectors=32"},
             Args{"--device=/dev/sdb1", "--size=1", "--transport=usb", "--sectors=7"},
             Args{"--device=/dev/sdb1", "--size=1", "--transport=usb", "--sectors=32", "--label=A", "--label=B"},
             Args{"--device=/dev/sdb1", "--size=1", "--transport=usb", "--sectors=32", "--colour=red"},
             Args{"--device=/dev/sdb1", "--size=1", "--transport=usb", "--sectors=32", "/dev/sda"}})
        EXPECT_FALSE(TKParseEraseHelperArguments(bad)) << ::testing::PrintToString(bad);

    TKSetCommandPathOverride("tamek-erase-card", TAMEK_ERASE_HELPER);
    TKProcessRunner runner;
    EXPECT_EQ(runner.run({"tamek-erase-card", {"--device=/dev/sdb1"}, false}).exitStatus, kTKEraseUsage);
    const auto result = runner.run({"tamek-erase-card", {"--device=/dev/null", "--size=0", "--transport=usb", "--sectors=32"}, false});
    EXPECT_EQ(result.exitStatus, kTKEraseCardChanged);
    EXPECT_EQ(result.message(), "/dev/null is not a block device");
}

TEST_F(CardFormat, ClusterSizesAndTheWholeMediumUnmountsEveryVolumeOfTheDisk)
{
    // Clusters by size; what they mean for the user is the format window's to check.
    EXPECT_EQ(TKClusterSectorsForVolumeSize((7ull << 30) - 1), 32);
    EXPECT_EQ(TKClusterSectorsForVolumeSize(7ull << 30), 128);
    EXPECT_EQ(TKClusterSectorsForVolumeSize(128'043'712'512), 128);

    // Partition: just that one volume, though its disk has a second. A card
    // of 8 GB is erased with the larger clusters.
    TestDisk first = disks.disks.at(0);
    first.size = 8'000'000'000;
    auto json = nlohmann::json::parse(lsblkJSON({first}));
    auto child = json["blockdevices"][0]["children"][0];
    child["name"] = "sdb2";
    child["path"] = "/dev/sdb2";
    child["mountpoint"] = (root / "other").string();
    json["blockdevices"][0]["children"].push_back(child);
    FakeDisks tree;
    tree.recordedJSON = json.dump();

    const auto unmounted = [&](bool whole) {
        const TKUSBDiskEntity disk("TAMEK", first.mountPoint, "/dev/sdb1", std::nullopt, first.size, true, whole,
            "/dev/sdb", TKUSBDiskEntities(tree).at(0).identity());
        FakeCommands recorder;
        recorder.answers["mkfs.fat"] = [](const TKCommand&) { return exitWith(1, "stop here"); };
        TKFormatServices services{recorder, tree, files, defaults, (root / "state").string(), {}};
        (void)TKFormatCard(disk, services);
        std::vector<std::string> devices;
        for (const auto& command : recorder.log) {
            if (command.program == "udisksctl" && command.arguments.front() == "unmount")
                devices.push_back(command.arguments.back());
            if (command.program == "tamek-erase-card") {
                EXPECT_EQ(command.arguments.at(3), "--sectors=128");
            }
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
    EXPECT_TRUE(TKRenameCard(listed, "TAMEK\nX", disks, commands));
    EXPECT_TRUE(TKRenameCard(listed, "TWELVE_CHARS", disks, commands));
    disks.notBlockDevices.insert("/dev/sdb1");
    EXPECT_TRUE(TKRenameCard(listed, "TAMEK", disks, commands));
    // A listing that names a file (a hostile udev rule, a changed tree).
    disks.disks.at(0).path = "/tmp/card.img";
    EXPECT_TRUE(TKRenameCard(TKUSBDiskEntities(disks).at(0), "TAMEK", disks, commands));
    EXPECT_TRUE(commands.log.empty());
    disks.disks.at(0).path = "/dev/sdb1";

    commands.answers["fatlabel"] = [](const TKCommand&) { return exitWith(1, "fatlabel: Permission denied"); };
    disks.notBlockDevices.clear();
    EXPECT_EQ(TKRenameCard(listed, "TAMEK", disks, commands), "fatlabel: Permission denied");
}
