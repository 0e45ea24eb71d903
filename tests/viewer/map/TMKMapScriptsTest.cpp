// The script texts sent to the map page and the map window's placement rule.

#include "map/TMKMapScripts.h"
#include "map/TMKMapWindowController.h"

#include <QLocale>
#include <QTest>

#include <limits>

class TMKMapScriptsTest : public QObject {
    Q_OBJECT

private slots:
    void setLatLagScript();
    void debugScript();
    void trackScript();
    void placement();
    void waitingScripts();
};

// A comma decimal separator would split one JS argument in two.
void TMKMapScriptsTest::setLatLagScript()
{
    const struct {
        double latitude, longitude;
        const char* script;
    } cases[] = {
        {48.1173, 11.5167, "setLatLag('11.516700','48.117300')"},
        {-33.8688, -70.6693, "setLatLag('-70.669300','-33.868800')"},
        {1.23456789, 7.0000004, "setLatLag('7.000000','1.234568')"}, // rounded
    };
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto& c : cases)
        QCOMPARE(TMKSetLatLagScript(c.latitude, c.longitude), QLatin1String(c.script));
    QLocale::setDefault(QLocale::c());
}

void TMKMapScriptsTest::debugScript()
{
    const struct {
        QString text;
        const char* script;
    } cases[] = {
        {QStringLiteral("GPS Data Count=Zero"), "TMKDebug('GPS Data Count=Zero')"},
        {QStringLiteral("a\\'b"), "TMKDebug('a\\\\\\'b')"}, // backslash, quote
        {QStringLiteral("a\nb\rc"), "TMKDebug('a\\nb\\rc')"},
        {QString(QChar(1)) + QChar(0x2028), "TMKDebug('\\u0001\\u2028')"}, // control, separator
        {QStringLiteral("</script>"), "TMKDebug('\\u003c/script>')"},
    };
    for (const auto& c : cases)
        QCOMPARE(TMKDebugScript(c.text), QLatin1String(c.script));
}

void TMKMapScriptsTest::trackScript()
{
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

void TMKMapScriptsTest::placement()
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
void TMKMapScriptsTest::waitingScripts()
{
    TMKMapScriptQueue queue;
    queue.append(QStringLiteral("setTrack([[1,1]])"));
    queue.append(QStringLiteral("setLatLag('1','1')"));
    queue.append(QStringLiteral("TMKDebug('a')"));
    queue.append(QStringLiteral("setLatLag('2','2')"));
    queue.append(QStringLiteral("TMKDebug('b')"));
    queue.append(QStringLiteral("setTrack([[2,2]])"));
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

QTEST_GUILESS_MAIN(TMKMapScriptsTest)
#include "TMKMapScriptsTest.moc"
