#include "clip/TMKClipOverlay.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kKmPerMile = 1.609344;
constexpr double kFixMaxAgeSeconds = 3;
constexpr double kTraceSeconds = 5;

int even(double value)
{
    return static_cast<int>(std::lround(value / 2)) * 2;
}

QString twoDigits(int64_t value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString cameraTime(int64_t ms)
{
    // Civil date of a day count (Howard Hinnant's algorithm), the clock
    // having no zone of its own.
    const int64_t seconds = ms / 1000;
    int64_t days = seconds / 86400;
    const int64_t inDay = seconds % 86400;
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2);
    return QStringLiteral("%1/%2/%3 %4:%5:%6")
        .arg(year)
        .arg(twoDigits(month), twoDigits(day), twoDigits(inDay / 3600), twoDigits(inDay / 60 % 60),
             twoDigits(inDay % 60));
}

} // namespace

TMKClipOverlaySample TMKClipOverlaySampleAt(const TMKTrip& trip, const TMKTripTelemetry& telemetry, double seconds)
{
    TMKClipOverlaySample sample;
    if (!trip.recordings.empty() && trip.recordings.front().lead()
        && TMKMediaStartSeconds(*trip.recordings.front().lead())) {
        sample.hasTime = true;
        sample.cameraMilliseconds = trip.startSeconds() * 1000 + static_cast<int64_t>(std::floor(seconds * 1000));
    }
    const auto& points = telemetry.points;
    auto fix = std::upper_bound(points.begin(), points.end(), seconds,
                                [](double t, const TMKTrackPoint& p) { return t < p.seconds; });
    if (fix != points.begin() && seconds - std::prev(fix)->seconds <= kFixMaxAgeSeconds) {
        const TMKTrackPoint& p = *std::prev(fix);
        sample.hasFix = true;
        sample.speedKmh = p.speedKmh;
        sample.latitude = p.latitude;
        sample.longitude = p.longitude;
    }
    const auto& samples = telemetry.samples;
    const auto g = std::upper_bound(samples.begin(), samples.end(), seconds,
                                    [](double t, const TMKTripSample& s) { return t < s.seconds; });
    if (g != samples.begin() && seconds - std::prev(g)->seconds <= 1) {
        const TMKTripSample& s = *std::prev(g);
        sample.hasG = true;
        sample.g = {s.x, s.y, s.z};
        for (auto it = samples.begin(); it != g; ++it) {
            if (it->seconds > seconds - kTraceSeconds)
                sample.trace.push_back({it->x, it->y, it->z});
        }
    }
    return sample;
}

TMKClipOverlay::TMKClipOverlay(TMKClipOverlayParts parts, TMKClipUnits units, QSize frame)
    : m_parts(parts), m_units(units), m_frame(frame)
{
    const int height = std::max(16, even(frame.height() * 0.06));
    m_rect = QRect(0, even(frame.height() - height), even(frame.width()), height);
}

QStringList TMKClipOverlay::texts(const TMKClipOverlaySample& s) const
{
    QStringList parts;
    if (m_parts.time)
        parts << (s.hasTime ? cameraTime(s.cameraMilliseconds) : QStringLiteral("----/--/-- --:--:--"));
    if (m_parts.speed) {
        const bool mph = m_units == TMKClipUnits::Mph;
        const QString unit = mph ? QStringLiteral("mph") : QStringLiteral("km/h");
        parts << (s.hasFix ? QStringLiteral("%1 %2").arg(std::lround(mph ? s.speedKmh / kKmPerMile : s.speedKmh)).arg(unit)
                           : QStringLiteral("-- ") + unit);
    }
    if (m_parts.position) {
        parts << (s.hasFix ? QStringLiteral("%1%2 %3%4")
                                 .arg(std::fabs(s.latitude), 0, 'f', 5)
                                 .arg(s.latitude < 0 ? QLatin1Char('S') : QLatin1Char('N'))
                                 .arg(std::fabs(s.longitude), 0, 'f', 5)
                                 .arg(s.longitude < 0 ? QLatin1Char('W') : QLatin1Char('E'))
                           : QStringLiteral("no GPS fix"));
    }
    if (m_parts.gforce && !m_parts.gforceTrace) {
        parts << (s.hasG ? QStringLiteral("X %1 Y %2 Z %3 g")
                               .arg(double(s.g[0]), 0, 'f', 2)
                               .arg(double(s.g[1]), 0, 'f', 2)
                               .arg(double(s.g[2]), 0, 'f', 2)
                         : QStringLiteral("X -- Y -- Z -- g"));
    }
    return parts;
}

QString TMKClipOverlay::key(const TMKClipOverlaySample& sample) const
{
    QString k = texts(sample).join(QLatin1Char('|'));
    if (m_parts.gforce && m_parts.gforceTrace) {
        for (const auto& g : sample.trace)
            k += QStringLiteral("|%1,%2,%3").arg(double(g[0]), 0, 'f', 2).arg(double(g[1]), 0, 'f', 2).arg(double(g[2]), 0, 'f', 2);
    }
    return k;
}

QImage TMKClipOverlay::render(const TMKClipOverlaySample& sample) const
{
    QImage strip(m_rect.size(), QImage::Format_ARGB32_Premultiplied);
    strip.fill(QColor(16, 16, 16));
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(std::max(8, m_rect.height() * 6 / 10));
    painter.setFont(font);
    painter.setPen(QColor(245, 245, 245));

    int textRight = m_rect.width();
    if (m_parts.gforce && m_parts.gforceTrace) {
        // The three axes over the last seconds, ±2 g full height.
        const int w = std::min(m_rect.width() / 4, m_rect.height() * 4);
        const QRect box(m_rect.width() - w - 4, 2, w, m_rect.height() - 4);
        textRight = box.left() - 4;
        painter.setPen(QColor(90, 90, 90));
        painter.drawLine(box.left(), box.center().y(), box.right(), box.center().y());
        static const QColor kAxis[3] = {QColor(255, 90, 90), QColor(90, 220, 90), QColor(90, 150, 255)};
        const std::size_t n = sample.trace.size();
        for (int axis = 0; axis < 3 && n > 1; ++axis) {
            QPainterPath path;
            for (std::size_t i = 0; i < n; ++i) {
                const double x = box.left() + box.width() * static_cast<double>(i) / static_cast<double>(n - 1);
                const double v = std::clamp(double(sample.trace[i][static_cast<std::size_t>(axis)]), -2.0, 2.0);
                const double y = box.center().y() - v / 2.0 * box.height() / 2.0;
                i == 0 ? path.moveTo(x, y) : path.lineTo(x, y);
            }
            painter.setPen(QPen(kAxis[axis], 1.5));
            painter.drawPath(path);
        }
        painter.setPen(QColor(245, 245, 245));
    }
    const QString text = texts(sample).join(QStringLiteral("   "));
    painter.drawText(QRect(m_rect.height() / 3, 0, textRight - m_rect.height() / 3, m_rect.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, text);
    return strip;
}
