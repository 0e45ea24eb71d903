// The telemetry display: G-sensor graph and readouts, speed, HDOP and
// satellites, and the position on the map page, all by play position.

#include "TMKAppDelegate.h"

#include "GraphView.h"
#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"

#include <QLabel>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

// A record's own hemisphere letter when it carries one.
std::optional<bool> recordSouth(char ns)
{
    if (ns == 'N' || ns == 'S')
        return ns == 'S';
    return std::nullopt;
}

std::optional<bool> recordWest(char ew)
{
    if (ew == 'E' || ew == 'W')
        return ew == 'W';
    return std::nullopt;
}

struct Hemisphere {
    bool south;
    bool west;
};

// The hemisphere a record says, by its letters, else by the position
// sentences in its own text; nothing when it says neither.
std::optional<Hemisphere> recordHemisphere(const _AVI_GPS_DATA_T& record)
{
    const auto south = recordSouth(record.NS);
    const auto west = recordWest(record.EW);
    if (south && west)
        return Hemisphere{*south, *west};
    const std::size_t length = std::min<std::size_t>(record.nLen, _AVI_GPS_DATA_T::kRawDataSize);
    const std::string_view text(record.RawData, strnlen(record.RawData, length));
    TMKNMEASentenceParser parser;
    bool positioned = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view sentence = text.substr(start, end - start);
        if (sentence.substr(0, 2) == "$G" && parser.parse(sentence)
            && (parser.m_Current.Latitude != 0 || parser.m_Current.Longitude != 0))
            positioned = true;
        start = end + 1;
    }
    if (!positioned)
        return std::nullopt;
    return Hemisphere{south.value_or(parser.m_Current.NS == 'S'), west.value_or(parser.m_Current.EW == 'W')};
}

// A void fix stores no position: both coordinates 0.
bool hasPosition(const _AVI_GPS_DATA_T& record)
{
    return record.fLatitude != 0 || record.fLongitude != 0;
}

// Decimal degrees, x latitude and y longitude, negative south and west.
QPointF signedDegrees(const _AVI_GPS_DATA_T& record, bool south, bool west)
{
    const double latitude = std::fabs(record.fLatitude) * (south ? -1 : 1);
    const double longitude = std::fabs(record.fLongitude) * (west ? -1 : 1);
    return {TKNmeaToDegrees(latitude), TKNmeaToDegrees(longitude)};
}

} // namespace

void TMKAppDelegate::updateGsensorUIByPlayPositon()
{
    if (m_graphView)
        m_graphView->updateTimePosition(m_player1 ? m_player1->position() : 0.0);
    const auto& samples = m_blackBoxData.m_GSensors;
    if (samples.empty())
        return;
    const auto index = TMKIndexForPosition(m_playInfo->position(), samples.size());
    const TMKGSensor& sample = samples[static_cast<std::size_t>(index)];
    if (m_xLabel) {
        m_xLabel->setText(TMKGSensorText('X', sample.x));
        m_yLabel->setText(TMKGSensorText('Y', sample.y));
        m_zLabel->setText(TMKGSensorText('Z', sample.z));
    }
}

void TMKAppDelegate::updateGpsUIByPlayPosition()
{
    const auto& records = m_blackBoxData.m_vGpsData;
    const auto& fixes = m_blackBoxData.m_NMEAs;
    const double position = m_playInfo->position();
    if (records.empty()) {
        evaluateMapScript(TMKDebugScript(QStringLiteral("GPS Data Count=Zero")));
    } else {
        const auto index = static_cast<std::size_t>(TMKIndexForPosition(position, records.size()));
        const _AVI_GPS_DATA_T& record = records[index]->data;

        // The record itself says its hemisphere. Only a record that does
        // not falls back to the fix at the same index, whose list has
        // another length and may not have seen a position yet.
        if (const auto hemisphere = recordHemisphere(record)) {
            m_gpsSouth = hemisphere->south;
            m_gpsWest = hemisphere->west;
        } else if (index < fixes.size()) {
            m_gpsSouth = fixes[index].NS != 'N';
            m_gpsWest = fixes[index].EW != 'E';
        }
        // A record without a position (a void fix) leaves the marker where it is.
        if (hasPosition(record)) {
            const QPointF degrees = signedDegrees(record, m_gpsSouth, m_gpsWest);
            evaluateMapScript(TMKSetLatLagScript(degrees.x(), degrees.y()));
        }
        if (m_speedLabel) {
            m_speedLabel->setText(record.KM == '9' ? QString::asprintf("%d Km/h", static_cast<int>(record.fSpeed))
                                                   : QString::asprintf("%d Mi/h", static_cast<int>(record.fSpeed)));
        }
    }
    if (!fixes.empty()) {
        const TMKGpsData& fix = fixes[static_cast<std::size_t>(TMKIndexForPosition(position, fixes.size()))];
        if (m_hdopLabel) {
            m_hdopLabel->setText(QString::asprintf("%.1f", fix.HDOP));
            m_satelliteLabel->setText(QString::asprintf("%d", static_cast<int>(fix.SatelliteUsedCount)));
        }
    }
}

QList<QPointF> TMKAppDelegate::trackPoints(const TMKBlackBoxData& data)
{
    // A holder filled by hand has no records-as-read list; its lined-up
    // entries then stand for the records.
    const auto& records = data.m_vGpsRecords.empty() ? data.m_vGpsData : data.m_vGpsRecords;
    QList<QPointF> points;
    bool south = false;
    bool west = false;
    const TMKAviGpsData* previous = nullptr;
    for (const auto& entry : records) {
        if (entry.get() == previous)
            continue;
        previous = entry.get();
        const _AVI_GPS_DATA_T& record = entry->data;
        if (!hasPosition(record))
            continue;
        if (const auto hemisphere = recordHemisphere(record)) {
            south = hemisphere->south;
            west = hemisphere->west;
        }
        const QPointF degrees = signedDegrees(record, south, west);
        // Consecutive records at one place add nothing to the line.
        if (points.isEmpty() || points.back() != degrees)
            points.push_back(degrees);
    }
    return points;
}

// The whole drive of the recording, once, so the marker moves along a line.
void TMKAppDelegate::sendTrackToMap(const QList<QPointF>& track)
{
    evaluateMapScript(TMKSetTrackScript(track));
}

void TMKAppDelegate::evaluateMapScript(const QString& script)
{
    m_mapScripts.push_back(script);
    if (m_mapScripts.size() > 200)
        m_mapScripts.removeFirst();
    if (m_mapWebView)
        m_mapWebView->evaluateWebScript(script);
}

void TMKAppDelegate::showTelemetry(TMKBlackBoxData data)
{
    m_blackBoxData = std::move(data);
    if (m_graphView)
        m_graphView->setGraphData(m_blackBoxData.m_GSensors);
    sendTrackToMap(trackPoints(m_blackBoxData));
}

QString TMKAppDelegate::speedFieldText() const
{
    return m_speedLabel ? m_speedLabel->text() : QString();
}

QString TMKAppDelegate::hdopFieldText() const
{
    return m_hdopLabel ? m_hdopLabel->text() : QString();
}

QString TMKAppDelegate::satelliteFieldText() const
{
    return m_satelliteLabel ? m_satelliteLabel->text() : QString();
}
