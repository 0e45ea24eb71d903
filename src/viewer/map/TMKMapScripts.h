#pragma once

// The script texts the viewer evaluates in the map page. Numbers are written
// in the C locale whatever the user's locale: the page parses them as JS.

#include <QList>
#include <QPointF>
#include <QString>

// "setLatLag('<lng>','<lat>')": longitude first, six decimals, negative for
// west and south.
[[nodiscard]] QString TMKSetLatLagScript(double latitude, double longitude);

// "TMKDebug('<text>')" with the text escaped for a single-quoted JS string.
[[nodiscard]] QString TMKDebugScript(const QString& text);

// "setTrack([[lat,lng],...])" from points with x = latitude, y = longitude.
// Points that are not finite are left out: "nan" would be a script error.
[[nodiscard]] QString TMKSetTrackScript(const QList<QPointF>& latLng);

// text as the body of a single-quoted JS string literal.
[[nodiscard]] QString TMKEscapeJsString(const QString& text);
