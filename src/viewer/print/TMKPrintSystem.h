#pragma once

// The print service seam: what printing a captured frame needs from the
// platform's print system (CUPS, or a scripted one in tests). Main thread.

#include <QString>
#include <QStringList>

#include <optional>

class TMKPrintSettings;

enum class TMKPrintDestination {
    Printer,
    // A PDF file or a preview: nothing reaches paper.
    File,
};

// What the print system made of a job: its id, or the error code and the
// system's own words for it.
struct TMKPrintJob {
    int jobId = 0;
    int error = 0;
    QString errorText;

    [[nodiscard]] bool queued() const { return jobId > 0; }
};

// The operations of the platform's print service that printing a captured
// frame needs. The steps themselves live in TMKPrintCapturedFrame, so they
// can be driven against a scripted service as well as against CUPS.
class TMKPrintSystem {
public:
    virtual ~TMKPrintSystem() = default;

    // Empty when the destination cannot be told.
    [[nodiscard]] virtual std::optional<TMKPrintDestination> destinationType(const TMKPrintSettings& settings) = 0;

    // 0 and the printer's name in `printer`, or the service's error code.
    // An empty printer name in the settings means the default printer.
    [[nodiscard]] virtual int currentPrinter(const TMKPrintSettings& settings, QString* printer) = 0;

    // The MIME types the printer accepts; empty when it cannot be asked or
    // does not say.
    [[nodiscard]] virtual std::optional<QStringList> acceptedDocumentFormats(const QString& printer) = 0;

    [[nodiscard]] virtual TMKPrintJob printFile(const QString& printer, const QString& path, const QString& mimeType,
                                                const TMKPrintSettings& settings) = 0;
};
