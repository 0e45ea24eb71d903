// The CSV export: exact text, the same under a locale with a decimal comma,
// fields that would break a row, and files that cannot be written.

#include "TMKFileText.h"
#include "TMKLogBytes.h"
#include "logs/TMKLogCsv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace {

TMKDriveLog sampleFlash()
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(2);
    bytes.addRecord(40, {{0, 1, 2}, {2, 1, 1}, {3, 1, 1}, {4, 125, 1}, {5, 6, 1}, {6, 2, 1}, {7, 14, 1}, {8, 30, 1},
                         {10, 3733, 2}, {12, 1234, 2}, {14, 12702, 2}, {16, 5678, 2}, {18, 55, 2}, {20, 12345, 4},
                         {28, 80, 2}, {32, 32, 2}, {34, -96, 2}, {36, 256, 2}, {38, 125, 2}});
    bytes.addRecord(40, {{0, 2, 2}, {2, 9, 1}, {38, -5, 2}});
    return TMKParseDriveLog(bytes.bytes, TMKLogKind::FlashData).log;
}

const char* const kFlashCsv =
    "No.,Seq.,Date,Time,Day,Latitude,Longitude,Distance (km),Speed,Max. Speed,GPS,X,Y,Z,Battery (V)\n"
    "1,1,2025/06/02,14:30:00,MON,3733.1234,12702.5678,1234.5,55,80,A,+0.12,-0.38,+1.00,12.5\n"
    "2,2,1900/00/00,00:00:00,-,0000.0000,00000.0000,0.0,0,0,V,+0.00,+0.00,+0.00,-0.5\n";

TMKDriveLog sampleObd()
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(1);
    bytes.addRecord(68, {{0, 3000000000u, 4}, {5, 126, 1}, {6, 1, 1}, {7, 9, 1}, {8, 7, 1}, {9, 8, 1}, {10, 9, 1},
                         {11, 5, 1}, {12, 4807, 2}, {14, 482, 2}, {16, 1131, 2}, {18, 20, 2}, {20, 50, 2}, {24, 48, 2},
                         {26, 1800, 2}, {28, 250, 4}, {32, 12650, 2}, {34, 12, 2}, {38, 1, 2}, {40, -1, 2},
                         {42, 15, 2}, {44, 1, 2}, {48, 1, 2}, {50, 1, 2}, {52, 31, 2}, {54, 9999, 2}, {60, -256, 2},
                         {62, 1, 2}, {64, 255, 2}});
    return TMKParseDriveLog(bytes.bytes, TMKLogKind::Obd).log;
}

const char* const kObdCsv =
    "No.,Seq.,Date,Time,Day,Latitude,Longitude,Speed,GPS Speed,RPM,Distance (km),Battery (V),Accel.,Foot Brake,"
    "Right Lamp,Left Lamp,Steering,Seat Belt,Fuel Level,Gear,Side Brake,Throttle,ABT,X,Y,Z\n"
    "1,3000000000,2026/01/09,07:08:09,FRI,4807.0482,01131.0020,48,50,1800,0.2,12.7,12,OFF,ON,-,15,ON,-,P,ON,31,-,"
    "-1.00,+0.00,+1.00\n";

// Switches the C library to German numbers for one test.
class GermanNumbers {
public:
    GermanNumbers()
    {
        m_old = std::setlocale(LC_ALL, nullptr);
        m_active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~GermanNumbers() { std::setlocale(LC_ALL, m_old.c_str()); }
    [[nodiscard]] bool active() const { return m_active; }

private:
    std::string m_old;
    bool m_active = false;
};

} // namespace

