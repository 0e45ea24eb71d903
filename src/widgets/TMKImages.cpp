#include "widgets/TMKImages.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <map>

namespace {

const QColor kIcon(0xd8, 0xdc, 0xe2);
const QColor kAccent(0x4f, 0xa3, 0xe0);
const QColor kFront(0x4f, 0xa3, 0xe0);
const QColor kRear(0xe0, 0x9a, 0x4f);

using Painter = std::function<void(QPainter&, const QRectF&)>;

void playShape(QPainter& p, const QRectF& r)
{
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.2);
    path.lineTo(r.left() + r.width() * 0.8, r.center().y());
    path.lineTo(r.left() + r.width() * 0.3, r.top() + r.height() * 0.8);
    path.closeSubpath();
    p.fillPath(path, kIcon);
}

void pauseShape(QPainter& p, const QRectF& r)
{
    const double w = r.width() * 0.16;
    p.fillRect(QRectF(r.left() + r.width() * 0.28, r.top() + r.height() * 0.2, w, r.height() * 0.6), kIcon);
    p.fillRect(QRectF(r.right() - r.width() * 0.28 - w, r.top() + r.height() * 0.2, w, r.height() * 0.6), kIcon);
}

void doubleArrow(QPainter& p, const QRectF& r, bool forward)
{
    for (int i = 0; i < 2; ++i) {
        const double x0 = r.left() + r.width() * (0.15 + 0.35 * i);
        const double x1 = x0 + r.width() * 0.35;
        QPainterPath path;
        if (forward) {
            path.moveTo(x0, r.top() + r.height() * 0.25);
            path.lineTo(x1, r.center().y());
            path.lineTo(x0, r.top() + r.height() * 0.75);
        } else {
            path.moveTo(x1, r.top() + r.height() * 0.25);
            path.lineTo(x0, r.center().y());
            path.lineTo(x1, r.top() + r.height() * 0.75);
        }
        path.closeSubpath();
        p.fillPath(path, kIcon);
    }
}

void fullScreenShape(QPainter& p, const QRectF& r)
{
    QPen pen(kIcon, std::max(1.5, r.width() / 12));
    p.setPen(pen);
    const QRectF b = r.adjusted(r.width() * 0.22, r.height() * 0.22, -r.width() * 0.22, -r.height() * 0.22);
    const double c = b.width() * 0.35;
    for (const QPointF& corner : {b.topLeft(), b.topRight(), b.bottomLeft(), b.bottomRight()}) {
        const double dx = corner.x() < b.center().x() ? c : -c;
        const double dy = corner.y() < b.center().y() ? c : -c;
        p.drawLine(corner, corner + QPointF(dx, 0));
        p.drawLine(corner, corner + QPointF(0, dy));
    }
}

void swapShape(QPainter& p, const QRectF& r)
{
    QPen pen(kIcon, std::max(1.5, r.width() / 12));
    p.setPen(pen);
    const double l = r.left() + r.width() * 0.2, rr = r.right() - r.width() * 0.2;
    const double y1 = r.top() + r.height() * 0.35, y2 = r.top() + r.height() * 0.65;
    const double a = r.width() * 0.12;
    p.drawLine(QPointF(l, y1), QPointF(rr, y1));
    p.drawLine(QPointF(rr, y1), QPointF(rr - a, y1 - a));
    p.drawLine(QPointF(l, y2), QPointF(rr, y2));
    p.drawLine(QPointF(l, y2), QPointF(l + a, y2 + a));
}

void volumeShape(QPainter& p, const QRectF& r)
{
    QPainterPath path;
    const double cy = r.center().y();
    path.moveTo(r.left() + r.width() * 0.18, cy - r.height() * 0.12);
    path.lineTo(r.left() + r.width() * 0.34, cy - r.height() * 0.12);
    path.lineTo(r.left() + r.width() * 0.52, cy - r.height() * 0.28);
    path.lineTo(r.left() + r.width() * 0.52, cy + r.height() * 0.28);
    path.lineTo(r.left() + r.width() * 0.34, cy + r.height() * 0.12);
    path.lineTo(r.left() + r.width() * 0.18, cy + r.height() * 0.12);
    path.closeSubpath();
    p.fillPath(path, kIcon);
    p.setPen(QPen(kIcon, std::max(1.2, r.width() / 16)));
    p.setBrush(Qt::NoBrush);
    for (double k : {0.14, 0.24}) {
        const QRectF arc(r.left() + r.width() * (0.52 - k), cy - r.height() * k * 1.4, r.width() * k * 2,
                         r.height() * k * 2.8);
        p.drawArc(arc, -45 * 16, 90 * 16);
    }
}

