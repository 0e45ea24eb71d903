#include "logs/TMKLogCsv.h"

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

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
    // The rename would put a file in the place of a device, a FIFO or a
    // symlink; a link is followed, so it keeps pointing at the new export.
    std::string target = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return std::string("open: not a regular file");
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::canonical(path, error);
        if (!error)
            target = resolved.string();
    }
    const std::string text = TMKCsvText(log, titles);
    return TKWriteFileAtomically(target, text.data(), text.size(), calls);
}
