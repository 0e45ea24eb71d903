#pragma once

// The script texts the viewer evaluates in the map page. Numbers are written
// in the C locale whatever the user's locale: the page parses them as JS.

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

// "setLatLag('<lng>','<lat>')": longitude first, six decimals, negative for
// west and south.
[[nodiscard]] QString TMKSetLatLagScript(double latitude, double longitude);

// "TMKDebug('<text>')" with the text escaped for a single-quoted JS string.
[[nodiscard]] QString TMKDebugScript(const QString& text);

// "setTrack([[lat,lng],...])" from points with x = latitude, y = longitude.
// Points that are not finite are left out: "nan" would be a script error.
[[nodiscard]] QString TMKSetTrackScript(const QList<QPointF>& latLng);

// One fix of a trip's track as the page takes it.
struct TMKMapTripPoint {
    double latitude = 0;  // decimal degrees, south negative
    double longitude = 0; // decimal degrees, west negative
    int recording = 0;    // index into the trip's recordings
    double seconds = 0;   // time in that recording
};

// "setTrip(['<path>',...],[[lat,lng,recording,seconds],...],current)": the
// whole trip, with recording `current` (-1: none) highlighted. A click on
// the trip comes back as TMKMapView::tripPointClicked. Points that are not
// finite or name no recording are left out.
[[nodiscard]] QString TMKSetTripScript(const QStringList& recordings, const QList<TMKMapTripPoint>& points,
                                       int current);
// "setTripHighlight(current)": another recording of the trip shown.
[[nodiscard]] QString TMKSetTripHighlightScript(int current);

// "clearMap()": no track, trip or position shown.
[[nodiscard]] QString TMKClearMapScript();

// text as the body of a single-quoted JS string literal.
[[nodiscard]] QString TMKEscapeJsString(const QString& text);

// Scripts waiting for a page that has not loaded (or a view not made yet).
// A later setLatLag or setTrack replaces the state an earlier one set, so
// only the latest of each waits; beyond kMaxScripts the oldest diagnostic
// goes, so a page that never loads does not collect every diagnostic of a
// recording, but the latest position and track always stay.
class TMKMapScriptQueue {
public:
    static constexpr qsizetype kMaxScripts = 64;

    void append(const QString& script);
    // The waiting scripts in the order given, leaving the queue empty.
    [[nodiscard]] QList<QString> take();
    [[nodiscard]] qsizetype size() const { return m_scripts.size(); }
    [[nodiscard]] bool isEmpty() const { return m_scripts.isEmpty(); }

private:
    QList<QString> m_scripts;
};
