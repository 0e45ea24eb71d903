#pragma once

#include "media/TMKGpsData.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <vector>

// The G-sensor graph: the three axes over the whole recording, -2 g to +2 g,
// with a bar at the play position. The geometry is computed in the graph's
// own coordinates (origin at the bottom left, y upwards) and flipped only
// when painting, so it is tested by its numbers. Main thread only.
class GraphView : public QWidget {
    Q_OBJECT

public:
    explicit GraphView(QWidget* parent = nullptr);

    void setGraphData(std::vector<TMKGSensor> values);
    void updateTimePosition(double position);
    [[nodiscard]] const std::vector<TMKGSensor>& values() const { return m_values; }
    [[nodiscard]] double timePosition() const { return m_timePosition; }

    // Bottom-left coordinates for a view of `bounds`.
    [[nodiscard]] static QRectF graphArea(QSizeF bounds);
    [[nodiscard]] static std::vector<double> gridLineHeights(QSizeF bounds);
    // axis 0 x, 1 y, 2 z.
    [[nodiscard]] static std::vector<QPointF> curvePoints(const std::vector<TMKGSensor>& values, int axis,
                                                          QSizeF bounds);
    [[nodiscard]] static QRectF timeBar(QSizeF bounds, double position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TMKGSensor> m_values;
    double m_timePosition = 0;
};
