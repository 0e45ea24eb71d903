// The real map page in QtWebEngine, read back through window.__tamekState().
// Every request but the page's own files is blocked: runs the same offline.

#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"
#include "map/TMKMapWindowController.h"
#include "map/TMKWebEngineSetup.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <memory>
#include <optional>

namespace {

class TMKOfflineInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        urls.append(info.requestUrl()); // called on the UI thread since Qt 6
        info.block(info.requestUrl().scheme() != QLatin1String("qrc"));
    }
    QList<QUrl> urls;
};

// The JS value of script, or an invalid QVariant when it did not answer.
QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    return QTest::qWaitFor([&] { return result->has_value(); }, 5000) ? **result : QVariant();
}

QJsonObject pageState(TMKMapView* view)
{
    return QJsonDocument::fromJson(evaluate(view->page(), "window.__tamekState()").toString().toUtf8()).object();
}

// What script threw, or an empty text.
QString thrownBy(TMKMapView* view, const QString& script)
{
    return evaluate(view->page(), "(function () { try { " + script + "; return ''; } catch (e) { return 'threw ' + e; } })()")
        .toString();
}

bool near(const QJsonValue& point, double lat, double lng)
{
    return qAbs(point["lat"].toDouble() - lat) < 1e-6 && qAbs(point["lng"].toDouble() - lng) < 1e-6;
}

} // namespace

class TMKMapPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_interceptor); }
    void init();
    void cleanup() { m_view.reset(); }

    void loadsOfflineAndFetchesOnlyTiles();
    void scriptErrorsAreCounted();
    void setLatLagMovesMarkerAndCentre();
    void debugKeepsTheText();
    void setTrackDrawsAndReplacesTheLine();
    void badInputNeitherThrowsNorMoves();
    void scriptsBeforeLoadWaitForThePage();
    void drawnTrackIsVisible();
    void tripIsDrawnWithThePlayingPartHighlighted();
    void aClickOnTheTripNamesRecordingAndTime();
    void mapWindow();

private:
    [[nodiscard]] bool loadView();

    TMKOfflineInterceptor m_interceptor;
    std::unique_ptr<TMKMapView> m_view;
};

void TMKMapPageTest::init()
{
    m_view = std::make_unique<TMKMapView>();
    m_view->resize(640, 480);
    m_view->show();
}

bool TMKMapPageTest::loadView()
{
    QSignalSpy loaded(m_view.get(), &TMKMapView::pageLoaded);
    m_view->loadPage();
    return loaded.wait(15000) && loaded.first().first().toBool() && m_view->isLoaded();
}

void TMKMapPageTest::loadsOfflineAndFetchesOnlyTiles()
{
    for (const char* name : {"map2_eng.js", "leaflet.js", "leaflet.css", "images/layers.png"})
        QVERIFY2(QFile(QStringLiteral(":/map/") + QLatin1String(name)).size() > 0, name);
    QVERIFY(!m_view->isLoaded());
    QVERIFY(loadView());
    QVERIFY(pageState(m_view.get())["ready"].toBool());
    QCOMPARE(m_view->errorCount(), 0);

    const QRegularExpression tile(QStringLiteral("^https://tile\\.openstreetmap\\.org/\\d+/\\d+/\\d+\\.png$"));
    int tiles = 0;
    for (const QUrl& url : std::as_const(m_interceptor.urls)) {
        if (url.scheme() != QLatin1String("qrc"))
            QVERIFY2(tile.match(url.toString()).hasMatch() && ++tiles, qPrintable(url.toString()));
    }
    QVERIFY(tiles > 0);
}

// Without this the checks for no errors could never fail.
void TMKMapPageTest::scriptErrorsAreCounted()
{
    QVERIFY(loadView());
    QSignalSpy errors(m_view.get(), &TMKMapView::scriptError);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ReferenceError: notDefinedAnywhere"));
    m_view->evaluateWebScript(QStringLiteral("setTimeout(function () { notDefinedAnywhere(); }, 0)"));
    QVERIFY(errors.wait(5000));
    QCOMPARE(m_view->errorCount(), 1);
}

