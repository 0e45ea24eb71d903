#include "logs/TMKDriveLog.h"

#include "logs/TMKLogText.h"
#include "media/TMKGpsData.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<TMKLogColumn, 15> kFlashColumns{{
    {"setting.flashdata.index", "No.", 38},
    {"setting.flashdata.seq", "Seq.", 38},
    {"setting.flashdata.date", "Date", 86},
    {"setting.flashdata.time", "Time", 72},
    {"setting.flashdata.yoil", "Day", 70},
    {"setting.flashdata.lat", "Latitude", 64},
    {"setting.flashdata.lon", "Longitude", 72},
    {"setting.flashdata.driving_distance", "Distance (km)", 60},
    {"setting.flashdata.cur_speed", "Speed", 60},
    {"setting.flashdata.max_speed", "Max. Speed", 60},
    {"setting.flashdata.value", "GPS", 48},
    {"X", "X", 48},
    {"Y", "Y", 48},
    {"Z", "Z", 48},
    {"setting.flashdata.battery", "Battery (V)", 60},
}};

constexpr std::array<TMKLogColumn, 26> kObdColumns{{
    {"setting.obdata.index", "No.", 38},
    {"setting.obdata.seq", "Seq.", 38},
    {"setting.obdata.date", "Date", 86},
    {"setting.obdata.time", "Time", 72},
    {"setting.obdata.yoil", "Day", 70},
    {"setting.obdata.lat", "Latitude", 64},
    {"setting.obdata.lon", "Longitude", 72},
    {"setting.obdata.cur_speed", "Speed", 60},
    {"setting.obdata.gps_speed", "GPS Speed", 60},
    {"setting.obdata.rpm", "RPM", 60},
    {"setting.obdata.driving_distance", "Distance (km)", 68},
    {"setting.obdata.battery", "Battery (V)", 60},
    {"setting.obdata.acp", "Accel.", 50},
    {"setting.obdata.fbk", "Foot Brake", 66},
    {"setting.obdata.rll", "Right Lamp", 66},
    {"setting.obdata.lll", "Left Lamp", 66},
    {"setting.obdata.swa", "Steering", 66},
    {"setting.obdata.sbt", "Seat Belt", 70},
    {"setting.obdata.gel", "Fuel Level", 70},
    {"setting.obdata.gep", "Gear", 70},
    {"setting.obdata.sbk", "Side Brake", 70},
    {"setting.obdata.tpa", "Throttle", 70},
    {"setting.obdata.abt", "ABT", 60},
    {"X", "X", 60},
    {"Y", "Y", 60},
    {"Z", "Z", 60},
}};

constexpr TMKLogFormat kFlashFormat{TMKLogKind::FlashData, 40, kFlashColumns, "drv", "tamek_000"};
constexpr TMKLogFormat kObdFormat{TMKLogKind::Obd, 68, kObdColumns, "obd", "tamek_obd"};

constexpr std::array<const char*, 7> kDayNames{"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

unsigned u8(std::span<const unsigned char> r, std::size_t at)
{
    return r[at];
}

unsigned u16(std::span<const unsigned char> r, std::size_t at)
{
    return static_cast<unsigned>(r[at]) | static_cast<unsigned>(r[at + 1]) << 8;
}

int s16(std::span<const unsigned char> r, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(u16(r, at)));
}

std::uint32_t u32(std::span<const unsigned char> r, std::size_t at)
{
    return static_cast<std::uint32_t>(u16(r, at)) | static_cast<std::uint32_t>(u16(r, at + 2)) << 16;
}

std::int32_t s32(std::span<const unsigned char> r, std::size_t at)
{
    return static_cast<std::int32_t>(u32(r, at));
}

std::string dateText(unsigned yearSince1900, unsigned month, unsigned day)
{
    return TMKFormatInteger(yearSince1900 + 1900, 4) + '/' + TMKFormatInteger(month, 2, true) + '/'
        + TMKFormatInteger(day, 2, true);
}

std::string timeText(unsigned hour, unsigned minute, unsigned second)
{
    return TMKFormatInteger(hour, 2, true) + ':' + TMKFormatInteger(minute, 2, true) + ':'
        + TMKFormatInteger(second, 2, true);
}

std::string dayText(unsigned day)
{
    return day < kDayNames.size() ? kDayNames[day] : "-";
}

