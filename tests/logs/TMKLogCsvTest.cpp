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
    return TMKParseDriveLog(flashLog().bytes, TMKLogKind::FlashData).log;
}

TMKDriveLog sampleObd()
{
    return TMKParseDriveLog(obdLog().bytes, TMKLogKind::Obd).log;
}

// Every column's display rule, the logs' second rows out of range.
const char* const kFlashCsv =
    "No.,Seq.,Date,Time,Day,Latitude,Longitude,Distance (km),Speed,Max. Speed,GPS,X,Y,Z,Battery (V)\n"
    "1,513,2026/03/07,09:05:03,WED,3733.1234,12702.5678,1234.5,87,112,A,-1.00,+0.25,+0.00,12.5\n"
    "2,0,1900/00/00,00:00:00,-,3733.0000,00000.0000,0.0,0,0,V,+0.00,+0.00,+0.00,-12.5\n";

const char* const kObdCsv =
    "No.,Seq.,Date,Time,Day,Latitude,Longitude,Speed,GPS Speed,RPM,Distance (km),Battery (V),Accel.,Foot Brake,"
    "Right Lamp,Left Lamp,Steering,Seat Belt,Fuel Level,Gear,Side Brake,Throttle,ABT,X,Y,Z\n"
    "1,4294967280,2024/12/31,23:59:58,SAT,4807.0482,01131.0020,60,61,2100,12.3,12.6,17,-,OFF,ON,-90,ON,40,D,-,33,"
    "25.5,+0.01,-0.01,+0.12\n"
    "2,0,1900/00/00,00:00:00,SUN,0000.0000,00000.0000,-,-,-,-,-,-,OFF,OFF,OFF,-,OFF,-,-,OFF,0,-0.0,+0.00,+0.00,+0.00\n";

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

    // Fields that would break the row are quoted, titles too.
    EXPECT_EQ(TMKCsvField(" 5.3"), " 5.3");
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
