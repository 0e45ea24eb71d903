#pragma once

#include "viewer/print/TMKPrintSystem.h"

// The print service on CUPS. It talks to the scheduler libcups picks, so the
// CUPS_SERVER environment variable and the user's client.conf apply.
class TMKCupsPrintSystem final : public TMKPrintSystem {
public:
    [[nodiscard]] std::optional<TMKPrintDestination> destinationType(const TMKPrintSettings& settings) override;
    [[nodiscard]] int currentPrinter(const TMKPrintSettings& settings, QString* printer) override;
    [[nodiscard]] std::optional<QStringList> acceptedDocumentFormats(const QString& printer) override;
    [[nodiscard]] TMKPrintJob printFile(const QString& printer, const QString& path, const QString& mimeType,
                                        const TMKPrintSettings& settings) override;
};
