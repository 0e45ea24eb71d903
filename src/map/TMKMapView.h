#pragma once

// The web view that shows the map page "map2_eng.htm" from the application's
// resources. Scripts are fire-and-forget, as the page's results are never
// used; those given before the page has loaded wait for it (TMKMapScriptQueue).
// Main thread only; the page calls back over QWebChannel on it too.

#include "map/TMKMapScripts.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

// Counts the page's script errors: an error in the page would otherwise go
// unseen, since nobody reads the results of the calls.
class TMKMapPage : public QWebEnginePage {
    Q_OBJECT

public:
    explicit TMKMapPage(QObject* parent = nullptr);

    [[nodiscard]] int errorCount() const { return m_errorCount; }

signals:
    void consoleMessage(QWebEnginePage::JavaScriptConsoleMessageLevel level, const QString& message);
    void scriptError(const QString& message);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    int m_errorCount = 0;
};

class QWebChannel;

// The object the page reaches as "tamek" over QWebChannel.
class TMKMapBridge : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    // A click on the trip's track: the recording (its path, as the trip
    // script named it) and the time in it of the nearest fix.
    void tripPointClicked(const QString& path, double seconds);

signals:
    void tripPointClickedOnPage(const QString& path, double seconds);
};

class TMKMapView : public QWebEngineView {
    Q_OBJECT

public:
    static constexpr qsizetype MaxQueuedScripts = TMKMapScriptQueue::kMaxScripts;

    explicit TMKMapView(QWidget* parent = nullptr);

    [[nodiscard]] static QUrl pageUrl();

    void loadPage();
    void evaluateWebScript(const QString& script);

    [[nodiscard]] bool isLoaded() const { return m_loaded; }
    [[nodiscard]] int errorCount() const { return m_page->errorCount(); }
    [[nodiscard]] qsizetype queuedScriptCount() const { return m_queue.size(); }
    [[nodiscard]] TMKMapPage* mapPage() const { return m_page; }

signals:
    void pageLoaded(bool ok);
    void scriptError(const QString& message);
    // Each script handed to evaluateWebScript, loaded page or not.
    void scriptRequested(const QString& script);
    // The user clicked the trip's track (setTrip) near a fix of recording
    // `path`, `seconds` into it.
    void tripPointClicked(const QString& path, double seconds);

private:
    void onLoadStarted();
    void onLoadFinished(bool ok);

    TMKMapPage* m_page;
    QWebChannel* m_channel;
    TMKMapBridge* m_bridge;
    TMKMapScriptQueue m_queue;
    bool m_loaded = false;
};
