#include "base/TMKLog.h"
#include "settings/TKSettingFields.h"
#include "settings/TKSettingFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes readBytes(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes image(const _FILEDATA& record)
{
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    return Bytes(p, p + sizeof record);
}

void put32(Bytes& bytes, std::size_t offset, uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The factory record byte by byte, from the camera's documented defaults
// rather than from the code under test.
Bytes factoryImage()
{
    Bytes bytes(428, 0);
    bytes[0] = 0x26;
    bytes[1] = 0x57;
    const std::pair<std::size_t, uint32_t> defaults[] = {
        { 4, 1 }, { 8, 70 }, { 12, 1 }, { 16, 30 }, { 20, 12100 }, { 32, 3 }, { 40, 1 }, { 44, 1 },
        { 48, 3 }, { 52, 2 }, { 60, 1 }, { 68, 2 }, { 72, 2 }, { 76, 128 }, { 80, 2 }, { 84, 2 },
        { 88, 50 }, { 92, 45 }, { 96, 45 }, { 100, 10 }, { 104, 8 }, { 108, 8 }, { 112, 8 },
        { 116, 3 }, { 120, 3 }, { 124, 96 }, { 128, 97 }, { 132, 3600 }, { 136, 92 }, { 140, 60 },
        { 152, 1 }, { 168, 28 }, { 180, 1 }, { 184, 1 }, { 188, 1 }, { 196, 1 }, { 200, 1 },
        { 204, 1 }, { 208, 1 }, { 212, 1 }, { 216, 60 }, { 220, 20 }, { 224, 0x12 }, { 228, 176 },
        { 232, 3000 }, { 236, 1 }, { 244, 1 }, { 264, 1 }, { 268, 2 }, { 272, 2 }, { 276, 2 },
        { 280, 1 }, { 292, 1 }, { 296, 98 }, { 300, 1 }, { 308, 1 }, { 320, 96 }, { 328, 1 },
        { 340, 1 }, { 388, 4 }, { 424, 1 },
    };
    for (const auto& [offset, value] : defaults)
        put32(bytes, offset, value);
    std::memcpy(bytes.data() + 256, "Tamek", 5);
    return bytes;
}

// XOR of the low halves of words 1..106, each word assembled little-endian.
uint16_t expectedChecksum(const Bytes& bytes)
{
    uint32_t sum = 0;
    for (std::size_t word = 1; word < 107; ++word) {
        uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value |= uint32_t(bytes[word * 4 + i]) << (8 * i);
        sum ^= value & 0xFFFF;
    }
    return static_cast<uint16_t>(sum);
}

class SettingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tamek-settings-" + std::to_string(::getpid()) + "-"
                  + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = (dir / "config.bin").string();
        TMKSetLogSink([this](TMKLogChannel, std::string_view line) { log += std::string(line) + "\n"; });
    }
    void TearDown() override
    {
        TMKSetLogSink({});
        fs::remove_all(dir);
    }
    fs::path dir;
    std::string file;
    std::string log;
};

} // namespace

TEST_F(SettingFileTest, DefaultFileIsTheFactoryRecord)
{
    ASSERT_FALSE(TKWriteDefaultSettingFile(file));
    const Bytes bytes = readBytes(file);
    EXPECT_EQ(bytes, factoryImage()) << "0x26 0x57 first, \"Tamek\" and three zeros at 256, checksum 0";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no temporary file left behind";

    TKMemoryUserDefaults defaults;
    defaults.setInteger(kTKExternalRearCameraKey, 5);
    _FILEDATA record;
    TKMakeDefaultSettings(record, defaults);
    Bytes expected = factoryImage();
    put32(expected, 404, 5);
    EXPECT_EQ(image(record), expected) << "only external_rear_camera follows the user default";
}

