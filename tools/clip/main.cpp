// tamek-clip: one moment of a drive as a video file, the cameras laid out
// and the telemetry burned in, across the camera's one-minute files.

#include "base/TMKLog.h"
#include "clip/TMKClipExport.h"
#include "media/TMKMediaList.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QByteArray>
#include <QDir>
#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_interrupted{false};

void onSignal(int)
{
    g_interrupted = true;
}

void printUsage(std::ostream& out)
{
    out << "Usage: tamek-clip --from HH:MM:SS|SECONDS --to HH:MM:SS|SECONDS [--layout front|rear|side|stack|pip]\n"
           "                  [--overlay time,speed,position,gforce] [--units kmh|mph] [--quality share|full]\n"
           "                  [--copy] --output OUT.mp4 FOLDER|FILE...\n"
           "Writes the span of a drive as one clip, across the camera's files.\n"
           "  --from, --to      the camera's clock time of the drive, or seconds from the first file's start\n"
           "  --layout L        front (default), rear, side (by side), stack, pip (rear inset)\n"
           "  --pip-corner C    the inset's corner: tl, tr, bl, br (default)\n"
           "  --pip-size F      the inset's width as a part of the frame's, 0.1 to 0.5 (default 0.3)\n"
           "  --overlay LIST    burned in: time, speed, position, gforce (values) or gtrace (a trace)\n"
           "  --units U         kmh (default) or mph\n"
           "  --quality Q       share: 1280x720 at about 4 Mbit/s (default); full: source size, constant quality\n"
           "  --no-sound        leave out the front recording's sound\n"
           "  --copy            copy one camera's packets losslessly into Matroska (OUT.mkv), from the key\n"
           "                    frame at or before --from; no overlay\n"
           "  --keep-partial    keep the readable part when a recording is damaged in mid-span\n"
           "  --output FILE     the clip; it appears only when whole\n";
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

std::vector<std::shared_ptr<TMKMediaPair>> pairsOfFiles(const std::vector<std::string>& files)
{
    std::vector<std::shared_ptr<TMKMedia>> named;
    for (const std::string& path : files) {
        if (auto media = TMKMediaList::createMediaByPath(path))
            named.push_back(std::move(media));
        else
            std::cerr << "tamek-clip: " << path << ": not named like a recording of the camera, left out\n";
    }
    std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return a->compareDate(*b) < 0; });
    TMKMediaList list;
    for (auto& media : named)
        list.addMedia(std::move(media));
    return TMKCataloguePairs(list);
}

