// The script texts sent to the map page, the queue that holds them until it
// loads and the map window's placement rule; then the real page in
// QtWebEngine, read back through window.__tamekState(). Every request but the
// page's own files is blocked: runs the same offline.

#include "map/TMKMapScripts.h"
#include "map/TMKMapView.h"
#include "map/TMKMapWindowController.h"
#include "map/TMKWebEngineSetup.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

#include <limits>
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

// How many pixels of a shot match.
template <typename Match>
int pixelsOf(const QImage& image, Match match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

} // namespace

class TMKMapPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&m_interceptor); }
    void init();

    void scriptTexts();
    void placement();
    void waitingScripts();
    void positionTrackAndDiagnostics();
    void mapWindow();

private:
    [[nodiscard]] bool loadView();
    [[nodiscard]] QJsonObject state() { return pageState(m_view.get()); }

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

void TMKMapPageTest::scriptTexts()
{
    // A comma decimal separator would split one JS argument in two.
    const struct {
        double latitude, longitude;
        const char* script;
    } positions[] = {
        {48.1173, 11.5167, "setLatLag('11.516700','48.117300')"},
        {-33.8688, -70.6693, "setLatLag('-70.669300','-33.868800')"},
        {1.23456789, 7.0000004, "setLatLag('7.000000','1.234568')"}, // rounded
    };
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto& c : positions)
        QCOMPARE(TMKSetLatLagScript(c.latitude, c.longitude), QLatin1String(c.script));
    QLocale::setDefault(QLocale::c());

    const struct {
        QString text;
        const char* script;
    } texts[] = {
        {QStringLiteral("GPS Data Count=Zero"), "TMKDebug('GPS Data Count=Zero')"},
        {QStringLiteral("a\\'b"), "TMKDebug('a\\\\\\'b')"}, // backslash, quote
        {QStringLiteral("a\nb\rc"), "TMKDebug('a\\nb\\rc')"},
        {QString(QChar(1)) + QChar(0x2028), "TMKDebug('\\u0001\\u2028')"}, // control, separator
        {QStringLiteral("</script>"), "TMKDebug('\\u003c/script>')"},
    };
    for (const auto& c : texts)
        QCOMPARE(TMKDebugScript(c.text), QLatin1String(c.script));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QCOMPARE(TMKSetTrackScript({}), QStringLiteral("setTrack([])"));
    // "nan" or "inf" in the text would be a script error, so those points go.
    QCOMPARE(TMKSetTrackScript({{48.1173, 11.5167}, {nan, 1.0}, {3.0, inf}, {-33.8688, -70.6693}}),
             QStringLiteral("setTrack([[48.117300,11.516700],[-33.868800,-70.669300]])"));

    // A trip: paths as JS strings (a quote in a folder name must not end
    // the string), points naming no recording or not finite left out.
    QCOMPARE(TMKSetTripScript({QStringLiteral("/card/it's/a_F.avi"), QStringLiteral("/b_F.avi")},
                              {{48.1173, 11.5167, 0, 1.5}, {nan, 1, 0, 2}, {48.1, 11.5, 2, 3}, {48.1, 11.5, -1, 3},
                               {48.1, 11.5, 1, inf}, {-33.8688, -70.6693, 1, 59.25}},
                              1),
             QStringLiteral("setTrip(['/card/it\\'s/a_F.avi','/b_F.avi'],"
                            "[[48.117300,11.516700,0,1.500],[-33.868800,-70.669300,1,59.250]],1)"));
    QCOMPARE(TMKSetTripScript({}, {}, -1), QStringLiteral("setTrip([],[],-1)"));
    QCOMPARE(TMKSetTripHighlightScript(3), QStringLiteral("setTripHighlight(3)"));
}

