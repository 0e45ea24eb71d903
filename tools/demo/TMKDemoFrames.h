#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// Draws the frames of the demo recordings: a plain street scene seen from
// the front or the rear camera, with the camera's overlay (channel, local
// date and time, speed). Needs a QGuiApplication for the fonts.
struct TMKDemoFrame {
    bool rear = false;
    QString dateTime;        // as the overlay shows it, "2026/11/07 08:15:03"
    double kmh = 0;
    double distance = 0;     // metres driven: moves the lane markings
    double yawDegrees = 0;   // degrees per second, right positive: swings the view
    double latitude = 0;
    double longitude = 0;
};

[[nodiscard]] QImage TMKDrawDemoFrame(const TMKDemoFrame& frame, QSize size);
// Baseline JPEG bytes; empty when encoding failed.
[[nodiscard]] std::vector<uint8_t> TMKEncodeJpeg(const QImage& image, int quality);
