#include "viewer/print/TMKPrintSettings.h"

#include <QPrinter>

namespace {

// Names under which desktops offer printing to a file as if it were a
// printer (cups-pdf, "Print to PDF", macOS "Preview"), compared without case,
// spaces or punctuation.
bool isFileDestinationName(const QString& name)
{
    QString folded;
    for (const QChar c : name) {
        if (c.isLetterOrNumber())
            folded.append(c.toLower());
    }
    static const QStringList names = {
        QStringLiteral("pdf"),       QStringLiteral("cupspdf"),     QStringLiteral("printtopdf"),
        QStringLiteral("saveaspdf"), QStringLiteral("printtofile"), QStringLiteral("preview"),
        QStringLiteral("openinpreview"), QStringLiteral("printpreview"),
    };
    return names.contains(folded);
}

// IPP's enum value for landscape (RFC 8011, 5.2.10).
const char* const kIppLandscape = "4";

} // namespace

TMKPrintSettings TMKPrintSettings::fromPrinter(const QPrinter& printer)
{
    TMKPrintSettings settings;
    settings.updateFrom(printer);
    return settings;
}

void TMKPrintSettings::updateFrom(const QPrinter& printer)
{
    m_outputFileName = printer.outputFileName();
    m_outputToFile = printer.outputFormat() == QPrinter::PdfFormat || !m_outputFileName.isEmpty();
    m_printerName = printer.printerName();
    const QPageLayout layout = printer.pageLayout();
    m_paperSize = layout.pageSize();
    m_orientation = layout.orientation();
    setCopies(printer.copyCount());
}

void TMKPrintSettings::applyTo(QPrinter& printer) const
{
    if (m_outputToFile) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_outputFileName);
    } else {
        printer.setOutputFileName(QString());
        printer.setOutputFormat(QPrinter::NativeFormat);
        if (!m_printerName.isEmpty())
            printer.setPrinterName(m_printerName);
    }
    if (m_paperSize.isValid())
        printer.setPageSize(m_paperSize);
    printer.setPageOrientation(m_orientation);
    printer.setCopyCount(m_copies);
}

TMKPrintDestination TMKPrintSettings::destination() const
{
    if (m_outputToFile || !m_outputFileName.isEmpty() || isFileDestinationName(m_printerName))
        return TMKPrintDestination::File;
    return TMKPrintDestination::Printer;
}

QMap<QString, QString> TMKPrintSettings::jobOptions() const
{
    QMap<QString, QString> options = m_options;
    // Sizes of the standard table carry the PPD name CUPS knows ("A4",
    // "Letter"); a custom size is left to the printer's default rather than
    // risk a media name the queue rejects.
    if (m_paperSize.isValid() && m_paperSize.id() != QPageSize::Custom)
        options.insert(QStringLiteral("media"), m_paperSize.key());
    options.insert(QStringLiteral("copies"), QString::number(m_copies));
    if (m_orientation == QPageLayout::Landscape)
        options.insert(QStringLiteral("orientation-requested"), QLatin1String(kIppLandscape));
    else
        options.remove(QStringLiteral("orientation-requested"));
    return options;
}

TMKPrintSettings& TMKLoadPrintInfo()
{
    static TMKPrintSettings printInfo;
    return printInfo;
}