// "%04d.%04d" for latitudes, "%05d.%04d" for longitudes: degrees and whole
// minutes, then the fraction of a minute in 1/10000.
std::string coordinateText(unsigned wholeMinutes, unsigned fraction, int width)
{
    return TMKFormatInteger(wholeMinutes, width, true) + '.' + TMKFormatInteger(fraction, 4, true);
}

// The map takes the coordinate as its column shows it, read back as a
// decimal number, so map and table always agree.
double coordinateDegrees(const std::string& text)
{
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    return ec == std::errc() ? TKNmeaToDegrees(value) : 0;
}

std::string gText(int value)
{
    return TMKFormatFixed(value / 256.0, 2, true);
}

// The flash log's tenths of a volt: "%2d" of the volts, a dot, the tenth.
// A negative reading keeps one sign in front ("-0.5", "-12.5").
std::string flashBatteryText(int tenths)
{
    const int magnitude = tenths < 0 ? -tenths : tenths;
    std::string whole = std::to_string(magnitude / 10);
    if (tenths < 0)
        whole.insert(whole.begin(), '-');
    if (whole.size() < 2)
        whole.insert(whole.begin(), ' ');
    return whole + '.' + std::to_string(magnitude % 10);
}

std::string numberText(int value)
{
    return value < 0 ? "-" : TMKFormatInteger(value);
}

std::string stateText(int value)
{
    if (value < 0)
        return "-";
    return value == 0 ? "OFF" : "ON";
}

std::string flashCell(std::span<const unsigned char> r, int column)
{
    switch (column) {
    case 1: return TMKFormatInteger(u16(r, 0));
    case 2: return dateText(u8(r, 4), u8(r, 5), u8(r, 6));
    case 3: return timeText(u8(r, 7), u8(r, 8), u8(r, 9));
    case 4: return dayText(u8(r, 2));
    case 5: return coordinateText(u16(r, 10), u16(r, 12), 4);
    case 6: return coordinateText(u16(r, 14), u16(r, 16), 5);
    case 7: return TMKFormatFixed(u32(r, 20) / 10.0, 1);
    case 8: return TMKFormatInteger(u16(r, 18));
    case 9: return TMKFormatInteger(u16(r, 28));
    case 10: return u8(r, 3) == 1 ? "A" : "V";
    case 11: return gText(s16(r, 32));
    case 12: return gText(s16(r, 34));
    case 13: return gText(s16(r, 36));
    case 14: return flashBatteryText(s16(r, 38));
    default: return "X";
    }
}

std::string obdCell(std::span<const unsigned char> r, int column)
{
    switch (column) {
    // Unsigned in the record: a signed format would print large numbers negative.
    case 1: return TMKFormatInteger(u32(r, 0));
    case 2: return dateText(u8(r, 5), u8(r, 6), u8(r, 7));
    case 3: return timeText(u8(r, 8), u8(r, 9), u8(r, 10));
    case 4: return dayText(u8(r, 11));
    case 5: return coordinateText(u16(r, 12), u16(r, 14), 4);
    case 6: return coordinateText(u16(r, 16), u16(r, 18), 5);
    case 7: return numberText(s16(r, 24));
    case 8: return numberText(s16(r, 20));
    case 9: return numberText(s16(r, 26));
    case 10: {
        const std::int32_t distance = s32(r, 28);
        return distance < 0 ? "-" : TMKFormatFixed(distance / 1000.0, 1);
    }
    case 11: {
        const int millivolts = s16(r, 32);
        return millivolts < 0 ? "-" : TMKFormatFixed(millivolts / 1000.0, 1);
    }
    case 12: return numberText(s16(r, 34));
    case 13: return stateText(s16(r, 36));
    case 14: return stateText(s16(r, 38));
    case 15: return stateText(s16(r, 40));
    case 16: {
        const int swa = s16(r, 42);
        return swa == 9999 ? "-" : TMKFormatInteger(swa);
    }
    case 17: return stateText(s16(r, 44));
    case 18: {
        const int gel = s16(r, 46);
        return gel <= 0 ? "-" : TMKFormatInteger(gel);
    }
    case 19: {
        static constexpr std::array<const char*, 4> kGears{"P", "R", "N", "D"};
        const unsigned gear = u16(r, 48);
        return gear >= 1 && gear <= kGears.size() ? kGears[gear - 1] : "-";
    }
    case 20: {
        const unsigned sbk = u16(r, 50);
        return sbk == 0 ? "OFF" : (sbk == 1 ? "ON" : "-");
    }
    case 21: return numberText(s16(r, 52));
    case 22: return u16(r, 54) == 9999 ? "-" : TMKFormatFixed(s16(r, 54) / 100.0, 1);
    case 23: return gText(s16(r, 60));
    case 24: return gText(s16(r, 62));
    case 25: return gText(s16(r, 64));
    default: return "X";
    }
}

