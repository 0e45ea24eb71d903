// Drive log records written byte by byte: coded and clamped columns (the
// CSV export's test holds every cell of the shared logs), the map position
// of a row, and reading files whose header lies about them.

#include "logs/TMKDriveLog.h"
#include "TMKLogBytes.h"
#include "logs/TMKLogText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace {

constexpr std::size_t kFlash = 40;
constexpr std::size_t kObd = 68;

TMKDriveLog parse(const TMKLogBytes& bytes, TMKLogKind kind)
{
    return TMKParseDriveLog(bytes.bytes, kind).log;
}

} // namespace

TEST(DriveLogColumns, FlashDataAndObdCellsFollowEachRule)
{
    const TMKDriveLog log = parse(flashLog(), TMKLogKind::FlashData);
    ASSERT_EQ(log.count(), 2);
    ASSERT_EQ(log.columnCount(), 15);
    EXPECT_EQ(log.cellText(0, 15), "X");
    EXPECT_EQ(log.cellText(0, -1), "X");
    EXPECT_EQ(log.cellText(2, 1), "");

    // The battery keeps its width and one sign.
    const std::array<std::pair<int, const char*>, 7> cases{{
        {0, " 0.0"}, {53, " 5.3"}, {125, "12.5"}, {-5, "-0.5"}, {-53, "-5.3"}, {-125, "-12.5"}, {-32768, "-3276.8"},
    }};
    for (const auto& [tenths, text] : cases) {
        TMKLogBytes bytes = TMKLogBytes::withHeader(1);
        bytes.addRecord(kFlash, {{38, tenths, 2}});
        EXPECT_EQ(parse(bytes, TMKLogKind::FlashData).cellText(0, 14), text) << tenths;
    }

    const TMKDriveLog obd = parse(obdLog(), TMKLogKind::Obd);
    ASSERT_EQ(obd.count(), 2);
    ASSERT_EQ(obd.columnCount(), 26);
    EXPECT_EQ(obd.cellText(0, 26), "X");

    // Gear, side brake and ABT codes.
    const std::array<const char*, 6> gears{"-", "P", "R", "N", "D", "-"};
    for (unsigned code = 0; code < gears.size(); ++code) {
        TMKLogBytes bytes = TMKLogBytes::withHeader(1);
        bytes.addRecord(kObd, {{48, code, 2}, {50, code, 2}, {54, code == 5 ? 9999 : code * 1000, 2}});
        const TMKDriveLog coded = parse(bytes, TMKLogKind::Obd);
        EXPECT_EQ(coded.cellText(0, 19), gears[code]);
        EXPECT_EQ(coded.cellText(0, 20), code == 0 ? "OFF" : (code == 1 ? "ON" : "-"));
        EXPECT_EQ(coded.cellText(0, 22), code == 5 ? "-" : TMKFormatFixed(code * 10.0, 1));
    }
}

