// The frame capture part: saving and printing the main player's frame.

#include "TMKAppDelegate.h"

void TMKAppDelegate::makeFrameCapture()
{
    TMKFrameCapture::Services services;
    services.saveFileChooser = m_options.saveFileChooser;
    services.urlOpener = m_options.urlOpener;
    services.printPanel = m_options.printPanel;
    services.printSystem = m_options.printSystem;
    services.alerts = m_options.alerts;
    m_capture = std::make_unique<TMKFrameCapture>(std::move(services), [this] { return player1(); });
    m_capture->setWindow(m_window);
    connect(m_capture.get(), &TMKFrameCapture::messageChanged, this,
            [this](const QString& message) { m_lastMessage = message; });
}