// Whole records of the log in one read: a few dozen KiB whatever the log.
constexpr std::size_t kBufferRecords = 1024;

// What the header and the input's size tell before a record is read; the
// size bounds the records that are believed, never the count alone.
std::int64_t settle(TMKLogReadSummary& summary, std::uint64_t bodySize, std::size_t recordSize)
{
    const std::uint64_t expected = std::min<std::uint64_t>(summary.announced, bodySize / recordSize);
    summary.status = expected == summary.announced ? TMKLogReadStatus::Complete : TMKLogReadStatus::Truncated;
    summary.trailingBytes = bodySize > std::uint64_t{summary.announced} * recordSize;
    return static_cast<std::int64_t>(expected);
}

// read() until the buffer is full, the end of the input or an error.
ssize_t readFully(int fd, unsigned char* into, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, into + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

} // namespace

const TMKLogFormat& TMKLogFormatOf(TMKLogKind kind)
{
    return kind == TMKLogKind::Obd ? kObdFormat : kFlashFormat;
}

std::optional<TMKLogKind> TMKLogKindForPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == kFlashFormat.fileType)
        return TMKLogKind::FlashData;
    if (extension == kObdFormat.fileType)
        return TMKLogKind::Obd;
    return std::nullopt;
}

std::vector<std::string> TMKLogColumnTitles(TMKLogKind kind)
{
    std::vector<std::string> titles;
    for (const TMKLogColumn& column : TMKLogFormatOf(kind).columns)
        titles.emplace_back(column.title);
    return titles;
}

TMKDriveLog::TMKDriveLog(TMKLogKind kind, std::vector<unsigned char> records)
    : m_kind(kind), m_records(std::move(records))
{
    const std::size_t size = format().recordSize;
    m_records.resize(m_records.size() / size * size);
    m_count = static_cast<std::int64_t>(m_records.size() / size);
}

std::span<const unsigned char> TMKDriveLog::record(std::int64_t row) const
{
    if (row < 0 || row >= m_count)
        return {};
    const std::size_t size = format().recordSize;
    return std::span<const unsigned char>(m_records).subspan(static_cast<std::size_t>(row) * size, size);
}

std::string TMKLogCellText(TMKLogKind kind, std::span<const unsigned char> record, std::int64_t row, int column)
{
    const TMKLogFormat& format = TMKLogFormatOf(kind);
    if (column < 0 || static_cast<std::size_t>(column) >= format.columns.size())
        return "X";
    if (record.size() != format.recordSize)
        return {};
    if (column == 0)
        return TMKFormatInteger(row + 1);
    return kind == TMKLogKind::Obd ? obdCell(record, column) : flashCell(record, column);
}

std::string TMKDriveLog::cellText(std::int64_t row, int column) const
{
    return TMKLogCellText(m_kind, record(row), row, column);
}

std::optional<TMKLogPosition> TMKDriveLog::position(std::int64_t row) const
{
    if (record(row).empty())
        return std::nullopt;
    const double latitude = coordinateDegrees(cellText(row, 5));
    const double longitude = coordinateDegrees(cellText(row, 6));
    if (latitude == 0 || longitude == 0)
        return std::nullopt;
    return TMKLogPosition{latitude, longitude};
}

TMKDriveLogReader::TMKDriveLogReader(std::span<const unsigned char> bytes, TMKLogKind kind)
    : m_kind(kind), m_recordSize(TMKLogFormatOf(kind).recordSize)
{
    if (bytes.size() < kTMKLogHeaderSize) {
        m_summary.status = TMKLogReadStatus::HeaderCut;
        return;
    }
    m_summary.announced = u32(bytes, 0);
    const std::span<const unsigned char> body = bytes.subspan(kTMKLogHeaderSize);
    m_expected = settle(m_summary, body.size(), m_recordSize);
    m_memory = body.first(static_cast<std::size_t>(m_expected) * m_recordSize);
}