TEST(DriveLogText, FixedMatchesPrintfDegreesComeFromTheTextsAndReadsTellWhatIsMissing)
{
    char expected[64];
    // Every raw axis and battery value against printf, ties to even among them.
    for (int raw = -32768; raw <= 32767; ++raw) {
        std::snprintf(expected, sizeof expected, "%+.2f", raw / 256.0);
        ASSERT_EQ(TMKFormatFixed(raw / 256.0, 2, true), expected) << raw;
        std::snprintf(expected, sizeof expected, "%.1f", raw / 100.0);
        ASSERT_EQ(TMKFormatFixed(raw / 100.0, 1), expected) << raw;
    }
    for (std::uint64_t d = 0; d <= 0xFFFFFFFFull; d += 9973 * 7 + 1) {
        std::snprintf(expected, sizeof expected, "%.1f", static_cast<double>(d) / 1000.0);
        ASSERT_EQ(TMKFormatFixed(static_cast<double>(d) / 1000.0, 1), expected) << d;
    }
    EXPECT_EQ(TMKFormatInteger(-7, 4, true), "-007");
    EXPECT_EQ(TMKFormatInteger(65535, 4, true), "65535");
    EXPECT_EQ(TMKFormatInteger(7, 2), " 7");

    // Degrees from the column texts, without hemispheres.
    const TMKDriveLog flash = parse(flashLog(), TMKLogKind::FlashData);
    const auto first = flash.position(0);
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->latitude, 37 + 33.1234 / 60);
    EXPECT_DOUBLE_EQ(first->longitude, 127 + 2.5678 / 60);
    EXPECT_FALSE(flash.position(1)); // longitude 0
    EXPECT_FALSE(flash.position(2));
    EXPECT_FALSE(flash.position(-1));

    const TMKDriveLog obd = parse(obdLog(), TMKLogKind::Obd);
    const auto place = obd.position(0);
    ASSERT_TRUE(place);
    EXPECT_NEAR(place->latitude, 48 + 7.0482 / 60, 1e-12);
    EXPECT_NEAR(place->longitude, 11 + 31.002 / 60, 1e-12);
    EXPECT_FALSE(obd.position(1));

    // No hemisphere is stored, so both are positive; zeroes do not move.
    // The largest fields the record can hold still give positive degrees;
    // then latitude 0, and 0000.0001: a latitude, though a small one.
    TMKLogBytes bytes = TMKLogBytes::withHeader(3);
    bytes.addRecord(kFlash, {{10, 65535, 2}, {12, 65535, 2}, {14, 65535, 2}, {16, 65535, 2}});
    bytes.addRecord(kFlash, {{14, 12702, 2}});
    bytes.addRecord(kFlash, {{12, 1, 2}, {16, 1, 2}});
    const TMKDriveLog log = parse(bytes, TMKLogKind::FlashData);
    const auto big = log.position(0);
    ASSERT_TRUE(big);
    EXPECT_GT(big->longitude, 0);
    EXPECT_EQ(log.cellText(0, 5), "65535.65535");
    EXPECT_DOUBLE_EQ(big->latitude, 655 + 35.65535 / 60);
    EXPECT_FALSE(log.position(1));
    const auto tiny = log.position(2);
    ASSERT_TRUE(tiny);
    EXPECT_DOUBLE_EQ(tiny->latitude, 0.0001 / 60);

    // Headers that lie about their records, read from a file and from memory:
    // only the whole records that are there, and what is missing told.
    using S = TMKLogReadStatus;
    struct Case {
        std::size_t header;  // bytes kept of the header: below 12 cuts it
        std::uint32_t count;
        std::size_t records;
        std::size_t extra;   // bytes after the records: a record cut short or not announced
        S status;
        const char* problem;
    };
    const std::array<Case, 11> cases{{
        {0, 0, 0, 0, S::HeaderCut, "truncated: the file is shorter than its 12-byte header"},
        {7, 1, 0, 0, S::HeaderCut, "truncated: the file is shorter than its 12-byte header"},
        {12, 0, 0, 0, S::Complete, ""}, // the eight bytes after the count are not part of it
        {12, 1, 1, 0, S::Complete, ""},
        {12, 1, 2, 0, S::Complete, ""}, // a record not announced, ignored
        {12, 3, 2, 17, S::Truncated, "truncated: 2 of 3 records are complete"},
        {12, 0x06666667u, 3, 0, S::Truncated, "truncated: 3 of 107374183 records are complete"}, // * 40 = 2^32 + 24
        {12, 0x80000000u, 2, 5, S::Truncated, "truncated: 2 of 2147483648 records are complete"},
        {12, 0xFFFFFFFFu, 1, 39, S::Truncated, "truncated: 1 of 4294967295 records are complete"},
        {12, 10, 0, 0, S::Truncated, "truncated: 0 of 10 records are complete"},
        {12, 0, 0, 3, S::Complete, ""},
    }};
    const std::string path = (std::filesystem::temp_directory_path() / ("tamek-logs-read-" + std::to_string(::getpid()))).string();
    for (const Case& c : cases) {
        for (const TMKLogKind kind : {TMKLogKind::FlashData, TMKLogKind::Obd}) {
            const std::size_t size = TMKLogFormatOf(kind).recordSize;
            TMKLogBytes announced = TMKLogBytes::withHeader(c.count, 0xFF);
            for (std::size_t i = 0; i < c.records; ++i)
                announced.put(announced.addRecord(size), i + 1, 2);
            announced.bytes.resize(c.header < kTMKLogHeaderSize ? c.header : announced.bytes.size() + c.extra, 0xAB);
            announced.save(path);
            const std::size_t shown = std::min<std::size_t>(c.records, c.count);
            const std::string name = std::to_string(c.count) + " announced, " + std::to_string(c.records) + " there";
            for (const TMKLogReadResult& result : {TMKReadDriveLog(path, kind), TMKParseDriveLog(announced.bytes, kind)}) {
                EXPECT_EQ(result.status, c.status) << name;
                EXPECT_EQ(result.announced, c.header < kTMKLogHeaderSize ? 0 : c.count) << name;
                EXPECT_EQ(TMKLogReadProblem(result), c.problem) << name;
                EXPECT_EQ(result.trailingBytes, c.records > c.count || (c.extra > 0 && c.status == S::Complete)) << name;
                ASSERT_EQ(result.log.count(), static_cast<std::int64_t>(shown)) << name;
                EXPECT_EQ(result.records, result.log.count()) << name;
                for (std::size_t i = 0; i < shown; ++i)
                    EXPECT_EQ(result.log.cellText(static_cast<std::int64_t>(i), 1), std::to_string(i + 1)) << name;
            }
        }
    }
    std::remove(path.c_str());

    EXPECT_EQ(TMKLogKindForPath("/card/obd/tamek_000.obd"), TMKLogKind::Obd);
    EXPECT_EQ(TMKLogKindForPath("DRIVE.DRV"), TMKLogKind::FlashData);
    EXPECT_FALSE(TMKLogKindForPath("/card/obd.d/log"));
    EXPECT_FALSE(TMKLogKindForPath("tamek.csv"));
}