// A plate of eight bytes has no terminator; sealing sets the plate flag and
// the checksum of the words' low halves.
TEST_F(SettingFileTest, PlateNumberAndSealing)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    TKSealSettings(record);
    EXPECT_EQ(record.osd_plate_flag, 1);
    EXPECT_EQ(record.checksum, expectedChecksum(image(record)));
    EXPECT_TRUE(TKSettingChecksumMatches(record));

    const uint16_t sealed = record.checksum;
    record.cfg_ver = 1; // word 0 does not enter the sum
    record.vid_saturation = 128 | 0xABCD0000; // nor do upper halves
    EXPECT_EQ(TKSettingChecksum(record), sealed);
    record.debug_mode = 0; // the last word does
    EXPECT_FALSE(TKSettingChecksumMatches(record));

    TKSetPlateNumber(record, "AB12CD34");
    EXPECT_EQ(std::memcmp(record.szPlateNumber, "AB12CD34", 8), 0);
    EXPECT_EQ(record.vid_enc_bitrate_R, 1u) << "the next field is untouched";
    EXPECT_EQ(TKPlateNumber(record), "AB12CD34");
    TKSetPlateNumber(record, "ABCDEFGHIJ");
    EXPECT_EQ(TKPlateNumber(record), "ABCDEFGH");
    TKSetPlateNumber(record, "1234567\xC3\xA9"); // "é" would straddle byte 8: left out, not cut
    EXPECT_EQ(TKPlateNumber(record), "1234567");
    TKSetPlateNumber(record, "");
    TKSealSettings(record);
    EXPECT_EQ(record.osd_plate_flag, 0);
    EXPECT_EQ(Bytes(record.szPlateNumber, record.szPlateNumber + 8), Bytes(8, 0));
    EXPECT_EQ(record.checksum, expectedChecksum(image(record)));
}

// Files of another size are no settings files; a write that cannot be made
// fails with the system's reason logged. A FIFO in place of config.bin must
// not hold the reader (the settings window reads on a worker that would
// never come back).
TEST_F(SettingFileTest, FileStatesAFailedWriteAndAFifo)
{
    for (const std::size_t size : { 0u, 427u, 429u }) {
        SCOPED_TRACE(size);
        Bytes bytes = factoryImage();
        bytes.resize(size, 0x11);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
        EXPECT_EQ(TKSettingFileStateAt(file), TKSettingFileState::WrongSize);
        _FILEDATA record;
        std::memset(&record, 0xEE, sizeof record);
        const Bytes untouched = image(record);
        EXPECT_FALSE(TKReadSettingFile(file, record));
        EXPECT_EQ(image(record), untouched) << "no partial read reaches the record";
        EXPECT_EQ(readBytes(file), bytes) << "reading never rewrites the file";
    }
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    ASSERT_FALSE(TKWriteSettingFile(record, file)) << "an explicit save replaces it";
    EXPECT_EQ(TKSettingFileStateAt(file), TKSettingFileState::Valid);
    EXPECT_EQ(TKSettingFileStateAt((dir / "absent").string()), TKSettingFileState::Missing);
    EXPECT_EQ(TKSettingFileStateAt(dir.string()), TKSettingFileState::NotAFile);
    EXPECT_EQ(TKWriteSettingFile(record, (dir / "missing/config.bin").string()), "msg.file_open_fail");
    EXPECT_NE(log.find(std::strerror(ENOENT)), std::string::npos) << "the system's reason is logged: " << log;

    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return TKReadSettingFile(file, record); });
    const bool finished = read.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    if (!finished) {
        const int writer = ::open(file.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_TRUE(finished) << "reading blocked on a FIFO";
    EXPECT_FALSE(read.get());
}

TEST(SettingFields, TableCoversTheRecordAndChecksTypes)
{
    std::size_t next = 0;
    for (const auto& field : TKSettingFields()) {
        EXPECT_EQ(field.offset, next) << field.name;
        next = field.offset + field.size();
    }
    EXPECT_EQ(next, 428u);

    _FILEDATA record;
    TKMakeDefaultSettings(record);
    const auto& gmt = *TKFindSettingField("time_gmt");
    const auto& dummy = *TKFindSettingField("dummy00");
    EXPECT_FALSE(TKSetFieldElement(record, *TKFindSettingField("cfg_ver"), 0, 65536));
    EXPECT_FALSE(TKSetFieldElement(record, gmt, 0, int64_t(1) << 31));
    EXPECT_FALSE(TKSetFieldElement(record, *TKFindSettingField("aud_enable"), 0, -1));
    EXPECT_FALSE(TKSetFieldElement(record, dummy, 4, 0)) << "past the array's end";
    EXPECT_EQ(image(record), factoryImage()) << "refused values change nothing";
    ASSERT_TRUE(TKSetFieldElement(record, dummy, 3, 0xFFFFFFFF));
    EXPECT_EQ(TKFieldElement(record, dummy, 3), 0xFFFFFFFF);
}