void TMKMapPageTest::setLatLagMovesMarkerAndCentre()
{
    QVERIFY(loadView());
    const struct {
        QString script;
        double latitude, longitude;
    } cases[] = {
        {QStringLiteral("setLatLag('11.516700','48.117300')"), 48.1173, 11.5167}, // as sent
        {TMKSetLatLagScript(-34.603722, -58.381592), -34.603722, -58.381592},
        {TMKSetLatLagScript(-33.868820, 151.209290), -33.868820, 151.209290},
    };
    for (const auto& c : cases) {
        m_view->evaluateWebScript(c.script);
        const QJsonObject state = pageState(m_view.get());
        QVERIFY2(near(state["marker"], c.latitude, c.longitude) && near(state["center"], c.latitude, c.longitude),
                 qPrintable(c.script));
    }
    QCOMPARE(m_view->errorCount(), 0);
}

void TMKMapPageTest::debugKeepsTheText()
{
    QVERIFY(loadView());
    for (const QString& text : {QStringLiteral("GPS Data Count=Zero"), QStringLiteral("it's \"a\" \\' x\\\n\u2028</script>")}) {
        QCOMPARE(thrownBy(m_view.get(), TMKDebugScript(text)), QString());
        QCOMPARE(pageState(m_view.get())["lastDebug"].toString(), text);
    }
    QCOMPARE(pageState(m_view.get())["debugCount"].toInt(), 2);
    QCOMPARE(m_view->errorCount(), 0);
}

void TMKMapPageTest::setTrackDrawsAndReplacesTheLine()
{
    QVERIFY(loadView());
    QList<QPointF> track;
    for (int i = 0; i < 25; ++i)
        track.append({48.10 + i * 0.001, 11.50 + i * 0.0015});
    m_view->evaluateWebScript(TMKSetTrackScript(track));
    const QJsonObject first = pageState(m_view.get());
    QCOMPARE(first["trackPoints"].toInt(), track.size());
    // The first track is fitted into view: centred on its middle, zoomed in.
    QVERIFY(qAbs(first["center"]["lat"].toDouble() - 48.112) < 0.002);
    QVERIFY(qAbs(first["center"]["lng"].toDouble() - 11.518) < 0.003);
    QVERIFY(first["zoom"].toInt() > 10);

    // Later tracks replace the line and leave the view alone.
    m_view->evaluateWebScript(TMKSetTrackScript({{-33.86, 151.20}, {-33.87, 151.21}, {-33.88, 151.22}}));
    const QJsonObject second = pageState(m_view.get());
    QCOMPARE(second["trackPoints"].toInt(), 3);
    QCOMPARE(second["center"], first["center"]);
    m_view->evaluateWebScript(TMKSetTrackScript({}));
    QCOMPARE(pageState(m_view.get())["trackPoints"].toInt(), 0);
    QCOMPARE(m_view->errorCount(), 0);
}

namespace {

// Two recordings of one drive north-east, 20 fixes each, one a second.
QList<TMKMapTripPoint> twoRecordingTrip()
{
    QList<TMKMapTripPoint> points;
    for (int i = 0; i < 40; ++i)
        points.append({48.10 + i * 0.0004, 11.50 + i * 0.0006, i / 20, double(i % 20) + 0.5});
    return points;
}

const QStringList kTripRecordings{QStringLiteral("/card/alwa_20261107_071500_F.avi"),
                                  QStringLiteral("/card/it's_alwa_20261107_071600_F.avi")};

} // namespace