// The speaker without its waves, crossed out: nothing is heard.
void volumeMutedShape(QPainter& p, const QRectF& r)
{
    p.save();
    p.setClipRect(QRectF(r.left(), r.top(), r.width() * 0.53, r.height()));
    volumeShape(p, r);
    p.restore();
    p.setPen(QPen(kIcon, std::max(1.2, r.width() / 16)));
    const double x = r.left() + r.width() * 0.62, cy = r.center().y(), d = r.width() * 0.13;
    p.drawLine(QPointF(x, cy - d), QPointF(x + 2 * d, cy + d));
    p.drawLine(QPointF(x, cy + d), QPointF(x + 2 * d, cy - d));
}

void captureShape(QPainter& p, const QRectF& r)
{
    // A camera body with its lens.
    const QRectF body(r.left() + r.width() * 0.16, r.top() + r.height() * 0.32, r.width() * 0.68, r.height() * 0.46);
    p.setPen(Qt::NoPen);
    p.setBrush(kIcon);
    p.drawRoundedRect(body, r.width() * 0.06, r.width() * 0.06);
    p.drawRect(QRectF(r.left() + r.width() * 0.38, r.top() + r.height() * 0.24, r.width() * 0.24, r.height() * 0.1));
    p.setBrush(QColor(0x23, 0x26, 0x2b));
    p.drawEllipse(body.center(), r.width() * 0.14, r.width() * 0.14);
    p.setBrush(kIcon);
    p.drawEllipse(body.center(), r.width() * 0.07, r.width() * 0.07);
}

void printShape(QPainter& p, const QRectF& r)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kIcon);
    p.drawRect(QRectF(r.left() + r.width() * 0.32, r.top() + r.height() * 0.2, r.width() * 0.36, r.height() * 0.18));
    p.drawRoundedRect(QRectF(r.left() + r.width() * 0.16, r.top() + r.height() * 0.38, r.width() * 0.68, r.height() * 0.3),
                      r.width() * 0.05, r.width() * 0.05);
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.setPen(QPen(kIcon, std::max(1.0, r.width() / 20)));
    p.drawRect(QRectF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.58, r.width() * 0.4, r.height() * 0.24));
}

// The side panel tabs: "_p" is the chosen tab, "_n" the other.
void tabShape(QPainter& p, const QRectF& r, bool pressed, bool list)
{
    p.fillRect(r, pressed ? QColor(0x3a, 0x40, 0x48) : QColor(0x2b, 0x2f, 0x35));
    if (pressed)
        p.fillRect(QRectF(r.left(), r.bottom() - 3, r.width(), 3), kAccent);
    const QColor ink = pressed ? kIcon : QColor(0x8a, 0x90, 0x98);
    const double s = std::min(r.width(), r.height()) * 0.55;
    const QRectF g(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
    if (list) {
        for (int i = 0; i < 4; ++i)
            p.fillRect(QRectF(g.left(), g.top() + i * s / 4 + s / 16, g.width(), s / 8), ink);
    } else {
        // A map pin.
        QPainterPath pin;
        pin.moveTo(g.center().x(), g.bottom());
        pin.cubicTo(g.left() - s * 0.1, g.center().y(), g.left(), g.top(), g.center().x(), g.top());
        pin.cubicTo(g.right(), g.top(), g.right() + s * 0.1, g.center().y(), g.center().x(), g.bottom());
        p.fillPath(pin, ink);
        p.setBrush(pressed ? QColor(0x3a, 0x40, 0x48) : QColor(0x2b, 0x2f, 0x35));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(g.center().x(), g.top() + s * 0.32), s * 0.14, s * 0.14);
    }
}

// The list's mode icons: a small car seen from above, coloured by camera,
// with a badge for the recording mode.
void carShape(QPainter& p, const QRectF& r, bool front, int mode)
{
    const QColor body = front ? kFront : kRear;
    const QRectF car(r.left() + r.width() * 0.3, r.top() + r.height() * 0.08, r.width() * 0.4, r.height() * 0.84);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(car, car.width() * 0.3, car.width() * 0.3);
    p.setBrush(QColor(0x20, 0x24, 0x2a));
    const double glassH = car.height() * 0.16;
    const QRectF glass = front ? QRectF(car.left() + car.width() * 0.15, car.top() + car.height() * 0.14,
                                        car.width() * 0.7, glassH)
                               : QRectF(car.left() + car.width() * 0.15, car.bottom() - car.height() * 0.14 - glassH,
                                        car.width() * 0.7, glassH);
    p.drawRect(glass);
    const QColor badge = mode == 0 ? QColor(0x6c, 0xc0, 0x6c) : mode == 1 ? QColor(0xe0, 0xc0, 0x4f)
                                                                             : QColor(0xe0, 0x55, 0x4f);
    p.setBrush(badge);
    const double d = r.width() * 0.3;
    p.drawEllipse(QRectF(r.right() - d, r.bottom() - d, d, d));
}

