// The viewer: tamek [FOLDER]

#include "TMKAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

int main(int argc, char** argv)
{
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
    parser.process(app);

    TMKAppDelegate delegate;
    if (parser.isSet(play)) {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(&delegate, &TMKAppDelegate::mediaListReloaded, &delegate, [&delegate, connection] {
            QObject::disconnect(*connection);
            delegate.playAtIndex(0);
        });
    }
    const QStringList folders = parser.positionalArguments();
    delegate.applicationDidFinishLaunching(folders.isEmpty() ? QString() : folders.first());
    const int status = QApplication::exec();
    return status;
}