void TMKMapPageTest::tripIsDrawnWithThePlayingPartHighlighted()
{
    QVERIFY(loadView());
    m_view->evaluateWebScript(TMKSetTripScript(kTripRecordings, twoRecordingTrip(), 1));
    QJsonObject state = pageState(m_view.get());
    QCOMPARE(state["tripPoints"].toInt(), 40);
    QCOMPARE(state["tripHighlightPoints"].toInt(), 20);
    QCOMPARE(state["tripCurrent"].toInt(), 1);
    // The whole trip is in view.
    QVERIFY(qAbs(state.value("center")["lat"].toDouble() - 48.1078) < 0.002);

    m_view->evaluateWebScript(TMKSetTripHighlightScript(0));
    state = pageState(m_view.get());
    QCOMPARE(state["tripHighlightPoints"].toInt(), 20);
    QCOMPARE(state["tripCurrent"].toInt(), 0);
    m_view->evaluateWebScript(TMKSetTripHighlightScript(5));
    QCOMPARE(pageState(m_view.get())["tripHighlightPoints"].toInt(), 0);

    // Drawn: the highlighted part in its own colour among the trip's.
    m_view->evaluateWebScript(TMKSetTripHighlightScript(1));
    int highlight = 0;
    int rest = 0;
    const auto drawn = [&] {
        const QImage shot = m_view->grab().toImage();
        highlight = rest = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.blue() > 180 && c.red() < 80 && c.green() < 130)
                    ++highlight;
                else if (qAbs(c.red() - 0x90) < 16 && qAbs(c.green() - 0x98) < 16 && qAbs(c.blue() - 0xa5) < 16)
                    ++rest;
            }
        return highlight > 100 && rest > 100;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(drawn(), qPrintable(QStringLiteral("%1 highlighted, %2 trip").arg(highlight).arg(rest)), 10000);

    // Another folder: nothing of the recording before stays.
    m_view->evaluateWebScript(TMKSetLatLagScript(48.1, 11.5));
    m_view->evaluateWebScript(TMKSetTrackScript({{48.1, 11.5}, {48.2, 11.6}}));
    m_view->evaluateWebScript(TMKClearMapScript());
    const QJsonObject cleared = pageState(m_view.get());
    QVERIFY(cleared["marker"].isNull());
    QCOMPARE(cleared["trackPoints"].toInt(), 0);
    QCOMPARE(cleared["tripPoints"].toInt(), 0);
    QCOMPARE(cleared["tripHighlightPoints"].toInt(), 0);

    // Bad input draws nothing and throws nothing.
    for (const char* bad : {"setTrip()", "setTrip(['a'], [[1, 2, 5, 0], [91, 0, 0, 0], [1, 2, 0, 'x']], 0)",
                            "setTrip(null, [[1,2,0,0]], 0)", "setTripHighlight('x')"})
        QCOMPARE(thrownBy(m_view.get(), QLatin1String(bad)), QString());
    QCOMPARE(pageState(m_view.get())["tripPoints"].toInt(), 0);
    QCOMPARE(m_view->errorCount(), 0);
}

