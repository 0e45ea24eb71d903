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

    // Places this window beside rect (normally the opener's frame) within
    // the available area of rect's screen, by frameBeside.
    void moveWindowRightBy(const QRect& rect);

    // Shows latitude, longitude (decimal degrees) on the map.
    void updateMapLat(double lat, double lng);

    [[nodiscard]] TMKMapView* mapWebView() const { return m_mapWebView; }

    // Where a frame of `size` goes beside `opener`, in Qt's screen
    // coordinates (y down), so that it lies wholly within `available`: right
    // of the opener, tops level, when there is room; else left of it; else
    // against the side of `available` with more room, overlapping the
    // opener. The tops stay level unless that would leave the area; a frame
    // larger than the area is cut to it. So the map's centre, where its
    // point is, is always on the screen.
    [[nodiscard]] static QRect frameBeside(const QRect& opener, QSize size, const QRect& available);
    // The same rule with the origin at the bottom left and y up, where a
    // window's origin is its bottom-left corner.
    [[nodiscard]] static QPointF bottomLeftOriginRightOf(const QRectF& rect, double ownHeight);

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMKMapView* m_mapWebView;
    bool m_didLoad = false;
};
