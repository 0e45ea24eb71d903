// tamek-telemetry: prints the telemetry found in dash camera recordings.

#include "base/TKAtomicFile.h"
#include "base/TMKLog.h"
#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaHealth.h"
#include "media/TMKMediaList.h"
#include "media/TMKTrackExport.h"
#include "media/TMKTrip.h"
#include "TelemetryReport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Format { Json, Csv, Gpx, Kml };

void printUsage(std::ostream& out)
{
    out << "Usage: tamek-telemetry [--json | --csv | --gpx | --kml] [--verbose] [--output FILE] FILE.avi...\n"
           "       tamek-telemetry --gpx | --kml | --csv [--output FILE] --trip FOLDER... | --trips FILE.avi...\n"
           "Prints the G-sensor samples, GPS records and GPS fixes stored in each recording.\n"
           "  --json           one JSON object per file and line (default)\n"
           "  --csv            one row per GPS fix\n"
           "  --gpx            a GPX 1.1 track per file\n"
           "  --kml            a KML 2.2 track per file\n"
           "  --trip FOLDER    the recordings under FOLDER, one merged track per trip\n"
           "  --trips          the files given, grouped into trips, one merged track per trip\n"
           "  --output FILE    write to FILE (replaced whole, never left half-written)\n"
           "  --verbose        also print the extraction's diagnostics on stderr\n";
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

// One recording as a track of its own, named by its path.
TMKTrack recordingTrack(const std::string& path, const TMKBlackBoxData& data)
{
    return {path, TMKRecordingFixes(data)};
}

// The pairs of the files given, in the catalogue's order. A name off the
// camera's scheme has no date: it becomes a pair (and a trip) of its own.
std::vector<std::shared_ptr<TMKMediaPair>> pairsOfFiles(const std::vector<std::string>& files)
{
    std::vector<std::shared_ptr<TMKMedia>> named;
    std::vector<std::shared_ptr<TMKMediaPair>> loose;
    for (const std::string& path : files) {
        if (auto media = TMKMediaList::createMediaByPath(path)) {
            named.push_back(std::move(media));
        } else {
            auto pair = TMKMediaPair::mediaPair();
            pair->frontMedia = TMKMedia::mediaWithPath(path);
            loose.push_back(std::move(pair));
        }
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a->compareDate(*b) < 0; });
    TMKMediaList list;
    for (auto& media : named)
        list.addMedia(std::move(media));
    std::vector<std::shared_ptr<TMKMediaPair>> pairs = TMKCataloguePairs(list);
    pairs.insert(pairs.end(), loose.begin(), loose.end());
    return pairs;
}

// Every trip's merged track; unreadable recordings are told on stderr.
bool tripTracks(const std::vector<std::string>& folders, const std::vector<std::string>& files,
                std::vector<TMKTrack>& tracks)
{
    bool allOk = true;
    std::vector<TMKTrip> trips;
    for (const std::string& folder : folders) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            std::cerr << "tamek-telemetry: " << folder << ": not a folder\n";
            allOk = false;
            continue;
        }
        TMKMediaList list;
        list.setDirectoryPath(folder);
        list.waitUntilIdle();
        if (list.count() == 0)
            std::cerr << "tamek-telemetry: " << folder << ": no recordings found\n";
        for (TMKTrip& trip : TMKGroupTrips(list))
            trips.push_back(std::move(trip));
    }
    if (!files.empty()) {
        for (TMKTrip& trip : TMKGroupTrips(pairsOfFiles(files)))
            trips.push_back(std::move(trip));
    }
    for (const TMKTrip& trip : trips) {
        TMKTripTelemetry telemetry = TMKReadTripTelemetry(trip);
        for (const std::size_t index : telemetry.unreadable) {
            const std::string& path = trip.recordings[index].lead()->path;
            const TMKMediaHealth health = TMKCheckMedia(path);
            std::cerr << "tamek-telemetry: " << path << ": " << (health.ok() ? "no telemetry" : health.reason) << "\n";
            allOk = false;
        }
        tracks.push_back({trip.name(), std::move(telemetry.points)});
    }
    return allOk;
}

} // namespace

