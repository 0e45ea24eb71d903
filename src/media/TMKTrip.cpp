#include "media/TMKTrip.h"

#include "media/TMKBlackBoxData.h"
#include "media/TMKMediaList.h"
#include "media/TMKNMEASentenceParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string_view>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double kKmhPerKnot = 1.852;

int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// A day and time that exist in the Gregorian calendar, without a leap
// second. Counting on from an impossible one (30 February as 2 March) would
// put it on another day.
bool isCivilDateTime(int64_t year, int month, int day, int hour, int minute, int second)
{
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour < 0 || hour > 23
        || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day <= 28 || leap;
}

uint32_t u32At(const unsigned char* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The n-th comma-separated field of a sentence, without the checksum.
std::string_view field(std::string_view sentence, std::size_t n)
{
    const std::size_t star = sentence.find('*');
    if (star != std::string_view::npos)
        sentence = sentence.substr(0, star);
    std::size_t start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t comma = sentence.find(',', start);
        if (comma == std::string_view::npos)
            return {};
        start = comma + 1;
    }
    const std::size_t end = sentence.find(',', start);
    return sentence.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool isRmc(std::string_view id)
{
    return id == "$GPRMC" || id == "$GNRMC";
}

bool isGga(std::string_view id)
{
    return id == "$GPGGA" || id == "$GNGGA";
}

} // namespace

std::optional<double> TMKAviLengthSeconds(const std::string& path)
{
    // A FIFO named like a recording is a row, never opened; O_NONBLOCK for
    // one put in the file's place since.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode))
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    unsigned char header[64];
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        got = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    // RIFF size "AVI " LIST size "hdrl" "avih" size, then the main header:
    // microseconds per frame first, total frames at its 16th byte.
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "RIFF", 4) != 0
        || std::memcmp(header + 8, "AVI ", 4) != 0 || std::memcmp(header + 12, "LIST", 4) != 0
        || std::memcmp(header + 20, "hdrl", 4) != 0 || std::memcmp(header + 24, "avih", 4) != 0
        || u32At(header + 28) < 56)
        return std::nullopt;
    const uint32_t microsecondsPerFrame = u32At(header + 32);
    const uint32_t frames = u32At(header + 48);
    if (microsecondsPerFrame == 0 || frames == 0)
        return std::nullopt;
    return static_cast<double>(frames) * static_cast<double>(microsecondsPerFrame) / 1e6;
}

std::optional<int64_t> TMKMediaStartSeconds(const TMKMedia& media)
{
    if (media.year < 1970 || media.year > 9999
        || !isCivilDateTime(media.year, media.month, media.day, media.hour, media.minute, media.second))
        return std::nullopt;
    return daysFromCivil(media.year, media.month, media.day) * 86400 + media.hour * 3600 + media.minute * 60
           + media.second;
}

std::shared_ptr<TMKMedia> TMKTripRecording::lead() const
{
    if (!pair)
        return nullptr;
    return pair->frontMedia ? pair->frontMedia : pair->rearMedia;
}

bool TMKTripRecording::isEvent() const
{
    const auto media = lead();
    return media && media->isEventMedia();
}

double TMKTrip::lengthSeconds() const
{
    double end = 0;
    for (const TMKTripRecording& r : recordings)
        end = std::max(end, r.offsetSeconds + r.lengthSeconds);
    return end;
}

std::string TMKTrip::name() const
{
    if (recordings.empty() || !recordings.front().lead())
        return {};
    const auto media = recordings.front().lead();
    const std::string& n = media->mediaName;
    if (n.size() > 2 && (n.ends_with("_F") || n.ends_with("_R")))
        return media->mediaGroupName();
    return n;
}

