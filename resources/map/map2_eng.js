// The viewer's map page. The application calls the functions on window by
// evaluating one script text each; a call must never throw, as nobody looks at
// the result, and bad input is ignored rather than moving the marker to 0,0.
(function () {
    'use strict';

    var FIRST_ZOOM = 16;
    var TRACK_STYLE = { color: '#1f5fd6', weight: 4, opacity: 0.85 };
    var MARKER_STYLE = {
        radius: 8, weight: 3, color: '#ffffff', fillColor: '#d62f1f', fillOpacity: 1
    };

    var TRIP_STYLE = { color: '#7a8597', weight: 6, opacity: 0.8 };
    var TRIP_HIGHLIGHT_STYLE = { color: '#1f5fd6', weight: 6, opacity: 0.95 };

    var map = null;
    var marker = null;
    var track = null;
    var trip = null;          // { recordings: [path], points: [[lat, lng, recording, seconds]] }
    var tripLine = null;      // the whole trip, clickable
    var tripHighlight = null; // the playing recording's part of it
    var tripCurrent = -1;
    var bridge = null;        // the application's object over QWebChannel, when there is one
    var lastTripClick = null;
    var trackFitted = false;
    var placed = false; // once a position or track set the view, the user's zoom stays
    var debugCount = 0;
    var lastDebug = '';

    function log(text) {
        try {
            console.log('[map] ' + text);
        } catch (e) {
            // A console is not guaranteed; losing a diagnostic is fine.
        }
    }

    function toNumber(value) {
        if (typeof value === 'number')
            return value;
        if (typeof value === 'string' && value.trim() !== '')
            return Number(value);
        return NaN;
    }

    function validLatLng(lat, lng) {
        return isFinite(lat) && isFinite(lng) && Math.abs(lat) <= 90 && Math.abs(lng) <= 180;
    }

    function createMap() {
        // A vector marker and track need no image file, so nothing but tiles
        // is fetched; failed tiles leave the plain background.
        map = L.map('map', { zoomControl: true, attributionControl: true })
            .setView([20, 0], 2);
        L.tileLayer('https://tile.openstreetmap.org/{z}/{x}/{y}.png', {
            maxZoom: 19,
            attribution: '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors'
        }).addTo(map);
        L.control.scale({ metric: true, imperial: true }).addTo(map);
    }

    // Longitude first: the application's calling order.
    window.setLatLag = function (lngText, latText) {
        try {
            var lat = toNumber(latText);
            var lng = toNumber(lngText);
            if (!map || !validLatLng(lat, lng))
                return false;
            var position = L.latLng(lat, lng);
            if (marker)
                marker.setLatLng(position);
            else
                marker = L.circleMarker(position, MARKER_STYLE).addTo(map);
            // No animation: the next position may come 300 ms later.
            map.setView(position, placed ? map.getZoom() : FIRST_ZOOM, { animate: false });
            placed = true;
            if (marker.bringToFront)
                marker.bringToFront();
            return true;
        } catch (e) {
            log('setLatLag failed: ' + e);
            return false;
        }
    };

    // Nothing is loaded any more (another folder): no track, trip or
    // position of the recording before stays; the next track is fitted again.
    window.clearMap = function () {
        try {
            window.setTrack(null);
            window.setTrip(null, null, -1);
            if (marker && map)
                map.removeLayer(marker);
            marker = null;
            trackFitted = false;
            return true;
        } catch (e) {
            log('clearMap failed: ' + e);
            return false;
        }
    };

    window.TMKDebug = function (text) {
        try {
            lastDebug = String(text === undefined ? '' : text);
            debugCount += 1;
            log(lastDebug);
        } catch (e) {
            // String() of an exotic object can throw; the message is then lost.
        }
        return true;
    };

    // points: [[lat, lng], ...]; replaces the previous track. Invalid pairs
    // are skipped so one bad fix does not cost the whole line.
    window.setTrack = function (points) {
        try {
            if (!map)
                return 0;
            if (track) {
                map.removeLayer(track);
                track = null;
            }
            if (!Array.isArray(points))
                return 0;
            var line = [];
            for (var i = 0; i < points.length; ++i) {
                var p = points[i];
                if (!Array.isArray(p) || p.length < 2)
                    continue;
                var lat = toNumber(p[0]);
                var lng = toNumber(p[1]);
                if (validLatLng(lat, lng))
                    line.push([lat, lng]);
            }
            if (line.length === 0)
                return 0;
            track = L.polyline(line, TRACK_STYLE).addTo(map);
            if (marker)
                marker.bringToFront();
            if (!trackFitted) {
                trackFitted = true;
                placed = true;
                if (line.length === 1)
                    map.setView(line[0], FIRST_ZOOM, { animate: false });
                else
                    map.fitBounds(track.getBounds(), { padding: [24, 24], maxZoom: 18, animate: false });
            }
            return line.length;
        } catch (e) {
            log('setTrack failed: ' + e);
            return 0;
        }
    };

    // The trip's points of one recording as runs of [lat, lng]: a recording
    // may lie in the trip more than once only if its points do, so one run.
    function tripRun(recording) {
        var run = [];
        if (!trip)
            return run;
        for (var i = 0; i < trip.points.length; ++i) {
            var p = trip.points[i];
            if (p[2] === recording)
                run.push([p[0], p[1]]);
        }
        return run;
    }

    function nearestTripPoint(latlng) {
        if (!trip || !map)
            return -1;
        var best = -1;
        var bestDistance = Infinity;
        var at = map.latLngToLayerPoint(latlng);
        for (var i = 0; i < trip.points.length; ++i) {
            var p = trip.points[i];
            var d = at.distanceTo(map.latLngToLayerPoint([p[0], p[1]]));
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return best;
    }

    function tripClicked(e) {
        try {
            var i = nearestTripPoint(e.latlng);
            if (i < 0)
                return;
            var p = trip.points[i];
            var path = trip.recordings[p[2]];
            lastTripClick = { recording: p[2], path: path, seconds: p[3] };
            if (bridge && bridge.tripPointClicked)
                bridge.tripPointClicked(path, p[3]);
        } catch (err) {
            log('trip click failed: ' + err);
        }
    }

    // Highlights the part of the trip that recording `current` (an index
    // into the trip's recordings; -1 for none) recorded.
    window.setTripHighlight = function (current) {
        try {
            if (!map)
                return 0;
            if (tripHighlight) {
                map.removeLayer(tripHighlight);
                tripHighlight = null;
            }
            tripCurrent = typeof current === 'number' ? current : -1;
            var run = tripRun(tripCurrent);
            if (run.length === 0)
                return 0;
            tripHighlight = L.polyline(run, TRIP_HIGHLIGHT_STYLE).addTo(map);
            // A click on the highlighted part is a click on the trip too.
            tripHighlight.on('click', tripClicked);
            if (marker)
                marker.bringToFront();
            return run.length;
        } catch (e) {
            log('setTripHighlight failed: ' + e);
            return 0;
        }
    };

    // recordings: the trip's recordings, each a path the application knows;
    // points: [[lat, lng, recording index, seconds in that recording], ...]
    // in the trip's order; current: the playing recording's index. Replaces
    // the trip before; invalid points are skipped.
    window.setTrip = function (recordings, points, current) {
        try {
            if (!map)
                return 0;
            if (tripLine) {
                map.removeLayer(tripLine);
                tripLine = null;
            }
            var shownBefore = trip ? trip.recordings.join('\n') : null;
            trip = null;
            if (!Array.isArray(recordings) || !Array.isArray(points)) {
                window.setTripHighlight(-1);
                return 0;
            }
            var kept = [];
            for (var i = 0; i < points.length; ++i) {
                var p = points[i];
                if (!Array.isArray(p) || p.length < 4)
                    continue;
                var lat = toNumber(p[0]);
                var lng = toNumber(p[1]);
                var r = p[2];
                var seconds = toNumber(p[3]);
                if (validLatLng(lat, lng) && typeof r === 'number' && r >= 0 && r < recordings.length
                    && typeof recordings[r] === 'string' && isFinite(seconds))
                    kept.push([lat, lng, r, seconds]);
            }
            if (kept.length === 0) {
                window.setTripHighlight(-1);
                return 0;
            }
            trip = { recordings: recordings.slice(), points: kept };
            var line = kept.map(function (q) { return [q[0], q[1]]; });
            tripLine = L.polyline(line, TRIP_STYLE).addTo(map);
            tripLine.on('click', tripClicked);
            if (track)
                track.bringToFront();
            window.setTripHighlight(current);
            // A new trip is shown whole once (the marker then keeps the
            // zoom); the same trip again leaves the user's view alone.
            if (!placed || shownBefore !== trip.recordings.join('\n')) {
                placed = true;
                if (line.length === 1)
                    map.setView(line[0], FIRST_ZOOM, { animate: false });
                else
                    map.fitBounds(tripLine.getBounds(), { padding: [24, 24], maxZoom: 18, animate: false });
            }
            return kept.length;
        } catch (e) {
            log('setTrip failed: ' + e);
            return 0;
        }
    };

    // Where on the page's container a trip point lies, for tests that click
    // it as a user would; null without such a point.
    window.__tamekTripPointOnScreen = function (index) {
        if (!trip || !map || index < 0 || index >= trip.points.length)
            return null;
        var p = trip.points[index];
        var at = map.latLngToContainerPoint([p[0], p[1]]);
        var box = map.getContainer().getBoundingClientRect();
        return JSON.stringify({ x: box.left + at.x, y: box.top + at.y });
    };

    // Read back by the tests and handy in a debugger; a JSON text so that
    // hosts get plain values.
    window.__tamekState = function () {
        var state = {
            ready: map !== null,
            marker: null,
            center: null,
            zoom: null,
            trackPoints: 0,
            tripPoints: trip ? trip.points.length : 0,
            tripHighlightPoints: tripHighlight ? tripHighlight.getLatLngs().length : 0,
            tripCurrent: tripCurrent,
            lastTripClick: lastTripClick,
            bridge: bridge !== null,
            debugCount: debugCount,
            lastDebug: lastDebug
        };
        if (map) {
            var c = map.getCenter();
            state.center = { lat: c.lat, lng: c.lng };
            state.zoom = map.getZoom();
        }
        if (marker) {
            var m = marker.getLatLng();
            state.marker = { lat: m.lat, lng: m.lng };
        }
        if (track)
            state.trackPoints = track.getLatLngs().length;
        return JSON.stringify(state);
    };

    try {
        createMap();
    } catch (e) {
        // Without Leaflet the functions above still exist and do nothing.
        log('map not created: ' + e);
    }

    // The application's object for clicks on the trip; a host without a
    // channel (a plain browser, the log's map window) has none.
    try {
        if (typeof QWebChannel !== 'undefined' && typeof qt !== 'undefined' && qt.webChannelTransport) {
            new QWebChannel(qt.webChannelTransport, function (channel) {
                bridge = channel.objects.tamek || null;
            });
        }
    } catch (e) {
        log('no web channel: ' + e);
    }
})();
