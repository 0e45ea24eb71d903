#include "viewer/print/TMKFramePrint.h"

#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"

#include <QDebug>
#include <QFile>

namespace {

const char* const kJpegType = "image/jpeg";

bool logFailure(const QString& line, QString* logLine)
{
    qWarning().noquote() << line;
    if (logLine)
        *logLine = line;
    return false;
}

} // namespace

bool TMKIsJpegFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(3);
    return head == QByteArrayLiteral("\xFF\xD8\xFF");
}

bool TMKPrintCapturedFrame(TMKPrintSystem& system, TMKPrintSettings& settings, const QString& jpegPath,
                           QString* logLine)
{
    if (logLine)
        logLine->clear();
    const QString jpegType = QLatin1String(kJpegType);

    // Kept in the settings, so the choice shows when they are handed on.
    settings.setOption(QStringLiteral("fit-to-page"), QStringLiteral("true"));

    const std::optional<TMKPrintDestination> destination = system.destinationType(settings);
    if (!destination || *destination != TMKPrintDestination::Printer) {
        return logFailure(QStringLiteral("Either got an error from PMSessionGetDestinationType or the print "
                                         "destination wasn't kPMDestinationPrinter"),
                          logLine);
    }

    QString printer;
    if (const int error = system.currentPrinter(settings, &printer); error != 0)
        return logFailure(QStringLiteral("Got an error from PMSessionGetCurrentPrinter (%1)").arg(error), logLine);

    // A printer that cannot tell what it takes is not worth a log line.
    const std::optional<QStringList> formats = system.acceptedDocumentFormats(printer);
    if (!formats)
        return false;
    if (!formats->contains(jpegType, Qt::CaseInsensitive))
        return logFailure(QStringLiteral("MIME type %1 isn't supported by the printer").arg(jpegType), logLine);

    if (!TMKIsJpegFile(jpegPath)) {
        return logFailure(QStringLiteral("The captured frame %1 is not a JPEG file; nothing was printed").arg(jpegPath),
                          logLine);
    }

    const TMKPrintJob job = system.printFile(printer, jpegPath, jpegType, settings);
    if (!job.queued()) {
        if (!job.errorText.isEmpty())
            qWarning().noquote() << job.errorText;
        return logFailure(QStringLiteral("PMPrinterPrintWithFile returned error %1").arg(job.error), logLine);
    }

    const QString line = QStringLiteral("Printed %1 on %2 as job %3").arg(jpegPath, printer).arg(job.jobId);
    qInfo().noquote() << line;
    if (logLine)
        *logLine = line;
    return true;
}
