#include "TMKDemoFrames.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

struct Palette {
    QColor skyTop;
    QColor skyHorizon;
    QColor ground;
    QColor road;
    QColor facadeA;
    QColor facadeB;
    QColor car;
};

// The rear camera looks into the low sun behind the car: warmer, darker.
const Palette kFront{QColor(0x3f, 0x86, 0xd4), QColor(0xc4, 0xe0, 0xf6), QColor(0xb4, 0xad, 0x9c),
                     QColor(0x55, 0x58, 0x5e), QColor(0xe0, 0xc0, 0x7a), QColor(0xd8, 0xd2, 0xc4),
                     QColor(0x1d, 0x25, 0x2e)};
const Palette kRear{QColor(0x5c, 0x4a, 0x7d), QColor(0xf0, 0xb8, 0x8a), QColor(0x86, 0x7c, 0x70),
                    QColor(0x3e, 0x3d, 0x44), QColor(0x9c, 0x72, 0x5a), QColor(0x7e, 0x78, 0x84),
                    QColor(0x12, 0x12, 0x16)};

constexpr double kDashPeriod = 12.0; // metres from one centre dash to the next
constexpr double kDashLength = 4.0;
constexpr double kPostPeriod = 25.0; // street lamps along both kerbs
constexpr double kCameraHeight = 1.2;

void drawScene(QPainter& p, const TMKDemoFrame& frame, double w, double h)
{
    const Palette& c = frame.rear ? kRear : kFront;
    const double horizon = std::round(h * 0.45);
    // The road ahead bends towards the turn.
    const double vanishX = w / 2 + std::clamp(frame.yawDegrees, -50.0, 50.0) / 50.0 * w * 0.3;

    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, c.skyTop);
    sky.setColorAt(1, c.skyHorizon);
    p.fillRect(QRectF(0, 0, w, horizon), sky);
    p.fillRect(QRectF(0, horizon, w, h - horizon), c.ground);

    // Facades on both sides of the street, shifting a little in turns.
    const double shift = vanishX - w / 2;
    const double blocks[][3] = {{0.00, 0.17, 0.26}, {0.17, 0.30, 0.20}, {0.30, 0.40, 0.12},
                                {0.60, 0.70, 0.12}, {0.70, 0.84, 0.22}, {0.84, 1.00, 0.27}};
    for (std::size_t i = 0; i < std::size(blocks); ++i) {
        const QRectF facade(blocks[i][0] * w + shift, horizon - blocks[i][2] * h, (blocks[i][1] - blocks[i][0]) * w,
                            blocks[i][2] * h + 1);
        p.fillRect(facade, i % 2 ? c.facadeB : c.facadeA);
    }

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(c.road);
    p.drawPolygon(QPolygonF({QPointF(vanishX - 3, horizon), QPointF(vanishX + 3, horizon), QPointF(w * 1.05, h),
                             QPointF(-w * 0.05, h)}));
    p.setPen(QPen(QColor(0xee, 0xee, 0xe8), 1.5));
    p.drawLine(QPointF(vanishX - 2, horizon), QPointF(w * 0.02, h));
    p.drawLine(QPointF(vanishX + 2, horizon), QPointF(w * 0.98, h));

    // Centre dashes in perspective: depth z metres maps to y = horizon + f*H/z,
    // with f chosen so that the bottom row lies 3 m ahead.
    const double focal = (h - horizon) * 3.0 / kCameraHeight;
    const double phase = std::fmod(frame.distance, kDashPeriod);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xf4, 0xee));
    for (int k = 0; k < 8; ++k) {
        // Ahead, the dashes come towards the car; behind it they recede.
        const double z0 = frame.rear ? k * kDashPeriod + phase : k * kDashPeriod - phase;
        const double zNear = std::max(z0, 3.0);
        const double zFar = z0 + kDashLength;
        if (zFar <= zNear)
            continue;
        struct Edge {
            double x;
            double y;
            double halfWidth;
        };
        const auto at = [&](double z) {
            const double y = horizon + focal * kCameraHeight / z;
            const double t = (y - horizon) / (h - horizon);
            return Edge{vanishX + (w / 2 - vanishX) * t, y, w * 0.02 * t};
        };
        const Edge n = at(zNear);
        const Edge f = at(zFar);
        p.drawPolygon(QPolygonF({QPointF(f.x - f.halfWidth, f.y), QPointF(f.x + f.halfWidth, f.y),
                                 QPointF(n.x + n.halfWidth, n.y), QPointF(n.x - n.halfWidth, n.y)}));
    }

    // Street lamps on both kerbs, passing by as the dashes do.
    const double postPhase = std::fmod(frame.distance, kPostPeriod);
    p.setPen(QPen(QColor(0x2a, 0x2c, 0x30), 1.0));
    for (int k = 0; k < 6; ++k) {
        const double z = frame.rear ? k * kPostPeriod + postPhase : (k + 1) * kPostPeriod - postPhase;
        if (z < 4)
            continue;
        const double y = horizon + focal * kCameraHeight / z;
        const double t = (y - horizon) / (h - horizon);
        const double height = t * (h - horizon) * 5.0 / kCameraHeight;
        for (const double side : {-0.62, 0.62}) {
            const double x = vanishX + (w / 2 + side * w * 1.2 - vanishX) * t;
            p.drawLine(QPointF(x, y), QPointF(x, y - height));
        }
    }

    // The bonnet in front, the boot lid seen through the rear window behind.
    QPainterPath body;
    if (frame.rear) {
        body.moveTo(0, h);
        body.lineTo(0, h * 0.86);
        body.lineTo(w * 0.2, h * 0.83);
        body.lineTo(w * 0.8, h * 0.83);
        body.lineTo(w, h * 0.86);
        body.lineTo(w, h);
    } else {
        body.moveTo(0, h);
        body.quadTo(w / 2, h * 0.64, w, h);
    }
    p.setBrush(c.car);
    p.drawPath(body);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void drawOutlinedText(QPainter& p, const QRectF& box, int flags, const QString& text)
{
    p.setPen(QColor(0, 0, 0, 200));
    p.drawText(box.translated(1, 1), flags, text);
    p.setPen(Qt::white);
    p.drawText(box, flags, text);
}