// The nine-part backgrounds behind the videos.
void videoBackground(QPainter& p, const QRectF& r, bool main)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, main ? QColor(0x1a, 0x1d, 0x21) : QColor(0x12, 0x14, 0x17));
    g.setColorAt(1, QColor(0x0c, 0x0d, 0x0f));
    p.fillRect(r, g);
    p.setPen(QPen(QColor(0x3a, 0x40, 0x48), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
}

// The logos shown while no video plays: camera name on a lens.
void logo(QPainter& p, const QRectF& r, bool front)
{
    const QColor ink = front ? kFront : kRear;
    const double s = std::min(r.width(), r.height());
    const QPointF c(r.center().x(), r.top() + r.height() * 0.42);
    p.setPen(QPen(ink, s * 0.05));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, s * 0.22, s * 0.22);
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawEllipse(c, s * 0.09, s * 0.09);
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(8, int(s * 0.16)));
    p.setFont(font);
    p.setPen(QColor(0xd8, 0xdc, 0xe2));
    p.drawText(QRectF(r.left(), r.top() + r.height() * 0.72, r.width(), r.height() * 0.25), Qt::AlignCenter,
               front ? QStringLiteral("FRONT") : QStringLiteral("REAR"));
}

void bottomBackground(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x30, 0x34, 0x3a, 230));
    g.setColorAt(1, QColor(0x18, 0x1a, 0x1e, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, 6, 6);
}

const std::map<QString, Painter>& painters()
{
    static const std::map<QString, Painter> table = [] {
        std::map<QString, Painter> t;
        t[QStringLiteral("icon_play")] = playShape;
        t[QStringLiteral("icon_pause")] = pauseShape;
        t[QStringLiteral("icon_ff")] = [](QPainter& p, const QRectF& r) { doubleArrow(p, r, true); };
        t[QStringLiteral("icon_rew")] = [](QPainter& p, const QRectF& r) { doubleArrow(p, r, false); };
        t[QStringLiteral("icon_fullscreen")] = fullScreenShape;
        t[QStringLiteral("icon_swap")] = swapShape;
        t[QStringLiteral("icon_volume")] = volumeShape;
        t[QStringLiteral("icon_volume_muted")] = volumeMutedShape;
        t[QStringLiteral("icon_capture")] = captureShape;
        t[QStringLiteral("icon_print")] = printShape;
        t[QStringLiteral("record_p")] = [](QPainter& p, const QRectF& r) { tabShape(p, r, true, true); };
        t[QStringLiteral("record_n")] = [](QPainter& p, const QRectF& r) { tabShape(p, r, false, true); };
        t[QStringLiteral("information_p")] = [](QPainter& p, const QRectF& r) { tabShape(p, r, true, false); };
        t[QStringLiteral("information_n")] = [](QPainter& p, const QRectF& r) { tabShape(p, r, false, false); };
        const char* modes[] = {"alwa", "motion", "event"};
        for (int mode = 0; mode < 3; ++mode) {
            t[QStringLiteral("car_front_%1").arg(QLatin1String(modes[mode]))] =
                [mode](QPainter& p, const QRectF& r) { carShape(p, r, true, mode); };
            t[QStringLiteral("car_rear_%1").arg(QLatin1String(modes[mode]))] =
                [mode](QPainter& p, const QRectF& r) { carShape(p, r, false, mode); };
        }
        t[QStringLiteral("v1")] = [](QPainter& p, const QRectF& r) { videoBackground(p, r, true); };
        t[QStringLiteral("v2")] = [](QPainter& p, const QRectF& r) { videoBackground(p, r, false); };
        t[QStringLiteral("v1_front_logo")] = [](QPainter& p, const QRectF& r) { logo(p, r, true); };
        t[QStringLiteral("v1_rear_logo")] = [](QPainter& p, const QRectF& r) { logo(p, r, false); };
        t[QStringLiteral("v2_front_logo")] = [](QPainter& p, const QRectF& r) { logo(p, r, true); };
        t[QStringLiteral("v2_rear_logo")] = [](QPainter& p, const QRectF& r) { logo(p, r, false); };
        t[QStringLiteral("bottom-background")] = bottomBackground;
        return t;
    }();
    return table;
}

QString baseName(QString name)
{
    if (name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

} // namespace

QImage TMKImageNamed(const QString& name, QSize size)
{
    const auto& table = painters();
    const auto found = table.find(baseName(name));
    if (found == table.end() || size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    found->second(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

bool TMKHasImageNamed(const QString& name)
{
    return painters().count(baseName(name)) > 0;
}

QStringList TMKImageNames()
{
    QStringList names;
    for (const auto& [name, painter] : painters())
        names.push_back(name);
    return names;
}
