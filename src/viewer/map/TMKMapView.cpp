#include "TMKMapView.h"

#include <QDebug>

#include <algorithm>
#include <utility>

namespace {

// The function a script calls: the text before its first '('.
QStringView calledFunction(const QString& script)
{
    const qsizetype paren = script.indexOf(u'(');
    return paren < 0 ? QStringView() : QStringView(script).left(paren).trimmed();
}

// A later call of these replaces the state an earlier one set, so only the
// latest needs to wait for the page.
bool supersedesEarlierCalls(QStringView function)
{
    return function == u"setLatLag" || function == u"setTrack";
}

} // namespace

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

TMKMapView::TMKMapView(QWidget* parent)
    : QWebEngineView(parent)
    , m_page(new TMKMapPage(this))
{
    setPage(m_page);
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
    const QStringView function = calledFunction(script);
    if (supersedesEarlierCalls(function))
        m_queue.removeIf([function](const QString& queued) { return calledFunction(queued) == function; });
    if (m_queue.size() >= MaxQueuedScripts) {
        // Drop the oldest diagnostic, never the one latest position or track.
        const auto oldest = std::find_if(m_queue.begin(), m_queue.end(), [](const QString& queued) {
            return !supersedesEarlierCalls(calledFunction(queued));
        });
        m_queue.erase(oldest == m_queue.end() ? m_queue.begin() : oldest);
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
        const QList<QString> waiting = std::exchange(m_queue, {});
        for (const QString& script : waiting)
            m_page->runJavaScript(script);
    } else {
        qWarning().noquote() << "[map] the map page did not load:" << pageUrl().toString();
    }
    emit pageLoaded(ok);
}
