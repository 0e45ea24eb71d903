#include "map/TMKMapScripts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// QString::number ignores QLocale and the C library's locale alike.
QString fixed6(double value)
{
    return QString::number(value, 'f', 6);
}

// The function a script calls: the text before its first '('.
QStringView calledFunction(const QString& script)
{
    const qsizetype paren = script.indexOf(u'(');
    return paren < 0 ? QStringView() : QStringView(script).left(paren).trimmed();
}

bool supersedesEarlierCalls(QStringView function)
{
    return function == u"setLatLag" || function == u"setTrack" || function == u"setTrip"
           || function == u"setTripHighlight";
}

} // namespace

QString TMKSetLatLagScript(double latitude, double longitude)
{
    return QStringLiteral("setLatLag('%1','%2')").arg(fixed6(longitude), fixed6(latitude));
}

QString TMKEscapeJsString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\'': out += QLatin1String("\\'"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            // Other controls, the JS line separators and '<' (no "</script>"
            // if a text is ever pasted into markup) go as \uXXXX.
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029 || c == u'<')
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

QString TMKDebugScript(const QString& text)
{
    return QStringLiteral("TMKDebug('") + TMKEscapeJsString(text) + QStringLiteral("')");
}

QString TMKClearMapScript() { return QStringLiteral("clearMap()"); }

QString TMKSetTrackScript(const QList<QPointF>& latLng)
{
    QString out = QStringLiteral("setTrack([");
    out.reserve(16 + latLng.size() * 24);
    bool first = true;
    for (const QPointF& p : latLng) {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            continue;
        if (!first)
            out += u',';
        first = false;
        out += u'[' + fixed6(p.x()) + u',' + fixed6(p.y()) + u']';
    }
    out += QStringLiteral("])");
    return out;
}

QString TMKSetTripScript(const QStringList& recordings, const QList<TMKMapTripPoint>& points, int current)
{
    QString out = QStringLiteral("setTrip([");
    out.reserve(32 + recordings.size() * 64 + points.size() * 40);
    for (qsizetype i = 0; i < recordings.size(); ++i) {
        if (i > 0)
            out += u',';
        out += u'\'' + TMKEscapeJsString(recordings[i]) + u'\'';
    }
    out += QStringLiteral("],[");
    bool first = true;
    for (const TMKMapTripPoint& p : points) {
        if (!std::isfinite(p.latitude) || !std::isfinite(p.longitude) || !std::isfinite(p.seconds) || p.recording < 0
            || p.recording >= recordings.size())
            continue;
        if (!first)
            out += u',';
        first = false;
        out += u'[' + fixed6(p.latitude) + u',' + fixed6(p.longitude) + u',' + QString::number(p.recording) + u','
               + QString::number(p.seconds, 'f', 3) + u']';
    }
    out += QStringLiteral("],%1)").arg(current);
    return out;
}

QString TMKSetTripHighlightScript(int current)
{
    return QStringLiteral("setTripHighlight(%1)").arg(current);
}

void TMKMapScriptQueue::append(const QString& script)
{
    const QStringView function = calledFunction(script);
    if (supersedesEarlierCalls(function))
        m_scripts.removeIf([function](const QString& queued) { return calledFunction(queued) == function; });
    if (m_scripts.size() >= kMaxScripts) {
        const auto oldest = std::find_if(m_scripts.begin(), m_scripts.end(), [](const QString& queued) {
            return !supersedesEarlierCalls(calledFunction(queued));
        });
        m_scripts.erase(oldest == m_scripts.end() ? m_scripts.begin() : oldest);
    }
    m_scripts.append(script);
}

QList<QString> TMKMapScriptQueue::take()
{
    return std::exchange(m_scripts, {});
}