int usage(const std::string& text)
{
    std::cerr << "tamek-clip: " << text << "\n";
    printUsage(std::cerr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // From the start: an interrupt while the drive is being found still
    // leaves nothing behind (the export sees it at once).
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::string from;
    std::string to;
    std::optional<std::string> output;
    TMKClipRequest request;
    bool keepPartial = false;
    std::vector<std::string> inputs;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const bool takesValue = arg == "--from" || arg == "--to" || arg == "--layout" || arg == "--overlay"
                                || arg == "--units" || arg == "--quality" || arg == "--output" || arg == "-o"
                                || arg == "--pip-corner" || arg == "--pip-size" || arg == "--preset";
        if (!optionsEnded && arg.starts_with("--") && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        } else if (!optionsEnded && takesValue) {
            if (i + 1 >= argc)
                return usage(arg + " needs a value");
            value = argv[++i];
        }
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(argv[i]);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            printUsage(std::cout);
            return 0;
        } else if (arg == "--from") {
            from = value;
        } else if (arg == "--to") {
            to = value;
        } else if (arg == "--output" || arg == "-o") {
            output = value;
        } else if (arg == "--layout") {
            static const std::pair<const char*, TMKClipLayout> kLayouts[] = {
                {"front", TMKClipLayout::Front}, {"rear", TMKClipLayout::Rear}, {"side", TMKClipLayout::Side},
                {"stack", TMKClipLayout::Stack}, {"pip", TMKClipLayout::Pip}};
            const auto it = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                         [&](const auto& l) { return value == l.first; });
            if (it == std::end(kLayouts))
                return usage("unknown layout " + value);
            request.layout = it->second;
        } else if (arg == "--pip-corner") {
            static const std::pair<const char*, TMKClipCorner> kCorners[] = {
                {"tl", TMKClipCorner::TopLeft}, {"tr", TMKClipCorner::TopRight},
                {"bl", TMKClipCorner::BottomLeft}, {"br", TMKClipCorner::BottomRight}};
            const auto it = std::find_if(std::begin(kCorners), std::end(kCorners),
                                         [&](const auto& c) { return value == c.first; });
            if (it == std::end(kCorners))
                return usage("unknown corner " + value);
            request.pipCorner = it->second;
        } else if (arg == "--pip-size") {
            char* end = nullptr;
            const double size = std::strtod(value.c_str(), &end);
            if (value.empty() || *end || !(size >= 0.1 && size <= 0.5))
                return usage("--pip-size takes 0.1 to 0.5");
            request.pipScale = size;
        } else if (arg == "--overlay") {
            for (const std::string& part : split(value, ',')) {
                if (part == "time")
                    request.overlay.time = true;
                else if (part == "speed")
                    request.overlay.speed = true;
                else if (part == "position")
                    request.overlay.position = true;
                else if (part == "gforce")
                    request.overlay.gforce = true;
                else if (part == "gtrace")
                    request.overlay.gforce = request.overlay.gforceTrace = true;
                else
                    return usage("unknown overlay part " + part);
            }
        } else if (arg == "--units") {
            if (value != "kmh" && value != "mph")
                return usage("--units takes kmh or mph");
            request.units = value == "mph" ? TMKClipUnits::Mph : TMKClipUnits::Kmh;
        } else if (arg == "--quality") {
            if (value != "share" && value != "full")
                return usage("--quality takes share or full");
            request.quality = value == "full" ? TMKClipQuality::Full : TMKClipQuality::Share;
        } else if (arg == "--preset") {
            request.preset = value;
        } else if (arg == "--copy") {
            request.copy = true;
        } else if (arg == "--no-sound") {
            request.sound = false;
        } else if (arg == "--keep-partial") {
            keepPartial = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (from.empty() || to.empty())
        return usage("--from and --to are needed");
    if (!output || output->empty())
        return usage("--output is needed");
    if (inputs.empty())
        return usage("no recordings given");
    if (request.copy && request.overlay.any())
        return usage("--copy cannot burn in an overlay");
    if (request.copy && request.layout != TMKClipLayout::Front && request.layout != TMKClipLayout::Rear)
        return usage("--copy takes one camera: --layout front or rear");
    const std::string lower = [&] {
        std::string s = *output;
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        return s;
    }();
    if (request.copy && lower.ends_with(".mp4"))
        return usage("--copy writes Matroska: name the output .mkv");

    // Fonts for the overlay; no display. Without a runtime folder Qt makes
    // its own and warns about it; make it quietly, the same way.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = QDir::tempPath().toLocal8Bit() + "/runtime-" + QByteArray::number(getuid());
        if (::mkdir(runtime.constData(), 0700) == 0 || errno == EEXIST)
            qputenv("XDG_RUNTIME_DIR", runtime);
    }
    QGuiApplication app(argc, argv);
    TMKSetLogSink({});
    av_log_set_level(AV_LOG_ERROR);

    std::vector<TMKTrip> trips;
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        struct stat info {};
        if (::stat(input.c_str(), &info) != 0) {
            std::cerr << "tamek-clip: " << input << ": no such file or folder\n";
            return 1;
        }
        if (S_ISDIR(info.st_mode)) {
            TMKMediaList list;
            list.setDirectoryPath(input);
            list.waitUntilIdle();
            for (TMKTrip& trip : TMKGroupTrips(list))
                trips.push_back(std::move(trip));
        } else {
            files.push_back(input);
        }
    }
    if (!files.empty()) {
        for (TMKTrip& trip : TMKGroupTrips(pairsOfFiles(files)))
            trips.push_back(std::move(trip));
    }
    if (trips.empty()) {
        std::cerr << "tamek-clip: no recordings found\n";
        return 1;
    }
    const std::optional<TMKClipMoment> start = TMKClipFindMoment(from, trips);
    if (!start) {
        std::cerr << "tamek-clip: --from " << from << ": no drive holds that moment (give HH:MM:SS or seconds)\n";
        return 1;
    }
    request.trip = trips[start->trip];
    request.from = start->seconds;
    const std::optional<double> end = TMKClipParseTime(to, request.trip);
    if (!end) {
        std::cerr << "tamek-clip: --to " << to << ": give HH:MM:SS or seconds\n";
        return 1;
    }
    request.to = std::min(*end, request.trip.lengthSeconds());
    if (*end > request.to)
        std::cerr << "tamek-clip: the drive ends " << request.to << " s after its start; the clip stops there\n";
    if (!(request.to > request.from)) {
        std::cerr << "tamek-clip: the clip's end must come after its start, within the drive\n";
        return 1;
    }
    request.output = *output;

    const bool tty = ::isatty(STDERR_FILENO) != 0;
    TMKClipCallbacks callbacks;
    callbacks.cancelled = [] { return g_interrupted.load(); };
    callbacks.keepPartial = [keepPartial](const std::string&) { return keepPartial; };
    if (tty) {
        callbacks.progress = [](const TMKClipProgress& p) {
            if (p.total > 0)
                std::fprintf(stderr, "\rtamek-clip: %lld of %lld frames, %.0f s left   ",
                             static_cast<long long>(p.done), static_cast<long long>(p.total),
                             std::max(0.0, p.secondsLeft));
        };
    }
    const TMKClipResult result = TMKExportClip(request, callbacks);
    if (tty)
        std::fprintf(stderr, "\n");
    if (result.cancelled) {
        std::cerr << "tamek-clip: interrupted, nothing written\n";
        return 130;
    }
    if (!result.ok) {
        std::cerr << "tamek-clip: " << result.error << "\n";
        if (result.partial)
            std::cerr << "tamek-clip: kept the readable part (" << result.frames << " frames) in " << *output << "\n";
        else
            std::cerr << "tamek-clip: nothing written\n";
        return 1;
    }
    return 0;
}
