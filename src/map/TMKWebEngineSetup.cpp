#include "map/TMKWebEngineSetup.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QtGlobal>

#include <unistd.h>

namespace {

QLoggingCategory::CategoryFilter previousFilter = nullptr;

// QtWebEngine dumps its GL setup at info level when it starts: noise for a
// user. A filter rather than filter rules, as rules set here would replace
// any the application sets; chained, so earlier filters still apply.
void quietWebEngineContext(QLoggingCategory* category)
{
    if (previousFilter)
        previousFilter(category);
    if (qstrcmp(category->categoryName(), "qt.webenginecontext") == 0)
        category->setEnabled(QtInfoMsg, false);
}

} // namespace

void TMKPrepareWebEngine()
{
    // QtWebEngine needs the shared contexts when it is created after the
    // application object, as it is here (inside a widget).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // Chromium refuses to start its sandbox as root and the page then never
    // loads; a value the user set is kept. Set here although the web engine
    // starts only with the first map shown: by then libVLC's threads read
    // the environment, and changing it under them is not safe.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // Whoever names the category in QT_LOGGING_RULES wants to see it.
    static bool installed = false;
    if (!installed && !qgetenv("QT_LOGGING_RULES").contains("qt.webenginecontext")) {
        installed = true;
        previousFilter = QLoggingCategory::installFilter(quietWebEngineContext);
    }
}