std::vector<TMKTrip> TMKGroupTrips(const std::vector<std::shared_ptr<TMKMediaPair>>& pairs,
                                   const TMKTripOptions& options, const TMKLengthReader& lengthOf)
{
    std::vector<TMKTrip> trips;
    TMKTrip current;
    double tripEnd = 0;
    int64_t lastStart = 0;
    std::map<TMKMediaDivision, double> divisionEnd;

    const auto flush = [&] {
        if (current.recordings.empty())
            return;
        const int64_t first = current.recordings.front().startSeconds;
        for (TMKTripRecording& r : current.recordings)
            r.offsetSeconds = static_cast<double>(r.startSeconds - first);
        trips.push_back(std::move(current));
        current = TMKTrip();
        divisionEnd.clear();
    };

    for (const auto& pair : pairs) {
        TMKTripRecording recording;
        recording.pair = pair;
        const auto lead = recording.lead();
        if (!lead)
            continue;
        const std::optional<int64_t> start = TMKMediaStartSeconds(*lead);

        double length = 0;
        for (const auto& side : {pair->frontMedia, pair->rearMedia}) {
            if (!side || !lengthOf)
                continue;
            if (const auto seconds = lengthOf(side->path)) {
                length = std::max(length, *seconds);
                recording.lengthKnown = true;
            }
        }
        // A header claiming more than the plausible length is damaged; it
        // would otherwise swallow every later recording into this trip.
        if (recording.lengthKnown && !(length <= options.maxLengthSeconds))
            recording.lengthKnown = false;
        recording.lengthSeconds = recording.lengthKnown ? length : options.defaultLengthSeconds;

        if (!start) {
            flush();
            current.recordings.push_back(std::move(recording));
            flush();
            continue;
        }
        recording.startSeconds = *start;
        const double startAt = static_cast<double>(*start);
        const TMKMediaDivision division = lead->mediaDivision;

        if (!current.recordings.empty()) {
            bool joins = startAt <= tripEnd + options.toleranceSeconds && *start >= lastStart;
            // Events are cut from the running recording and may overlap it
            // and each other; continuous and motion recordings of one camera
            // follow one another.
            if (joins && division != TMKMediaDivisionEvent) {
                const auto it = divisionEnd.find(division);
                if (it != divisionEnd.end() && startAt < it->second - options.toleranceSeconds)
                    joins = false;
            }
            if (!joins)
                flush();
        }
        if (current.recordings.empty())
            tripEnd = recording.endSeconds();
        tripEnd = std::max(tripEnd, recording.endSeconds());
        lastStart = *start;
        double& end = divisionEnd.try_emplace(division, recording.endSeconds()).first->second;
        end = std::max(end, recording.endSeconds());
        current.recordings.push_back(std::move(recording));
    }
    flush();
    return trips;
}

std::vector<std::shared_ptr<TMKMediaPair>> TMKCataloguePairs(const TMKMediaList& list)
{
    std::vector<std::shared_ptr<TMKMediaPair>> pairs;
    std::unordered_set<const TMKMediaPair*> seen;
    for (const auto& media : list.medias()) {
        auto pair = list.findMediaPairWithFileName(media->fileName());
        if (pair && seen.insert(pair.get()).second)
            pairs.push_back(std::move(pair));
    }
    return pairs;
}

std::vector<TMKTrip> TMKGroupTrips(const TMKMediaList& list, const TMKTripOptions& options,
                                   const TMKLengthReader& lengthOf)
{
    return TMKGroupTrips(TMKCataloguePairs(list), options, lengthOf);
}

bool TMKIsValidUtc(const _SYSTEMTIME& t)
{
    return t.wMilliseconds <= 999 && isCivilDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

int64_t TMKUtcMilliseconds(const _SYSTEMTIME& time)
{
    const int month = std::clamp<int>(time.wMonth, 1, 12);
    return (daysFromCivil(time.wYear, month, time.wDay) * 86400 + int64_t{time.wHour} * 3600
            + int64_t{time.wMinute} * 60 + time.wSecond)
               * 1000
           + time.wMilliseconds;
}

std::vector<TMKTrackPoint> TMKRecordingFixes(const TMKBlackBoxData& data)
{
    std::vector<TMKTrackPoint> points;
    TMKNMEASentenceParser parser;
    for (const auto& entry : data.m_vGpsRecords) {
        const _AVI_GPS_DATA_T& record = entry->data;
        const std::string_view text(record.RawData, std::min<std::size_t>(record.nLen, _AVI_GPS_DATA_T::kRawDataSize));
        bool valid = false;
        bool invalid = false;
        bool hasAltitude = false;
        double altitude = 0;
        std::size_t sentences = 0;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= text.size() && sentences < TMKBlackBoxData::kMaxFixesPerRecord; ++i) {
            const bool end = i == text.size() || text[i] == '\0' || text[i] == '\r' || text[i] == '\n';
            if (i < text.size() && text[i] == '$') {
                start = i;
                continue;
            }
            if (!end)
                continue;
            // The extraction's pass leaves a sentence at the end of the text
            // without its terminator unparsed; so does this one.
            if (i < text.size() && start + 1 < i && text[start] == '$' && text[start + 1] == 'G') {
                const std::string_view sentence = text.substr(start, i - start);
                ++sentences;
                parser.parse(sentence);
                const std::string_view id = field(sentence, 0);
                if (isRmc(id)) {
                    const std::string_view status = field(sentence, 2);
                    (status == "A" ? valid : invalid) = true;
                } else if (isGga(id)) {
                    const int quality = TMKNmeaInt(field(sentence, 6));
                    (quality > 0 ? valid : invalid) = true;
                    const std::string_view altitudeField = field(sentence, 9);
                    if (quality > 0 && !altitudeField.empty()) {
                        altitude = TMKNmeaFloat(altitudeField);
                        hasAltitude = std::isfinite(altitude);
                    }
                }
            }
            start = i + 1;
        }
        // A receiver without a fix repeats its last position in some
        // sentences and leaves it empty in others: only a fix it calls
        // valid, and never called void in the same record, is a point.
        const TMKGpsData& fix = parser.m_Current;
        if (!valid || invalid || (fix.Latitude == 0 && fix.Longitude == 0))
            continue;
        const double latitude = TMKLatitudeDegrees(fix);
        double longitude = TMKLongitudeDegrees(fix);
        if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90
            || std::fabs(longitude) > 180)
            continue;
        if (longitude == 180)
            longitude = -180; // the same meridian; GPX takes only -180
        TMKTrackPoint point;
        point.secondsInRecording = record.nTimestamp / 1000.0;
        point.seconds = point.secondsInRecording;
        point.hasUtc = TMKIsValidUtc(fix.Now);
        if (point.hasUtc)
            point.utc = fix.Now;
        point.latitude = latitude;
        point.longitude = longitude;
        point.hasAltitude = hasAltitude;
        point.altitude = altitude;
        // Text past a float's range reads as infinity; no format carries it.
        const auto finite = [](double value) { return std::isfinite(value) ? value : 0.0; };
        point.speedKmh = finite(fix.SpeedOverGround * kKmhPerKnot);
        point.course = finite(fix.CourseOverGround);
        point.hdop = finite(fix.HDOP);
        point.satellites = fix.SatelliteUsedCount;
        points.push_back(point);
    }
    return points;
}

