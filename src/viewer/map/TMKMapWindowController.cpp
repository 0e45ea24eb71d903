#include "viewer/map/TMKMapWindowController.h"

#include "viewer/map/TMKMapScripts.h"
#include "viewer/map/TMKMapView.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

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

QRect TMKMapWindowController::frameBeside(const QRect& opener, QSize size, const QRect& available)
{
    size = size.boundedTo(available.size());
    const int right = opener.x() + opener.width();
    const int roomRight = available.x() + available.width() - right;
    const int roomLeft = opener.x() - available.x();
    int x = 0;
    if (roomRight >= size.width())
        x = right;
    else if (roomLeft >= size.width())
        x = opener.x() - size.width();
    else if (roomRight >= roomLeft)
        x = available.x() + available.width() - size.width();
    else
        x = available.x();
    const int y = std::clamp(opener.y(), available.y(), available.y() + available.height() - size.height());
    return {QPoint(x, y), size};
}

QPointF TMKMapWindowController::bottomLeftOriginRightOf(const QRectF& rect, double ownHeight)
{
    return {rect.x() + rect.width(), rect.y() + rect.height() - ownHeight};
}

void TMKMapWindowController::moveWindowRightBy(const QRect& rect)
{
    const QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : rect.united(QRect(rect.topRight(), size()));
    const QRect frame = frameGeometry();
    const QRect placed = frameBeside(rect, frame.size(), available);
    // move() places the frame, as rect is a frame too; resize() sizes the
    // inside, which is smaller by the frame's margins.
    if (placed.size() != frame.size())
        resize(size() - (frame.size() - placed.size()));
    move(placed.topLeft());
}

void TMKMapWindowController::updateMapLat(double lat, double lng)
{
    m_mapWebView->evaluateWebScript(TMKSetLatLagScript(lat, lng));
}
