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

    var map = null;
    var marker = null;
    var track = null;
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

    // Read back by the tests and handy in a debugger; a JSON text so that
    // hosts get plain values.
    window.__tamekState = function () {
        var state = {
            ready: map !== null,
            marker: null,
            center: null,
            zoom: null,
            trackPoints: 0,
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
})();