TEST(LogCsv, ExactTextQuotedFieldsAndWholeExportsOrNothing)
{
    EXPECT_EQ(TMKCsvText(sampleFlash(), TMKLogColumnTitles(TMKLogKind::FlashData)), kFlashCsv);
    EXPECT_EQ(TMKCsvText(sampleObd(), TMKLogColumnTitles(TMKLogKind::Obd)), kObdCsv);
    // An empty log is a header line only.
    const std::string obd = kObdCsv;
    EXPECT_EQ(TMKCsvText(TMKDriveLog(TMKLogKind::Obd), TMKLogColumnTitles(TMKLogKind::Obd)), obd.substr(0, obd.find('\n') + 1));

    // Fields that would break the row are quoted.
    EXPECT_EQ(TMKCsvField("12.5"), "12.5");
    EXPECT_EQ(TMKCsvField(" 5.3"), " 5.3");
    EXPECT_EQ(TMKCsvField("Distance, km"), "\"Distance, km\"");
    EXPECT_EQ(TMKCsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(TMKCsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(TMKCsvField("cr\r"), "\"cr\r\"");

    std::vector<std::string> renamed = TMKLogColumnTitles(TMKLogKind::FlashData);
    renamed[7] = "Strecke, km";
    renamed[14] = "Batterie \"V\"\nneu";
    const std::string quoted = TMKCsvText(sampleFlash(), renamed);
    EXPECT_EQ(quoted.substr(0, quoted.find('\n', quoted.find("neu"))),
              "No.,Seq.,Date,Time,Day,Latitude,Longitude,\"Strecke, km\",Speed,Max. Speed,GPS,X,Y,Z,"
              "\"Batterie \"\"V\"\"\nneu\"");
    EXPECT_EQ(quoted.substr(quoted.find("neu") + 5), std::string(kFlashCsv).substr(std::string(kFlashCsv).find('\n') + 1));

    // The export writes the whole text or nothing.
    const std::string path = (std::filesystem::temp_directory_path() / ("tamek-csv-" + std::to_string(::getpid()) + ".csv")).string();
    const std::vector<std::string> titles = TMKLogColumnTitles(TMKLogKind::FlashData);
    ASSERT_FALSE(TMKExportCsv(path, sampleFlash(), titles));
    EXPECT_EQ(TMKFileText(path), kFlashCsv);

    // A full disk in the middle: the old export stays, nothing is left beside it.
    TKFileCalls full = TKFileCalls::system();
    int writes = 0;
    full.write = [&writes](int fd, const void* data, std::size_t size) -> ssize_t {
        if (++writes > 1) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, data, size < 10 ? size : 10);
    };
    const auto failure = TMKExportCsv(path, sampleObd(), TMKLogColumnTitles(TMKLogKind::Obd), full);
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("No space left"), std::string::npos) << *failure;
    EXPECT_EQ(TMKFileText(path), kFlashCsv);
    const auto dir = std::filesystem::path(path).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("." + std::filesystem::path(path).filename().string()));

    EXPECT_TRUE(TMKExportCsv("/nonexistent-folder/x.csv", sampleFlash(), titles));
    EXPECT_TRUE(TMKExportCsv("/proc/tamek.csv", sampleFlash(), titles));

    // A large log goes out as it is made: no piece handed to the writer is
    // near the whole text, which is never held at once.
    TMKLogBytes bytes = TMKLogBytes::withHeader(5000);
    for (int i = 0; i < 5000; ++i)
        bytes.addRecord(TMKLogFormatOf(TMKLogKind::Obd).recordSize);
    const TMKDriveLog large = TMKParseDriveLog(bytes.bytes, TMKLogKind::Obd).log;
    TKFileCalls counted = TKFileCalls::system();
    std::size_t largest = 0;
    counted.write = [&largest](int fd, const void* data, std::size_t size) {
        largest = std::max(largest, size);
        return ::write(fd, data, size);
    };
    ASSERT_FALSE(TMKExportCsv(path, large, TMKLogColumnTitles(TMKLogKind::Obd), counted));
    const std::string text = TMKFileText(path);
    EXPECT_EQ(text, TMKCsvText(large, TMKLogColumnTitles(TMKLogKind::Obd)));
    EXPECT_GT(text.size(), 3 * largest);
    EXPECT_LT(largest, 100'000u);
    std::remove(path.c_str());

    // A decimal comma locale changes nothing.
    GermanNumbers german;
    ASSERT_TRUE(german.active()) << "the test's de_DE.UTF-8 locale is missing (LOCPATH)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5"); // the locale is really in force
    EXPECT_EQ(TMKCsvText(sampleFlash(), TMKLogColumnTitles(TMKLogKind::FlashData)), kFlashCsv);
    EXPECT_EQ(TMKCsvText(sampleObd(), TMKLogColumnTitles(TMKLogKind::Obd)), kObdCsv);
}
