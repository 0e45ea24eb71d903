// tamek-telemetry: prints the telemetry found in dash camera recordings.

#include "TMKBlackBoxData.h"
#include "TMKLog.h"
#include "TelemetryReport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Format { Json, Csv, Gpx };

void printUsage(std::ostream& out)
{
    out << "Usage: tamek-telemetry [--json | --csv | --gpx] [--verbose] FILE.avi...\n"
           "Prints the G-sensor samples, GPS records and GPS fixes stored in each recording.\n"
           "  --json     one JSON object per file and line (default)\n"
           "  --csv      one row per GPS fix\n"
           "  --gpx      a GPX 1.1 track per file\n"
           "  --verbose  also print the extraction's diagnostics on stderr\n";
}

// Tells apart the reasons ExtractStreamInformation folds into one false,
// without opening anything that could block (a FIFO waits for a writer).
std::string whyUnreadable(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return "is a folder, not a recording";
    if (!S_ISREG(info.st_mode))
        return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return "not a RIFF/AVI file";
}

// Output that did not reach its destination (a full disk, a closed pipe or
// descriptor) is a failure, not a report.
bool outputFailed()
{
    std::cout.flush();
    return !std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
}

} // namespace

int main(int argc, char** argv)
{
    Format format = Format::Json;
    bool verbose = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            format = Format::Json;
        } else if (!optionsEnded && arg == "--csv") {
            format = Format::Csv;
        } else if (!optionsEnded && arg == "--gpx") {
            format = Format::Gpx;
        } else if (!optionsEnded && arg == "--verbose") {
            verbose = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            printUsage(std::cout);
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::cerr << "tamek-telemetry: unknown option " << arg << "\n";
            printUsage(std::cerr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        printUsage(std::cerr);
        return 2;
    }

    if (!verbose)
        TMKSetLogSink({});

    // With standard output closed the first file opened would take its
    // descriptor, and the report would be written into it.
    if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
        std::cerr << "tamek-telemetry: cannot write the report: standard output is closed\n";
        return 1;
    }

    if (format == Format::Csv)
        writeTelemetryCsvHeader(std::cout);
    if (format == Format::Gpx)
        writeGpxBegin(std::cout);

    bool allOk = true;
    int writeError = 0;
    TMKBlackBoxData data;
    for (const std::string& path : files) {
        TelemetryReport report;
        report.path = path;
        report.ok = data.ExtractStreamInformation(path.c_str());
        report.data = &data;
        if (!report.ok) {
            report.error = whyUnreadable(path);
            std::cerr << "tamek-telemetry: " << path << ": " << report.error << "\n";
            allOk = false;
        }
        switch (format) {
        case Format::Json: writeTelemetryJson(std::cout, report); break;
        case Format::Csv: writeTelemetryCsvRows(std::cout, report); break;
        case Format::Gpx:
            if (report.ok)
                writeGpxTrack(std::cout, report);
            break;
        }
        if (!std::cout.good()) {
            writeError = errno;
            break;
        }
    }

    if (format == Format::Gpx)
        writeGpxEnd(std::cout);
    if (outputFailed()) {
        if (writeError == 0)
            writeError = errno;
        std::cerr << "tamek-telemetry: cannot write the report: " << std::strerror(writeError ? writeError : EIO) << "\n";
        return 1;
    }
    return allOk ? 0 : 1;
}
