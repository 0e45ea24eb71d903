#include "viewer/map/TMKMapWindowController.h"

#include "viewer/map/TMKMapScripts.h"
#include "viewer/map/TMKMapView.h"

#include <QDebug>
#include <QShowEvent>

TMKMapWindowController::TMKMapWindowController(QWidget* parent)
    : QMainWindow(parent)
    , m_mapWebView(new TMKMapView(this))
{
    setObjectName(QStringLiteral("TMKMapWindowController"));
    setWindowTitle(tr("Map"));
    setCentralWidget(m_mapWebView);
    resize(480, 420);
}

void TMKMapWindowController::windowDidLoad()
{
    if (m_didLoad)
        return;
    m_didLoad = true;
    qInfo().nospace() << "[TMKMapWindowController] " << frameGeometry();
    m_mapWebView->loadPage();
}

void TMKMapWindowController::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    windowDidLoad();
}

QPoint TMKMapWindowController::frameOriginRightOf(const QRect& rect)
{
    // With y down the tops meet at rect.y() whatever this window's height.
    return {rect.x() + rect.width(), rect.y()};
}

QPointF TMKMapWindowController::bottomLeftOriginRightOf(const QRectF& rect, double ownHeight)
{
    return {rect.x() + rect.width(), rect.y() + rect.height() - ownHeight};
}

void TMKMapWindowController::moveWindowRightBy(const QRect& rect)
{
    // move() places the frame, as rect is a frame too; it takes effect at
    // once, without animation.
    move(frameOriginRightOf(rect));
}

void TMKMapWindowController::updateMapLat(double lat, double lng)
{
    m_mapWebView->evaluateWebScript(TMKSetLatLagScript(lat, lng));
}
