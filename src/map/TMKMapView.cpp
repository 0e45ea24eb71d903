#include "map/TMKMapView.h"

#include <QDebug>
#include <QWebChannel>

#include <cmath>

TMKMapPage::TMKMapPage(QObject* parent)
    : QWebEnginePage(parent)
{
}

void TMKMapPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                          int lineNumber, const QString& sourceID)
{
    emit consoleMessage(level, message);
    if (level != ErrorMessageLevel)
        return;
    ++m_errorCount;
    qWarning().noquote() << QStringLiteral("[map] %1:%2: %3").arg(sourceID).arg(lineNumber).arg(message);
    emit scriptError(message);
}

void TMKMapBridge::tripPointClicked(const QString& path, double seconds)
{
    // The page is a web page: what it sends is checked like any input.
    if (path.isEmpty() || !std::isfinite(seconds) || seconds < 0)
        return;
    emit tripPointClickedOnPage(path, seconds);
}

TMKMapView::TMKMapView(QWidget* parent)
    : QWebEngineView(parent)
    , m_page(new TMKMapPage(this))
    , m_channel(new QWebChannel(this))
    , m_bridge(new TMKMapBridge(this))
{
    m_channel->registerObject(QStringLiteral("tamek"), m_bridge);
    m_page->setWebChannel(m_channel);
    setPage(m_page);
    connect(m_bridge, &TMKMapBridge::tripPointClickedOnPage, this, &TMKMapView::tripPointClicked);
    connect(m_page, &QWebEnginePage::loadStarted, this, &TMKMapView::onLoadStarted);
    connect(m_page, &QWebEnginePage::loadFinished, this, &TMKMapView::onLoadFinished);
    connect(m_page, &TMKMapPage::scriptError, this, &TMKMapView::scriptError);
}

QUrl TMKMapView::pageUrl()
{
    return QUrl(QStringLiteral("qrc:/map/map2_eng.htm"));
}

void TMKMapView::loadPage()
{
    m_loaded = false;
    m_page->load(pageUrl());
}

void TMKMapView::evaluateWebScript(const QString& script)
{
    emit scriptRequested(script);
    if (m_loaded) {
        m_page->runJavaScript(script);
        return;
    }
    m_queue.append(script);
}

void TMKMapView::onLoadStarted()
{
    // Scripts sent while another page is coming would run against the old one.
    m_loaded = false;
}

void TMKMapView::onLoadFinished(bool ok)
{
    m_loaded = ok;
    if (ok) {
        const QList<QString> waiting = m_queue.take();
        for (const QString& script : waiting)
            m_page->runJavaScript(script);
    } else {
        qWarning().noquote() << "[map] the map page did not load:" << pageUrl().toString();
    }
    emit pageLoaded(ok);
}
