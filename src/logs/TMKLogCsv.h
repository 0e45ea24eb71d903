#pragma once

// The CSV text of a log table: a header line of the column titles, then one
// line per record with the cells as the table shows them. UTF-8 without a
// byte-order mark, "\n" after every line. A field is quoted (RFC 4180) only
// when it holds a comma, a quote or a line break, so ordinary cells stay as
// they are and no title or cell can break the row structure.

#include "base/TKAtomicFile.h"
#include "base/TMKText.h" // TMKCsvField
#include "logs/TMKDriveLog.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fields joined with "," and ended by "\n".
void TMKAppendCsvLine(std::string& out, const std::vector<std::string>& fields);

// Hands the text to `sink` in pieces of whole lines; the sink returns false
// to stop. `titles` are the header texts in column order; missing ones are
// taken from the log's English titles. False when the sink stopped.
[[nodiscard]] bool TMKWriteCsv(const TMKDriveLog& log, const std::vector<std::string>& titles,
                               const std::function<bool(std::string_view)>& sink);
[[nodiscard]] std::string TMKCsvText(const TMKDriveLog& log, const std::vector<std::string>& titles);

// Streams the CSV through the one writer (media/TKAtomicFile.h), so the
// chosen name holds either its old content or the whole export, and memory
// stays at one block of lines. The failed step ("write: No space left on
// device"), the refusal, or nothing on success.
[[nodiscard]] std::optional<std::string> TMKExportCsv(const std::string& path, const TMKDriveLog& log,
    const std::vector<std::string>& titles, const TKFileCalls& calls = TKFileCalls::system());
