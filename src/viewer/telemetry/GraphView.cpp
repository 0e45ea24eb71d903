#include "viewer/telemetry/GraphView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double kLeft = 20;
constexpr double kBottom = 8;

double axisValue(const TMKGSensor& sample, int axis)
{
    return axis == 0 ? sample.x : axis == 1 ? sample.y : sample.z;
}

} // namespace

GraphView::GraphView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("graphView"));
}

void GraphView::setGraphData(std::vector<TMKGSensor> values)
{
    m_values = std::move(values);
    update();
}

void GraphView::updateTimePosition(double position)
{
    m_timePosition = position;
    update();
}

QRectF GraphView::graphArea(QSizeF bounds)
{
    return {kLeft, kBottom, bounds.width() - 40, bounds.height() - 16};
}

std::vector<double> GraphView::gridLineHeights(QSizeF bounds)
{
    const double h = graphArea(bounds).height();
    std::vector<double> heights;
    for (int k = 0; k <= 4; ++k)
        heights.push_back(kBottom + k * h / 4);
    return heights;
}

std::vector<QPointF> GraphView::curvePoints(const std::vector<TMKGSensor>& values, int axis, QSizeF bounds)
{
    std::vector<QPointF> points;
    if (values.empty())
        return points;
    const QRectF area = graphArea(bounds);
    const double w = area.width();
    const double h = area.height();
    const double y0 = kBottom + h / 2;
    const double steps = 10 * w + 1;
    if (!(steps > 0))
        return points;
    const double n = static_cast<double>(values.size());
    const double q = n / steps;
    points.emplace_back(21, y0 + axisValue(values[0], axis) * h / 4);
    for (long long k = 1; static_cast<double>(k) < steps; ++k) {
        const auto index = static_cast<std::size_t>(std::trunc(q * static_cast<double>(k)));
        if (index >= values.size())
            break;
        points.emplace_back(21 + static_cast<double>(k) * 0.1, y0 + axisValue(values[index], axis) * h / 4);
    }
    return points;
}

QRectF GraphView::timeBar(QSizeF bounds, double position)
{
    const QRectF area = graphArea(bounds);
    return {kLeft + area.width() * position, kBottom, 2, area.height()};
}

void GraphView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QSizeF bounds = size();
    const double H = bounds.height();
    // Bottom-left coordinates to the widget's top-left ones.
    const auto flip = [H](QPointF p) { return QPointF(p.x(), H - p.y()); };
    const QRectF area = graphArea(bounds);

    const QColor grey = QColor::fromRgbF(0.8f, 0.8f, 0.8f);
    painter.setPen(QPen(grey, 1));
    for (double y : gridLineHeights(bounds))
        painter.drawLine(flip({kLeft, y}), flip({kLeft + area.width(), y}));
    painter.drawLine(flip({kLeft, kBottom}), flip({kLeft, kBottom + area.height()}));

    QFont font(QStringLiteral("helvetica"));
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetricsF metrics(font);
    const char* labels[] = {"-2", "-1", "0", "+1", "+2"};
    const std::vector<double> heights = gridLineHeights(bounds);
    for (int k = 0; k < 5; ++k) {
        const QString text = QLatin1String(labels[k]);
        const double width = metrics.horizontalAdvance(text);
        // The label's bottom sits at the line's height minus half its height plus 2.
        const double bottom = heights[static_cast<std::size_t>(k)] - metrics.height() / 2 + 2;
        painter.drawText(flip({kLeft - 2 - width, bottom}) - QPointF(0, metrics.descent()), text);
    }

    if (m_values.empty())
        return;
    painter.setRenderHint(QPainter::Antialiasing); // curves only; the grid stays crisp
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    for (int axis = 0; axis < 3; ++axis) {
        const std::vector<QPointF> points = curvePoints(m_values, axis, bounds);
        QPainterPath path(flip(points.front()));
        for (std::size_t i = 1; i < points.size(); ++i)
            path.lineTo(flip(points[i]));
        QPen pen(colours[axis], 1);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    const QRectF bar = timeBar(bounds, m_timePosition);
    painter.fillRect(QRectF(flip(bar.bottomLeft()), flip(bar.topRight())).normalized(), Qt::white);
}