void TMKMapPageTest::aClickOnTheTripNamesRecordingAndTime()
{
    QVERIFY(loadView());
    m_view->evaluateWebScript(TMKSetTripScript(kTripRecordings, twoRecordingTrip(), 0));
    QTRY_VERIFY_WITH_TIMEOUT(pageState(m_view.get())["bridge"].toBool(), 5000);
    QSignalSpy clicked(m_view.get(), &TMKMapView::tripPointClicked);

    // A user's click on fix 30: recording 1, 10.5 s into it.
    const QJsonObject at =
        QJsonDocument::fromJson(evaluate(m_view->page(), "window.__tamekTripPointOnScreen(30)").toString().toUtf8()).object();
    const QPoint point(qRound(at["x"].toDouble()), qRound(at["y"].toDouble()));
    QVERIFY(m_view->rect().contains(point));
    QWidget* input = m_view->focusProxy() ? m_view->focusProxy() : m_view.get();
    QTest::mouseMove(input, point);
    QTest::mouseClick(input, Qt::LeftButton, {}, point);
    // The call comes over the channel whenever the page gets to it.
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
    QCOMPARE(clicked.first().at(0).toString(), kTripRecordings[1]);
    QCOMPARE(clicked.first().at(1).toDouble(), 10.5);

    // The first recording, from the page's own click handler.
    clicked.clear();
    QCOMPARE(thrownBy(m_view.get(), "var p = JSON.parse(window.__tamekTripPointOnScreen(3));"
                                    "var e = document.elementFromPoint(p.x, p.y);"
                                    "e.dispatchEvent(new MouseEvent('mousedown', {bubbles: true, clientX: p.x, clientY: p.y}));"
                                    "e.dispatchEvent(new MouseEvent('mouseup', {bubbles: true, clientX: p.x, clientY: p.y}));"
                                    "e.dispatchEvent(new MouseEvent('click', {bubbles: true, clientX: p.x, clientY: p.y}))"),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
    QCOMPARE(clicked.first().at(0).toString(), kTripRecordings[0]);
    QCOMPARE(clicked.first().at(1).toDouble(), 3.5);

    // What the page sends is input: no path or a bad time is dropped; the
    // good call sent after them arrives alone.
    clicked.clear();
    QCOMPARE(thrownBy(m_view.get(), "new QWebChannel(qt.webChannelTransport, function (c) {"
                                    " c.objects.tamek.tripPointClicked('', 1); c.objects.tamek.tripPointClicked('x', -1);"
                                    " c.objects.tamek.tripPointClicked('last', 2); })"),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
    QCOMPARE(clicked.first().at(0).toString(), QStringLiteral("last"));
    QCOMPARE(m_view->errorCount(), 0);
}

void TMKMapPageTest::badInputNeitherThrowsNorMoves()
{
    QVERIFY(loadView());
    m_view->evaluateWebScript(TMKSetLatLagScript(48.1173, 11.5167));
    const QJsonObject before = pageState(m_view.get());
    for (const char* script : {"setLatLag()", "setLatLag('11.5')", "setLatLag('east','north')", "setLatLag('nan','nan')",
                               "setLatLag('','')", "setLatLag(null, {})", "setLatLag('200.000000','95.000000')",
                               "setTrack()", "setTrack('48,11')", "setTrack([[1], null, [null, 2], ['a', 'b'], [NaN, 1], 7])",
                               "TMKDebug()", "TMKDebug({ toString: function () { throw new Error('x'); } })"}) {
        QCOMPARE(thrownBy(m_view.get(), QLatin1String(script)), QString());
        const QJsonObject after = pageState(m_view.get());
        QVERIFY2(after["marker"] == before["marker"] && after["center"] == before["center"]
                     && after["trackPoints"].toInt() == 0,
                 script);
    }
    QCOMPARE(m_view->errorCount(), 0);
}

void TMKMapPageTest::scriptsBeforeLoadWaitForThePage()
{
    m_view->evaluateWebScript(TMKSetLatLagScript(10.0, 20.0));
    m_view->evaluateWebScript(TMKSetTrackScript({{1.0, 2.0}, {1.5, 2.5}}));
    m_view->evaluateWebScript(TMKSetLatLagScript(-48.1173, -11.5167)); // supersedes the first
    const int debugs = int(TMKMapView::MaxQueuedScripts) + 10;
    for (int i = 0; i < debugs; ++i)
        m_view->evaluateWebScript(TMKDebugScript(QString::number(i)));
    QCOMPARE(m_view->queuedScriptCount(), TMKMapView::MaxQueuedScripts);

    QVERIFY(loadView());
    QCOMPARE(m_view->queuedScriptCount(), 0);
    const QJsonObject state = pageState(m_view.get());
    QVERIFY(near(state["marker"], -48.1173, -11.5167));
    QCOMPARE(state["trackPoints"].toInt(), 2);
    // The position and the track kept their places; the oldest diagnostics went.
    QCOMPARE(state["debugCount"].toInt(), int(TMKMapView::MaxQueuedScripts) - 2);
    QCOMPARE(state["lastDebug"].toString(), QString::number(debugs - 1));
}

void TMKMapPageTest::drawnTrackIsVisible()
{
    QVERIFY(loadView());
    QList<QPointF> track;
    for (int i = 0; i < 40; ++i)
        track.append({48.10 + i * 0.0005, 11.50 + (i % 10) * 0.0008});
    m_view->evaluateWebScript(TMKSetTrackScript(track));
    m_view->evaluateWebScript(TMKSetLatLagScript(track.last().x(), track.last().y()));
    QCOMPARE(pageState(m_view.get())["trackPoints"].toInt(), track.size());

    // Count the line's blue (#1f5fd6) and the marker's red (#d62f1f) pixels.
    const auto count = [](const QImage& image, auto match) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += match(image.pixel(x, y)) ? 1 : 0;
        return n;
    };
    const auto blue = [](QRgb c) { return qBlue(c) > 150 && qRed(c) < 110 && qGreen(c) < 150; };
    const auto red = [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 90 && qBlue(c) < 90; };
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT((shot = m_view->grab().toImage(), count(shot, blue) > 200 && count(shot, red) > 40), 10000);
    if (const QString path = qEnvironmentVariable("TAMEK_MAP_SHOT"); !path.isEmpty())
        shot.save(path);
}

void TMKMapPageTest::mapWindow()
{
    TMKMapWindowController window;
    window.resize(320, 300);
    window.updateMapLat(-22.9068, -43.1729);
    QCOMPARE(window.mapWebView()->queuedScriptCount(), 1);

    QSignalSpy loaded(window.mapWebView(), &TMKMapView::pageLoaded);
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^\\[TMKMapWindowController\\] QRect\\("));
    window.show();
    QVERIFY(loaded.wait(15000) && loaded.first().first().toBool());
    QVERIFY(near(pageState(window.mapWebView())["marker"], -22.9068, -43.1729));
    window.windowDidLoad(); // a reused window keeps its page
    QTest::qWait(200);
    QCOMPARE(loaded.size(), 1);

    QCOMPARE(window.mapWebView()->errorCount(), 0);
}

int main(int argc, char** argv)
{
    TMKPrepareWebEngine();
    QApplication app(argc, argv);
    TMKMapPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TMKMapPageTest.moc"
