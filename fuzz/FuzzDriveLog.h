#pragma once

// The checks both drive log fuzz targets make on one input.

#include "logs/TMKDriveLog.h"
#include "logs/TMKLogCsv.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>
#include <span>

inline void TMKFuzzDriveLog(const std::uint8_t* data, std::size_t size, TMKLogKind kind)
{
    const TMKLogReadResult result = TMKParseDriveLog(std::span<const unsigned char>(data, size), kind);
    const TMKDriveLog& log = result.log;
    const std::size_t recordSize = TMKLogFormatOf(kind).recordSize;
    // Never more records than the input holds, nor than the header announces.
    const std::size_t body = size >= kTMKLogHeaderSize ? size - kTMKLogHeaderSize : 0;
    if (static_cast<std::size_t>(log.count()) > body / recordSize || log.count() > result.announced)
        std::abort();
    if (result.complete() != (log.count() == result.announced && size >= kTMKLogHeaderSize))
        std::abort();

    // Every cell of the first rows and of the last one, and their positions.
    const auto checkRow = [&log](std::int64_t row) {
        for (int column = -1; column <= log.columnCount(); ++column) {
            if (log.cellText(row, column).empty())
                std::abort();
        }
        if (const auto position = log.position(row)) {
            if (!std::isfinite(position->latitude) || !(position->latitude > 0) || !(position->longitude > 0))
                std::abort();
        }
    };
    for (std::int64_t row = 0; row < log.count() && row < 64; ++row)
        checkRow(row);
    if (log.count() > 0)
        checkRow(log.count() - 1);

    // The CSV of the first rows: one line per row besides the header, with
    // the table's number of fields, whatever the cells hold.
    std::vector<unsigned char> head(data, data + std::min(size, kTMKLogHeaderSize + 16 * recordSize));
    const TMKDriveLog small = TMKParseDriveLog(head, kind).log;
    const std::string csv = TMKCsvText(small, {});
    std::size_t lines = 0;
    std::size_t commas = 0;
    bool quoted = false;
    for (const char c : csv) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '\n')
            ++lines;
        else if (!quoted && c == ',')
            ++commas;
    }
    const auto rows = static_cast<std::size_t>(small.count()) + 1;
    if (quoted || lines != rows || commas != rows * static_cast<std::size_t>(small.columnCount() - 1) || csv.back() != '\n')
        std::abort();
}
