#include "viewer/print/TMKCupsPrintSystem.h"

#include "viewer/print/TMKPrintSettings.h"

#include <QFileInfo>

#include <cups/cups.h>

#include <memory>

namespace {

struct DestDeleter {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct DestInfoDeleter {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestDeleter>;
using DestInfoPtr = std::unique_ptr<cups_dinfo_t, DestInfoDeleter>;

const char* const kDocumentFormat = "document-format";

// A printer is named "queue" or "queue/instance"; an empty name stands for
// the default destination.
DestPtr namedDest(const QString& printer)
{
    const qsizetype slash = printer.indexOf(QLatin1Char('/'));
    const QByteArray queue = printer.left(slash).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : printer.mid(slash + 1).toUtf8();
    return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.isEmpty() ? nullptr : queue.constData(),
                                    instance.isEmpty() ? nullptr : instance.constData()));
}

QString destName(const cups_dest_t& dest)
{
    QString name = QString::fromUtf8(dest.name);
    if (dest.instance)
        name += QLatin1Char('/') + QString::fromUtf8(dest.instance);
    return name;
}

// A call that found nothing is an error to the caller even when libcups
// left its status at "ok".
int lastErrorOr(ipp_status_t fallback)
{
    const ipp_status_t status = cupsLastError();
    return static_cast<int>(status >= IPP_STATUS_ERROR_BAD_REQUEST ? status : fallback);
}

} // namespace

std::optional<TMKPrintDestination> TMKCupsPrintSystem::destinationType(const TMKPrintSettings& settings)
{
    return settings.destination();
}

int TMKCupsPrintSystem::currentPrinter(const TMKPrintSettings& settings, QString* printer)
{
    const DestPtr dest = namedDest(settings.printerName());
    if (!dest)
        return lastErrorOr(IPP_STATUS_ERROR_NOT_FOUND);
    if (printer)
        *printer = destName(*dest);
    return 0;
}

std::optional<QStringList> TMKCupsPrintSystem::acceptedDocumentFormats(const QString& printer)
{
    const DestPtr dest = namedDest(printer);
    if (!dest)
        return std::nullopt;
    const DestInfoPtr info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
    if (!info)
        return std::nullopt;
    ipp_attribute_t* supported = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest.get(), info.get(), kDocumentFormat);
    if (!supported)
        return std::nullopt;
    QStringList formats;
    const int count = ippGetCount(supported);
    for (int i = 0; i < count; ++i) {
        if (const char* format = ippGetString(supported, i, nullptr))
            formats.append(QString::fromUtf8(format));
    }
    return formats;
}

TMKPrintJob TMKCupsPrintSystem::printFile(const QString& printer, const QString& path, const QString& mimeType,
                                          const TMKPrintSettings& settings)
{
    QMap<QString, QString> jobOptions = settings.jobOptions();
    jobOptions.insert(QLatin1String(kDocumentFormat), mimeType);

    int count = 0;
    cups_option_t* options = nullptr;
    for (auto it = jobOptions.cbegin(); it != jobOptions.cend(); ++it)
        count = cupsAddOption(it.key().toUtf8().constData(), it.value().toUtf8().constData(), count, &options);

    // cupsPrintFile2 takes the queue; an instance only selects saved options.
    const QByteArray queue = printer.section(QLatin1Char('/'), 0, 0).toUtf8();
    const QByteArray file = path.toUtf8();
    const QByteArray title = QFileInfo(path).fileName().toUtf8();
    const int jobId = cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.constData(), file.constData(), title.constData(),
                                     count, options);
    cupsFreeOptions(count, options);

    TMKPrintJob job;
    if (jobId > 0) {
        job.jobId = jobId;
        return job;
    }
    job.error = lastErrorOr(IPP_STATUS_ERROR_INTERNAL);
    job.errorText = QString::fromUtf8(cupsLastErrorString());
    return job;
}
