#pragma once

// The telemetry display: black-box data and a play position turned into
// readout texts and map scripts. No widgets; main thread.

#include "media/TMKBlackBoxData.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

// What the telemetry readouts show at one play position. A field without a
// value keeps the text it has: nothing is cleared when data is missing.
struct TMKTelemetryReadout {
    std::optional<QString> x;
    std::optional<QString> y;
    std::optional<QString> z;
    std::optional<QString> speed;
    std::optional<QString> hdop;
    std::optional<QString> satellites;
    // Scripts for the map page, in the order they are to be sent.
    QStringList mapScripts;
};

// Turns the telemetry of the recording playing and a play position into
// readout texts and map scripts. It remembers the hemisphere last shown,
// across recordings, for records that do not say theirs. No widgets; main
// thread (it is not shared).
class TMKTelemetryDisplay {
public:
    // The X/Y/Z values of the G-sensor sample at the position.
    [[nodiscard]] TMKTelemetryReadout gsensorReadout(const TMKBlackBoxData& data, double position) const;
    // Map position, speed, HDOP and satellites; updates the hemisphere.
    [[nodiscard]] TMKTelemetryReadout gpsReadout(const TMKBlackBoxData& data, double position);
    // The drive as map points (x latitude, y longitude), one per GPS record
    // read, without repeats. Costs a parse of every record's text, so the
    // extraction worker does it, not the main thread.
    [[nodiscard]] static QList<QPointF> trackPoints(const TMKBlackBoxData& data);
    // The whole drive once, as one line for the map page.
    [[nodiscard]] static QString trackScript(const QList<QPointF>& track);

    // The speed readout in miles (true) or kilometres (false) an hour, the
    // user's preference whatever unit the camera recorded in; without one,
    // as recorded.
    void setMph(std::optional<bool> mph) { m_mph = mph; }

    [[nodiscard]] bool south() const { return m_south; }
    [[nodiscard]] bool west() const { return m_west; }

private:
    bool m_south = false;
    bool m_west = false;
    std::optional<bool> m_mph;
};

// "X=+0.50", "X=0.00", "X=-1.25".
[[nodiscard]] QString TMKGSensorText(char axis, double value);
