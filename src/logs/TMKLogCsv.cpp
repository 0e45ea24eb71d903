#include "logs/TMKLogCsv.h"

void TMKAppendCsvLine(std::string& out, const std::vector<std::string>& fields)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        out += TMKCsvField(fields[i]);
    }
    out += '\n';
}

bool TMKWriteCsv(const TMKDriveLog& log, const std::vector<std::string>& titles,
                 const std::function<bool(std::string_view)>& sink)
{
    const int columns = log.columnCount();
    std::vector<std::string> fields(static_cast<std::size_t>(columns));
    const std::vector<std::string> english = TMKLogColumnTitles(log.kind());
    for (int c = 0; c < columns; ++c) {
        const auto i = static_cast<std::size_t>(c);
        fields[i] = i < titles.size() ? titles[i] : english[i];
    }
    std::string pending;
    TMKAppendCsvLine(pending, fields);

    // Lines go out in blocks of about 64 KiB: few writes, little memory.
    constexpr std::size_t kBlock = 1 << 16;
    for (std::int64_t row = 0; row < log.count(); ++row) {
        for (int c = 0; c < columns; ++c)
            fields[static_cast<std::size_t>(c)] = log.cellText(row, c);
        TMKAppendCsvLine(pending, fields);
        if (pending.size() >= kBlock) {
            if (!sink(pending))
                return false;
            pending.clear();
        }
    }
    return pending.empty() || sink(pending);
}

std::string TMKCsvText(const TMKDriveLog& log, const std::vector<std::string>& titles)
{
    std::string text;
    (void)TMKWriteCsv(log, titles, [&text](std::string_view piece) {
        text.append(piece);
        return true;
    });
    return text;
}

std::optional<std::string> TMKExportCsv(const std::string& path, const TMKDriveLog& log,
    const std::vector<std::string>& titles, const TKFileCalls& calls)
{
    // Written as it is made: a log of 40 MB would otherwise need its whole
    // CSV text (several times the log) in memory at once.
    TKAtomicWriter writer({}, calls);
    if (auto refusal = writer.open(path))
        return refusal;
    std::optional<std::string> error;
    const bool written = TMKWriteCsv(log, titles, [&](std::string_view piece) {
        error = writer.append(piece);
        return !error;
    });
    if (!written)
        return error;
    return writer.commit();
}
