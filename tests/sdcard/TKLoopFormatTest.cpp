// The real erase on loop devices standing for the card. Mounting FAT is not
// available on these kernels, so the test's command layer plays the unmount
// and mount steps and reaches the card's files with mtools on the device;
// the erase is the real mkfs.fat command line the window runs.

#include "TMKFileText.h"
#include "TKCardTestSupport.h"
#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskDiscovery.h"
#include "settings/TKSettingFile.h"
#include "settings/TKUserDefaults.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string shellRun(const std::string& line)
{
    TKProcessRunner runner;
    const auto result = runner.run({"sh", {"-c", line}, false});
    return result.succeeded() ? result.output : "<failed: " + result.message() + ">";
}

// The real programs, but for the unmount and mount steps, which only note
// that they ran: there is no vfat driver to mount with. The erase helper's
// work runs here, as root, on the recorded listing (lsblk never shows a loop
// device as a USB card), with the real mkfs.fat.
class LoopCommands final : public TKCommandRunner {
public:
    std::vector<TKCommand> log;
    TKDiskSystem* disks = nullptr;
    TKCommandResult run(const TKCommand& command) override
    {
        log.push_back(command);
        if (command.program == "udisksctl" || command.program == "umount" || command.program == "mount")
            return exitWith(0);
        if (command.program == "tamek-erase-card") {
            const auto request = TKParseEraseHelperArguments(command.arguments);
            const TKEraseResult erased = request ? TKEraseIfSameCard(*request, *disks, *this) : TKEraseResult{};
            return exitWith(erased.status, erased.errors);
        }
        return m_real.run(command);
    }

private:
    TKProcessRunner m_real;
};

// config.bin on the device itself, through mcopy.
class MtoolsFiles final : public TKCardFiles {
public:
    MtoolsFiles(TKCommandRunner& runner, fs::path scratch) : m_runner(runner), m_scratch(std::move(scratch)) {}

    bool exists(const TKUSBDiskEntity& disk, std::string_view name) override
    {
        std::string bytes;
        return !read(disk, name, bytes);
    }
    std::optional<std::string> read(const TKUSBDiskEntity& disk, std::string_view name, std::string& bytes) override
    {
        const fs::path out = m_scratch / "read.bin";
        fs::remove(out);
        const auto result = m_runner.run({"mcopy", {"-n", "-i", disk.deviceFilePath(), "::/" + std::string(name), out.string()}, false});
        if (!result.succeeded())
            return result.message();
        bytes = TMKFileText(out);
        return std::nullopt;
    }
    std::optional<std::string> write(const TKUSBDiskEntity& disk, std::string_view name, const std::string& bytes) override
    {
        const fs::path in = m_scratch / "write.bin";
        std::ofstream(in, std::ios::binary) << bytes;
        const auto result = m_runner.run({"mcopy", {"-o", "-i", disk.deviceFilePath(), in.string(), "::/" + std::string(name)}, false});
        return result.succeeded() ? std::nullopt : std::optional<std::string>(result.message());
    }

private:
    TKCommandRunner& m_runner;
    fs::path m_scratch;
};

// The listed card is the loop device, described as a USB reader's card.
// An image, attached to a loop device when the system lets us; detached and
// removed whatever happens.
class LoopImage {
public:
    LoopImage(const fs::path& image, uint64_t size) : m_image(image)
    {
        fs::remove(image);
        std::ofstream(image).close();
        fs::resize_file(image, size);
        if (::geteuid() == 0) {
            const std::string device = shellRun("losetup -f --show " + image.string() + " 2>/dev/null");
            if (!device.empty() && device.front() == '/')
                m_device = device.substr(0, device.find('\n'));
        }
    }
    ~LoopImage()
    {
        if (!m_device.empty())
            (void)shellRun("losetup -d " + m_device);
        fs::remove(m_image);
    }
    [[nodiscard]] const std::string& device() const { return m_device; }

private:
    fs::path m_image;
    std::string m_device;
};

struct BootSector {
    int bytesPerSector, sectorsPerCluster, reservedSectors, fats, backupBootSector;
    std::string label, type;
    bool signature, backupMatches;
};

BootSector readBootSector(const std::string& device)
{
    std::array<unsigned char, 512> sector{};
    std::array<unsigned char, 512> backup{};
    const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, sector.data(), sector.size(), 0), 512);
    EXPECT_EQ(::pread(fd, backup.data(), backup.size(), 6 * 512), 512);
    ::close(fd);
    const auto u16 = [&](int at) { return sector[at] | (sector[at + 1] << 8); };
    return {u16(11), sector[13], u16(14), sector[16], u16(50), std::string(reinterpret_cast<char*>(&sector[71]), 11),
        std::string(reinterpret_cast<char*>(&sector[82]), 8), sector[510] == 0x55 && sector[511] == 0xAA,
        sector == backup};
}