TMKDriveLogReader::TMKDriveLogReader(const std::string& path, TMKLogKind kind)
    : m_kind(kind), m_recordSize(TMKLogFormatOf(kind).recordSize)
{
    const auto fail = [this](TMKLogReadStatus status, std::string error) {
        m_summary.status = status;
        m_summary.error = std::move(error);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    };
    // Without O_NONBLOCK, opening a FIFO waits until someone opens it for writing.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        fail(TMKLogReadStatus::OpenFailed, std::strerror(errno));
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        fail(TMKLogReadStatus::OpenFailed, S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
        return;
    }

    unsigned char header[kTMKLogHeaderSize];
    const ssize_t headerRead = readFully(m_fd, header, sizeof header);
    if (headerRead < static_cast<ssize_t>(sizeof header)) {
        if (headerRead < 0)
            fail(TMKLogReadStatus::ReadFailed, std::strerror(errno));
        else
            fail(TMKLogReadStatus::HeaderCut, {});
        return;
    }
    m_summary.announced = u32(header, 0);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    m_expected = settle(m_summary, size > kTMKLogHeaderSize ? size - kTMKLogHeaderSize : 0, m_recordSize);
}

TMKDriveLogReader::~TMKDriveLogReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::span<const unsigned char> TMKDriveLogReader::next()
{
    if (m_window.size() < m_recordSize && !refill())
        return {};
    const std::span<const unsigned char> record = m_window.first(m_recordSize);
    m_window = m_window.subspan(m_recordSize);
    ++m_summary.records;
    return record;
}

bool TMKDriveLogReader::refill()
{
    if (m_fd < 0) {
        m_window = m_memory;
        m_memory = {};
        return !m_window.empty();
    }
    const auto left = static_cast<std::uint64_t>(m_expected - m_summary.records) * m_recordSize;
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBufferRecords * m_recordSize));
    ssize_t got = 0;
    if (step > 0) {
        m_buffer.resize(step);
        got = readFully(m_fd, m_buffer.data(), step);
    }
    if (got < 0) {
        m_summary.status = TMKLogReadStatus::ReadFailed;
        m_summary.error = std::strerror(errno);
        got = 0;
    }
    const std::size_t whole = static_cast<std::size_t>(got) / m_recordSize * m_recordSize;
    if (whole < step) {
        // The file shrank since it was opened: what is gone is missing.
        if (m_summary.status == TMKLogReadStatus::Complete)
            m_summary.status = TMKLogReadStatus::Truncated;
        m_expected = m_summary.records + static_cast<std::int64_t>(whole / m_recordSize);
    }
    if (whole == 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_window = std::span<const unsigned char>(m_buffer).first(whole);
    return true;
}

namespace {

TMKLogReadResult collect(TMKDriveLogReader& reader)
{
    TMKLogReadResult result;
    result.log = TMKDriveLog(reader.kind());
    const std::size_t recordSize = TMKLogFormatOf(reader.kind()).recordSize;
    std::vector<unsigned char> records;
    // One allocation of what the input holds: growing by doubling would
    // reach twice the file.
    const auto bytes = static_cast<std::uint64_t>(reader.expected()) * recordSize;
    try {
        if (bytes > records.max_size())
            throw std::bad_alloc();
        records.reserve(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        static_cast<TMKLogReadSummary&>(result) = reader.summary();
        result.status = TMKLogReadStatus::ReadFailed;
        result.error = std::strerror(ENOMEM);
        return result;
    }
    for (auto record = reader.next(); !record.empty(); record = reader.next())
        records.insert(records.end(), record.begin(), record.end());
    static_cast<TMKLogReadSummary&>(result) = reader.summary();
    result.log = TMKDriveLog(reader.kind(), std::move(records));
    return result;
}

} // namespace

TMKLogReadResult TMKParseDriveLog(std::span<const unsigned char> bytes, TMKLogKind kind)
{
    TMKDriveLogReader reader(bytes, kind);
    return collect(reader);
}

TMKLogReadResult TMKReadDriveLog(const std::string& path, TMKLogKind kind)
{
    TMKDriveLogReader reader(path, kind);
    return collect(reader);
}

std::string TMKLogReadProblem(const TMKLogReadSummary& result)
{
    switch (result.status) {
    case TMKLogReadStatus::Complete:
        return {};
    case TMKLogReadStatus::OpenFailed:
        return "cannot open: " + result.error;
    case TMKLogReadStatus::ReadFailed:
        return "read error after " + std::to_string(result.records) + " records: " + result.error;
    case TMKLogReadStatus::HeaderCut:
        return "truncated: the file is shorter than its 12-byte header";
    case TMKLogReadStatus::Truncated:
        break;
    }
    return "truncated: " + std::to_string(result.records) + " of " + std::to_string(result.announced)
        + " records are complete";
}
