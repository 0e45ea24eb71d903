#include "map/TMKMapWindowController.h"

#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMargins>
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
    const QRect inside = geometry();
    const QRect outside = frameGeometry();
    QMargins frame(inside.left() - outside.left(), inside.top() - outside.top(), outside.right() - inside.right(),
                   outside.bottom() - inside.bottom());
    // Just shown, the window may not be framed yet: move() then places its
    // inside, and the title bar still to come must fit above it.
    const bool framed = frame.top() > 0;
    if (!framed)
        frame = QMargins(4, 30, 4, 4);
    const QRect placed = frameBeside(rect, size().grownBy(frame), available);
    resize(placed.size().shrunkBy(frame));
    move(framed ? placed.topLeft() : placed.topLeft() + QPoint(frame.left(), frame.top()));
}

void TMKMapWindowController::updateMapLat(double lat, double lng)
{
    m_mapWebView->evaluateWebScript(TMKSetLatLagScript(lat, lng));
}
