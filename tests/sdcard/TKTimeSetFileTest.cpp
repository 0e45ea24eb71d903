#include "TMKFileText.h"
#include "sdcard/TKTimeSetFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class TimeSetFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("tamek-timeset-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    // A read-only file in a writable folder still goes.
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST(TimeSetText, NineteenAsciiBytes)
{
    EXPECT_EQ(TKTimeSetText({2024, 2, 29, 7, 5, 9}), "2024/02/29 07:05:09");
    EXPECT_EQ(TKTimeSetText({2023, 12, 31, 23, 59, 59}), "2023/12/31 23:59:59");
    EXPECT_EQ(TKTimeSetText({2025, 1, 1, 13, 0, 0}), "2025/01/01 13:00:00");
    EXPECT_EQ(TKTimeSetText({99, 1, 1, 0, 0, 0}), "0099/01/01 00:00:00");
    for (const TKTimeSetValue bad : {TKTimeSetValue{10000, 1, 1, 0, 0, 0}, TKTimeSetValue{2024, 13, 1, 0, 0, 0},
             TKTimeSetValue{2024, 1, 0, 0, 0, 0}, TKTimeSetValue{2024, 1, 1, 24, 0, 0},
             TKTimeSetValue{2024, 1, 1, 0, 60, 0}, TKTimeSetValue{2024, 1, 1, 0, 0, -1}})
        EXPECT_EQ(TKTimeSetText(bad), std::nullopt);
}

// The whole file is replaced and no other file is left beside it; one the user
// made read-only is kept (even root leaves it).
TEST_F(TimeSetFile, ReplacesTheWholeFileUnlessReadOnly)
{
    const fs::path file = dir / "timeset.cfg";
    std::ofstream(file) << "an older and much longer time file\n";
    EXPECT_EQ(TKWriteTimeSetFile(file.string(), {2024, 2, 29, 7, 5, 9}), std::nullopt);
    EXPECT_EQ(TMKFileText(file), "2024/02/29 07:05:09");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    ::chmod(file.c_str(), 0444);
    const auto error = TKWriteTimeSetFile(file.string(), {2025, 1, 1, 0, 0, 0});
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("read-only"), std::string::npos) << *error;
    EXPECT_EQ(TMKFileText(file), "2024/02/29 07:05:09");
}
