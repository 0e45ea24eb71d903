// tamek-log: prints the camera's drive logs as the CSV the log pages export.
//   tamek-log [--csv] [--flash | --obd] FILE...
// CSV is the only format; --csv is accepted for scripts that name it. The
// kind comes from the option, else from each file's extension ("drv" or
// "obd"). Messages go to stderr; a file that cannot be
// read or is truncated makes the exit status 1 after what could be read is
// printed, and the other files are still processed. Each record is printed
// as it is read, so memory stays the same whatever the log's size; only
// regular files are read (see TMKDriveLogReader).

#include "logs/TMKDriveLog.h"
#include "logs/TMKLogCsv.h"

#include <cerrno>
#include <csignal>
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

// The header line, then one line per record as the reader hands it over,
// written in blocks of about 64 KiB. False when the output failed.
bool printCsv(TMKDriveLogReader& reader)
{
    std::vector<std::string> fields = TMKLogColumnTitles(reader.kind());
    std::string pending;
    TMKAppendCsvLine(pending, fields);
    std::int64_t row = 0;
    for (auto record = reader.next(); !record.empty(); record = reader.next(), ++row) {
        for (std::size_t c = 0; c < fields.size(); ++c)
            fields[c] = TMKLogCellText(reader.kind(), record, row, static_cast<int>(c));
        TMKAppendCsvLine(pending, fields);
        if (pending.size() >= (1 << 16)) {
            if (!writeOut(pending))
                return false;
            pending.clear();
        }
    }
    return writeOut(pending) && std::fflush(stdout) == 0;
}

void message(const std::string& text)
{
    std::fprintf(stderr, "tamek-log: %s\n", text.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN); // a reader that leaves is a write error, told below
    std::optional<TMKLogKind> forced;
    std::vector<std::string> files;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--csv") {
            continue; // the only format
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
        TMKDriveLogReader reader(file, *kind);
        if (reader.summary().status == TMKLogReadStatus::OpenFailed) {
            message(file + ": " + TMKLogReadProblem(reader.summary()));
            status = 1;
            continue;
        }
        if (!printCsv(reader)) {
            message(std::string("cannot write the output: ") + std::strerror(errno));
            return 1;
        }
        const TMKLogReadSummary& result = reader.summary();
        if (!result.complete()) {
            message(file + ": " + TMKLogReadProblem(result));
            status = 1;
        }
        if (result.trailingBytes)
            message(file + ": warning: bytes after the " + std::to_string(result.announced) + " announced records are ignored");
    }
    return status;
}
