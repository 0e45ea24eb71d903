#pragma once

#include "viewer/print/TMKPrintSystem.h"

#include <QMap>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

class QPrinter;

// The user's print choices, kept apart from QPrinter so they outlive one
// print dialog and can be handed to the print service as plain job options.
class TMKPrintSettings {
public:
    [[nodiscard]] static TMKPrintSettings fromPrinter(const QPrinter& printer);
    // Takes the choices of a confirmed print dialog, keeping the job options
    // set so far.
    void updateFrom(const QPrinter& printer);
    // Prepares a printer (and so the print dialog) with the last choices.
    void applyTo(QPrinter& printer) const;

    // Empty: the default printer.
    [[nodiscard]] const QString& printerName() const { return m_printerName; }
    void setPrinterName(const QString& name) { m_printerName = name; }
    [[nodiscard]] bool outputToFile() const { return m_outputToFile; }
    void setOutputToFile(bool toFile) { m_outputToFile = toFile; }
    [[nodiscard]] const QString& outputFileName() const { return m_outputFileName; }
    void setOutputFileName(const QString& fileName) { m_outputFileName = fileName; }
    // An invalid size: not chosen, the printer's default paper is used.
    [[nodiscard]] const QPageSize& paperSize() const { return m_paperSize; }
    void setPaperSize(const QPageSize& size) { m_paperSize = size; }
    [[nodiscard]] int copies() const { return m_copies; }
    void setCopies(int copies) { m_copies = copies < 1 ? 1 : copies; }
    [[nodiscard]] QPageLayout::Orientation orientation() const { return m_orientation; }
    void setOrientation(QPageLayout::Orientation orientation) { m_orientation = orientation; }

    // Print service options such as "fit-to-page"; they go to every job.
    [[nodiscard]] QString option(const QString& key) const { return m_options.value(key); }
    void setOption(const QString& key, const QString& value) { m_options.insert(key, value); }

    // Output to a file, a PDF or a preview is not a printer, whatever the
    // name of the queue or dialog entry that leads there.
    [[nodiscard]] TMKPrintDestination destination() const;

    // The options of a job printed with these settings, in IPP terms: the
    // set options, then "media", "copies" and, for landscape,
    // "orientation-requested". The dialog's choices win over set options.
    [[nodiscard]] QMap<QString, QString> jobOptions() const;

private:
    QString m_printerName;
    bool m_outputToFile = false;
    QString m_outputFileName;
    QPageSize m_paperSize;
    int m_copies = 1;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QMap<QString, QString> m_options;
};

// The application's print settings, made on first use and kept for its
// lifetime, so paper and printer choices persist between prints.
[[nodiscard]] TMKPrintSettings& TMKLoadPrintInfo();