void TMKMapPageTest::placement()
{
    // A 300-high window beside the rectangle (100, 200, 600, 400), y up.
    QCOMPARE(TMKMapWindowController::bottomLeftOriginRightOf(QRectF(100, 200, 600, 400), 300), QPointF(700, 300));
    // Beside the opener and wholly on the screen, y down.
    const QSize map(480, 420);
    const QRect wide(0, 0, 1920, 1080), laptop(0, 0, 1280, 800), small(0, 0, 1024, 600);
    const struct {
        QRect opener, available;
        QSize size;
        QRect placed;
    } cases[] = {
        {{100, 200, 600, 400}, wide, {300, 300}, {700, 200, 300, 300}},  // right, tops level
        {{700, 100, 500, 400}, laptop, map, {220, 100, 480, 420}},       // no room right: left
        {{260, 80, 760, 640}, laptop, map, {800, 80, 480, 420}},         // the settings window: overlapping
        {{100, 500, 300, 300}, laptop, map, {400, 380, 480, 420}},       // low opener: lifted
        {{40, 0, 1000, 600}, small, map, {0, 0, 480, 420}},              // more room left than right
        {{1400, 100, 600, 400}, {1280, 0, 1024, 768}, map, {1824, 100, 480, 420}}, // second screen
        {{0, 0, 100, 100}, small, {1500, 900}, small},                   // larger than the screen
    };
    for (const auto& c : cases)
        QCOMPARE(TMKMapWindowController::frameBeside(c.opener, c.size, c.available), c.placed);
}

// What waits for a page: the latest position and track, the diagnostics in
// order, and never more than the bound, whose overflow costs a diagnostic.
void TMKMapPageTest::waitingScripts()
{
    TMKMapScriptQueue queue;
    for (const char* script : {"setTrack([[1,1]])", "setLatLag('1','1')", "TMKDebug('a')", "setLatLag('2','2')",
                               "TMKDebug('b')", "setTrack([[2,2]])"})
        queue.append(QLatin1String(script));
    QCOMPARE(queue.take(), (QList<QString>{QStringLiteral("TMKDebug('a')"), QStringLiteral("setLatLag('2','2')"),
                                          QStringLiteral("TMKDebug('b')"), QStringLiteral("setTrack([[2,2]])")}));
    QVERIFY(queue.isEmpty());

    queue.append(QStringLiteral("setTrack([[3,3]])"));
    for (int i = 0; i < 2 * TMKMapScriptQueue::kMaxScripts; ++i)
        queue.append(QStringLiteral("TMKDebug('%1')").arg(i));
    queue.append(QStringLiteral("setLatLag('3','3')"));
    QCOMPARE(queue.size(), TMKMapScriptQueue::kMaxScripts);
    const QList<QString> kept = queue.take();
    QCOMPARE(kept.first(), QStringLiteral("setTrack([[3,3]])"));
    QCOMPARE(kept.last(), QStringLiteral("setLatLag('3','3')"));
    QCOMPARE(kept.at(kept.size() - 2), QStringLiteral("TMKDebug('%1')").arg(2 * TMKMapScriptQueue::kMaxScripts - 1));
}

