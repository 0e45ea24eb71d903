// The real erase on a loop device standing for the card: the erase helper's
// work, as root, with the real mkfs.fat command line, on a recorded listing
// (lsblk never shows a loop device as a USB card). What the sequence around
// it keeps and writes back is the fake command layer's to check.

#include "TKCardTestSupport.h"
#include "sdcard/TKCardFormat.h"
#include "sdcard/TKDiskDiscovery.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

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

uint16_t u16(const std::array<unsigned char, 512>& sector, std::size_t at)
{
    return static_cast<uint16_t>(sector[at] | (sector[at + 1] << 8));
}

} // namespace

// An 8 GiB card, so the erase takes the larger clusters.
TEST(LoopFormat, RealEraseMakesTheCamerasFat32)
{
    if (!TKResolveCommand("mkfs.fat") || !TKResolveCommand("mcopy"))
        GTEST_SKIP() << "dosfstools or mtools missing";
    ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
    const fs::path image = fs::temp_directory_path() / ("tamek-loop-" + std::to_string(::getpid()) + ".img");
    const uint64_t size = 8ull << 30;
    LoopImage loop(image, size);
    const std::string target = loop.device();
    // The helper erases only block devices, so without a loop device there
    // is nothing it may run on.
    if (target.empty())
        GTEST_SKIP() << "losetup refused (not root or no free loop device): the real erase was not run";

    // A used card: someone else's FAT layout and a recording.
    ASSERT_EQ(shellRun("/usr/sbin/mkfs.fat -F 32 -s 8 -n OLDCARD " + target + " >/dev/null && echo rec | mcopy -i "
                  + target + " - ::/REC.AVI && echo ok"),
        "ok\n");
    FakeDisks disks;
    disks.disks = {TestDisk{.path = target, .mountPoint = "/media/tamek-test/OLDCARD", .size = size, .partition = false,
        .label = "OLDCARD"}};
    disks.useRealStat = true;
    const auto listed = TKUSBDiskEntities(disks);
    ASSERT_EQ(listed.size(), 1u);
    TKProcessRunner runner;
    const TKEraseResult erased
        = TKEraseIfSameCard({listed[0].identity(), TKClusterSectorsForVolumeSize(size)}, disks, runner);
    ASSERT_EQ(erased.status, 0) << erased.errors;

    std::array<unsigned char, 512> boot{};
    std::array<unsigned char, 512> backup{};
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, boot.data(), boot.size(), 0), 512);
    EXPECT_EQ(::pread(fd, backup.data(), backup.size(), 6 * 512), 512);
    ::close(fd);
    EXPECT_EQ(u16(boot, 11), 512); // bytes per sector
    EXPECT_EQ(boot[13], 128); // sectors per cluster
    EXPECT_EQ(u16(boot, 14), 32); // reserved sectors
    EXPECT_EQ(boot[16], 2); // FATs
    EXPECT_EQ(u16(boot, 50), 6); // the backup boot sector, a copy of the first
    EXPECT_EQ(boot, backup);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&boot[71]), 19), "TAMEK      FAT32   ");
    EXPECT_EQ(u16(boot, 510), 0xAA55);

    // The recording is gone; the volume is whole.
    EXPECT_EQ(shellRun("mdir -b -i " + target + " ::/ 2>/dev/null"), "");
    EXPECT_EQ(shellRun("fsck.fat -n " + target + " >/dev/null 2>&1 && echo clean"), "clean\n");
}
