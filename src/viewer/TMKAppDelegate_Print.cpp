// Printing the frame the main player shows: the system print dialog as a
// sheet on the main window, then the frame itself as a JPEG job.

#include "TMKAppDelegate.h"

#include "print/TMKCupsPrintSystem.h"
#include "print/TMKFramePrint.h"
#include "print/TMKPrintSettings.h"

#include <QPrintDialog>
#include <QPrinter>

void TMKAppDelegate::showPrintPanel()
{
    TMKPrintSettings& settings = TMKLoadPrintInfo();
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    settings.applyTo(*printer);
    if (m_options.printPanel) {
        const int code = m_options.printPanel(*printer);
        if (code == 1)
            settings.updateFrom(*printer);
        printPanelDidEnd(code);
        return;
    }
    auto* dialog = new QPrintDialog(printer.get(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The paper choice among the usual options; no page ranges for one frame.
    dialog->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, printer](int result) {
        if (result == QDialog::Accepted)
            TMKLoadPrintInfo().updateFrom(*printer);
        printPanelDidEnd(result == QDialog::Accepted ? 1 : 0);
    });
    dialog->open();
}

void TMKAppDelegate::printPanelDidEnd(int returnCode)
{
    if (returnCode != 1)
        return;
    const QString snapshot = captureTemporaryPath();
    if (m_options.printSystem) {
        TMKPrintCapturedFrame(*m_options.printSystem, TMKLoadPrintInfo(), snapshot, &m_lastMessage);
        return;
    }
    TMKCupsPrintSystem system;
    TMKPrintCapturedFrame(system, TMKLoadPrintInfo(), snapshot, &m_lastMessage);
}