int main(int argc, char** argv)
{
    // Standard output too: a reader that leaves is a write error, told below.
    std::signal(SIGPIPE, SIG_IGN);
    Format format = Format::Json;
    bool verbose = false;
    bool groupTrips = false;
    std::optional<std::string> output;
    std::vector<std::string> folders;
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
        } else if (!optionsEnded && arg == "--kml") {
            format = Format::Kml;
        } else if (!optionsEnded && arg == "--trips") {
            groupTrips = true;
        } else if (!optionsEnded && (arg == "--trip" || arg == "--output" || arg == "-o")) {
            if (i + 1 >= argc) {
                std::cerr << "tamek-telemetry: " << arg << " needs a value\n";
                printUsage(std::cerr);
                return 2;
            }
            if (arg == "--trip")
                folders.push_back(argv[++i]);
            else
                output = argv[++i];
        } else if (!optionsEnded && arg.starts_with("--trip=")) {
            folders.push_back(arg.substr(7));
        } else if (!optionsEnded && arg.starts_with("--output=")) {
            output = arg.substr(9);
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
    const bool tripMode = groupTrips || !folders.empty();
    if (files.empty() && folders.empty()) {
        printUsage(std::cerr);
        return 2;
    }
    if (tripMode && format == Format::Json) {
        std::cerr << "tamek-telemetry: trips are written as --gpx, --kml or --csv\n";
        return 2;
    }
    if (!tripMode && !folders.empty()) {
        printUsage(std::cerr);
        return 2;
    }
    if (output && output->empty()) {
        std::cerr << "tamek-telemetry: --output needs a file name\n";
        return 2;
    }

    if (!verbose)
        TMKSetLogSink({});

    // Opened before any recording is read, so a refused target (read-only,
    // a folder, a FIFO nobody reads) costs no work. The report reaches the
    // file only whole, at the commit.
    TKAtomicWriter writer(kTKOutputPolicy);
    if (output) {
        if (const auto error = writer.open(*output)) {
            std::cerr << "tamek-telemetry: cannot write the report: " << *error << "\n";
            return 1;
        }
    }
    const auto writeOutput = [&writer](std::string_view text) {
        auto error = writer.append(text);
        if (!error)
            error = writer.commit();
        if (error)
            std::cerr << "tamek-telemetry: cannot write the report: " << *error << "\n";
        return !error;
    };

    if (tripMode) {
        std::vector<TMKTrack> tracks;
        const bool allOk = tripTracks(folders, files, tracks);
        const TMKTrackFormat trackFormat = format == Format::Gpx   ? TMKTrackFormat::Gpx
                                           : format == Format::Kml ? TMKTrackFormat::Kml
                                                                   : TMKTrackFormat::Csv;
        const std::string text = TMKTrackText(trackFormat, tracks);
        if (output)
            return !writeOutput(text) ? 1 : allOk ? 0 : 1;
        if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
            std::cerr << "tamek-telemetry: cannot write the report: standard output is closed\n";
            return 1;
        }
        std::cout << text;
        if (outputFailed()) {
            std::cerr << "tamek-telemetry: cannot write the report: " << std::strerror(errno ? errno : EIO) << "\n";
            return 1;
        }
        return allOk ? 0 : 1;
    }

    // With standard output closed the first file opened would take its
    // descriptor, and the report would be written into it.
    if (!output && ::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
        std::cerr << "tamek-telemetry: cannot write the report: standard output is closed\n";
        return 1;
    }

    // With --output the report is gathered and written aside at the end, so
    // the file is never seen half-written.
    std::ostringstream gathered;
    std::ostream& out = output ? static_cast<std::ostream&>(gathered) : std::cout;
    std::vector<TMKTrack> kmlTracks;

    if (format == Format::Csv)
        writeTelemetryCsvHeader(out);
    if (format == Format::Gpx)
        writeGpxBegin(out);

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
        case Format::Json: writeTelemetryJson(out, report); break;
        case Format::Csv: writeTelemetryCsvRows(out, report); break;
        case Format::Gpx:
            if (report.ok)
                writeGpxTrack(out, report);
            break;
        case Format::Kml:
            if (report.ok)
                kmlTracks.push_back(recordingTrack(path, data));
            break;
        }
        if (!out.good()) {
            writeError = errno;
            break;
        }
    }

    if (format == Format::Gpx)
        writeGpxEnd(out);
    if (format == Format::Kml)
        out << TMKKmlText(kmlTracks);
    if (output)
        return !writeOutput(gathered.str()) ? 1 : allOk ? 0 : 1;
    if (outputFailed()) {
        if (writeError == 0)
            writeError = errno;
        std::cerr << "tamek-telemetry: cannot write the report: " << std::strerror(writeError ? writeError : EIO) << "\n";
        return 1;
    }
    return allOk ? 0 : 1;
}
