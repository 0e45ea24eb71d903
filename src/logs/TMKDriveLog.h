#pragma once

// The camera's drive logs: a 12-byte header whose first four bytes count the
// records, then fixed-size little-endian records. The flash data log holds
// 40-byte records, the OBD drive log 68-byte records. Cells are rendered on
// demand from the raw records, so a log costs its file size and no more.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class TMKLogKind {
    FlashData,
    Obd,
};

struct TMKLogColumn {
    const char* key;   // string table key of the header
    const char* title; // the English header text (the string table's text)
    int width;         // points
};

struct TMKLogFormat {
    TMKLogKind kind;
    std::size_t recordSize;
    std::span<const TMKLogColumn> columns;
    const char* fileType;        // extension of the log files, without the dot
    const char* proposedCsvName; // without the extension
};

inline constexpr std::size_t kTMKLogHeaderSize = 12;

[[nodiscard]] const TMKLogFormat& TMKLogFormatOf(TMKLogKind kind);
// The kind a file's extension names ("drv", "obd", any case); none otherwise.
[[nodiscard]] std::optional<TMKLogKind> TMKLogKindForPath(const std::string& path);
// The English header texts in column order.
[[nodiscard]] std::vector<std::string> TMKLogColumnTitles(TMKLogKind kind);

// A row's position in decimal degrees. The camera stores no hemisphere, so
// both are positive.
struct TMKLogPosition {
    double latitude;
    double longitude;
};

// The text of a cell of one record at `row` (counted from 0): the row number
// for column 0, the record's field by the column's rule otherwise; "X" for a
// column outside the table. `record` holds the kind's record size in bytes.
[[nodiscard]] std::string TMKLogCellText(TMKLogKind kind, std::span<const unsigned char> record, std::int64_t row,
                                         int column);

// The records of one log, held as the file's bytes.
class TMKDriveLog {
public:
    explicit TMKDriveLog(TMKLogKind kind = TMKLogKind::FlashData) : m_kind(kind) {}
    TMKDriveLog(TMKLogKind kind, std::vector<unsigned char> records);

    [[nodiscard]] TMKLogKind kind() const { return m_kind; }
    [[nodiscard]] const TMKLogFormat& format() const { return TMKLogFormatOf(m_kind); }
    [[nodiscard]] std::int64_t count() const { return m_count; }
    [[nodiscard]] int columnCount() const { return static_cast<int>(format().columns.size()); }
    // The bytes of one record; empty outside the log.
    [[nodiscard]] std::span<const unsigned char> record(std::int64_t row) const;

    // TMKLogCellText of a row; "X" for a column outside the table and "" for
    // a row outside the log.
    [[nodiscard]] std::string cellText(std::int64_t row, int column) const;
    // Where the map goes for a row; none when the row is outside the log or
    // its latitude or longitude is zero (the camera had no fix).
    [[nodiscard]] std::optional<TMKLogPosition> position(std::int64_t row) const;

private:
    TMKLogKind m_kind;
    std::vector<unsigned char> m_records;
    std::int64_t m_count = 0;
};

enum class TMKLogReadStatus {
    Complete,   // every announced record is there
    HeaderCut,  // the file ends inside its 12-byte header: no count, no records
    Truncated,  // the file ends before the last announced record
    OpenFailed, // nothing could be read; `error` says why
    ReadFailed, // reading stopped on an error; the whole records before it are kept
};

// What a read found, whether the records were kept or only passed on.
struct TMKLogReadSummary {
    TMKLogReadStatus status = TMKLogReadStatus::Complete;
    std::uint32_t announced = 0; // the header's count
    std::int64_t records = 0;    // whole records read
    bool trailingBytes = false;  // bytes follow the announced records (ignored)
    std::string error;           // errno text for OpenFailed and ReadFailed

    [[nodiscard]] bool complete() const { return status == TMKLogReadStatus::Complete; }
};

// Reads a log one record at a time through a buffer of a few dozen KiB, so
// a log of any size costs the same memory. Only regular files are read: a
// FIFO, pipe or device has no size to hold the header's count against and
// may never end or never be written to, so it is refused at once (opened
// without blocking). The size the file has when it is opened bounds what is
// believed: records the header announces beyond it are reported missing and
// never allocated or waited for.
class TMKDriveLogReader {
public:
    TMKDriveLogReader(const std::string& path, TMKLogKind kind);
    // The same rules over bytes in memory, which are not copied.
    TMKDriveLogReader(std::span<const unsigned char> bytes, TMKLogKind kind);
    ~TMKDriveLogReader();
    TMKDriveLogReader(const TMKDriveLogReader&) = delete;
    TMKDriveLogReader& operator=(const TMKDriveLogReader&) = delete;

    [[nodiscard]] TMKLogKind kind() const { return m_kind; }
    // The whole records that are both announced and in the input.
    [[nodiscard]] std::int64_t expected() const { return m_expected; }
    // The next record in file order; empty at the end and after a failure.
    // The bytes stay valid until the next call.
    [[nodiscard]] std::span<const unsigned char> next();
    // Final once next() has returned empty.
    [[nodiscard]] const TMKLogReadSummary& summary() const { return m_summary; }

private:
    bool refill();

    TMKLogKind m_kind;
    std::size_t m_recordSize;
    int m_fd = -1;
    std::span<const unsigned char> m_memory; // the unread records of a reader over bytes
    std::vector<unsigned char> m_buffer;
    std::span<const unsigned char> m_window; // records read and not yet handed out
    std::int64_t m_expected = 0;
    TMKLogReadSummary m_summary;
};

struct TMKLogReadResult : TMKLogReadSummary {
    TMKDriveLog log;
};

// Reads a whole log into memory for the table: the records the file holds,
// allocated once, never more than the file's size.
[[nodiscard]] TMKLogReadResult TMKReadDriveLog(const std::string& path, TMKLogKind kind);
// The same rules over bytes in memory.
[[nodiscard]] TMKLogReadResult TMKParseDriveLog(std::span<const unsigned char> bytes, TMKLogKind kind);

// One line for the user about a read that was not complete; empty when it was.
[[nodiscard]] std::string TMKLogReadProblem(const TMKLogReadSummary& result);
