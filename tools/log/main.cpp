// tamek-log: prints the camera's drive logs as the log pages show them.
//   tamek-log [--csv] [--flash | --obd] FILE...
// With --csv the text is the CSV the pages export; otherwise a table with the
// columns aligned. The kind comes from the option, else from each file's
// extension ("drv" or "obd"). Messages go to stderr; a file that cannot be
// read or is truncated makes the exit status 1 after what could be read is
// printed, and the other files are still processed.

#include "TMKDriveLog.h"
#include "TMKLogCsv.h"
#include "TMKLogText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: tamek-log [--csv] [--flash | --obd] FILE...\n";

bool writeOut(std::string_view text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

void message(const std::string& text)
{
    std::fprintf(stderr, "tamek-log: %s\n", text.c_str());
}

// The table with each column as wide as its widest text, right-aligned like
// the page's cells.
bool writeTable(const TMKDriveLog& log)
{
    const std::vector<std::string> titles = TMKLogColumnTitles(log.kind());
    const int columns = log.columnCount();
    std::vector<std::size_t> widths(titles.size());
    for (std::size_t c = 0; c < titles.size(); ++c)
        widths[c] = titles[c].size();
    for (std::int64_t row = 0; row < log.count(); ++row) {
        for (int c = 0; c < columns; ++c)
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)], log.cellText(row, c).size());
    }
    std::string line;
    const auto emit = [&](auto&& textOf) {
        line.clear();
        for (int c = 0; c < columns; ++c) {
            const std::string text = textOf(c);
            if (c > 0)
                line += "  ";
            line.append(widths[static_cast<std::size_t>(c)] - text.size(), ' ');
            line += text;
        }
        line += '\n';
        return writeOut(line);
    };
    if (!emit([&](int c) { return titles[static_cast<std::size_t>(c)]; }))
        return false;
    for (std::int64_t row = 0; row < log.count(); ++row) {
        if (!emit([&](int c) { return log.cellText(row, c); }))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool csv = false;
    std::optional<TMKLogKind> forced;
    std::vector<std::string> files;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--csv") {
            csv = true;
        } else if (!optionsDone && (arg == "--flash" || arg == "--obd")) {
            const TMKLogKind kind = arg == "--flash" ? TMKLogKind::FlashData : TMKLogKind::Obd;
            if (forced && *forced != kind) {
                message("--flash and --obd exclude each other");
                std::fputs(kUsage, stderr);
                return 2;
            }
            forced = kind;
        } else if (!optionsDone && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            message("unknown option " + std::string(arg));
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    int status = 0;
    for (const std::string& file : files) {
        const std::optional<TMKLogKind> kind = forced ? forced : TMKLogKindForPath(file);
        if (!kind) {
            message(file + ": not a .drv or .obd file; name the kind with --flash or --obd");
            status = 1;
            continue;
        }
        const TMKLogReadResult result = TMKReadDriveLog(file, *kind);
        if (result.status == TMKLogReadStatus::OpenFailed) {
            message(file + ": " + TMKLogReadProblem(result));
            status = 1;
            continue;
        }
        const bool written = csv ? TMKWriteCsv(result.log, TMKLogColumnTitles(*kind), writeOut) : writeTable(result.log);
        if (!written || std::fflush(stdout) != 0) {
            message(std::string("cannot write the output: ") + std::strerror(errno));
            return 1;
        }
        if (!result.complete()) {
            message(file + ": " + TMKLogReadProblem(result));
            status = 1;
        }
        if (result.trailingBytes)
            message(file + ": warning: bytes after the " + std::to_string(result.announced) + " announced records are ignored");
    }
    return status;
}