TMKTripTelemetry TMKReadTripTelemetry(const TMKTrip& trip, const TMKTripProgress& progress)
{
    TMKTripTelemetry merged;
    TMKBlackBoxData data;
    bool havePoint = false;
    double lastPointSeconds = 0;
    bool lastHasUtc = false;
    int64_t lastUtc = 0;
    bool haveSample = false;
    double lastSampleSeconds = 0;

    for (std::size_t index = 0; index < trip.recordings.size(); ++index) {
        if (progress && !progress(index, trip.recordings.size()))
            break;
        const TMKTripRecording& recording = trip.recordings[index];
        const auto lead = recording.lead();
        const auto other = recording.pair && lead == recording.pair->frontMedia ? recording.pair->rearMedia : nullptr;
        bool read = false;
        for (const auto& side : {lead, other}) {
            if (side && data.ExtractStreamInformation(side->path.c_str())
                && (!data.m_vGSensorData.empty() || !data.m_vGpsRecords.empty())) {
                read = true;
                break;
            }
        }
        if (!read) {
            data.clear();
            merged.unreadable.push_back(index);
            continue;
        }

        for (TMKTrackPoint point : TMKRecordingFixes(data)) {
            point.recording = index;
            point.seconds = recording.offsetSeconds + point.secondsInRecording;
            if (havePoint) {
                if (point.seconds <= lastPointSeconds)
                    continue;
                if (point.hasUtc && lastHasUtc && TMKUtcMilliseconds(point.utc) <= lastUtc)
                    continue;
            }
            havePoint = true;
            lastPointSeconds = point.seconds;
            if (point.hasUtc) {
                lastHasUtc = true;
                lastUtc = TMKUtcMilliseconds(point.utc);
            }
            merged.points.push_back(point);
        }

        const std::size_t count = std::min(data.m_vGSensorData.size(), data.m_GSensors.size());
        for (std::size_t i = 0; i < count; ++i) {
            const double seconds = recording.offsetSeconds + data.m_vGSensorData[i]->data.timestamp / 1000.0;
            if (haveSample && seconds <= lastSampleSeconds)
                continue;
            haveSample = true;
            lastSampleSeconds = seconds;
            const TMKGSensor& g = data.m_GSensors[i];
            merged.samples.push_back({seconds, index, g.x, g.y, g.z});
        }
    }
    return merged;
}

std::optional<TMKTripPosition> TMKFindTripRecording(const std::vector<TMKTrip>& trips, const std::string& path)
{
    for (std::size_t t = 0; t < trips.size(); ++t) {
        for (std::size_t r = 0; r < trips[t].recordings.size(); ++r) {
            const auto& pair = trips[t].recordings[r].pair;
            if (pair && ((pair->frontMedia && pair->frontMedia->path == path)
                         || (pair->rearMedia && pair->rearMedia->path == path)))
                return TMKTripPosition{t, r};
        }
    }
    return std::nullopt;
}