// One page through its calls in turn: loaded offline, the marker, the
// diagnostics, the track fitted once and then replaced, bad input, a trip,
// and last a script error that is counted (without which the checks for no
// errors could never fail).
void TMKMapPageTest::positionTrackAndDiagnostics()
{
    for (const char* name : {"map2_eng.js", "leaflet.js", "leaflet.css", "images/layers.png"})
        QVERIFY2(QFile(QStringLiteral(":/map/") + QLatin1String(name)).size() > 0, name);
    QVERIFY(!m_view->isLoaded());
    QVERIFY(loadView());
    QVERIFY(state()["ready"].toBool());
    const QRegularExpression tile(QStringLiteral("^https://tile\\.openstreetmap\\.org/\\d+/\\d+/\\d+\\.png$"));
    int tiles = 0;
    for (const QUrl& url : std::as_const(m_interceptor.urls)) {
        if (url.scheme() != QLatin1String("qrc"))
            QVERIFY2(tile.match(url.toString()).hasMatch() && ++tiles, qPrintable(url.toString()));
    }
    QVERIFY(tiles > 0);

    const struct {
        QString script;
        double latitude, longitude;
    } positions[] = {
        {QStringLiteral("setLatLag('11.516700','48.117300')"), 48.1173, 11.5167}, // as sent
        {TMKSetLatLagScript(-34.603722, -58.381592), -34.603722, -58.381592},
        {TMKSetLatLagScript(-33.868820, 151.209290), -33.868820, 151.209290},
    };
    for (const auto& c : positions) {
        m_view->evaluateWebScript(c.script);
        const QJsonObject now = state();
        QVERIFY2(near(now["marker"], c.latitude, c.longitude) && near(now["center"], c.latitude, c.longitude),
                 qPrintable(c.script));
    }

    const QString text = QStringLiteral("it's \"a\" \\' x\\\n\u2028</script>");
    QCOMPARE(thrownBy(m_view.get(), TMKDebugScript(text)), QString());
    QCOMPARE(state()["lastDebug"].toString(), text);
    QCOMPARE(state()["debugCount"].toInt(), 1);

    // The first track is fitted into view: centred on its middle, zoomed in;
    // drawn in blue under the red marker.
    QList<QPointF> track;
    for (int i = 0; i < 25; ++i)
        track.append({48.10 + i * 0.001, 11.50 + i * 0.0015});
    m_view->evaluateWebScript(TMKSetTrackScript(track));
    const QJsonObject first = state();
    QCOMPARE(first["trackPoints"].toInt(), track.size());
    QVERIFY(qAbs(first["center"]["lat"].toDouble() - 48.112) < 0.002);
    QVERIFY(qAbs(first["center"]["lng"].toDouble() - 11.518) < 0.003);
    QVERIFY(first["zoom"].toInt() > 10);
    m_view->evaluateWebScript(TMKSetLatLagScript(track.last().x(), track.last().y()));
    const auto blue = [](const QColor& c) { return c.blue() > 150 && c.red() < 110 && c.green() < 150; };
    const auto red = [](const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; };
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT((shot = m_view->grab().toImage(), pixelsOf(shot, blue) > 200 && pixelsOf(shot, red) > 40),
                             10000);
    if (const QString path = qEnvironmentVariable("TAMEK_MAP_SHOT"); !path.isEmpty())
        shot.save(path);

    // Later tracks replace the line and leave the view alone.
    const QJsonObject placed = state();
    m_view->evaluateWebScript(TMKSetTrackScript({{-33.86, 151.20}, {-33.87, 151.21}, {-33.88, 151.22}}));
    QCOMPARE(state()["trackPoints"].toInt(), 3);
    QCOMPARE(state()["center"], placed["center"]);
    m_view->evaluateWebScript(TMKSetTrackScript({}));
    QCOMPARE(state()["trackPoints"].toInt(), 0);

    // Bad input neither throws nor moves anything.
    for (const char* script : {"setLatLag()", "setLatLag('11.5')", "setLatLag('east','north')", "setLatLag('nan','nan')",
                               "setLatLag('','')", "setLatLag(null, {})", "setLatLag('200.000000','95.000000')",
                               "setTrack()", "setTrack('48,11')", "setTrack([[1], null, [null, 2], ['a', 'b'], [NaN, 1], 7])",
                               "TMKDebug()", "TMKDebug({ toString: function () { throw new Error('x'); } })"}) {
        QCOMPARE(thrownBy(m_view.get(), QLatin1String(script)), QString());
        const QJsonObject after = state();
        QVERIFY2(after["marker"] == placed["marker"] && after["center"] == placed["center"]
                     && after["trackPoints"].toInt() == 0,
                 script);
    }

    // Two recordings of one drive north-east, 20 fixes each, one a second:
    // the trip is drawn in view, the playing part highlighted in its own
    // colour; a click on it names the recording and time; another folder
    // clears it all.
    QList<TMKMapTripPoint> points;
    for (int i = 0; i < 40; ++i)
        points.append({48.10 + i * 0.0004, 11.50 + i * 0.0006, i / 20, double(i % 20) + 0.5});
    const QStringList recordings{QStringLiteral("/card/alwa_20261107_071500_F.avi"),
                                 QStringLiteral("/card/it's_alwa_20261107_071600_F.avi")};
    m_view->evaluateWebScript(TMKSetTripScript(recordings, points, 1));
    QJsonObject now = state();
    QCOMPARE(now["tripPoints"].toInt(), 40);
    QCOMPARE(now["tripHighlightPoints"].toInt(), 20);
    QCOMPARE(now["tripCurrent"].toInt(), 1);
    QVERIFY(qAbs(now.value("center")["lat"].toDouble() - 48.1078) < 0.002);

    int highlight = 0;
    int rest = 0;
    const auto drawn = [&] {
        shot = m_view->grab().toImage();
        highlight = pixelsOf(shot, [](const QColor& c) { return c.blue() > 180 && c.red() < 80 && c.green() < 130; });
        rest = pixelsOf(shot, [](const QColor& c) {
            return qAbs(c.red() - 0x90) < 16 && qAbs(c.green() - 0x98) < 16 && qAbs(c.blue() - 0xa5) < 16;
        });
        return highlight > 100 && rest > 100;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(drawn(), qPrintable(QStringLiteral("%1 highlighted, %2 trip").arg(highlight).arg(rest)), 10000);

    m_view->evaluateWebScript(TMKSetTripHighlightScript(0));
    now = state();
    QCOMPARE(now["tripHighlightPoints"].toInt(), 20);
    QCOMPARE(now["tripCurrent"].toInt(), 0);
    m_view->evaluateWebScript(TMKSetTripHighlightScript(5));
    QCOMPARE(state()["tripHighlightPoints"].toInt(), 0);

    // A user's click on fix 30: recording 1, 10.5 s into it.
    QTRY_VERIFY_WITH_TIMEOUT(state()["bridge"].toBool(), 5000);
    QSignalSpy clicked(m_view.get(), &TMKMapView::tripPointClicked);
    const QJsonObject at =
        QJsonDocument::fromJson(evaluate(m_view->page(), "window.__tamekTripPointOnScreen(30)").toString().toUtf8()).object();
    const QPoint point(qRound(at["x"].toDouble()), qRound(at["y"].toDouble()));
    QVERIFY(m_view->rect().contains(point));
    QWidget* input = m_view->focusProxy() ? m_view->focusProxy() : m_view.get();
    QTest::mouseMove(input, point);
    QTest::mouseClick(input, Qt::LeftButton, {}, point);
    // The call comes over the channel whenever the page gets to it.
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
    QCOMPARE(clicked.first().at(0).toString(), recordings[1]);
    QCOMPARE(clicked.first().at(1).toDouble(), 10.5);

    // What the page sends is input: no path or a bad time is dropped; the
    // good call sent after them arrives alone.
    clicked.clear();
    QCOMPARE(thrownBy(m_view.get(), "new QWebChannel(qt.webChannelTransport, function (c) {"
                                    " c.objects.tamek.tripPointClicked('', 1); c.objects.tamek.tripPointClicked('x', -1);"
                                    " c.objects.tamek.tripPointClicked('last', 2); })"),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(clicked.size(), 1, 5000);
    QCOMPARE(clicked.first().at(0).toString(), QStringLiteral("last"));

    // Another folder: nothing of the recording before stays.
    m_view->evaluateWebScript(TMKSetLatLagScript(48.1, 11.5));
    m_view->evaluateWebScript(TMKSetTrackScript({{48.1, 11.5}, {48.2, 11.6}}));
    m_view->evaluateWebScript(TMKClearMapScript());
    const QJsonObject cleared = state();
    QVERIFY(cleared["marker"].isNull());
    QCOMPARE(cleared["trackPoints"].toInt(), 0);
    QCOMPARE(cleared["tripPoints"].toInt(), 0);
    QCOMPARE(cleared["tripHighlightPoints"].toInt(), 0);

    // Bad input draws nothing and throws nothing.
    for (const char* bad : {"setTrip()", "setTrip(['a'], [[1, 2, 5, 0], [91, 0, 0, 0], [1, 2, 0, 'x']], 0)",
                            "setTrip(null, [[1,2,0,0]], 0)", "setTripHighlight('x')"})
        QCOMPARE(thrownBy(m_view.get(), QLatin1String(bad)), QString());
    QCOMPARE(state()["tripPoints"].toInt(), 0);
    QCOMPARE(m_view->errorCount(), 0);

    QSignalSpy errors(m_view.get(), &TMKMapView::scriptError);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ReferenceError: notDefinedAnywhere"));
    m_view->evaluateWebScript(QStringLiteral("setTimeout(function () { notDefinedAnywhere(); }, 0)"));
    QVERIFY(errors.wait(5000));
    QCOMPARE(m_view->errorCount(), 1);
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
    QCOMPARE(window.mapWebView()->queuedScriptCount(), 0);
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
