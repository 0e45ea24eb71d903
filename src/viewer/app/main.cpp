// The viewer: tamek [FOLDER]

#include "base/TMKLog.h"
#include "map/TMKWebEngineSetup.h"
#include "sdcard/TKExternalCommand.h"
#include "viewer/player/TMKVideoView.h"
#include "viewer/TMKAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLoggingCategory>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void describeApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Tamek"));
    QCoreApplication::setApplicationName(QStringLiteral("Tamek Viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMEK_VERSION));
}

// --version and --help answer without a display, the web engine or libVLC.
bool onlyAsksForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-v", "--version", "-h", "--help", "--help-all"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Run from the build folder (src/viewer/ under it), the viewer opens the
// demo card the build wrote, unless told otherwise. Nothing of the build
// folder is compiled in, so an installed viewer never looks there.
// The same holds for the card erase helper the build made beside it, which
// an installed viewer finds under libexec.
void offerBuildTree()
{
    const QDir buildRoot(QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../..")));
    if (!QFileInfo(buildRoot.filePath(QStringLiteral("CMakeCache.txt"))).isFile())
        return;
    const QString helper = buildRoot.filePath(QStringLiteral("src/sdcard/tamek-erase-card"));
    if (QFileInfo(helper).isExecutable())
        TKSetCommandPathOverride("tamek-erase-card", QFile::encodeName(helper).toStdString());
    if (!qEnvironmentVariableIsSet("TAMEK_DEMO_DIR") && QFileInfo(buildRoot.filePath(QStringLiteral("demo"))).isDir())
        qputenv("TAMEK_DEMO_DIR", QFile::encodeName(buildRoot.filePath(QStringLiteral("demo"))));
}

} // namespace

int main(int argc, char** argv)
{
    const bool textOnly = onlyAsksForText(argc, argv);
    if (!textOnly)
        TMKPrepareWebEngine(); // before the application object exists
    const std::unique_ptr<QCoreApplication> app = textOnly ? std::make_unique<QCoreApplication>(argc, argv)
                                                           : std::make_unique<QApplication>(argc, argv);
    describeApplication();
    QApplication::setQuitOnLastWindowClosed(true);
    if (!textOnly) {
        // Ties the windows to the installed desktop entry (and its icon).
        QGuiApplication::setDesktopFileName(QStringLiteral("org.tamek.Tamek"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.tamek.Tamek-256.png")));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays the front and rear recordings of a dash camera."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("Folder of recordings to open."));
    const QCommandLineOption play(QStringLiteral("play"),
                                  QStringLiteral("Play the first recording as soon as the folder is read."));
    parser.addOption(play);
    const QCommandLineOption map(QStringLiteral("map"), QStringLiteral("Show the map instead of the list at start."));
    parser.addOption(map);
    const QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("Open the camera settings at start."));
    parser.addOption(settings);
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Print debugging lines to the terminal."));
    parser.addOption(verbose);
    parser.process(*app); // --version and --help print and exit here
    // Tracing lines and the media library's own log are for developers: a
    // normal run keeps the terminal to warnings the user can act on.
    TMKSetLogVerbose(parser.isSet(verbose));
    if (!parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    offerBuildTree();

    TMKAppDelegate delegate;
    // The start-up benchmark (bench/StartBench.cpp) times the launch to the
    // first painted frame of the main video by this line.
    if (qEnvironmentVariableIsSet("TAMEK_REPORT_FIRST_FRAME")) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(delegate.window()->video1View(), &TMKVideoView::frameShown, &delegate, [connection] {
            QObject::disconnect(*connection);
            std::fputs("tamek: first frame\n", stderr);
            std::fflush(stderr);
        });
    }
    // Both wait for the folder's first listing, which shows the list.
    if (parser.isSet(play) || parser.isSet(map)) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        const bool playFirst = parser.isSet(play);
        const bool showMap = parser.isSet(map);
        *connection = QObject::connect(&delegate, &TMKAppDelegate::mediaListReloaded, &delegate,
                                       [&delegate, connection, playFirst, showMap] {
                                           QObject::disconnect(*connection);
                                           if (showMap)
                                               delegate.showSideView(TMKMainWindow::SideView::Map);
                                           if (playFirst)
                                               delegate.session()->sequence()->playAtIndex(0);
                                       });
    }
    const QStringList folders = parser.positionalArguments();
    delegate.applicationDidFinishLaunching(folders.isEmpty() ? QString() : folders.first());
    if (parser.isSet(settings))
        delegate.showSettingPanel();
    const int status = QApplication::exec();
    return status;
}
