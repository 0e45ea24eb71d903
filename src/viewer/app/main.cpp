// The viewer: tamek [FOLDER]

#include "TMKAppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>

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
    parser.process(app);

    TMKAppDelegate delegate;
    const QStringList folders = parser.positionalArguments();
    delegate.applicationDidFinishLaunching(folders.isEmpty() ? QString() : folders.first());
    const int status = QApplication::exec();
    return status;
}