void drawOverlay(QPainter& p, const TMKDemoFrame& frame, double w, double h)
{
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setBold(true);
    label.setPixelSize(std::max(10, static_cast<int>(h * 0.16)));
    p.setFont(label);
    const QRectF top(w * 0.03, h * 0.02, w * 0.94, h * 0.2);
    drawOutlinedText(p, top, (frame.rear ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop,
                     frame.rear ? QStringLiteral("REAR") : QStringLiteral("FRONT"));

    const double strip = std::max(12.0, std::round(h * 0.1));
    p.fillRect(QRectF(0, h - strip, w, strip), QColor(0, 0, 0, 150));
    QFont small(QStringLiteral("DejaVu Sans Mono"));
    small.setPixelSize(std::max(8, static_cast<int>(strip * 0.7)));
    p.setFont(small);
    const QRectF line(w * 0.02, h - strip, w * 0.96, strip);
    drawOutlinedText(p, line, Qt::AlignLeft | Qt::AlignVCenter, frame.dateTime);
    drawOutlinedText(p, line, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 km/h").arg(std::lround(frame.kmh)));
    // The position goes opposite the channel label.
    const QRectF corner(w * 0.03, h * 0.03, w * 0.94, strip);
    drawOutlinedText(p, corner, (frame.rear ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop,
                     QStringLiteral("N%1 E%2").arg(frame.latitude, 0, 'f', 4).arg(frame.longitude, 0, 'f', 4));
}

} // namespace

QImage TMKDrawDemoFrame(const TMKDemoFrame& frame, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const double w = size.width();
    const double h = size.height();
    {
        QPainter painter(&image);
        drawScene(painter, frame, w, h);
    }
    // Rear cameras show a mirror image, as a rear-view mirror would.
    if (frame.rear)
        image = image.mirrored(true, false);
    QPainter painter(&image);
    drawOverlay(painter, frame, w, h);
    return image;
}

std::vector<uint8_t> TMKEncodeJpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality))
        return {};
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
