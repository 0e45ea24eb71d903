// The CSV export: exact text line by line, the same under a locale with a
// decimal comma, fields that would break a row, a round trip through a CSV
// reader, and files that cannot be written.

#include "TMKFileText.h"
#include "TMKLogBytes.h"
#include "logs/TMKLogCsv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

// An RFC 4180 reader, written apart from the writer.
std::vector<std::vector<std::string>> readCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

TMKDriveLog sampleFlash()
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(2);
    std::size_t r = bytes.addRecord(40);
    bytes.put(r + 0, 1, 2);
    bytes.put(r + 2, 1, 1);
    bytes.put(r + 3, 1, 1);
    bytes.put(r + 4, 125, 1);
    bytes.put(r + 5, 6, 1);
    bytes.put(r + 6, 2, 1);
    bytes.put(r + 7, 14, 1);
    bytes.put(r + 8, 30, 1);
    bytes.put(r + 9, 0, 1);
    bytes.put(r + 10, 3733, 2);
    bytes.put(r + 12, 1234, 2);
    bytes.put(r + 14, 12702, 2);
    bytes.put(r + 16, 5678, 2);
    bytes.put(r + 18, 55, 2);
    bytes.put(r + 20, 12345, 4);
    bytes.put(r + 28, 80, 2);
    bytes.putSigned(r + 32, 32, 2);
    bytes.putSigned(r + 34, -96, 2);
    bytes.putSigned(r + 36, 256, 2);
    bytes.putSigned(r + 38, 125, 2);
    r = bytes.addRecord(40);
    bytes.put(r + 0, 2, 2);
    bytes.put(r + 2, 9, 1);
    bytes.putSigned(r + 38, -5, 2);
    return TMKParseDriveLog(bytes.bytes, TMKLogKind::FlashData).log;
}

const char* const kFlashCsv =
    "No.,Seq.,Date,Time,Day,Latitude,Longitude,Distance (km),Speed,Max. Speed,GPS,X,Y,Z,Battery (V)\n"
    "1,1,2025/06/02,14:30:00,MON,3733.1234,12702.5678,1234.5,55,80,A,+0.12,-0.38,+1.00,12.5\n"
    "2,2,1900/00/00,00:00:00,-,0000.0000,00000.0000,0.0,0,0,V,+0.00,+0.00,+0.00,-0.5\n";

TMKDriveLog sampleObd()
{
    TMKLogBytes bytes = TMKLogBytes::withHeader(1);
    const std::size_t r = bytes.addRecord(68);
    bytes.put(r + 0, 3000000000u, 4);
    bytes.put(r + 5, 126, 1);
    bytes.put(r + 6, 1, 1);
    bytes.put(r + 7, 9, 1);
    bytes.put(r + 8, 7, 1);
    bytes.put(r + 9, 8, 1);
    bytes.put(r + 10, 9, 1);
    bytes.put(r + 11, 5, 1);
    bytes.put(r + 12, 4807, 2);
    bytes.put(r + 14, 482, 2);
    bytes.put(r + 16, 1131, 2);
    bytes.put(r + 18, 20, 2);
    bytes.putSigned(r + 20, 50, 2);
    bytes.putSigned(r + 24, 48, 2);
    bytes.putSigned(r + 26, 1800, 2);
    bytes.putSigned(r + 28, 250, 4);
    bytes.putSigned(r + 32, 12650, 2);
    bytes.putSigned(r + 34, 12, 2);
    bytes.putSigned(r + 36, 0, 2);
    bytes.putSigned(r + 38, 1, 2);
    bytes.putSigned(r + 40, -1, 2);
    bytes.putSigned(r + 42, 15, 2);
    bytes.putSigned(r + 44, 1, 2);
    bytes.putSigned(r + 46, 0, 2);
    bytes.put(r + 48, 1, 2);
    bytes.put(r + 50, 1, 2);
    bytes.putSigned(r + 52, 31, 2);
    bytes.put(r + 54, 9999, 2);
    bytes.putSigned(r + 60, -256, 2);
    bytes.putSigned(r + 62, 1, 2);
    bytes.putSigned(r + 64, 255, 2);
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

std::string tempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("tamek-csv-" + std::to_string(::getpid()) + "-" + name)).string();
}

} // namespace

