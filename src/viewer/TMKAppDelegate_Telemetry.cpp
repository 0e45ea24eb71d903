// The telemetry display as the window shows it: the graph's bar, the X/Y/Z
// readouts, speed, HDOP and satellites, and the map page, by play position.

#include "TMKAppDelegate.h"

#include "map/TMKMapView.h"
#include "telemetry/GraphView.h"

#include <QLabel>

namespace {

void show(QLabel* label, const std::optional<QString>& text)
{
    if (label && text)
        label->setText(*text);
}

} // namespace

void TMKAppDelegate::updateGsensorUIByPlayPositon()
{
    if (m_graphView)
        m_graphView->updateTimePosition(player1() ? player1()->position() : 0.0);
    const TMKTelemetryReadout readout = m_telemetry.gsensorReadout(blackBoxData(), playInfo()->position());
    show(m_xLabel, readout.x);
    show(m_yLabel, readout.y);
    show(m_zLabel, readout.z);
}

void TMKAppDelegate::updateGpsUIByPlayPosition()
{
    const TMKTelemetryReadout readout = m_telemetry.gpsReadout(blackBoxData(), playInfo()->position());
    for (const QString& script : readout.mapScripts)
        evaluateMapScript(script);
    show(m_speedLabel, readout.speed);
    show(m_hdopLabel, readout.hdop);
    show(m_satelliteLabel, readout.satellites);
}

// The whole drive of the recording, once, so the marker moves along a line.
void TMKAppDelegate::sendTrackToMap()
{
    evaluateMapScript(TMKTelemetryDisplay::trackScript(m_session->track()));
}

void TMKAppDelegate::evaluateMapScript(const QString& script)
{
    m_mapScripts.push_back(script);
    if (m_mapScripts.size() > 200)
        m_mapScripts.removeFirst();
    if (m_mapWebView)
        m_mapWebView->evaluateWebScript(script);
    else
        m_pendingMapScripts.append(script);
}

void TMKAppDelegate::showTelemetry(TMKBlackBoxData data)
{
    m_session->showTelemetry(std::move(data));
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
