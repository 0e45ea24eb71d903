// The viewer: tamek [FOLDER]

#include "TMKAppDelegate.h"
#include "map/TMKWebEngineSetup.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

int main(int argc, char** argv)
{
    TMKPrepareWebEngine(); // before the application object exists
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tamek"));
    QApplication::setApplicationName(QStringLiteral("Tamek Viewer"));
    QApplication::setApplicationVersion(QStringLiteral(TAMEK_VERSION));
    QApplication::setQuitOnLastWindowClosed(true);

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
    parser.process(app);

    TMKAppDelegate delegate;
    // Both wait for the folder's first listing, which shows the list.
    if (parser.isSet(play) || parser.isSet(map)) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        const bool playFirst = parser.isSet(play);
        const bool showMap = parser.isSet(map);
        *connection = QObject::connect(&delegate, &TMKAppDelegate::mediaListReloaded, &delegate,
                                       [&delegate, connection, playFirst, showMap] {
                                           QObject::disconnect(*connection);
                                           if (showMap)
                                               delegate.clickMapViewButton();
                                           if (playFirst)
                                               delegate.playAtIndex(0);
                                       });
    }
    const QStringList folders = parser.positionalArguments();
    delegate.applicationDidFinishLaunching(folders.isEmpty() ? QString() : folders.first());
    if (parser.isSet(settings))
        delegate.showSettingPanel();
    const int status = QApplication::exec();
    return status;
}