class LoopFormat : public ::testing::TestWithParam<std::tuple<uint64_t, bool>> {
protected:
    void SetUp() override
    {
        if (!TKResolveCommand("mkfs.fat") || !TKResolveCommand("mcopy"))
            GTEST_SKIP() << "dosfstools or mtools missing";
        ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
        scratch = fs::temp_directory_path() / ("tamek-loop-" + std::to_string(::getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch);
    }
    void TearDown() override { fs::remove_all(scratch); }
    fs::path scratch;
};

} // namespace

TEST_P(LoopFormat, RealEraseKeepsOrWritesTheSettings)
{
    const auto [size, withSettings] = GetParam();
    LoopImage loop(scratch / "card.img", size);
    const std::string target = loop.device().empty() ? (scratch / "card.img").string() : loop.device();
    // The sequence erases only block devices, so without a loop device there
    // is nothing it may run on.
    if (loop.device().empty())
        GTEST_SKIP() << "losetup refused (not root or no free loop device): the real erase was not run";

    // A used card: someone else's FAT layout, a settings file, a recording.
    ASSERT_EQ(shellRun("/usr/sbin/mkfs.fat -F 32 -s 8 -n OLDCARD " + target + " >/dev/null && echo ok"), "ok\n");
    std::string original(kTKSettingFileSize, '\0');
    for (std::size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<char>((i * 31 + 17) & 0xff);
    if (withSettings) {
        std::ofstream(scratch / "config.bin", std::ios::binary) << original;
        ASSERT_EQ(shellRun("mcopy -i " + target + " " + (scratch / "config.bin").string() + " ::/config.bin && echo ok"), "ok\n");
    }
    ASSERT_EQ(shellRun("echo rec > " + (scratch / "rec.avi").string() + " && mcopy -i " + target + " "
                  + (scratch / "rec.avi").string() + " ::/REC.AVI && echo ok"),
        "ok\n");

    TestDisk disk;
    disk.path = target;
    disk.partition = false;
    disk.size = size;
    disk.label = "OLDCARD";
    disk.mountPoint = "/media/tamek-test/OLDCARD";
    FakeDisks disks;
    disks.disks = {disk};
    disks.items.emplace();
    disks.useRealStat = true;
    LoopCommands commands;
    commands.disks = &disks;
    MtoolsFiles files(commands, scratch);
    TKMemoryUserDefaults defaults;
    std::vector<std::string> messages;
    TKFormatServices services{commands, disks, files, defaults, (scratch / "state").string(),
        [&](const std::string& m) { messages.push_back(m); }};
    const auto listed = TKUSBDiskEntities(disks);
    ASSERT_EQ(listed.size(), 1u);

    const TKFormatOutcome outcome = TKFormatCard(listed[0], services);
    ASSERT_EQ(outcome.status, TKFormatStatus::Completed) << outcome.detail;
    const bool erased = std::any_of(commands.log.begin(), commands.log.end(), [](const TKCommand& c) { return c.program == "mkfs.fat"; });
    EXPECT_TRUE(erased);

    const int sectors = size < (7ull << 30) ? 32 : 128;
    const BootSector boot = readBootSector(target);
    EXPECT_EQ(boot.bytesPerSector, 512);
    EXPECT_EQ(boot.sectorsPerCluster, sectors);
    EXPECT_EQ(boot.reservedSectors, 32);
    EXPECT_EQ(boot.fats, 2);
    EXPECT_EQ(boot.backupBootSector, 6);
    EXPECT_EQ(boot.label, "TAMEK      ");
    EXPECT_EQ(boot.type, "FAT32   ");
    EXPECT_TRUE(boot.signature);
    EXPECT_TRUE(boot.backupMatches);

    // The recording is gone, the settings are back.
    EXPECT_EQ(shellRun("mdir -b -i " + target + " ::/"), "::/config.bin\n");
    std::string back;
    ASSERT_EQ(files.read(listed[0], "config.bin", back), std::nullopt);
    if (withSettings) {
        EXPECT_EQ(back, original);
    } else {
        _FILEDATA expected;
        TKMakeDefaultSettings(expected, defaults);
        EXPECT_EQ(back, std::string(reinterpret_cast<const char*>(&expected), sizeof expected));
    }
    EXPECT_EQ(shellRun("fsck.fat -n " + target + " >/dev/null 2>&1 && echo clean"), "clean\n");
}

INSTANTIATE_TEST_SUITE_P(Cards, LoopFormat,
    ::testing::Values(std::make_tuple(2ull << 30, true), std::make_tuple(8ull << 30, true),
        std::make_tuple(2ull << 30, false)),
    [](const auto& card) {
        return std::to_string(std::get<0>(card.param) >> 30) + "GiB"
            + (std::get<1>(card.param) ? "WithSettings" : "WithoutSettings");
    });
