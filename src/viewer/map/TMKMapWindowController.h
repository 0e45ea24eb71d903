#pragma once

// The separate map window the drive-log viewers open beside themselves to
// show the position of a log row. It stays open and is reused by its opener.

#include <QMainWindow>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>

class QShowEvent;
class TMKMapView;

class TMKMapWindowController : public QMainWindow {
    Q_OBJECT

public:
    explicit TMKMapWindowController(QWidget* parent = nullptr);

    // Logs the frame and loads the page. Runs once, on the first show at the
    // latest; later calls do nothing, so a reused window keeps its page.
    void windowDidLoad();

    // Puts this window's left edge on rect's right edge and the tops level,
    // keeping the size. rect is normally the opener's frame.
    void moveWindowRightBy(const QRect& rect);

    // Shows latitude, longitude (decimal degrees) on the map.
    void updateMapLat(double lat, double lng);

    [[nodiscard]] TMKMapView* mapWebView() const { return m_mapWebView; }

    // Frame position for moveWindowRightBy in Qt's screen coordinates (origin
    // top left, y down).
    [[nodiscard]] static QPoint frameOriginRightOf(const QRect& rect);
    // The same rule with the origin at the bottom left and y up, where a
    // window's origin is its bottom-left corner.
    [[nodiscard]] static QPointF bottomLeftOriginRightOf(const QRectF& rect, double ownHeight);

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMKMapView* m_mapWebView;
    bool m_didLoad = false;
};