TEST(LogCsv, ExactTextLineByLine)
{
    const std::vector<std::string> flash = lines(TMKCsvText(sampleFlash(), TMKLogColumnTitles(TMKLogKind::FlashData)));
    const std::vector<std::string> flashExpected = lines(kFlashCsv);
    ASSERT_EQ(flash.size(), flashExpected.size());
    for (std::size_t i = 0; i < flash.size(); ++i)
        EXPECT_EQ(flash[i], flashExpected[i]) << "line " << i;
    EXPECT_EQ(TMKCsvText(sampleObd(), TMKLogColumnTitles(TMKLogKind::Obd)), kObdCsv);
    // An empty log is a header line only.
    EXPECT_EQ(lines(TMKCsvText(TMKDriveLog(TMKLogKind::Obd), {})).size(), 1u);
}

TEST(LogCsv, DecimalCommaLocaleChangesNothing)
{
    GermanNumbers german;
    ASSERT_TRUE(german.active()) << "the test's de_DE.UTF-8 locale is missing (LOCPATH)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5"); // the locale is really in force
    EXPECT_EQ(TMKCsvText(sampleFlash(), TMKLogColumnTitles(TMKLogKind::FlashData)), kFlashCsv);
    EXPECT_EQ(TMKCsvText(sampleObd(), TMKLogColumnTitles(TMKLogKind::Obd)), kObdCsv);
}

TEST(LogCsv, FieldsThatWouldBreakTheRowAreQuoted)
{
    EXPECT_EQ(TMKCsvField("12.5"), "12.5");
    EXPECT_EQ(TMKCsvField(" 5.3"), " 5.3");
    EXPECT_EQ(TMKCsvField("Distance, km"), "\"Distance, km\"");
    EXPECT_EQ(TMKCsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(TMKCsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(TMKCsvField("cr\r"), "\"cr\r\"");

    std::vector<std::string> titles = TMKLogColumnTitles(TMKLogKind::FlashData);
    titles[7] = "Strecke, km";
    titles[14] = "Batterie \"V\"\nneu";
    const std::string text = TMKCsvText(sampleFlash(), titles);
    EXPECT_EQ(text.substr(0, text.find('\n', text.find("neu"))),
              "No.,Seq.,Date,Time,Day,Latitude,Longitude,\"Strecke, km\",Speed,Max. Speed,GPS,X,Y,Z,"
              "\"Batterie \"\"V\"\"\nneu\"");
    const auto rows = readCsv(text);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows)
        EXPECT_EQ(row.size(), 15u);
    EXPECT_EQ(rows[0][7], "Strecke, km");
    EXPECT_EQ(rows[0][14], "Batterie \"V\"\nneu");
}

TEST(LogCsv, RoundTripKeepsTheColumns)
{
    for (const TMKDriveLog& log : {sampleFlash(), sampleObd()}) {
        const auto rows = readCsv(TMKCsvText(log, TMKLogColumnTitles(log.kind())));
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(log.count() + 1));
        EXPECT_EQ(rows[0], TMKLogColumnTitles(log.kind()));
        for (std::int64_t row = 0; row < log.count(); ++row) {
            ASSERT_EQ(rows[static_cast<std::size_t>(row + 1)].size(), static_cast<std::size_t>(log.columnCount()));
            for (int c = 0; c < log.columnCount(); ++c)
                EXPECT_EQ(rows[static_cast<std::size_t>(row + 1)][static_cast<std::size_t>(c)], log.cellText(row, c));
        }
    }
}

TEST(LogCsvExport, WritesTheWholeTextOrNothing)
{
    const std::string path = tempPath("out.csv");
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
}
